#include "airports/parking/apf_locate.h"

#include <algorithm>
#include <atomic>
#include <exception>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/download_unzip.h"
#include "core/downloader.h"
#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kXmlSuffix = ".xml";
constexpr const char* kTxtSuffix = ".txt";
constexpr const char* kStockArchive = "archive/stock/";
constexpr const char* kLocalPrefix = "airports";
constexpr std::string_view kStockWord = "stock";
constexpr std::string_view kSimaddonWord = "simaddon";
constexpr char kLinkEnd = 'l';
constexpr const char* kParkpositions = "parkpositions";
constexpr const char* kParkpos = "parkpos";
constexpr const char* kLatitude = "latitude";
constexpr const char* kLongitude = "longitude";
constexpr const char* kId = "id";
constexpr const char* kReadApfName = "gf_readApf";

// Said once per process: the probes run often and would fill the log.
std::atomic<bool> g_noServerLogged{false};

// Raises the file system's error for "exists" on anything but a missing file.
bool lf_exists(const fs::path& path) { return fs::exists(path); }

void lf_removeIfPresent(const fs::path& path) {
    if (fs::exists(path)) fs::remove(path);
}

// One Downloader per call, in text mode.
bool lf_download(const std::string& url, const fs::path& destination) {
    clv::Downloader downloader;
    return downloader.download(url, destination, false);
}

}  // namespace

bool gf_airportFileServer() {
    if (gf_serverConfigured()) return true;
    if (!g_noServerLogged.exchange(true)) gf_log("No download server configured, airport files of the server skipped");
    return false;
}

char gf_pathSeparator() { return static_cast<char>(fs::path::preferred_separator); }

std::string gf_pathText(const fs::path& path) {
    fs::path preferred = path;
    preferred.make_preferred();
    return preferred.string();
}

std::string gf_xmlFileName(std::string_view text) { return std::string(text) + kXmlSuffix; }
fs::path gf_xmlFilePath(std::string_view text) { return fs::path(std::string(text) + kXmlSuffix); }
fs::path gf_txtFilePath(std::string_view text) { return fs::path(std::string(text) + kTxtSuffix); }

bool gf_isSafeAirportCode(std::string_view code) {
    if (code.empty() || code == "." || code == "..") return false;
    return code.find_first_of("/\\") == std::string_view::npos && code.find('\0') == std::string_view::npos;
}

bool lf_readApfLink(const fs::path& path, std::string& out) {
    clv::TextFile file{path, {}};
    auto text = file.read();
    if (!text) return false;
    const auto last = text->find_last_of(kLinkEnd);
    out = last == std::string::npos ? std::string() : text->substr(0, last + 1);
    return true;
}

std::string gf_apfPath(const std::string& code) {
    if (!gf_isSafeAirportCode(code)) return {};
    std::string link;
    for (const fs::path* folder : {&g_myThirdpartyFolder, &g_raVudovodoFolder}) {
        const fs::path txt = *folder / gf_txtFilePath(code);
        if (lf_exists(txt) && lf_readApfLink(txt, link)) return link;
        const fs::path xml = *folder / gf_xmlFilePath(code);
        if (lf_exists(xml)) return gf_pathText(xml);
    }
    if (gf_downloadStockApf(code)) return kStockArchive + gf_xmlFileName(code);
    return {};
}

bool gf_apfExists(const std::string& code) {
    if (!gf_isSafeAirportCode(code)) return false;
    for (const fs::path* folder : {&g_myThirdpartyFolder, &g_raVudovodoFolder}) {
        if (lf_exists(*folder / gf_xmlFilePath(code)) || lf_exists(*folder / gf_txtFilePath(code))) return true;
    }
    return gf_downloadStockApf(code);
}

bool gf_downloadStockApf(const std::string& code) {
    if (!gf_isSafeAirportCode(code) || !gf_airportFileServer()) return false;
    const std::string url = gf_downloadUrl(true) + kStockArchive + gf_xmlFileName(code);
    const fs::path local = gf_xmlFilePath(code);
    const bool found = lf_download(url, local);
    lf_removeIfPresent(local);
    return found;
}

std::string lf_downloadApf(const std::string& pathText, const fs::path& destination) {
    const bool shared = pathText.find(kSimaddonWord) != std::string::npos ||
                        pathText.find(kStockWord) != std::string::npos;
    const std::string url = gf_downloadUrl(shared) + pathText;
    if (gf_airportFileServer() && lf_download(url, destination)) return {};
    std::string text = fmt::format("failed to download: \"{}\"", url);
    gf_log(text);
    return text;
}

double gf_readDestApfForClosestStand(const std::string& code, clv::LatLon position, std::string& standName) {
    try {
        const std::string path = gf_apfPath(code);
        if (path.empty()) return clv::kNoStandNm;
        fs::path file{path};
        if (!path.starts_with(kLocalPrefix)) {
            if (!lf_downloadApf(path, clv::kNeighbourApfFile).empty()) return clv::kNoStandNm;
            file = clv::kNeighbourApfFile;
        }
        pugi::xml_document document;
        const pugi::xml_node stands =
            document.load_file(file.c_str()) ? document.child(kParkpositions) : pugi::xml_node();
        if (!stands) {
            lf_removeIfPresent(clv::kNeighbourApfFile);
            return clv::kNoStandNm;
        }
        double best = clv::kNoStandNm;
        for (const pugi::xml_node stand : stands.children(kParkpos)) {
            const clv::LatLon at{stand.attribute(kLatitude).as_double(), stand.attribute(kLongitude).as_double()};
            const double d = gf_distanceNm(position, at);
            if (d < best) {
                best = d;
                standName = stand.attribute(kId).value();
            }
        }
        return best;
    } catch (const std::exception& e) {
        gf_logMarked("{}: {}", "gf_readDestApfForClosestStand", e.what());
        return clv::kNoStandNm;
    }
}

std::string gf_formatNameMessage(std::string_view format, std::string_view functionName, std::string_view text) {
    return fmt::format(fmt::runtime(format), functionName, text);
}

std::string lf_readApfErrorText(std::string_view format, std::string_view text) {
    return gf_formatNameMessage(format, kReadApfName, text);
}
