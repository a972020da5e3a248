// The livery scan over a large generated Community folder, as a user with many
// traffic packages would run it: 20,000 aircraft.cfg files in four packages, in
// the text forms the simulator's files come in. Reports files per second and the
// ratio of the scan's wall time to a plain read of the same files with the same
// threads (the goal is at most 2): "scan/read" against a read with one thread per
// file under the same throttle, "scan/pool_read" against a pool of as many threads.
//
//   clv_bench --benchmark_filter=Livery
//
// The tree is generated once per process below the system's temporary folder and
// removed at exit (kept with CLV_BENCH_KEEP_TREE=1).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <fmt/format.h>

#include "core/encoding.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/stop_flags.h"
#include "core/text.h"
#include "core/workers.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/dbase.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_scan.h"
#include "liveries/livery_walk.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 20000;
constexpr int kSectionsPerFile = 5;

const std::vector<std::string> kTypes{"A319", "A320", "A20N", "A321", "B738", "B38M", "B77W", "B789",
                                      "E190", "AT76", "DH8D", "CRJ9", "B744", "A359", "C172", "B350"};
const std::vector<std::string> kAirlines{"DLH", "BAW", "AFR", "KLM", "SWR", "EWG", "RYR", "EZY", "DAL", "UAL",
                                         "AAL", "UPS", "FDX", "GEC", "CLX", "THY", "UAE", "QTR", "SIA", "ANA"};
const std::vector<std::string> kPackages{"aig-aitraffic-oci", "fsltl-traffic-base", "justflight-aircraft-traffic-fleet",
                                         "user-aitraffic"};

// One aircraft.cfg as the traffic packages write them: a general part and a few
// liveries with the keys the scan reads among many it does not.
std::string cfgText(int file) {
    const std::string& type = kTypes[static_cast<std::size_t>(file) % kTypes.size()];
    std::string text = fmt::format(
        "[VERSION]\nmajor = 1\nminor = 0\n\n[GENERAL]\natc_type = \"TT:ATCCOM.ATC_NAME {0}.0.text\"\n"
        "atc_model = \"TT:ATCCOM.AC_MODEL {0}.0.text\"\nCategory = \"airplane\"\nperformance = \"\"\n"
        "icao_type_designator = \"{0}\"\nicao_manufacturer = \"Maker\"\nicao_model = \"Model {0}\"\n"
        "icao_engine_type = \"Jet\"\nicao_engine_count = 2\nicao_WTC = \"M\"\n\n",
        type);
    for (int s = 0; s < kSectionsPerFile; ++s) {
        const std::string& airline = kAirlines[static_cast<std::size_t>(file * kSectionsPerFile + s) % kAirlines.size()];
        text += fmt::format(
            "[FLTSIM.{0}]\ntitle = \"Generated {1} {2} livery {3}-{0}\" ; variation\nmodel = \"\"\n"
            "panel = \"\"\nsound = \"\"\ntexture = \"{2}{0}\"\nkb_checklists = \"\"\nkb_reference = \"\"\n"
            "description = \"Generated AI livery of {2}\"\nui_manufacturer = \"Maker\"\nui_type = \"{1}\"\n"
            "ui_variation = \"{2} [{0}]\"\nui_typerole = \"Commercial Airliner\"\nui_createdby = \"Generator\"\n"
            "icao_airline = \"{2}\"\natc_id = \"G-{3:04}{0}\"\natc_parking_types = \"{4}\"\natc_airline = \"{2}\"\n"
            "atc_flight_number = \"{3}\"\nisAirTraffic = 1\nisUserSelectable = 0\n\n",
            s, type, airline, file, airline == "UPS" || airline == "FDX" ? "CARGO" : "GATE,RAMP");
    }
    return text;
}

std::string encoded(const std::string& utf8, int file) {
    const std::string crlf = [&] {
        std::string out;
        out.reserve(utf8.size() + utf8.size() / 20);
        for (char c : utf8) {
            if (c == '\n') out += '\r';
            out += c;
        }
        return out;
    }();
    switch (file % 10) {
        case 0:
        case 1: {  // UTF-16LE with byte-order mark
            std::u16string wide = gf_utf8ToUtf16(crlf);
            std::string bytes("\xFF\xFE");
            for (char16_t c : wide) {
                bytes += static_cast<char>(c & 0xFF);
                bytes += static_cast<char>((c >> 8) & 0xFF);
            }
            return bytes;
        }
        case 2:
            return "\xEF\xBB\xBF" + crlf;
        case 3:
            return crlf;
        default:
            return utf8;
    }
}

// The generated Community folder, made once.
class GeneratedCommunity {
public:
    GeneratedCommunity() {
        root_ = fs::temp_directory_path() / fmt::format("clv-livery-bench-{}", ::getpid());
        fs::remove_all(root_);
        for (int file = 0; file < kFiles; ++file) {
            const std::string& package = kPackages[static_cast<std::size_t>(file) % kPackages.size()];
            const fs::path folder = root_ / "Community" / package / "SimObjects" / "Airplanes" /
                                    fmt::format("Model_{:03}", file / 100) / fmt::format("Livery_{:05}", file);
            fs::create_directories(folder);
            std::ofstream(folder / "aircraft.cfg", std::ios::binary) << encoded(cfgText(file), file);
            files_.push_back(folder / "aircraft.cfg");
        }
        for (const auto& type : kTypes) dbase.aircrafts.insert(type);
        for (const auto& type : {"A319", "A320", "A20N", "A321", "B738", "B38M", "E190", "AT76", "DH8D", "CRJ9"})
            dbase.large.insert(type);
        for (const auto& type : {"B77W", "B789", "B744", "A359"}) dbase.heavy.insert(type);
        for (const auto& airline : kAirlines) dbase.ICAO_airlines.insert(airline);
        fs::create_directories(root_ / "work" / "output" / "info");
        fs::create_directories(root_ / "work" / "input");
    }
    ~GeneratedCommunity() {
        // CLV_BENCH_KEEP_TREE=1 keeps the tree, the log and what the scan step wrote.
        const char* keep = std::getenv("CLV_BENCH_KEEP_TREE");
        if (keep != nullptr && std::string(keep) == "1") {
            std::fprintf(stderr, "generated tree kept in %s\n", root_.c_str());
            return;
        }
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const fs::path& root() const { return root_; }
    fs::path community() const { return root_ / "Community"; }
    const std::vector<fs::path>& files() const { return files_; }

private:
    fs::path root_;
    std::vector<fs::path> files_;
};

GeneratedCommunity& generated() {
    static GeneratedCommunity community;
    return community;
}

std::string readWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<fs::path> listCfgFiles(const fs::path& community) {
    std::vector<fs::path> files;
    for (const auto& package : kPackages) {
        for (const auto& entry : fs::recursive_directory_iterator(community / package)) {
            if (entry.is_regular_file() && entry.path().filename() == "aircraft.cfg") files.push_back(entry.path());
        }
    }
    return files;
}

// The baseline of the goal: the same folders walked the same way, each
// aircraft.cfg read whole by a task on a thread of its own, as many at once as the
// scan runs, the results taken oldest first. What the scan costs beyond it is
// the parsing.
std::size_t plainReadThreadPerFile(const fs::path& community) {
    std::size_t bytes = 0;
    std::deque<std::future<std::size_t>> pending;
    auto takeOldest = [&] {
        bytes += pending.front().get();
        pending.pop_front();
    };
    for (const auto& package : kPackages) {
        for (const auto& entry : fs::recursive_directory_iterator(community / package)) {
            if (!entry.is_regular_file() || entry.path().filename() != "aircraft.cfg") continue;
            gf_waitForWorkerSlot();
            std::packaged_task<std::size_t(fs::path)> task([](fs::path file) {
                const std::size_t size = readWhole(file).size();
                gf_workerThreadDone();
                return size;
            });
            pending.push_back(task.get_future());
            std::thread(std::move(task), entry.path()).detach();
            runningTasks.fetch_add(1);
            if (pending.size() > static_cast<std::size_t>(taskLimit.load())) takeOldest();
        }
    }
    while (!pending.empty()) takeOldest();
    return bytes;
}

// A second baseline: the files read by a pool of as many long-lived threads,
// which shows what starting one thread per file costs.
std::size_t plainReadPool(const fs::path& community, int threads) {
    const std::vector<fs::path> files = listCfgFiles(community);
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> bytes{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            for (std::size_t i = next++; i < files.size(); i = next++) bytes += readWhole(files[i]).size();
        });
    }
    for (auto& thread : pool) thread.join();
    return bytes.load();
}

void scanWalks(const fs::path& folder) {
    lf_clearScanLists();
    liveryList.clear();
    std::int32_t priority = 0;
    for (const auto& package : kPackages) lf_findAircraftCfgs(++priority, folder / package);
}

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

template <typename F>
double timed(F&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return seconds(std::chrono::steady_clock::now() - start);
}

// The folder walks with their parser tasks: the work the throttle spreads over the threads.
static void BM_LiveryScanWalk(benchmark::State& state) {
    const GeneratedCommunity& community = generated();
    gf_initWorkerThrottle();
    double scanSeconds = 0;
    double readSeconds = 0;
    double poolSeconds = 0;
    std::size_t liveries = 0;
    for (auto _ : state) {
        state.PauseTiming();
        readSeconds += timed([&] { benchmark::DoNotOptimize(plainReadThreadPerFile(community.community())); });
        poolSeconds += timed([&] { benchmark::DoNotOptimize(plainReadPool(community.community(), taskLimit.load())); });
        state.ResumeTiming();
        scanSeconds += timed([&] { scanWalks(community.community()); });
        liveries = liveryList.size();
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(kFiles) * n, benchmark::Counter::kIsRate);
    state.counters["liveries"] = static_cast<double>(liveries);
    state.counters["threads"] = taskLimit.load();
    state.counters["scan/read"] = readSeconds > 0 ? scanSeconds / readSeconds : 0;
    state.counters["scan/pool_read"] = poolSeconds > 0 ? scanSeconds / poolSeconds : 0;
    liveryList.clear();
    lf_clearScanLists();
}
BENCHMARK(BM_LiveryScanWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// One parser task after the other on this thread: the parsing itself, without
// threads, per file.
static void BM_LiveryParseOneThread(benchmark::State& state) {
    const GeneratedCommunity& community = generated();
    std::size_t liveries = 0;
    for (auto _ : state) {
        lf_clearScanLists();
        liveries = 0;
        for (const auto& file : community.files()) {
            runningTasks.fetch_add(1);
            liveries += lf_searchLiveriesinFile(1, file).size();
        }
    }
    state.counters["files/s"] =
        benchmark::Counter(static_cast<double>(kFiles) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["liveries"] = static_cast<double>(liveries);
    lf_clearScanLists();
}
BENCHMARK(BM_LiveryParseOneThread)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The whole scan step as a user's first start runs it: automatic package folders,
// walks, corrections, sorting, LiveriesScanned.xml and the reports.
static void BM_LiveryScanStep(benchmark::State& state) {
    const GeneratedCommunity& community = generated();
    gf_initWorkerThrottle();
    const fs::path previous = fs::current_path();
    fs::current_path(community.root() / "work");
    gf_openLog(community.root() / "work");
    const std::string install = MSFS_INSTALL_PATH.value.get();
    const bool msfs2020 = MSFS_2020.value;
    const bool scanLiveries = SCAN_LIVERIES.value;
    const std::string parameters = g_parametersXmlPath;
    MSFS_INSTALL_PATH.value = community.root().string();
    MSFS_2020.value = true;
    g_parametersXmlPath = (community.root() / "work" / "parameters.xml").string();
    const char* server = std::getenv("CALVORINTH_SERVER_URL");
    const std::string savedServer = server != nullptr ? server : "";
    setenv("CALVORINTH_SERVER_URL", "", 1);
    for (auto _ : state) {
        SCAN_LIVERIES.value = true;
        benchmark::DoNotOptimize(gf_scanLiveries());
    }
    state.counters["files/s"] =
        benchmark::Counter(static_cast<double>(kFiles) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    MSFS_INSTALL_PATH.value = install;
    MSFS_2020.value = msfs2020;
    SCAN_LIVERIES.value = scanLiveries;
    g_parametersXmlPath = parameters;
    if (server != nullptr)
        setenv("CALVORINTH_SERVER_URL", savedServer.c_str(), 1);
    else
        unsetenv("CALVORINTH_SERVER_URL");
    gf_closeLog();
    fs::current_path(previous);
}
BENCHMARK(BM_LiveryScanStep)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
