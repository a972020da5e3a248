#include "liveries/ivao_cfg.h"

#include <array>
#include <regex>

#include <fmt/format.h>

#include "core/encoding.h"
#include "core/files.h"
#include "core/log.h"
#include "core/sim_detect.h"
#include "core/text.h"
#include "liveries/dbase_queries.h"
#include "liveries/livery_check.h"

namespace fs = std::filesystem;
using clv::CfgLines;
using clv::LiveryData;

namespace {

constexpr std::size_t kTypeFromFolderLength = 4;
constexpr std::size_t kAirlineCodeLength = 3;
constexpr std::size_t kMaxRegistrationLength = 12;
constexpr const char* kIgnoredRegistration = "G-BAFM";

// Model folders whose titles write the type with a "W" for winglets.
constexpr std::array<std::string_view, 5> kWingletModels{"IVAO_B738WLfa", "IVAO_B739WLfa", "IVAO_A320wCFM",
                                                         "IVAO_A320wIAE", "IVAO_A319fIAEw"};

constexpr bool lf_isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The path patterns of both packages; a separator is either slash.
const std::regex& lf_ivaoMtlPattern() {
    static const std::regex pattern(R"(.+[\\/]IVAO_MTL[\\/]SimObjects[\\/]Airplanes[\\/]IVAO_(\w+)[\\/]aircraft.cfg$)",
                                    std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

const std::regex& lf_ivaoCslPattern() {
    static const std::regex pattern(R"(.+[\\/]ivao_x-csl[\\/]SimObjects[\\/]Airplanes[\\/]IVAO_(\w+)[\\/]aircraft.cfg$)",
                                    std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

// The registration of an IVAO atc_id value; "" when it holds none that can be used.
std::string lf_ivaoRegistration(const std::string& value, const std::string& title) {
    std::vector<std::string> items = gf_splitComma(value);
    for (const auto& item : items) {
        if (item.empty()) {
            gf_log(" empty regcode in: {}", value);
            return {};
        }
        if (item.size() > kMaxRegistrationLength) {
            gf_log("regcode: {}, has more than 12 chars in title: {}", item, title);
            return {};
        }
        if (item.find('*') != std::string::npos) {
            gf_logMarked("{} {} wild cards no longer supported, atc_id skipped ", title, item);
            return {};
        }
        if (item == kIgnoredRegistration) return {};
    }
    return items.size() == 1 ? items.front() : std::string();
}

bool lf_isTextureFolder(const fs::path& folder, const std::string& name) {
    auto found = gf_findChildIgnoringCase(folder, name);
    std::error_code ec;
    return found && fs::is_directory(*found, ec);
}

}  // namespace

bool gf_isIvaoCfgPath(std::string_view path) {
    return gf_cfgContainsNoCase(path, "ivao_x-csl") || gf_cfgContainsNoCase(path, "IVAO_MTL");
}

std::string lf_ivaoModelType(const fs::path& cfgPath) {
    const std::string path = cfgPath.string();
    std::smatch match;
    if (!std::regex_match(path, match, lf_ivaoMtlPattern()) && !std::regex_match(path, match, lf_ivaoCslPattern())) {
        lf_reportInvalidModel("  ", cfgPath);
        return {};
    }
    std::string candidate = match[1].str().substr(0, kTypeFromFolderLength);
    return lf_checkModelType(candidate, cfgPath);
}

bool lf_ivaoLineStep(std::string line, clv::SectionCut& cut, CfgLines& completed) {
    if (!lf_fltsimNumber(line).empty()) return gf_openSection(std::move(line), cut, completed);
    if (line.find('[') != std::string::npos) return gf_closeSection(cut, completed);
    if (cut.open) cut.lines.push_back(std::move(line));
    return false;
}

bool lf_ivaoTitleAirline(std::string_view title, std::string_view modelType, bool winglets, std::string& airline) {
    // modelType [W] "\s*(\w\w\w).*$", whole title, case-insensitive.
    if (title.size() < modelType.size()) return false;
    for (std::size_t k = 0; k < modelType.size(); ++k) {
        if (gf_lower(title[k]) != gf_lower(modelType[k])) return false;
    }
    std::size_t i = modelType.size();
    if (winglets) {
        if (i >= title.size() || gf_lower(title[i]) != 'w') return false;
        ++i;
    }
    while (i < title.size() && gf_isSpace(title[i])) ++i;
    if (title.size() - i < kAirlineCodeLength) return false;
    for (std::size_t k = 0; k < kAirlineCodeLength; ++k) {
        if (!lf_isWordChar(title[i + k])) return false;
    }
    for (std::size_t k = i + kAirlineCodeLength; k < title.size(); ++k) {
        if (title[k] == '\n' || title[k] == '\r') return false;
    }
    airline = std::string(title.substr(i, kAirlineCodeLength));
    return true;
}

LiveryData lf_parseIvaoFltsim(std::int32_t priority, CfgLines& section, const std::string& modelType,
                              const fs::path& cfgPath, const fs::path& folder) {
    lf_trimSectionEnd(section);
    if (section.empty()) return {};
    const std::string& header = section.front();
    const std::string folderText = folder.string();
    auto report = [&](const std::string& text) { lf_addIncompleteSectionLine(folderText + " " + header + text); };

    std::string title;
    std::string parkingTypes;
    std::string registration;
    std::string texture;
    bool textureKnown = false;
    std::string value;

    for (const auto& line : section) {
        if (title.empty() && lf_readTitle(line, value)) {
            title = gf_trim(value);
            if (title.size() < value.size()) gf_log("removed spaces around title \"{}\" --> \"{}\"", value, title);
            continue;
        }
        if (!title.empty() && lf_readTitle(line, value)) {
            report(" has more than one title key");
            return {};
        }
        if (parkingTypes.empty() && lf_readParkingTypes(line, value)) {
            gf_normalizeList(value);
            parkingTypes = gf_cfgUpper(value);
            continue;
        }
        if (!parkingTypes.empty() && lf_hasParkingTypesKey(line)) {
            report(" has more than one atc_parking_types key");
            return {};
        }
        if (registration.empty() && lf_readAtcId(line, value)) {
            registration = lf_ivaoRegistration(value, title);
            continue;
        }
        if (!registration.empty() && lf_hasAtcIdKey(line)) {
            lf_addIncompleteSectionLine(fmt::format("{}, {}, has more than one atc_id key", folderText, header));
            return {};
        }
        if (!textureKnown && lf_readTexture(line, value)) {
            texture = value;
            textureKnown = true;
            continue;
        }
    }

    const std::string textureName = "texture." + texture;
    if (!lf_isTextureFolder(folder, textureName)) {
        lf_addIncompleteSectionLine((folder / textureName).string() + " " + header + " does not exist");
        return {};
    }
    if (title.empty()) {
        report(" misses title");
        return {};
    }
    if (lf_isDontUseTitle(title)) return {};

    bool winglets = false;
    const std::string folderPath = folder.string();
    for (auto model : kWingletModels) winglets = winglets || gf_cfgContainsNoCase(folderPath, model);

    std::string airline;
    if (lf_ivaoTitleAirline(title, modelType, winglets, airline)) {
        if (!gf_isIcaoAirline(airline)) {
            lf_reportInvalidAirline(airline, cfgPath, header);
            return {};
        }
        if (airline == "ZZZ") registration.clear();
    } else {
        if (registration.empty()) {
            report(" misses airlinecode in title: " + title + ", and no regcode");
            return {};
        }
        if (!lf_airlineOfRegistration(registration, airline)) {
            report(" misses airlinecode in title: " + title + ", and regcode unknown " + registration);
            return {};
        }
    }
    LiveryData livery = lf_newLivery(priority, airline, modelType, true, title, registration);
    if (livery.title.empty()) {
        report(" title already exists: " + title);
        return {};
    }
    return livery;
}

std::vector<LiveryData> lf_parseIvaoAircraftCfg(std::int32_t priority, fs::path cfgPath) {
    clv::WorkerSlotRelease release;
    const std::string modelType = lf_ivaoModelType(cfgPath);
    if (modelType.empty()) return {};
    const fs::path folder = lf_cfgFolder(cfgPath);
    std::string failure;
    const clv::TextEncoding encoding = gf_detectEncoding(cfgPath, failure);
    if (encoding == clv::TextEncoding::CannotOpen) {
        gf_logMarked("no character set found for {}", cfgPath.string());
        lf_reportUnreadableCfg(cfgPath, failure);
        return {};
    }
    CfgLines lines;
    if (!lf_readCfgLines(cfgPath, encoding, lines, failure)) {
        lf_reportUnreadableCfg(cfgPath, failure);
        return {};
    }
    if (!lf_checkFltsimNumbers(lines, cfgPath)) return {};

    std::vector<LiveryData> result;
    clv::SectionCut cut;
    CfgLines completed;
    auto deliver = [&](CfgLines& section) {
        LiveryData livery = lf_parseIvaoFltsim(priority, section, modelType, cfgPath, folder);
        if (!livery.airl.empty()) result.push_back(std::move(livery));
    };
    for (auto& line : lines) {
        if (lf_ivaoLineStep(std::move(line), cut, completed)) deliver(completed);
    }
    if (cut.open && !cut.lines.empty()) deliver(cut.lines);
    return result;
}
