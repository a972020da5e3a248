// Reading the park airport's file at the size of the largest airports: 1,500
// stands with 100 options each, and the adjacency of 1,500 stands on its own.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "airports/files/apf_writer.h"
#include "airports/files/stand_adjacency.h"
#include "airports/parking/apf_reader.h"
#include "core/geodesy.h"

namespace {

constexpr int kStands = 1500;
constexpr int kOptionsPerStand = 100;

double lf_peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
}

// 1,500 stands on about 2.5 by 2.5 km, radii 8 to 40 m, as at a large hub.
std::vector<clv::Stand> lf_hubStands(int optionsPerStand) {
    std::mt19937 random(1500);
    std::uniform_real_distribution<double> lat(50.02, 50.045);
    std::uniform_real_distribution<double> lon(8.53, 8.57);
    std::uniform_real_distribution<double> radius(8.0, 40.0);
    const char* airlines[] = {"DLH", "CLH", "EWG", "UAE", "BAW", "AFR", "KLM", "UAL", "DAL", "CCA"};
    const char* types[] = {"A320", "A20N", "A319", "B738", "B77W", "A359", "A388", "E190", "CRJ9", "B748"};
    std::vector<clv::Stand> stands;
    stands.reserve(kStands);
    for (int s = 0; s < kStands; ++s) {
        std::vector<clv::StandOption> options;
        for (int k = 0; k < optionsPerStand; ++k) {
            clv::StandOption o;
            o.airline = airlines[(s + k) % 10];
            o.type = types[(s * 3 + k) % 10];
            o.registration = k % 3 == 0 ? fmt::format("D-A{:03}", (s * 7 + k) % 1000) : "";
            o.callsign = fmt::format("{}{}", o.airline, 100 + k);
            o.secondCallsign = k % 4 == 0 ? o.callsign + "A" : "";
            o.hours.set(static_cast<std::uint32_t>(k % 48));
            o.hours.set(static_cast<std::uint32_t>((k + 1) % 48));
            o.id = static_cast<std::uint32_t>(k + 1);
            o.weekday = static_cast<std::uint32_t>(1 + k % 7);
            o.real = k % 5 == 0 ? 0 : 1;
            options.push_back(std::move(o));
        }
        stands.emplace_back(fmt::format("V{}", s), std::move(options), lat(random), lon(random), 1.0, radius(random),
                            clv::StandKinds{.ramp = s % 3 == 0});
    }
    return stands;
}

// airports/BENCH.xml below a folder of its own, written in a child process so
// that the writing does not count in the reader's peak.
class GeneratedApf {
public:
    GeneratedApf() : folder_(std::filesystem::temp_directory_path() / fmt::format("clv-apf-bench-{}", getpid())) {
        std::filesystem::create_directories(folder_ / "airports");
        const pid_t child = fork();
        if (child == 0) _exit(write(folder_) ? 0 : 1);
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            write(folder_);
    }
    ~GeneratedApf() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::filesystem::path& folder() const { return folder_; }

private:
    static bool write(const std::filesystem::path& folder) {
        clv::ApfData data;
        data.airport_name = "Bench Hub";
        data.publisher = "stock";
        data.altitude = 364;
        data.stands = lf_hubStands(kOptionsPerStand);
        handmadeFile = true;
        return gf_writeApf(data, folder / "airports" / "BENCH.xml", kApfLearnedMode);
    }
    std::filesystem::path folder_;
};

void BM_ReadApf1500Stands100Options(benchmark::State& state) {
    static const GeneratedApf file;
    static const double peakBeforeReading = lf_peakRssMiB();
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(file.folder());
    apfReadHooks.parkAirportCode = [] { return std::string("BENCH"); };
    std::size_t stands = 0;
    std::size_t adjacent = 0;
    for (auto _ : state) {
        standList.clear();
        clv::ApfInfo summary;
        clv::QualityFactors quality;
        const std::string failure = gf_readApf("airports/BENCH.xml", summary, quality);
        if (!failure.empty()) state.SkipWithError(failure.c_str());
        stands = standList.size();
        adjacent = 0;
        for (const clv::Stand& s : standList) adjacent += s.adjacent.size();
    }
    state.counters["stands"] = static_cast<double>(stands);
    state.counters["adjacent_entries"] = static_cast<double>(adjacent);
    state.counters["peak_rss_before_reading_MiB"] = peakBeforeReading;
    state.counters["peak_rss_MiB"] = lf_peakRssMiB();
    standList = {};
    apfReadHooks = {};
    std::filesystem::current_path(previous);
}
BENCHMARK(BM_ReadApf1500Stands100Options)->Unit(benchmark::kMillisecond);

void BM_Adjacency1500Stands(benchmark::State& state) {
    const std::vector<clv::Stand> hub = lf_hubStands(0);
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<clv::Stand> stands = hub;
        for (std::size_t k = 0; k < stands.size(); ++k) stands[k].id = static_cast<std::uint32_t>(k + 1);
        state.ResumeTiming();
        gf_computeAdjacency(stands);
        benchmark::DoNotOptimize(stands.data());
    }
}
BENCHMARK(BM_Adjacency1500Stands)->Unit(benchmark::kMillisecond);

// The rule over every ordered pair, for comparison.
void BM_AdjacencyAllPairs1500Stands(benchmark::State& state) {
    const std::vector<clv::Stand> hub = lf_hubStands(0);
    for (auto _ : state) {
        std::size_t adjacent = 0;
        for (const clv::Stand& a : hub) {
            for (const clv::Stand& b : hub) {
                if (&a == &b) continue;
                if (a.radius + b.radius > 1.1 * gf_distanceNm(a.latitude, a.longitude, b.latitude, b.longitude)) ++adjacent;
            }
        }
        benchmark::DoNotOptimize(adjacent);
    }
}
BENCHMARK(BM_AdjacencyAllPairs1500Stands)->Unit(benchmark::kMillisecond);

}  // namespace
