#include "liveries/livery_walk.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <atomic>
#include <deque>
#include <exception>
#include <future>
#include <optional>
#include <string>
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

// What the parser gives back for one file: its liveries, or the text of the
// error that ended it. The walk logs the text when it takes the result; the
// error itself stays on the parser's thread, which frees it.
struct ParserResult {
    std::vector<LiveryData> liveries;
    std::optional<std::string> failure;
};
// A parser task reads a batch of files, one after the other, and gives back one
// result per file in the same order. Handing files over one at a time cost the
// walk and the threads more in waits and wake-ups than the parsing itself.
using BatchResult = std::vector<ParserResult>;
using ParserFunction = std::vector<LiveryData> (*)(std::int32_t, fs::path);
using ParserTask = std::packaged_task<BatchResult(std::int32_t, std::vector<fs::path>)>;
using PendingResults = std::deque<std::future<BatchResult>>;

// The most files of one task; the last files of a walk are spread over the threads.
constexpr std::size_t kBatchFiles = 16;

constexpr std::size_t kMaxPathLength = 249;
constexpr std::array<std::string_view, 9> kSkippedWords{"airport",  "lvfr",      "mkstudios", "simwings", "fsdreamteam",
                                                        "navigraph", "flytampa", "inibuilds", "_CVT_"};

bool lf_stopRequested() { return stopRequested.load() || userClosedWindow.load(); }

// A status error that means "not found" or "unknown type" passes an entry over.
bool lf_isNotFoundOrUnknown(const std::error_code& error) {
    return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory ||
           error == std::errc::value_too_large;
}

// Named aircraft.cfg in any case: stem "AIRCRAFT" and extension ".CFG" make up
// the whole name. Read from the path's own text, as this runs for every entry.
bool lf_isAircraftCfg(const fs::path& path) {
    const std::string_view text = path.native();
    const std::size_t slash = text.find_last_of('/');
    return gf_equalsUpper("AIRCRAFT.CFG", slash == std::string_view::npos ? text : text.substr(slash + 1));
}

void lf_logTaskFailure(bool duringWalk, const char* what) {
    if (duringWalk)
        gf_logMarked("liveries search aborted, futs inner, {}", what);
    else
        gf_logMarked("liveries search aborted, futs outer, {}", what);
}

bool lf_isReady(const std::future<BatchResult>& future) {
    return future.valid() && future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// Moves the liveries of the oldest pending task's files to the end of liveryList,
// in the order of its files. A file whose parser failed loses its own liveries
// only; a task that could not run loses its files.
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
        BatchResult results = future.get();
        for (ParserResult& result : results) {
            if (result.failure) {
                lf_logTaskFailure(duringWalk, result.failure->c_str());
                continue;
            }
            for (auto& livery : result.liveries) liveryList.push_back(std::move(livery));
        }
    } catch (const std::exception& e) {
        lf_logTaskFailure(duringWalk, e.what());
    } catch (...) {
        lf_logTaskFailure(duringWalk, "unknown exception");
    }
}

// The parser threads of one walk: at most `capacity`, one started with each of the
// first files (a folder without aircraft.cfg starts none), fed in the order the
// files were found. Starting a thread per file cost more than parsing the file,
// and a locked queue made the walk wait whenever a busy machine preempted a
// thread holding its lock, so jobs go through a ring without a lock.
//
// The ring holds `capacity` jobs. The walk queues a job only while fewer than
// `capacity` results are pending, so every earlier job in the same place has
// been taken out by its thread (its result is there, and it was taken out
// before it ran) when the place is written again.
class ParserPool {
public:
    explicit ParserPool(std::size_t capacity) : jobs_(capacity == 0 ? 1 : capacity) {}
    ParserPool(const ParserPool&) = delete;
    ParserPool& operator=(const ParserPool&) = delete;

    // Every queued job still runs to its end before the threads are joined.
    ~ParserPool() {
        closing_.store(true);
        wake_.fetch_add(1);
        wake_.notify_all();
        for (auto& thread : threads_) thread.join();
    }

    // Queues the task with its files (taken over). When no thread is there to run
    // it and none can be started, the task is destroyed (its result then fails
    // with a broken promise), the files are left to the caller and the error of
    // the start is thrown.
    void run(ParserTask task, std::int32_t priority, std::vector<fs::path>& paths) {
        if (threads_.size() < jobs_.size()) {
            try {
                threads_.emplace_back(&ParserPool::work, this);
            } catch (...) {
                if (threads_.empty()) throw;  // `task` goes with the error
            }
        }
        const std::uint64_t index = queued_.load(std::memory_order_relaxed);
        jobs_[index % jobs_.size()] = Job{std::move(task), priority, std::move(paths)};
        queued_.store(index + 1);
        wake_.fetch_add(1);
        // A thread about to sleep sees the changed count and does not; only one
        // asleep needs the call into the kernel.
        if (sleeping_.load() > 0) wake_.notify_one();
    }

private:
    struct Job {
        ParserTask task;
        std::int32_t priority = 0;
        std::vector<fs::path> paths;
    };

    void work() {
        while (true) {
            const std::uint32_t seen = wake_.load();
            std::uint64_t next = claimed_.load();
            if (next < queued_.load()) {
                if (!claimed_.compare_exchange_weak(next, next + 1)) continue;
                Job job = std::move(jobs_[next % jobs_.size()]);
                // The task keeps its own failure in its result and gives back its
                // worker slot itself.
                job.task(job.priority, std::move(job.paths));
                continue;
            }
            if (closing_.load()) return;
            sleeping_.fetch_add(1);
            wake_.wait(seen);
            sleeping_.fetch_sub(1);
        }
    }

    std::vector<Job> jobs_;
    std::vector<std::thread> threads_;
    std::atomic<std::uint64_t> queued_{0};   // jobs written to the ring
    std::atomic<std::uint64_t> claimed_{0};  // jobs a thread has taken
    std::atomic<std::uint32_t> wake_{0};     // changes with every job and at the close
    std::atomic<std::uint32_t> sleeping_{0};  // threads waiting for a job
    std::atomic<bool> closing_{false};
};

// One file of a task: the parser for its kind of aircraft.cfg.
ParserResult lf_parseOne(std::int32_t priority, fs::path path) {
    const ParserFunction parse = gf_isIvaoCfgPath(path.native()) ? &lf_parseIvaoAircraftCfg : &lf_searchLiveriesinFile;
    ParserResult result;
    try {
        result.liveries = parse(priority, std::move(path));
    } catch (const std::exception& e) {
        result.failure = e.what();
    } catch (...) {
        result.failure = "unknown exception";
    }
    return result;
}

// Starts the parser task of a batch of aircraft.cfg files on a thread of the pool.
void lf_startParser(ParserPool& pool, std::int32_t priority, std::vector<fs::path>& batch, PendingResults& pending) {
    gf_waitForWorkerSlot();
    ParserTask task([](std::int32_t taskPriority, std::vector<fs::path> paths) {
        // One worker slot for the whole batch, given back as its last act.
        clv::BatchSlot slot;
        BatchResult results;
        results.reserve(paths.size());
        for (fs::path& path : paths) results.push_back(lf_parseOne(taskPriority, std::move(path)));
        return results;
    });
    pending.push_back(task.get_future());
    // Counted before it is queued, so the count never runs behind a task that
    // already ended.
    runningTasks.fetch_add(1);
    try {
        pool.run(std::move(task), priority, batch);
    } catch (...) {
        gf_workerThreadDone();
        throw;
    }
}

// aircraft.cfg files found by the walk go to the parser threads in batches, in
// the order they were found. The walk lists ahead while the threads parse, and
// waits for the oldest result only when this many files per task wait for their
// start.
constexpr std::size_t kLookaheadPerTask = 2 * kBatchFiles;

class WalkDispatch {
public:
    WalkDispatch(std::int32_t priority, std::size_t limit)
        : priority_(priority), limit_(limit), lookahead_(limit * kLookaheadPerTask), pool_(limit) {}

    void found(fs::path cfgPath) { found_.push_back(std::move(cfgPath)); }

    // Takes the results already delivered, starts the full batches the limit
    // allows, and waits for the oldest result while too many found files wait.
    void keepUp() {
        startWhatFits(false);
        while (found_.size() > lookahead_) {
            lf_takeOldest(pending_, true);
            startWhatFits(false);
        }
    }

    // The iteration has ended (or stopped): the files found are started unless a
    // stop was requested, then every result is taken.
    void finish(bool stopped) {
        if (stopped) found_.clear();
        for (;;) {
            startWhatFits(true);
            if (found_.empty()) break;
            lf_takeOldest(pending_, true);
        }
        while (!pending_.empty()) lf_takeOldest(pending_, false);
    }

private:
    // While the walk lists, only full batches start; at its end the files left
    // are shared out over the free tasks.
    void startWhatFits(bool ending) {
        while (!pending_.empty() && lf_isReady(pending_.front())) lf_takeOldest(pending_, true);
        while (!found_.empty() && pending_.size() < limit_) {
            std::size_t files = kBatchFiles;
            if (ending) {
                const std::size_t free = limit_ - pending_.size();
                files = std::min(kBatchFiles, (found_.size() + free - 1) / free);
            } else if (found_.size() < kBatchFiles) {
                break;
            }
            std::vector<fs::path> batch;
            batch.reserve(files);
            for (; files > 0 && !found_.empty(); --files) {
                batch.push_back(std::move(found_.front()));
                found_.pop_front();
            }
            try {
                lf_startParser(pool_, priority_, batch, pending_);
            } catch (const std::exception& e) {
                for (const fs::path& path : batch)
                    gf_logMarked("liveries search in {} aborted, cause: {}", path.native(), e.what());
            }
        }
    }

    const std::int32_t priority_;
    const std::size_t limit_;
    const std::size_t lookahead_;
    PendingResults pending_;  // at most limit_ tasks
    std::deque<fs::path> found_;
    // Last: its threads are joined first, before the results they fill go.
    ParserPool pool_;
};

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
    const auto limit = static_cast<std::size_t>(std::max<std::int32_t>(1, taskLimit.load()));
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
    WalkDispatch dispatch(priority, limit);
    // Depth first, each folder listed right after its entry, as a recursive
    // iteration goes; a subfolder that cannot be read is reported and skipped.
    bool stopped = false;
    while (!levels.empty()) {
        if (lf_stopRequested()) {
            stopped = true;
            break;
        }
        WalkLevel& level = levels.back();
        if (level.entries == fs::directory_iterator()) {
            levels.pop_back();
            continue;
        }
        const fs::directory_entry& entry = *level.entries;
        bool descend = false;
        try {
            // The type the listing gave is used where it is known; only links and
            // unknown types cost a status call.
            std::error_code statusError;
            const bool regular = entry.is_regular_file(statusError);
            if (statusError && !lf_isNotFoundOrUnknown(statusError)) {
                throw fs::filesystem_error("status", entry.path(), statusError);
            }
            // Links to folders are not followed. The listing's own type answers
            // both questions without a status call.
            std::error_code typeError;
            descend = !gf_skipLiveryWalkBelow(entry.path().native()) && !entry.is_symlink(typeError) &&
                      entry.is_directory(typeError);
            if (regular && lf_isAircraftCfg(entry.path())) dispatch.found(entry.path());
        } catch (const std::exception& e) {
            gf_logMarked("liveries search in {} aborted, cause: {}", entry.path().string(), e.what());
        }
        dispatch.keepUp();
        // The folder is opened before the listing moves on, while its entry is at hand.
        std::optional<WalkLevel> below;
        if (descend) {
            std::error_code ec;
            fs::directory_iterator entries(entry.path(), ec);
            if (ec) {
                lf_reportUnreadableFolder(entry.path(), ec);
            } else {
                below.emplace(WalkLevel{entry.path(), std::move(entries)});
            }
        }
        std::error_code ec;
        level.entries.increment(ec);
        if (ec) {
            // The rest of this folder cannot be listed: it is skipped, its parent goes on.
            lf_reportUnreadableFolder(level.folder, ec);
            levels.pop_back();
            continue;
        }
        if (below) levels.push_back(std::move(*below));
    }
    dispatch.finish(stopped);
}
