#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "core/geodesy.h"
#include "link/traffic_update.h"
#include "traffic/live_movement.h"
#include "traffic/traffic_engine.h"

#include "null_ports.h"

// Every allocation of the process is counted, so a tick can be checked for them.
namespace {
std::atomic<std::uint64_t> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

// The traffic tick with 300 live aircraft taxiing (legs with corners, so curves
// and turns in place are driven) while the feed brings one report per tick, each
// aircraft reporting every 3 s. Reported: mean, 99th percentile and maximum of the
// tick (microseconds), and the allocations per tick (mean and maximum). The
// second run has no feed, for the movement's own share.
namespace {

using namespace clv;
using bench::NullData;
using bench::NullSimLink;

constexpr int kAircraft = 300;
constexpr std::uint32_t kReportTicks = 300;
constexpr double kTaxiKnots = 15.0;
constexpr double kLegMetres = kTaxiKnots * 1852.0 / 3600.0 * 3.0;
constexpr double kFeetPerMetre = 1.0 / 0.3048;

// Report r of aircraft a: east along its own line, zig-zagging 40 degrees every
// fourth leg so that corners come regularly.
LatLon lf_place(int a, int r) {
    LatLon p{47.0 + 0.002 * a, 8.0};
    for (int i = 0; i < r; ++i) p = gf_destination(p, (90.0 + ((i / 4) % 2 == 0 ? 20.0 : -20.0)) * kDegToRad, kLegMetres * kFeetPerMetre);
    return p;
}

struct Walker {
    LatLon at;
    int leg = 0;
    void next() {
        at = gf_destination(at, (90.0 + ((leg / 4) % 2 == 0 ? 20.0 : -20.0)) * kDegToRad, kLegMetres * kFeetPerMetre);
        ++leg;
    }
    double track() const { return 90.0 + ((leg / 4) % 2 == 0 ? 20.0 : -20.0); }
};

TrafficUpdate lf_report(int a, const Walker& w, int report) {
    TrafficUpdate u;
    u.hexid = 100001 + static_cast<std::uint32_t>(a);
    u.timestamp = 1000.0 + 3.0 * report;
    u.identity.callsign = "TAXI" + std::to_string(a);
    u.identity.type = "A320";
    u.sample.latitude = w.at.lat;
    u.sample.longitude = w.at.lon;
    u.sample.groundSpeed = kTaxiKnots;
    u.sample.track = w.track();
    u.sample.dueTick = trafficTickCount.load() + kSampleDelayTicks;
    return u;
}

void BM_TrafficTick300Taxiing(benchmark::State& state) {
    const bool withFeed = state.range(0) != 0;
    NullSimLink sim;
    NullData data;
    ParkingPort parking;
    LiveMovement movement;
    TrafficEngine engine(EnginePorts{&sim, &data, &parking, &movement});
    trafficTickCount = 0;
    {
        std::lock_guard lock(runMutex);
        trafficUpdateQueue.clear();
    }
    gf_startTraffic(engine);
    // 300 aircraft taxiing in the simulator, each with the reports of its next 30 s.
    constexpr int kReportsAhead = static_cast<int>(kSampleDelayTicks / kReportTicks);
    std::vector<Walker> walkers;
    std::vector<int> reports;
    for (int a = 0; a < kAircraft; ++a) {
        Walker w{lf_place(a, 0)};
        TrafficUpdate first = lf_report(a, w, 0);
        first.sample.dueTick = 0;
        AcData d = data.acData(first.identity);
        d.hexid = first.hexid;
        d.liveryTitle = "Benchmark A320";
        LiveAc& ac = engine.liveAc.emplace_back(first.sample, std::move(d), first.timestamp);
        for (int r = 1; r <= kReportsAhead; ++r) {
            w.next();
            PosSample s = lf_report(a, w, r).sample;
            s.dueTick = static_cast<std::uint32_t>(r) * kReportTicks;
            ac.samples.push_back(s);
        }
        ac.timeOfNewestSample = 1000.0 + 3.0 * kReportsAhead;
        ac.simState = AcSimState::Active;
        ac.moveState = AcMoveState::Taxi;
        ac.onGround = true;
        ac.objectId = 1000 + static_cast<std::uint32_t>(a);
        ac.simPosition.latitude = ac.samples.front().latitude;
        ac.simPosition.longitude = ac.samples.front().longitude;
        ac.simPosition.trueHeading = 110.0 * kDegToRad;
        ac.throttleStage = 0;
        ac.flapsStage = 1;
        walkers.push_back(w);
        reports.push_back(kReportsAhead);
    }

    std::vector<double> micros;
    micros.reserve(1 << 20);
    std::vector<std::uint64_t> allocations;
    allocations.reserve(1 << 20);
    int nextAircraft = 0;
    TrafficTick tick{engine};
    std::uint32_t ticks = 0;
    for (auto _ : state) {
        // One report per tick: each aircraft every 300 ticks (none in the run without feed).
        if (withFeed && ticks++ % (kReportTicks / kAircraft == 0 ? 1 : kReportTicks / kAircraft) == 0) {
            Walker& w = walkers[static_cast<std::size_t>(nextAircraft)];
            w.next();
            TrafficUpdate u = lf_report(nextAircraft, w, ++reports[static_cast<std::size_t>(nextAircraft)]);
            std::lock_guard lock(runMutex);
            trafficUpdateQueue.push_back(std::move(u));
            nextAircraft = (nextAircraft + 1) % kAircraft;
        }
        const std::uint64_t before = g_allocations.load(std::memory_order_relaxed);
        const auto start = std::chrono::steady_clock::now();
        tick();
        const auto end = std::chrono::steady_clock::now();
        allocations.push_back(g_allocations.load(std::memory_order_relaxed) - before);
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }

    if (!micros.empty()) {
        double sum = 0.0;
        for (double m : micros) sum += m;
        std::vector<double> sorted = micros;
        const std::size_t p99 = std::min(sorted.size() - 1, sorted.size() * 99 / 100);
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(p99), sorted.end());
        state.counters["mean_us"] = sum / static_cast<double>(micros.size());
        state.counters["p99_us"] = sorted[p99];
        state.counters["max_us"] = *std::max_element(micros.begin(), micros.end());
        std::uint64_t allocs = 0;
        std::size_t ticksWith = 0;
        for (std::uint64_t n : allocations) {
            allocs += n;
            if (n != 0) ++ticksWith;
        }
        state.counters["allocs_per_tick"] = static_cast<double>(allocs) / static_cast<double>(allocations.size());
        state.counters["ticks_allocating_pct"] = 100.0 * static_cast<double>(ticksWith) / static_cast<double>(allocations.size());
        state.counters["max_allocs"] = static_cast<double>(*std::max_element(allocations.begin(), allocations.end()));
    }
    std::size_t moving = 0;
    for (const LiveAc& ac : engine.liveAc) moving += ac.simState == AcSimState::Active ? 1 : 0;
    state.counters["active"] = static_cast<double>(moving);
    std::lock_guard lock(runMutex);
    trafficUpdateQueue.clear();
}
// With the feed, and without it for the 25 s before the queued reports run out:
// the movement's own share of the allocations.
BENCHMARK(BM_TrafficTick300Taxiing)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(6000);
BENCHMARK(BM_TrafficTick300Taxiing)->Arg(0)->Unit(benchmark::kMicrosecond)->Iterations(2500);

}  // namespace
