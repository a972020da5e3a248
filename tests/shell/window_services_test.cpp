// The port's controls from any thread, and the requests that the window's
// handlers leave to the run thread instead of touching its data themselves.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "airports/addons/addon_airports.h"
#include "airports/parking/airport_data.h"
#include "airports/parking/park_airports.h"
#include "core/folders.h"
#include "core/parameters.h"
#include "handler_support.h"
#include "liveries/livery_index.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/status_lines.h"
#include "shell/window_services.h"
#include "traffic/traffic_engine.h"
#include "traffic/traffic_service.h"

namespace clv::test {
namespace {

TEST(ControlPort, SettersFromAnyThreadLeaveTheWidgetsToTheUiThread) {
    std::vector<std::function<void()>> queued;  // the UI thread, which does not run yet
    ShellWindow window;
    window.post = [&queued](std::function<void()> call) { queued.push_back(std::move(call)); };
    ShellUiPort port(window);
    constexpr ControlHandle kBox = 9001;
    constexpr ControlHandle kField = 9002;

    // A worker sets them; it returns although the UI thread never ran.
    std::thread worker([&] {
        port.setChecked(kBox, true);
        port.setEnabled(kField, false);
        port.setText(kField, "DLH4AB");
    });
    worker.join();
    EXPECT_TRUE(port.isChecked(kBox));
    EXPECT_FALSE(port.isEnabled(kField));
    EXPECT_EQ(port.getText(kField), "DLH4AB") << "set, not yet shown: the set text counts";
    EXPECT_EQ(queued.size(), 3u);

    for (auto& call : queued) call();  // the UI thread shows them (no widget here)
    EXPECT_EQ(port.getText(kField), "DLH4AB");

    // Controls never set stand as created; no control (0) has no state.
    EXPECT_TRUE(port.isEnabled(9003));
    EXPECT_FALSE(port.isChecked(9003));
    port.setChecked(0, true);
    port.setText(0, "x");
    EXPECT_FALSE(port.isChecked(0));
    EXPECT_FALSE(port.isEnabled(0));
    EXPECT_EQ(port.getText(0), "");
    EXPECT_EQ(queued.size(), 3u);
}

class RunThreadRequestTest : public HandlerTest {
protected:
    void SetUp() override {
        HandlerTest::SetUp();
        gf_installWindowHooks(gf_productWindowHooks());
    }
    void TearDown() override {
        TrafficEngine& engine = gf_trafficEngine();
        engine.liveAc.clear();
        engine.removalQueue.clear();
        engine.runPostedRequests();
        HandlerTest::TearDown();
    }
};

// An active live aircraft `nm` nautical miles north of 47 N 8 E.
LiveAc lf_activeAc(std::uint32_t objectId, double nm) {
    AcData data;
    data.callsign = "TST" + std::to_string(objectId);
    LiveAc ac(PosSample{}, std::move(data), 0.0);
    ac.objectId = objectId;
    ac.simState = AcSimState::Active;
    ac.simPosition.latitude = 47.0 + nm / 60.0;
    ac.simPosition.longitude = 8.0;
    return ac;
}

TEST_F(RunThreadRequestTest, MaxLiveRemovesTheFarthestAircraftOnTheRunThread) {
    TrafficEngine& engine = gf_trafficEngine();
    engine.userAcData.latitude = 47.0;
    engine.userAcData.longitude = 8.0;
    engine.liveAc = {lf_activeAc(101, 30.0), lf_activeAc(102, 2.0), lf_activeAc(103, 12.0)};

    type(MAX_LIVE, "1");  // the UI thread
    for (const LiveAc& ac : engine.liveAc) {
        EXPECT_EQ(ac.simState, AcSimState::Active) << "the UI thread left the live aircraft alone";
    }

    engine.runPostedRequests();  // the run thread at its next tick
    EXPECT_EQ(engine.liveAc[0].simState, AcSimState::RemovingFromSim);
    EXPECT_EQ(engine.liveAc[1].simState, AcSimState::Active) << "the nearest stays";
    EXPECT_EQ(engine.liveAc[2].simState, AcSimState::RemovingFromSim);
    EXPECT_EQ(std::vector<std::uint32_t>(engine.removalQueue.begin(), engine.removalQueue.end()),
              (std::vector<std::uint32_t>{101, 103}));

    // Without a maximum nothing goes.
    engine.liveAc = {lf_activeAc(104, 30.0)};
    type(MAX_LIVE, "");
    engine.runPostedRequests();
    EXPECT_EQ(engine.liveAc[0].simState, AcSimState::Active);
}

TEST_F(RunThreadRequestTest, SimulatorSwitchLeavesTheLiveryIndexToTheRunThread) {
    const bool built = liveryIndexBuilt.load();
    gf_clearLiveryIndexIfRequested();  // nothing left over
    click(MSFS_2020);
    EXPECT_EQ(liveryIndexBuilt.load(), built) << "not cleared by the UI thread";
    EXPECT_TRUE(gf_clearLiveryIndexIfRequested()) << "the run thread clears it at its next safe point";
}

std::string lf_firstParkAirportCode() {
    std::lock_guard lock(parkAirportsMutex);
    return parkAirports.empty() ? std::string() : parkAirports.front().code;
}

// The destination typed into the window: looked up in the airport reference list,
// and made the first park airport by the run thread at its next tick (the refresh
// sorts that list between its steps). Each new destination moves to the front.
TEST_F(RunThreadRequestTest, ATypedDestinationBecomesTheFirstParkAirportOnTheRunThread) {
    g_airports = {Airport{"LSMD", "", 47.3986, 8.6483, 1470.0}, Airport{"LSZH", "ZRH", 47.4647, 8.5492, 1416.0}};
    {
        std::lock_guard lock(parkAirportsMutex);
        parkAirports = {ParkAirport{"LSZH", "E12", 47.4647, 8.5492, 0.0}};
    }
    std::filesystem::create_directories(g_airportsFolder);
    const LatLon lsmd{47.3986, 8.6483};

    type(DESTINATION, "lsmd");
    EXPECT_EQ(mainWindow.status(), "New destination: LSMD");
    EXPECT_EQ(DESTINATION.value.get(), "LSMD");
    EXPECT_EQ(lf_firstParkAirportCode(), "LSZH") << "the UI thread left the list to the run thread";
    gf_trafficEngine().runPostedRequests();
    EXPECT_EQ(lf_firstParkAirportCode(), "LSMD");
    const std::optional<LatLon> first = gf_windowHooks().firstParkAirport();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->lat, lsmd.lat);
    EXPECT_EQ(first->lon, lsmd.lon);
    std::ifstream file(g_myParkAirportsFile);
    std::stringstream lines;
    lines << file.rdbuf();
    EXPECT_EQ(lines.str(), "LSMD\n") << "a new park airport is written";

    type(DESTINATION, "LSZH");
    EXPECT_EQ(mainWindow.status(), "New destination: LSZH");
    gf_trafficEngine().runPostedRequests();
    {
        std::lock_guard lock(parkAirportsMutex);
        ASSERT_EQ(parkAirports.size(), 2u);
        EXPECT_EQ(parkAirports[0].code, "LSZH");
        EXPECT_EQ(parkAirports[0].reservedStand, "E12") << "a listed airport keeps its entry";
        EXPECT_EQ(parkAirports[1].code, "LSMD");
    }

    type(DESTINATION, "LSGG");
    EXPECT_EQ(mainWindow.status(), "destination \"LSGG\" is unknown ...");
    EXPECT_EQ(DESTINATION.value.get(), "LSZH");

    {
        std::lock_guard lock(parkAirportsMutex);
        parkAirports.clear();
    }
    EXPECT_FALSE(gf_windowHooks().firstParkAirport().has_value());
    gf_forgetAirports();
}

TEST_F(RunThreadRequestTest, SimulatorSwitchForgetsWhatTheAddonAirportScanFound) {
    g_addonAirportFound = true;
    click(MSFS_2020);
    EXPECT_FALSE(g_addonAirportFound.load()) << "the next scan reports only its own airports";
    gf_clearLiveryIndexIfRequested();
}

}  // namespace
}  // namespace clv::test
