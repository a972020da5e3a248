#include "airports/parking/stand_arrival.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "airports/parking/learned_files.h"
#include "airports/parking/live_stands.h"
#include "airports/parking/stand_holders.h"
#include "parking_world.h"

namespace clv::test {
namespace {

// Degrees of latitude for a distance north: one nautical mile is one minute of arc.
double arrivalNorthDeg(double metres) { return metres / 1852.0 / 60.0; }

class StandArrival : public ::testing::Test {
protected:
    StandArrival() {
        w.parkAt(3, 80);
        EXPECT_EQ(lf_readParkedFile(), "");
        w.engine.staticAc.clear();
        for (Stand& s : standList) s.occupied = false;
        learningUpdateCount = 0;
        learnedOptionList.clear();
    }
    ~StandArrival() override {
        learningUpdateCount = 0;
        learnedOptionList.clear();
        lowQualityFile = false;
    }

    // An aircraft driving to stand S1 whose stream ran dry `metres` south of it.
    LiveAc& driving(std::uint32_t hexid, const std::string& callsign, double metres) {
        const Stand& s = standList.at(0);
        LiveAc& ac = w.addLive(hexid, callsign, "A320", AcMoveState::Parking, s.id);
        ac.samples = {groundSample(s.latitude - arrivalNorthDeg(metres), s.longitude, 0, 0, 0)};
        ac.standLatitude = s.latitude;
        ac.standLongitude = s.longitude;
        ac.registration = "HB-JXA";
        return ac;
    }

    FileWorld w;
};

TEST_F(StandArrival, ParksWithin2MetresAndTaxiesOnBeyond) {
    LiveAc& far = driving(0x1001, "SWR1", 3.0);
    lf_arriveAtStand(w.engine, far);
    EXPECT_EQ(far.moveState, AcMoveState::Taxi);
    EXPECT_FALSE(standList[0].occupied);

    LiveAc& near = driving(0x1002, "SWR2", 1.9);
    lf_arriveAtStand(w.engine, near);
    EXPECT_EQ(near.moveState, AcMoveState::Parked);
    EXPECT_TRUE(near.samples.front().holdMark);
    EXPECT_TRUE(standList[0].occupied);
    EXPECT_EQ(near.parkedAt, w.now.toBits());
    // Only the aircraft that parked goes to the data step's coupled-callsign check.
    EXPECT_EQ(w.engine.arrivalsList, std::deque<std::uint32_t>{0x1002});
}

// The stand of a parked arrival is occupied: the next arrival is not offered it,
// and one that reaches it anyway is removed while the stand stays occupied.
TEST_F(StandArrival, SecondArrivalFindsTheStandOccupied) {
    LiveAc& first = driving(0x1001, "SWR1", 0.5);
    lf_arriveAtStand(w.engine, first);
    ASSERT_TRUE(standList[0].occupied);
    LiveAc& second = driving(0x1002, "SWR2", 0.5);
    auto offered = gf_findFreeStand({standList[0].latitude, standList[0].longitude}, second, kStandAtPositionNm, false);
    EXPECT_EQ(offered, standList.end());
    lf_arriveAtStand(w.engine, second);
    EXPECT_EQ(second.simState, AcSimState::RemovingFromSim);
    EXPECT_TRUE(standList[0].occupied);
    EXPECT_EQ(w.rig.live(0x1001)->moveState, AcMoveState::Parked);
}

TEST_F(StandArrival, LeavingFreesTheStand) {
    LiveAc& ac = driving(0x1001, "SWR1", 0.5);
    lf_arriveAtStand(w.engine, ac);
    ASSERT_TRUE(standList[0].occupied);
    lf_leaveParked(ac);
    EXPECT_FALSE(standList[0].occupied);
    auto offered = gf_findFreeStand({standList[0].latitude, standList[0].longitude}, ac, kStandAtPositionNm, false);
    ASSERT_NE(offered, standList.end());
    EXPECT_EQ(offered->name, "S1");
}

// An aircraft that pulled out keeps naming its stand while it taxies away; the
// aircraft that parks there after it holds the stand, so the first one's later
// removal leaves the stand taken and the next arrival is not offered it.
TEST_F(StandArrival, TheRemovalOfAnAircraftThatLeftItsStandLeavesTheNextOneParked) {
    lf_arriveAtStand(w.engine, driving(0x1001, "SWR20", 0.5));
    LiveAc& left = *w.rig.live(0x1001);
    lf_leaveParked(left);
    left.moveState = AcMoveState::Taxi;
    ASSERT_FALSE(standList[0].occupied);
    ASSERT_EQ(left.standId, standList[0].id);

    lf_arriveAtStand(w.engine, driving(0x1002, "SWR30", 0.5));
    ASSERT_EQ(w.rig.live(0x1002)->moveState, AcMoveState::Parked);
    removeAircraftFromSim(w.engine, *w.rig.live(0x1001));
    EXPECT_TRUE(standList[0].occupied);
    LiveAc& next = driving(0x1003, "SWR40", 0.5);
    EXPECT_EQ(gf_findFreeStand({standList[0].latitude, standList[0].longitude}, next, kStandAtPositionNm, false),
              standList.end());

    // Its holder leaving frees it.
    lf_leaveParked(*w.rig.live(0x1002));
    EXPECT_FALSE(standList[0].occupied);
}

TEST_F(StandArrival, CargoAircraftMarksANonCargoStandOnce) {
    LiveAc& ac = driving(0x1001, "SWR1", 0.5);
    ac.cargo = true;
    lf_arriveAtStand(w.engine, ac);
    EXPECT_TRUE(standList[0].cargo);
    EXPECT_TRUE(standList[0].cargoChanged);
    const std::int32_t updates = learningUpdateCount.load();
    lf_learnCargoStand(ac);
    EXPECT_EQ(learningUpdateCount.load(), updates);
    EXPECT_TRUE(w.log.contains("===> TEST stand: S1, cargo attribute set to true, " + ac.logLabel() + " parked here"));
}

TEST_F(StandArrival, NothingSoftIsLearnedWithLearnSoftOff) {
    LEARN_SOFT.value = false;
    lowQualityFile = true;
    LiveAc& ac = driving(0x1001, "SWR1", 0.5);
    ac.standId = 0;
    std::size_t options = 0;
    for (const Stand& s : standList) options += s.options.size();
    lf_learnSoftOption(w.engine, ac, true);
    std::size_t after = 0;
    for (const Stand& s : standList) after += s.options.size();
    EXPECT_EQ(after, options);
    EXPECT_TRUE(learnedOptionList.empty());
}

// Near a park airport whose file is of low quality, an aircraft without a stand
// that stops (or, forced, takes off) teaches a soft option on a free stand that
// fits it; high above the airport it teaches nothing unless forced.
TEST_F(StandArrival, SoftOptionsAreLearnedWhereAnAircraftCouldHaveStood) {
    struct Row {
        const char* what;
        double aboveAirportFt;  // 0: on the ground
        bool forced;
        bool learns;
    };
    const Row rows[] = {
        {"on the ground", 0.0, false, true},
        {"3000 ft above the airport", 3000.0, false, false},
        {"3000 ft above the airport, forced", 3000.0, true, true},
    };
    LEARN_SOFT.value = true;
    const double airportFt = gf_parkAirport().alt;
    std::uint32_t hexid = 0x2000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // Stands without options are in use at no time of the week.
        for (Stand& s : standList) {
            s.options.clear();
            s.softLearning.clear();
        }
        lowQualityFile = true;
        learnedOptionList.clear();
        LiveAc& ac = driving(++hexid, "EZY1", 0.5);
        ac.standId = 0;
        ac.registration = "G-EZAA";
        ac.samples.front().altitude = row.aboveAirportFt > 0.0 ? airportFt + row.aboveAirportFt : 0.0;
        lf_learnSoftOption(w.engine, ac, row.forced);
        std::size_t soft = 0;
        for (const Stand& s : standList) {
            soft += static_cast<std::size_t>(std::count_if(s.options.begin(), s.options.end(), [](const StandOption& o) {
                return o.real == 0 && o.registration == "G-EZAA";
            }));
        }
        EXPECT_EQ(soft, row.learns ? 1u : 0u);
        EXPECT_EQ(learnedOptionList.size(), row.learns ? 1u : 0u);
    }
}

}  // namespace
}  // namespace clv::test
