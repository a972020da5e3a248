#include <benchmark/benchmark.h>

#include "core/geodesy.h"

// Distances and bearings run for every aircraft pair in the collision passes.
static void BM_DistanceNm(benchmark::State& state) {
    clv::LatLon a{47.45, 8.56};
    clv::LatLon b{47.46, 8.57};
    for (auto _ : state) {
        benchmark::DoNotOptimize(gf_distanceNm(a, b));
        b.lon += 1e-9;
    }
}
BENCHMARK(BM_DistanceNm);

static void BM_Destination(benchmark::State& state) {
    clv::LatLon a{47.45, 8.56};
    double bearing = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gf_destination(a, bearing, 500.0));
        bearing += 1e-6;
    }
}
BENCHMARK(BM_Destination);
