// The edit fields: Enter commits what was typed, limited, saved and shown back,
// reported on the status line; the follow-ups are handed on as requests.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/parameters.h"
#include "core/run_state.h"
#include "core/stop_flags.h"
#include "shell/edit_handlers.h"
#include "shell/main_window.h"
#include "shell/run_controller.h"
#include "handler_support.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;

struct IntCase {
    const char* typed;
    int value;           // afterwards
    const char* status;  // "" for none
    bool statusLogged;
};

TEST_F(HandlerTest, IntEditTakesTypedNumbersWithinLimits) {
    // LATERAL_RANGE: 2 to 100, default 40; each case starts from the one before.
    const std::vector<IntCase> cases{
        {"250", 100, "The new LATERAL_RANGE is 100", false},         // above the limit
        {"100", 100, "Same LATERAL_RANGE value 100, no changes made", true},
        {"abc", 100, "invalid input: abc", true},                     // not a number
        {" 12nm", 12, "The new LATERAL_RANGE is 12", false},          // blanks before, letters after
        {"-5", 2, "The new LATERAL_RANGE is 2", false},               // below the limit
        {"99999999999", 2, "", false},                                // beyond 32 bits: logged only
        {"", 40, "The new LATERAL_RANGE is 40", false},               // empty: the default
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.typed);
        const int logged = *c.status != '\0' ? logLines(c.status) : 0;
        type(LATERAL_RANGE, c.typed);
        EXPECT_EQ(LATERAL_RANGE.value, c.value);
        EXPECT_EQ(storedValue("LATERAL_RANGE"), std::to_string(c.value));
        EXPECT_EQ(fieldText(LATERAL_RANGE), std::to_string(c.value)) << "the field shows the value in force";
        EXPECT_EQ(mainWindow.status(), c.status);
        if (*c.status != '\0') {
            EXPECT_EQ(logLines(c.status) - logged, c.statusLogged ? 1 : 0);
        }
    }
    EXPECT_EQ(logLines("===> lf_processTbInt: stoi, h=99999999999 "), 1);
    EXPECT_EQ(lateralRangeNm.load(), 40.0);
    EXPECT_EQ(lateralRangeMeters.load(), 40 * 1852);
    EXPECT_TRUE(mainWindow.parkingChanged.load());
}

TEST_F(HandlerTest, EmptyFieldsGiveTheirDefaultsButParkingPercentageZeroUnsaved) {
    type(MAX_LIVE, "25");
    type(MAX_LIVE, "");
    EXPECT_EQ(MAX_LIVE.value, -1);
    EXPECT_EQ(storedValue("MAX_LIVE"), "-1");

    type(parking_percentage, "55");
    EXPECT_EQ(parking_percentage.value, 55);
    type(parking_percentage, "");
    EXPECT_EQ(parking_percentage.value, 0);
    EXPECT_EQ(fieldText(parking_percentage), "0");
    EXPECT_EQ(storedValue("parking_percentage"), "<missing>") << "never stored";
}

TEST_F(HandlerTest, MaxLiveIsEnforcedByTheRunThread) {
    type(MAX_LIVE, "12");
    EXPECT_EQ(maxLiveInUse.load(), 12);
    EXPECT_EQ(hooks.enforceMaxLive, 1) << "the removal is a request to the run thread";
    EXPECT_FALSE(mainWindow.parkingChanged.load());

    // While static parking is active the planner takes the new maximum.
    mainWindow.parkingActive = true;
    type(MAX_LIVE, "20");
    EXPECT_EQ(maxLiveInUse.load(), 12);
    EXPECT_TRUE(mainWindow.parkingChanged.load());
    EXPECT_EQ(hooks.enforceMaxLive, 2);

    type(MAX_LIVE, "20");  // the same value: no new request
    EXPECT_EQ(hooks.enforceMaxLive, 2);
}

TEST_F(HandlerTest, RaisedMatchingDepthEmptiesTheUnmatchedList) {
    type(MATCHING_DEPTH, "2");
    EXPECT_FALSE(clearNoMatchRequested.load()) << "lowered";
    type(MATCHING_DEPTH, "3");
    EXPECT_TRUE(clearNoMatchRequested.load()) << "raised";
}

TEST_F(HandlerTest, ParkingEditsRenewTheStaticAircraftWhileParkingIsActive) {
    type(CUSTOM_MAX_PARK, "40");
    EXPECT_FALSE(renewalRequested.load()) << "no static parking";
    EXPECT_EQ(mainWindow.status(), "The new CUSTOM_MAX_PARK is 40");

    mainWindow.parkingActive = true;
    struct Wait {
        int step;
        const char* status;
    };
    // The run looks at the request on multiples of 15 data steps.
    for (const Wait& w : {Wait{7, "Calvorinth will respond in 8 seconds ..."},
                          Wait{14, "Calvorinth will respond in 1 second ..."},
                          Wait{30, "Calvorinth will respond in 15 seconds ..."}}) {
        renewalRequested = false;
        dataStepCounter = w.step;
        type(CUSTOM_MAX_PARK, std::to_string(41 + w.step));
        EXPECT_EQ(mainWindow.status(), w.status);
        EXPECT_TRUE(renewalRequested.load());
    }

    // Initial load only: the static aircraft are not renewed.
    INITIAL_LOAD_ONLY.value = true;
    renewalRequested = false;
    type(parking_percentage, "45");
    EXPECT_FALSE(renewalRequested.load());
    EXPECT_EQ(mainWindow.status(), "");
    EXPECT_TRUE(mainWindow.parkingChanged.load());
}

struct FloatCase {
    const char* typed;
    float hours;    // MAX_FIT_FL afterwards
    int halfHours;  // MAX_FIT afterwards
    const char* field;
    const char* status;
};

TEST_F(HandlerTest, MaxFitIsTypedInHoursAndStoredInHalfHours) {
    mainWindow.parkingActive = true;
    const std::vector<FloatCase> cases{
        {"3.3", 3.5f, 6, "3.5", "The new MAX_FIT_FL is 3.5"},
        {"2.2", 2.0f, 3, "2", "The new MAX_FIT_FL is 2.0"},
        {"2.3", 2.5f, 4, "2.5", "The new MAX_FIT_FL is 2.5"},
        {"2.5", 2.5f, 4, "2.5", "Same MAX_FIT_FL value 2.5, no changes made"},
        {"30", 24.0f, 47, "24", "The new MAX_FIT_FL is 24.0"},
        {"0.1", 0.5f, 0, "0.5", "The new MAX_FIT_FL is 0.5"},
        {"x", 0.5f, 0, "0.5", ""},    // no number: logged only
        {"nan", 0.5f, 0, "0.5", ""},  // no number of hours either
        {"", 24.0f, 47, "24", "The new MAX_FIT_FL is 24.0"},
    };
    for (const FloatCase& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::size_t shownBefore = port->shown().size();
        type(MAX_FIT_FL, c.typed);
        EXPECT_EQ(MAX_FIT_FL.value, c.hours);
        EXPECT_EQ(MAX_FIT.value, c.halfHours);
        EXPECT_EQ(storedValue("MAX_FIT"), std::to_string(c.halfHours));
        EXPECT_EQ(fieldText(MAX_FIT_FL), c.field);
        // A new value is reported, then the renewal it asks for.
        const std::vector<std::string> shown = port->shown();
        const std::vector<std::string> added(shown.begin() + static_cast<std::ptrdiff_t>(shownBefore), shown.end());
        std::vector<std::string> expected;
        if (*c.status != '\0') expected.push_back(c.status);
        if (std::string(c.status).starts_with("The new")) expected.push_back("Calvorinth will respond in 15 seconds ...");
        EXPECT_EQ(added, expected);
    }
    EXPECT_EQ(logLines("===> lf_processTbFloat: stof, h=x "), 1);
    EXPECT_EQ(logLines("h=nan "), 1);
    EXPECT_EQ(storedValue("MAX_FIT_FL"), "<missing>") << "the hours are never stored";
    EXPECT_TRUE(renewalRequested.load());
}

TEST_F(HandlerTest, MaxFitDoesNothingWithoutStaticParking) {
    type(MAX_FIT_FL, "3.3");
    EXPECT_EQ(MAX_FIT.value, 47);
    EXPECT_EQ(MAX_FIT_FL.value, 24.0f);
    EXPECT_FALSE(renewalRequested.load());
}

struct TextCase {
    const char* typed;
    const char* value;   // the setting afterwards
    const char* stored;  // in parameters.xml
    const char* status;
};

TEST_F(HandlerTest, BlockedCallsignsAreFourToEightCharacters) {
    const std::vector<TextCase> cases{
        {"ABC", "", "", "callsign \"ABC\" is not valid"},
        {"ABCDEFGHI", "", "", "callsign \"ABCDEFGHI\" is not valid"},
        {"dlh4ab", "DLH4AB", "DLH4AB", "live aircraft with callsign \"DLH4AB\" will be blocked"},
        {"DLH4AB", "DLH4AB", "DLH4AB", "callsign \"DLH4AB\" was already set ..."},
        {"ABCD", "ABCD", "ABCD", "live aircraft with callsign \"ABCD\" will be blocked"},
        {"ABCDEFGH", "ABCDEFGH", "ABCDEFGH", "live aircraft with callsign \"ABCDEFGH\" will be blocked"},
        {"", "", "", "no more blocking of live aircraft \"ABCDEFGH\""},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.typed);
        blockCallsignRequested = false;
        const int logged = logLines(c.status);
        type(BLOCK_CALLSIGN, c.typed);
        EXPECT_EQ(BLOCK_CALLSIGN.value.get(), c.value);
        EXPECT_EQ(storedValue("BLOCK_CALLSIGN"), c.stored);
        EXPECT_EQ(mainWindow.status(), c.status);
        EXPECT_EQ(logLines(c.status) - logged, 1) << "logged";
        const bool changed = std::string(c.status).starts_with("live") || std::string(c.status).starts_with("no more");
        EXPECT_EQ(blockCallsignRequested.load(), changed);
        EXPECT_EQ(enabled(UNBLOCK_BUTTON), !std::string(c.value).empty());
    }
    EXPECT_EQ(fieldText(BLOCK_CALLSIGN), "");
}

TEST_F(HandlerTest, DestinationIsAKnownFourLetterCode) {
    port->setEnabled(REREAD_BUTTON.handle.load(), true);
    const std::vector<TextCase> cases{
        {"EDD", "", "", "destination \"EDD\" is not valid"},
        {"ZZZZ", "", "", "destination \"ZZZZ\" is unknown ..."},
        {"eddf", "EDDF", "EDDF", "New destination: EDDF"},
        {"EDDF", "EDDF", "EDDF", "destination \"EDDF\" was already set ..."},
        {"LSZH1", "EDDF", "EDDF", "destination \"LSZH1\" is not valid"},
        {"", "", "EDDF", "destination set to empty"},  // emptied in memory only
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.typed);
        type(DESTINATION, c.typed);
        EXPECT_EQ(DESTINATION.value.get(), c.value);
        EXPECT_EQ(storedValue("DESTINATION"), c.stored);
        EXPECT_EQ(mainWindow.status(), c.status);
        EXPECT_EQ(logLines(c.status), 1) << "logged";
        if (*c.typed != '\0') {
            EXPECT_EQ(fieldText(DESTINATION), c.value) << "the field shows the destination in force";
        }
    }
    ASSERT_EQ(hooks.parkAirportsSet.size(), 1u) << "only the known code becomes the park airport";
    EXPECT_EQ(hooks.parkAirportsSet[0].first, "EDDF");
    EXPECT_DOUBLE_EQ(hooks.parkAirportsSet[0].second.lat, 50.0333);
    EXPECT_TRUE(enabled(REREAD_BUTTON)) << "enabled again by the empty destination";
}

TEST_F(HandlerTest, NewDestinationDisablesReread) {
    port->setEnabled(REREAD_BUTTON.handle.load(), true);
    type(DESTINATION, "lszh");
    EXPECT_FALSE(enabled(REREAD_BUTTON));
}

TEST_F(HandlerTest, CallsignForObjectIdIsKeptInMemoryAndLookedUpByTheRun) {
    type(CALLSIGN_2_OBJECTID, "dlh123");
    EXPECT_EQ(CALLSIGN_2_OBJECTID.value.get(), "DLH123");
    EXPECT_EQ(fieldText(CALLSIGN_2_OBJECTID), "DLH123");
    EXPECT_TRUE(callsign2ObjectIdRequested.load());
    EXPECT_EQ(storedValue("CALLSIGN_2_OBJECTID"), "<missing>");

    callsign2ObjectIdRequested = false;
    type(CALLSIGN_2_OBJECTID, "");
    EXPECT_EQ(CALLSIGN_2_OBJECTID.value.get(), "");
    EXPECT_FALSE(callsign2ObjectIdRequested.load());
}

struct PathCase {
    std::string typed;
    std::string stored;  // MSFS_INSTALL_PATH afterwards
    std::string status;
    bool restart;
};

TEST_F(HandlerTest, InstallPathNamesTheFolderThatHoldsCommunity) {
    fs::create_directories(folder / "packages/Community");
    fs::create_directories(folder / "empty");
    const std::string packages = (folder / "packages").string();
    const std::string before = storedValue("MSFS_INSTALL_PATH");
    const std::string found = "Community path found, Calvorinth will restart ...";
    const std::string notCommunity = "This path exists but is not a path to Community ...";
    const std::vector<PathCase> cases{
        {packages, packages, found, true},
        {packages + "/", packages, found, true},
        {packages + "/Community", packages, found, true},
        {packages + "/Community/", packages, found, true},
        {(folder / "empty").string(), before, notCommunity, false},
        {(folder / "nowhere").string(), before, "This install path does not exist: " + (folder / "nowhere").string(),
         false},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.typed);
        MSFS_INSTALL_PATH.set(before);
        gf_clearStopFlags();
        gf_showError("150: No install path detected, type full path to your Community folder above, and press Enter");
        type(ALL_INSTALL_PATH, c.typed);
        EXPECT_EQ(mainWindow.error(), "") << "typing a path ends the error";
        EXPECT_EQ(storedValue("MSFS_INSTALL_PATH"), c.stored);
        EXPECT_EQ(mainWindow.status(), c.status);
        EXPECT_EQ(stopRequested.load(), c.restart);
        if (c.restart) {
            EXPECT_EQ(exitReason.load(), ExitReason::NewSettings);
            EXPECT_EQ(restartDelay.load(), 3);
        }
    }
    EXPECT_EQ(logLines(found), 4);
}

TEST_F(HandlerTest, InstallPathOfTheChosenSimulatorIsEmptiedByAnEmptyField) {
    MSFS_2020.value = false;
    MSFS_2024_INSTALL_PATH.set("/somewhere");
    type(ALL_INSTALL_PATH, "");
    EXPECT_EQ(storedValue("MSFS_2024_INSTALL_PATH"), "");
    EXPECT_NE(storedValue("MSFS_INSTALL_PATH"), "") << "the other simulator's path stays";
    EXPECT_FALSE(stopRequested.load());
}

TEST_F(HandlerTest, InstallPathRestartKeepsAnEarlierStopReason) {
    fs::create_directories(folder / "packages/Community");
    gf_requestStop(ExitReason::SimWasClosed, 0);
    type(ALL_INSTALL_PATH, (folder / "packages").string());
    EXPECT_EQ(exitReason.load(), ExitReason::SimWasClosed);
    EXPECT_EQ(restartDelay.load(), 0);
}

// A park airport `nm` nautical miles north of the user aircraft (one minute of latitude each).
LatLon lf_north(LatLon from, double nm) { return LatLon{from.lat + nm / 60.0, from.lon}; }

TEST_F(HandlerTest, AutomaticRangeFollowsTheUserAircraft) {
    const LatLon here{47.0, 8.0};
    struct RangeCase {
        const char* what;
        bool onGround;
        double altitude;
        std::optional<double> parkNm;
        int range;
    };
    const std::vector<RangeCase> cases{
        {"on the ground", true, 60000.0, 20.0, 10},
        {"above the auto range height", false, 49500.0, 20.0, 100},
        {"above the airport height", false, 18500.0, 20.0, 40},
        {"low, no park airport", false, 3000.0, std::nullopt, 40},
        {"low, park airport 5 nm", false, 3000.0, 5.0, 10},
        {"low, park airport 6.9 nm", false, 3000.0, 6.9, 10},
        {"low, park airport 7.4 nm", false, 3000.0, 7.4, 10},
        {"low, park airport 20 nm", false, 3000.0, 20.0, 23},
        {"low, park airport 30.6 nm", false, 3000.0, 30.6, 34},
        {"low, park airport 37.2 nm", false, 3000.0, 37.2, 40},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.what);
        hooks.user = UserAcFix{c.onGround, c.altitude, here};
        hooks.firstParkAirport = c.parkNm ? std::optional<LatLon>(lf_north(here, *c.parkNm)) : std::nullopt;
        EXPECT_EQ(gf_autoLateralRange(hooks.user, hooks.firstParkAirport), c.range);
        gf_updateRangeLimits();
        EXPECT_EQ(LATERAL_RANGE.value, c.range);
        EXPECT_EQ(lateralRangeNm.load(), c.range);
        EXPECT_EQ(lateralRangeMeters.load(), c.range * 1852);
        EXPECT_EQ(fieldText(LATERAL_RANGE), std::to_string(c.range));
    }
    EXPECT_EQ(storedValue("LATERAL_RANGE"), "40") << "the automatic range is never stored";
}

TEST_F(HandlerTest, UnchangedAutomaticRangeLeavesTheFieldAlone) {
    ASSERT_EQ(LATERAL_RANGE.value, 40);
    hooks.user = UserAcFix{false, 20000.0, LatLon{47.0, 8.0}};  // gives 40, the range in force
    port->setText(LATERAL_RANGE.handle.load(), "typed, not committed");
    gf_updateRangeLimits();
    EXPECT_EQ(fieldText(LATERAL_RANGE), "typed, not committed");
}

}  // namespace
}  // namespace clv::test
