#pragma once
// Reading the park airport's park-position file into the stand list: its
// parameters, its stands with their options, the airport's learned file, the
// numbering and the adjacency of the stands, the report in the log and the main
// window. Run thread only.
#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "airports/files/apf_file.h"
#include "airports/parking/learned_files.h"

namespace pugi {
class xml_node;
}

namespace clv {

// An option's identity as the file gives it, or as its registration record says.
struct OptIdentity {
    std::string callsign;
    std::string secondCallsign;
    std::string airline;
    std::string type;
};

// What the window shows of a file that was read.
struct ApfReadReport {
    std::size_t standCount = 0;
    std::string publisher;
    bool handmade = false;
    std::string qualityText;
    std::int32_t altitude = 0;  // feet: the park airport's altitude, the feed's reference elevation
};

// What the reader needs of the park airport, the file fetching, the learned
// files and the window, which live above it or come later. A hook left empty is
// a part not there: no park airport, no fetching, no learned file, no display.
struct ApfReadHooks {
    std::function<std::string()> parkAirportCode;                  // "" while no park airport is set
    std::function<void(std::int32_t feet)> setParkAirportAltitude;
    // Fetches an archived file into park_airport.xml; "" on success, else the error text.
    std::function<std::string(const std::string& name)> downloadApf;
    // The learned file of an airport file (by its path and publisher).
    std::function<std::filesystem::path(const std::string& name, const std::string& publisher)> archivePath;
    // Merges the learned file into the stand list; sets handmadeFile for a handmade one.
    std::function<void(const std::filesystem::path& path, ApfInfo& summary)> readLearned;
    // The same in two halves, for a read spread over ticks: loading and reading
    // the learned file on a worker (touches nothing of the run), and merging it on
    // the run thread. Without both, readLearned merges it in one go.
    std::function<LearnedLoad(const std::filesystem::path& path)> loadLearned;
    std::function<void(LearnedLoad&& load, ApfInfo& summary)> mergeLearned;
    // Optional, on the worker after loadLearned: merges the learned file into the
    // main file's stands while they are still the read's own, so that the run
    // thread only takes the result over.
    std::function<void(LearnedLoad& load, std::vector<Stand>& stands)> premergeLearned;
    // The file is read and parking is active: the airport panel, the "Flush static"
    // state of the planner, the feed's reference elevation.
    std::function<void(const ApfReadReport& report)> fileRead;
};

// A file loaded and its stands read, before anything of the run is touched: the
// part of a read that may run on any thread (the reference data base is read-only
// by then). The error of a file that does not load or is refused is in failure;
// an exception met while reading (a missing altitude, a repeated stand id, any
// other) is kept and thrown where the load is applied, after what was read until
// then, as the one-go read does.
struct ApfLoad {
    std::string failure;
    std::int32_t rtTrafficWeek = 0;
    std::string publisher;
    std::optional<std::int32_t> altitude;
    std::string airportName;
    std::vector<Stand> stands;
    std::exception_ptr standsError;  // thrown after the stands read until then are appended
    QualityFactors quality;
    std::exception_ptr loadError;  // met before the parameters were read
};

// A read of the park airport's file under way: its file is loaded and its stands
// read on a worker thread of its own into the job's private ApfLoad; the run
// thread looks at ready() between ticks and applies the result in one go. A
// second stage may follow, when the file names a learned file: the job keeps the
// file's load while a worker loads the learned file. The worker touches nothing
// but the job.
class ApfReadJob {
public:
    ApfReadJob() = default;
    ApfReadJob(const ApfReadJob&) = delete;
    ApfReadJob& operator=(const ApfReadJob&) = delete;
    ~ApfReadJob() { wait(); }

    void start(std::filesystem::path file, std::string name);
    // The second stage, after take(): keeps `load` and loads the learned file
    // `path` with `loadLearned` on a worker.
    // `premerge`, when given, then merges it into the load's stands there.
    void startLearned(ApfLoad load, std::filesystem::path path,
                      std::function<LearnedLoad(const std::filesystem::path&)> loadLearned,
                      std::function<void(LearnedLoad&, std::vector<Stand>&)> premerge = {});
    // In the second stage.
    bool learning() const { return learning_; }
    // Started and neither taken nor dropped.
    bool pending() const { return worker_.joinable(); }
    // The worker has finished; never blocks.
    bool ready() const { return done_.load(std::memory_order_acquire); }
    // Blocks until the worker has finished.
    void wait();
    const std::string& name() const { return name_; }
    // The loaded file (waits for it); the job is spent afterwards.
    ApfLoad take();
    // In the second stage: the loaded learned file (waits for it); take() follows.
    LearnedLoad takeLearned();
    // Forgets the read (waits for the worker, which cannot be cut short).
    void drop();
    // Stands no longer wanted: the next start() frees them on its worker.
    void release(std::vector<Stand>&& spent) { spent_ = std::move(spent); }

private:
    std::filesystem::path file_;
    std::string name_;
    ApfLoad load_;
    std::filesystem::path learnedPath_;
    std::function<LearnedLoad(const std::filesystem::path&)> loadLearned_;
    std::function<void(LearnedLoad&, std::vector<Stand>&)> premerge_;
    std::vector<Stand> spent_;
    LearnedLoad learned_;
    bool learning_ = false;
    std::atomic<bool> done_{false};
    std::thread worker_;
};

}  // namespace clv

extern clv::ApfReadHooks apfReadHooks;

// The local copy of an archived file.
inline const std::filesystem::path g_parkAirportFile{"airports/park_airport.xml"};

// Reads the park airport's file `name` (a path beginning with "airports" is a
// local file, anything else an archived file on the download server) and appends
// its stands to the stand list, which the caller empties. "" on success, else the
// error text. clv::UserErrorException (a missing altitude, a repeated stand id)
// passes through; any other error from loading the file on gives "gf_readApf: ...".
std::string gf_readApf(const std::string& name, clv::ApfInfo& summary, clv::QualityFactors& quality);

// Steps of gf_readApf without the park airport: loads `file` (named `name` in
// messages), reads its parameters into summary and quality and appends its
// stands to the stand list. "" or the error text of a file that does not load
// or is refused; throws clv::UserErrorException as gf_readApf does, and passes
// other exceptions on.
std::string gf_loadApfStands(const std::filesystem::path& file, const std::string& name, clv::ApfInfo& summary,
                             clv::QualityFactors& quality);

// The first steps of gf_readApf: the checks and the fetching of an archived file;
// "" when the job has started reading the file, else the error text.
std::string gf_beginReadApf(const std::string& name, clv::ApfReadJob& job);
// The rest of gf_readApf with the job's loaded file (waits for it when not ready):
// the stand list, the learned file, numbering, adjacency and the report.
std::string gf_finishReadApf(clv::ApfReadJob& job, clv::ApfInfo& summary, clv::QualityFactors& quality);
// The same without waiting, for a look between ticks: nothing while a file is
// still loading. The look that finds the file loaded starts loading its learned
// file on a worker when there is one (and the hooks can split it), else ends the
// read; the look that finds the learned file loaded merges it and ends the read.
std::optional<std::string> gf_continueReadApf(clv::ApfReadJob& job, clv::ApfInfo& summary,
                                              clv::QualityFactors& quality);

// gf_loadApfStands in two halves: loading and reading the stands into the result
// (any thread), and applying it to the parameters, the hooks and the stand list
// (run thread).
clv::ApfLoad gf_loadApf(const std::filesystem::path& file, const std::string& name);
std::string gf_applyApfLoad(clv::ApfLoad&& load, clv::ApfInfo& summary, clv::QualityFactors& quality);

// Every "parkpos" of the file, as fixed stands; a repeated stand id ends the read
// with a user error.
void lf_readStands(const pugi::xml_node& parkpositions);
// The same into `stands`.
void lf_readStands(const pugi::xml_node& parkpositions, std::vector<clv::Stand>& stands);

// One "parkpos": appends a stand named `name` to the stand list, with `fixed` on
// every option; nothing when latitude and longitude both read 0.
void lf_readParkpos(const pugi::xml_node& parkpos, std::string name, std::uint32_t fixed);
void lf_readParkpos(const pugi::xml_node& parkpos, std::string name, std::uint32_t fixed,
                    std::vector<clv::Stand>& stands);

// The identity of one "opt".
clv::OptIdentity lf_readOptIdentity(const pugi::xml_node& opt);
// One "opt" as a stand option with the given id and fixed mark.
clv::StandOption lf_readOpt(const pugi::xml_node& opt, std::uint32_t id, std::uint32_t fixed);
