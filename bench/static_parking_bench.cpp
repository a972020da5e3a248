// Reading and planning the park airport of 450 stands with 100 options each,
// without and with a learned file of as many: the work the refresh does on the
// run thread between two traffic ticks. In one go each step's time is a stall of
// the tick; read the way the program reads it, the files load on workers while
// the ticks go on, and the run thread's part is what the begin and each look
// between ticks take.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "airports/files/apf_writer.h"
#include "airports/parking/apf_reader.h"
#include "airports/parking/learned_files.h"
#include "airports/parking/parking_hooks.h"
#include "airports/parking/static_parking.h"
#include "core/log.h"
#include "core/parameters.h"
#include "large_airport.h"

namespace {

using clv::bench::kOptionsPerStand;
using clv::bench::kStands;

// What learning adds at such an airport: per stand 100 options seen since, one in
// ten the same as one of the file's own (the merge skips it), every fifth stand
// with a learned radius, every seventh with a learned cargo kind.
std::vector<clv::Stand> lf_learnedStands(const std::vector<clv::Stand>& own) {
    std::vector<clv::Stand> stands;
    for (std::size_t s = 0; s < own.size(); ++s) {
        std::vector<clv::StandOption> options;
        for (int k = 0; k < kOptionsPerStand; ++k) {
            clv::StandOption o = own[s].options[static_cast<std::size_t>(k)];
            if (k % 10 != 0) {
                o.registration = fmt::format("D-L{:03}{}", (s * 11 + static_cast<std::size_t>(k)) % 1000,
                                             static_cast<char>('A' + k % 26));
                o.weekday = static_cast<std::uint32_t>(1 + (k + 3) % 7);
            }
            o.fixed = 0;
            options.push_back(std::move(o));
        }
        clv::Stand stand = own[s];
        stand.options = std::move(options);
        stand.radiusChanged = s % 5 == 0;
        stand.cargoChanged = s % 7 == 0;
        stands.push_back(std::move(stand));
    }
    return stands;
}

class BenchAirport {
public:
    BenchAirport() : folder_(std::filesystem::temp_directory_path() / fmt::format("clv-park-bench-{}", getpid())) {
        std::filesystem::create_directories(folder_ / "airports");
        clv::ApfData data;
        data.airport_name = "Bench Field";
        data.publisher = "stock";
        data.altitude = 1416;
        data.Qf_real = 60;
        data.stands = clv::bench::gf_largeAirportStands();
        handmadeFile = true;
        gf_writeApf(data, folder_ / "airports" / "BENCH.xml", kApfLearnedMode);
        handmadeFile = false;
        data.stands = lf_learnedStands(data.stands);
        std::filesystem::create_directories(folder_ / learnedFolder());
        gf_writeApf(data, folder_ / learnedFolder() / "BENCH.xml", kApfLearnedMode);
    }
    // Where the learned file of a local stock file is looked for.
    static std::filesystem::path learnedFolder() { return gf_learnedFolderOf("stock"); }
    ~BenchAirport() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};

// The refresh's world without a simulator: the park airport BENCH, Wednesday 10:00;
// its learned file is read when `learned`.
void lf_installBenchHooks(bool learned) {
    clv::ParkingHooks hooks;
    hooks.apfPath = [](const std::string&) { return std::string("airports/BENCH.xml"); };
    hooks.now = [] { return clv::Slot{3, 20}; };
    gf_setParkingHooks(hooks);
    clv::ParkSite park;
    park.code = "BENCH";
    gf_parkingHooks().setCurrentParkAirport(park);
    apfReadHooks.parkAirportCode = [] { return std::string("BENCH"); };
    if (learned) {
        apfReadHooks.archivePath = gf_archivePath;
        apfReadHooks.readLearned = lf_readLearned;
        apfReadHooks.loadLearned = lf_loadLearned;
        apfReadHooks.mergeLearned = lf_mergeLearned;
        apfReadHooks.premergeLearned = lf_premergeLearned;
    }
}

// The options of the stand list: the file's own and the learned ones merged.
std::size_t lf_optionCount() {
    std::size_t n = 0;
    for (const clv::Stand& stand : standList) n += stand.options.size();
    return n;
}

double lf_ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void BM_ReadAndPlan450Stands100Options(benchmark::State& state) {
    static const BenchAirport airport;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(airport.folder());
    lf_installBenchHooks(state.range(0) != 0);
    clv::TrafficEngine engine(clv::EnginePorts{});
    parking_percentage.value = 30;
    double longestRead = 0.0;
    double longestPlan = 0.0;
    std::size_t planned = 0;
    std::size_t options = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const std::string failure = lf_readParkedFile();
        const auto t1 = std::chrono::steady_clock::now();
        if (!failure.empty()) state.SkipWithError(failure.c_str());
        lf_planStaticParking(engine);
        const auto t2 = std::chrono::steady_clock::now();
        longestRead = std::max(longestRead, lf_ms(t1 - t0));
        longestPlan = std::max(longestPlan, lf_ms(t2 - t1));
        planned = parkPlan.size();
        options = lf_optionCount();
    }
    state.counters["options"] = static_cast<double>(options);
    state.counters["longest_read_ms"] = longestRead;
    state.counters["longest_plan_ms"] = longestPlan;
    state.counters["run_thread_total_ms"] = longestRead + longestPlan;
    state.counters["longest_stall_ms"] = std::max(longestRead, longestPlan);
    state.counters["planned"] = static_cast<double>(planned);
    gf_resetParkAirportState();
    gf_setParkingHooks({});
    apfReadHooks = {};
    std::filesystem::current_path(previous);
}
BENCHMARK(BM_ReadAndPlan450Stands100Options)->ArgName("learned")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// As the program does it: the refresh begins the read, every 10 ms tick looks
// once whether the file is loaded, and the look that finds it takes the stands
// over and plans. Counted on the run thread only: the total and the longest stall.
void BM_ReadAndPlanBetweenTicks450Stands100Options(benchmark::State& state) {
    static const BenchAirport airport;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(airport.folder());
    lf_installBenchHooks(state.range(0) != 0);
    clv::TrafficEngine engine(clv::EnginePorts{});
    parking_percentage.value = 30;
    constexpr auto kTick = std::chrono::milliseconds(10);
    double longestStall = 0.0;
    double longestTotal = 0.0;
    double longestWait = 0.0;
    double looks = 0.0;
    double longestBegin = 0.0;
    double longestTakeOver = 0.0;
    double longestPlanLook = 0.0;
    std::size_t planned = 0;
    std::size_t options = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        const auto start = t0;
        const std::string failure = lf_beginReadParkedFile();
        auto t1 = std::chrono::steady_clock::now();
        if (!failure.empty()) state.SkipWithError(failure.c_str());
        double stall = lf_ms(t1 - t0);
        double total = stall;
        longestBegin = std::max(longestBegin, stall);
        auto deadline = t0 + kTick;
        int n = 0;
        while (gf_parkReadPending()) {
            std::this_thread::sleep_until(deadline);
            deadline += kTick;
            const bool loading = lf_parkedFileReadPending();
            t0 = std::chrono::steady_clock::now();
            gf_continueParkRead(engine);
            t1 = std::chrono::steady_clock::now();
            if (loading && !lf_parkedFileReadPending()) longestTakeOver = std::max(longestTakeOver, lf_ms(t1 - t0));
            if (!loading) longestPlanLook = std::max(longestPlanLook, lf_ms(t1 - t0));
            stall = std::max(stall, lf_ms(t1 - t0));
            total += lf_ms(t1 - t0);
            ++n;
        }
        longestStall = std::max(longestStall, stall);
        longestTotal = std::max(longestTotal, total);
        longestWait = std::max(longestWait, lf_ms(t1 - start));
        looks = n;
        planned = parkPlan.size();
        options = lf_optionCount();
    }
    state.counters["options"] = static_cast<double>(options);
    state.counters["run_thread_total_ms"] = longestTotal;
    state.counters["longest_stall_ms"] = longestStall;
    state.counters["begin_ms"] = longestBegin;
    state.counters["take_over_ms"] = longestTakeOver;
    state.counters["plan_ms"] = longestPlanLook;
    state.counters["read_to_plan_ms"] = longestWait;
    state.counters["ticks_looked"] = looks;
    state.counters["planned"] = static_cast<double>(planned);
    gf_resetParkAirportState();
    gf_setParkingHooks({});
    apfReadHooks = {};
    std::filesystem::current_path(previous);
}
BENCHMARK(BM_ReadAndPlanBetweenTicks450Stands100Options)
    ->ArgName("learned")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
