// New samples of an aircraft that moves: what joins its queue, and how the tail of
// the queue is cleaned of jitter and short stops.
#include <gtest/gtest.h>

#include "link/sim_ids.h"
#include "movement_support.h"

namespace clv::test {
namespace {

constexpr std::uint32_t kSampleNow = 10000;

// Feeds the samples one by one, as the intake does.
void feedAll(EngineRig& rig, LiveAc& ac, std::vector<PosSample> samples) {
    for (PosSample& s : samples) decodeExisting(rig.engine, ac, s);
}

TEST(SampleIntake, WobbleOfAStandingAircraftKeepsHoldsAtOnePosition) {
    EngineRig rig;
    trafficTickCount = kSampleNow;
    LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 0, kSampleNow)}, 0);
    // Wobble below 0.00015 degrees (about 16 m north, 11 m east).
    std::vector<PosSample> wobble;
    const double d[][2] = {{0.0001, 0.00005}, {-0.00012, 0.0001}, {0.00003, -0.00014}, {0.0001, 0.0001}};
    for (int i = 0; i < 4; ++i)
        wobble.push_back(groundSample(kHome.lat + d[i][0], kHome.lon + d[i][1], 2, 0, kSampleNow + 500 * (i + 1)));
    feedAll(rig, ac, wobble);
    ASSERT_GE(ac.samples.size(), 2u);
    for (const PosSample& s : ac.samples) {
        EXPECT_EQ(s.latitude, kHome.lat);
        EXPECT_EQ(s.longitude, kHome.lon);
        EXPECT_EQ(s.groundSpeed, 0.0);
    }
    for (std::size_t i = 1; i < ac.samples.size(); ++i) {
        EXPECT_TRUE(ac.samples[i].holdMark);
        EXPECT_GT(ac.samples[i].dueTick, ac.samples[i - 1].dueTick);
    }
}

// A taxi leg into a stop at P, holds at P every 5 s for `stopSeconds`, then a
// moving sample `onwardMetres` beyond P: the queue that remains.
std::vector<PosSample> stopAndGo(double stopSeconds, double onwardMetres) {
    EngineRig rig;
    trafficTickCount = kSampleNow;
    const LatLon p = offset(kHome, 90, 60);
    LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 10, kSampleNow)}, 90);
    std::vector<PosSample> feed{sampleAt(p, 0, kSampleNow + 500)};
    for (int t = 5; t <= stopSeconds; t += 5) feed.push_back(sampleAt(p, 0, kSampleNow + 500 + 100 * t));
    feed.push_back(sampleAt(offset(p, 90, onwardMetres), 10, kSampleNow + 700 + static_cast<std::uint32_t>(100 * stopSeconds)));
    feedAll(rig, ac, feed);
    return {ac.samples.begin(), ac.samples.end()};
}

TEST(SampleIntake, ShortStopsGoLongOnesStay) {
    struct Case {
        const char* name;
        double stopSeconds, onwardMetres;
        bool holdsKept;
    };
    const Case cases[] = {
        {"10 s stop", 10, 30, false},
        {"20 s stop, next sample 30 m on", 20, 30, true},
        {"20 s stop, next sample 15 m on (a start from a standstill)", 20, 15, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<PosSample> q = stopAndGo(c.stopSeconds, c.onwardMetres);
        const auto holds = std::count_if(q.begin(), q.end(), [](const PosSample& s) { return s.holdMark; });
        EXPECT_EQ(holds, c.holdsKept ? static_cast<long>(c.stopSeconds / 5) : 0);
        EXPECT_FALSE(q.back().holdMark);
        EXPECT_EQ(q.size(), 3u + static_cast<std::size_t>(holds));
    }
}

TEST(SampleIntake, DueTicksStrictlyIncreaseAlongTheQueue) {
    EngineRig rig;
    trafficTickCount = kSampleNow;
    LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 10, kSampleNow + 800)}, 90);
    // Arrivals out of step with the queue (a re-timed sample lies later than the feed's next).
    feedAll(rig, ac,
            {sampleAt(offset(kHome, 90, 50), 10, kSampleNow + 700), sampleAt(offset(kHome, 90, 100), 10, kSampleNow + 700),
             sampleAt(offset(kHome, 90, 150), 10, kSampleNow + 1500)});
    ASSERT_EQ(ac.samples.size(), 4u);
    EXPECT_EQ(ac.samples[1].dueTick, kSampleNow + 801);
    EXPECT_EQ(ac.samples[2].dueTick, kSampleNow + 802);
    EXPECT_EQ(ac.samples[3].dueTick, kSampleNow + 1500);
}

TEST(SampleIntake, PushBackNeverQueuesItsFirstSampleChoosesTheSide) {
    struct Case {
        bool straightOnly;
        double track;
        bool sideChosen, tailLeft;
    };
    const Case cases[] = {{false, 20, true, true}, {false, 340, true, false}, {true, 20, false, false},
                          {false, 0, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "straight only " << c.straightOnly << ", track " << c.track);
        EngineRig rig;
        STRAIGHT_PBS_ONLY.value = c.straightOnly;
        trafficTickCount = kSampleNow;
        LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 4, kSampleNow), sampleAt(offset(kHome, 180, 40), 4, kSampleNow + 900)}, 0,
                                    AcMoveState::PushingBack);
        ac.pushBackCountdown = 2;
        PosSample s = sampleAt(offset(kHome, 180, 10), 3, kSampleNow + 3000);
        s.track = c.track;
        decodeExisting(rig.engine, ac, s);
        EXPECT_EQ(ac.samples.size(), 2u);
        EXPECT_EQ(ac.sideChosen, c.sideChosen);
        EXPECT_EQ(ac.tailToTheLeft, c.tailLeft);
        // Later samples of the push back choose nothing.
        ac.pushBackCountdown = 1;
        s.track = 180.0 - c.track;
        decodeExisting(rig.engine, ac, s);
        EXPECT_EQ(ac.samples.size(), 2u);
        EXPECT_EQ(ac.tailToTheLeft, c.tailLeft);
    }
}

// Landing east (heading 90) and rolling out: samples behind the aircraft are
// dropped, a roll-out sample far behind restarts the queue where the aircraft is,
// and a sample faster than the last above 40 kt takes the last one's speed.
TEST(SampleIntake, WhileLandingAndRollingOutSamplesBehindAreDropped) {
    enum class Phase { Landing, RollingOut };
    struct Case {
        const char* name;
        Phase phase;
        std::vector<double> queuedMetres;  // east of home
        double queuedSpeed;
        std::int32_t extension;
        double bearing, metres;  // the new sample from the last queued one
        double speed;
        std::vector<double> expectedMetres;  // east of home, the queue after; -1: the aircraft's own position, -2: the new sample's
        double expectedSpeed;                // of the last sample after
    };
    const Case cases[] = {
        {"landing: ahead is taken", Phase::Landing, {0}, 120, 0, 90, 200, 120, {0, 200}, 120},
        {"landing: 100 degrees off is dropped", Phase::Landing, {0}, 120, 0, 190, 200, 120, {0}, 120},
        {"two queued: the last behind the new one goes", Phase::Landing, {0, 400}, 120, 0, 260, 200, 120, {0, -2}, 120},
        {"rolling out: 120 degrees off is taken", Phase::RollingOut, {0}, 120, 0, 210, 100, 30, {0, -2}, 30},
        {"rolling out: 160 degrees off restarts the queue", Phase::RollingOut, {0}, 120, 0, 250, 100, 30, {-1, -2}, 30},
        {"rolling out and extended: 160 degrees off is dropped", Phase::RollingOut, {0}, 120, 3, 250, 100, 30, {0}, 120},
        {"faster than the last above 40 kt: the last's speed", Phase::RollingOut, {0}, 60, 0, 90, 100, 70, {0, 100}, 60},
        {"faster than the last but 40 kt or less: its own", Phase::RollingOut, {0}, 20, 0, 90, 100, 40, {0, 100}, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        trafficTickCount = kSampleNow;
        std::vector<PosSample> queued;
        for (std::size_t i = 0; i < c.queuedMetres.size(); ++i) {
            PosSample q =
                sampleAt(offset(kHome, 90, c.queuedMetres[i]), c.queuedSpeed, kSampleNow + 500 * static_cast<std::uint32_t>(i));
            if (c.phase == Phase::Landing) {
                q.altitude = 1600.0 - 50.0 * static_cast<double>(i);
                q.airborne = true;
            }
            queued.push_back(q);
        }
        LiveAc& ac = c.phase == Phase::Landing ? activeInAir(rig, queued, 90) : activeOnGround(rig, queued, 90);
        ac.landing = c.phase == Phase::Landing;
        ac.rollingOut = c.phase == Phase::RollingOut;
        ac.extensionCount = c.extension;
        // The aircraft itself is 50 m short of its first sample.
        ac.simPosition.latitude = offset(kHome, 270, 50).lat;
        ac.simPosition.longitude = offset(kHome, 270, 50).lon;
        const LatLon from = positionOf(queued.back());
        PosSample s = sampleAt(offset(from, c.bearing, c.metres), c.speed, kSampleNow + 3000);
        if (c.phase == Phase::Landing) {
            s.altitude = 1500.0;
            s.airborne = true;
        }
        decodeExisting(rig.engine, ac, s);
        ASSERT_EQ(ac.samples.size(), c.expectedMetres.size());
        for (std::size_t i = 0; i < c.expectedMetres.size(); ++i) {
            SCOPED_TRACE(i);
            const double m = c.expectedMetres[i];
            const LatLon expected = m == -2.0 ? positionOf(s) : m == -1.0 ? positionOf(ac) : offset(kHome, 90, m);
            EXPECT_LT(metresBetween(positionOf(ac.samples[i]), expected), 0.01);
        }
        EXPECT_EQ(ac.samples.back().groundSpeed, c.expectedSpeed);
        if (c.expectedMetres.front() == -1.0) {
            EXPECT_EQ(ac.samples.front().dueTick, kSampleNow + 1);
        }
        if (c.extension > 0 && ac.samples.size() == c.queuedMetres.size()) {
            EXPECT_EQ(ac.extensionCount, c.extension);
        }
    }
}

// Rolling out, the feed lifts off again: a touch-and-go becomes a take-off run.
TEST(SampleIntake, ATouchAndGoTurnsTheRollOutIntoATakeOffRun) {
    for (const bool lastAirborne : {true, false}) {
        SCOPED_TRACE(lastAirborne);
        EngineRig rig;
        trafficTickCount = kSampleNow;
        PosSample last = sampleAt(kHome, 120, kSampleNow);
        if (lastAirborne) {
            last.altitude = 1420.0;
            last.airborne = true;
        }
        LiveAc& ac = activeOnGround(rig, {last}, 90);
        ac.rollingOut = true;
        ac.landing = false;
        ac.landed = true;
        ac.throttleStage = 0;
        ac.flapsStage = 3;
        ac.maxAdvance = 1000;
        ac.maxDelay = 1000;
        PosSample up = sampleAt(offset(kHome, 90, 300), 130, kSampleNow + 3000);
        up.altitude = 1450.0;
        up.airborne = true;
        decodeExisting(rig.engine, ac, up);
        ASSERT_EQ(ac.samples.size(), 2u);
        if (!lastAirborne) {
            // One airborne sample is not yet a take-off.
            EXPECT_FALSE(ac.takeOffRun);
            EXPECT_TRUE(rig.sim.clientEvents.empty());
            continue;
        }
        EXPECT_TRUE(ac.takeOffRun);
        EXPECT_EQ(ac.moveState, AcMoveState::Taxi);
        EXPECT_FALSE(ac.landed);
        EXPECT_EQ(ac.maxDelay, 5000);
        EXPECT_EQ(ac.maxAdvance, 3000);
        std::vector<std::pair<std::uint32_t, std::uint32_t>> events;
        for (const TickedEvent& e : rig.sim.clientEvents) events.emplace_back(e.command.eventId, e.command.data);
        const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected{
            {THROTTLE_SET, 11468}, {SPOILERS_SET, 16383},  {FLAPS_SET, 3072},        {NAV_LIGHTS_SET, 1},
            {BEACON_LIGHTS_SET, 1}, {LANDING_LIGHTS_SET, 1}, {TAXI_LIGHTS_SET, 1},    {STROBES_SET, 1},
            {LOGO_LIGHTS_SET, 1},   {CABIN_LIGHTS_SET, 0}};
        EXPECT_EQ(events, expected);
    }
}

TEST(SampleIntake, TooLongAQueueOrAFeedMovingAwayFromAHoldRemovesTheAircraft) {
    {
        SCOPED_TRACE("more than 200 queued");
        EngineRig rig;
        trafficTickCount = kSampleNow;
        LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 10, kSampleNow)}, 90);
        for (std::uint32_t i = 1; i <= 200; ++i) ac.samples.push_back(sampleAt(offset(kHome, 90, 10.0 * i), 10, kSampleNow + 100 * i));
        PosSample s = sampleAt(offset(kHome, 90, 2020), 10, kSampleNow + 30000);
        decodeExisting(rig.engine, ac, s);
        EXPECT_EQ(ac.simState, AcSimState::RemovingFromSim);
    }
    for (const auto& [metres, removed] : {std::pair{240.0, false}, std::pair{260.0, true}}) {
        SCOPED_TRACE(testing::Message() << "holding, feed " << metres << " m away");
        EngineRig rig;
        trafficTickCount = kSampleNow;
        LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 0, kSampleNow), sampleAt(kHome, 0, kSampleNow + 300)}, 90);
        ac.samples[1].holdMark = true;
        ac.holding = true;
        PosSample s = sampleAt(offset(kHome, 90, metres), 10, kSampleNow + 3000);
        decodeExisting(rig.engine, ac, s);
        EXPECT_EQ(ac.simState == AcSimState::RemovingFromSim, removed);
        EXPECT_EQ(ac.holding, !removed);
    }
}

// A standing aircraft's feed lines are played at their own time, 30 s after the
// feed: a second hold behind a line of the feed still to be reached leaves that
// line's due tick alone (it ends only a hold the engine made), and a wobbling line
// taken as the position before it keeps its own time stamp and due tick.
TEST(SampleIntake, LinesOfAStandingAircraftKeepTheirOwnTime) {
    struct Case {
        const char* name;
        double firstFeedTime;  // 0: a hold the engine made
        double wobbleDegrees;  // of the new line against the first
        std::uint32_t firstDue;
    };
    constexpr std::uint32_t kFirstDue = kSampleNow + 2700;  // arrived 3 s ago
    const Case cases[] = {
        {"a line of the feed, the same position again", 1097.0, 0.0, kFirstDue},
        {"a line of the feed, a wobble", 1097.0, 0.00005, kFirstDue},
        {"a hold the engine made, the same position again", 0.0, 0.0, kSampleNow + 1},
        {"a hold the engine made, a wobble", 0.0, 0.00005, kSampleNow + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        trafficTickCount = kSampleNow;
        PosSample first = sampleAt(kHome, 0, kFirstDue);
        first.holdMark = true;
        first.feedTime = c.firstFeedTime;
        LiveAc& ac = activeOnGround(rig, {first}, 90);
        PosSample s = groundSample(kHome.lat + c.wobbleDegrees, kHome.lon - c.wobbleDegrees, 0, 90, kSampleNow + 3000);
        s.feedTime = 1100.0;
        decodeExisting(rig.engine, ac, s);
        ASSERT_EQ(ac.samples.size(), 2u);
        EXPECT_EQ(ac.samples[0].dueTick, c.firstDue);
        EXPECT_EQ(ac.samples[0].feedTime, c.firstFeedTime);
        const PosSample& taken = ac.samples[1];
        EXPECT_TRUE(taken.holdMark);
        EXPECT_EQ(taken.latitude, kHome.lat);
        EXPECT_EQ(taken.longitude, kHome.lon);
        EXPECT_EQ(taken.dueTick, kSampleNow + 3000);
        EXPECT_EQ(taken.feedTime, 1100.0);
    }
}

TEST(SampleIntake, AfterAPushBackNearSamplesWaitAFarOneStartsTheTaxi) {
    EngineRig rig;
    trafficTickCount = kSampleNow;
    LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 0, kSampleNow), sampleAt(kHome, 0, kSampleNow + 300)}, 90,
                                AcMoveState::PushedBack);
    ac.samples[1].holdMark = true;
    ac.nearestAfterPushBack = 900.0;
    ac.extensionCount = 1;
    ac.standId = 3;
    // A320 radius 0.0097 nm: 2.75 radii = 49 m, 6 radii = 108 m.
    PosSample near = sampleAt(offset(kHome, 90, 30), 2, kSampleNow + 3000);
    decodeExisting(rig.engine, ac, near);
    EXPECT_EQ(ac.moveState, AcMoveState::PushedBack);
    EXPECT_TRUE(ac.holding);
    EXPECT_EQ(ac.samples.size(), 2u);
    PosSample onward = sampleAt(offset(kHome, 90, 55), 8, kSampleNow + 3200);
    decodeExisting(rig.engine, ac, onward);
    EXPECT_EQ(ac.moveState, AcMoveState::Taxi);
    EXPECT_FALSE(ac.holding);
    EXPECT_EQ(ac.standId, 0u);
    EXPECT_EQ(ac.extensionCount, 0);
    EXPECT_EQ(ac.samples.front().dueTick, kSampleNow + 1);
    EXPECT_EQ(ac.samples.back().latitude, onward.latitude);
}

}  // namespace
}  // namespace clv::test
