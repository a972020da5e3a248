#include "airports/parking/live_placement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "airports/parking/live_stands.h"
#include "airports/parking/stand_holders.h"
#include "parking_world.h"

namespace clv::test {
namespace {

// The park airport TEST with stands S1.. 0.01 degrees apart from 47.40/8.55.
class LivePlacement : public ::testing::Test {
protected:
    LivePlacement() {
        w.parkAt(3, 80);
        EXPECT_EQ(lf_readParkedFile(), "");
        w.engine.staticAc.clear();
        for (Stand& s : standList) s.occupied = false;
        learnedOptionList.clear();
        LOG.value = true;
    }
    ~LivePlacement() override { learnedOptionList.clear(); }

    LiveAc& arriving(std::uint32_t hexid, const std::string& callsign, double lat = 47.40) {
        LiveAc& ac = w.rig.addLive(hexid, callsign, "A320",
                                   {groundSample(lat, 8.55, 0, 0, 0), groundSample(lat, 8.55, 0, 0, 10)});
        ac.registration = "HB-JXA";
        ac.moveState = AcMoveState::Birth;
        return ac;
    }
    const Stand& s1() const { return standList.at(0); }

    FileWorld w;
};

TEST_F(LivePlacement, PlacedOnTheStandWhereAStaticOfTheSameRegistrationMakesWay) {
    StaticAc& parked = w.addStatic(s1().id, "SWR9", "SWR", "A320");
    parked.registration = "HB-JXA";
    LiveAc& ac = arriving(0x1001, "SWR1");
    ASSERT_EQ(gf_placeAtSpawn(w.engine, ac), StandPlacement::Placed);
    EXPECT_EQ(ac.standId, s1().id);
    EXPECT_TRUE(s1().occupied);
    ASSERT_EQ(ac.samples.size(), 1u);
    EXPECT_TRUE(ac.samples.front().holdMark);
    EXPECT_DOUBLE_EQ(ac.samples.front().latitude, s1().latitude);
    EXPECT_EQ(w.engine.staticAc.front().simState, AcSimState::RemovingFromSim);
    EXPECT_TRUE(w.log.contains("S1      : SWR9     HB-JXA makes way for the same live version SWR1 HB-JXA"));
    EXPECT_EQ(learnedOptionList.size(), 1u);
    ASSERT_EQ(s1().options.size(), 2u);  // the file's option and the learned one
}

TEST_F(LivePlacement, QueuedStaticIsWithdrawnAndOneAlreadySentIsRemovedLater) {
    StaticAc& queued = w.addStatic(s1().id, "SWR9", "SWR", "A320");
    queued.hexid = 7;
    queued.simState = AcSimState::Adding2Sim;
    AcCreateRequest request;
    request.hexid = queued.hexid;
    w.engine.staticCreationQueue.push_back(request);
    ASSERT_EQ(gf_placeAtSpawn(w.engine, arriving(0x1001, "SWR1")), StandPlacement::Placed);
    EXPECT_TRUE(w.engine.staticAc.empty());
    EXPECT_TRUE(w.engine.staticCreationQueue.empty());

    StaticAc& sent = w.addStatic(standList.at(1).id, "SWR8", "SWR", "A320");
    sent.hexid = 8;
    sent.simState = AcSimState::Adding2Sim;
    ASSERT_EQ(gf_placeAtSpawn(w.engine, arriving(0x1002, "SWR2", standList.at(1).latitude)), StandPlacement::Placed);
    ASSERT_EQ(w.engine.staticAc.size(), 1u);
    EXPECT_TRUE(w.engine.staticAc.front().removalPending);
}

TEST_F(LivePlacement, ReservedStandAndTheUsersStandAreNeverTaken) {
    reservedStand = "S1";
    EXPECT_EQ(gf_placeAtSpawn(w.engine, arriving(0x1001, "SWR1")), StandPlacement::NotPlaced);
    reservedStand.clear();
    w.userStand = "S1";
    EXPECT_EQ(gf_placeAtSpawn(w.engine, arriving(0x1002, "SWR2")), StandPlacement::NotPlaced);
    EXPECT_FALSE(s1().occupied);
    w.userStand.clear();
    EXPECT_EQ(gf_placeAtSpawn(w.engine, arriving(0x1003, "SWR3")), StandPlacement::Placed);
}

TEST_F(LivePlacement, LiveHolderGivesWayOrRefusesByCallsign) {
    LiveAc& holder = w.addLive(0x2001, "ABC12", "A320", AcMoveState::Parked, s1().id);
    EXPECT_EQ(gf_placeAtSpawn(w.engine, arriving(0x1001, "ABC12_")), StandPlacement::Refused);
    EXPECT_EQ(w.rig.live(0x2001)->simState, AcSimState::Active);
    (void)holder;
    EXPECT_EQ(gf_placeAtSpawn(w.engine, arriving(0x1002, "ABC1")), StandPlacement::Placed);
    EXPECT_EQ(w.rig.live(0x2001)->simState, AcSimState::RemovingFromSim);
    EXPECT_TRUE(w.log.contains("S1      : ABC12    ghost, replace by ABC1"));
}

TEST_F(LivePlacement, MovingOrFarAircraftIsNotPlaced) {
    LiveAc& moving = arriving(0x1001, "SWR1");
    moving.samples[1].groundSpeed = 6.0;
    EXPECT_EQ(gf_placeAtSpawn(w.engine, moving), StandPlacement::NotPlaced);
    EXPECT_EQ(gf_placeAtSpawn(w.engine, arriving(0x1002, "SWR2", 47.55)), StandPlacement::NotPlaced);
}

// An aircraft that holds is searched for where it first stood, not where its
// newest sample lies (here on another stand 1.1 km away).
TEST_F(LivePlacement, AHoldingAircraftIsPlacedWhereItsFirstSampleStands) {
    LiveAc& ac = arriving(0x1001, "SWR1");
    ac.samples[0].holdMark = true;
    ac.samples[1].latitude = standList.at(1).latitude;
    ASSERT_EQ(gf_placeAtSpawn(w.engine, ac), StandPlacement::Placed);
    EXPECT_EQ(ac.standId, s1().id);
}

// A live aircraft parked on an adjacent stand close enough to overlap keeps it:
// the new one is refused. Two A320s (18 m) overlap up to 1.1 x 36 m = 39.5 m.
TEST_F(LivePlacement, AnOverlappingLiveNeighbourOnAnAdjacentStandRefusesTheNewAircraft) {
    const double eastDegPerMetre = 1.0 / 1852.0 / 60.0 / std::cos(47.40 * kDegToRad);
    const std::uint32_t near = w.addStand("N1", {}, 47.40, 8.55 + 35.0 * eastDegPerMetre, 20.0).id;
    const std::uint32_t far = w.addStand("F1", {}, 47.40, 8.55 - 45.0 * eastDegPerMetre, 20.0).id;
    standList.at(0).adjacent = {far};
    w.addLive(0x2001, "EZY1", "A320", AcMoveState::Parked, far);
    EXPECT_EQ(gf_placeAtSpawn(w.engine, arriving(0x1001, "SWR1")), StandPlacement::Placed);

    standList.at(0).occupied = false;
    standList.at(0).adjacent = {near};
    w.addLive(0x2002, "EZY2", "A320", AcMoveState::PushingBack, near);
    EXPECT_EQ(gf_placeAtSpawn(w.engine, arriving(0x1002, "SWR2")), StandPlacement::Refused);
    EXPECT_EQ(w.rig.live(0x2002)->simState, AcSimState::Active);
}

// A static aircraft whose creation had gone to the simulator when a live aircraft
// took its stand is removed at the end of its warm-up; that removal leaves the
// stand to the live aircraft, so the next arrival is not offered it.
TEST_F(LivePlacement, TheRemovalOfAStaticThatMadeWayLeavesTheStandTaken) {
    StaticAc& sent = w.addStatic(s1().id, "SWR9", "SWR", "A320");
    sent.hexid = 9;
    sent.simState = AcSimState::Adding2Sim;
    sent.objectId = 0;
    ASSERT_EQ(gf_placeAtSpawn(w.engine, arriving(0x1001, "SWR1")), StandPlacement::Placed);
    ASSERT_TRUE(w.engine.staticAc.front().removalPending);

    // The simulator binds the static object; its warm-up ends with its removal.
    SimEvent bound;
    bound.kind = SimEventKind::StaticObjectBound;
    bound.objectId = 909;
    bound.hexidOrFlag = 9;
    w.rig.sim.post(bound);
    for (int step = 0; step <= 200 && w.engine.staticAc.front().simState != AcSimState::RemovingFromSim; ++step) {
        gf_handleSimEvents(w.engine);
    }
    ASSERT_EQ(w.engine.staticAc.front().simState, AcSimState::RemovingFromSim);
    EXPECT_TRUE(s1().occupied);
    LiveAc& next = arriving(0x1002, "SWR2");
    EXPECT_EQ(gf_findFreeStand({s1().latitude, s1().longitude}, next, kStandAtPositionNm, false), standList.end());
}

// A cargo aircraft put on a stand at spawn teaches the stand its cargo kind, as
// one that arrives there does.
TEST_F(LivePlacement, ACargoAircraftPlacedAtSpawnMarksItsStandCargo) {
    LiveAc& ac = arriving(0x1001, "FDX1");
    ac.cargo = true;
    ASSERT_FALSE(s1().cargo);
    ASSERT_EQ(gf_placeAtSpawn(w.engine, ac), StandPlacement::Placed);
    EXPECT_TRUE(s1().cargo);
    EXPECT_TRUE(s1().cargoChanged);
    EXPECT_TRUE(w.rig.live(0x1001)->cargoStand);
    EXPECT_TRUE(w.log.contains("===> TEST stand: S1, cargo attribute set to true, " + w.rig.live(0x1001)->logLabel() +
                               " parked here"));
}

// The latitude north of `from` farthest from it that `distance` still finds
// within `nm`: the next representable latitude lies beyond.
double lf_northEdge(LatLon from, double nm, const std::function<double(LatLon)>& distance) {
    double lat = from.lat + nm / 60.0;
    while (distance(LatLon{lat, from.lon}) > nm) lat = std::nextafter(lat, -90.0);
    while (distance(LatLon{std::nextafter(lat, 90.0), from.lon}) <= nm) lat = std::nextafter(lat, 90.0);
    return lat;
}

// Placement at spawn at its limits: the oldest sample at most 5 nm from the park
// airport, the newest at most 35 m from the oldest; with no stand in reach it
// waits while the second sample holds, else it is created where it stands.
TEST_F(LivePlacement, SpawnPlacementAtItsLimits) {
    const LatLon park{47.40, 8.55};
    const LatLon atS1{s1().latitude, s1().longitude};
    const double parkEdge =
        lf_northEdge(park, 5.0, [&](LatLon p) { return gf_distanceNm(p, park); });
    const double driftEdge =
        lf_northEdge(atS1, 35.0 / 1852.0, [&](LatLon p) { return gf_distanceNm(atS1, p); });
    const double beyondPark = std::nextafter(parkEdge, 90.0);
    const double beyondDrift = std::nextafter(driftEdge, 90.0);
    struct Row {
        const char* what;
        double oldest;            // latitude of the oldest sample, at 8.55
        double newest;            // and of the newest
        bool secondHolds;         // the second sample carries the hold mark
        bool standAtNewest;       // a free stand of its own where the newest sample lies
        StandPlacement expected;
    };
    const Row rows[] = {
        {"oldest sample 5.0 nm out", parkEdge, parkEdge, false, true, StandPlacement::Placed},
        {"oldest sample beyond 5.0 nm", beyondPark, beyondPark, false, true, StandPlacement::NotPlaced},
        {"drifted 35 m", atS1.lat, driftEdge, false, true, StandPlacement::Placed},
        {"drifted beyond 35 m", atS1.lat, beyondDrift, false, true, StandPlacement::NotPlaced},
        {"no stand in reach, the second sample holds", 47.405, 47.405, true, false, StandPlacement::Wait},
        {"no stand in reach", 47.405, 47.405, false, false, StandPlacement::NotPlaced},
    };
    std::uint32_t hexid = 0x1000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (Stand& s : standList) s.occupied = false;
        if (row.standAtNewest) w.addStand(fmt::format("E{}", hexid), {}, row.newest, 8.55, 30.0);
        LiveAc& ac = w.rig.addLive(++hexid, "SWR1", "A320",
                                   {groundSample(row.oldest, 8.55, 0, 0, 0), groundSample(row.newest, 8.55, 0, 0, 10)});
        ac.registration = "HB-JXA";
        ac.moveState = AcMoveState::Birth;
        ac.samples[1].holdMark = row.secondHolds;
        EXPECT_EQ(gf_placeAtSpawn(w.engine, ac), row.expected);
    }
}

}  // namespace
}  // namespace clv::test
