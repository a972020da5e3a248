// Collision avoidance: live aircraft in the user aircraft's way, static aircraft
// under a live one, and the neighbours of a stand.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "core/geodesy.h"
#include "traffic_harness.h"

namespace clv::test {
namespace {

constexpr double kUserLat = 47.0;
constexpr double kUserLon = 8.0;
constexpr double kFtPerNm = 6076.11549;
constexpr double kA320Radius = 0.0097;  // the standard table's

// A point `northNm` north and `eastFt` east of the user (flat earth: a few nm).
LatLon avoidanceOffset(double northNm, double eastFt) {
    const double lat = kUserLat + northNm / 60.0;
    const double lon = kUserLon + eastFt / kFtPerNm / 60.0 / std::cos(kUserLat * kDegToRad);
    return LatLon{lat, lon};
}

LiveAc& activeLive(EngineRig& rig, std::uint32_t hexid, LatLon at, bool onGround, double altitude = 0.0,
                   double headingDeg = 0.0, const std::string& callsign = "DLH1") {
    LiveAc& ac = rig.addLive(hexid, callsign, "A320", {groundSample(at.lat, at.lon, 0, 0, 0)}, AcSimState::Active);
    ac.objectId = hexid - 40000 + 300;
    ac.onGround = onGround;
    ac.simPosition.latitude = at.lat;
    ac.simPosition.longitude = at.lon;
    ac.simPosition.altitude = altitude;
    ac.simPosition.trueHeading = headingDeg * kDegToRad;
    return ac;
}

StaticAc& staticAt(EngineRig& rig, std::uint32_t hexid, LatLon at, AcSimState state) {
    AcIdentity id;
    id.callsign = "S" + std::to_string(hexid);
    id.type = "A320";
    AcData d = rig.data.acData(id);
    d.hexid = hexid;
    StaticAc& s = rig.engine.staticAc.emplace_back(std::move(d), hexid, at.lat, at.lon, 0.0, false);
    s.simState = state;
    s.objectId = 600 + hexid;
    return s;
}

void userAt(EngineRig& rig, double altitude, double agl) {
    rig.engine.userAcData.latitude = kUserLat;
    rig.engine.userAcData.longitude = kUserLon;
    rig.engine.userAcData.trueHeading = 0.0;  // north
    rig.engine.userAcData.altitude = altitude;
    rig.engine.userAcData.altAboveGround = agl;
}

TEST(UserCollision, TaxiingAircraftOnTheLineOfTheDescendingUser) {
    struct Row {
        double northNm;
        double abeamFt;
        double userAgl;
        bool removed;
    };
    const Row rows[] = {
        {0.8, 30.0, 400.0, true},    // 30 ft abeam, 0.8 nm ahead
        {1.2, 30.0, 400.0, false},   // beyond 1 nm
        {-0.8, 30.0, 400.0, true},   // behind counts too
        {0.8, 70.0, 400.0, false},   // wide of the line
        {0.8, 30.0, 600.0, false},   // the user is still high
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.northNm << " nm, " << row.abeamFt << " ft, " << row.userAgl);
        EngineRig rig;
        userAt(rig, 1400.0, row.userAgl);
        LiveAc& ac = activeLive(rig, 40001, avoidanceOffset(row.northNm, row.abeamFt), true, 1000.0);
        EXPECT_EQ(gf_avoidUserCollision(rig.engine, ac), row.removed);
        EXPECT_EQ(ac.simState, row.removed ? AcSimState::RemovingFromSim : AcSimState::Active);
    }
}

TEST(UserCollision, AirborneAircraftWhoseTrackPassesTheUser) {
    struct Row {
        double aboveFt;
        double passFt;
        bool removed;
    };
    const Row rows[] = {
        {800.0, 500.0, true},
        {1200.0, 500.0, false},  // outside the height band
        {-800.0, 500.0, true},
        {800.0, 800.0, false},   // passes too wide
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.aboveFt << " ft above, pass " << row.passFt);
        EngineRig rig;
        userAt(rig, 5000.0, 4000.0);
        // 3 nm north, heading south a little off the user: the track passes passFt away.
        const double offLine = std::asin(row.passFt / (3.0 * kFtPerNm)) * kRadToDeg;
        LiveAc& ac = activeLive(rig, 40001, avoidanceOffset(3.0, 0.0), false, 5000.0 + row.aboveFt, 180.0 + offLine);
        EXPECT_EQ(gf_avoidUserCollision(rig.engine, ac), row.removed);
    }
}

// The latitude north of the user farthest from it that `distance` still finds
// within `nm`: the next representable latitude lies beyond.
double northEdge(double nm, const std::function<double(LatLon)>& distance) {
    double lat = kUserLat + nm / 60.0;
    while (distance(LatLon{lat, kUserLon}) > nm) lat = std::nextafter(lat, -90.0);
    while (distance(LatLon{std::nextafter(lat, 90.0), kUserLon}) <= nm) lat = std::nextafter(lat, 90.0);
    return lat;
}

// The edges of the user's way: a taxiing aircraft 0.8 nm ahead is in it up to
// 50 ft abeam of the line of the user's heading (the edge found by halving the
// avoidanceOffset down to adjacent doubles); an aircraft in the air heading straight at
// the user is in it up to 4.0 nm away, and not one representable latitude beyond.
TEST(UserCollision, TheWayEndsAt50FtAbeamOnTheGroundAnd4NmInTheAir) {
    EngineRig rig;
    userAt(rig, 1400.0, 400.0);
    LiveAc& taxiing = activeLive(rig, 40001, avoidanceOffset(0.8, 0.0), true, 1400.0);
    const auto inTheWay = [&](double abeamFt) {
        const LatLon at = avoidanceOffset(0.8, abeamFt);
        taxiing.simState = AcSimState::Active;
        taxiing.simPosition.latitude = at.lat;
        taxiing.simPosition.longitude = at.lon;
        return gf_avoidUserCollision(rig.engine, taxiing);
    };
    double in = 0.0;
    double out = 100.0;
    ASSERT_TRUE(inTheWay(in));
    ASSERT_FALSE(inTheWay(out));
    for (double mid = in + (out - in) / 2; mid != in && mid != out; mid = in + (out - in) / 2) {
        (inTheWay(mid) ? in : out) = mid;
    }
    EXPECT_NEAR(in, 50.0, 0.5) << "the edge of the line on the ground";

    EngineRig air;
    userAt(air, 5000.0, 4000.0);
    const LatLon user{kUserLat, kUserLon};
    const double edge = northEdge(4.0, [&](LatLon p) { return gf_distanceNm(user, p); });
    struct Row {
        double lat;
        bool removed;
    };
    for (const Row& row : {Row{edge, true}, Row{std::nextafter(edge, 90.0), false}}) {
        SCOPED_TRACE(::testing::Message() << gf_distanceNm(user, LatLon{row.lat, kUserLon}) << " nm");
        LiveAc& ac = activeLive(air, 40002, LatLon{row.lat, kUserLon}, false, 5000.0, 180.0);
        EXPECT_EQ(gf_avoidUserCollision(air.engine, ac), row.removed);
        air.engine.liveAc.clear();
    }
}

TEST(UserCollision, OnlyActiveAircraftAndTheFirstInTheWayPerPass) {
    EngineRig rig;
    userAt(rig, 5000.0, 4000.0);
    COLLISION_USER_AIR.value = true;
    LiveAc& coming = activeLive(rig, 40001, avoidanceOffset(2.0, 0.0), false, 5200.0, 180.0, "A1");
    coming.simState = AcSimState::Adding2Sim;
    activeLive(rig, 40002, avoidanceOffset(2.0, 0.0), false, 5200.0, 180.0, "A2");
    activeLive(rig, 40003, avoidanceOffset(2.5, 0.0), false, 5200.0, 180.0, "A3");
    gf_userCollisionPass(rig.engine, false, 0.01);
    EXPECT_EQ(rig.engine.removalQueue, std::deque<std::uint32_t>{302});
    EXPECT_EQ(rig.live(40001)->simState, AcSimState::Adding2Sim);
    COLLISION_USER_AIR.value = false;
    gf_userCollisionPass(rig.engine, false, 0.01);
    EXPECT_EQ(rig.engine.removalQueue.size(), 1u);
}

TEST(UserCollision, OnTheGroundTheNearestLiveThenStaticsOnceTheUserMoved) {
    EngineRig rig;
    userAt(rig, 1400.0, 0.0);
    COLLISION_USER_GND.value = true;
    const double userRadius = 0.01;
    // Live: (0.01 + 0.0097) x 1.15 = 0.0227 nm; static: x 1.1 = 0.0217 nm.
    activeLive(rig, 40001, avoidanceOffset(0.025, 0.0), true, 1400.0, 0.0, "FAR");
    activeLive(rig, 40002, avoidanceOffset(0.022, 0.0), true, 1400.0, 0.0, "NEAR");
    staticAt(rig, 1, avoidanceOffset(-0.021, 0.0), AcSimState::Active);
    gf_userCollisionPass(rig.engine, true, userRadius);
    EXPECT_EQ(rig.engine.removalQueue, std::deque<std::uint32_t>{302});  // a live one removed ends the pass
    gf_userCollisionPass(rig.engine, true, userRadius);
    EXPECT_EQ(rig.engine.removalQueue, (std::deque<std::uint32_t>{302, 601}));
    // Not moved since: statics placed meanwhile are not looked at.
    staticAt(rig, 2, avoidanceOffset(0.0, 0.0), AcSimState::Active);
    gf_userCollisionPass(rig.engine, true, userRadius);
    EXPECT_EQ(rig.engine.removalQueue.size(), 2u);
    rig.engine.userAcData.latitude += 1e-6;
    gf_userCollisionPass(rig.engine, true, userRadius);
    EXPECT_EQ(rig.engine.removalQueue, (std::deque<std::uint32_t>{302, 601, 602}));
}

// ---- static aircraft under a live one ----------------------------------------------------------

TEST(StaticCollision, FirstActiveOverlappingStaticIsRemoved) {
    EngineRig rig;
    const LiveAc& live = activeLive(rig, 40001, avoidanceOffset(0.0, 0.0), true);
    // Overlap: 1.1 x (0.0097 + 0.0097) = 0.02134 nm.
    staticAt(rig, 1, avoidanceOffset(0.001, 0.0), AcSimState::Adding2Sim);  // still being created: never
    staticAt(rig, 2, avoidanceOffset(0.025, 0.0), AcSimState::Active);
    staticAt(rig, 3, avoidanceOffset(0.02, 0.0), AcSimState::Active);
    staticAt(rig, 4, avoidanceOffset(0.0, 0.0), AcSimState::Active);
    auto hit = gf_avoidStaticCollision(rig.engine, live);
    ASSERT_NE(hit, rig.engine.staticAc.end());
    EXPECT_EQ(hit->hexid, 3u);
    EXPECT_EQ(rig.engine.staticAc[0].simState, AcSimState::Adding2Sim);
    EXPECT_EQ(rig.engine.removalQueue, std::deque<std::uint32_t>{603});
    EXPECT_NEAR(kA320Radius, live.radius, 1e-12);
}

TEST(StaticCollision, PassLooksOnlyAtTaxiingOrParkingAircraftThatMoved) {
    struct Row {
        const char* what;
        AcMoveState move;
        bool onGround;
        bool rollingOut;
        bool takeOffRun;
        bool removes;
    };
    const Row rows[] = {
        {"taxi", AcMoveState::Taxi, true, false, false, true},
        {"parking", AcMoveState::Parking, true, false, false, true},
        {"parked", AcMoveState::Parked, true, false, false, false},
        {"rolling out", AcMoveState::Taxi, true, true, false, false},
        {"take-off run", AcMoveState::Taxi, true, false, true, false},
        {"in the air", AcMoveState::Taxi, false, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EngineRig rig;
        COLLISION_LIVE_PARKED_GND.value = true;
        LiveAc& live = activeLive(rig, 40001, avoidanceOffset(0.0, 0.0), row.onGround);
        live.moveState = row.move;
        live.rollingOut = row.rollingOut;
        live.takeOffRun = row.takeOffRun;
        staticAt(rig, 1, avoidanceOffset(0.01, 0.0), AcSimState::Active);
        gf_staticCollisionPass(rig.engine);
        EXPECT_EQ(rig.engine.removalQueue.size(), row.removes ? 1u : 0u);
    }
    // Not moved since the last check: not checked again.
    EngineRig rig;
    COLLISION_LIVE_PARKED_GND.value = true;
    LiveAc& live = activeLive(rig, 40001, avoidanceOffset(0.0, 0.0), true);
    live.moveState = AcMoveState::Taxi;
    staticAt(rig, 1, avoidanceOffset(0.5, 0.0), AcSimState::Active);
    gf_staticCollisionPass(rig.engine);
    staticAt(rig, 2, avoidanceOffset(0.0, 0.0), AcSimState::Active);
    gf_staticCollisionPass(rig.engine);
    EXPECT_TRUE(rig.engine.removalQueue.empty());
    live.simPosition.latitude += 1e-6;
    gf_staticCollisionPass(rig.engine);
    EXPECT_EQ(rig.engine.removalQueue, std::deque<std::uint32_t>{602});
}

// ---- the neighbours of a stand ---------------------------------------------------------------

Stand standAt(std::uint32_t id, LatLon at) {
    Stand s;
    s.id = id;
    s.name = "G" + std::to_string(id);
    s.latitude = at.lat;
    s.longitude = at.lon;
    return s;
}

TEST(AdjacentStands, ConflictWhenAnotherLiveAircraftOverlaps) {
    EngineRig rig;
    rig.engine.liveAc.reserve(8);  // the references below stay valid
    const Stand own = standAt(1, avoidanceOffset(0.0, 0.0));
    // A320 + A320: 1.1 x 0.0194 = 0.02134 nm.
    rig.parking.stands = {own, standAt(2, avoidanceOffset(0.05, 0.0)), standAt(3, avoidanceOffset(0.015, 0.0)),
                          standAt(4, avoidanceOffset(0.01, 0.0))};
    const LiveAc& n = activeLive(rig, 40001, avoidanceOffset(0.0, 0.0), true, 0.0, 0.0, "NEW1");
    auto onStand = [&](std::uint32_t hexid, std::uint32_t stand, AcMoveState move, const std::string& callsign) {
        LiveAc& ac = activeLive(rig, hexid, avoidanceOffset(0.0, 0.0), true, 0.0, 0.0, callsign);
        ac.standId = stand;
        ac.moveState = move;
    };
    onStand(40002, 2, AcMoveState::Parked, "FAR2");          // too far to overlap
    onStand(40003, 4, AcMoveState::Taxi, "TAXI4");           // only parked or pushing back count
    onStand(40004, 4, AcMoveState::Parked, "NEW1");          // n itself
    onStand(40005, 3, AcMoveState::PushingBack, "PUSH3");    // overlaps
    const std::vector<std::uint32_t> ids{2, 4, 3};
    auto hit = lf_adjacentStandConflict(rig.engine, ids, own, n);
    ASSERT_NE(hit, ids.end());
    EXPECT_EQ(*hit, 3u);

    const std::vector<std::uint32_t> clear{2, 4};
    EXPECT_EQ(lf_adjacentStandConflict(rig.engine, clear, own, n), clear.end());
}

// Two aircraft on neighbouring stands overlap up to 1.1 times the sum of their
// radii: an adjacent stand exactly that far is a conflict, one representable
// latitude farther is not.
TEST(AdjacentStands, OverlapReachesOnePointOneTimesTheSumOfTheRadii) {
    AcIdentity a320;
    a320.type = "A320";
    const double radius = FakeAircraftData::standard().acData(a320).radius;
    const double reach = 1.1 * (radius + radius);
    const LatLon own{kUserLat, kUserLon};
    const double edge = northEdge(reach, [&](LatLon p) { return gf_distanceNm(p, own); });
    struct Row {
        double lat;
        bool conflict;
    };
    for (const Row& row : {Row{edge, true}, Row{std::nextafter(edge, 90.0), false}}) {
        SCOPED_TRACE(::testing::Message() << gf_distanceNm(LatLon{row.lat, kUserLon}, own) << " nm, reach " << reach);
        EngineRig rig;
        rig.engine.liveAc.reserve(4);
        const Stand stand = standAt(1, own);
        rig.parking.stands = {stand, standAt(2, LatLon{row.lat, kUserLon})};
        const LiveAc& n = activeLive(rig, 40001, own, true, 0.0, 0.0, "NEW1");
        LiveAc& other = activeLive(rig, 40002, LatLon{row.lat, kUserLon}, true, 0.0, 0.0, "OTH1");
        other.standId = 2;
        other.moveState = AcMoveState::Parked;
        const std::vector<std::uint32_t> ids{2};
        EXPECT_EQ(lf_adjacentStandConflict(rig.engine, ids, stand, n) != ids.end(), row.conflict);
    }
}

TEST(AdjacentStands, AnIdThatNamesNoStandIsAConflictOnceSomeoneStandsOnIt) {
    EngineRig rig;
    rig.engine.liveAc.reserve(8);  // the references below stay valid
    const Stand own = standAt(1, avoidanceOffset(0.0, 0.0));
    rig.parking.stands = {own};
    const LiveAc& n = activeLive(rig, 40001, avoidanceOffset(0.0, 0.0), true, 0.0, 0.0, "NEW1");
    const std::vector<std::uint32_t> ids{9};
    EXPECT_EQ(lf_adjacentStandConflict(rig.engine, ids, own, n), ids.end());  // nobody on it
    LiveAc& other = activeLive(rig, 40002, avoidanceOffset(1.0, 0.0), true, 0.0, 0.0, "OTH1");
    other.standId = 9;
    other.moveState = AcMoveState::Parked;
    EXPECT_EQ(lf_adjacentStandConflict(rig.engine, ids, own, n), ids.begin());
}

}  // namespace
}  // namespace clv::test
