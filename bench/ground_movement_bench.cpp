#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
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

// Every allocation is counted on the thread that makes it, so a tick, which runs
// on the benchmark's thread, can be checked for them. A count of its own per
// thread: the other benchmarks of the program, whose threads allocate at once,
// do not all write one shared counter.
namespace {
thread_local std::uint64_t t_allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    ++t_allocations;
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
        const std::uint64_t before = t_allocations;
        const auto start = std::chrono::steady_clock::now();
        tick();
        const auto end = std::chrono::steady_clock::now();
        allocations.push_back(t_allocations - before);
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

// The traffic tick with 300 live aircraft, 60 % taxiing and 40 % flying (8 s
// reports at 250 kt, zig-zagging and climbing and descending), and 250 static
// parked aircraft, the feed bringing one report per tick. Reported as above; the
// soak runs 30 minutes of ticks and reports the resident memory's growth between
// its fifth and its last minute, the live records left and the most samples any
// aircraft had queued.
namespace {

constexpr int kMixedAircraft = 300;
constexpr int kMixedOnGround = 180;
constexpr int kStaticAircraft = 250;
constexpr std::uint32_t kAirReportTicks = 800;
constexpr double kAirKnots = 250.0;
constexpr double kAirLegMetres = kAirKnots * 1852.0 / 3600.0 * 8.0;

struct Flyer {
    LatLon at;
    double altitude = 8000.0;
    int leg = 0;
    double track() const { return 90.0 + ((leg / 4) % 2 == 0 ? 20.0 : -20.0); }
    double verticalSpeed() const { return (leg / 8) % 2 == 0 ? 1000.0 : -1000.0; }
    void next() {
        at = gf_destination(at, track() * kDegToRad, kAirLegMetres * kFeetPerMetre);
        altitude += verticalSpeed() * 8.0 / 60.0;
        ++leg;
    }
};

TrafficUpdate lf_airReport(int a, const Flyer& f, int report) {
    TrafficUpdate u;
    u.hexid = 200001 + static_cast<std::uint32_t>(a);
    u.timestamp = 1000.0 + 8.0 * report;
    u.identity.callsign = "AIR" + std::to_string(a);
    u.identity.type = "A320";
    u.sample.latitude = f.at.lat;
    u.sample.longitude = f.at.lon;
    u.sample.altitude = f.altitude;
    u.sample.airborne = true;
    u.sample.groundSpeed = kAirKnots;
    u.sample.trueAirspeed = kAirKnots;
    u.sample.track = f.track();
    u.sample.verticalSpeed = f.verticalSpeed();
    u.sample.dueTick = trafficTickCount.load() + kSampleDelayTicks;
    return u;
}

double lf_threadCpuMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

std::size_t lf_residentKb() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0;
    unsigned long pages = 0, resident = 0;
    const int n = std::fscanf(f, "%lu %lu", &pages, &resident);
    std::fclose(f);
    return n == 2 ? resident * 4 : 0;
}

void BM_TrafficTickMixed(benchmark::State& state) {
    const bool soak = state.range(0) != 0;
    NullSimLink sim;
    NullData data;
    ParkingPort parking;
    LiveMovement movement;
    LiveFlight flight;
    TrafficEngine engine(EnginePorts{&sim, &data, &parking, &movement, &flight});
    trafficTickCount = 0;
    {
        std::lock_guard lock(runMutex);
        trafficUpdateQueue.clear();
    }
    gf_startTraffic(engine);
    engine.liveAc.reserve(kMixedAircraft + 16);
    std::vector<Walker> walkers;
    std::vector<Flyer> flyers;
    std::vector<int> reports;
    for (int a = 0; a < kMixedAircraft; ++a) {
        const bool ground = a < kMixedOnGround;
        const int ahead = static_cast<int>(kSampleDelayTicks / (ground ? kReportTicks : kAirReportTicks));
        Walker w{lf_place(a, 0)};
        Flyer f{LatLon{46.0 + 0.01 * a, 7.0}};
        TrafficUpdate first = ground ? lf_report(a, w, 0) : lf_airReport(a, f, 0);
        first.sample.dueTick = 0;
        AcData d = data.acData(first.identity);
        d.hexid = first.hexid;
        d.liveryTitle = "Benchmark A320";
        d.rotationPitch = gf_categoryRotationPitchDegrees(d.category) * kDegToRad;
        d.climbPitch = gf_categoryClimbPitchDegrees(d.category) * kDegToRad;
        d.groundValueA = gf_categoryGroundValueA(d.category);
        LiveAc& ac = engine.liveAc.emplace_back(first.sample, std::move(d), first.timestamp);
        for (int r = 1; r <= ahead; ++r) {
            PosSample s;
            if (ground) {
                w.next();
                s = lf_report(a, w, r).sample;
                s.dueTick = static_cast<std::uint32_t>(r) * kReportTicks;
            } else {
                f.next();
                s = lf_airReport(a, f, r).sample;
                s.dueTick = static_cast<std::uint32_t>(r) * kAirReportTicks;
            }
            ac.samples.push_back(s);
        }
        ac.timeOfNewestSample = first.timestamp + (ground ? 3.0 : 8.0) * ahead;
        ac.simState = AcSimState::Active;
        ac.moveState = ground ? AcMoveState::Taxi : AcMoveState::Flying;
        ac.onGround = ground;
        ac.objectId = 1000 + static_cast<std::uint32_t>(a);
        ac.simPosition.latitude = ac.samples.front().latitude;
        ac.simPosition.longitude = ac.samples.front().longitude;
        ac.simPosition.altitude = ac.samples.front().altitude;
        ac.simPosition.trueHeading = (ground ? 110.0 : 110.0) * kDegToRad;
        ac.heightAboveGround = ground ? 6.0 : 2500.0;
        ac.throttleStage = ground ? 0 : 3;
        ac.flapsStage = ground ? 1 : 0;
        walkers.push_back(w);
        flyers.push_back(f);
        reports.push_back(ahead);
    }
    for (int s = 0; s < kStaticAircraft; ++s) {
        AcIdentity id;
        id.callsign = "STAT" + std::to_string(s);
        id.type = "A320";
        AcData d = data.acData(id);
        d.hexid = static_cast<std::uint32_t>(s + 1);
        StaticAc& st = engine.staticAc.emplace_back(std::move(d), static_cast<std::uint32_t>(s + 1), 47.5, 8.5, 0.0, false);
        st.simState = AcSimState::Active;
        st.objectId = 5000 + static_cast<std::uint32_t>(s);
    }

    // Filled in place, so that their pages do not count as growth in the soak.
    const auto iterations = static_cast<std::size_t>(state.max_iterations);
    std::vector<double> micros(iterations, 0.0);
    std::vector<std::uint64_t> allocations(iterations, 0);
    std::size_t done = 0;
    std::size_t slowTicks = 0;
    std::size_t slowestTick = 0;
    double maxCpu = 0.0;  // the thread's own time: a tick preempted on a busy machine is long only on the wall clock
    int nextAircraft = 0;
    TrafficTick tick{engine};
    std::uint32_t ticks = 0;
    std::size_t residentAt5 = 0;
    std::size_t mostQueued = 0;
    for (auto _ : state) {
        // One report per tick: the ground ones every 300 ticks, the air ones every 800.
        {
            const int a = nextAircraft;
            const bool ground = a < kMixedOnGround;
            const std::uint32_t every = ground ? kReportTicks : kAirReportTicks;
            // Each aircraft's report is due `every` ticks after its previous one.
            if (ticks >= static_cast<std::uint32_t>(reports[static_cast<std::size_t>(a)] + 1) * every - kSampleDelayTicks) {
                TrafficUpdate u;
                if (ground) {
                    Walker& w = walkers[static_cast<std::size_t>(a)];
                    w.next();
                    u = lf_report(a, w, ++reports[static_cast<std::size_t>(a)]);
                } else {
                    Flyer& f = flyers[static_cast<std::size_t>(a)];
                    f.next();
                    u = lf_airReport(a, f, ++reports[static_cast<std::size_t>(a)]);
                }
                std::lock_guard lock(runMutex);
                trafficUpdateQueue.push_back(std::move(u));
            }
            nextAircraft = (nextAircraft + 1) % kMixedAircraft;
        }
        ++ticks;
        const std::uint64_t before = t_allocations;
        const double cpuBefore = lf_threadCpuMicros();
        const auto start = std::chrono::steady_clock::now();
        tick();
        const auto end = std::chrono::steady_clock::now();
        maxCpu = std::max(maxCpu, lf_threadCpuMicros() - cpuBefore);
        allocations[done] = t_allocations - before;
        micros[done] = std::chrono::duration<double, std::micro>(end - start).count();
        if (micros[done] > 1000.0) ++slowTicks;
        if (micros[done] > micros[slowestTick]) slowestTick = done;
        ++done;
        if (soak) {
            if (ticks == 5 * 6000) residentAt5 = lf_residentKb();
            if (ticks % 6000 == 0)
                for (const LiveAc& ac : engine.liveAc) mostQueued = std::max(mostQueued, ac.samples.size());
        }
    }

    micros.resize(done);
    allocations.resize(done);
    if (!micros.empty()) {
        // Steady state: after the first minute.
        const std::size_t from = std::min<std::size_t>(micros.size() / 2, 6000);
        std::vector<double> steady(micros.begin() + static_cast<std::ptrdiff_t>(from), micros.end());
        state.counters["ticks_over_1ms"] = static_cast<double>(slowTicks);
        state.counters["slowest_tick"] = static_cast<double>(slowestTick);
        state.counters["max_cpu_us"] = maxCpu;
        double sum = 0.0;
        for (double m : steady) sum += m;
        std::vector<double> sorted = steady;
        const std::size_t p99 = std::min(sorted.size() - 1, sorted.size() * 99 / 100);
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(p99), sorted.end());
        state.counters["mean_us"] = sum / static_cast<double>(steady.size());
        state.counters["p99_us"] = sorted[p99];
        state.counters["max_us"] = *std::max_element(steady.begin(), steady.end());
        std::uint64_t allocs = 0;
        for (std::size_t i = from; i < allocations.size(); ++i) allocs += allocations[i];
        state.counters["allocs_per_tick"] = static_cast<double>(allocs) / static_cast<double>(allocations.size() - from);
    }
    std::size_t active = 0, flying = 0;
    for (const LiveAc& ac : engine.liveAc) {
        active += ac.simState == AcSimState::Active ? 1 : 0;
        flying += ac.onGround ? 0 : 1;
    }
    state.counters["live_records"] = static_cast<double>(engine.liveAc.size());
    state.counters["active"] = static_cast<double>(active);
    state.counters["in_air"] = static_cast<double>(flying);
    if (soak) {
        state.counters["rss_growth_kb"] = static_cast<double>(lf_residentKb()) - static_cast<double>(residentAt5);
        state.counters["most_queued"] = static_cast<double>(mostQueued);
    }
    std::lock_guard lock(runMutex);
    trafficUpdateQueue.clear();
}
BENCHMARK(BM_TrafficTickMixed)->Arg(0)->Unit(benchmark::kMicrosecond)->Iterations(12000);
// 30 minutes of ticks.
BENCHMARK(BM_TrafficTickMixed)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(180000);

}  // namespace
