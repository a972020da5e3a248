#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>

#include <fmt/format.h>

#include "liveries/dbase.h"
#include "tools/dbasetool/dbase_listing.h"

namespace {

constexpr int kRegistrations = 200'000;

double lf_peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

// A dbase.xml of the size of the real one, generated once through the tool. The
// generation runs in a child process, so that its memory does not count in the
// peak of the reader.
class GeneratedDbase {
public:
    GeneratedDbase() : path_(std::filesystem::temp_directory_path() / fmt::format("clv-dbase-bench-{}.xml", getpid())) {
        const pid_t child = fork();
        if (child == 0) {
            write(path_);
            _exit(0);
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            write(path_);  // no child: generate here
    }
    ~GeneratedDbase() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    static void write(const std::filesystem::path& path) {
        const std::array<const char*, 10> airlines{"DLH", "BAW", "AFR", "KLM", "UAL",
                                                   "DAL", "RYR", "EZY", "FDX", "PVT"};
        const std::array<const char*, 10> types{"A320", "A20N", "A319", "B738", "B38M",
                                                "B77W", "A359", "E190", "C172", "MD11"};
        const std::array<const char*, 8> prefixes{"D-", "G-", "F-", "EI", "N", "HB-", "OE-", "PH-"};
        std::string listing =
            "aircrafts A320,A20N,A319,B738,B38M,B77W,A359,E190,C172,MD11\n"
            "high_performance F16\nheavy B77W,A359,MD11\nlarge A320,A20N,A319,B738,B38M,E190\n"
            "buzjet C56X\nrotorcraft EC35\ncargo_types MD11\n"
            "ICAO_airlines DLH,BAW,AFR,KLM,UAL,DAL,RYR,EZY,FDX,PVT,ZZZ\ncargo_operators FDX\n"
            "wingspans A320;35.8\nwingspans B77W;64.8\nsimaddons20 EDDF\n";
        listing.reserve(listing.size() + kRegistrations * 32);
        constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (int i = 0; i < kRegistrations; ++i) {
            std::string suffix;
            for (int n = i, k = 0; k < 4; ++k, n /= 36) suffix += kAlphabet[static_cast<std::size_t>(n % 36)];
            const auto a = static_cast<std::size_t>(i % 10);
            const auto t = static_cast<std::size_t>((i / 10) % 10);
            // The suffix alone is unique; the prefix only varies the spellings.
            listing += fmt::format("dbase {}{};{};{};;{}\n", prefixes[static_cast<std::size_t>(i % 8)], suffix,
                                   airlines[a], types[t], a == 8 ? "1" : "");
        }
        std::ofstream(path, std::ios::binary) << gf_dbaseListingToXml(listing);
    }

    std::filesystem::path path_;
};

void BM_ReadDbase200k(benchmark::State& state) {
    static const GeneratedDbase file;
    // The program's own peak before the first read; the reads add theirs on top.
    static const double peakBeforeReading = lf_peakRssMiB();
    std::size_t read = 0;
    for (auto _ : state) {
        clv::Dbase db;
        gf_readDbaseFile(file.path(), db);
        read = db.registrations.size();
        benchmark::DoNotOptimize(read);
    }
    state.counters["registrations"] = static_cast<double>(read);
    state.counters["peak_rss_before_reading_MiB"] = peakBeforeReading;
    state.counters["peak_rss_MiB"] = lf_peakRssMiB();
}
BENCHMARK(BM_ReadDbase200k)->Unit(benchmark::kMillisecond);

}  // namespace
