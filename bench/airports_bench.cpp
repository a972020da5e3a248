#include <benchmark/benchmark.h>

#include <random>

#include "airports/parking/airport_data.h"

// The refresh asks for the nearest airport on every data step the user aircraft
// stands on the ground: a walk over the whole reference list.
static void BM_NearestAirport(benchmark::State& state) {
    gf_forgetAirports();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> lat(-60.0, 70.0), lon(-180.0, 180.0);
    for (std::size_t i = 0; i < clv::kAirportCapacity; ++i) {
        g_airports.push_back(clv::Airport{"A" + std::to_string(i), "", lat(random), lon(random), 0.0});
    }
    // No airport within 5 nm: the walk that happens away from airports, with no
    // neighbour files to fetch.
    const clv::LatLon position{89.0, 0.0};
    for (auto _ : state) benchmark::DoNotOptimize(gf_nearestAirport(position));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_airports.size()));
    gf_forgetAirports();
}
BENCHMARK(BM_NearestAirport)->Unit(benchmark::kMicrosecond);
