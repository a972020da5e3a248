// The movement's steps one by one: re-timing, the leg speed, the extension of a
// dry stream, and the bounds of the two states that wait for the simulator.
#include <gtest/gtest.h>

#include "movement_support.h"

namespace clv::test {
namespace {

constexpr std::uint32_t kMovementNow = 10000;

TEST(RetimeNext, KeepsTheSecondSampleWithinWhatTheFeedAllows) {
    struct Case {
        const char* name;
        std::int32_t extension;
        std::int64_t feedDueFromNow;
        std::int64_t ticks;
        std::int64_t expectedFromNow;
    };
    // Max advance and max delay are both 1000 ticks (a new aircraft). The sample
    // comes at the feed's time unless the leg cannot be covered by then at 1.4
    // times its speed (`ticks` at its speed, so ticks / 1.4 at the fastest).
    const Case cases[] = {
        {"a leg quicker than the feed: at the feed's time, not earlier", 0, 2000, 200, 2000},
        {"as quick as the feed allows: at the feed's time", 0, 2000, 2800, 2000},
        {"too slow for the feed's time: catching up at 1.4 times", 0, 2000, 3500, 2500},
        {"later than due + max delay: cut back", 0, 2000, 6000, 3000},
        {"the feed's due long past: never before now", 0, -2500, 100, 0},
        {"extending: taken as wanted", 2, 2000, 6000, 6000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        trafficTickCount = kMovementNow;
        const auto feedDue = static_cast<std::uint32_t>(kMovementNow + c.feedDueFromNow);
        LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 10, kMovementNow), sampleAt(offset(kHome, 0, 100), 10, feedDue)}, 0);
        ac.extensionCount = c.extension;
        lf_retimeNext(ac, c.ticks);
        EXPECT_EQ(std::int64_t{ac.samples[1].dueTick}, kMovementNow + c.expectedFromNow);
    }
}

TEST(NextPos, ALegGetsAtLeast25Ticks) {
    EngineRig rig;
    trafficTickCount = kMovementNow;
    // The second sample is long overdue: re-timed to now, the leg still takes 25 ticks.
    const LatLon to = offset(kHome, 0, 20);
    LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 10, kMovementNow), sampleAt(to, 10, kMovementNow - 3000)}, 0);
    nextPos(rig.engine, ac);
    ASSERT_EQ(ac.samples.size(), 1u);
    EXPECT_EQ(ac.samples[0].dueTick, kMovementNow);
    EXPECT_NEAR(ac.latitudeStep, (to.lat - kHome.lat) / 25.0, 1e-12);
}

TEST(LegSpeed, FromTheSamplesOrFromDistanceAndTime) {
    const LatLon far = offset(kHome, 90, 185.2);  // 0.1 nm
    struct Case {
        const char* name;
        double gs0, gs1;
        LatLon to;
        std::uint32_t gap;
        double expected;
    };
    const Case cases[] = {
        {"mean of the two speeds", 10, 20, far, 1000, 15.0},
        {"both 0: distance over time", 0, 0, far, 3600, 0.1 * 360000.0 / 3600.0},
        {"both 0, a gap below 25 ticks counts 25", 0, 0, far, 10, 0.1 * 360000.0 / 25.0},
        {"both 0, nearly no distance: at least 1 kt", 0, 0, offset(kHome, 90, 0.01), 3000, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, c.gs0, kMovementNow), sampleAt(c.to, c.gs1, kMovementNow + c.gap)}, 0);
        EXPECT_NEAR(lf_legSpeed(ac), c.expected, 1e-6 * c.expected);
    }
}

TEST(ExtendStream, ATaxiingAircraftHoldsUntilItStandsInTheWayOrWaitedTooLong) {
    {
        SCOPED_TRACE("first time dry: a 3 s hold sample");
        EngineRig rig;
        trafficTickCount = kMovementNow;
        LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 8, kMovementNow)}, 0);
        ASSERT_TRUE(lf_extendStream(rig.engine, ac));
        ASSERT_EQ(ac.samples.size(), 2u);
        EXPECT_TRUE(ac.samples[1].holdMark);
        EXPECT_EQ(ac.samples[1].groundSpeed, 0.0);
        EXPECT_EQ(ac.samples[1].dueTick, kMovementNow + 300);
        EXPECT_TRUE(ac.holding);
        EXPECT_EQ(ac.holdingSince, kMovementNow);
    }
    {
        SCOPED_TRACE("another aircraft taxies within 1.2 x the radii: it goes");
        EngineRig rig;
        trafficTickCount = kMovementNow;
        LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 0, kMovementNow)}, 0);
        ac.holding = true;
        ac.holdingSince = kMovementNow - 100;
        // Two A320 of radius 0.0097 nm: 1.2 x 0.0194 nm = 43.1 m.
        activeOnGround(rig, {sampleAt(offset(kHome, 45, 40), 10, kMovementNow)}, 0, AcMoveState::Taxi, 40002);
        EXPECT_FALSE(lf_extendStream(rig.engine, rig.engine.liveAc[0]));
        EXPECT_FALSE(rig.engine.liveAc[0].holding);
    }
    {
        SCOPED_TRACE("one too far away changes nothing");
        EngineRig rig;
        trafficTickCount = kMovementNow;
        activeOnGround(rig, {sampleAt(kHome, 0, kMovementNow)}, 0);
        activeOnGround(rig, {sampleAt(offset(kHome, 45, 46), 10, kMovementNow)}, 0, AcMoveState::Taxi, 40002);
        EXPECT_TRUE(lf_extendStream(rig.engine, rig.engine.liveAc[0]));
    }
    for (const auto& [heldTicks, extends] : {std::pair{5999u, true}, std::pair{6000u, false}}) {
        SCOPED_TRACE(heldTicks);
        EngineRig rig;
        MAX_HOLDING_MINUTES.value = 1;
        trafficTickCount = kMovementNow;
        LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 0, kMovementNow)}, 0);
        ac.holding = true;
        ac.holdingSince = kMovementNow - heldTicks;
        EXPECT_EQ(lf_extendStream(rig.engine, ac), extends);
    }
}

TEST(ExtendStream, InTheAirFliesOnOnlyWithinRangeOfTheUser) {
    struct Case {
        const char* name;
        LatLon user;
        std::string type;
        bool extends;
    };
    const double range = lateralRangeNm.load();
    const Case cases[] = {
        {"well within range", offset(kHome, 0, (range - 1.0) * kMetresPerNm), "A320", true},
        {"within range but not 0.5 nm inside it", offset(kHome, 0, (range - 0.4) * kMetresPerNm), "A320", false},
        {"user position not known yet", LatLon{0.0, 0.0}, "A320", true},
        {"category switched off", offset(kHome, 0, 1000), "C172", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        LIGHT_AIRCRAFT.value = false;
        trafficTickCount = kMovementNow;
        rig.engine.userAcData.latitude = c.user.lat;
        rig.engine.userAcData.longitude = c.user.lon;
        LiveAc& ac = rig.addLive(40001, "DLH1", c.type, {airSample(kHome.lat, kHome.lon, 5000, 200, 90, kMovementNow)},
                                 AcSimState::Active);
        ac.objectId = 500;
        ac.moveState = AcMoveState::Flying;
        ac.simPosition.latitude = kHome.lat;
        ac.simPosition.longitude = kHome.lon;
        ac.simPosition.trueHeading = kPi / 2.0;
        ASSERT_EQ(lf_extendStream(rig.engine, ac), c.extends);
        if (!c.extends) continue;
        // Eight samples of 8 s, each 5 % slower, along the heading.
        EXPECT_EQ(ac.extensionCount, 8);
        const PosSample& s = ac.samples.back();
        EXPECT_DOUBLE_EQ(s.groundSpeed, 190.0);
        EXPECT_EQ(s.dueTick, kMovementNow + 800);
        EXPECT_NEAR(metresBetween(kHome, positionOf(s)), 190.0 * 8.0 / 3600.0 * kMetresPerNm, 0.5);
        EXPECT_NEAR(gf_bearing(kHome, positionOf(s)) * kRadToDeg, 90.0, 0.01);
    }
}

TEST(ExtendStream, AParkedAircraftHoldsForAWeekAndKeepsItsStand) {
    EngineRig rig;
    trafficTickCount = kMovementNow;
    LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 0, kMovementNow)}, 0, AcMoveState::Parked);
    ac.standId = 12;
    ac.atStandChecked = true;
    ASSERT_TRUE(lf_extendStream(rig.engine, ac));
    ASSERT_EQ(ac.samples.size(), 2u);
    EXPECT_EQ(ac.samples[1].dueTick, kMovementNow + 7u * 24u * 3600u * 100u);
    EXPECT_TRUE(ac.samples[1].holdMark);
    EXPECT_FALSE(ac.atStandChecked);
    EXPECT_TRUE(rig.parking.freedStands.empty());
}

TEST(ExtendStream, RunwaySpeedLadders) {
    struct Case {
        bool rollingOut;
        double from, to, verticalSpeed;
    };
    const Case cases[] = {
        // Take-off run: the speed rises.
        {false, 20, 40, 0},
        {false, 50, 80, 0},
        {false, 90, 110, 0},
        {false, 130, 150, 600},
        {false, 150, 170, 1200},
        {false, 170, 180, 2400},
        // Roll-out: it falls.
        {true, 150, 100, 0},
        {true, 120, 80, 0},
        {true, 90, 60, 0},
        {true, 70, 30, 0},
        {true, 40, 20, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.rollingOut ? "roll-out " : "take-off run ") << c.from);
        EngineRig rig;
        trafficTickCount = kMovementNow;
        LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, c.from, kMovementNow)}, 90);
        ac.rollingOut = c.rollingOut;
        ac.takeOffRun = !c.rollingOut;
        lf_addExtrapolatedSample(ac, 10);
        const PosSample& s = ac.samples.back();
        EXPECT_DOUBLE_EQ(s.groundSpeed, c.to);
        EXPECT_DOUBLE_EQ(s.verticalSpeed, c.verticalSpeed);
        EXPECT_FALSE(s.holdMark);
        EXPECT_EQ(s.dueTick, kMovementNow + 300);
        EXPECT_NEAR(metresBetween(kHome, positionOf(s)), c.to * 3.0 / 3600.0 * kMetresPerNm, 0.05);
    }
}

// A creation that the simulator never binds, or a removal it never acknowledges,
// must not keep its record for good.
TEST(WaitingStates, AreBoundedAfterTheCreationLeftTheQueue) {
    {
        SCOPED_TRACE("never bound");
        EngineRig rig;
        rig.sim.responder.on = true;
        rig.sim.responder.bindCreations = false;
        for (int i = 0; i < 4; ++i)
            rig.feed.at(static_cast<std::uint32_t>(i) * 500,
                        makeUpdate(40001, "DLH1", "A320", 50.0, 8.0 + 0.03 * i, 20000, 300, 90, 1000.0 + 5.0 * i));
        ASSERT_TRUE(rig.runUntil([&] { return !rig.sim.creations.empty(); }, 4000));
        const std::uint32_t handed = rig.sim.creations[0].tick;
        rig.run(kSimStateBoundTicks - 10);
        ASSERT_NE(rig.live(40001), nullptr);
        EXPECT_EQ(rig.live(40001)->simState, AcSimState::Adding2Sim);
        ASSERT_TRUE(rig.runUntil([&] { return rig.live(40001) == nullptr; }, 100));
        EXPECT_NEAR(static_cast<double>(currentTick() - handed), kSimStateBoundTicks, 15.0);
    }
    {
        SCOPED_TRACE("waiting in the creation queue does not count");
        EngineRig rig;
        // Spawned, but its creation not handed to the simulator yet: it waits as long as that takes.
        rig.addLive(40001, "DLH1", "A320", {sampleAt(kHome, 0, 0), sampleAt(kHome, 0, 100)}, AcSimState::Adding2Sim);
        rig.run(kSimStateBoundTicks + 500);
        EXPECT_NE(rig.live(40001), nullptr);
    }
    {
        SCOPED_TRACE("removal never acknowledged");
        EngineRig rig;
        rig.sim.responder.on = true;
        rig.sim.responder.answerRemovals = false;
        trafficTickCount = kMovementNow;
        LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 0, kMovementNow), sampleAt(kHome, 0, kMovementNow + 100000)}, 0);
        removeAircraftFromSim(rig.engine, ac);
        rig.run(kSimStateBoundTicks - 10);
        ASSERT_NE(rig.live(40001), nullptr);
        ASSERT_TRUE(rig.runUntil([&] { return rig.live(40001) == nullptr; }, 100));
        EXPECT_NEAR(static_cast<double>(currentTick() - kMovementNow), kSimStateBoundTicks, 15.0);
    }
}

}  // namespace
}  // namespace clv::test
