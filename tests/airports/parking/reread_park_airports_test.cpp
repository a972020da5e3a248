// The Re-read of the park airports: the list afresh and a reserved stand that
// changed in the file taken into force at the current park airport.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "airports/airport_world.h"
#include "airports/airports_fixture.h"
#include "airports/parking/park_airports.h"
#include "airports/parking/park_state.h"
#include "airports/parking/static_parking.h"
#include "link/sim_client.h"
#include "link/sim_state.h"

using namespace clv::test;
using clv::Airport;
using clv::Stand;

namespace {

class RereadTest : public AirportsTest {
protected:
    void SetUp() override {
        AirportsTest::SetUp();
        g_airports = {Airport{"EGLL", "LHR", 51.47, -0.46, 83}, Airport{"EHAM", "AMS", 52.31, 4.76, -11}};
        for (const char* name : {"B12", "C3", "D4"}) standList.emplace_back(name, std::vector<clv::StandOption>{},
                                                                          51.47, -0.46, 0.0, 20.0, clv::StandKinds{});
        reservedStand = "C3";
        standList[1].excluded = true;
        gf_setCurrentParkAirport(Airport{"EGLL", "LHR", 51.47, -0.46, 83});
        gf_setRemoveAcAtStand([this](const std::string& name) { removedAt.push_back(name); });
        userOnGroundKnown = true;
        work.write("airports/my_park_airports.txt", "EGLL,B12\nEHAM\n");
        // The panel as the planner last set it: C3 reserved.
        clv::ParkingHooks hooks;
        hooks.showFigures = [this](const clv::ParkingFigures& figures) { shown.push_back(figures); };
        gf_setParkingHooks(hooks);
        clv::ParkingFigures figures;
        figures.airportName = "Heathrow";
        figures.fileRead = true;
        figures.reservedStand = "C3";
        figures.reservedStandShown = true;
        gf_showParkingFigures(figures);
        shown.clear();
    }
    void TearDown() override {
        gf_showParkingFigures(clv::ParkingFigures{});
        gf_setParkingHooks({});
        gf_setRemoveAcAtStand(nullptr);
        gf_clearCurrentParkAirport();
        setUserStand("");
        userOnGroundKnown = false;
        parkingBusy = false;
        reservedStand.clear();
        parkAirports.clear();
        AirportsTest::TearDown();
    }
    static void setUserStand(const std::string& name) {
        std::lock_guard lock(simDisplayMutex);
        simDisplayTexts.userStand = name;
    }
    std::vector<std::string> removedAt;
    std::vector<clv::ParkingFigures> shown;  // each time the panel was given figures
    ParkFileState parkFile;
};

TEST_F(RereadTest, AChangedReservedStandTakesEffect) {
    std::string message;
    ASSERT_TRUE(gf_rereadParkAirports(true, message));
    EXPECT_EQ(message, "reserved stand changed from \"C3\" to \"B12\"");
    EXPECT_EQ(reservedStand, "B12");
    EXPECT_TRUE(standList[0].excluded);
    EXPECT_FALSE(standList[1].excluded);
    EXPECT_EQ(removedAt, (std::vector<std::string>{"B12"}));
    // The panel shows the new stand at once, the rest of its figures kept.
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].reservedStand, "B12");
    EXPECT_TRUE(shown[0].reservedStandShown);
    EXPECT_EQ(shown[0].airportName, "Heathrow");
    EXPECT_TRUE(shown[0].fileRead);
    EXPECT_EQ(gf_parkingFigures().reservedStand, "B12");
    // Nothing changed since: the list is okay.
    message.clear();
    ASSERT_TRUE(gf_rereadParkAirports(true, message));
    EXPECT_EQ(message, "park airports and stands are okay");
    EXPECT_EQ(removedAt.size(), 1u);
    EXPECT_EQ(shown.size(), 1u);
}

// A name the airport has no stand of is taken as written and shown as not valid.
TEST_F(RereadTest, AReservedStandThatIsNoStandHereShowsAsNotValid) {
    work.write("airports/my_park_airports.txt", "EGLL,Z99\nEHAM\n");
    std::string message;
    ASSERT_TRUE(gf_rereadParkAirports(true, message));
    EXPECT_EQ(reservedStand, "Z99");
    EXPECT_FALSE(standList[1].excluded);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].reservedStand, "Z99");
    EXPECT_FALSE(shown[0].reservedStandShown);
}

TEST_F(RereadTest, TheReservedStandWaitsWhileAnyConditionFails) {
    struct Case {
        const char* name;
        std::function<void(RereadTest&)> arrange;
        bool checkStand = true;
    };
    const Case cases[] = {
        {"no stand check", [](RereadTest&) {}, false},
        {"on-ground state unknown", [](RereadTest&) { userOnGroundKnown = false; }},
        {"parking busy", [](RereadTest&) { parkingBusy = true; }},
        {"another park airport", [](RereadTest&) { gf_setCurrentParkAirport(Airport{"EHAM", "", 0, 0, 0}); }},
        {"the user stands on a stand", [](RereadTest&) { setUserStand("D4"); }},
        {"no reserved stand in the file",
         [](RereadTest&) { std::ofstream("airports/my_park_airports.txt") << "EGLL\nEHAM\n"; }},
        {"the same reserved stand", [](RereadTest&) { reservedStand = "B12"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = reservedStand;
        c.arrange(*this);
        std::string message;
        ASSERT_TRUE(gf_rereadParkAirports(c.checkStand, message));
        EXPECT_EQ(message, "park airports and stands are okay");
        EXPECT_TRUE(removedAt.empty());
        EXPECT_TRUE(shown.empty());
        EXPECT_EQ(gf_parkingFigures().reservedStand, "C3");
        // Back to the set-up's state.
        userOnGroundKnown = true;
        parkingBusy = false;
        gf_setCurrentParkAirport(Airport{"EGLL", "LHR", 51.47, -0.46, 83});
        setUserStand("");
        work.write("airports/my_park_airports.txt", "EGLL,B12\nEHAM\n");
        reservedStand = "C3";
    }
}

TEST_F(RereadTest, AnUnknownAirportShowsNoMessage) {
    work.write("airports/my_park_airports.txt", "EGLL,B12\nQQQQ\n");
    std::string message = "before";
    EXPECT_FALSE(gf_rereadParkAirports(true, message));
    EXPECT_EQ(message, "before");
    EXPECT_EQ(reservedStand, "C3");
}

}  // namespace
