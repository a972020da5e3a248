#include "airports/addons/addon_airports.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fmt/format.h>

#include "airports/addons/addon_publisher.h"
#include "airports/addons/airport_scan_report.h"
#include "airports/files/apf_writer.h"
#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/text.h"
#include "liveries/dbase.h"

namespace fs = std::filesystem;

std::mutex g_addonRegistrationMutex;
std::atomic<bool> g_addonAirportFound{false};
std::atomic<std::int32_t> g_tbloCount{0};
clv::AddonReference g_addonReference;

namespace {

constexpr const char* kMarker = "===> ";
constexpr const char* kUnknown = "unknown";
constexpr const char* kSimaddon = "simaddon";
constexpr const char* kArchiveFolder = "archive/";
constexpr const char* kThirdpartyArchive = "archive/thirdparty/";
constexpr std::size_t kCountPosition = 4;  // the stand count follows a four-letter code

void lf_report(const clv::BglDecodeSetup& setup, std::string_view line) {
    if (setup.report) {
        setup.report(line);
    } else {
        gf_addScanReport(line);
    }
}

// The link file's folder is made when missing; a link that cannot be written
// leaves the airport without any file, so it is reported.
void lf_writeLinkFile(const fs::path& folder, const std::string& code, const std::string& archived,
                      const clv::BglDecodeSetup& setup) {
    std::error_code error;
    fs::create_directories(folder, error);
    const fs::path link = folder / (code + ".txt");
    if (const std::string failure = gf_replaceTextFile(archived, link, true); !failure.empty()) {
        lf_report(setup, fmt::format("{}Writing link file {} did not succeed: {}", kMarker, link.string(), failure));
    }
}

// The decimal number at the text's start as std::stoi reads it (leading blanks,
// a sign, digits up to the first other character); the error's text otherwise.
std::optional<std::int32_t> lf_leadingNumber(std::string_view text, std::string& error) {
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    const std::string rest(text.substr(at));
    if (rest.empty() || !(std::isdigit(static_cast<unsigned char>(rest[0])) ||
                          ((rest[0] == '-' || rest[0] == '+') && rest.size() > 1 &&
                           std::isdigit(static_cast<unsigned char>(rest[1]))))) {
        error = "invalid stoi argument";
        return std::nullopt;
    }
    errno = 0;
    const long value = std::strtol(rest.c_str(), nullptr, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX) {
        error = "stoi argument out of range";
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

bool gf_prefixedNumber(std::string_view text, std::string_view code, std::string_view publisher,
                       std::int32_t& count) {
    if (!text.starts_with(code)) return false;
    std::string error = "invalid string position";
    if (text.size() >= kCountPosition) {
        if (const auto number = lf_leadingNumber(text.substr(kCountPosition), error)) {
            count = *number;
            return true;
        }
    }
    gf_logMarked("{} {} {} {}", publisher, code, text, error);
    return true;
}

bool lf_linkSimaddon(const clv::ApfData& airport, const clv::BglDecodeSetup& setup) {
    const std::string archived = std::string(kArchiveFolder) + kSimaddon + "/" + airport.code + ".xml";
    if (!dbase.simaddons20.contains(airport.code)) {
        lf_report(setup, fmt::format("{} does not exist as simaddon", airport.code));
        return false;
    }
    lf_writeLinkFile(g_raVudovodoFolder, airport.code, archived, setup);
    lf_report(setup, fmt::format("{} airport {} linked to {}", kSimaddon, airport.code, archived));
    return true;
}

bool lf_linkThirdparty(const std::string& publisher, const clv::ApfData& airport, std::int32_t& archivedCount,
                       const clv::BglDecodeSetup& setup) {
    std::string encoded;
    for (const char c : publisher) {
        if (c == ' ') {
            encoded += "%20";
        } else {
            encoded += c;
        }
    }
    const std::string archived = kThirdpartyArchive + encoded + "/" + airport.code + ".xml";
    const auto& lists = setup.msfs2020 ? dbase.thirdparties20 : dbase.thirdparties24;
    bool found = false;
    for (const clv::ThirdpartyEntry& entry : lists) {
        if (entry.pub != publisher) continue;
        for (const std::string& text : entry.arpts) {
            if (gf_prefixedNumber(text, airport.code, publisher, archivedCount)) {
                found = true;
                break;
            }
        }
        if (found) break;
    }
    if (!found) {
        lf_report(setup, fmt::format("thirdparty {} {} does not exist", publisher, airport.code));
        return false;
    }
    lf_writeLinkFile(g_myThirdpartyFolder, airport.code, archived, setup);
    lf_report(setup, fmt::format("thirdparty airport {} linked to {}", airport.code, archived));
    return true;
}

bool lf_registerAddonAirport(clv::ApfData& airport, std::int32_t& archivedCount, const std::string& path,
                             const clv::BglDecodeSetup& setup) {
    std::lock_guard lock(g_addonRegistrationMutex);
    archivedCount = 0;
    airport.BGLpath = path;
    clv::PublisherInfo info = gf_findPublisher(path);
    airport.publisher = std::move(info.publisher);
    airport.manufacturer = std::move(info.manufacturer);
    airport.creator = std::move(info.creator);
    airport.title = std::move(info.title);
    if (airport.publisher == kUnknown) return false;
    const bool linked = airport.publisher == kSimaddon
                            ? lf_linkSimaddon(airport, setup)
                            : lf_linkThirdparty(airport.publisher, airport, archivedCount, setup);
    if (linked) g_addonAirportFound = true;
    return linked;
}

void lf_generateApf(clv::ApfData& airport, std::int32_t helipadCounter, const clv::BglDecodeSetup& setup) {
    if (airport.stands.empty()) return;
    // The file keeps the path from the package folder on, never the user's own folders.
    airport.BGLpath = lf_stripToCommunity(airport.BGLpath);
    const fs::path folder = airport.publisher == kSimaddon ? g_raVudovodoFolder : g_myThirdpartyFolder;
    const std::size_t n = airport.stands.size();
    std::string line = fmt::format("Generated {}: {} position{}", airport.code + ".xml", n, gf_plural(n));
    if (helipadCounter >= 2) {
        line += fmt::format(", of which {} helipad{}", helipadCounter - 1, gf_plural(helipadCounter - 1));
    }
    lf_report(setup, line);
    std::sort(airport.stands.begin(), airport.stands.end(),
              [](const clv::Stand& a, const clv::Stand& b) { return a.name < b.name; });
    if (fs::exists(folder) && !fs::is_directory(folder)) {
        throw fs::filesystem_error("exists", folder, std::make_error_code(std::errc::not_a_directory));
    }
    fs::create_directories(folder);
    const fs::path file = folder / (airport.code + ".xml");
    if (!gf_writeApf(airport, file, kApfGeneratedMode, setup.msfs2020 ? "MSFS" : "MSFS2024")) {
        lf_report(setup, fmt::format("{}Generating {} did not succeed", kMarker, file.string()));
        return;
    }
    g_addonAirportFound = true;
}

void lf_notRecognisedAirport(const fs::path& path, const clv::BglDecodeSetup& setup) {
    const std::string pathText = path.string();
    lf_report(setup, fmt::format("\n==> Not recognised airport {}", pathText));
    const auto firstCode = [&](const std::function<bool(std::string_view)>& test) -> std::optional<std::string> {
        if (!setup.reference.firstCode) return std::nullopt;
        return setup.reference.firstCode([&](std::string_view code) { return !code.empty() && test(code); });
    };
    const std::string stem = path.stem().string();
    std::optional<std::string> code;
    if (stem.size() == 4) code = firstCode([&](std::string_view c) { return c == stem; });
    if (code) {
        lf_report(setup, fmt::format("Not recognised airport has ICAO code \"{}\" as BGL stem", *code));
    } else {
        const std::optional<clv::ManifestInfo> manifest = lf_searchManifest(pathText);
        if (manifest) code = firstCode([&](std::string_view c) { return manifest->title.starts_with(c); });
        if (code) {
            lf_report(setup, fmt::format("Not recognised airport has ICAO \"{}\" in title \"{}\" of manifest", *code,
                                         manifest->title));
        } else {
            code = firstCode([&](std::string_view c) { return lf_hasDashedCode(pathText, c); });
            if (!code) {
                lf_report(setup, fmt::format("==================> Not recognised airport lost ... \"{}\"", pathText));
                return;
            }
            lf_report(setup, fmt::format("Not recognised airport has ICAO \"{}\" in BGL path \"{}\"", *code, pathText));
        }
    }
    clv::ApfData airport;
    airport.code = *code;
    std::int32_t archivedCount = 0;
    if (lf_registerAddonAirport(airport, archivedCount, pathText, setup) || airport.publisher == kSimaddon) return;
    const fs::path folder{kTbloName};
    if (fs::exists(folder) && !fs::is_directory(folder)) {
        throw fs::filesystem_error("exists", folder, std::make_error_code(std::errc::not_a_directory));
    }
    fs::create_directories(folder);
    const std::string entry = fmt::format("{}\n{} by {}, title: {} crea: {} manu: {}", airport.BGLpath, airport.code,
                                          airport.publisher, airport.title, airport.creator, airport.manufacturer);
    const fs::path file = folder / (airport.code + ".xml");
    // Two files of one airport on two workers: one whole entry, counted once.
    std::lock_guard lock(g_addonRegistrationMutex);
    std::error_code error;
    const bool counted = fs::exists(file, error);
    if (const std::string failure = gf_replaceTextFile(entry, file, true); !failure.empty()) {
        lf_report(setup, fmt::format("{}Writing TBLO entry {} did not succeed: {}", kMarker, file.string(), failure));
        return;
    }
    lf_report(setup, fmt::format("==> TBLO entry {} created ", airport.code + ".xml"));
    if (!counted) ++g_tbloCount;
}

std::string lf_stripToCommunity(std::string_view path) {
    const std::size_t at = path.find(kCommunityFolderName);
    return std::string(at == std::string_view::npos ? path : path.substr(at));
}

bool lf_hasDashedCode(std::string_view text, std::string_view code) {
    std::string lower(code);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text.find("-" + std::string(code) + "-") != std::string_view::npos ||
           text.find("-" + lower + "-") != std::string_view::npos;
}

namespace clv {

bool AddonAirportSink::beginAirport(const std::string& code) {
    current_ = ApfData{};
    current_.code = code;
    current_.RT_traffic_week = 0;
    current_.Qf_real = 0;
    current_.Qf_soft = 0;
    linked_ = lf_registerAddonAirport(current_, archivedCount_, path_.string(), setup_);
    // In MSFS 2024 mode a linked airport is done: its archived file serves.
    return setup_.msfs2020 || !linked_;
}

void AddonAirportSink::airportDecoded(BglAirport& decoded) {
    current_.airport_name = decoded.airportName;
    current_.altitude = decoded.altitudeFt;
    current_.stands.clear();
    current_.stands.reserve(decoded.stands.size());
    for (const BglStand& s : decoded.stands) {
        current_.stands.emplace_back(s.name, std::vector<StandOption>{}, s.lat, s.lon, s.headingRad, s.radiusM,
                                     StandKinds{s.cargo, s.ramp, s.heli});
    }
    const auto n = static_cast<std::int64_t>(current_.stands.size());
    const bool simaddon = current_.publisher == kSimaddon;
    if (n > archivedCount_ && !simaddon) {
        lf_report(setup_, fmt::format("{}{} has {} parkpos while archived one has {}", kMarker, current_.code, n,
                                      archivedCount_));
    }
    if (!linked_ || (n > archivedCount_ && !simaddon)) lf_generateApf(current_, decoded.helipadCounter, setup_);
}

void AddonAirportSink::notRecognised(const std::filesystem::path& path) { lf_notRecognisedAirport(path, setup_); }

}  // namespace clv

void lf_toParkingPositions(const fs::path& path) {
    clv::BglDecodeSetup setup;
    setup.msfs2020 = MSFS_2020.value;
    setup.reference = g_addonReference;
    clv::AddonAirportSink sink(path, setup);
    lf_toParkingPositions(path, setup, sink);
}
