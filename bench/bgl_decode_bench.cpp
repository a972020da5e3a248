// Decoding a large all-in-one add-on airport file, as a scan worker does: a 50 MB
// builder-made BGL file of about 2,700 airports with 300 stands and 4 helipads each.
// Reports MB per second, the process's peak resident memory ("peak_rss_MB", the
// whole benchmark program) and how far it grew while decoding ("peak_growth_MB");
// the file itself is never held whole.
//
//   clv_bench --benchmark_filter=Bgl
//
// The file is written once per process below the system's temporary folder, one
// airport record at a time, and removed at exit.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "airports/addons/bgl_decode.h"
#include "airports/addons/bgl_format.h"
#include "tools/bgltool/bgl_builder.h"

namespace fs = std::filesystem;
using namespace clv::bgltool;

namespace {

constexpr std::uint64_t kTargetBytes = 50ull * 1000 * 1000;

AirportDescription lf_benchAirport() {
    AirportDescription airport;
    airport.code = "EGLL";
    airport.lat = 51.4775;
    airport.lon = -0.4614;
    airport.altitudeM = 25.0;
    for (int i = 0; i < 4; ++i) airport.children.emplace_back(HelipadDescription{51.47 + i * 1e-3, -0.45, 20.0f});
    ParkingListDescription list;
    for (int i = 0; i < 300; ++i) {
        ParkingDescription p;
        p.nameIndex = static_cast<std::uint8_t>(12 + i % 26);
        p.number = static_cast<std::uint16_t>(i / 26 + 1);
        p.type = static_cast<std::uint8_t>(1 + i % 11);
        p.radiusM = 10.0f + static_cast<float>(i % 40);
        p.headingDeg = static_cast<float>(i % 360);
        p.lat = 51.46 + i * 1e-4;
        p.lon = -0.49 + i * 1e-4;
        if (i % 3 == 0) p.airlines = {"BAW", "VIR"};
        list.entries.push_back(p);
    }
    airport.children.emplace_back(std::move(list));
    return airport;
}

void lf_write32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

// One airport file made by the builder gives the header and the record; the large
// file repeats the record under many codes.
struct BigFile {
    fs::path path;
    std::uint64_t bytes = 0;
    BigFile() {
        using namespace clv::bgl;
        BglDescription blueprint;
        blueprint.sections.push_back(SectionDescription{3, 0, {lf_benchAirport()}});
        std::string one = gf_buildBgl(blueprint);
        const std::size_t first = kHeaderSize + kSectionHeaderSize + kSubsectionHeaderSize;
        const std::string record = one.substr(first);
        const std::uint64_t count = kTargetBytes / record.size();
        std::string head = one.substr(0, first);
        lf_write32(head, kHeaderSize + kSectionTotalSizeOffset,
                   static_cast<std::uint32_t>(kSubsectionHeaderSize + count * record.size()));
        lf_write32(head, kHeaderSize + kSectionHeaderSize + kSubsectionRecordCountOffset, static_cast<std::uint32_t>(count));
        lf_write32(head, kHeaderSize + kSectionHeaderSize + kSubsectionSizeOffset,
                   static_cast<std::uint32_t>(count * record.size()));
        path = fs::temp_directory_path() / ("clv-bgl-bench-" + std::to_string(::getpid()) + ".bgl");
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << head;
        std::string copy = record;
        for (std::uint64_t i = 0; i < count; ++i) {
            std::string code = "AAAA";
            for (std::uint64_t n = i, k = 0; k < 4; ++k, n /= 26) code[3 - k] = static_cast<char>('A' + n % 26);
            lf_write32(copy, kAirportIdentOffset, gf_encodeIdentifier(code));
            out << copy;
        }
        bytes = head.size() + count * record.size();
    }
    ~BigFile() {
        std::error_code ec;
        fs::remove(path, ec);
    }
};

struct CountingSink : clv::BglAirportSink {
    std::uint64_t airports = 0;
    std::uint64_t stands = 0;
    void airportDecoded(clv::BglAirport& airport) override {
        ++airports;
        stands += airport.stands.size();
    }
};

double lf_peakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void BM_BglDecodeLargeFile(benchmark::State& state) {
    static const BigFile file;
    clv::BglDecodeSetup setup;
    std::uint64_t reports = 0;
    setup.report = [&](std::string_view) { ++reports; };
    const double before = lf_peakRssMb();
    CountingSink sink;
    for (auto _ : state) {
        sink = CountingSink{};
        benchmark::DoNotOptimize(gf_decodeBglFile(file.path, setup, sink));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.bytes));
    state.counters["file_MB"] = static_cast<double>(file.bytes) / 1e6;
    state.counters["airports"] = static_cast<double>(sink.airports);
    state.counters["stands"] = static_cast<double>(sink.stands);
    state.counters["reports"] = static_cast<double>(reports);
    state.counters["peak_growth_MB"] = lf_peakRssMb() - before;
    state.counters["peak_rss_MB"] = lf_peakRssMb();
}

}  // namespace

BENCHMARK(BM_BglDecodeLargeFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
