#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "link/traffic_update.h"
#include "traffic/traffic_engine.h"

#include "null_ports.h"

// The traffic tick runs every 10 ms on the run thread: its time with 300 live
// aircraft in the simulator while the feed brings 2, 5 or 25 updates per tick
// (200 and 500 lines a second, and the most one tick takes). Reported as the
// mean and the 99th percentile of the tick (microseconds).
namespace {

using namespace clv;
using bench::NullData;
using bench::NullSimLink;

constexpr int kAircraft = 300;
constexpr std::uint32_t kReportTicks = 500;  // one report per aircraft every 5 s

TrafficUpdate lf_report(int aircraft, int report) {
    TrafficUpdate u;
    u.hexid = 100001 + static_cast<std::uint32_t>(aircraft);
    u.timestamp = 1000.0 + 5.0 * report;
    u.identity.callsign = "BEN" + std::to_string(aircraft);
    u.identity.type = "A320";
    u.sample.latitude = 45.0 + 0.01 * aircraft;
    u.sample.longitude = 8.0 + 0.02 * report;
    u.sample.altitude = 20000.0;
    u.sample.airborne = true;
    u.sample.groundSpeed = 300.0;
    u.sample.track = 90.0 + (report % 2);  // a slight weave, so no report is thinned out
    u.sample.dueTick = trafficTickCount.load() + kSampleDelayTicks;
    return u;
}

void BM_TrafficTick300Live(benchmark::State& state) {
    NullSimLink sim;
    NullData data;
    ParkingPort parking;
    MovementPort movement;
    TrafficEngine engine(EnginePorts{&sim, &data, &parking, &movement});
    trafficTickCount = 0;
    {
        std::lock_guard lock(runMutex);
        trafficUpdateQueue.clear();
    }
    gf_startTraffic(engine);
    // 300 aircraft in the simulator, each with the 6 reports of its next 30 s.
    constexpr int kReportsAhead = static_cast<int>(kSampleDelayTicks / kReportTicks);
    for (int a = 0; a < kAircraft; ++a) {
        TrafficUpdate first = lf_report(a, 0);
        AcData d = data.acData(first.identity);
        d.hexid = first.hexid;
        d.liveryTitle = "Benchmark A320";
        LiveAc& ac = engine.liveAc.emplace_back(first.sample, std::move(d), first.timestamp);
        for (int r = 1; r < kReportsAhead; ++r) {
            PosSample s = lf_report(a, r).sample;
            s.dueTick = static_cast<std::uint32_t>(r) * kReportTicks;
            ac.samples.push_back(s);
        }
        ac.timeOfNewestSample = 1000.0 + 5.0 * (kReportsAhead - 1);
        ac.simState = AcSimState::Active;
        ac.moveState = AcMoveState::Flying;
        ac.objectId = 1000 + static_cast<std::uint32_t>(a);
    }

    std::vector<double> micros;
    micros.reserve(1 << 20);
    int nextAircraft = 0;
    int report = kReportsAhead;
    TrafficTick tick{engine};
    for (auto _ : state) {
        {
            std::lock_guard lock(runMutex);
            for (std::int64_t i = 0; i < state.range(0); ++i) {
                trafficUpdateQueue.push_back(lf_report(nextAircraft, report));
                if (++nextAircraft == kAircraft) {
                    nextAircraft = 0;
                    ++report;
                }
            }
        }
        const auto start = std::chrono::steady_clock::now();
        tick();
        const auto end = std::chrono::steady_clock::now();
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
    }
    state.counters["live"] = static_cast<double>(engine.liveAc.size());
    std::lock_guard lock(runMutex);
    trafficUpdateQueue.clear();
}
BENCHMARK(BM_TrafficTick300Live)->Arg(2)->Arg(5)->Arg(25)->Unit(benchmark::kMicrosecond);

}  // namespace
