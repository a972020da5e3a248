// The add-on airport scan over a generated Community folder, with 1, 2 and 8 scan
// workers: 5,000 BGL files without an airport (scenery objects), 500 airport files
// of 50 to 800 stands, and three 50 MB files that hold one airport of 300 stands
// behind 50 MB of scenery records, in 550 package folders. Each run walks, decodes
// and writes every generated airport file. Reports the wall time, the airport
// files generated and the peak resident memory of the scan ("peak_MB", the
// process's high-water mark reset before each run).
//
//   clv_bench --benchmark_filter=AddonScan
//
// The tree is written once per process below the system's temporary folder and
// removed at exit; the scan runs with that folder as the current one.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "airports/addons/addon_airports.h"
#include "airports/addons/addon_scan.h"
#include "airports/addons/airport_scan_report.h"
#include "core/files.h"
#include "core/folders.h"
#include "core/parameters.h"
#include "core/workers.h"
#include "tools/bgltool/bgl_builder.h"

namespace fs = std::filesystem;
using namespace clv::bgltool;

namespace {

constexpr int kOtherFiles = 5000;
constexpr int kAirportFiles = 500;
constexpr int kLargeFiles = 3;
constexpr int kPackages = 550;
constexpr std::int32_t kLargeRecordBytes = 50 * 1000 * 1000;

std::string lf_code(int n, char first) {
    std::string code(4, 'A');
    code[0] = first;
    for (int k = 3; k >= 1; --k, n /= 26) code[static_cast<std::size_t>(k)] = static_cast<char>('A' + n % 26);
    return code;
}

AirportDescription lf_airport(const std::string& code, int stands) {
    AirportDescription airport;
    airport.code = code;
    airport.lat = 47.0;
    airport.lon = 8.0;
    airport.altitudeM = 400.0;
    airport.children.emplace_back(HelipadDescription{47.001, 8.001, 20.0f});
    ParkingListDescription list;
    for (int i = 0; i < stands; ++i) {
        ParkingDescription p;
        p.nameIndex = static_cast<std::uint8_t>(12 + i % 26);
        p.number = static_cast<std::uint16_t>(i / 26 + 1);
        p.type = static_cast<std::uint8_t>(1 + i % 11);
        p.radiusM = 10.0f + static_cast<float>(i % 40);
        p.headingDeg = static_cast<float>(i % 360);
        p.lat = 47.0 + (i % 40) * 1e-4;
        p.lon = 8.0 + (i / 40) * 1e-4;
        list.entries.push_back(p);
    }
    airport.children.emplace_back(std::move(list));
    return airport;
}

void lf_writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct ScanTree {
    fs::path root;
    ScanTree() {
        root = fs::temp_directory_path() / ("clv-addon-scan-bench-" + std::to_string(::getpid()));
        const fs::path community = root / "Community";
        const auto package = [&](int i) { return community / ("maker-airport-" + std::to_string(i % kPackages)); };
        BglDescription other;
        other.sections.push_back(SectionDescription{0x65, 0, {RawRecordDescription{0x23, 4096}}});
        const std::string otherBytes = gf_buildBgl(other);
        for (int i = 0; i < kOtherFiles; ++i) {
            lf_writeFile(package(i) / "scenery" / ("objects" + std::to_string(i) + ".bgl"), otherBytes);
        }
        for (int i = 0; i < kAirportFiles; ++i) {
            const std::string code = lf_code(i, 'B');
            const int stands = 50 + (i * 750) / (kAirportFiles - 1);
            BglDescription blueprint;
            blueprint.sections.push_back(SectionDescription{3, 0, {lf_airport(code, stands)}});
            lf_writeFile(package(i) / "scenery" / (code + ".bgl"), gf_buildBgl(blueprint));
        }
        for (int i = 0; i < kLargeFiles; ++i) {
            const std::string code = lf_code(i, 'C');
            BglDescription blueprint;
            blueprint.sections.push_back(SectionDescription{0x65, 0, {RawRecordDescription{0x23, kLargeRecordBytes}}});
            blueprint.sections.push_back(SectionDescription{3, 0, {lf_airport(code, 300)}});
            lf_writeFile(package(i * 7) / "scenery" / "world" / (code + ".bgl"), gf_buildBgl(blueprint));
        }
    }
    ~ScanTree() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

// The process's resident high-water mark, after "5" to clear_refs reset it.
void lf_resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }
double lf_peakMb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;  // kB
    }
    return 0.0;
}

void BM_AddonScan(benchmark::State& state) {
    static const ScanTree tree;
    const fs::path previous = fs::current_path();
    fs::current_path(tree.root);
    taskLimit = static_cast<std::int32_t>(state.range(0));
    MSFS_2020.value = true;
    double peak = 0.0;
    std::int32_t generated = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(g_myThirdpartyFolder);
        fs::create_directories(g_myThirdpartyFolder);
        lf_resetPeak();
        runningTasks = 0;
        state.ResumeTiming();
        benchmark::DoNotOptimize(lf_scanAirports({(tree.root / "Community").string()}));
        state.PauseTiming();
        peak = std::max(peak, lf_peakMb());
        generated = static_cast<std::int32_t>(std::distance(fs::directory_iterator(g_myThirdpartyFolder),
                                                            fs::directory_iterator()));
        state.ResumeTiming();
    }
    fs::current_path(previous);
    state.counters["workers"] = static_cast<double>(state.range(0));
    state.counters["generated"] = static_cast<double>(generated);
    state.counters["airport_files"] = static_cast<double>(gf_addonScanProgress().airportFiles);
    state.counters["peak_MB"] = peak;
}

}  // namespace

BENCHMARK(BM_AddonScan)->Arg(1)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
