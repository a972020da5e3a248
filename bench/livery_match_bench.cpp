#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "core/folders.h"
#include "core/parameters.h"
#include "core/random.h"
#include "liveries/ac_data.h"
#include "liveries/dbase.h"
#include "liveries/livery_index.h"
#include "liveries/livery_match.h"
#include "liveries/similar_types.h"

namespace {

namespace fs = std::filesystem;

constexpr int kAirlines = 300;
constexpr int kTitlesPerAirlineType = 4;
constexpr int kAircraft = 10'000;

// 25 types an airline flies (25 * 4 titles * 300 airlines = 30,000 liveries),
// in similar-type groups, over the categories.
const std::array<const char*, 25> kLargeTypes{"A318", "A319", "A320", "A321", "A20N", "A21N", "B736", "B737", "B738",
                                              "B739", "B38M", "B39M", "E170", "E175", "E190", "E195", "CRJ7", "CRJ9",
                                              "AT72", "AT76", "DH8D", "B752", "B753", "A332", "A333"};
const std::array<const char*, 6> kHeavyTypes{"B744", "B748", "B77W", "B77L", "A388", "MD11"};
const std::array<const char*, 4> kLightTypes{"C172", "PA28", "DA40", "C208"};

std::string lf_airlineCode(int i) {
    return {static_cast<char>('A' + i / 26 % 26), static_cast<char>('A' + i % 26), static_cast<char>('A' + i / 676)};
}

// The data base the matcher asks: categories, similar-type groups, registrations
// with operators for a part of them.
void lf_fillDbase() {
    dbase = clv::Dbase{};
    for (const char* type : kLargeTypes) dbase.large.insert(type);
    for (const char* type : kHeavyTypes) dbase.heavy.insert(type);
    dbase.high_performance.insert("F16");
    dbase.similarGroups = {{"A318", "A319", "A320", "A321"}, {"A20N", "A21N"}, {"B736", "B737", "B738", "B739"},
                           {"B38M", "B39M"}, {"E170", "E175", "E190", "E195"}, {"B744", "B748"},
                           {"C172", "DA40", "PA28"}};
    for (auto& group : dbase.similarGroups) std::sort(group.begin(), group.end());
    for (int i = 0; i < kAircraft; ++i) {
        clv::RegRecord record;
        record.airl = lf_airlineCode(i % kAirlines);
        record.type = kLargeTypes[static_cast<std::size_t>(i) % kLargeTypes.size()];
        if (i % 5 == 0) record.opr = lf_airlineCode((i + 1) % kAirlines);
        dbase.registrations.emplace(fmt::format("X{:05}", i), record);
    }
}

// LiveriesScanned.xml of 30,000 liveries; one in three carries a registration.
std::string lf_scannedLiveries() {
    std::string xml = "<?xml version=\"1.0\"?>\n<liveries>\n";
    int registration = 0;
    for (int a = 0; a < kAirlines; ++a) {
        const std::string airline = lf_airlineCode(a);
        for (const char* type : kLargeTypes) {
            for (int n = 0; n < kTitlesPerAirlineType; ++n) {
                const bool withReg = (a + n) % 3 == 0;
                xml += fmt::format(R"(<liv airl="{}" type="{}" title="{} {} livery {}"{}/>)", airline, type, airline,
                                   type, n, withReg ? fmt::format(R"( atcid="R{:06}")", registration++) : "");
                xml += '\n';
            }
        }
    }
    for (const char* type : kHeavyTypes) xml += fmt::format(R"(<liv airl="ZZZ" type="{}" title="Generic {}"/>)", type, type) + '\n';
    for (const char* type : kLightTypes) xml += fmt::format(R"(<liv airl="ZZZ" type="{}" title="Generic {}"/>)", type, type) + '\n';
    return xml + "</liveries>\n";
}

// A working folder with the scanned liveries and no download server, the current
// folder while one benchmark runs (the index is built relative to it).
class BenchWorld {
public:
    BenchWorld() : folder_(fs::temp_directory_path() / fmt::format("clv-livery-bench-{}", getpid())) {
        fs::create_directories(folder_ / "output" / "info");
        std::ofstream(folder_ / "output" / "LiveriesScanned.xml") << lf_scannedLiveries();
        previous_ = fs::current_path();
        fs::current_path(folder_);
        setenv("CALVORINTH_SERVER_URL", "", 1);
        parametersPath_ = g_parametersXmlPath;
        g_parametersXmlPath = (folder_ / "parameters.xml").string();
        lf_fillDbase();
    }
    ~BenchWorld() {
        gf_clearLiveryIndex();
        similarModels.clear();
        airlineSimilarTypes.clear();
        dbase = clv::Dbase{};
        g_parametersXmlPath = parametersPath_;
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

private:
    fs::path folder_;
    fs::path previous_;
    std::string parametersPath_;
};

void lf_build() {
    gf_requestLiveryIndexClear();
    similarModels.clear();
    airlineSimilarTypes.clear();
    lf_processScannedLiveries();
}

// 10,000 aircraft: by registration (bound in-line), by airline and type, by the
// registration's operator, by a similar type, generic Heavy, Light by any livery
// of its type, and some that find nothing.
std::vector<clv::AcData> lf_aircraft() {
    std::vector<clv::AcData> fleet;
    fleet.reserve(kAircraft);
    for (int i = 0; i < kAircraft; ++i) {
        clv::AcIdentity id;
        id.callsign = fmt::format("BCH{}", i);
        switch (i % 8) {
            case 0:  // registration bound in-line
                id.registration = fmt::format("R{:06}", i % 10'000);
                id.airline = lf_airlineCode(i % kAirlines);
                id.type = "A320";
                break;
            case 1:
            case 2:  // airline and type
                id.airline = lf_airlineCode(i % kAirlines);
                id.type = kLargeTypes[static_cast<std::size_t>(i) % kLargeTypes.size()];
                break;
            case 3:  // an unknown airline whose registration's operator flies it
                id.airline = "QQQ";
                id.registration = fmt::format("X{:05}", i - i % 5);
                id.type = kLargeTypes[static_cast<std::size_t>(i - i % 5) % kLargeTypes.size()];
                break;
            case 4:  // similar type
                id.airline = lf_airlineCode(i % kAirlines);
                id.type = "A319";
                break;
            case 5:  // Heavy: generic livery
                id.airline = lf_airlineCode(i % kAirlines);
                id.type = kHeavyTypes[static_cast<std::size_t>(i) % kHeavyTypes.size()];
                break;
            case 6:  // Light without a livery of its own
                id.airline = "QQQ";
                id.type = kLightTypes[static_cast<std::size_t>(i) % kLightTypes.size()];
                break;
            default:  // nothing fits
                id.airline = "QQQ";
                id.type = "F16";
                break;
        }
        fleet.emplace_back(id);
    }
    return fleet;
}

void BM_MatchLivery(benchmark::State& state) {
    BenchWorld world;
    MATCHING_DEPTH.value = 4;
    LOG.value = false;
    RANDOM.value = state.range(0) != 0;
    gf_seedRandom(42);
    lf_build();
    std::vector<clv::AcData> fleet = lf_aircraft();
    std::int64_t matched = 0;
    for (auto _ : state) {
        for (auto& ac : fleet) {
            ac.liveryTitle = {};
            gf_matchLivery(ac);
            matched += ac.liveryTitle.empty() ? 0 : 1;
        }
        benchmark::DoNotOptimize(matched);
    }
    state.counters["per_aircraft"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kAircraft,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["matched_share"] =
        static_cast<double>(matched) / (static_cast<double>(state.iterations()) * kAircraft);
}
BENCHMARK(BM_MatchLivery)->Arg(0)->Arg(1)->ArgName("random")->Unit(benchmark::kMillisecond);

void BM_BuildLiveryIndex(benchmark::State& state) {
    BenchWorld world;
    LOG.value = false;
    for (auto _ : state) lf_build();
    state.counters["liveries"] = static_cast<double>(liveryTree.texts.size());
}
BENCHMARK(BM_BuildLiveryIndex)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
