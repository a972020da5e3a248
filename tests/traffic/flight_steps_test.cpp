// The flight's steps one by one: the descent rate of a landing, bank and climb
// limits, the start of a landing and the go-around, the flare and the climb-out
// ladders, and what a rotorcraft is never sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "link/sim_ids.h"
#include "movement_support.h"

namespace clv::test {
namespace {

constexpr std::uint32_t kNow = 10000;

std::vector<std::uint32_t> lf_eventsOf(const EngineRig& rig, std::uint32_t eventId) {
    std::vector<std::uint32_t> out;
    for (const TickedEvent& e : rig.sim.clientEvents)
        if (e.command.eventId == eventId) out.push_back(e.command.data);
    return out;
}

PosSample lf_air(LatLon p, double altitude, double vs, std::uint32_t due, double gs = 140.0) {
    PosSample s = airSample(p.lat, p.lon, altitude, gs, 90.0, due);
    s.verticalSpeed = vs;
    return s;
}

TEST(LandingDescentRate, FromTheSamplesAndTheQnhNeverShallowerThan601) {
    struct Case {
        const char* name;
        std::int32_t qnh;
        double agl;
        double vs0, vs1;
        double expected;
    };
    const Case cases[] = {
        {"QNH 1013: the mean of the two samples", 1013, 500, -800, -1000, -900},
        {"QNH 1023: 60 ft/min steeper", 1023, 500, -800, -1000, -960},
        {"QNH 1003: 60 ft/min shallower", 1003, 500, -800, -1000, -840},
        {"shallow samples: -601", 1013, 500, -300, -300, -601},
        {"shallow samples with QNH 1023: still -601", 1023, 500, -400, -500, -601},
        {"100 ft above ground: -600", 1013, 100, -1500, -1500, -600},
        {"below 100 ft: -600 whatever the QNH", 1030, 40, -1500, -1500, -600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        QnhGuard qnh(c.qnh);
        LiveAc& ac = activeInAir(rig, {lf_air(kHome, 1500, c.vs0, kNow), lf_air(offset(kHome, 90, 300), 1450, c.vs1, kNow + 500)}, 90);
        ac.heightAboveGround = c.agl;
        EXPECT_DOUBLE_EQ(lf_landingDescentRate(ac), c.expected);
    }
}

TEST(BankStep, EachCategoryBanksWithinItsLimitAndRate) {
    struct Case {
        const char* type;
        double maxBankDegrees;
        double ratePerTickDegrees;
    };
    const Case cases[] = {{"C172", 40, 0.035}, {"A320", 30, 0.02}, {"B744", 20, 0.015},
                          {"F16", 90, 0.1},    {"EC35", 75, 0.06}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EngineRig rig;
        LiveAc& ac = activeInAir(rig, {lf_air(kHome, 5000, 0, kNow), lf_air(offset(kHome, 90, 900), 5000, 0, kNow + 800)},
                                 90, c.type);
        // A sharp right turn over a short leg: the bank changes at the category's rate.
        lf_bankStep(ac, 120.0 * kDegToRad, 25);
        EXPECT_NEAR(ac.bankStep * kRadToDeg, -c.ratePerTickDegrees, 1e-12);
        // Banked at the limit, a sharper turn banks no further; a gentle turn over a
        // long leg changes the bank by its share per tick.
        ac.simPosition.bank = -c.maxBankDegrees * kDegToRad;
        lf_bankStep(ac, 170.0 * kDegToRad, 25);
        EXPECT_NEAR(ac.bankStep, 0.0, 1e-15);
        ac.simPosition.bank = 0.0;
        lf_bankStep(ac, -5.0 * kDegToRad, 1000);
        EXPECT_NEAR(ac.bankStep * kRadToDeg, 5.0 / 1000.0, 1e-12);
    }
}

TEST(AltitudeSteps, AClimbNeverExceedsTheCategorysStepAndLowFlightFollowsTheFeed) {
    struct Case {
        const char* name;
        const char* type;
        double agl;
        bool firstOnGround;
        double altitude, next;
        double expected;  // feet per tick over 500 ticks
    };
    const Case cases[] = {
        {"Heavy leaving the ground, a steep feed climb: 0.5", "B744", 0, true, 1400, 4400, 0.5},
        {"Heavy in the air above 1000 ft: 0.5", "B744", 3000, false, 4400, 9400, 0.5},
        {"Large in the air: 0.6", "A320", 3000, false, 4400, 9400, 0.6},
        {"a gentle climb: the feed's", "B744", 3000, false, 4400, 4500, 100.0 / 500},
        {"leaving the ground, the next one not higher: none", "A320", 0, true, 1400, 1400, 0.0},
        {"below 1000 ft climbing slowly: at least 0.2", "A320", 600, false, 2000, 2010, 0.2},
        {"below 1000 ft descending: as the feed, never a climb", "A320", 600, false, 2000, 1900, -100.0 / 500},
        {"below 1000 ft level: level", "A320", 600, false, 2000, 2000, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        trafficTickCount = kNow;
        // The feed's vertical rate is the one its altitudes show.
        const double vs = (c.next - c.altitude) / 500.0 * 6000.0;
        PosSample s0 = lf_air(kHome, c.altitude, vs, kNow);
        if (c.firstOnGround) {
            s0.airborne = false;
        }
        LiveAc& ac = activeInAir(rig, {s0, lf_air(offset(kHome, 90, 2000), c.next, vs, kNow + 500)}, 90, c.type);
        ac.heightAboveGround = c.agl;
        if (c.firstOnGround) {
            lf_climbToNext(ac, 500);
        } else {
            lf_airAltitudeStep(ac, 500);
        }
        EXPECT_NEAR(ac.altitudeStep, c.expected, 1e-12);
    }
}

// Feed altitudes jump; the feed's vertical rate does not. A leg in the air keeps
// within the leg's vertical rates widened by 500 ft/min (always allowing level
// flight) and within the category's climb and descent.
TEST(AltitudeSteps, NoisyAltitudesAreFlownWithinTheFeedsVerticalRate) {
    struct Case {
        const char* name;
        const char* type;
        bool landing;
        double vs;     // both samples, ft/min
        double jump;   // feet over the 200-tick leg
        double expectedFpm;
    };
    const Case cases[] = {
        {"a spike 1500 ft up, the feed at -770: level", "A320", false, -770, 1500, 0},
        {"a drop of 1500 ft, the feed at -770: -1270", "A320", false, -770, -1500, -1270},
        {"landing, 250 ft low (-7500 ft/min), the feed at -770: -1270", "A320", true, -770, -250, -1270},
        {"a climb of 3000 ft/min the feed reports: as flown", "A320", false, 3000, 100, 3000},
        {"a light aircraft diving 6000 ft/min: its 2000", "C172", false, -6000, -200, -2000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        trafficTickCount = kNow;
        LiveAc& ac = activeInAir(rig, {lf_air(kHome, 4000, c.vs, kNow), lf_air(offset(kHome, 90, 1500), 4000 + c.jump, c.vs, kNow + 200)},
                                 90, c.type);
        ac.heightAboveGround = 2600;
        ac.landing = c.landing;
        lf_airAltitudeStep(ac, 200);
        EXPECT_NEAR(ac.altitudeStep * 6000.0, c.expectedFpm, 1e-9);
    }
}

// Pitch (negative nose up) goes towards 3 degrees nose up in level flight, 2.2
// degrees more for every 600 ft/min of climb (up to 2400), 1.1 less for every 600
// ft/min of descent (down to 3000): for the vertical speed the aircraft flies,
// which after a climb ends in an extension is level whatever the sample says.
TEST(PitchTarget, FollowsTheVerticalSpeedFlown) {
    struct Case {
        const char* name;
        double startNoseUp;  // degrees
        double climb;        // feet over the 1000-tick leg
        double sampleVs;     // what the second sample says
        double targetNoseUp;
    };
    const Case cases[] = {
        {"level", 0, 0, 0, 3.0},
        {"climbing 1200 ft/min", 0, 200, 1200, 7.4},
        {"climbing 3000 ft/min counts as 2400", 5, 500, 3000, 11.8},
        {"descending 1200 ft/min", 0, -200, -1200, 0.8},
        {"descending 6000 ft/min counts as 3000", 0, -1000, -6000, -2.5},
        {"an extension after a climb flies level", 8, 0, 2000, 3.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        trafficTickCount = kNow;
        LiveAc& ac = activeInAir(rig, {lf_air(kHome, 5000, c.sampleVs, kNow),
                                       lf_air(offset(kHome, 90, 7000), 5000 + c.climb, c.sampleVs, kNow + 1000)},
                                 90);
        ac.heightAboveGround = 5000;
        ac.simPosition.pitch = -c.startNoseUp * kDegToRad;
        lf_airStep(rig.engine, ac);
        // 1000 ticks to the target; none of these needs more than the 0.0075 degrees a tick of a Large.
        EXPECT_NEAR(ac.pitchStep, (c.startNoseUp - c.targetNoseUp) * kDegToRad / 1000.0, 1e-12);
        EXPECT_NEAR(ac.verticalSpeed, c.climb * 6.0, 1e-9);
    }
}

// A right turn banks the aircraft right (negative bank) whether the bank comes from
// the feed's roll (20 degrees right wing down) or from the turn of the next leg.
TEST(BankStep, ARightTurnBanksRightWithAndWithoutTheFeedsRoll) {
    for (const bool feedRoll : {true, false}) {
        SCOPED_TRACE(feedRoll);
        EngineRig rig;
        trafficTickCount = kNow;
        PosSample s1 = lf_air(offset(kHome, 90, 2000), 5000, 0, kNow + 500);
        if (feedRoll) {
            s1.roll = -20.0 * kDegToRad;  // as the feed's line is read: its sign turned
            s1.hasRoll = true;
            s1.heading = 120.0 * kDegToRad;
            s1.hasHeading = true;
            s1.headingFromAdsb = true;
        }
        LiveAc& ac = activeInAir(rig, {lf_air(kHome, 5000, 0, kNow), s1, lf_air(offset(offset(kHome, 90, 2000), 150, 2000), 5000, 0, kNow + 1000)}, 90);
        ac.heightAboveGround = 5000;
        lf_airStep(rig.engine, ac);
        EXPECT_LT(ac.bankStep, 0.0);
        EXPECT_GT(ac.headingStep, 0.0);
        if (feedRoll) {
            EXPECT_NEAR(ac.bankStep, -20.0 * kDegToRad / 500.0, 1e-12);
        }
    }
}

TEST(FinalConfig, ALandingStartsWithin10NmOfTheParkAirportOnly) {
    for (const double nm : {9.0, 11.0}) {
        SCOPED_TRACE(nm);
        EngineRig rig;
        rig.parking.elevation = 1400.0;
        rig.parking.airportPosition = offset(kHome, 90, nm * kMetresPerNm);
        LiveAc& ac = activeInAir(rig, {lf_air(kHome, 3000, -700, kNow), lf_air(offset(kHome, 90, 300), 2990, -700, kNow + 200)}, 90);
        ac.standId = 4;
        ac.maxAdvance = 1000;
        ac.rotationCountdown = 5;
        lf_finalConfig(rig.engine, ac);
        const bool lands = nm < 10.0;
        EXPECT_EQ(ac.landing, lands);
        EXPECT_EQ(rig.engine.arrivalsList.size(), lands ? 1u : 0u);
        if (!lands) {
            EXPECT_TRUE(lf_eventsOf(rig, FLAPS_SET).empty());
            continue;
        }
        EXPECT_EQ(rig.engine.arrivalsList.front(), ac.hexid);
        EXPECT_EQ(lf_eventsOf(rig, THROTTLE_SET), std::vector<std::uint32_t>{4914});
        EXPECT_EQ(lf_eventsOf(rig, FLAPS_SET), std::vector<std::uint32_t>{16383});
        EXPECT_EQ(lf_eventsOf(rig, GEAR_SET), std::vector<std::uint32_t>{1});
        EXPECT_EQ(lf_eventsOf(rig, CABIN_LIGHTS_SET), std::vector<std::uint32_t>{0});
        EXPECT_EQ(ac.standId, 0u);
        EXPECT_EQ(ac.maxAdvance, 3000);
        EXPECT_EQ(ac.maxDelay, 3000);
        EXPECT_EQ(ac.rotationCountdown, 1);
        // It starts once.
        lf_finalConfig(rig.engine, ac);
        EXPECT_EQ(rig.engine.arrivalsList.size(), 1u);
        EXPECT_EQ(lf_eventsOf(rig, GEAR_SET).size(), 1u);
    }
}

TEST(FinalConfig, ALightClimbing700FpmBelow625FtGoesAroundOnce) {
    EngineRig rig;
    trafficTickCount = kNow;
    LiveAc& ac = activeInAir(rig, {lf_air(kHome, 1900, 700, kNow, 80), lf_air(offset(kHome, 90, 300), 1930, 700, kNow + 300, 80),
                                   lf_air(offset(kHome, 90, 600), 1960, 700, kNow + 600, 80),
                                   lf_air(offset(kHome, 90, 900), 1990, 700, kNow + 900, 80)},
                             90, "C172");
    ac.throttleStage = 2;
    ac.flapsStage = 1;
    ac.heightAboveGround = 500;
    for (int step = 0; step < 3; ++step) {
        lf_airStep(rig.engine, ac);
        ac.samples.pop_front();
    }
    EXPECT_TRUE(ac.goAround);
    EXPECT_EQ(lf_eventsOf(rig, THROTTLE_SET), std::vector<std::uint32_t>{16383});
    EXPECT_EQ(lf_eventsOf(rig, GEAR_SET), std::vector<std::uint32_t>{0});
    EXPECT_EQ(lf_eventsOf(rig, FLAPS_SET), std::vector<std::uint32_t>{0});

    // Above 625 ft it is the approach configuration: no go-around.
    EngineRig higher;
    LiveAc& other = activeInAir(higher, {lf_air(kHome, 1900, 700, kNow, 80), lf_air(offset(kHome, 90, 300), 1930, 700, kNow + 300, 80)},
                                90, "C172");
    other.heightAboveGround = 700;
    lf_airStep(higher.engine, other);
    EXPECT_FALSE(other.goAround);
    EXPECT_TRUE(lf_eventsOf(higher, GEAR_SET).empty());
}

TEST(ApproachConfig, FlapsComeOutStepByStepBelow2400FtWhileNotClimbing) {
    struct Case {
        const char* name;
        double agl;
        double vs;
        std::uint32_t flapsBefore;
        std::vector<std::uint32_t> flapsSent;
        std::vector<std::uint32_t> gearSent;
    };
    const Case cases[] = {
        {"2400 ft: gear and flaps up", 2400, -500, 2, {0}, {0}},
        {"2200 ft, flaps up: stage 1", 2200, -500, 0, {3072}, {}},
        {"2200 ft, stage 1 stays", 2200, -500, 1, {}, {}},
        {"created in the air, never sent flaps: stage 1", 2200, -500, kNoFlapsStage, {3072}, {}},
        {"1800 ft, stage 1: stage 2", 1800, -500, 1, {10240}, {}},
        {"1800 ft climbing: nothing", 1800, 300, 1, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        LiveAc& ac = activeInAir(rig, {lf_air(kHome, 4000, c.vs, kNow), lf_air(offset(kHome, 90, 300), 3990, c.vs, kNow + 200)}, 90);
        ac.flapsStage = c.flapsBefore;
        ac.heightAboveGround = c.agl;
        ac.maxAdvance = 3000;
        lf_approachConfig(rig.engine, ac);
        EXPECT_EQ(lf_eventsOf(rig, FLAPS_SET), c.flapsSent);
        EXPECT_EQ(lf_eventsOf(rig, GEAR_SET), c.gearSent);
        EXPECT_EQ(lf_eventsOf(rig, CABIN_LIGHTS_SET), std::vector<std::uint32_t>{1});
        EXPECT_EQ(ac.maxAdvance, 2900);
    }
}

TEST(FlareStep, ThePhasesStepDownOneATickAtCgPlus30_20_10_3Feet) {
    struct Rung {
        double agl;  // reported before the tick
        std::uint32_t phase;
        double step;
        double vs;
    };
    // Static CG 6 ft: the phases begin at 36, 26, 16 and 9 ft.
    const Rung rungs[] = {{37.0, 0, 0.0, -700},      {36.0, 1, -0.1, -601},    {30.0, 1, -0.1, -601},
                          {26.0, 2, -0.075, -450}, {16.0, 3, -0.05, -300},  {10.0, 3, -0.05, -300},
                          {9.0, 4, -0.025, -150}};
    EngineRig rig;
    rig.parking.elevation = 1400.0;
    LiveAc& ac = activeInAir(rig, {lf_air(kHome, 1450, -700, kNow), lf_air(offset(kHome, 90, 300), 1400, -700, kNow + 300)}, 90);
    ac.landing = true;
    ac.staticCgHeight = 6.0;
    ac.throttleStage = 1;
    ac.verticalSpeed = -700;
    ac.samples.front().verticalSpeed = -700;
    for (const Rung& r : rungs) {
        SCOPED_TRACE(r.agl);
        ac.heightAboveGround = r.agl;
        ac.simPosition.altitude = 1400.0 + r.agl;
        lf_flareStep(rig.engine, ac);
        EXPECT_EQ(ac.flarePhase, r.phase);
        EXPECT_DOUBLE_EQ(ac.altitudeStep, r.step);
        EXPECT_DOUBLE_EQ(ac.samples.front().verticalSpeed, r.vs);
    }
    EXPECT_EQ(lf_eventsOf(rig, THROTTLE_SET), std::vector<std::uint32_t>{0});
    EXPECT_NEAR(ac.pitchStep, -4.0 * kDegToRad / ac.flareTicks, 1e-12);

    // Dropped to 2 ft at once, it still takes the phases one a tick.
    EngineRig fast;
    LiveAc& b = activeInAir(fast, {lf_air(kHome, 1450, -700, kNow), lf_air(offset(kHome, 90, 300), 1400, -700, kNow + 300)}, 90);
    b.landing = true;
    b.staticCgHeight = 6.0;
    b.heightAboveGround = 2.0;
    for (std::uint32_t tick = 1; tick <= 5; ++tick) {
        lf_flareStep(fast.engine, b);
        EXPECT_EQ(b.flarePhase, std::min(tick, 4u));
    }
}

TEST(ClimbOutStep, TheAltitudeLadderGearAt300TicksAndFlyingAt800Ft) {
    EngineRig rig;
    trafficTickCount = kNow;
    PosSample s0 = lf_air(kHome, 0, 0, kNow);
    s0.airborne = false;
    LiveAc& ac = activeOnGround(rig, {s0, lf_air(offset(kHome, 90, 3000), 3000, 2000, kNow + 1000, 160)}, 90);
    ac.simPosition.altitude = 1406.0;
    ac.heightAboveGround = 6.0;
    ac.takeOffRun = true;
    ac.altitudeStep = 0.6;
    lf_startTakeOff(rig.engine, ac);
    ASSERT_EQ(ac.moveState, AcMoveState::TakeOff);
    ASSERT_EQ(ac.rotationCountdown, ac.rotationTicks);
    const double rotationPitch = ac.rotationPitch;

    // Rotation: the nose comes up to the rotation pitch in the rotation ticks, on the ground.
    for (std::int32_t i = 1; i < ac.rotationTicks; ++i) lf_climbOutStep(rig.engine, ac);
    EXPECT_EQ(ac.rotationCountdown, 1);
    EXPECT_FALSE(ac.onGround);
    // (the last rotation tick is the first of the climb: one pitch step short of it)
    EXPECT_NEAR(ac.simPosition.pitch, rotationPitch, std::fabs(rotationPitch) / ac.rotationTicks + 1e-9);
    EXPECT_DOUBLE_EQ(ac.simPosition.altitude, 1406.0);

    struct Band {
        std::int32_t lastCountdown;  // the band ends at this countdown
        double share;
    };
    const Band bands[] = {{0, 0.0}, {-99, 0.1}, {-199, 0.2}, {-299, 0.5}};
    for (const Band& b : bands) {
        SCOPED_TRACE(b.lastCountdown);
        while (ac.rotationCountdown > b.lastCountdown) {
            const double before = ac.simPosition.altitude;
            lf_climbOutStep(rig.engine, ac);
            EXPECT_NEAR(ac.simPosition.altitude - before, 0.6 * b.share, 1e-9);
        }
        EXPECT_TRUE(lf_eventsOf(rig, GEAR_SET).empty());
    }
    // At -300: gear up and the full step.
    double before = ac.simPosition.altitude;
    lf_climbOutStep(rig.engine, ac);
    EXPECT_EQ(ac.rotationCountdown, -300);
    EXPECT_NEAR(ac.simPosition.altitude - before, 0.6, 1e-9);
    EXPECT_EQ(lf_eventsOf(rig, GEAR_SET), std::vector<std::uint32_t>{0});
    // Still below 800 ft: climbing on in take_off, at the climb pitch.
    ac.heightAboveGround = 700;
    for (int i = 0; i < 200; ++i) lf_climbOutStep(rig.engine, ac);
    EXPECT_EQ(ac.moveState, AcMoveState::TakeOff);
    EXPECT_NEAR(ac.simPosition.pitch, ac.climbPitch, 1e-9);
    ac.heightAboveGround = 800;
    before = ac.simPosition.altitude;
    lf_climbOutStep(rig.engine, ac);
    EXPECT_EQ(ac.moveState, AcMoveState::Flying);
    EXPECT_EQ(ac.rotationCountdown, 1);
    EXPECT_EQ(ac.throttleStage, 3u);
    EXPECT_EQ(lf_eventsOf(rig, GEAR_SET).size(), 1u);
}

TEST(Rotorcraft, NeverGetsFlapsGearOrSpoilersAndRunsThrottleStage4) {
    EngineRig rig;
    trafficTickCount = kNow;
    rig.parking.elevation = 1400.0;
    rig.parking.airportPosition = kHome;
    PosSample s0 = lf_air(kHome, 0, 0, kNow, 20);
    s0.airborne = false;
    LiveAc& ac = activeOnGround(rig, {s0, lf_air(offset(kHome, 90, 300), 1500, 600, kNow + 500, 40)}, 90,
                                AcMoveState::Taxi, 40001, "EC35");
    ac.throttleStage = 4;
    ac.flapsStage = kNoFlapsStage;
    // Take-off, climb-out, cruise, approach, landing, go-around, flare and touch-and-go.
    lf_prepareTakeOff(rig.engine, ac);
    lf_startTakeOff(rig.engine, ac);
    for (int i = 0; i < 600; ++i) lf_climbOutStep(rig.engine, ac);
    ac.heightAboveGround = 900;
    lf_climbOutStep(rig.engine, ac);
    lf_cruiseConfig(rig.engine, ac);
    ac.heightAboveGround = 2200;
    ac.samples.front().verticalSpeed = -500;
    lf_approachConfig(rig.engine, ac);
    ac.heightAboveGround = 500;
    lf_finalConfig(rig.engine, ac);
    EXPECT_TRUE(ac.landing);
    ac.samples.front().verticalSpeed = 900;
    lf_finalConfig(rig.engine, ac);
    EXPECT_TRUE(ac.goAround);
    ac.landing = true;
    ac.heightAboveGround = 5;
    for (int i = 0; i < 5; ++i) lf_flareStep(rig.engine, ac);
    ac.rollingOut = true;
    ac.takeOffRun = false;
    lf_startTakeOff(rig.engine, ac);

    EXPECT_TRUE(lf_eventsOf(rig, FLAPS_SET).empty());
    EXPECT_TRUE(lf_eventsOf(rig, GEAR_SET).empty());
    EXPECT_TRUE(lf_eventsOf(rig, SPOILERS_SET).empty());
    EXPECT_TRUE(lf_eventsOf(rig, THROTTLE_SET).empty());  // it ran at stage 4 throughout
    EXPECT_EQ(ac.throttleStage, 4u);
}

TEST(TakeOffChecks, SpeedAndAirborneOfEverySampleAfterTheFirst) {
    EngineRig rig;
    PosSample slow = lf_air(kHome, 0, 0, kNow, 100);
    slow.airborne = false;
    PosSample fast = lf_air(offset(kHome, 90, 300), 0, 0, kNow + 100, 145);
    fast.airborne = false;
    const PosSample up = lf_air(offset(kHome, 90, 600), 300, 1500, kNow + 200, 150);
    LiveAc& ac = activeOnGround(rig, {slow, fast, up}, 90);
    EXPECT_TRUE(lf_takeOffSpeedReached(ac));  // Large: 140 kt, the first does not count
    EXPECT_FALSE(lf_allAirborneAhead(ac));
    ac.samples.erase(ac.samples.begin() + 1);
    EXPECT_TRUE(lf_allAirborneAhead(ac));
    ac.samples.resize(1);
    EXPECT_TRUE(lf_takeOffSpeedReached(ac));
    EXPECT_TRUE(lf_allAirborneAhead(ac));
    EXPECT_THROW(gf_categoryTakeOffSpeed(static_cast<AcCategory>(6)), std::out_of_range);
}

}  // namespace
}  // namespace clv::test
