#include "liveries/livery_walk.h"

#include <array>
#include <deque>
#include <exception>
#include <future>
#include <thread>
#include <vector>

#include "core/log.h"
#include "core/stop_flags.h"
#include "core/text.h"
#include "core/workers.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/ivao_cfg.h"
#include "liveries/liveries_scanned.h"

namespace fs = std::filesystem;
using clv::LiveryData;

namespace {

using ParserTask = std::packaged_task<std::vector<LiveryData>(std::int32_t, fs::path)>;
using PendingResults = std::deque<std::future<std::vector<LiveryData>>>;

constexpr std::size_t kMaxPathLength = 249;
constexpr std::array<std::string_view, 9> kSkippedWords{"airport",  "lvfr",      "mkstudios", "simwings", "fsdreamteam",
                                                        "navigraph", "flytampa", "inibuilds", "_CVT_"};

bool lf_stopRequested() { return stopRequested.load() || userClosedWindow.load(); }

// A status error that means "not found" or "unknown type" passes an entry over.
bool lf_isNotFoundOrUnknown(const std::error_code& error) {
    return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory ||
           error == std::errc::value_too_large;
}

bool lf_isAircraftCfg(const fs::path& path) {
    return gf_equalsUpper(".CFG", path.extension().string()) && gf_equalsUpper("AIRCRAFT", path.stem().string());
}

void lf_logTaskFailure(bool duringWalk, const char* what) {
    if (duringWalk)
        gf_logMarked("liveries search aborted, futs inner, {}", what);
    else
        gf_logMarked("liveries search aborted, futs outer, {}", what);
}

// Moves the oldest pending result's liveries to the end of liveryList. A task
// that failed loses its own file's liveries only.
void lf_takeOldest(PendingResults& pending, bool duringWalk) {
    auto future = std::move(pending.front());
    pending.pop_front();
    if (!future.valid()) {
        if (duringWalk)
            gf_logMarked("futs #1 not yet valid ? ...");
        else
            gf_log("futs #1 not yet valid ...");
        return;
    }
    try {
        std::vector<LiveryData> liveries = future.get();
        for (auto& livery : liveries) liveryList.push_back(std::move(livery));
    } catch (const std::exception& e) {
        lf_logTaskFailure(duringWalk, e.what());
    } catch (...) {
        lf_logTaskFailure(duringWalk, "unknown exception");
    }
}

// Starts the parser task of one aircraft.cfg on a detached thread of its own.
void lf_startParser(std::int32_t priority, const fs::path& cfgPath, PendingResults& pending) {
    gf_waitForWorkerSlot();
    ParserTask task(gf_isIvaoCfgPath(cfgPath.string()) ? &lf_parseIvaoAircraftCfg : &lf_searchLiveriesinFile);
    pending.push_back(task.get_future());
    // A thread that cannot start destroys the task, and its result then fails with
    // a broken promise when it is taken.
    std::thread(std::move(task), priority, cfgPath).detach();
    runningTasks.fetch_add(1);
}

}  // namespace

bool gf_skipLiveryWalkBelow(std::string_view path) {
    if (path.size() > kMaxPathLength) return true;
    for (auto word : kSkippedWords) {
        if (path.find(word) != std::string_view::npos) return true;
    }
    return false;
}

void lf_findAircraftCfgs(std::int32_t priority, const fs::path& folder) {
    PendingResults pending;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::none, ec);
    const fs::recursive_directory_iterator end;
    while (true) {
        if (ec) {
            // Tasks already started still deliver below: their liveries are kept
            // and none of them outlives the walk.
            gf_logMarked("liveries search in folder {} aborted because of iterator problem: {}", folder.string(),
                         ec.message());
            break;
        }
        if (it == end || lf_stopRequested()) break;
        const fs::directory_entry& entry = *it;
        try {
            const std::string path = entry.path().string();
            if (gf_skipLiveryWalkBelow(path)) it.disable_recursion_pending();
            // The type the listing gave is used where it is known; only links and
            // unknown types cost a status call.
            std::error_code statusError;
            const bool regular = entry.is_regular_file(statusError);
            if (statusError && !lf_isNotFoundOrUnknown(statusError)) {
                throw fs::filesystem_error("status", entry.path(), statusError);
            }
            if (regular && lf_isAircraftCfg(entry.path())) {
                lf_startParser(priority, entry.path(), pending);
                if (pending.size() > static_cast<std::size_t>(taskLimit.load())) lf_takeOldest(pending, true);
            }
        } catch (const std::exception& e) {
            gf_logMarked("liveries search in {} aborted, cause: {}", entry.path().string(), e.what());
        }
        it.increment(ec);
    }
    while (!pending.empty()) lf_takeOldest(pending, false);
}
