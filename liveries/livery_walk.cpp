#include "liveries/livery_walk.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "core/log.h"
#include "core/stop_flags.h"
#include "core/text.h"
#include "core/workers.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/ivao_cfg.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_check.h"

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

bool lf_isReady(const std::future<std::vector<LiveryData>>& future) {
    return future.valid() && future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
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

// The parser threads of one walk: at most `maxThreads`, started as the files
// come (a folder without aircraft.cfg starts none), fed in the order the files
// were found. Starting a thread per file cost more than parsing the file.
class ParserPool {
public:
    explicit ParserPool(std::size_t maxThreads) : maxThreads_(maxThreads == 0 ? 1 : maxThreads) {}
    ParserPool(const ParserPool&) = delete;
    ParserPool& operator=(const ParserPool&) = delete;

    // Every queued task still runs to its end before the threads are joined.
    ~ParserPool() {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        wake_.notify_all();
        for (auto& thread : threads_) thread.join();
    }

    // Queues the task. When no thread is there to run it and none can be started,
    // the task is destroyed (its result then fails with a broken promise) and the
    // error of the start is thrown.
    void run(ParserTask task, std::int32_t priority, fs::path path) {
        std::unique_lock lock(mutex_);
        queue_.push_back(Job{std::move(task), priority, std::move(path)});
        if (queue_.size() > idle_ && threads_.size() < maxThreads_) {
            try {
                threads_.emplace_back(&ParserPool::work, this);
            } catch (...) {
                if (threads_.empty()) {
                    queue_.pop_back();
                    throw;
                }
            }
        }
        lock.unlock();
        wake_.notify_one();
    }

private:
    struct Job {
        ParserTask task;
        std::int32_t priority;
        fs::path path;
    };

    void work() {
        std::unique_lock lock(mutex_);
        while (true) {
            ++idle_;
            wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
            --idle_;
            if (queue_.empty()) return;  // closing, nothing left
            Job job = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            // The task keeps its own failure in its result and gives back its
            // worker slot itself.
            job.task(job.priority, std::move(job.path));
            lock.lock();
        }
    }

    const std::size_t maxThreads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    std::vector<std::thread> threads_;
    std::size_t idle_ = 0;  // threads waiting for a job
    bool closing_ = false;
};

// Starts the parser task of one aircraft.cfg on a thread of the pool.
void lf_startParser(ParserPool& pool, std::int32_t priority, const fs::path& cfgPath, PendingResults& pending) {
    gf_waitForWorkerSlot();
    ParserTask task(gf_isIvaoCfgPath(cfgPath.string()) ? &lf_parseIvaoAircraftCfg : &lf_searchLiveriesinFile);
    pending.push_back(task.get_future());
    // Counted before it is queued, so the count never runs behind a task that
    // already ended.
    runningTasks.fetch_add(1);
    try {
        pool.run(std::move(task), priority, cfgPath);
    } catch (...) {
        gf_workerThreadDone();
        throw;
    }
}

// A folder of the walk and where its listing stands.
struct WalkLevel {
    fs::path folder;
    fs::directory_iterator entries;
};

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
    const auto limit = static_cast<std::size_t>(std::max<std::int32_t>(1, taskLimit.load()));
    ParserPool pool(limit);
    std::vector<WalkLevel> levels;
    {
        std::error_code ec;
        fs::directory_iterator top(folder, ec);
        if (ec) {
            gf_logMarked("liveries search in folder {} aborted because of iterator problem: {}", folder.string(),
                         ec.message());
            lf_reportUnreadableFolder(folder, ec);
            return;
        }
        levels.push_back(WalkLevel{folder, std::move(top)});
    }
    // Depth first, each folder listed right after its entry, as a recursive
    // iteration goes; a subfolder that cannot be read is reported and skipped.
    while (!levels.empty() && !lf_stopRequested()) {
        WalkLevel& level = levels.back();
        if (level.entries == fs::directory_iterator()) {
            levels.pop_back();
            continue;
        }
        const fs::directory_entry entry = *level.entries;
        bool descend = false;
        try {
            const std::string path = entry.path().string();
            // The type the listing gave is used where it is known; only links and
            // unknown types cost a status call.
            std::error_code statusError;
            const bool regular = entry.is_regular_file(statusError);
            if (statusError && !lf_isNotFoundOrUnknown(statusError)) {
                throw fs::filesystem_error("status", entry.path(), statusError);
            }
            // Links to folders are not followed.
            std::error_code typeError;
            descend = !gf_skipLiveryWalkBelow(path) &&
                      entry.symlink_status(typeError).type() == fs::file_type::directory;
            if (regular && lf_isAircraftCfg(entry.path())) {
                // Room for the new task's result first: no more than the limit pending.
                if (pending.size() >= limit) lf_takeOldest(pending, true);
                // Results already there are taken at once, so the walk sleeps for
                // several of them at a time rather than once per file.
                while (!pending.empty() && lf_isReady(pending.front())) lf_takeOldest(pending, true);
                lf_startParser(pool, priority, entry.path(), pending);
            }
        } catch (const std::exception& e) {
            gf_logMarked("liveries search in {} aborted, cause: {}", entry.path().string(), e.what());
        }
        std::error_code ec;
        level.entries.increment(ec);
        if (ec) {
            // The rest of this folder cannot be listed: it is skipped, its parent goes on.
            lf_reportUnreadableFolder(level.folder, ec);
            levels.pop_back();
            continue;
        }
        if (descend) {
            fs::directory_iterator below(entry.path(), ec);
            if (ec) {
                lf_reportUnreadableFolder(entry.path(), ec);
            } else {
                levels.push_back(WalkLevel{entry.path(), std::move(below)});
            }
        }
    }
    while (!pending.empty()) lf_takeOldest(pending, false);
}
