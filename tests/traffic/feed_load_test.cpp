// The feed under load, driven by simulated time: each tick of the engine is 10 ms
// of feed, so minutes of a busy region run in seconds and nothing depends on how
// fast the machine is. The lines go through the reader's own hand-over.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "core/parameters.h"
#include "link/realtraffic_state.h"
#include "link/traffic_receiver.h"
#include "link/udp_readers.h"
#include "link/udp_receiver.h"
#include "platform/sockets.h"
#include "support/eventually.h"
#include "traffic_harness.h"
#include "link/traffic_test_support.h"

namespace clv::test {
namespace {

constexpr double kT0 = 1760000000.0;     // time stamp of tick 0
constexpr double kLoadKnots = 110.0;     // below the thinning of steady fast streams
constexpr double kLoadIntervalS = 1.1;   // each load aircraft reports this often
constexpr double kProbeIntervalS = 2.0;  // a probe reports this often
constexpr std::uint32_t kTicksPerSecond = 100;
constexpr double kNmPerTickAt110 = kLoadKnots / 3600.0 / kTicksPerSecond;
// Created 30 s after its first line, give or take 2 s.
constexpr std::int64_t kDelay = 3000;
constexpr std::int64_t kSlack = 200;

double lf_timestamp(std::uint32_t tick) { return kT0 + static_cast<double>(tick) / kTicksPerSecond; }

// Lines are handed over like the reader does, through the bounded queue.
void lf_send(TrafficUpdate u) { gf_queueTrafficUpdate(std::move(u)); }

class FeedLoad : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard lock(runMutex);
        flightRunning = true;
    }
    void TearDown() override {
        std::lock_guard lock(runMutex);
        flightRunning = false;
    }
};

struct Probe {
    std::uint32_t hexid;
    std::uint32_t firstTick;
};

// The first creation handed to the simulator for each hexid.
std::map<std::uint32_t, std::uint32_t> lf_creationTicks(const FakeSimLink& sim) {
    std::map<std::uint32_t, std::uint32_t> ticks;
    for (const TickedCreation& c : sim.creations) ticks.emplace(c.request.hexid, c.tick);
    return ticks;
}

TEST_F(FeedLoad, ABusyRegionKeepsTheQueueShortAndNewAircraftOnTime) {
    for (int rate : {200, 250, 400, 500}) {
        SCOPED_TRACE(fmt::format("{} lines a second", rate));
        EngineRig rig;
        rig.sim.responder.on = true;
        const std::uint64_t droppedBefore = trafficUpdatesDropped.load();

        // A region already full of live aircraft in the simulator, each reporting
        // about once a second: together they make `rate` lines a second.
        const int loadCount = static_cast<int>(rate * kLoadIntervalS) + 1;
        for (int i = 0; i < loadCount; ++i) {
            std::vector<PosSample> samples;
            for (std::uint32_t due = 0; due <= kDelay; due += 100)
                samples.push_back(airSample(40.0 + 0.01 * i, 8.0 + due * kNmPerTickAt110 / 60.0, 5000, kLoadKnots,
                                            90, due));
            LiveAc& ac = rig.addLive(40001 + i, fmt::format("DLH{}", i), "A320", samples, AcSimState::Active, kT0);
            ac.objectId = 500000 + i;
        }

        // A new probe aircraft every 10 s for the first 80 s, each reporting for 40 s.
        std::vector<Probe> probes;
        const std::uint32_t duration = 120 * kTicksPerSecond;
        std::size_t longestQueue = 0;
        std::int64_t oldestWait = 0;
        std::uint64_t linesSent = 0;
        for (std::uint32_t tick = 0; tick < duration; ++tick) {
            // Lines of this 10 ms, spread over the load aircraft in turn.
            const std::uint64_t due = static_cast<std::uint64_t>(rate) * (tick + 1) / kTicksPerSecond;
            for (; linesSent < due; ++linesSent) {
                const int i = static_cast<int>(linesSent % static_cast<std::uint64_t>(loadCount));
                lf_send(makeUpdate(40001 + i, fmt::format("DLH{}", i), "A320", 40.0 + 0.01 * i,
                                   8.0 + (tick + kDelay) * kNmPerTickAt110 / 60.0, 5000, kLoadKnots, 90,
                                   lf_timestamp(tick)));
            }
            if (tick % 1000 == 0 && tick < 80 * kTicksPerSecond) probes.push_back({90001 + tick / 1000, tick});
            for (const Probe& p : probes) {
                const std::uint32_t age = tick - p.firstTick;
                if (age % (static_cast<std::uint32_t>(kProbeIntervalS) * kTicksPerSecond) != 0 ||
                    age > 40 * kTicksPerSecond)
                    continue;
                lf_send(makeUpdate(p.hexid, fmt::format("BAW{}", p.hexid - 90000), "A320", 45.0 + 0.01 * p.hexid,
                                   9.0 + 0.0005 * age, 20000, 300, 90 + (age / 200 % 2) * 3, lf_timestamp(tick)));
            }
            {
                std::lock_guard lock(runMutex);
                longestQueue = std::max(longestQueue, trafficUpdateQueue.size());
            }
            rig.tick();
            rig.sim.sentPositions.clear();  // not looked at here; would only fill memory
            std::lock_guard lock(runMutex);
            if (!trafficUpdateQueue.empty()) {
                const std::int64_t arrival =
                    static_cast<std::int64_t>(trafficUpdateQueue.front().sample.dueTick) - kSampleDelayTicks;
                oldestWait = std::max(oldestWait, static_cast<std::int64_t>(trafficTickCount.load()) - arrival);
            }
        }

        // The tick takes what came in the last 10 ms: nothing waits, nothing is lost.
        EXPECT_LE(longestQueue, 10u);
        EXPECT_EQ(oldestWait, 0);
        EXPECT_EQ(trafficUpdatesDropped.load(), droppedBefore);
        // Memory stays flat: the live aircraft are the region's and the probes.
        EXPECT_LE(rig.engine.liveAc.size(), static_cast<std::size_t>(loadCount) + probes.size());

        const auto created = lf_creationTicks(rig.sim);
        ASSERT_EQ(probes.size(), 8u);
        for (const Probe& p : probes) {
            SCOPED_TRACE(fmt::format("probe {}", p.hexid));
            auto it = created.find(p.hexid);
            ASSERT_NE(it, created.end());
            EXPECT_NEAR(static_cast<double>(it->second), static_cast<double>(p.firstTick + kDelay), kSlack);
        }
    }
}

TEST_F(FeedLoad, ABurstOfNewAircraftDoesNotHoldBackTheNextOne) {
    EngineRig rig;
    rig.sim.responder.on = true;
    // 2000 new hexids, two lines each 1.5 s apart, at 500 lines a second.
    constexpr int kBurst = 2000;
    std::vector<std::pair<std::uint32_t, TrafficUpdate>> script;
    for (int i = 0; i < kBurst; ++i) {
        const std::uint32_t tick = static_cast<std::uint32_t>(i / 5);
        for (int line = 0; line < 2; ++line) {
            const std::uint32_t at = tick + static_cast<std::uint32_t>(line) * 150;
            script.emplace_back(at, makeUpdate(70001 + i, fmt::format("CLH{}", i), "A320", 40.0 + 0.005 * i,
                                               8.0 + 0.01 * line, 20000, 300, 90 + 3 * line, lf_timestamp(at)));
        }
    }
    std::stable_sort(script.begin(), script.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::uint32_t burstEnd = script.back().first;

    // The probe comes 5 s after the burst's last line and reports every 2 s.
    const std::uint32_t probeFirst = burstEnd + 500;
    constexpr std::uint32_t kProbe = 99001;
    std::size_t next = 0;
    for (std::uint32_t tick = 0; tick < probeFirst + 4000; ++tick) {
        for (; next < script.size() && script[next].first <= tick; ++next) lf_send(script[next].second);
        if (tick >= probeFirst && (tick - probeFirst) % 200 == 0 && tick - probeFirst <= 4000) {
            const std::uint32_t age = tick - probeFirst;
            lf_send(makeUpdate(kProbe, "BAW77", "A320", 46.0, 9.0 + 0.0005 * age, 20000, 300,
                               90 + (age / 200 % 2) * 3, lf_timestamp(tick)));
        }
        rig.tick();
        rig.sim.sentPositions.clear();
    }
    const auto created = lf_creationTicks(rig.sim);
    auto it = created.find(kProbe);
    ASSERT_NE(it, created.end()) << "the probe was never created";
    EXPECT_LE(static_cast<std::int64_t>(it->second) - probeFirst, 3500);
    EXPECT_GE(static_cast<std::int64_t>(it->second) - probeFirst, kDelay - kSlack);
    // None of the burst was created long after its lines: at most a few seconds past due.
    for (const TickedCreation& c : rig.sim.creations) {
        if (c.request.hexid < 70001 || c.request.hexid > 70000 + kBurst) continue;
        const std::uint32_t firstLine = static_cast<std::uint32_t>((c.request.hexid - 70001) / 5);
        EXPECT_LE(c.tick, firstLine + kDelay + 1000) << c.request.hexid;
    }
}

// A spawned aircraft waiting for its creation turn: one whose oldest sample is
// more than 8 s past due is not created, and does not use up the turn.
TEST(LateCreation, AnAircraftFarPastDueAtItsTurnIsGivenUp) {
    EngineRig rig;
    rig.run(2000);  // tick 2000: a hand-over turn (multiple of 50)
    LiveAc& late = rig.addLive(30001, "DLH1", "A320",
                               {airSample(50, 8, 20000, 300, 90, 1100), airSample(50.1, 8, 20000, 300, 90, 1300)},
                               AcSimState::Adding2Sim);
    LiveAc& fresh = rig.addLive(30002, "DLH2", "A320",
                                {airSample(51, 8, 20000, 300, 90, 1900), airSample(51.1, 8, 20000, 300, 90, 2100)},
                                AcSimState::Adding2Sim);
    (void)fresh;
    AcCreateRequest r1;
    r1.hexid = late.hexid;
    r1.callsign = "DLH1";
    AcCreateRequest r2;
    r2.hexid = 30002;
    r2.callsign = "DLH2";
    rig.engine.liveCreationQueue.push_back(r1);
    rig.engine.liveCreationQueue.push_back(r2);
    rig.tick();
    ASSERT_EQ(rig.sim.creations.size(), 1u);
    EXPECT_EQ(rig.sim.creations[0].request.hexid, 30002u);
    EXPECT_TRUE(rig.engine.liveCreationQueue.empty());
    rig.tick();
    EXPECT_EQ(rig.live(30001), nullptr);
    ASSERT_NE(rig.live(30002), nullptr);
}

TEST(LateCreation, SpawnedAircraftFarPastDueAreSkippedWhenTheirRequestIsMade) {
    EngineRig rig;
    rig.run(2001);
    for (std::uint32_t i = 0; i < 3; ++i) {
        const std::uint32_t due = i == 0 ? 1900u : 1000u;  // the first is on time, two are 10 s late
        rig.addLive(30001 + i, fmt::format("DLH{}", i + 1), "A320",
                    {airSample(50 + i, 8, 20000, 300, 90, due), airSample(50 + i, 8.1, 20000, 300, 90, due + 200)},
                    AcSimState::Adding2Sim);
        rig.engine.hexidQueue.push_back(30001 + i);
    }
    rig.tick();  // taken from the back: two late ones skipped, the request of the first made
    ASSERT_EQ(rig.engine.liveCreationQueue.size(), 1u);
    EXPECT_EQ(rig.engine.liveCreationQueue.front().hexid, 30001u);
    EXPECT_TRUE(rig.engine.hexidQueue.empty());
    rig.tick();
    EXPECT_EQ(rig.live(30002), nullptr);
    EXPECT_EQ(rig.live(30003), nullptr);
}

}  // namespace
}  // namespace clv::test

namespace clv::test {
namespace {

// ---- the real reader ------------------------------------------------------------------

// The whole road from the socket: lines sent over loopback at 500 a second reach
// the engine, every one of them, while the engine ticks on a real 10 ms clock.
// Nothing here depends on the machine's speed but how long it takes.
TEST_F(FeedLoad, TheRealReaderOverLoopbackHandsEveryLineToTheEngine) {
    EngineRig rig;
    realTrafficOnThisPc = true;  // repeats are handled too; loopback only
    lateralRangeNm = 100.0;
    trafficReceiver.setRangeCentre({47.45, 8.56});
    gf_setReaderPorts(0, 0);
    gf_startTrafficReader();
    ASSERT_TRUE(eventually([] { return trafficReceiver.boundPort() != 0; }));
    const std::int32_t countBefore = trafficReceiver.datagramCount.load();
    const std::uint64_t droppedBefore = trafficUpdatesDropped.load();

    constexpr int kAircraft = 100;
    constexpr int kLinesEach = 10;
    std::thread sender([] {
        platform::Socket socket(platform::openUdpSocket());
        auto next = std::chrono::steady_clock::now();
        for (int line = 0; line < kLinesEach; ++line) {
            for (int a = 0; a < kAircraft; ++a) {
                std::vector<std::string> f = baseTrafficFields();
                f[kHexid] = std::to_string(4000001 + a);
                f[kCallsign] = fmt::format("SWR{}", a);
                f[kLat] = fmt::format("{:.4f}", 47.3 + 0.003 * a);
                f[kLon] = fmt::format("{:.4f}", 8.4 + 0.001 * line);
                f[kGs] = "110";
                f[kTime] = fmt::format("{:.1f}", 1760000000.0 + 2.0 * line);
                platform::sendDatagram(socket.handle(), "127.0.0.1", trafficReceiver.boundPort(), joinFields(f));
                next += std::chrono::milliseconds(2);  // 500 lines a second
                std::this_thread::sleep_until(next);
            }
        }
    });
    const auto allTaken = [&] {
        if (rig.engine.liveAc.size() != static_cast<std::size_t>(kAircraft)) return false;
        return std::all_of(rig.engine.liveAc.begin(), rig.engine.liveAc.end(),
                           [](const LiveAc& ac) { return ac.samples.size() == static_cast<std::size_t>(kLinesEach); });
    };
    auto deadline = std::chrono::steady_clock::now();
    for (int i = 0; i < 6000 && !allTaken(); ++i) {
        deadline += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(deadline);
        TrafficTick{rig.engine}();
    }
    sender.join();
    gf_stopReaders();
    gf_setReaderPorts(kTrafficPort, kQnhPort);
    realTrafficOnThisPc = false;

    EXPECT_EQ(trafficReceiver.datagramCount.load() - countBefore, kAircraft * kLinesEach);
    EXPECT_EQ(trafficUpdatesDropped.load(), droppedBefore);
    EXPECT_TRUE(allTaken()) << rig.engine.liveAc.size() << " aircraft";
    std::lock_guard lock(runMutex);
    EXPECT_TRUE(trafficUpdateQueue.empty());
}

}  // namespace
}  // namespace clv::test
