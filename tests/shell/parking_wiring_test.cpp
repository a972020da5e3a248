// Static parking as the program wires it: the engine's parking port, the main
// window's parking panel and busy mark, and the run's airport services.
#include <gtest/gtest.h>

#include "airports/parking/airport_data.h"
#include "airports/parking/apf_reader.h"
#include "airports/parking/learned_files.h"
#include "airports/parking/live_stands.h"
#include "airports/parking/park_airports.h"
#include "airports/parking/park_state.h"
#include "airports/parking/static_parking.h"
#include "link/sim_client.h"
#include "shell/main_window.h"
#include "shell/parking_wiring.h"
#include "support/temp_folder.h"
#include "traffic/traffic_service.h"

namespace clv::test {
namespace {

class ParkingWiring : public ::testing::Test {
protected:
    void SetUp() override {
        gf_resetMainWindowState();
        gf_resetPanelFigures();
        gf_wireParking(services);
    }
    void TearDown() override {
        gf_setRemoveAcAtStand({});
        gf_resetParkAirportState();
        gf_setParkingHooks({});
        gf_setParkingPort(nullptr);
        apfReadHooks = {};
        gf_resetPanelFigures();
    }
    RunServices services;
};

TEST_F(ParkingWiring, TheEngineParksAtTheParkAirport) {
    ParkSite park;
    park.code = "LSZH";
    park.iata = "ZRH";
    park.alt = 1416;
    gf_parkingHooks().setCurrentParkAirport(park);
    EXPECT_EQ(gf_trafficEngine().parking().parkAirportIata(), "ZRH");
    EXPECT_EQ(gf_trafficEngine().parking().parkAirportElevation(), std::optional<double>(1416.0));
    EXPECT_TRUE(services.airports.parkAirportSet());
    EXPECT_EQ(apfReadHooks.parkAirportCode(), "LSZH");
    standList.emplace_back("E12", std::vector<StandOption>{}, 47.0, 8.0, 0.0, 30.0, StandKinds{});
    standList.back().id = 1;
    EXPECT_EQ(gf_trafficEngine().parking().standName(1), "E12");
    EXPECT_FALSE(services.airports.parkStandsEmpty());
    parkPlan.push_back(ParkPlanEntry{});
    EXPECT_FALSE(gf_trafficEngine().parking().staticPlanEmpty());
}

TEST_F(ParkingWiring, ThePanelShowsTheParkAirportsFigures) {
    ParkSite park;
    park.code = "LSZH";
    park.iata = "ZRH";
    gf_parkingHooks().setCurrentParkAirport(park);
    apfReadHooks.fileRead(ApfReadReport{450, "stock", true, "61", 1416});
    ParkingFigures figures;
    figures.airportName = "Zurich";
    figures.fileRead = true;
    figures.softParking = true;
    figures.maxPark = 135;
    figures.maxParkPercentage = 30;
    figures.reservedStand = "E12";
    figures.reservedStandShown = true;
    gf_showParkingFigures(figures);
    const ParkingPanel panel = mainWindow.parkingPanel();
    EXPECT_EQ(panel.airportName, "LSZH (ZRH)");
    EXPECT_EQ(panel.text1, "Zurich");
    EXPECT_EQ(panel.text2, "stock");
    EXPECT_EQ(panel.quality, "61");
    EXPECT_TRUE(panel.handmade);
    EXPECT_EQ(panel.standCount, 450u);
    EXPECT_TRUE(panel.ready);
    EXPECT_TRUE(panel.staticPlanMark);
    EXPECT_EQ(panel.maxPark, 135);
    EXPECT_EQ(panel.maxParkPercentage, 30);
    EXPECT_EQ(panel.reservedStand, "E12");
    EXPECT_TRUE(mainWindow.parkingActive.load());

    gf_lockParkingControls();
    EXPECT_EQ(mainWindow.parkingBusy.load(), 1);
    EXPECT_TRUE(services.airports.parkingBusy());
    gf_unlockParkingControls();
    EXPECT_EQ(mainWindow.parkingBusy.load(), 0);
    EXPECT_EQ(mainWindow.minutesToNext.load(), 19);

    gf_leaveParkAirport();
    EXPECT_EQ(mainWindow.parkingPanel().airportName, "");
    EXPECT_FALSE(mainWindow.parkingPanel().ready);
}

// "# updates" counts what learning changed in the park airport's file since it
// was read: each learned option at once, and 0 again once the file is saved or
// the airport left.
TEST_F(ParkingWiring, ThePanelCountsTheLearnedUpdates) {
    ParkSite park;
    park.code = "LSZH";
    gf_parkingHooks().setCurrentParkAirport(park);
    standList.emplace_back("E12", std::vector<StandOption>{}, 47.0, 8.0, 0.0, 30.0, StandKinds{});
    standList.back().id = 1;
    AcData data;
    data.callsign = "SWR12";
    data.registration = "HB-JLT";
    data.airline = "SWR";
    data.type = "A320";
    LiveAc ac(PosSample{}, std::move(data), 0.0);
    ac.hexid = 0x4B1801;
    learningUpdateCount = 0;

    ASSERT_TRUE(lf_addRealParkPosOption(1, ac, true, Slot{3, 20}, false));
    EXPECT_EQ(mainWindow.parkingPanel().fileUpdateCount, 1);
    ASSERT_TRUE(lf_addRealParkPosOption(1, ac, true, Slot{3, 21}, false));
    EXPECT_EQ(mainWindow.parkingPanel().fileUpdateCount, 2);

    gf_leaveParkAirport();
    EXPECT_EQ(learningUpdateCount.load(), 0);
    EXPECT_EQ(mainWindow.parkingPanel().fileUpdateCount, 0);
}

// A Re-read that finds another reserved stand in the park-airport list shows it
// on the panel at once, not at the next plan.
TEST_F(ParkingWiring, TheReReadShowsTheNewReservedStandOnThePanel) {
    TempFolder work;
    CurrentFolder current{work.path()};
    work.write("airports/my_park_airports.txt", "LSZH,E14\n");
    std::filesystem::create_directories(work / "airports/my_thirdparty");
    g_airports = {Airport{"LSZH", "ZRH", 47.46, 8.55, 1416}};
    ParkSite park;
    park.code = "LSZH";
    park.iata = "ZRH";
    gf_parkingHooks().setCurrentParkAirport(park);
    for (const char* name : {"E12", "E14"}) standList.emplace_back(name, std::vector<StandOption>{}, 47.46, 8.55, 0.0,
                                                                   30.0, StandKinds{});
    reservedStand = "E12";
    ParkingFigures figures;
    figures.fileRead = true;
    figures.reservedStand = "E12";
    figures.reservedStandShown = true;
    gf_showParkingFigures(figures);
    userOnGroundKnown = true;

    std::string message;
    ASSERT_TRUE(services.airports.rereadParkAirports(message));
    EXPECT_EQ(message, "reserved stand changed from \"E12\" to \"E14\"");
    const ParkingPanel panel = mainWindow.parkingPanel();
    EXPECT_EQ(panel.reservedStand, "E14");
    EXPECT_TRUE(panel.reservedStandValid);

    userOnGroundKnown = false;
    {
        std::lock_guard lock(parkAirportsMutex);
        parkAirports.clear();
    }
    gf_forgetAirports();
}

// The Re-read takes the aircraft off a newly reserved stand through its hook: in
// the program that is the engine's removal, the static aircraft first, else the
// live one parked there.
TEST_F(ParkingWiring, TheReReadTakesTheAircraftOffTheReservedStand) {
    standList.emplace_back("E12", std::vector<StandOption>{}, 47.0, 8.0, 0.0, 30.0, StandKinds{});
    standList.back().id = 1;
    TrafficEngine& engine = gf_trafficEngine();
    AcData data;
    data.callsign = "SWR9*";
    StaticAc& parked = engine.staticAc.emplace_back(std::move(data), 1, 47.0, 8.0, 0.0, false);
    parked.simState = AcSimState::Active;
    parked.objectId = 901;

    gf_removeAcAtStandHook("E12");
    EXPECT_EQ(engine.staticAc.front().simState, AcSimState::RemovingFromSim);
    EXPECT_EQ(engine.removalQueue, std::deque<std::uint32_t>{901});
    engine.staticAc.clear();
    engine.removalQueue.clear();
}

}  // namespace
}  // namespace clv::test
