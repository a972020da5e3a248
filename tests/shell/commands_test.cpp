// The check boxes and buttons: each click toggles and saves its setting once,
// shows its message, and hands what acts on the run's data to the run thread.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/folders.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "core/stop_flags.h"
#include "link/realtraffic_state.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/run_controller.h"
#include "handler_support.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;

struct ToggleCase {
    ControlParameter<bool>* box;
    // The status line after the click that switched it on, and off; "" cleared,
    // nullptr left as it was.
    const char* statusOn;
    const char* statusOff;
};

TEST_F(HandlerTest, EachClickTogglesSavesAndReportsOnce) {
    const std::vector<ToggleCase> cases{
        {&LOG, nullptr, nullptr},
        {&LIGHT_AIRCRAFT, nullptr, nullptr},
        {&HELICOPTERS, nullptr, nullptr},
        {&HIGH_PERF_AIRCRAFT, nullptr, nullptr},
        {&CALLSIGN_OBJECTIDS, nullptr, nullptr},
        {&STRAIGHT_PBS_ONLY, nullptr, nullptr},
        {&LIG_AUTOMATIC, "", "The liveries defined by your lfolder parameters will be scanned"},
        {&LIG_PRIORITIZE, "Liveries in lower lfolders that are already available will be skipped", ""},
        {&INITIAL_LOAD_ONLY, "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes",
         ""},
        {&COLLISION_LIVE_PARKED_GND, "",
         "Be aware, no collision avoidance with live aircraft vs parked static on the ground"},
        {&COLLISION_USER_GND, "", "Be aware, no collision avoidance with user aircraft on the ground"},
        {&COLLISION_USER_AIR, "", "Be aware, no collision avoidance with user aircraft in the air"},
        {&SUPPRESS_STUB, "Exclude FSLTL-liveries titles ending with _STUB from scan", ""},
        {&ALWAYS_ON_TOP, "Calvorinth's window will remain visible", ""},
        {&AEROWINX, "Note: This mode is for Aerowinx PSX users only, please re-start Calvorinth", ""},
        {&GUID_CHANGES, "", "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!"},
        {&LEARN_SOFT, nullptr, nullptr},
    };
    for (const ToggleCase& c : cases) {
        for (int click = 0; click < 2; ++click) {
            SCOPED_TRACE(testing::Message() << c.box->name << " click " << click);
            // A message left by the click before shows that the next one replaced it.
            gf_setStatusLine("before the click", false);
            const bool before = c.box->value;
            EXPECT_FALSE(this->click(*c.box));
            EXPECT_EQ(c.box->value, !before);
            EXPECT_EQ(checked(*c.box), !before);
            EXPECT_EQ(storedValue(c.box->name), before ? "false" : "true");
            const char* status = before ? c.statusOff : c.statusOn;
            EXPECT_EQ(mainWindow.status(), status != nullptr ? status : "before the click");
        }
    }
    EXPECT_EQ(hooks.onTop, (std::vector<bool>{!ALWAYS_ON_TOP.value, ALWAYS_ON_TOP.value}));
}

TEST_F(HandlerTest, UnblockWithoutABlockedCallsignChangesNothing) {
    EXPECT_FALSE(click(UNBLOCK_BUTTON));
    EXPECT_EQ(mainWindow.status(), "Nothing to block or unblock...");
    EXPECT_FALSE(blockCallsignRequested.load());

    type(BLOCK_CALLSIGN, "baw123");
    blockCallsignRequested = false;
    EXPECT_FALSE(click(UNBLOCK_BUTTON));
    EXPECT_EQ(mainWindow.status(), "no more blocking of live aircraft \"BAW123\"");
    EXPECT_EQ(storedValue("BLOCK_CALLSIGN"), "");
    EXPECT_TRUE(blockCallsignRequested.load());
    EXPECT_FALSE(enabled(UNBLOCK_BUTTON));
}

TEST_F(HandlerTest, RereadAndFlushStaticAreRequestsToTheRun) {
    for (const ParameterControl* c : {static_cast<const ParameterControl*>(&REREAD_BUTTON),
                                      static_cast<const ParameterControl*>(&DESTINATION),
                                      static_cast<const ParameterControl*>(&FLUSH_STATIC_BUTTON)}) {
        port->setEnabled(c->handle.load(), true);
    }
    click(REREAD_BUTTON);
    EXPECT_TRUE(rereadRequested.load());
    EXPECT_FALSE(enabled(REREAD_BUTTON));
    EXPECT_FALSE(enabled(DESTINATION));

    click(FLUSH_STATIC_BUTTON);
    EXPECT_TRUE(flushStaticRequested.load());
    EXPECT_FALSE(enabled(FLUSH_STATIC_BUTTON));
    EXPECT_EQ(mainWindow.status(), "All static parked aircraft will be removed ...");
}

TEST_F(HandlerTest, NavLightsOfParkedAircraftAreSwitchedByTheRunThread) {
    const bool before = NAV_LIGHTS_WHILE_PARKED.value;
    click(NAV_LIGHTS_WHILE_PARKED);
    click(NAV_LIGHTS_WHILE_PARKED);
    EXPECT_EQ(hooks.navLights, (std::vector<bool>{!before, before}));
    EXPECT_EQ(storedValue("NAV_LIGHTS_WHILE_PARKED"), before ? "true" : "false");
}

TEST_F(HandlerTest, AutoRangeOffBringsTheKeptRangeBack) {
    ASSERT_TRUE(AUTO_RANGE.value);
    lateralRangeInUse = 25;
    click(AUTO_RANGE);  // off
    EXPECT_EQ(LATERAL_RANGE.value, 25);
    EXPECT_EQ(lateralRangeNm.load(), 25.0);
    EXPECT_EQ(lateralRangeMeters.load(), 25 * 1852);
    EXPECT_EQ(fieldText(LATERAL_RANGE), "25");
    EXPECT_TRUE(enabled(LATERAL_RANGE));
    EXPECT_FALSE(enabled(AUTO_RANGE_ABOVE_HEIGHT));
    EXPECT_TRUE(mainWindow.parkingChanged.load());

    type(LATERAL_RANGE, "60");
    hooks.user = UserAcFix{true, 0.0, LatLon{47.0, 8.0}};  // on the ground
    click(AUTO_RANGE);  // on: the typed range is kept, the automatic one is used
    EXPECT_EQ(lateralRangeInUse.load(), 60);
    EXPECT_EQ(LATERAL_RANGE.value, 10);
    EXPECT_FALSE(enabled(LATERAL_RANGE));
    EXPECT_TRUE(enabled(AUTO_RANGE_ABOVE_HEIGHT));
}

TEST_F(HandlerTest, SimulatorSwitchLeavesTheLiveryIndexToTheRunThread) {
    fs::create_directories(g_liveriesScannedFile.parent_path());
    folder.write((fs::path("work") / g_liveriesScannedFile).string(), "<liveries/>");
    SCAN_LIVERIES.value = false;
    SCAN_AIRPORTS.value = false;
    RAVUDOVODO24_VERSION.set("1.2.3");
    ALL_INSTALL_PATH.value = "/sim/2020";
    ASSERT_TRUE(MSFS_2020.value);

    click(MSFS_2020);
    EXPECT_FALSE(MSFS_2020.value);
    EXPECT_EQ(storedValue("MSFS_2020"), "false");
    EXPECT_FALSE(fs::exists(g_liveriesScannedFile));
    EXPECT_EQ(hooks.liveryIndexClears, 1) << "a request; the UI thread leaves the index alone";
    EXPECT_EQ(hooks.addonScanResets, 1);
    for (ControlParameter<bool>* rescan : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
        EXPECT_TRUE(rescan->value);
        EXPECT_TRUE(checked(*rescan));
        EXPECT_EQ(storedValue(rescan->name), "true");
    }
    EXPECT_EQ(mainWindow.status(), "Switching Simulator to MSFS 2024");
    EXPECT_EQ(logLines("Switching Simulator to MSFS 2024"), 1);
    EXPECT_EQ(ALL_INSTALL_PATH.value.get(), "");
    EXPECT_EQ(fieldText(ALL_INSTALL_PATH), "");
    EXPECT_EQ(storedValue("RAVUDOVODO24_VERSION"), "");
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(exitReason.load(), ExitReason::NewSettings);
    EXPECT_EQ(restartDelay.load(), 3);

    // Back before the restart: the box follows the click, the stop stays as it was.
    RAVUDOVODO24_VERSION.set("1.2.3");
    click(MSFS_2020);
    EXPECT_TRUE(MSFS_2020.value);
    EXPECT_TRUE(checked(MSFS_2020));
    EXPECT_EQ(mainWindow.status(), "Switching Simulator to MSFS 2020");
    EXPECT_EQ(storedValue("RAVUDOVODO24_VERSION"), "1.2.3") << "kept when switching to MSFS 2020";
}

TEST_F(HandlerTest, SecondStopKeepsTheFirstReasonAndDelay) {
    SCAN_LIVERIES.value = false;
    port->setChecked(SCAN_LIVERIES.handle.load(), false);
    awaitingRealTraffic = true;
    click(SCAN_LIVERIES);  // restart after 2 seconds
    click(MSFS_2020);      // would restart after 3
    EXPECT_EQ(exitReason.load(), ExitReason::NewSettings);
    EXPECT_EQ(restartDelay.load(), 2);
}

TEST_F(HandlerTest, FailingSimulatorSwitchIsLoggedAndStopsThere) {
    // A folder where the file should be cannot be removed as a file.
    folder.write((fs::path("work") / g_liveriesScannedFile / "blocker").string(), "x");
    SCAN_LIVERIES.value = false;
    EXPECT_FALSE(click(MSFS_2020)) << "handled all the same";
    EXPECT_EQ(logLines("===> lf_HandleWMCOMMAND exception "), 1);
    EXPECT_EQ(hooks.liveryIndexClears, 0) << "the rest of the action is skipped";
    EXPECT_FALSE(SCAN_LIVERIES.value);
    EXPECT_FALSE(stopRequested.load());
}

TEST_F(HandlerTest, RescansRestartOnlyBeforeRealTrafficConnected) {
    struct RescanCase {
        ControlParameter<bool>* box;
        bool awaiting;
        const char* status;
        bool restart;
        int indexClears;
    };
    const std::vector<RescanCase> cases{
        {&SCAN_LIVERIES, true, "Your liveries will be scanned", true, 1},
        {&SCAN_LIVERIES, false,
         "Your liveries will be scanned at the next start of Calvorinth, recommended after you have add/removed AI "
         "aircraft models/liveries",
         false, 0},
        {&SCAN_AIRPORTS, true, "Your airports will be scanned", true, 0},
        {&SCAN_AIRPORTS, false,
         "Your airports will be scanned at the next start of Calvorinth, recommended after you have add/removed "
         "airports",
         false, 0},
    };
    for (const RescanCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.box->name << (c.awaiting ? " before" : " after") << " RealTraffic");
        gf_clearStopFlags();
        hooks.liveryIndexClears = 0;
        awaitingRealTraffic = c.awaiting;
        c.box->value = false;
        port->setChecked(c.box->handle.load(), false);
        click(*c.box);
        EXPECT_TRUE(c.box->value);
        EXPECT_EQ(storedValue(c.box->name), "true");
        EXPECT_EQ(mainWindow.status(), c.status);
        EXPECT_EQ(stopRequested.load(), c.restart);
        if (c.restart) {
            EXPECT_EQ(restartDelay.load(), 2);
        }
        EXPECT_EQ(hooks.liveryIndexClears, c.indexClears);

        click(*c.box);  // off again
        EXPECT_EQ(mainWindow.status(), "");
    }
}

TEST_F(HandlerTest, ParkingBoxesRenewTheStaticAircraftWhileParkingIsActive) {
    for (ControlParameter<bool>* box : {&PARK_SOFT, &PARK_FAKE, &WEEK}) {
        SCOPED_TRACE(box->name);
        mainWindow.parkingActive = false;
        renewalRequested = false;
        click(*box);
        EXPECT_FALSE(renewalRequested.load());
        mainWindow.parkingActive = true;
        click(*box);
        EXPECT_TRUE(renewalRequested.load());
        EXPECT_TRUE(mainWindow.parkingChanged.load());
    }
    mainWindow.parkingActive = false;
    mainWindow.parkingChanged = false;
    click(LEARN_SOFT);
    EXPECT_FALSE(mainWindow.parkingChanged.load());
    mainWindow.parkingActive = true;
    click(LEARN_SOFT);
    EXPECT_TRUE(mainWindow.parkingChanged.load());
}

TEST_F(HandlerTest, LiveryFolderChoiceEnablesThePackageOrder) {
    ASSERT_TRUE(LIG_AUTOMATIC.value);
    click(LIG_AUTOMATIC);
    EXPECT_FALSE(enabled(AI_PACKAGE_ORDER));
    click(LIG_AUTOMATIC);
    EXPECT_TRUE(enabled(AI_PACKAGE_ORDER));
}

TEST_F(HandlerTest, IdsOfEditsAndStrangersAreNotHandled) {
    const std::string before = readFile(g_parametersXmlPath);
    EXPECT_TRUE(click(LATERAL_RANGE));  // an edit's notifications come as commands too
    EXPECT_TRUE(gf_handleCommand(1234));
    EXPECT_EQ(readFile(g_parametersXmlPath), before);
    EXPECT_EQ(mainWindow.status(), "");
}

}  // namespace
}  // namespace clv::test
