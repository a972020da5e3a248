#include "airports/addons/addon_scan.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <deque>
#include <exception>
#include <future>
#include <optional>
#include <thread>

#include <fmt/format.h>

#include "airports/addons/addon_airports.h"
#include "airports/addons/airport_scan_report.h"
#include "airports/addons/apf_checks.h"
#include "airports/parking/airport_data.h"
#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/sim_detect.h"
#include "core/stop_flags.h"
#include "core/text.h"
#include "core/ui_port.h"
#include "core/workers.h"

namespace fs = std::filesystem;

std::function<void(const fs::path& path)> g_addonScanWorker = [](const fs::path& path) {
    lf_toParkingPositions(path);
};
const char* const kTbloSupportAddress = "airports@calvorinth.example";

namespace {

constexpr const char* kMarker = "===> ";
constexpr std::size_t kReportReserve = 2048;
constexpr std::size_t kFolderReserve = 10;
constexpr std::size_t kNameReserve = 512;
constexpr std::size_t kLongestScanPath = 250;  // paths this long or longer are not entered
constexpr std::size_t kAirportStemLength = 4;
constexpr auto kProgressInterval = std::chrono::milliseconds(250);
constexpr const char* kKansasCity = "KMCI";
constexpr const char* kTropicalSim = "TropicalSim";

constexpr std::array<std::string_view, 14> kSkippedWords{
    "fs-base",   "tutorials",     "aircraft",           "bushtrip", "discovery", "point-of-interest", "simobjects",
    "vcockpits", "aig-aitraffic", "justflight-aicraft", "fsltl",    "gsx-pro",   "gsx-world",         "landingchallenge"};
// Files below these are not airports of their own, but the folders are walked.
constexpr std::array<std::string_view, 3> kSkippedFileWords{"statics", "AFCAD Updates", "_heliports"};

// Run thread only.
clv::AddonScanProgress g_progress;
std::chrono::steady_clock::time_point g_lastProgressShown;

// A worker's outcome: nothing, or the text of the error it ended with. The text is
// taken on the worker's own thread, so the exception never crosses threads.
using WorkerOutcome = std::optional<std::string>;
using WorkerTask = std::packaged_task<WorkerOutcome(fs::path)>;
using Futures = std::deque<std::future<WorkerOutcome>>;

bool lf_stopRequested() { return stopRequested.load() || userClosedWindow.load(); }

void lf_showProgress(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - g_lastProgressShown < kProgressInterval) return;
    g_lastProgressShown = now;
    gf_setStatusLine(fmt::format("Scanning for addon airports ... {} folder{} walked, {} airport file{} found",
                                 g_progress.folders, gf_plural(g_progress.folders), g_progress.airportFiles,
                                 gf_plural(g_progress.airportFiles)),
                     false);
}

bool lf_isAirportFileCandidate(const fs::directory_entry& entry, const std::string& path) {
    std::error_code statusError;
    if (!entry.is_regular_file(statusError)) return false;
    if (!lf_isBglExtension(entry.path().extension().string())) return false;
    for (const auto word : kSkippedFileWords) {
        if (path.find(word) != std::string::npos) return false;
    }
    return lf_probeBgl(entry.path());
}

void lf_startWorker(const fs::path& path, Futures& futures) {
    gf_waitForWorkerSlot();
    WorkerTask task([](fs::path file) -> WorkerOutcome {
        try {
            g_addonScanWorker(file);
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::nullopt;
    });
    futures.push_back(task.get_future());
    // A thread that cannot start destroys the task; its future then reports a
    // broken promise, and the count is not raised for it.
    std::thread(std::move(task), path).detach();
    runningTasks.fetch_add(1);
    ++g_progress.airportFiles;
}

// Cuts the list back to the worker limit by waiting for the oldest worker.
void lf_waitForOldest(Futures& futures, const std::string& current) {
    const std::size_t listed = futures.size();
    std::future<WorkerOutcome> oldest = std::move(futures.front());
    futures.pop_front();
    WorkerOutcome error;
    try {
        error = oldest.get();
    } catch (const std::exception& e) {  // a worker that never started
        error = e.what();
    }
    if (error) {
        gf_addScanReport(
            fmt::format("{} airports search aborted, futs inner, \n{}\n{}\n{}", kMarker, *error, listed, current));
    }
}

void lf_waitForAll(Futures& futures, const fs::path& folder) {
    while (!futures.empty()) {
        std::future<WorkerOutcome> oldest = std::move(futures.front());
        futures.pop_front();
        WorkerOutcome error;
        try {
            error = oldest.get();
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (error) {
            gf_addScanReport(
                fmt::format("{} airports search in {} aborted, futs outer error: {}", kMarker, folder.string(), *error));
        }
    }
}

// The files of my_thirdparty that gf_listMyThirdpartyXml names, as they are
// written: on a case-sensitive file system "EDDF.Xml" is not "EDDF.xml".
std::vector<fs::path> lf_listMyThirdpartyFiles() {
    std::vector<fs::path> files;
    files.reserve(kNameReserve);
    // A folder that is not there holds nothing to hand over; other errors are raised.
    std::error_code missing;
    if (fs::status(g_myThirdpartyFolder, missing).type() == fs::file_type::not_found) return files;
    for (const fs::directory_entry& entry : fs::directory_iterator(g_myThirdpartyFolder)) {
        if (!entry.is_regular_file()) continue;
        if (!gf_equalsUpper(".XML", entry.path().extension().string())) continue;
        if (entry.path().stem().string().size() != kAirportStemLength) continue;
        files.push_back(entry.path());
    }
    return files;
}

}  // namespace

bool lf_isSkippedScanPath(std::string_view path) {
    if (path.size() >= kLongestScanPath) return true;
    return std::any_of(kSkippedWords.begin(), kSkippedWords.end(),
                       [&](std::string_view word) { return path.find(word) != std::string_view::npos; });
}

bool lf_isBglExtension(std::string_view extension) { return extension == ".BGL" || extension == ".bgl"; }

void lf_searchAirportsInFolder(const fs::path& folder) {
    gf_addScanReport(fmt::format("Scanning for {}{}", "addon airports in ", folder.string()));
    lf_showProgress(true);
    Futures futures;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::none, ec);
    const fs::recursive_directory_iterator end;
    while (true) {
        if (ec) {
            // Workers already started still read the names and append report
            // lines: they are waited for below like every other.
            gf_addScanReport(fmt::format("{} airports search in folder {} aborted because of iterator problem: {}",
                                         kMarker, folder.string(), ec.message()));
            break;
        }
        if (it == end || lf_stopRequested()) break;
        const fs::directory_entry& entry = *it;
        try {
            const std::string path = entry.path().string();
            if (lf_isSkippedScanPath(path)) {
                it.disable_recursion_pending();
            } else {
                std::error_code typeError;
                if (entry.is_directory(typeError)) ++g_progress.folders;
                // A stop is seen at the next entry, so no further worker starts.
                if (lf_isAirportFileCandidate(entry, path) && !lf_stopRequested()) {
                    lf_startWorker(entry.path(), futures);
                    if (futures.size() > static_cast<std::size_t>(taskLimit.load())) {
                        lf_waitForOldest(futures, path);
                    }
                }
            }
        } catch (const std::exception& e) {
            gf_addScanReport(fmt::format("{} airports search in folder {} aborted, cause: {}", kMarker,
                                         folder.string(), e.what()));
        }
        lf_showProgress(false);
        it.increment(ec);
    }
    lf_waitForAll(futures, folder);
    lf_showProgress(true);
}

void lf_checkScanFolder(const std::string& folder) {
    if (folder.empty()) return;
    // Errors other than absence reach the run thread.
    if (!fs::exists(folder)) {
        gf_setStatusLine(folder + " does not exist, skipped!", true);
        return;
    }
    if (fs::is_directory(folder)) {
        lf_searchAirportsInFolder(folder);
        return;
    }
    gf_setStatusLine(folder + " is not a folder name, skipped!", true);
}

std::vector<std::string> gf_listMyThirdpartyXml() {
    std::vector<std::string> names;
    names.reserve(kNameReserve);
    for (const fs::path& file : lf_listMyThirdpartyFiles()) names.push_back(file.stem().string());
    return names;
}

void lf_handOverToTblo() {
    const std::vector<fs::path> sources = lf_listMyThirdpartyFiles();
    if (sources.empty()) return;
    if (!fs::is_directory(g_tbloFolder)) fs::create_directory(g_tbloFolder);
    std::int32_t count = 0;
    for (const fs::path& source : sources) {
        const std::string stem = source.stem().string();
        const fs::path target = g_tbloFolder / (stem + ".xml");
        if (stem == kKansasCity && gf_readApfPublisher(source) == kTropicalSim) {
            if (fs::exists(source)) fs::remove(source);
            continue;
        }
        if (!gf_offlineLearningCheck(stem)) continue;
        if (!gf_checkApfPublisherInfo(source).empty()) continue;
        // An entry the walk wrote for the same airport is already counted.
        const bool counted = fs::exists(target);
        if (!fs::copy_file(source, target, fs::copy_options::overwrite_existing)) {
            gf_logMarked("\"{}\" failed to copy \"{}\"", source.string(), target.string());
            continue;
        }
        gf_log("{} copied to {}", stem, target.string());
        if (!counted) ++count;
        const fs::path link = g_myThirdpartyFolder / (stem + ".txt");
        if (fs::exists(link)) fs::remove(source);
    }
    if (count > 0) {
        g_tbloCount += count;
        gf_log("\n");
        gf_logMarked("zip folder \"{}\", and mail to \"{}\" please!\\n", fs::absolute(g_tbloFolder).string(),
                     kTbloSupportAddress);
    } else {
        gf_log("All your third party airports are done, no off line learning needed.");
    }
}

bool lf_scanAirports(const std::vector<std::string>& folders) {
    try {
        std::error_code ec;
        if (fs::exists(g_airportsScanLogFile, ec)) fs::remove(g_airportsScanLogFile);
    } catch (const std::exception&) {
        gf_log("problems with removing previous files (maybe still open?)");
    }
    // TBLO holds this scan's entries only, so its content and the shown count agree.
    gf_clearFolder(g_tbloFolder);
    g_tbloCount = 0;
    g_progress = {};
    g_lastProgressShown = {};
    gf_reserveScanReport(kReportReserve);
    for (const auto& folder : folders) lf_checkScanFolder(folder);

    std::error_code folderError;
    fs::create_directories(g_outputInfoFolder, folderError);
    gf_writeLines(gf_scanReportLines(), g_airportsScanLogFile);
    gf_log("{} written", g_airportsScanLogFile.string());
    gf_setStatusLine(std::string(), true);
    gf_clearScanReport();
    lf_handOverToTblo();
    if (g_addonAirportFound) gf_log("Airports scan successful");
    return g_addonAirportFound;
}

void gf_scanAddonAirports() {
    gf_setStatusLine("Scanning for addon airports ...", false);
    gf_log("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++", "");
    std::vector<std::string> folders;
    folders.reserve(kFolderReserve);
    const bool msfs2020 = MSFS_2020.value;
    if (msfs2020) folders.push_back(gf_simPath(kOfficialFolderName).string());
    folders.push_back(gf_simPath(kCommunityFolderName).string());
    gf_readAirportNames();
    // The workers read the reference data without a lock: it is complete before they start.
    g_addonReference = gf_airportReference();
    if (msfs2020) gf_clearFolder(g_raVudovodoFolder);
    gf_clearFolder(g_myThirdpartyFolder);

    const bool found = lf_scanAirports(folders);
    if (found) {
        gf_setStatusLine(fmt::format("Airports scan successful: {} airport file{} in {} folder{}",
                                     g_progress.airportFiles, gf_plural(g_progress.airportFiles), g_progress.folders,
                                     gf_plural(g_progress.folders)),
                         false);
    } else {
        gf_setStatusLine("Warning: Scan has not found any add-on airports", true);
    }
    SCAN_AIRPORTS.value = false;
    SCAN_AIRPORTS.save();
    gf_uiPort().setChecked(SCAN_AIRPORTS.handle.load(), false);
    gf_uiPort().requestRepaint();
    g_airportNames.clear();
    gf_log("-------------------------- airports scan ends    ----------------------------\n");
}

void gf_resetAddonScan() { g_addonAirportFound = false; }

clv::AddonScanProgress gf_addonScanProgress() { return g_progress; }
