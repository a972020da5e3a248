#include "core/sim_detect.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <system_error>
#include <vector>

#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/text.h"
#include "platform/appdata.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPackageFamily2020 = "Microsoft.FlightSimulator_8wekyb3d8bbwe";
constexpr const char* kPackageFamily2024 = "Microsoft.Limitless_8wekyb3d8bbwe";
constexpr const char* kFolderName2020 = "Microsoft Flight Simulator";
constexpr const char* kFolderName2024 = "Microsoft Flight Simulator 2024";
constexpr const char* kPackagesName = "Packages";
constexpr const char* kLocalCacheName = "LocalCache";
constexpr const char* kUserCfgName = "UserCfg.opt";
constexpr const char* kDashboardFamily = "Microsoft.FlightDashboard_8wekyb3d8bbwe";
constexpr const char* kBoxedPackagesName = "MSFSPackages";
constexpr std::string_view kInstalledPackagesKey = "InstalledPackagesPath";

bool lf_isMsfs2020() { return MSFS_2020.value.get(); }


bool lf_equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return gf_lower(x) == gf_lower(y); });
}

bool lf_containsIgnoringCase(std::string_view text, std::string_view part) {
    auto at = std::search(text.begin(), text.end(), part.begin(), part.end(),
                          [](char x, char y) { return gf_lower(x) == gf_lower(y); });
    return at != text.end();
}

// exists() that tells "not there" from "cannot tell": only the first is false.
bool lf_exists(const fs::path& path) {
    std::error_code ec;
    const bool found = fs::exists(path, ec);
    if (ec) throw fs::filesystem_error("exists", path, ec);
    return found;
}

bool lf_isDirectory(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

fs::path lf_below(const fs::path& base, std::initializer_list<const char*> parts) {
    fs::path path = base;
    for (const char* part : parts) path /= part;
    return path;
}

// The candidate file, its last name looked up ignoring case. Below a base
// folder that could not be found there is nothing to look at: an empty base
// would make the candidate relative to the current folder.
std::optional<fs::path> lf_existingCandidate(const fs::path& base, const fs::path& candidate) {
    if (base.empty()) return std::nullopt;
    return gf_findChildIgnoringCase(candidate.parent_path(), candidate.filename().string());
}

}  // namespace

std::optional<std::string> gf_shellFolderPath(int csidl) {
    std::optional<fs::path> folder;
    if (csidl == kCsidlAppData) {
        folder = clv::platform::roamingAppDataFolder();
    } else if (csidl == kCsidlLocalAppData) {
        folder = clv::platform::localAppDataFolder();
    }
    if (!folder) return std::nullopt;
    return folder->string();
}

fs::path gf_appDataPath() {
    auto folder = gf_shellFolderPath(kCsidlAppData);
    if (!folder) {
        gf_log("Could not find the AppData path");
        return {};
    }
    return fs::path(*folder);
}

fs::path gf_localAppDataPath() {
    auto folder = gf_shellFolderPath(kCsidlLocalAppData);
    if (!folder) {
        gf_log("Could not find the a Local Appdata path");
        return {};
    }
    return fs::path(*folder);
}

std::string gf_simPackageFamily() { return lf_isMsfs2020() ? kPackageFamily2020 : kPackageFamily2024; }

std::string gf_simFolderName() { return lf_isMsfs2020() ? kFolderName2020 : kFolderName2024; }

std::string gf_simOfficialFolderName() { return lf_isMsfs2020() ? kOfficialFolderName : kOfficial2024FolderName; }

std::optional<fs::path> gf_findChildIgnoringCase(const fs::path& folder, std::string_view name) {
    if (folder.empty() || name.empty()) return std::nullopt;
    const fs::path exact = folder / fs::path(name);
    if (lf_exists(exact)) return exact;
    if (!lf_isDirectory(folder)) return std::nullopt;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) throw fs::filesystem_error("exists", folder, ec);
    // Several spellings can live side by side here; take the first by name, so
    // every run picks the same one.
    std::optional<fs::path> best;
    for (const auto& entry : it) {
        const std::string entryName = entry.path().filename().string();
        if (!lf_equalsIgnoringCase(entryName, name)) continue;
        if (!best || entryName < best->filename().string()) best = entry.path();
    }
    return best;
}

fs::path gf_findUserCfgOpt() {
    const fs::path local = gf_localAppDataPath();
    const fs::path roaming = gf_appDataPath();
    const std::string family = gf_simPackageFamily();
    const std::string folderName = gf_simFolderName();
    struct Candidate {
        const char* label;
        const fs::path& base;
        fs::path path;
    };
    const Candidate candidates[] = {
        {"Store", local, lf_below(local, {kPackagesName, family.c_str(), kLocalCacheName, kUserCfgName})},
        {"Steam1", roaming, lf_below(roaming, {folderName.c_str(), kUserCfgName})},
        {"Steam2", local, lf_below(local, {kPackagesName, kDashboardFamily, kLocalCacheName, kUserCfgName})},
        {"Boxed", local, lf_below(local, {kBoxedPackagesName, kUserCfgName})},
    };
    for (const auto& c : candidates) {
        if (auto found = lf_existingCandidate(c.base, c.path)) return *found;
        gf_log("MSFS detection, no {}:{}", c.label, c.path.string());
    }
    const auto& last = candidates[std::size(candidates) - 1];
    return last.base.empty() ? fs::path() : last.path;
}

fs::path gf_steamPackagesPath() {
    const fs::path roaming = gf_appDataPath();
    if (roaming.empty()) return {};
    const fs::path path = roaming / gf_simFolderName() / kPackagesName;
    if (!lf_exists(path)) return {};
    gf_log("Steam packages:{}", path.string());
    return path;
}

bool lf_parseInstalledPackagesPath(std::string_view line, fs::path& path) {
    if (!lf_containsIgnoringCase(line, kInstalledPackagesKey)) return false;
    const auto first = line.find('"');
    if (first == std::string_view::npos) return false;
    const auto second = line.find('"', first + 1);
    if (second == std::string_view::npos || second == first + 1) return false;
    path = fs::path(std::string(line.substr(first + 1, second - first - 1)));
    return true;
}

fs::path gf_readInstalledPackagesPath() {
    const fs::path userCfg = gf_findUserCfgOpt();
    if (userCfg.empty() || !lf_exists(userCfg)) {
        gf_log("No UserCfg.opt found?");
        return {};
    }
    fs::path result;
    std::string text;
    // The simulator has written this file as UTF-8 and as UTF-16.
    if (!gf_readTextFile(gf_detectEncoding(userCfg), userCfg, text)) {
        gf_log("Could not read {}", userCfg.string());
    } else {
        std::vector<std::string> lines;
        std::istringstream in(text);
        gf_readLines(in, lines);
        for (const auto& line : lines) {
            if (lf_parseInstalledPackagesPath(line, result)) break;
        }
    }
    gf_log("UserCfg.opt: InstalledPackagesPath={}", result.string());
    return result;
}

bool gf_isPackagesFolder(const fs::path& path) {
    if (path.empty() || !lf_exists(path) || !lf_isDirectory(path)) return false;
    const std::string official = gf_simOfficialFolderName();
    for (std::string_view name : {std::string_view(kCommunityFolderName), std::string_view(official)}) {
        auto child = gf_findChildIgnoringCase(path, name);
        if (!child || !lf_isDirectory(*child)) return false;
    }
    return true;
}

fs::path gf_findPackagesPath() {
    // Tells the user why a folder that exists was passed over.
    auto accepted = [](const fs::path& path) {
        if (path.empty()) return false;
        if (gf_isPackagesFolder(path)) return true;
        gf_log("MSFS detection, not a packages folder (needs {} and {}):{}", kCommunityFolderName,
               gf_simOfficialFolderName(), path.string());
        return false;
    };
    if (fs::path steam = gf_steamPackagesPath(); accepted(steam)) return steam;
    if (fs::path fromUserCfg = gf_readInstalledPackagesPath(); accepted(fromUserCfg)) return fromUserCfg;
    return {};
}

fs::path gf_simPath(const fs::path& relative) {
    const std::string installPath = lf_isMsfs2020() ? MSFS_INSTALL_PATH.value.get() : MSFS_2024_INSTALL_PATH.value.get();
    return fs::path(installPath) / relative;
}
