// Movement on the ground: curves, push back and pulling out, corners, turns in
// place, split legs and the end of the roll-out.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "link/sim_ids.h"
#include "movement_support.h"

namespace clv::test {
namespace {

constexpr std::uint32_t kGroundNow = 10000;

GroundCurve rightTurn() {
    // Origin at home, corner 100 m north, end 100 m north and 100 m east.
    GroundCurve c;
    c.originLatitude = kHome.lat;
    c.originLongitude = kHome.lon;
    c.start = 0.0;
    c.end = 1.0;
    c.controlNorth = 100.0;
    c.controlEast = 0.0;
    c.endNorth = 100.0;
    c.endEast = 100.0;
    return c;
}

TEST(BezierPoint, PointAndHeadingAlongTheCurve) {
    const GroundCurve c = rightTurn();
    const double metresPerDegreeEast = kCurveMetresPerDegree * std::cos(kHome.lat * kDegToRad);
    struct Case {
        double t, north, east, headingDegrees;
    };
    // B(u) = 2u(1-u) C + u^2 E; its direction 2(1-u) C + 2u (E - C).
    const Case cases[] = {{0.0, 0.0, 0.0, 0.0}, {0.5, 75.0, 25.0, 45.0}, {1.0, 100.0, 100.0, 90.0}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.t);
        LatLon p;
        double heading = -1.0;
        ASSERT_TRUE(gf_bezierPoint(c, p, heading, k.t));
        EXPECT_NEAR((p.lat - kHome.lat) * kCurveMetresPerDegree, k.north, 1e-6);
        EXPECT_NEAR((p.lon - kHome.lon) * metresPerDegreeEast, k.east, 1e-6);
        EXPECT_NEAR(heading * kRadToDeg, k.headingDegrees, 1e-9);
    }
    for (double t : {std::numeric_limits<double>::quiet_NaN(), -0.01, 1.01}) {
        SCOPED_TRACE(t);
        LatLon p{1.0, 2.0};
        double heading = 3.0;
        EXPECT_FALSE(gf_bezierPoint(c, p, heading, t));
        EXPECT_EQ(p.lat, 1.0);
        EXPECT_EQ(heading, 3.0);
    }
    LatLon p;
    double heading = 0.0;
    EXPECT_FALSE(gf_bezierPoint(GroundCurve{}, p, heading, 0.5));
}

// A parked aircraft on stand 7 (heading north, radius 0.02 nm) whose feed moved
// to a point `bearingDegrees` from the stand.
LiveAc& leavingStand(EngineRig& rig, double bearingDegrees) {
    rig.parking.standRadius = 0.02;
    trafficTickCount = kGroundNow;
    LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 0, kGroundNow), sampleAt(offset(kHome, bearingDegrees, 60), 5, kGroundNow + 500)},
                                0, AcMoveState::Parked);
    ac.samples[0].holdMark = true;
    ac.standId = 7;
    ac.standLatitude = kHome.lat;
    ac.standLongitude = kHome.lon;
    ac.standHeading = 0.0;
    ac.leavingStand = true;
    return ac;
}

TEST(LeavingStand, ForwardsBelow90DegreesOffTheStandHeadingElseBackwards) {
    struct Case {
        double bearing;
        AcMoveState state;
    };
    const Case cases[] = {{80, AcMoveState::Taxi},
                          {-80 + 360, AcMoveState::Taxi},
                          {90, AcMoveState::PushingBack},
                          {180, AcMoveState::PushingBack},
                          {270, AcMoveState::PushingBack}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bearing);
        EngineRig rig;
        LiveAc& ac = leavingStand(rig, c.bearing);
        nextPosGround(rig.engine, ac);
        EXPECT_EQ(ac.moveState, c.state);
        if (c.state == AcMoveState::Taxi) {
            // Pulled out: one sample 2 aircraft radii ahead along the stand heading.
            ASSERT_EQ(ac.samples.size(), 2u);
            EXPECT_NEAR(metresBetween(kHome, positionOf(ac.samples[1])), 2 * ac.radius * kMetresPerNm, 0.01);
            EXPECT_NEAR(gf_bearing(kHome, positionOf(ac.samples[1])), 0.0, 1e-6);
            EXPECT_DOUBLE_EQ(ac.samples[1].groundSpeed, ac.groundValueB);
        }
    }
}

TEST(LeavingStand, PushBackGeometry) {
    EngineRig rig;
    LiveAc& ac = leavingStand(rig, 180);
    nextPos(rig.engine, ac);
    ASSERT_EQ(ac.moveState, AcMoveState::PushingBack);
    // Left after the step: the middle, the end 2.5 stand radii behind, the side end.
    ASSERT_EQ(ac.samples.size(), 3u);
    const double behind = 2.5 * 0.02 * kMetresPerNm;
    EXPECT_NEAR(metresBetween(kHome, positionOf(ac.samples[0])), behind / 2.0, 0.01);
    EXPECT_NEAR(metresBetween(kHome, positionOf(ac.samples[1])), behind, 0.01);
    EXPECT_NEAR(gf_bearing(kHome, positionOf(ac.samples[1])) * kRadToDeg, 180.0, 1e-6);
    // The two side ends lie one aircraft radius either side of the end.
    const double radius = ac.radius * kMetresPerNm;
    EXPECT_NEAR(metresBetween(positionOf(ac.samples[1]), positionOf(ac.samples[2])), radius, 0.01);
    EXPECT_NEAR(metresBetween(positionOf(ac.samples[1]), positionOf(ac.alternativePushBackEnd)), radius, 0.01);
    EXPECT_NEAR(metresBetween(positionOf(ac.samples[2]), positionOf(ac.alternativePushBackEnd)), 2 * radius, 0.01);
    EXPECT_LT(ac.trueAirspeed, 0.0);
    EXPECT_DOUBLE_EQ(ac.trueAirspeed, -ac.groundValueB);
    const auto events = rig.sim.eventsOf(ac.objectId);
    ASSERT_EQ(events.size(), 7u);  // the taxi light set
    EXPECT_EQ(events[3].command.eventId, TAXI_LIGHTS_SET);
    EXPECT_EQ(events[3].command.data, 1u);
}

// Runs a push back through the engine to its end; the heading change it made.
double pushBackTurn(bool straightOnly, double firstSampleTrack) {
    EngineRig rig;
    STRAIGHT_PBS_ONLY.value = straightOnly;
    rig.useLiveMovement();
    LiveAc& ac = leavingStand(rig, 180);
    nextPos(rig.engine, ac);
    PosSample first = sampleAt(offset(kHome, 180, 30), 3, kGroundNow + 600);
    first.track = firstSampleTrack;
    decodeExisting(rig.engine, ac, first);
    EXPECT_EQ(ac.sideChosen, !straightOnly);
    EXPECT_TRUE(rig.runUntil([&] { return rig.engine.liveAc[0].moveState == AcMoveState::PushedBack; }, 6000));
    return gf_headingDiff(0.0, rig.engine.liveAc[0].simPosition.trueHeading) * kRadToDeg;
}

TEST(LeavingStand, ACurvedPushBackEndsTurned90DegreesAStraightOneNot) {
    // Its first sample heads a little right of the nose: the tail goes left.
    EXPECT_NEAR(pushBackTurn(false, 20.0), 90.0, 1.0);
    EXPECT_NEAR(pushBackTurn(false, 340.0), -90.0, 1.0);
    EXPECT_NEAR(pushBackTurn(true, 20.0), 0.0, 1e-9);
}

TEST(Corners, ThirtyDegreesOnACurveAHundredSeventyTurnedInPlace) {
    struct Case {
        double corner;
        bool curve;
    };
    for (const Case& c : {Case{30, true}, Case{170, false}}) {
        SCOPED_TRACE(c.corner);
        EngineRig rig;
        trafficTickCount = kGroundNow;
        const LatLon corner = offset(kHome, 0, 40);
        LiveAc& ac = activeOnGround(rig,
                                    {sampleAt(kHome, 15, kGroundNow), sampleAt(corner, 15, kGroundNow + 500),
                                     sampleAt(offset(corner, c.corner, 40), 15, kGroundNow + 1000)},
                                    0);
        nextPosGround(rig.engine, ac);
        EXPECT_EQ(ac.curve.isSet(), c.curve);
        if (c.curve) {
            EXPECT_NEAR(ac.curveAngle, 30.0, 1e-6);
            ASSERT_EQ(ac.samples.size(), 2u);  // the corner sample became the control point
            EXPECT_NEAR(ac.curve.controlNorth, 40.0, 0.1);
            continue;
        }
        // At the corner the next leg starts 170 degrees off the heading: a turn in place.
        nextPos(rig.engine, ac);
        ASSERT_EQ(ac.samples.size(), 2u);
        nextPos(rig.engine, ac);
        EXPECT_FALSE(ac.curve.isSet());
        EXPECT_TRUE(ac.turningInPlace);
        EXPECT_NEAR(ac.turnInPlaceAngle, 170.0, 0.1);
    }
}

TEST(SplitOnSpeedChange, MoreThan5KnotsOver100MetresOrMore) {
    struct Case {
        double gs0, gs1, metres;
        bool split;
    };
    const Case cases[] = {{10, 20, 150, true},   {20, 10, 100.5, true}, {10, 15, 150, false},
                          {10, 20, 99, false},   {0, 0, 150, false},    {0, 6, 150, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.gs0 << " -> " << c.gs1 << " over " << c.metres << " m");
        EngineRig rig;
        const LatLon to = offset(kHome, 0, c.metres);
        LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, c.gs0, 1000), sampleAt(to, c.gs1, 2001)}, 0);
        lf_splitOnSpeedChange(ac);
        ASSERT_EQ(ac.samples.size(), c.split ? 3u : 2u);
        if (!c.split) continue;
        const PosSample& mid = ac.samples[1];
        EXPECT_NEAR(metresBetween(kHome, positionOf(mid)), c.metres / 2.0, 0.01);
        EXPECT_DOUBLE_EQ(mid.groundSpeed, (c.gs0 + c.gs1) / 2.0);
        EXPECT_EQ(mid.dueTick, 1500u);
        EXPECT_FALSE(mid.holdMark);
    }
}

TEST(TurnInPlace, HeadingsAcrossNorthTurnTheShortWay) {
    struct Case {
        double heading, target, angle;
    };
    // A correction across north is small, not nearly a full turn.
    const Case cases[] = {{359.0, 1.0, 2.0}, {1.0, 359.0, 2.0}, {350.0, 20.0, 30.0}, {20.0, 350.0, 30.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.heading << " -> " << c.target);
        EngineRig rig;
        trafficTickCount = kGroundNow;
        LiveAc& ac = activeOnGround(
            rig, {sampleAt(kHome, 10, kGroundNow), sampleAt(offset(kHome, c.target, 100), 10, kGroundNow + 2000)}, c.heading);
        nextPos(rig.engine, ac);
        EXPECT_NEAR(ac.turnInPlaceAngle, c.angle, 0.01);
        EXPECT_EQ(ac.turningInPlace, c.angle > 3.0);
        if (!ac.turningInPlace) continue;
        // Each tick turns a step the short way until on target.
        double before = ac.simPosition.trueHeading;
        const double sign = gf_headingDiff(before, c.target * kDegToRad) > 0 ? 1.0 : -1.0;
        for (int i = 0; i < 2000; ++i) {
            lf_moveTick(rig.engine, ac);
            const double h = ac.simPosition.trueHeading;
            ASSERT_GE(h, 0.0);
            ASSERT_LT(h, kTwoPi);
            const double step = gf_headingDiff(before, h);
            ASSERT_GE(step * sign, 0.0) << "tick " << i;
            before = h;
        }
        EXPECT_LE(gf_headingDiffDegrees(ac.simPosition.trueHeading, c.target * kDegToRad), 0.5);
    }
}

TEST(RollOut, EndsWhenTheAircraftTurnedOffItsRunway) {
    struct Case {
        double touchDown, heading;
        bool turnedOff;
    };
    // Runway 359: a drift across north is no turn-off.
    const Case cases[] = {{90.0, 95.0, false},  {90.0, 106.0, true}, {90.0, 74.0, true},
                          {359.5, 0.3, false},  {359.5, 14.0, false}, {359.5, 15.0, true},
                          {359.0, 343.0, true}, {0.5, 359.0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "touch-down " << c.touchDown << ", heading " << c.heading);
        EngineRig rig;
        LiveAc& ac = activeOnGround(rig, {sampleAt(kHome, 60, 1000), sampleAt(offset(kHome, c.heading, 100), 40, 1300)},
                                    c.heading);
        ac.rollingOut = true;
        ac.touchDownHeading = c.touchDown * kDegToRad;
        ac.flapsStage = 3;
        lf_rollOutStep(rig.engine, ac);
        EXPECT_EQ(ac.rollingOut, !c.turnedOff);
        const auto events = rig.sim.eventsOf(ac.objectId);
        bool afterLandingLights = false;
        for (const TickedEvent& e : events)
            if (e.command.eventId == CABIN_LIGHTS_SET && e.command.data == 1) afterLandingLights = true;
        EXPECT_EQ(afterLandingLights, c.turnedOff);
    }
}


// The throttle on a take-off run follows the speeds of the leg: full power from
// 25 kt at the first sample or 30 kt at the second, stage 2 from 20 or 25 kt,
// stage 1 from 15 or 20 kt, idle below; a rotorcraft always full. Each rung is
// probed at its edge and just below it.
TEST(TakeOffRun, TheThrottleLadderFollowsTheLegsSpeeds) {
    const auto below = [](double v) { return std::nextafter(v, 0.0); };
    struct Case {
        double g1, g2;
        std::uint32_t value;  // THROTTLE_SET data
        const char* type = "A320";
    };
    const Case cases[] = {
        {25.0, 0.0, 16383},   {below(25.0), 0.0, 8191}, {0.0, 30.0, 16383},   {0.0, below(30.0), 8191},
        {20.0, 0.0, 8191},    {below(20.0), 0.0, 4914}, {0.0, 25.0, 8191},    {0.0, below(25.0), 4914},
        {15.0, 0.0, 4914},    {below(15.0), 0.0, 0},    {0.0, 20.0, 4914},    {0.0, below(20.0), 0},
        {0.0, 0.0, 16383, "EC35"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.g1 << " kt, " << c.g2 << " kt");
        EngineRig rig;
        trafficTickCount = kGroundNow;
        LiveAc& ac = activeOnGround(
            rig, {sampleAt(kHome, c.g1, kGroundNow), sampleAt(offset(kHome, 90, 100), c.g2, kGroundNow + 1000)}, 90,
            AcMoveState::Taxi, 40001, c.type);
        ac.takeOffRun = true;
        ac.throttleStage = 3;  // a stage the ladder never gives: every rung sends its event
        lf_groundStep(rig.engine, ac);
        std::vector<std::uint32_t> throttle;
        for (const TickedEvent& e : rig.sim.clientEvents)
            if (e.command.eventId == THROTTLE_SET) throttle.push_back(e.command.data);
        EXPECT_EQ(throttle, std::vector<std::uint32_t>{c.value});
    }
}

}  // namespace
}  // namespace clv::test
