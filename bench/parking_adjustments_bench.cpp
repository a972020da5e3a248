// The renewal of the static parked aircraft at a park airport of 450 stands with
// 100 options each, with the apron full of the static aircraft of the plan of an
// hour before: the work the main loop's data step does on the run thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "airports/files/stand_adjacency.h"
#include "airports/parking/parking_adjustments.h"
#include "airports/parking/parking_hooks.h"
#include "airports/parking/static_parking.h"
#include "core/parameters.h"
#include "large_airport.h"
#include "null_ports.h"

namespace {

constexpr clv::Slot kPlannedAt{3, 18};
constexpr clv::Slot kRenewedAt{3, 20};

// As the archived file of a large airport holds them, numbered and with their neighbours.
std::vector<clv::Stand> lf_airportStands() {
    std::vector<clv::Stand> stands = clv::bench::gf_largeAirportStands();
    for (std::size_t s = 0; s < stands.size(); ++s) stands[s].id = static_cast<std::uint32_t>(s + 1);
    gf_computeAdjacency(stands);
    return stands;
}

clv::Slot g_now = kPlannedAt;

void lf_installHooks() {
    clv::ParkingHooks hooks;
    hooks.now = [] { return g_now; };
    hooks.userStandName = [] { return std::string(); };
    hooks.takeLiveCallsigns = [] { return std::set<std::string>(); };
    hooks.halfWingspan = [](std::string_view) { return 0.0097; };
    hooks.matchStaticLivery = [](clv::AcData& ac, std::string_view, bool) {
        ac.liveryTitle = "Bench livery";
        return true;
    };
    gf_setParkingHooks(hooks);
}

double lf_ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void BM_ParkingAdjustments450Stands100Options(benchmark::State& state) {
    clv::bench::NullSimLink sim;
    clv::bench::NullData data;
    clv::ParkingPort parking;
    clv::MovementPort movement;
    clv::TrafficEngine engine(clv::EnginePorts{&sim, &data, &parking, &movement});
    lf_installHooks();
    parking_percentage.value = static_cast<int>(state.range(0));
    standList = lf_airportStands();

    // The apron as the plan of an hour before filled it.
    g_now = kPlannedAt;
    lf_planStaticParking(engine);
    while (!parkPlan.empty()) gf_placeNextStaticAc(engine);
    std::uint32_t objectId = 1000;
    for (clv::StaticAc& s : engine.staticAc) {
        s.simState = clv::AcSimState::Active;
        s.objectId = ++objectId;
    }
    const std::vector<clv::StaticAc> apron = engine.staticAc;
    engine.staticCreationQueue.clear();
    g_now = kRenewedAt;

    double longest = 0.0;
    std::size_t removed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        engine.staticAc = apron;
        engine.removalQueue.clear();
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        gf_parkingAdjustments(engine);
        longest = std::max(longest, lf_ms(std::chrono::steady_clock::now() - t0));
        removed = engine.removalQueue.size();
    }
    state.counters["longest_stall_ms"] = longest;
    state.counters["standing"] = static_cast<double>(apron.size());
    state.counters["removed"] = static_cast<double>(removed);
    state.counters["added"] = static_cast<double>(parkPlan.size());
    gf_resetParkAirportState();
    gf_setParkingHooks({});
    parking_percentage.value = 30;
}
// The default share of 30 % and a full apron.
BENCHMARK(BM_ParkingAdjustments450Stands100Options)->Arg(30)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
