// The traffic tick's rates and order: removals, creations (live before static),
// the aircraft-within-range request, the user report, the intake limit and the
// swap of the position buffers.
#include <gtest/gtest.h>

#include "core/geodesy.h"
#include "core/run_meter.h"
#include "traffic_harness.h"

namespace clv::test {
namespace {

AcCreateRequest request(std::uint32_t hexid, const std::string& callsign) {
    AcCreateRequest r;
    r.hexid = hexid;
    r.callsign = callsign;
    r.title = "title " + callsign;
    return r;
}

TEST(TrafficTick, HandsOverAtFixedRatesOverAThousandTicks) {
    EngineRig rig;
    constexpr std::uint32_t kRemovals = 150;
    constexpr std::uint32_t kLive = 12;
    constexpr std::uint32_t kStatic = 5;
    for (std::uint32_t i = 0; i < kRemovals; ++i) rig.engine.removalQueue.push_back(1000 + i);
    for (std::uint32_t i = 0; i < kLive; ++i) rig.engine.liveCreationQueue.push_back(request(20001 + i, "L"));
    for (std::uint32_t i = 0; i < kStatic; ++i) rig.engine.staticCreationQueue.push_back(request(1 + i, "S"));
    rig.parking.planEntries = 3;

    rig.run(1000);

    // Expected hand-overs, tick by tick: one removal on every 10th tick while any
    // wait; one creation on every 50th, live ones first, then static ones, and
    // after each 50th tick without a live creation one static placement while the
    // plan holds entries; the range request on every 20th; the report on every 100th.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> removals;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> creations;
    std::vector<std::uint32_t> placements, ranges, reports;
    std::uint32_t nextRemoval = 0, nextLive = 0, nextStatic = 0;
    int plan = 3;
    for (std::uint32_t t = 0; t < 1000; ++t) {
        if (t % 10 == 0 && nextRemoval < kRemovals) removals.emplace_back(t, 1000 + nextRemoval++);
        if (t % 50 == 0) {
            if (nextLive < kLive) {
                creations.emplace_back(t, 20001 + nextLive++);
            } else {
                if (nextStatic < kStatic) creations.emplace_back(t, 1 + nextStatic++);
                if (plan > 0) {
                    placements.push_back(t);
                    --plan;
                }
            }
        }
        if (t % 20 == 0) ranges.push_back(t);
        if (t % 100 == 0) reports.push_back(t);
    }

    std::vector<std::pair<std::uint32_t, std::uint32_t>> gotRemovals, gotCreations;
    for (const auto& r : rig.sim.removals) gotRemovals.emplace_back(r.tick, r.id);
    for (const auto& c : rig.sim.creations) gotCreations.emplace_back(c.tick, c.request.hexid);
    std::vector<std::uint32_t> gotRanges;
    for (const auto& r : rig.sim.acInRangeRequests) {
        gotRanges.push_back(r.tick);
        EXPECT_EQ(r.id, 40u * 1852u);  // LATERAL_RANGE's default in metres
    }
    EXPECT_EQ(gotRemovals, removals);
    EXPECT_EQ(gotCreations, creations);
    EXPECT_EQ(rig.parking.staticPlacementTicks, placements);
    EXPECT_EQ(gotRanges, ranges);
    EXPECT_EQ(rig.sim.qs121Ticks, reports);
    EXPECT_EQ(rig.sim.userDataRequests, static_cast<int>(reports.size()));
    EXPECT_EQ(trafficTickCount.load(), 1000u);
}

TEST(TrafficTick, TakesWhatTheFeedQueuedUpToTwentyFiveUpdatesPerTick) {
    EngineRig rig;
    for (std::uint32_t i = 0; i < 30; ++i) {
        rig.pushUpdate(makeUpdate(30001 + i, fmt::format("DLH{}", i + 1), "A320", 50.0 + 0.1 * i, 8.0, 20000.0, 300.0,
                                  90.0, 1000.0));
    }
    const std::vector<std::pair<std::size_t, std::size_t>> expected{{25, 5}, {30, 0}, {30, 0}};
    for (const auto& [live, queued] : expected) {
        rig.tick();
        EXPECT_EQ(rig.engine.liveAc.size(), live);
        EXPECT_EQ(trafficUpdateQueue.size(), queued);
    }
}

TEST(TrafficTick, BuildsOneCreationRequestPerTickFromTheSpawnedAircraft) {
    EngineRig rig;
    LiveAc& ac = rig.addLive(30001, "DLH1", "A320", {airSample(50, 8, 20000, 300, 90, 5000)}, AcSimState::Adding2Sim);
    ac.liveryTitle = "Lufthansa A320";
    ac.simPosition.latitude = 50.5;
    ac.simPosition.longitude = 8.5;
    ac.simPosition.altitude = 20000.0;
    ac.simPosition.pitch = -0.1;
    ac.simPosition.bank = 0.05;
    ac.simPosition.trueHeading = kPi / 2;
    rig.addLive(30002, "", "A320", {airSample(50, 8, 20000, 300, 90, 5000)}, AcSimState::Adding2Sim);
    // Taken from the back: an erased aircraft, then one without a callsign, then DLH1.
    rig.engine.hexidQueue = {30001, 30002, 39999};

    rig.run(3);
    ASSERT_EQ(rig.engine.liveCreationQueue.size(), 1u);
    const AcCreateRequest& r = rig.engine.liveCreationQueue.front();
    EXPECT_EQ(r.hexid, 30001u);
    EXPECT_EQ(r.callsign, "DLH1");
    EXPECT_EQ(r.title, "Lufthansa A320");
    EXPECT_DOUBLE_EQ(r.position.latitude, 50.5);
    EXPECT_DOUBLE_EQ(r.position.altitude, 20000.0);
    EXPECT_NEAR(r.position.pitch, -5.729577951308232, 1e-12);
    EXPECT_NEAR(r.position.bank, 2.864788975654116, 1e-12);
    EXPECT_NEAR(r.position.heading, 90.0, 1e-12);
    EXPECT_EQ(r.position.onGround, 0u);
    EXPECT_EQ(r.position.airspeed, 0u);
    EXPECT_TRUE(rig.engine.hexidQueue.empty());
}

TEST(TrafficTick, FailedRangeRequestIsReported) {
    EngineRig rig;
    rig.sim.refuseAcInRange = true;
    rig.tick();
    EXPECT_EQ(rig.sim.requestErrors, 1);
    // Once the link has failed, no request is made at all.
    rig.sim.failed = true;
    rig.run(40);
    EXPECT_EQ(rig.sim.acInRangeRequests.size(), 1u);
}

// A busy queue lock costs the tick its positions at 50 fps or less, and is
// waited for above that.
TEST(TrafficTick, PositionSwapDropsOrWaitsOnABusyLock) {
    struct Row {
        float fps;
        bool waits;
    };
    for (const Row& row : {Row{50.0f, false}, Row{30.0f, false}, Row{50.5f, true}}) {
        SCOPED_TRACE(row.fps);
        EngineRig rig;
        LiveAc& ac = rig.addLive(30001, "DLH1", "A320",
                                 {airSample(50, 8, 20000, 300, 90, 100000), airSample(50, 8.1, 20000, 300, 90, 100500)},
                                 AcSimState::Active);
        ac.objectId = 200;
        rig.sim.fps = row.fps;
        rig.sim.busyTicks = {5, 6};
        rig.run(8);

        std::vector<std::uint32_t> swapTicks;
        for (const auto& s : rig.sim.sentPositions) {
            swapTicks.push_back(s.tick);
            ASSERT_EQ(s.blocks.size(), 1u);  // one tick's block, never an older one with it
            EXPECT_EQ(s.blocks[0].objectId, 200u);
        }
        const std::vector<std::uint32_t> all{0, 1, 2, 3, 4, 5, 6, 7};
        const std::vector<std::uint32_t> withoutBusy{0, 1, 2, 3, 4, 7};
        EXPECT_EQ(swapTicks, row.waits ? all : withoutBusy);
        const std::vector<std::uint32_t> busy{5, 6};
        const std::vector<std::uint32_t> none;
        EXPECT_EQ(rig.sim.waitedTicks, row.waits ? busy : none);
        EXPECT_EQ(rig.sim.droppedPositionTicks, row.waits ? none : busy);
        EXPECT_TRUE(rig.sim.positionFill().empty());
    }
}

TEST(TrafficTick, CompactionKeepsTheOrderOfTheOthers) {
    EngineRig rig;
    for (std::uint32_t i = 0; i < 4; ++i) {
        rig.addLive(30001 + i, fmt::format("DLH{}", i), "A320",
                    {airSample(50, 8, 20000, 300, 90, 100000), airSample(50, 8.1, 20000, 300, 90, 100500)});
    }
    rig.live(30002)->erase = true;
    rig.live(30003)->eraseFromBuffer = true;
    rig.tick();
    ASSERT_EQ(rig.engine.liveAc.size(), 2u);
    EXPECT_EQ(rig.engine.liveAc[0].hexid, 30001u);
    EXPECT_EQ(rig.engine.liveAc[1].hexid, 30004u);
}

// The wall clock of the playback lag: 1029 s plus the tick in hundredths.
double lf_lagClock() { return 1029.0 + static_cast<double>(currentTick()) / 100.0; }

PosSample lf_fed(PosSample s, double feedTime) {
    s.feedTime = feedTime;
    return s;
}

// The playback lag is taken from what the aircraft play: each position of the
// feed when the aircraft reaches it, against the position's feed time, so a
// position played late shows its lateness. Positions the engine makes (the
// extensions of a stream that ran dry) are no feed positions and do not count.
TEST(TrafficTick, PlaybackLagIsEachFeedPositionsTimeAgainstTheClockWhenReached) {
    gf_setLagClock(lf_lagClock);
    gf_takePlaybackLag(g_playbackLagMeter);
    for (const bool liveMovement : {false, true}) {
        SCOPED_TRACE(liveMovement ? "the program's movement, the stream extended" : "samples played at their ticks");
        EngineRig rig;
        if (liveMovement) rig.useLiveMovement();
        LiveAc& ac = rig.addLive(30001, "DLH1", "A320",
                                 {lf_fed(airSample(50, 8, 20000, 300, 90, 100), 1000.0),
                                  lf_fed(airSample(50, 8.01, 20000, 300, 90, 400), 1003.0),
                                  // Due 6 s after its feed time plus the 30 s delay, as under a backlog.
                                  lf_fed(airSample(50, 8.02, 20000, 300, 90, 1000), 1004.0),
                                  airSample(50, 8.03, 20000, 300, 90, 1100)},
                                 AcSimState::Active);
        ac.objectId = 7;
        rig.run(liveMovement ? 3000 : 1200);
        const PlaybackLagMeter f = gf_takePlaybackLag(g_playbackLagMeter);
        EXPECT_EQ(f.positions, 3u);
        if (!liveMovement) {
            // Reached at ticks 100, 400 and 1000: 1030 - 1000, 1033 - 1003, 1039 - 1004.
            EXPECT_NEAR(f.minSeconds, 30.0, 1e-9);
            EXPECT_NEAR(f.maxSeconds, 35.0, 1e-9);
        }
    }
    gf_setLagClock(nullptr);
}

}  // namespace
}  // namespace clv::test
