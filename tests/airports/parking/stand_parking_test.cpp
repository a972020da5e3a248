// A taxiing live aircraft finds a stand and is driven onto it; a parked one
// watches its feed and leaves when the feed moves away.
#include <gtest/gtest.h>

#include <cmath>

#include "airports/parking/live_placement.h"
#include "airports/parking/live_stands.h"
#include "airports/parking/stand_arrival.h"
#include "airports/parking/stand_holders.h"
#include "link/traffic_update.h"
#include "parking_world.h"
#include "traffic/live_movement.h"

namespace clv::test {
namespace {

constexpr double kParkingLat = 47.0;
constexpr double kParkingLon = 8.0;
constexpr double kA320RadiusNm = 0.0097;  // the harness's A320
constexpr double kLargeGroundB = 4.0;     // knots

// Degrees for metres north and east at kParkingLat: one nautical mile is one minute of arc.
double parkingNorthDeg(double metres) { return metres / 1852.0 / 60.0; }
double eastDeg(double metres) { return metres / 1852.0 / 60.0 / std::cos(kParkingLat * kDegToRad); }

class StandParking : public ::testing::Test {
protected:
    StandParking() {
        LOG.value = true;
        learnedOptionList.clear();
    }
    ~StandParking() override {
        learnedOptionList.clear();
        reservedStand.clear();
    }

    // A stand `eastMetres` east of kParkingLat/kParkingLon, heading 0.5 rad, radius 30 m.
    Stand& stand(const std::string& name, double eastMetres) {
        return w.addStand(name, {}, kParkingLat, kParkingLon + eastDeg(eastMetres));
    }

    // A live A320 taxiing (previous state taxi) that came to a stop `northMetres`
    // north of kParkingLat/kParkingLon.
    LiveAc& stopped(std::uint32_t hexid, const std::string& callsign, double northMetres, double eastMetres = 0.0) {
        const PosSample s = groundSample(kParkingLat + parkingNorthDeg(northMetres), kParkingLon + eastDeg(eastMetres), 0, 0, 1000);
        PosSample hold = s;
        hold.holdMark = true;
        hold.dueTick = 1300;
        LiveAc& ac = w.rig.addLive(hexid, callsign, "A320", {s, hold}, AcSimState::Active);
        ac.objectId = hexid;
        ac.moveState = AcMoveState::Taxi;
        ac.previousMoveState = AcMoveState::Taxi;
        ac.groundValueB = kLargeGroundB;
        ac.registration = "HB-J" + callsign;
        return ac;
    }

    LiveAc& parkedLive(std::uint32_t hexid, const std::string& callsign, const Stand& s,
                       AcMoveState state = AcMoveState::Parked) {
        LiveAc& ac = w.addLive(hexid, callsign, "A320", state, s.id);
        ac.samples = {groundSample(s.latitude, s.longitude, 0, 0, 0)};
        return ac;
    }

    FileWorld w;
};

TEST_F(StandParking, APositionAlreadyTriedIsNotTriedAgainUntilTheNewestSampleMoves) {
    Stand& s1 = stand("S1", 0.0);
    s1.occupied = true;
    LiveAc& ac = stopped(0x1001, "SWR1", 10.0);
    try2Park(w.engine, ac, true);
    EXPECT_EQ(ac.moveState, AcMoveState::Taxi);

    s1.occupied = false;
    try2Park(w.engine, ac, true);
    EXPECT_EQ(ac.moveState, AcMoveState::Taxi) << "same newest position: not tried again";
    EXPECT_EQ(ac.standId, 0u);

    PosSample moved = ac.samples.back();
    moved.latitude += parkingNorthDeg(1.0);
    ac.samples.push_back(moved);
    try2Park(w.engine, ac, true);
    EXPECT_EQ(ac.moveState, AcMoveState::Parking);
    EXPECT_EQ(ac.standId, s1.id);
}

TEST_F(StandParking, ReservedStandAndTheUsersStandAreNotTaken) {
    stand("S1", 0.0);
    reservedStand = "S1";
    LiveAc& a = stopped(0x1001, "SWR1", 10.0);
    try2Park(w.engine, a, true);
    EXPECT_EQ(a.standId, 0u);
    reservedStand.clear();
    w.userStand = "S1";
    LiveAc& b = stopped(0x1002, "SWR2", 10.0);
    try2Park(w.engine, b, true);
    EXPECT_EQ(b.standId, 0u);
}

TEST_F(StandParking, MovingAircraftSearchesWithin20MetresAndAHoldingOneWithin55) {
    const Stand& s1 = stand("S1", 0.0);
    LiveAc& moving = stopped(0x1001, "SWR1", 30.0);
    try2Park(w.engine, moving, false);
    EXPECT_EQ(moving.standId, 0u);
    LiveAc& holding = stopped(0x1002, "SWR2", 30.0);
    try2Park(w.engine, holding, true);
    EXPECT_EQ(holding.standId, s1.id);
}

// The stand's parked live holder goes, and so do the parked or pushing-back live
// aircraft on adjacent stands that overlap: 1.1 x (r1 + r2) reaches the distance
// between the stands. Two A320s (18 m each) overlap up to 39.5 m.
TEST_F(StandParking, TheHolderAndOverlappingNeighboursMakeWay) {
    const std::uint32_t s1Id = stand("S1", 0.0).id;
    const std::uint32_t s2Id = stand("S2", 35.0).id;   // overlaps
    const std::uint32_t s3Id = stand("S3", -45.0).id;  // does not
    const std::uint32_t s4Id = stand("S4", 300.0).id;  // overlaps nothing, and is not adjacent
    standList[0].adjacent = {s2Id, s3Id, 99};          // 99: no such stand
    const double limitNm = 1.1 * (kA320RadiusNm + kA320RadiusNm);
    ASSERT_LT(gf_distanceNm(kParkingLat, kParkingLon, kParkingLat, kParkingLon + eastDeg(35.0)), limitNm);
    ASSERT_GT(gf_distanceNm(kParkingLat, kParkingLon, kParkingLat, kParkingLon + eastDeg(45.0)), limitNm);

    parkedLive(0x2001, "SWR7", standList[0]);
    parkedLive(0x2002, "SWR8", standList[1], AcMoveState::PushingBack);
    parkedLive(0x2003, "SWR9", standList[2]);
    parkedLive(0x2004, "SWR6", standList[3]);
    w.addStatic(s1Id, "EZY1", "EZY", "A320").registration = "G-EZAA";
    LiveAc& ac = stopped(0x1001, "SWR1", 5.0);

    try2Park(w.engine, ac, true);
    ASSERT_EQ(ac.standId, s1Id);
    EXPECT_EQ(w.rig.live(0x2001)->simState, AcSimState::RemovingFromSim);
    EXPECT_EQ(w.rig.live(0x2002)->simState, AcSimState::RemovingFromSim);
    EXPECT_EQ(w.rig.live(0x2003)->simState, AcSimState::Active);
    EXPECT_EQ(w.rig.live(0x2004)->simState, AcSimState::Active);
    EXPECT_EQ(w.engine.staticAc.front().simState, AcSimState::RemovingFromSim);
    EXPECT_TRUE(w.log.contains("S1      : SWR7     removed, SWR1 wants to park there"));
    EXPECT_TRUE(w.log.contains(
        "S2      : SWR8     removed by parking SWR1 at adjacent and possibly colliding stand S1"));
    EXPECT_TRUE(w.log.contains("S1      : EZY1     G-EZAA makes way for SWR1 HB-JSWR1"));
    EXPECT_FALSE(w.log.contains("SWR9"));
    (void)s4Id;
}

// The drive: from where it stopped to the stand at ground value B, then held
// there on the stand heading.
TEST_F(StandParking, TheAircraftIsDrivenOntoTheStandAtGroundValueB) {
    const Stand& s1 = stand("S1", 0.0);
    LiveAc& ac = stopped(0x1001, "SWR1", 10.0);
    ac.extensionCount = 1;  // it stood on a hold sample
    ac.simPosition.bank = 0.01;
    ac.simPosition.altitude = 1406.0;
    ac.curve.start = 0.0;  // a curve begun towards the samples it had
    ac.curve.end = 1.0;
    try2Park(w.engine, ac, true);
    EXPECT_FALSE(ac.curve.isSet()) << "it would carry the aircraft past its stand";
    ASSERT_EQ(ac.moveState, AcMoveState::Parking);
    EXPECT_EQ(ac.previousMoveState, AcMoveState::Taxi);
    EXPECT_DOUBLE_EQ(ac.standLatitude, s1.latitude);
    EXPECT_DOUBLE_EQ(ac.standHeading, 0.5);
    ASSERT_EQ(ac.samples.size(), 3u);
    const PosSample& from = ac.samples[0];
    const PosSample& drive = ac.samples[1];
    const PosSample& hold = ac.samples[2];
    // 10 m at 4 kt: 10 / 1852 nm x 360000 / 4 ticks.
    const auto n = static_cast<std::uint32_t>(std::lround(10.0 / 1852.0 * 360000.0 / 4.0));
    EXPECT_NEAR(static_cast<double>(drive.dueTick), 1000.0 + n, 1.0);
    EXPECT_EQ(hold.dueTick, drive.dueTick + 50);
    EXPECT_DOUBLE_EQ(from.groundSpeed, kLargeGroundB);
    EXPECT_DOUBLE_EQ(drive.groundSpeed, kLargeGroundB);
    EXPECT_DOUBLE_EQ(drive.trueAirspeed, kLargeGroundB);
    EXPECT_FALSE(drive.holdMark);
    EXPECT_DOUBLE_EQ(drive.latitude, s1.latitude);
    EXPECT_NEAR(drive.track, 0.5 * kRadToDeg, 1e-9);
    EXPECT_DOUBLE_EQ(drive.roll, 0.01);
    EXPECT_DOUBLE_EQ(drive.altitude, 1406.0);
    EXPECT_FALSE(drive.airborne);
    EXPECT_TRUE(hold.holdMark);
    EXPECT_DOUBLE_EQ(hold.groundSpeed, 0.0);
    EXPECT_DOUBLE_EQ(hold.latitude, s1.latitude);
    EXPECT_DOUBLE_EQ(ac.targetHeading, 0.5);
    EXPECT_EQ(ac.extensionCount, 0);
    EXPECT_EQ(ac.maxAdvance, 3000);
    EXPECT_EQ(ac.maxDelay, 3000);
}

// From north onto a stand heading of 0.5 rad at 0.07 degrees a tick takes 410
// ticks: 3 m, 146 ticks at 4 kt, are driven in that time instead.
TEST_F(StandParking, ADriveTooShortForTheTurnOntoTheStandHeadingIsSlower) {
    stand("S1", 0.0);
    LiveAc& ac = stopped(0x1001, "SWR1", 3.0);
    try2Park(w.engine, ac, true);
    ASSERT_EQ(ac.samples.size(), 3u);
    const double turnTicks = std::ceil(0.5 * kRadToDeg / 0.07);
    EXPECT_NEAR(static_cast<double>(ac.samples[1].dueTick), 1000.0 + turnTicks, 1.0);
    const double knots = 3.0 / 1852.0 * 360000.0 / turnTicks;
    EXPECT_NEAR(ac.samples[1].groundSpeed, knots, 0.01);
    EXPECT_NEAR(ac.samples[0].groundSpeed, knots, 0.01);
    EXPECT_EQ(ac.samples[2].dueTick, ac.samples[1].dueTick + 50);
}

TEST_F(StandParking, AShortDriveTakesAtLeast100TicksAndOneOnTheSpotIsAHold) {
    LiveAc& ac = stopped(0x1001, "SWR1", 0.0);
    drive2Stand(ac, LatLon{kParkingLat + parkingNorthDeg(0.5), kParkingLon}, 0.0);
    // Appended after its two samples: due from the first one.
    EXPECT_EQ(ac.samples.at(2).dueTick, 1000u + 100u);  // 0.5 m at 4 kt would take 24 ticks
    EXPECT_FALSE(ac.samples.at(2).holdMark);
    EXPECT_EQ(ac.samples.at(3).dueTick, 1000u + 100u + 50u);  // already on the stand heading

    LiveAc& still = stopped(0x1002, "SWR2", 0.0);
    drive2Stand(still, LatLon{kParkingLat, kParkingLon}, 0.0);
    EXPECT_TRUE(still.samples.back().holdMark);
    EXPECT_TRUE(still.samples.at(still.samples.size() - 2).holdMark);

    LiveAc& empty = stopped(0x1003, "SWR3", 0.0);
    empty.samples.clear();
    drive2Stand(empty, LatLon{kParkingLat, kParkingLon}, 0.0);
    try2Park(w.engine, empty, true);
    EXPECT_TRUE(empty.samples.empty());
    EXPECT_TRUE(w.log.contains("===> drive2Stand empty sz?"));
    EXPECT_TRUE(w.log.contains("===> try2Park empty sz?"));
}

// The first arrival parks and occupies its stand: the next one stopping at the
// same place is given the other stand nearby.
TEST_F(StandParking, TwoSuccessiveArrivalsGetDifferentStands) {
    const std::uint32_t s1 = stand("S1", 0.0).id;
    const std::uint32_t s2 = stand("S2", 40.0).id;
    LiveAc& first = stopped(0x1001, "SWR1", 3.0);
    try2Park(w.engine, first, true);
    ASSERT_EQ(first.standId, s1);
    first.samples = {first.samples.at(2)};  // it drove there
    lf_arriveAtStand(w.engine, first);
    ASSERT_EQ(first.moveState, AcMoveState::Parked);
    // Its stream runs dry and it holds on its stand for the week: the stand stays its own.
    first.samples.resize(1);
    first.onGround = true;
    ASSERT_TRUE(lf_extendStream(w.engine, first));
    ASSERT_EQ(first.extensionCount, 1);

    LiveAc& second = stopped(0x1002, "SWR2", 3.0);
    try2Park(w.engine, second, true);
    EXPECT_EQ(second.standId, s2);
    EXPECT_EQ(w.rig.live(0x1001)->simState, AcSimState::Active);
}

// ---- the feed of a parked aircraft ------------------------------------------------------

struct Report {
    double north, east;  // metres from the stand
};

struct WatchCase {
    const char* name;
    AcMoveState state;
    AcMoveState previous;
    std::vector<Report> reports;
    int takenAt;  // index of the first report queued; -1: none
    AcMoveState after;
    bool removed;
};

// A parked A320 (radius 18 m, half of it 9 m) with its feed reporting around its stand.
TEST_F(StandParking, ParkedAircraftStaysWhileItsFeedWandersAndLeavesWhenItMovesAway) {
    const WatchCase cases[] = {
        {"wanders 20 m around", AcMoveState::Parked, AcMoveState::Parking,
         {{20, 0}, {0, 20}, {-20, 0}, {0, -20}, {14, 14}, {-14, -14}}, -1, AcMoveState::Parked, false},
        {"three 3.1 m steps away, 9.3 m", AcMoveState::Parked, AcMoveState::Parking,
         {{2, 0}, {5.1, 0}, {8.2, 0}, {11.3, 0}}, 3, AcMoveState::Parked, false},
        {"two steps of 3.1 m only", AcMoveState::Parked, AcMoveState::Parking,
         {{2, 0}, {5.1, 0}, {8.2, 0}}, -1, AcMoveState::Parked, false},
        {"a step back starts again", AcMoveState::Parked, AcMoveState::Parking,
         {{2, 0}, {5.1, 0}, {8.2, 0}, {4.0, 0}, {7.1, 0}, {10.2, 0}}, -1, AcMoveState::Parked, false},
        {"beyond its radius at once", AcMoveState::Parked, AcMoveState::Parking,
         {{2, 0}, {21, 0}}, 1, AcMoveState::Parked, false},
        {"100 m away: leaves", AcMoveState::Parked, AcMoveState::Birth, {{100, 0}}, 0, AcMoveState::Parked, false},
        {"100 m away just after parking: still near", AcMoveState::Parked, AcMoveState::Parking, {{100, 0}}, -1,
         AcMoveState::Parked, false},
        {"250 m away: removed", AcMoveState::Parked, AcMoveState::Parking, {{250, 0}}, -1, AcMoveState::Parked, true},
        {"driving in, 100 m away: taxies", AcMoveState::Parking, AcMoveState::Taxi, {{100, 0}}, 0,
         AcMoveState::Taxi, false},
    };
    Stand& s1 = stand("S1", 0.0);
    std::uint32_t hexid = 0x3000;
    for (const WatchCase& c : cases) {
        SCOPED_TRACE(c.name);
        LiveAc& ac = parkedLive(++hexid, "SWR1", s1, c.state);
        ac.previousMoveState = c.previous;
        ac.standLatitude = s1.latitude;
        ac.standLongitude = s1.longitude;
        ac.samples.front().holdMark = true;
        gf_occupyStand(s1, ac.hexid);
        int taken = -1;
        for (std::size_t i = 0; i < c.reports.size() && taken < 0; ++i) {
            PosSample s = groundSample(s1.latitude + parkingNorthDeg(c.reports[i].north),
                                       s1.longitude + eastDeg(c.reports[i].east), 0, 0, 5000);
            s.holdMark = true;
            if (lf_checkStandSample(w.engine, ac, s)) {
                taken = static_cast<int>(i);
                EXPECT_FALSE(s.holdMark);
            }
        }
        EXPECT_EQ(taken, c.takenAt);
        EXPECT_EQ(ac.moveState, c.after);
        EXPECT_EQ(ac.simState == AcSimState::RemovingFromSim, c.removed);
        EXPECT_TRUE(ac.atStandChecked);
        const bool leaves = taken >= 0 && c.state == AcMoveState::Parked;
        EXPECT_EQ(ac.leavingStand, leaves);
        EXPECT_EQ(s1.occupied, !leaves && !c.removed) << "leaving frees the stand";
    }
}

struct TowCase {
    const char* type;
    bool landed;
    std::int64_t minutesParked;
    bool towed;
};

// A landed aircraft seen moving again soon after it parked was towed to this
// stand, not flown in: Heavy within 1 h, Large 25 min, Buzjets 15 min.
TEST_F(StandParking, ALandedAircraftMovingAgainSoonWasTowed) {
    w.rig.data.types["C56X"] = {AcCategory::Buzjets, 0.005};
    const TowCase cases[] = {
        {"B744", true, 40, true},  {"B744", true, 70, false}, {"B744", false, 40, false},
        {"A320", true, 20, true},  {"A320", true, 30, false}, {"C56X", true, 14, true},
        {"C56X", true, 16, false},
    };
    Stand& s1 = stand("S1", 0.0);
    const std::int64_t parkedTick = 100000;
    std::uint32_t hexid = 0x4000;
    for (const TowCase& c : cases) {
        SCOPED_TRACE(fmt::format("{} landed {} after {} min", c.type, c.landed, c.minutesParked));
        LiveAc& ac = w.addLive(++hexid, "SWR1", c.type, AcMoveState::Parked, s1.id);
        PosSample weekHold = groundSample(s1.latitude, s1.longitude, 0, 0, 0);
        weekHold.holdMark = true;
        weekHold.dueTick = static_cast<std::uint32_t>(parkedTick + 60480000);
        ac.samples = {weekHold};
        ac.extensionCount = 1;
        ac.landed = c.landed;
        trafficTickCount = static_cast<std::uint32_t>(parkedTick + c.minutesParked * 6000);
        lf_leaveParked(ac);
        EXPECT_EQ(ac.towed, c.towed);
        EXPECT_FALSE(ac.landed);
        EXPECT_EQ(ac.samples.front().dueTick, trafficTickCount + 1);
        EXPECT_EQ(ac.extensionCount, 0);
        EXPECT_EQ(ac.maxAdvance, 3000);
        EXPECT_EQ(ac.maxDelay, 3000);
    }
    trafficTickCount = 0;
}

}  // namespace
}  // namespace clv::test
