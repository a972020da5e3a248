#include "liveries/livery_check.h"

#include <algorithm>
#include <optional>

#include <fmt/format.h>

#include "core/encoding.h"
#include "core/log.h"
#include "core/sim_detect.h"
#include "core/text.h"
#include "liveries/ac_data.h"
#include "liveries/dbase.h"
#include "liveries/dbase_queries.h"
#include "liveries/regcodes.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kTypeDesignatorLength = 4;
constexpr std::size_t kBaseContainerPrefixLength = 3;  // the relative folder prefix "..\"
constexpr std::size_t kAirlineCodeLength = 3;
constexpr std::size_t kMaxRegistrationLength = 12;

bool lf_isLargeOrHeavy(const std::string& type) {
    clv::AcCategory category = gf_type2Category(type);
    return category == clv::AcCategory::Large || category == clv::AcCategory::Heavy;
}

}  // namespace

const std::unordered_map<std::string, std::string> stockModelTypes{
    {"Asobo_FlightDesignCT", "FDCT"},
    {"Asobo_DA40_NG", "DA40"},
    {"Asobo_Longitude", "C700"},
    {"Asobo_Cap10C", "CP10"},
    {"Asobo_VL3", "VL3"},
    {"Asobo_CJ4", "C25C"},
    {"Asobo_Savage_Cub", "SAVG"},
    {"Asobo_C152", "C152"},
    {"Asobo_Savage_ShockUltra", "SAVG"},
    {"Asobo_C152_Aerobat", "C152"},
    {"Asobo_XCub", "CC19"},
    {"Asobo_C172sp_AS1000", "C172"},
    {"Asobo_Pitts", "PTS2"},
    {"Asobo_C172sp_classic", "C172"},
    {"Asobo_SR22", "SR22"},
    {"Asobo_Bonanza_G36", "BE36"},
    {"Asobo_Icon", "A5"},
    {"Asobo_Baron_G58", "B58T"},
    {"Asobo_TBM930", "TBM9"},
    {"Asobo_B747_8i", "B748"},
    {"Asobo_KingAir350", "B350"},
    {"Asobo_B787_10", "B78X"},
    {"Asobo_E330", "E300"},
    {"Asobo_208B_GRAND_CARAVAN_EX", "C208"},
    {"Asobo_DV20", "DV20"},
    {"Asobo_A320_NEO", "A20N"},
    {"Asobo_DR400", "DR40"},
    {"FlyByWire_A320_NEO", "A20N"},
    {"Asobo_DA62", "DA62"},
    {"Asobo_DA40_TDI", "DA40"},
};

clv::ScannedTitles scannedTitles;

clv::ScanReportList<std::list<std::string>> emptyCfgList;
clv::ScanReportList<std::list<std::string>> invalidCfgList;
clv::ScanReportList<std::list<std::string>> incompleteSectionList;
clv::ScanReportList<std::list<std::string>> invalidAirlineList;
clv::ScanReportList<std::list<std::string>> invalidModelList;
clv::ScanReportList<std::vector<std::string>> fixesList;
clv::ScanReportList<std::list<std::string>> unreadableFolderList;

void lf_reportInvalidAirline(const std::string& code, const fs::path& cfgPath, const std::string& header) {
    invalidAirlineList.add(fmt::format("{:12} in {} ", code, cfgPath.string()) + header);
}

void lf_reportInvalidModel(const std::string& type, const fs::path& cfgPath) {
    invalidModelList.add(fmt::format("{:16} in {}", type, cfgPath.string()));
}

void lf_addFixLine(std::string line) { fixesList.add(std::move(line)); }
void lf_addInvalidCfgLine(std::string line) { invalidCfgList.add(std::move(line)); }
void lf_addIncompleteSectionLine(std::string line) { incompleteSectionList.add(std::move(line)); }

void lf_reportUnreadableFolder(const fs::path& folder, const std::error_code& error) {
    unreadableFolderList.add(folder.string() + " cannot be read: " + error.message());
}

// ---- model types -----------------------------------------------------------------

bool lf_readTypeDesignator(std::string_view line, std::string& type) {
    std::string raw = lf_cfgKeyValue(line, "icao_type_designator");
    if (raw.empty()) return false;
    std::string value = gf_betweenQuotes(raw);
    type = gf_cfgUpper(std::string_view(value).substr(0, kTypeDesignatorLength));
    return true;
}

bool lf_readBaseContainer(std::string_view line, std::string& type) {
    std::string raw = lf_cfgKeyValue(line, "base_container");
    if (raw.empty()) return false;
    // std::string::substr throws std::out_of_range for a value shorter than the prefix.
    std::string model = gf_betweenQuotes(raw).substr(kBaseContainerPrefixLength);
    auto found = stockModelTypes.find(model);
    if (found == stockModelTypes.end()) {
        type.clear();
        return true;
    }
    type = gf_cfgUpper(found->second);
    return true;
}

namespace {

// The folder a relative path names below `start`, each part's case ignored as
// the simulator's home file system does.
std::optional<fs::path> lf_findPathIgnoringCase(const fs::path& start, const fs::path& relative) {
    fs::path current = start;
    for (const auto& part : relative) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            current = current.parent_path();
            continue;
        }
        std::error_code ec;
        if (!fs::is_directory(current, ec)) return std::nullopt;
        std::optional<fs::path> child;
        try {
            child = gf_findChildIgnoringCase(current, part.string());
        } catch (const fs::filesystem_error&) {
            return std::nullopt;  // a folder that cannot be read holds no base
        }
        if (!child) return std::nullopt;
        current = *child;
    }
    return current;
}

}  // namespace

std::string lf_baseFolderTypeDesignator(const fs::path& cfgPath, std::string_view container) {
    std::string relative(container);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const fs::path folder = lf_cfgFolder(cfgPath);
    std::vector<fs::path> bases;
    if (auto own = lf_findPathIgnoringCase(folder, relative)) bases.push_back(*own);
    // The simulator merges the packages of the Community folder, so the base may
    // lie in another package at the same place below its SimObjects folder.
    const fs::path target = (folder / relative).lexically_normal();
    fs::path package;
    fs::path belowPackage;
    for (const auto& part : target) {
        if (!belowPackage.empty() || gf_equalsUpper("SIMOBJECTS", part.string())) {
            belowPackage /= part;
        } else {
            package /= part;
        }
    }
    if (!belowPackage.empty() && package.has_parent_path()) {
        std::error_code ec;
        for (fs::directory_iterator it(package.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path() == package) continue;
            if (auto other = lf_findPathIgnoringCase(it->path(), belowPackage)) bases.push_back(*other);
        }
    }
    for (const auto& base : bases) {
        std::optional<fs::path> baseCfg;
        try {
            baseCfg = gf_findChildIgnoringCase(base, "aircraft.cfg");
        } catch (const fs::filesystem_error&) {
            continue;
        }
        clv::CfgLines baseLines;
        if (!baseCfg || !lf_readCfgLines(*baseCfg, baseLines)) continue;
        std::string type;
        for (const auto& line : baseLines) {
            if (lf_readTypeDesignator(line, type) && !type.empty()) return type;
        }
    }
    return {};
}

std::string lf_baseContainerModelType(const fs::path& cfgPath, const clv::CfgLines& lines) {
    std::string type;
    for (const auto& line : lines) {
        if (lf_readBaseContainer(line, type) && !type.empty()) return type;
    }
    // A base that is no stock model: another package's aircraft names its type itself.
    for (const auto& line : lines) {
        const std::string raw = lf_cfgKeyValue(line, "base_container");
        if (raw.empty()) continue;
        type = lf_baseFolderTypeDesignator(cfgPath, gf_betweenQuotes(raw));
        if (!type.empty()) return type;
    }
    const std::string path = cfgPath.string();
    if (!gf_cfgContainsNoCase(path, "pmdg-aircraft-7") && !gf_cfgContainsNoCase(path, "fnx-aircraft-3")) {
        lf_addInvalidCfgLine("Line icao_type_designator= is missing in [General] section of " + path);
    }
    return {};
}

std::string lf_checkModelType(const std::string& candidate, const fs::path& cfgPath) {
    if (gf_isValidModel(candidate)) return candidate;
    auto fix = dbase.fixes.find(candidate);
    if (fix != dbase.fixes.end()) {
        lf_addFixLine(fmt::format("Model fix: {} found in {} changed into {}", candidate, cfgPath.string(), fix->second));
        return fix->second;
    }
    lf_reportInvalidModel(candidate, cfgPath);
    return {};
}

std::string lf_cfgModelType(const fs::path& cfgPath, const clv::CfgLines& lines) {
    std::string candidate;
    std::string type;
    for (const auto& line : lines) {
        if (lf_readTypeDesignator(line, type) && !type.empty()) {
            candidate = std::move(type);
            break;
        }
    }
    if (candidate.empty()) candidate = lf_baseContainerModelType(cfgPath, lines);
    if (candidate.empty()) return {};
    return lf_checkModelType(candidate, cfgPath);
}

// ---- airline codes and registrations ---------------------------------------------------

clv::AirlineCheck lf_checkAirlineCode(std::string& code, const fs::path& cfgPath, const std::string& header) {
    gf_normalizeList(code);
    if (code.size() == kAirlineCodeLength + 1 && (code.back() == 'X' || code.back() == 'C')) {
        code.resize(kAirlineCodeLength);
    }
    if (!code.empty() && gf_isIcaoAirline(code)) return clv::AirlineCheck::Accepted;
    if (code == "RFO") return clv::AirlineCheck::Rejected;
    lf_reportInvalidAirline(code, cfgPath, header);
    code.clear();
    return clv::AirlineCheck::Dropped;
}

std::string lf_registrationFromAtcId(const std::string& value, const std::string& title) {
    std::string_view kept(value);
    kept = kept.substr(0, kept.find(';'));
    if (kept.empty()) {
        gf_log("invalid atc_id={} ==> in: {}", value, title);
        return {};
    }
    std::vector<std::string> items = gf_splitComma(kept);
    for (const auto& item : items) {
        if (item.empty()) {
            gf_log("empty regcode in {} {}", title, value);
            return {};
        }
        if (item.size() > kMaxRegistrationLength) {
            gf_log("regcode: {}, has more than 12 chars or contains UTF16 chars in \"{}\"?", item, title);
            return {};
        }
        if (item.find('*') != std::string::npos) {
            gf_logMarked("{} {} wild cards no longer supported, atc_id skipped ", title, item);
            return {};
        }
    }
    // A list of registrations names no single airframe.
    return items.size() == 1 ? items.front() : std::string();
}

bool lf_airlineOfRegistration(const std::string& registration, std::string& airline) {
    for (const auto& spelling : gf_regcodeVariants(registration)) {
        if (auto record = gf_findRegRecord(spelling)) {
            airline = record->airl;
            return true;
        }
    }
    return false;
}

bool lf_completeAirline(std::string& airline, std::string& registration, const std::string& modelType,
                        const std::string& title, const fs::path& folder, const std::string& header) {
    if (airline == "ZZZ") {
        registration.clear();
        return true;
    }
    if (!airline.empty()) return true;
    if (registration.empty()) {
        if (lf_isLargeOrHeavy(modelType)) {
            lf_addIncompleteSectionLine(
                fmt::format("\"{}\" \"{}\" has no airline and no regcode info", folder.string(), header));
            return false;
        }
        airline = std::string(clv::kPrivateAirline);
        registration = gf_pvtRegPrefix(title);
        return true;
    }
    if (lf_airlineOfRegistration(registration, airline)) return true;
    if (lf_isLargeOrHeavy(modelType)) {
        lf_addIncompleteSectionLine(fmt::format("\"{}\" \"{}\" has no airline and its regcode is not in my dbase (very old liv?)",
                                                folder.string(), header));
        return false;
    }
    airline = std::string(clv::kPrivateAirline);
    return true;
}

bool lf_isDontUseTitle(const std::string& title) {
    return std::find(dontUseTitles.begin(), dontUseTitles.end(), title) != dontUseTitles.end();
}

// ---- unique titles ------------------------------------------------------------------------

clv::LiveryData lf_newLivery(std::int32_t priority, const std::string& airline, const std::string& type,
                             bool passenger, const std::string& title, const std::string& registration) {
    if (!scannedTitles.claim(title)) return {};
    clv::LiveryData livery;
    livery.airl = airline;
    livery.type = type;
    livery.title = title;
    livery.atcid = registration;
    livery.priority = priority;
    livery.cargo = !passenger;
    return livery;
}
