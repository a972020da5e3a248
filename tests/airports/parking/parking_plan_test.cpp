// Reading the park airport's file and planning its static parked aircraft.
#include <gtest/gtest.h>

#include "parking_world.h"

namespace clv::test {
namespace {

TEST(ParkingPlan, MaxParkIsAShareOfTheStands) {
    struct Case {
        int stands;
        int percentage;
        int customMaxPark;
        int customPercentage;
        std::int32_t expected;
        std::int32_t shown;
    };
    for (const Case& c : {Case{1, 0, -1, -1, 1, 0}, Case{1, 100, -1, -1, 1, 100}, Case{3, 40, -1, -1, 1, 40},
                          Case{3, 50, -1, -1, 2, 50}, Case{200, 30, -1, -1, 60, 30}, Case{200, 30, 25, -1, 25, 13},
                          Case{200, 30, -1, 50, 100, 50}, Case{0, 30, 25, -1, 1, 0}}) {
        ParkingWorld w;
        for (int i = 0; i < c.stands; ++i) w.addStand(fmt::format("S{}", i), {});
        parking_percentage.value = c.percentage;
        CUSTOM_MAX_PARK.value = c.customMaxPark;
        CUSTOM_PARKING_PERCENTAGE.value = c.customPercentage;
        const std::string what = fmt::format("{} stands at {}%, custom {}", c.stands, c.percentage, c.customMaxPark);
        EXPECT_EQ(gf_maxPark(), c.expected) << what;
        EXPECT_EQ(w.figures.maxPark, c.expected) << what;
        EXPECT_EQ(w.figures.maxParkPercentage, c.shown) << what;
        EXPECT_EQ(shownMaxPark.load(), c.expected) << what;
    }
}

TEST(ParkingPlan, AGoodFileSwitchesSoftLearningOff) {
    struct Case {
        int stands;
        int quality;
        bool low;
    };
    for (const Case& c : {Case{20, 45, false}, Case{20, 44, true}, Case{19, 45, true}}) {
        FileWorld w;
        w.parkAt(c.stands, c.quality);
        LEARN_SOFT.value = true;
        apfParamsChanged = false;
        ASSERT_EQ(lf_readParkedFile(), "");
        EXPECT_EQ(lowQualityFile, c.low) << c.stands << " stands, quality " << c.quality;
        EXPECT_EQ(LEARN_SOFT.value.get(), c.low);
        EXPECT_EQ(apfParamsChanged, !c.low);
        EXPECT_EQ(gf_nullUiPort().control(LEARN_SOFT.handle.load()).enabled, c.low);
        EXPECT_TRUE(w.figures.fileRead);
        EXPECT_EQ(w.figures.airportName, "Test Field");
    }
}

TEST(ParkingPlan, AFileThatCannotBeFoundOrHasNoPublisherIsAnError) {
    FileWorld w;
    w.addAirport("NONE", 1.0, 1.0, false);
    lf_announceParkAirport("NONE");
    EXPECT_EQ(lf_readParkedFile(), "lf_readParkedFile NONE not found");
    w.apfPaths["NONE"] = "airports/unknown/NONE.xml";
    EXPECT_EQ(lf_readParkedFile(), "lf_readParkedFile NONE has publisher:unknown, airports/unknown/NONE.xml");
}

TEST(ParkingPlan, TheUsersStandBecomesTheReservedStandAndStaysFree) {
    FileWorld w;
    w.parkAt(10, 60);
    w.user.onGround = true;
    w.user.onGroundKnown = true;
    w.userStand = "S3";
    ASSERT_EQ(lf_readParkedFile(), "");
    ASSERT_EQ(w.parkList.size(), 1u);
    EXPECT_EQ(w.parkList[0].code, "TEST");
    EXPECT_EQ(w.parkList[0].reservedStand, "S3");
    EXPECT_EQ(reservedStand, "S3");
    EXPECT_TRUE(w.figures.reservedStandShown);

    parking_percentage.value = 100;
    lf_planStaticParking(w.engine);
    EXPECT_EQ(parkPlan.size(), 9u);
    for (const ParkPlanEntry& e : parkPlan) EXPECT_NE(gf_standName(e.standId), "S3");
    EXPECT_TRUE(standList[2].excluded);
}

// The stand the user aircraft stands on is left out of the plan, also when the
// reserved stand is another one.
TEST(ParkingPlan, TheUsersOwnStandAndTheReservedStandAreLeftOutOfThePlan) {
    struct Case {
        std::string reserved;
        std::string user;
        std::vector<std::string> left;
    };
    const std::vector<Case> cases{
        {"", "", {}}, {"", "S3", {"S3"}}, {"S1", "S3", {"S1", "S3"}}, {"S1", "S1", {"S1"}}, {"S1", "", {"S1"}},
    };
    for (const Case& c : cases) {
        ParkingWorld w;
        for (int i = 1; i <= 4; ++i) {
            w.addStand(fmt::format("S{}", i), {identOption(1, 3, {20}, "SWR", "A320", fmt::format("SWR{}", i))},
                       47.0 + i * 0.01);
        }
        parking_percentage.value = 100;
        reservedStand = c.reserved;
        w.userStand = c.user;
        lf_planStaticParking(w.engine);
        std::vector<std::string> planned;
        for (const ParkPlanEntry& e : parkPlan) planned.push_back(gf_standName(e.standId));
        const std::string what = "reserved \"" + c.reserved + "\", user on \"" + c.user + "\"";
        EXPECT_EQ(planned.size(), 4 - c.left.size()) << what;
        for (const std::string& name : c.left) {
            EXPECT_EQ(std::count(planned.begin(), planned.end(), name), 0) << what << ": " << name;
            EXPECT_TRUE(standList[static_cast<std::size_t>(name[1] - '1')].excluded) << what << ": " << name;
        }
    }
    reservedStand.clear();
}

TEST(ParkingPlan, AReservedStandTheFileDoesNotHaveIsDropped) {
    FileWorld w;
    w.parkAt(5, 60);
    ParkSite entry = w.airports["TEST"];
    entry.reservedStand = "Z99";
    w.parkList.push_back(entry);
    ASSERT_EQ(lf_readParkedFile(), "");
    EXPECT_EQ(reservedStand, "");
    EXPECT_FALSE(w.figures.reservedStandShown);
}

TEST(ParkingPlan, ThePlanIsCutBackToWantedAndTheDroppedStandsStayTaken) {
    FileWorld w;
    w.parkAt(10, 60);
    ASSERT_EQ(lf_readParkedFile(), "");
    parking_percentage.value = 30;
    lf_planStaticParking(w.engine);
    EXPECT_EQ(parkPlan.size(), 3u);
    EXPECT_EQ(std::count_if(standList.begin(), standList.end(), [](const Stand& s) { return s.taken; }), 10);
    EXPECT_TRUE(parkingBusy.load()) << "locked until the plan is placed";
    EXPECT_TRUE(w.log.contains("10 real positions found, Max fit=24 hours, day 3, hh:20 or 10.5 hrs fit: 0.5 hour"));
    EXPECT_TRUE(w.log.contains("3 positions (30% vs wanted 30%, with Max fit=24 hours)"));
    const auto lines = w.log.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.ends_with(" (utc) It is day 3 (Wed), 10.5 hours");
    }));
    EXPECT_EQ(lastRealFit, 0);
    EXPECT_EQ(lastSoftFit, -1);
}

// A pass that finds more than it still needs cuts the plan back to wanted minus
// the aircraft already there; the stands of the dropped entries stay taken.
TEST(ParkingPlan, APassCutsThePlanBackToWhatIsStillWanted) {
    struct Case {
        std::int32_t wanted;
        std::int32_t already;
        std::size_t planned;
    };
    for (const Case& c : {Case{5, 2, 3}, Case{6, 0, 6}, Case{4, 0, 4}, Case{6, 5, 1}, Case{3, 1, 2}}) {
        ParkingWorld w;
        for (int i = 1; i <= 6; ++i) {
            w.addStand(fmt::format("S{}", i), {identOption(1, 3, {20}, "SWR", "A320", fmt::format("SWR{}", i))},
                       47.0 + i * 0.01);
        }
        lf_planPass(w.engine, w.now, c.wanted, c.already, kRealOptions);
        EXPECT_EQ(parkPlan.size(), c.planned) << "wanted " << c.wanted << ", already " << c.already;
        EXPECT_EQ(std::count_if(standList.begin(), standList.end(), [](const Stand& s) { return s.taken; }), 6)
            << "wanted " << c.wanted << ", already " << c.already;
    }
}

TEST(ParkingPlan, MaxFitZeroSearchesOnlyTheCurrentHalfHour) {
    for (const auto& [maxFit, planned] : {std::pair<int, std::size_t>{0, 1}, {1, 2}}) {
        ParkingWorld w;
        AirportLog log;
        w.addStand("NOW", {identOption(1, 3, {20}, "SWR", "A320", "SWR1")}, 47.0);
        w.addStand("BEFORE", {identOption(1, 3, {19}, "SWR", "A320", "SWR2")}, 47.1);
        w.addStand("EMPTY", {}, 47.2);
        parking_percentage.value = 100;
        MAX_FIT.value = maxFit;
        lf_planStaticParking(w.engine);
        EXPECT_EQ(parkPlan.size(), planned) << maxFit;
        EXPECT_EQ(lastRealFit, maxFit);
        if (maxFit == 0) {
            EXPECT_TRUE(log.contains("1 real position found, Max fit=0.5 hours, day 3, hh:20 or 10.5 hrs fit: 0.5 hour"));
        }
    }
}

TEST(ParkingPlan, EachPassLogsItsKindItsDayAndTheFitItReached) {
    struct Case {
        const char* what;
        std::vector<StandOption> real;
        std::vector<StandOption> soft;
        bool week;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases{
        {"the whole week",
         {identOption(1, 5, {20}, "SWR", "A320", "SWR1")},
         {},
         true,
         {"1 real position found, Max fit=24 hours, week, hh:20 or 10.5 hrs fit: 0.5 hour"}},
        // The real pass runs up to the last fit without reaching two stands;
        // the soft one reaches them two half-hours back.
        {"a soft pass after a real one",
         {identOption(1, 3, {20}, "SWR", "A320", "SWR1")},
         {identOption(1, 3, {18}, "EZY", "A319", "", "", "", 0)},
         false,
         {"1 real position found, Max fit=24 hours, day 3, hh:20 or 10.5 hrs fit: 24 hour",
          "1 soft position found, Max fit=24 hours, day 3, hh:20 or 10.5 hrs fit: 1.5 hour"}},
    };
    for (const Case& c : cases) {
        ParkingWorld w;
        AirportLog log;
        w.addStand("R", c.real, 47.0);
        if (!c.soft.empty()) w.addStand("S", c.soft, 47.1);
        parking_percentage.value = 100;
        WEEK.value = c.week;
        PARK_SOFT.value = true;
        lf_planStaticParking(w.engine);
        for (const std::string& line : c.lines) EXPECT_TRUE(log.contains(line)) << c.what << ": " << line;
    }
}

TEST(ParkingPlan, ThePlanIsPlacedSmallestFitFirstFromTheBack) {
    ParkingWorld w;
    w.addStand("A", {identOption(1, 3, {17}, "SWR", "A320", "SWR1")}, 47.0);
    w.addStand("B", {identOption(1, 3, {20}, "SWR", "A320", "SWR2")}, 47.1);
    w.addStand("C", {identOption(1, 3, {19}, "SWR", "A320", "SWR3")}, 47.2);
    parking_percentage.value = 100;
    lf_planStaticParking(w.engine);
    ASSERT_EQ(parkPlan.size(), 3u);
    EXPECT_EQ(parkPlan[0].fit, 3u);
    EXPECT_EQ(parkPlan[1].fit, 1u);
    EXPECT_EQ(parkPlan[2].fit, 0u);
}

TEST(ParkingPlan, SoftOptionsFillUpWhenAllowed) {
    for (const bool soft : {false, true}) {
        ParkingWorld w;
        w.addStand("R", {identOption(1, 3, {20}, "SWR", "A320", "SWR1")}, 47.0);
        w.addStand("S", {identOption(1, 3, {15}, "EZY", "A319", "", "", "", 0)}, 47.1);
        parking_percentage.value = 100;
        PARK_SOFT.value = soft;
        lf_planStaticParking(w.engine);
        EXPECT_EQ(parkPlan.size(), soft ? 2u : 1u);
        EXPECT_EQ(lastSoftFit, soft ? 5 : -1);
        EXPECT_EQ(w.figures.softParking, soft);
    }
}

TEST(ParkingPlan, NothingToPlanUnlocksAtOnce) {
    ParkingWorld w;
    AirportLog log;
    w.addStand("A", {identOption(1, 4, {20}, "SWR", "A320")});
    gf_lockParkingControls();
    lf_planStaticParking(w.engine);
    EXPECT_TRUE(parkPlan.empty());
    EXPECT_FALSE(parkingBusy.load());
    EXPECT_TRUE(log.contains("no parking positions found"));
    EXPECT_EQ(w.minutesShown.back(), 19);
}

TEST(ParkingPlan, APlanStartsAfreshWithTheCallsignsHeardSinceTheCalculationBegan) {
    ParkingWorld w;
    w.addStand("A", {identOption(1, 3, {20}, "SWR", "A320", "SWR1", "", "HB-IJK")}, 47.0);
    w.addStand("B", {identOption(1, 3, {20}, "SWR", "A320", "SWR2")}, 47.1);
    parking_percentage.value = 100;
    standList[0].options[0].planSkip = true;  // left from an earlier plan
    w.heardCallsigns = {"SWR2_"};
    lf_planStaticParking(w.engine);
    ASSERT_EQ(parkPlan.size(), 1u);
    EXPECT_EQ(parkPlan[0].callsign, "SWR1");
    EXPECT_EQ(w.staticFits.front(), -1.0f);
    EXPECT_EQ(w.liveFits.front(), -1.0f);
}

}  // namespace
}  // namespace clv::test
