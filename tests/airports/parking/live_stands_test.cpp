#include "airports/parking/live_stands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "airports/airports_fixture.h"
#include "airports/parking/learned_files.h"
#include "link/sim_client.h"

namespace clv::test {
namespace {

constexpr double kLat = 47.0;
constexpr double kLon = 8.0;

// Degrees of latitude for a distance north: one nautical mile is one minute of arc.
double northDeg(double metres) { return metres / 1852.0 / 60.0; }

Stand standAt(const std::string& name, double metresNorth, double radiusMetres, std::uint32_t id,
              StandKinds kinds = {}) {
    Stand s(name, {}, kLat + northDeg(metresNorth), kLon, 0.0, radiusMetres, kinds);
    s.id = id;
    return s;
}

LiveAc liveAc(std::uint32_t hexid, double radiusNm, AcCategory category = AcCategory::Large) {
    LiveAc ac(PosSample{}, AcData{}, 0.0);
    ac.hexid = hexid;
    ac.radius = radiusNm;
    ac.category = category;
    ac.callsign = "ABC123";
    ac.registration = "HB-ABC";
    ac.airline = "ABC";
    ac.type = "A320";
    return ac;
}

class LiveStands : public ::testing::Test {
protected:
    LiveStands() {
        userOnGround = true;
        learningUpdateCount = 0;
    }
    ~LiveStands() override {
        standList.clear();
        gf_standListChanged();
        userOnGround = false;
        learningUpdateCount = 0;
    }
    void setStands(std::vector<Stand> stands) {
        standList = std::move(stands);
        gf_standListChanged();
    }
    AirportLog log_;
    ParkFileState state_;
};

TEST_F(LiveStands, FindByNameAndMarkTakenBlocksTheAdjacentStands) {
    setStands({standAt("A1", 0, 20, 1), standAt("A2", 30, 20, 2), standAt("A3", 60, 20, 3)});
    standList[0].adjacent = {3};
    EXPECT_EQ(gf_findStandByName("B9"), standList.end());
    auto a1 = gf_findStandByName("A1");
    ASSERT_NE(a1, standList.end());
    gf_markStandTaken(*a1);
    EXPECT_TRUE(standList[0].taken);
    EXPECT_FALSE(standList[1].adjacentBlocked);
    EXPECT_TRUE(standList[2].adjacentBlocked);
    EXPECT_FALSE(standList[2].taken);
}

TEST_F(LiveStands, StandNameAtPositionTakesTheNearestWithin55Metres) {
    setStands({standAt("A1", 0, 20, 1), standAt("A2", 40, 20, 2)});
    EXPECT_EQ(gf_standNameAtPosition(kLat + northDeg(15), kLon), "A1");
    EXPECT_EQ(gf_standNameAtPosition(kLat + northDeg(30), kLon), "A2");
    EXPECT_EQ(gf_standNameAtPosition(kLat + northDeg(94), kLon), "A2");
    EXPECT_EQ(gf_standNameAtPosition(kLat + northDeg(96), kLon), "");
    EXPECT_EQ(gf_standNameAtPosition(kLat - northDeg(56), kLon), "");
}

TEST_F(LiveStands, StandNameAtPositionIsEmptyWhileTheUserIsAirborne) {
    setStands({standAt("A1", 0, 20, 1)});
    userOnGround = false;
    EXPECT_EQ(gf_standNameAtPosition(kLat, kLon), "");
    userOnGround = true;
    EXPECT_EQ(gf_standNameAtPosition(kLat, kLon), "A1");
}

// A cached answer of the old list must not outlive the list: the same position
// asked again after the list was replaced gives the stand of the new list.
TEST_F(LiveStands, PositionCacheIsDroppedWhenTheStandListChanges) {
    setStands({standAt("OLD", 0, 20, 1)});
    EXPECT_EQ(gf_standNameAtPosition(kLat, kLon), "OLD");
    setStands({standAt("NEW", 0, 20, 1)});
    EXPECT_EQ(gf_standNameAtPosition(kLat, kLon), "NEW");
    standList.clear();
    gf_standListChanged();
    EXPECT_EQ(gf_standNameAtPosition(kLat, kLon), "");
}

// The SimConnect thread asks while the run thread empties and re-reads the list.
TEST_F(LiveStands, StandNameAtPositionFromAnotherThreadWhileTheListIsReread) {
    setStands({standAt("A1", 0, 20, 1)});
    constexpr int kAsks = 2000;
    std::atomic<bool> done{false};
    std::atomic<int> validAnswers{0};
    std::thread asker([&] {
        for (int i = 0; i < kAsks; ++i) {
            const std::string name = gf_standNameAtPosition(kLat + northDeg(i % 3), kLon);
            if (name == "A1" || name == "B1" || name.empty()) ++validAnswers;
        }
        done = true;
    });
    for (int round = 0; !done.load(); ++round) {
        standList.clear();
        gf_standListChanged();
        standList.push_back(standAt(round % 2 ? "A1" : "B1", 0, 20, 1));
        gf_standListChanged();
    }
    asker.join();
    EXPECT_EQ(validAnswers.load(), kAsks);
}

TEST_F(LiveStands, TooSmallStandIsTakenWithin20MetresAndLearnsTheRadius) {
    const double standRadiusMetres = 0.019 * 1852.0;
    setStands({standAt("S10", 10, standRadiusMetres, 1)});
    const LiveAc ac = liveAc(1, 0.02);
    auto found = gf_findFreeStand({kLat, kLon}, ac, 1.0, false);
    ASSERT_NE(found, standList.end());
    EXPECT_EQ(found->name, "S10");
    EXPECT_NEAR(standList[0].radius, 0.02 - 1.0 / 1852.0, 1e-12);
    EXPECT_TRUE(standList[0].radiusChanged);
    EXPECT_EQ(learningUpdateCount.load(), 1);

    setStands({standAt("S30", 30, standRadiusMetres, 1)});
    EXPECT_EQ(gf_findFreeStand({kLat, kLon}, ac, 1.0, false), standList.end());
    EXPECT_FALSE(standList[0].radiusChanged);
    EXPECT_EQ(learningUpdateCount.load(), 1);
}

TEST_F(LiveStands, FreeStandIsTheNearestFittingUnoccupiedOneInRange) {
    setStands({standAt("FAR", 200, 30, 1), standAt("NEAR", 50, 30, 2), standAt("BUSY", 10, 30, 3),
               standAt("SMALL", 25, 5, 4)});
    standList[2].occupied = true;
    const LiveAc ac = liveAc(1, 15.0 / 1852.0);
    auto found = gf_findFreeStand({kLat, kLon}, ac, 1.0, false);
    ASSERT_NE(found, standList.end());
    EXPECT_EQ(found->name, "NEAR");
    // Out of range only a stand naming the aircraft within 85 m is a second choice.
    EXPECT_EQ(gf_findFreeStand({kLat, kLon}, ac, 0.001, false), standList.end());
    EXPECT_EQ(gf_findFreeStand({kLat, kLon}, ac, 0.001, true), standList.end());
    StandOption named = option(1, 3, {10});
    named.callsign = "ABC123";
    standList[1].options.push_back(named);
    found = gf_findFreeStand({kLat, kLon}, ac, 0.001, true);
    ASSERT_NE(found, standList.end());
    EXPECT_EQ(found->name, "NEAR");
}

TEST_F(LiveStands, HelipadsAreForRotorcraftOnly) {
    struct Case {
        bool gate;
        bool helipad;
        AcCategory category;
        const char* expected;
    };
    const Case cases[] = {
        {true, true, AcCategory::Rotorcraft, "H1"},
        {true, false, AcCategory::Rotorcraft, ""},
        {true, true, AcCategory::Large, "G1"},
        {false, true, AcCategory::Large, ""},
    };
    for (const Case& c : cases) {
        std::vector<Stand> stands;
        if (c.gate) stands.push_back(standAt("G1", 20, 30, 1));
        if (c.helipad) stands.push_back(standAt("H1", -20, 30, 2, StandKinds{false, false, true}));
        setStands(std::move(stands));
        const LiveAc ac = liveAc(1, 10.0 / 1852.0, c.category);
        auto found = gf_findFreeStand({kLat, kLon}, ac, 1.0, false);
        EXPECT_EQ(found == standList.end() ? std::string() : found->name, c.expected)
            << c.gate << c.helipad << static_cast<int>(c.category);
    }
}

TEST_F(LiveStands, RealOptionNeedsRegistrationAndCallsign) {
    setStands({standAt("A1", 0, 30, 1)});
    LiveAc ac = liveAc(7, 0.01);
    ac.registration.clear();
    EXPECT_FALSE(lf_addRealParkPosOption(1, ac, true, Slot{3, 20}, false));
    ac = liveAc(7, 0.01);
    ac.callsign.clear();
    EXPECT_FALSE(lf_addRealParkPosOption(1, ac, true, Slot{3, 20}, false));
    EXPECT_FALSE(lf_addRealParkPosOption(9, liveAc(7, 0.01), true, Slot{3, 20}, false));
    EXPECT_TRUE(standList[0].options.empty());
    EXPECT_TRUE(standList[0].realLearning.empty());
    EXPECT_EQ(learningUpdateCount.load(), 0);
}

TEST_F(LiveStands, RealOptionIsLearnedAndWidenedHalfHourByHalfHour) {
    setStands({standAt("A1", 0, 30, 1)});
    const LiveAc ac = liveAc(7, 0.01);
    EXPECT_TRUE(lf_addRealParkPosOption(1, ac, true, Slot{3, 20}, false));
    ASSERT_EQ(standList[0].options.size(), 1u);
    const StandOption& o = standList[0].options[0];
    EXPECT_EQ(o.weekday, 3u);
    EXPECT_EQ(o.registration, "HB-ABC");
    EXPECT_TRUE(o.hours.test(20));
    EXPECT_EQ(standList[0].realLearning.at(7).halfHour, 20u);

    EXPECT_FALSE(lf_addRealParkPosOption(1, ac, true, Slot{3, 20}, false));  // already known
    // Two half-hours later: the gap is filled.
    EXPECT_TRUE(lf_addRealParkPosOption(1, ac, true, Slot{3, 22}, false));
    EXPECT_EQ(gf_bitset2hours(standList[0].options[0].hours), "20,21,22");
    EXPECT_EQ(standList[0].realLearning.at(7).halfHour, 22u);
    // Three hours later nothing is widened and the record keeps its time.
    EXPECT_TRUE(lf_addRealParkPosOption(1, ac, true, Slot{3, 28}, false));
    EXPECT_EQ(gf_bitset2hours(standList[0].options[0].hours), "20,21,22,28");
    EXPECT_EQ(standList[0].realLearning.at(7).halfHour, 22u);
    // Leaving ends the record.
    EXPECT_TRUE(lf_addRealParkPosOption(1, ac, true, Slot{3, 29}, true));
    EXPECT_EQ(standList[0].realLearning.count(7), 0u);
    EXPECT_EQ(learningUpdateCount.load(), 4);
}

TEST_F(LiveStands, FixedOptionIsNeverWidened) {
    setStands({standAt("A1", 0, 30, 1)});
    StandOption fixed = option(1, 3, {10});
    fixed.registration = "HB-ABC";
    fixed.fixed = 1;
    standList[0].options.push_back(fixed);
    EXPECT_FALSE(lf_addRealParkPosOption(1, liveAc(7, 0.01), true, Slot{3, 11}, false));
    EXPECT_EQ(gf_bitset2hours(standList[0].options[0].hours), "10");
}

TEST_F(LiveStands, BadHalfHourIsLoggedAndGivesFalse) {
    setStands({standAt("A1", 0, 30, 1)});
    EXPECT_FALSE(lf_addRealParkPosOption(1, liveAc(7, 0.01), true, Slot{3, 48}, false));
    EXPECT_TRUE(log_.contains("===> lf_addRealParkPosOption: hh_now: 48, invalid bitset position"));
}

// Seen at half-hour 46 of weekday 3, then at half-hour 1 of weekday 4 (k = 3).
TEST_F(LiveStands, WideningAcrossMidnightFillsBothDays) {
    setStands({standAt("A1", 0, 30, 1)});
    const LiveAc ac = liveAc(7, 0.01);
    ASSERT_TRUE(lf_addRealParkPosOption(1, ac, true, Slot{3, 46}, false));
    Stand& stand = standList[0];
    LearnRecord& record = stand.realLearning.at(7);
    lf_extendLearnedOption(Slot{4, 1}, stand, stand.options[0].id, record, ac, 1);
    ASSERT_EQ(stand.options.size(), 2u);
    EXPECT_EQ(stand.options[0].weekday, 3u);
    EXPECT_EQ(gf_bitset2hours(stand.options[0].hours), "46,47");
    EXPECT_EQ(stand.options[1].weekday, 4u);
    EXPECT_EQ(gf_bitset2hours(stand.options[1].hours), "0,1");
    EXPECT_EQ(record.laterId, stand.options[1].id);
    EXPECT_EQ(record.weekday, 4u);
    EXPECT_EQ(record.halfHour, 1u);
    // From weekday 7 the next day is weekday 1.
    LearnRecord late{7, 47, 0};
    lf_extendLearnedOption(Slot{1, 0}, stand, stand.options[0].id, late, ac, 1);
    EXPECT_EQ(late.weekday, 1u);
    EXPECT_EQ(late.halfHour, 0u);
}

TEST_F(LiveStands, GapOfMoreThanFiveHalfHoursWidensNothing) {
    setStands({standAt("A1", 0, 30, 1)});
    const LiveAc ac = liveAc(7, 0.01);
    standList[0].options.push_back(option(1, 3, {10}));
    LearnRecord record{3, 10, 0};
    lf_extendLearnedOption(Slot{3, 16}, standList[0], 1, record, ac, 1);
    EXPECT_EQ(gf_bitset2hours(standList[0].options[0].hours), "10");
    EXPECT_EQ(record.halfHour, 10u);
    lf_extendLearnedOption(Slot{3, 15}, standList[0], 1, record, ac, 1);
    EXPECT_EQ(gf_bitset2hours(standList[0].options[0].hours), "10,11,12,13,14,15");
}

TEST_F(LiveStands, SoftOptionIsLearnedOnceAndWithoutRegistration) {
    setStands({standAt("A1", 0, 30, 1)});
    LiveAc ac = liveAc(7, 0.01);
    ac.registration.clear();
    EXPECT_TRUE(lf_addSoftParkPosOption(1, ac, true, Slot{2, 5}));
    ASSERT_EQ(standList[0].options.size(), 1u);
    EXPECT_EQ(standList[0].options[0].real, 0u);
    EXPECT_EQ(standList[0].softLearning.count(7), 1u);
    EXPECT_TRUE(standList[0].realLearning.empty());
    EXPECT_FALSE(lf_addSoftParkPosOption(1, ac, true, Slot{2, 5}));
    EXPECT_TRUE(lf_addSoftParkPosOption(1, ac, true, Slot{2, 6}));
    EXPECT_EQ(gf_bitset2hours(standList[0].options[0].hours), "5,6");
}

}  // namespace
}  // namespace clv::test
