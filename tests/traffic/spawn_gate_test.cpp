// The spawn gate, one row per step, and the spawn itself: livery, phase, first
// simulator position and heading.
#include <gtest/gtest.h>

#include <functional>

#include "core/geodesy.h"
#include "traffic_harness.h"

namespace clv::test {
namespace {

constexpr std::uint32_t kGateHexid = 30001;
constexpr std::uint32_t kGateNow = 1000;

enum class Outcome { Waits, Erased, OldestDropped, Spawned };

const char* outcomeName(Outcome o) {
    switch (o) {
        case Outcome::Waits: return "waits";
        case Outcome::Erased: return "erased";
        case Outcome::OldestDropped: return "oldest dropped";
        case Outcome::Spawned: return "spawned";
    }
    return "?";
}

// A position `nm` nautical miles from (lat, lon) along `bearingDeg`.
LatLon gateOffset(double lat, double lon, double bearingDeg, double nm) {
    return gf_destination(LatLon{lat, lon}, bearingDeg * kDegToRad, nm * kFeetPerNm);
}

// The standard candidate: DLH123, an A320 at 20000 ft flying east, two samples,
// the oldest due 50 ticks from now.
LiveAc& candidate(EngineRig& rig, const std::string& callsign = "DLH123", const std::string& type = "A320") {
    return rig.addLive(
        kGateHexid, callsign, type,
        {airSample(50.0, 8.0, 20000, 300, 90, kGateNow + 50), airSample(50.0, 8.05, 20000, 300, 90, kGateNow + 250)});
}

// Puts the candidate's samples at a position relative to the user aircraft.
void placeSamples(LiveAc& ac, LatLon first, LatLon second, double altitude, double groundSpeed, double track) {
    ac.samples[0] = altitude > 0 ? airSample(first.lat, first.lon, altitude, groundSpeed, track, kGateNow + 50)
                                 : groundSample(first.lat, first.lon, groundSpeed, track, kGateNow + 50);
    ac.samples[1] = altitude > 0 ? airSample(second.lat, second.lon, altitude, groundSpeed, track, kGateNow + 250)
                                 : groundSample(second.lat, second.lon, groundSpeed, track, kGateNow + 250);
}

void gateUserAt(EngineRig& rig, double lat, double lon, double altitude, double agl, double headingDeg, bool onGround,
            double groundSpeed = 0.0) {
    UserAcData& u = rig.engine.userAcData;
    u.latitude = lat;
    u.longitude = lon;
    u.altitude = altitude;
    u.altAboveGround = agl;
    u.trueHeading = headingDeg * kDegToRad;
    u.groundVelocity = groundSpeed;
    rig.sim.userOnGroundValue = onGround;
}

// An active aircraft at a distance from the user aircraft, which is put at 10/10.
void activeAt(EngineRig& rig, std::uint32_t hexid, double nm, std::uint32_t objectId) {
    rig.engine.userAcData.latitude = rig.sim.user.latitude = 10.0;
    rig.engine.userAcData.longitude = rig.sim.user.longitude = 10.0;
    const LatLon p = gateOffset(10.0, 10.0, 0.0, nm);
    LiveAc& a = rig.addLive(hexid, fmt::format("ACT{}", hexid), "A320",
                            {airSample(p.lat, p.lon, 20000, 300, 90, 99999)}, AcSimState::Active);
    a.objectId = objectId;
    a.simPosition.latitude = p.lat;
    a.simPosition.longitude = p.lon;
}

struct GateRow {
    const char* name;
    std::function<void(EngineRig&)> setup;
    Outcome expected;
    std::function<void(EngineRig&)> check = nullptr;
};

Outcome runGate(EngineRig& rig) {
    LiveAc& ac = *rig.live(kGateHexid);
    const std::size_t before = ac.samples.size();
    lf_spawnGate(rig.engine, ac);
    if (ac.eraseFromBuffer) return Outcome::Erased;
    if (ac.simState == AcSimState::Adding2Sim) return Outcome::Spawned;
    if (ac.samples.size() + 1 == before) return Outcome::OldestDropped;
    return Outcome::Waits;
}

TEST(SpawnGate, OneRowPerStep) {
    const GateRow rows[] = {
        // 1-3: samples and timing.
        {"no samples", [](EngineRig& r) { candidate(r).samples.clear(); }, Outcome::Erased},
        {"101 ticks before due",
         [](EngineRig& r) {
             candidate(r);
             trafficTickCount = kGateNow - 51;
         },
         Outcome::Waits},
        {"100 ticks before due",
         [](EngineRig& r) {
             candidate(r);
             trafficTickCount = kGateNow - 50;
         },
         Outcome::Spawned},
        {"rolling on the ground, 301 ticks before due",
         [](EngineRig& r) {
             placeSamples(candidate(r), {50, 8}, {50, 8.001}, 0, 12, 90);
             trafficTickCount = kGateNow - 251;
         },
         Outcome::Waits},
        {"rolling on the ground, 300 ticks before due",
         [](EngineRig& r) {
             placeSamples(candidate(r), {50, 8}, {50, 8.001}, 0, 12, 90);
             trafficTickCount = kGateNow - 250;
         },
         Outcome::Spawned},
        {"standing on the ground, 101 ticks before due",
         [](EngineRig& r) {
             placeSamples(candidate(r), {50, 8}, {50, 8}, 0, 0, 90);
             trafficTickCount = kGateNow - 51;
         },
         Outcome::Waits},
        {"one sample", [](EngineRig& r) { candidate(r).samples.pop_back(); }, Outcome::Erased},
        // 4-5: blocked ghosts and mixed phases.
        {"blocked ghost",
         [](EngineRig& r) {
             candidate(r, "DLH123_");
             r.engine.blockedCallsigns.push_back("DLH123_");
         },
         Outcome::Erased},
        {"blocked list holds the callsign without \"_\"",
         [](EngineRig& r) {
             candidate(r);
             r.engine.blockedCallsigns.push_back("DLH123");
         },
         Outcome::Spawned},
        {"airborne and ground samples mixed",
         [](EngineRig& r) { candidate(r).samples[1] = groundSample(50, 8.05, 20, 90, kGateNow + 250); },
         Outcome::OldestDropped},
        // 6: the user aircraft on the ground.
        {"user on the ground, aircraft 100 m away",
         [](EngineRig& r) {
             gateUserAt(r, 50, 8, 0, 0, 0, true);
             const LatLon p = gateOffset(50, 8, 45, 100.0 / kMetresPerNm);
             placeSamples(candidate(r), p, p, 0, 0, 90);
         },
         Outcome::OldestDropped},
        {"user on the ground, aircraft 200 m away",
         [](EngineRig& r) {
             gateUserAt(r, 50, 8, 0, 0, 0, true);
             const LatLon p = gateOffset(50, 8, 45, 200.0 / kMetresPerNm);
             placeSamples(candidate(r), p, p, 0, 0, 90);
         },
         Outcome::Spawned},
        {"user on the ground, aircraft 100 m away, COLLISION_USER_GND off",
         [](EngineRig& r) {
             COLLISION_USER_GND.value = false;
             gateUserAt(r, 50, 8, 0, 0, 0, true);
             const LatLon p = gateOffset(50, 8, 45, 100.0 / kMetresPerNm);
             placeSamples(candidate(r), p, p, 0, 0, 90);
         },
         Outcome::Spawned},
        {"user on the ground, airborne aircraft overhead",
         [](EngineRig& r) {
             gateUserAt(r, 50, 8.02, 0, 0, 0, true);
             candidate(r);
         },
         Outcome::Spawned},
        {"marked, user rolling at 10 kt",
         [](EngineRig& r) {
             gateUserAt(r, 40, 8, 0, 0, 0, true, 10);
             candidate(r).proximityMark = true;
         },
         Outcome::OldestDropped},
        {"marked, standing 400 m from the user",
         [](EngineRig& r) {
             gateUserAt(r, 50, 8, 0, 0, 0, true);
             const LatLon p = gateOffset(50, 8, 90, 400.0 / kMetresPerNm);
             LiveAc& a = candidate(r);
             placeSamples(a, p, p, 0, 0, 90);
             a.proximityMark = true;
         },
         Outcome::OldestDropped},
        {"marked, standing 600 m from the user",
         [](EngineRig& r) {
             gateUserAt(r, 50, 8, 0, 0, 0, true);
             const LatLon p = gateOffset(50, 8, 90, 600.0 / kMetresPerNm);
             LiveAc& a = candidate(r);
             placeSamples(a, p, p, 0, 0, 90);
             a.proximityMark = true;
         },
         Outcome::Spawned, [](EngineRig& r) { EXPECT_FALSE(r.live(kGateHexid)->proximityMark); }},
        // 6: the user aircraft in the air. The candidate was never in the
        // simulator, so its course and position come from its oldest sample.
        {"user airborne, never-spawned aircraft 3 nm west flying straight at the user",
         [](EngineRig& r) {
             gateUserAt(r, 50, 8, 20500, 20500, 0, false);
             placeSamples(candidate(r), gateOffset(50, 8, 270, 3), gateOffset(50, 8, 270, 2.9), 20000, 300, 90);
         },
         Outcome::OldestDropped, [](EngineRig& r) { EXPECT_TRUE(r.live(kGateHexid)->proximityMark); }},
        {"user airborne, aircraft 3 nm west flying north",
         [](EngineRig& r) {
             gateUserAt(r, 50, 8, 20500, 20500, 0, false);
             const LatLon p = gateOffset(50, 8, 270, 3);
             placeSamples(candidate(r), p, gateOffset(p.lat, p.lon, 0, 0.1), 20000, 300, 0);
         },
         Outcome::Spawned},
        {"user airborne, aircraft flying at the user 3000 ft below",
         [](EngineRig& r) {
             gateUserAt(r, 50, 8, 23000, 23000, 0, false);
             placeSamples(candidate(r), gateOffset(50, 8, 270, 3), gateOffset(50, 8, 270, 2.9), 20000, 300, 90);
         },
         Outcome::Spawned},
        {"user airborne, aircraft flying at the user from 6.5 nm",
         [](EngineRig& r) {
             gateUserAt(r, 50, 8, 20000, 20000, 0, false);
             placeSamples(candidate(r), gateOffset(50, 8, 270, 6.5), gateOffset(50, 8, 270, 6.4), 20000, 300, 90);
         },
         Outcome::Spawned},
        {"COLLISION_USER_AIR off",
         [](EngineRig& r) {
             COLLISION_USER_AIR.value = false;
             gateUserAt(r, 50, 8, 20500, 20500, 0, false);
             placeSamples(candidate(r), gateOffset(50, 8, 270, 3), gateOffset(50, 8, 270, 2.9), 20000, 300, 90);
         },
         Outcome::Spawned},
        {"user on final, never-spawned aircraft on the runway 1 nm ahead",
         [](EngineRig& r) {
             gateUserAt(r, 50, 8, 800, 800, 90, false);
             const LatLon p = gateOffset(50, 8, 90, 1.0);
             placeSamples(candidate(r), p, p, 0, 0, 90);
         },
         Outcome::OldestDropped, [](EngineRig& r) { EXPECT_TRUE(r.live(kGateHexid)->proximityMark); }},
        {"user 1500 ft above ground, aircraft on the ground 1 nm ahead",
         [](EngineRig& r) {
             gateUserAt(r, 50, 8, 1500, 1500, 90, false);
             const LatLon p = gateOffset(50, 8, 90, 1.0);
             placeSamples(candidate(r), p, p, 0, 0, 90);
         },
         Outcome::Spawned},
        {"user on final, aircraft on the ground 1 nm off to the side",
         [](EngineRig& r) {
             gateUserAt(r, 50, 8, 800, 800, 90, false);
             const LatLon p = gateOffset(50, 8, 0, 1.0);
             placeSamples(candidate(r), p, p, 0, 0, 90);
         },
         Outcome::Spawned},
        {"user airborne, marked aircraft on the ground",
         [](EngineRig& r) {
             placeSamples(candidate(r), {50, 8}, {50, 8}, 0, 0, 90);
             r.live(kGateHexid)->proximityMark = true;
         },
         Outcome::OldestDropped},
        // 7: a long creation queue holds back new aircraft.
        {"11 live creations queued",
         [](EngineRig& r) {
             candidate(r);
             r.engine.liveCreationQueue.resize(11);
         },
         Outcome::OldestDropped},
        {"10 live creations queued",
         [](EngineRig& r) {
             candidate(r);
             r.engine.liveCreationQueue.resize(10);
         },
         Outcome::Spawned},
        // 8: MAX_LIVE.
        {"MAX_LIVE 0 without any active aircraft",
         [](EngineRig& r) {
             MAX_LIVE.value = 0;
             candidate(r);
         },
         Outcome::Erased},
        {"MAX_LIVE 1, the active one 0.1 nm farther at most",
         [](EngineRig& r) {
             MAX_LIVE.value = 1;
             activeAt(r, 40001, 10.05, 501);
             LiveAc& a = candidate(r);
             placeSamples(a, gateOffset(10, 10, 180, 10), gateOffset(10, 10, 180, 9.9), 20000, 300, 0);
         },
         Outcome::Erased, [](EngineRig& r) { EXPECT_EQ(r.live(40001)->simState, AcSimState::Active); }},
        {"MAX_LIVE 1, the active one farther: it is replaced",
         [](EngineRig& r) {
             MAX_LIVE.value = 1;
             activeAt(r, 40001, 10.2, 501);
             LiveAc& a = candidate(r);
             placeSamples(a, gateOffset(10, 10, 180, 10), gateOffset(10, 10, 180, 9.9), 20000, 300, 0);
         },
         Outcome::Spawned,
         [](EngineRig& r) {
             EXPECT_EQ(r.live(40001)->simState, AcSimState::RemovingFromSim);
             EXPECT_EQ(r.engine.removalQueue, std::deque<std::uint32_t>{501});
         }},
        {"MAX_LIVE 2 with one active and one spawned waiting",
         [](EngineRig& r) {
             MAX_LIVE.value = 2;
             activeAt(r, 40001, 1.0, 501);
             r.engine.hexidQueue.push_back(40002);
             candidate(r);
         },
         Outcome::Erased},
        // 9: BLOCK_CALLSIGN.
        {"BLOCK_CALLSIGN names it",
         [](EngineRig& r) {
             BLOCK_CALLSIGN.value = "DLH123";
             candidate(r);
         },
         Outcome::Erased},
        // 10-12: identity from the registration data.
        {"registration with an operator", [](EngineRig& r) { candidate(r, "DLH123", "B738").registration = "D-AIXX"; },
         Outcome::Spawned,
         [](EngineRig& r) {
             const LiveAc& a = *r.live(kGateHexid);
             EXPECT_EQ(a.airline, "CLH");
             EXPECT_EQ(a.type, "A320");
             EXPECT_EQ(a.liveryTitle, "Lufthansa CityLine A320");
         }},
        {"registration of a cargo aircraft of another type",
         [](EngineRig& r) { candidate(r, "AAL100", "A320").registration = "N738AA"; }, Outcome::Spawned,
         [](EngineRig& r) {
             const LiveAc& a = *r.live(kGateHexid);
             EXPECT_EQ(a.airline, "AAL");
             EXPECT_EQ(a.type, "B738");
             EXPECT_TRUE(a.cargo);
             EXPECT_EQ(a.liveryTitle, "American B738");
         }},
        {"callsign of 9 characters without a registration", [](EngineRig& r) { candidate(r, "DLH123456"); },
         Outcome::Erased},
        {"callsign of 9 characters with a registration",
         [](EngineRig& r) { candidate(r, "DLH123456").registration = "D-AIAB"; }, Outcome::Spawned,
         [](EngineRig& r) { EXPECT_EQ(r.live(kGateHexid)->callsign, "D-AIAB"); }},
        {"callsign \"@@@@@@@@\"", [](EngineRig& r) { candidate(r, "@@@@@@@@"); }, Outcome::Erased},
        {"no airline and none in the callsign", [](EngineRig& r) { candidate(r, "N172SP", "C172"); }, Outcome::Spawned,
         [](EngineRig& r) {
             EXPECT_EQ(r.live(kGateHexid)->airline, "PVT");
             EXPECT_EQ(r.live(kGateHexid)->liveryTitle, "Cessna 172 white");
         }},
        // 13: an unmatched registration key is not tried again.
        {"registration key in the unmatched set",
         [](EngineRig& r) {
             candidate(r).registration = "D-ABCD";
             r.engine.unmatchedSet.insert(AcIdentity::airlTypeKey("DLH", "A320") + " D-ABCD");
         },
         Outcome::Erased},
        // 14: the ghost of a live aircraft.
        {"ghost of a live aircraft",
         [](EngineRig& r) {
             activeAt(r, 40001, 30, 501);
             r.live(40001)->callsign = "DLH123";
             candidate(r, "DLH123_");
         },
         Outcome::Erased},
        // 15: spawn without a livery.
        {"no livery for its type, with a registration",
         [](EngineRig& r) {
             r.data.types["A388"] = {AcCategory::Heavy, 0.0215};
             candidate(r, "UAE1", "A388").registration = "A6-EDA";
         },
         Outcome::Erased,
         [](EngineRig& r) {
             EXPECT_TRUE(r.engine.unmatchedSet.contains(AcIdentity::airlTypeKey("UAE", "A388") + " A6-EDA"));
         }},
        {"no livery for its type, without a registration",
         [](EngineRig& r) {
             r.data.types["A388"] = {AcCategory::Heavy, 0.0215};
             candidate(r, "UAE1", "A388");
         },
         Outcome::Erased, [](EngineRig& r) { EXPECT_TRUE(r.engine.unmatchedSet.empty()); }},
    };
    for (const GateRow& row : rows) {
        SCOPED_TRACE(row.name);
        EngineRig rig;
        trafficTickCount = kGateNow;
        row.setup(rig);
        const Outcome got = runGate(rig);
        EXPECT_EQ(got, row.expected) << outcomeName(got) << " instead of " << outcomeName(row.expected);
        if (row.check) row.check(rig);
    }
}

TEST(SpawnGate, MixedPhasesLoseOneOldestSamplePerTick) {
    EngineRig rig;
    trafficTickCount = kGateNow;
    rig.addLive(kGateHexid, "DLH123", "A320",
                {airSample(50, 8, 1500, 140, 90, kGateNow + 50), airSample(50, 8.01, 500, 140, 90, kGateNow + 60),
                 groundSample(50, 8.02, 130, 90, kGateNow + 400), groundSample(50, 8.03, 100, 90, kGateNow + 650)});
    rig.tick();
    EXPECT_EQ(rig.live(kGateHexid)->samples.size(), 3u);
    rig.tick();
    EXPECT_EQ(rig.live(kGateHexid)->samples.size(), 2u);
    // Two ground samples now, the oldest rolling and due at kGateNow + 400: the gate
    // waits until 300 ticks before it, then spawns a taxiing aircraft.
    EXPECT_TRUE(rig.runUntil([&] { return rig.live(kGateHexid)->simState == AcSimState::Adding2Sim; }, 200));
    EXPECT_EQ(trafficTickCount.load(), kGateNow + 400 - 300 + 1);
    EXPECT_EQ(rig.live(kGateHexid)->samples.size(), 2u);
    EXPECT_EQ(rig.live(kGateHexid)->moveState, AcMoveState::Taxi);
}

// ---- the spawn ----------------------------------------------------------------------------

LiveAc& spawnWith(EngineRig& rig, PosSample s0, PosSample s1) {
    LiveAc& ac = rig.addLive(kGateHexid, "DLH123", "A320", {s0, s1});
    spawnLiveAc(rig.engine, ac);
    return ac;
}

TEST(Spawn, FirstPitchFollowsTheClimb) {
    struct Row {
        double altitude;
        double verticalSpeed;
        double pitchDegrees;
    };
    // Ground 0.6 deg; airborne -3 deg less 2.2 deg per 600 ft/min of climb, climbs
    // counted up to 2400 ft/min, descents down to -3000 ft/min and then halved.
    const Row rows[] = {{0, 0, 0.6},         {5000, 0, -3.0},     {5000, 1200, -7.4},
                        {5000, 3000, -11.8}, {5000, -1200, -0.8}, {5000, -4000, 2.5}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.verticalSpeed);
        EngineRig rig;
        PosSample s0 = airSample(50, 8, row.altitude, 200, 0, 100);
        s0.verticalSpeed = row.verticalSpeed;
        PosSample s1 = airSample(50.1, 8, row.altitude, 200, 0, 300);
        const LiveAc& ac = spawnWith(rig, s0, s1);
        EXPECT_NEAR(ac.simPosition.pitch, row.pitchDegrees * kDegToRad, 1e-12);
        EXPECT_DOUBLE_EQ(ac.simPosition.verticalSpeed, row.verticalSpeed);
        EXPECT_DOUBLE_EQ(ac.simPosition.altitude, row.altitude);
    }
}

TEST(Spawn, FirstHeading) {
    EngineRig rig;
    {
        // Towards the second sample, due north.
        const LiveAc& ac = spawnWith(rig, airSample(50, 8, 5000, 200, 45, 100), airSample(50.1, 8, 5000, 200, 45, 300));
        EXPECT_NEAR(ac.simPosition.trueHeading, 0.0, 1e-9);
        EXPECT_DOUBLE_EQ(ac.targetHeading, 0.0);  // in the air
    }
    {
        EngineRig r;
        // Due south, on the ground: the course takes it.
        const LiveAc& ac = spawnWith(r, groundSample(50.1, 8, 10, 45, 100), groundSample(50, 8, 10, 45, 300));
        EXPECT_NEAR(ac.simPosition.trueHeading, kPi, 1e-9);
        EXPECT_NEAR(ac.targetHeading, kPi, 1e-9);
        EXPECT_NEAR(ac.simPosition.pitch, 0.010471975511965976, 1e-15);
    }
    {
        EngineRig r;
        // The second sample holds: the oldest sample's track; both stand still.
        PosSample s1 = groundSample(50, 8, 10, 0, 300);
        s1.holdMark = true;
        const LiveAc& ac = spawnWith(r, groundSample(50, 8, 10, 270, 100), s1);
        EXPECT_NEAR(ac.simPosition.trueHeading, 1.5 * kPi, 1e-12);
        EXPECT_TRUE(ac.samples[0].holdMark);
        EXPECT_DOUBLE_EQ(ac.samples[0].groundSpeed, 0.0);
        EXPECT_DOUBLE_EQ(ac.samples[1].groundSpeed, 0.0);
    }
    {
        EngineRig r;
        // A heading override after a livery respawn, folded into 0..2 pi.
        LiveAc& ac = r.addLive(kGateHexid, "DLH123", "A320",
                               {airSample(50, 8, 5000, 200, 45, 100), airSample(50.1, 8, 5000, 200, 45, 300)});
        ac.hasHeadingOverride = true;
        ac.headingOverride = -0.5;
        spawnLiveAc(r.engine, ac);
        EXPECT_NEAR(ac.simPosition.trueHeading, kTwoPi - 0.5, 1e-12);
    }
}

TEST(Spawn, QueuesTheHexidAndRemovesItsGhost) {
    EngineRig rig;
    LiveAc& ghost = rig.addLive(40001, "DLH123_", "A320", {airSample(51, 8, 5000, 200, 45, 99999)}, AcSimState::Active);
    ghost.objectId = 777;
    PosSample s0 = airSample(50, 8, 5000, 200, 45, 100);
    s0.roll = 0.1;
    s0.hasRoll = true;
    LiveAc& ac = rig.addLive(kGateHexid, "DLH123", "A320", {s0, airSample(50.1, 8, 5000, 200, 45, 300)});
    ac.proximityMark = true;
    spawnLiveAc(rig.engine, ac);
    const LiveAc& spawned = *rig.live(kGateHexid);
    EXPECT_EQ(spawned.simState, AcSimState::Adding2Sim);
    EXPECT_EQ(spawned.moveState, AcMoveState::Flying);
    EXPECT_FALSE(spawned.proximityMark);
    EXPECT_DOUBLE_EQ(spawned.simPosition.bank, 0.1);
    EXPECT_EQ(rig.engine.hexidQueue, std::vector<std::uint32_t>{kGateHexid});
    EXPECT_EQ(rig.engine.spawnedList, std::deque<std::uint32_t>{kGateHexid});
    EXPECT_EQ(rig.live(40001)->simState, AcSimState::RemovingFromSim);
    EXPECT_EQ(rig.engine.blockedCallsigns, std::vector<std::string>{"DLH123_"});
}

TEST(Spawn, StandPlacementDecidesThePhaseOnTheGround) {
    struct Row {
        StandPlacement placement;
        AcMoveState moveState;
        bool erased;
        std::size_t samplesLeft;
    };
    const Row rows[] = {{StandPlacement::NotPlaced, AcMoveState::Taxi, false, 2},
                        {StandPlacement::Placed, AcMoveState::Parked, false, 1},
                        {StandPlacement::Wait, AcMoveState::Birth, false, 1},
                        {StandPlacement::Refused, AcMoveState::Birth, true, 2}};
    for (const Row& row : rows) {
        EngineRig rig;
        rig.parking.placement = row.placement;
        rig.parking.placementStand = 7;
        const LiveAc& ac = spawnWith(rig, groundSample(50, 8, 0, 45, 100), groundSample(50, 8, 0, 45, 300));
        EXPECT_EQ(ac.moveState, row.moveState);
        EXPECT_EQ(ac.eraseFromBuffer, row.erased);
        EXPECT_EQ(ac.samples.size(), row.samplesLeft);
        const bool spawned = row.placement == StandPlacement::NotPlaced || row.placement == StandPlacement::Placed;
        EXPECT_EQ(ac.simState, spawned ? AcSimState::Adding2Sim : AcSimState::Buffer);
        if (row.placement == StandPlacement::Placed) {
            EXPECT_DOUBLE_EQ(ac.simPosition.trueHeading, 1.0);
        }
    }
}

TEST(ChooseLivery, KeepsRemembersAndSkipsRefusedTitles) {
    EngineRig rig;
    LiveAc& ac = rig.addLive(kGateHexid, "DLH123", "A320", {airSample(50, 8, 5000, 200, 45, 100)});
    ac.airline = "DLH";

    EXPECT_TRUE(lf_chooseLivery(rig.engine, ac));
    EXPECT_EQ(ac.liveryTitle, "Lufthansa A320");
    EXPECT_EQ(rig.engine.liveryMemory.at(kGateHexid), "Lufthansa A320");
    EXPECT_EQ(rig.data.matchCalls, 1);

    // A title already set is kept without matching.
    EXPECT_TRUE(lf_chooseLivery(rig.engine, ac));
    EXPECT_EQ(rig.data.matchCalls, 1);

    // The remembered title comes back without matching.
    ac.liveryTitle = {};
    EXPECT_TRUE(lf_chooseLivery(rig.engine, ac));
    EXPECT_EQ(ac.liveryTitle, "Lufthansa A320");
    EXPECT_EQ(rig.data.matchCalls, 1);

    // A remembered title the simulator refused is forgotten and matched anew.
    ac.liveryTitle = {};
    rig.data.excluded.insert("Lufthansa A320");
    EXPECT_TRUE(lf_chooseLivery(rig.engine, ac));
    EXPECT_EQ(ac.liveryTitle, "Lufthansa A320 Star Alliance");
    EXPECT_EQ(rig.engine.liveryMemory.at(kGateHexid), "Lufthansa A320 Star Alliance");

    // Nothing left to match.
    ac.liveryTitle = {};
    for (const auto& livery : rig.data.liveries) rig.data.excluded.insert(livery.title);
    EXPECT_FALSE(lf_chooseLivery(rig.engine, ac));
    EXPECT_FALSE(rig.engine.liveryMemory.contains(kGateHexid));
}

}  // namespace
}  // namespace clv::test
