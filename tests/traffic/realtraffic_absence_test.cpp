// RealTraffic goes away while aircraft fly and comes back later: the engine's
// ticks, which send the user aircraft reports on the real link, go on while it is
// away, so the aircraft taken out leave the simulator at once, and those the feed
// brings back after its return play the feed 30 s late again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "core/stop_flags.h"
#include "link/realtraffic_link.h"
#include "link/realtraffic_state.h"
#include "movement_support.h"
#include "support/eventually.h"
#include "tools/feedstandin/rt_client.h"
#include "trajectory_checker.h"

namespace clv::test {
namespace {

EngineRig* g_rig = nullptr;
int g_goneCalls = 0;
std::uint32_t g_goneTick = 0;

void lf_gone() {
    ++g_goneCalls;
    g_goneTick = currentTick();
    gf_removeAllLiveFromSim(g_rig->engine);
}

constexpr double kKnots = 250.0;
constexpr std::uint32_t kAwayFrom = 5000;  // the feed is silent from here ...
constexpr std::uint32_t kBackAt = 9000;    // ... to here, when RealTraffic connects again
constexpr std::uint32_t kFeedEnd = 16000;

// Where the aircraft is at a tick: east from home at 250 kt.
LatLon lf_truth(double tick) { return offset(kHome, 90, kKnots * kMetresPerNm / 3600.0 * tick / 100.0); }

TEST(RealTrafficAbsence, AircraftLeaveAtOnceAndReturnPlayingTheFeed30SecondsLate) {
    EngineRig rig;
    rig.useLiveMovement();
    rig.sim.responder.on = true;
    TrajectoryChecker checker(rig);
    g_rig = &rig;
    g_goneCalls = 0;
    rig.sim.user.latitude = offset(kHome, 180, 5000).lat;
    rig.sim.user.longitude = kHome.lon;
    rig.engine.userAcData = rig.sim.user;
    rig.sim.onQs121 = [](const UserAcData& user) { gf_sendQs121(user); };

    realTrafficOnThisPc = true;
    stopRequested = false;
    userClosedWindow = false;
    exitReason = ExitReason::NotYetSet;
    gf_setRealTrafficGoneHandler(&lf_gone);
    gf_setupTcpServer("0");
    RtClientOptions first;
    first.port = gf_tcpServerPort();
    first.dropAfterQs121 = 50;  // at tick 4900
    first.reconnect = false;
    RtClient away(first, nullptr);
    away.start();
    gf_connectRealTraffic();
    ASSERT_TRUE(realTrafficConnected.load());

    for (std::uint32_t t = 0; t <= kFeedEnd; t += 200) {
        if (t >= kAwayFrom && t < kBackAt) continue;
        const LatLon p = lf_truth(t);
        rig.feed.at(t, makeUpdate(40001, "SWR20", "A320", p.lat, p.lon, 8000, kKnots, 90, 1000.0 + t / 100.0));
    }

    // A report that waited for RealTraffic would hold the ticks until this guard ends the wait.
    std::atomic<bool> done{false}, rescued{false};
    std::thread guard([&] {
        for (int i = 0; i < 3000 && !done.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!done.load()) {
            rescued = true;
            stopRequested = true;
        }
    });
    rig.run(kBackAt);
    RtClientOptions second = first;
    second.dropAfterQs121 = 0;
    RtClient back(second, nullptr);
    back.start();
    EXPECT_TRUE(eventually([&] { return back.connections() == 1; }));
    rig.run(kFeedEnd + kSampleDelayTicks + 100 - kBackAt);
    done = true;
    guard.join();
    back.stop();
    away.stop();
    gf_closeRealTrafficLink();
    gf_setRealTrafficGoneHandler(nullptr);
    realTrafficOnThisPc = false;
    const bool wasRescued = rescued.load();
    stopRequested = false;

    EXPECT_FALSE(wasRescued) << "the ticks waited for RealTraffic";
    EXPECT_EQ(g_goneCalls, 1);
    EXPECT_TRUE(realTrafficConnected.load());
    EXPECT_EQ(checker.faultCount(), 0u);
    for (const std::string& f : checker.faults()) ADD_FAILURE() << f;

    // The aircraft flying when RealTraffic went is removed within 20 ticks and sent
    // no position after that.
    ASSERT_FALSE(rig.sim.removals.empty());
    const TickedId removal = rig.sim.removals.front();
    EXPECT_LE(removal.tick, g_goneTick + 20);
    for (const auto& [tick, b] : checker.track(removal.id)) EXPECT_LE(tick, removal.tick);

    // The feed brings it back after RealTraffic's return: as a new object that
    // catches up within 20 s and then plays the feed at T - 3000 within one second of travel.
    const std::uint32_t again = rig.sim.objectOf.at(40001);
    ASSERT_NE(again, removal.id);
    const auto& track = checker.track(again);
    ASSERT_FALSE(track.empty());
    EXPECT_GE(track.front().first, kBackAt + kSampleDelayTicks);
    double worst = 0.0;
    for (const auto& [tick, b] : track) {
        if (tick < track.front().first + 2000) continue;
        worst = std::max(worst, gf_distanceNm(lf_truth(tick - kSampleDelayTicks), LatLon{b.latitude, b.longitude}));
    }
    EXPECT_LE(worst, kKnots / 3600.0) << "worst " << worst * kMetresPerNm << " m";
}

}  // namespace
}  // namespace clv::test
