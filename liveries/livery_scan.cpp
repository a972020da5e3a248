#include "liveries/livery_scan.h"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

#include <fmt/format.h>

#include "core/folders.h"
#include "core/log.h"
#include "core/meta.h"
#include "core/parameters.h"
#include "core/sim_detect.h"
#include "core/stop_flags.h"
#include "core/text.h"
#include "core/ui_port.h"
#include "core/user_error.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_index.h"
#include "liveries/livery_check.h"
#include "liveries/livery_walk.h"
#include "liveries/regcodes.h"
#include "liveries/scan_report.h"

namespace fs = std::filesystem;
using clv::LiveryData;

namespace {

constexpr std::int32_t kLowestPriority = 10;
constexpr int kErrorNoLiveriesAutomatic = 43;
constexpr int kErrorNoFolders = 48;
constexpr int kErrorNoLiveriesManual = 53;

bool lf_stopRequested() { return stopRequested.load() || userClosedWindow.load(); }

void lf_clearStatusLine() { gf_setStatusLine(std::string(), true); }

// The end of a scan's status: cleared, unless folders that could not be read were
// skipped; then it says so and where they are listed.
void lf_endScanStatus(std::size_t skippedFolders) {
    if (skippedFolders == 0) {
        lf_clearStatusLine();
        return;
    }
    gf_setStatusLine(fmt::format("Liveries scan: {} folder{} could not be read and {} skipped, see {}", skippedFolders,
                                 gf_plural(skippedFolders), skippedFolders == 1 ? "was" : "were",
                                 g_unreadableFoldersFile.string()),
                     true);
}

// Appends the first Community entry whose path holds one of the names.
void lf_findPackage(const fs::path& community, std::initializer_list<std::string_view> names, const char* finder,
                    LiveryFolderList& folders) {
    for (const auto& entry : fs::directory_iterator(community)) {
        const std::string path = entry.path().string();
        if (path.find("_CVT_") != std::string::npos) continue;
        for (auto name : names) {
            if (gf_cfgContainsNoCase(path, name)) {
                gf_log("Automatic {} scan found folder: \"{}\"", finder, path);
                folders.push_back(path);
                return;
            }
        }
    }
}

using Finder = void (*)(const fs::path&, LiveryFolderList&);

// AI_PACKAGE_ORDER 1..6 -> the order of the AIG, FSLTL and JF finders.
const std::array<std::array<Finder, 3>, 6> kPackageOrders{{
    {&lf_findAigFolders, &lf_findFsltlFolders, &lf_findJustFlightFolders},
    {&lf_findAigFolders, &lf_findJustFlightFolders, &lf_findFsltlFolders},
    {&lf_findFsltlFolders, &lf_findAigFolders, &lf_findJustFlightFolders},
    {&lf_findFsltlFolders, &lf_findJustFlightFolders, &lf_findAigFolders},
    {&lf_findJustFlightFolders, &lf_findAigFolders, &lf_findFsltlFolders},
    {&lf_findJustFlightFolders, &lf_findFsltlFolders, &lf_findAigFolders},
}};

// Keeps, for every airline and type, only the liveries of the best folder.
void lf_keepBestPriority() {
    std::map<std::tuple<std::string, std::string>, std::int32_t> best;
    for (const auto& livery : liveryList) {
        auto [it, inserted] = best.try_emplace({livery.airl, livery.type}, livery.priority);
        if (!inserted) it->second = std::min(it->second, livery.priority);
    }
    std::erase_if(liveryList, [&](const LiveryData& livery) {
        return livery.priority > best.at({livery.airl, livery.type});
    });
}

LiveryFolderList lf_manualLiveryFolders() {
    const std::array<const Parameter<std::string>*, 10> settings{&lfolder0, &lfolder1, &lfolder2, &lfolder3,
                                                                 &lfolder4, &lfolder5, &lfolder6, &lfolder7,
                                                                 &lfolder8, &lfolder9};
    LiveryFolderList folders;
    folders.reserve(settings.size());
    for (const auto* setting : settings) {
        std::string folder = setting->value.get();
        if (!folder.empty()) folders.push_back(std::move(folder));
    }
    return folders;
}

fs::path lf_communityFolder() {
    const fs::path install = gf_simPath({});
    if (install.empty()) return {};
    if (auto found = gf_findChildIgnoringCase(install, kCommunityFolderName)) return *found;
    return gf_simPath(kCommunityFolderName);
}

}  // namespace

void lf_findAigFolders(const fs::path& community, LiveryFolderList& folders) {
    if (MSFS_2020.value)
        lf_findPackage(community, {"aig-aitraffic-oci-beta", "aig-aitraffic-oci"}, "AIG", folders);
    else
        lf_findPackage(community, {"aig-aitraffic-oci"}, "AIG", folders);
}

void lf_findFsltlFolders(const fs::path& community, LiveryFolderList& folders) {
    lf_findPackage(community, {"fsltl-traffic-base"}, "FSLTL", folders);
}

void lf_findJustFlightFolders(const fs::path& community, LiveryFolderList& folders) {
    lf_findPackage(community, {"justflight-aircraft-traffic-fleet", "justflight-fstraffic-module"}, "JF", folders);
}

void lf_findUserTrafficFolders(const fs::path& community, LiveryFolderList& folders) {
    lf_findPackage(community, {"user-aitraffic"}, "user-aitraffic", folders);
}

LiveryFolderList gf_automaticLiveryFolders(const fs::path& community) {
    LiveryFolderList folders;
    folders.reserve(10);
    if (community.empty()) return folders;
    const int order = AI_PACKAGE_ORDER.value;
    if (order >= 1 && order <= static_cast<int>(kPackageOrders.size())) {
        for (Finder finder : kPackageOrders[static_cast<std::size_t>(order - 1)]) finder(community, folders);
    }
    lf_findUserTrafficFolders(community, folders);
    return folders;
}

void lf_clearScanLists() {
    emptyCfgList.clear();
    invalidCfgList.clear();
    incompleteSectionList.clear();
    invalidAirlineList.clear();
    invalidModelList.clear();
    // Fixes of one scan are not carried into the report of the next.
    fixesList.clear();
    unreadableFolderList.clear();
    conversionLines.clear();
    scannedTitles.clear();
    dontUseTitles.clear();
}

void lf_scanFolder(clv::ScanContext& context, const std::string& folder) {
    if (folder.empty()) return;
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        gf_log(folder + " does not exist, skipped!");
        return;
    }
    if (!fs::is_directory(folder, ec)) {
        gf_log(folder + " is not a folder name, skipped!");
        return;
    }
    if (context.priority < kLowestPriority) ++context.priority;
    if (!lf_stopRequested()) lf_findAircraftCfgs(context.priority, folder);
    const auto n = static_cast<std::uint32_t>(liveryList.size());
    if (n == 0) {
        gf_log("No liveries {}", "found in " + folder);
        return;
    }
    const std::uint32_t found = n - context.previous;
    gf_log("{} liverie{} {}", found, gf_plural(found), "found in " + folder);
    context.total += found;
    context.previous = n;
}

clv::ScanOutcome lf_scanAllFolders(const LiveryFolderList& folders) {
    liveryList.clear();
    lf_clearScanLists();
    lf_removeScanReports();
    lf_loadAigRegcodes();

    clv::ScanContext context;
    for (const auto& folder : folders) lf_scanFolder(context, folder);

    if (lf_stopRequested()) {
        // A scan cut short is no scan: nothing of it is kept or written.
        gf_log("liveries scan stopped, nothing written");
        liveryList.clear();
        lf_clearScanLists();
        lf_clearStatusLine();
        return clv::ScanOutcome::Stopped;
    }
    const std::size_t skippedFolders = unreadableFolderList.size();
    if (liveryList.empty()) {
        liveryCount = 0;
        gf_uiPort().requestRepaint();
        if (skippedFolders > 0) {
            // What could not be read may be the reason nothing was found.
            std::vector<std::string> lines = unreadableFolderList.lines();
            std::sort(lines.begin(), lines.end());
            std::error_code ec;
            fs::create_directories(g_outputErrorsFolder, ec);
            gf_writeReportFile(lines, g_unreadableFoldersFile);
        }
        lf_clearScanLists();
        lf_endScanStatus(skippedFolders);
        return clv::ScanOutcome::NothingFound;
    }
    if (folders.size() >= 2) gf_log("{} in total", context.total);

    for (auto& livery : liveryList) lf_applyRegData(livery);
    if (LIG_PRIORITIZE.value) lf_keepBestPriority();
    std::stable_sort(liveryList.begin(), liveryList.end(), gf_liveryOrderLess);
    liveryList.erase(std::unique(liveryList.begin(), liveryList.end(), lf_sameLivery), liveryList.end());

    lf_writeLiveriesScanned();
    liveryList.clear();
    lf_writeScanReports();
    lf_clearScanLists();
    lf_endScanStatus(skippedFolders);
    return clv::ScanOutcome::Found;
}

clv::LiveryScanResult gf_scanLiveries() {
    if (!SCAN_LIVERIES.value) {
        lf_processScannedLiveries();
        return clv::LiveryScanResult::NotRequested;
    }
    const bool automatic = LIG_AUTOMATIC.value;
    g_simulatorWord = MSFS_2020.value ? "MSFS" : "MSFS2024";
    gf_setStatusLine(fmt::format("Scanning {} for liveries ...", LIG_PRIORITIZE.value && !automatic ? "prioritized " : ""),
                     false);
    gf_log("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
           automatic ? "automatic" : "manual");

    const LiveryFolderList folders = automatic ? gf_automaticLiveryFolders(lf_communityFolder()) : lf_manualLiveryFolders();
    if (!automatic && folders.empty()) {
        throw clv::UserErrorException(
            kErrorNoFolders,
            "Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or check Liveries automatic)");
    }
    switch (lf_scanAllFolders(folders)) {
        case clv::ScanOutcome::NothingFound:
            if (automatic) {
                throw clv::UserErrorException(
                    kErrorNoLiveriesAutomatic,
                    "Automatic scan has not found any liveries, switch off automatic and set lfolder parameter(-s), "
                    "Manual 5.1");
            }
            throw clv::UserErrorException(kErrorNoLiveriesManual, "no liveries found");
        case clv::ScanOutcome::Stopped:
            // SCAN_LIVERIES stays on, so the next start scans again; an index is
            // built from a complete scan only.
            return clv::LiveryScanResult::Stopped;
        case clv::ScanOutcome::Found:
            break;
    }
    SCAN_LIVERIES.value = false;
    SCAN_LIVERIES.save();
    gf_uiPort().setChecked(SCAN_LIVERIES.handle.load(), false);
    gf_uiPort().requestRepaint();
    gf_log("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
    lf_processScannedLiveries();
    return clv::LiveryScanResult::Scanned;
}
