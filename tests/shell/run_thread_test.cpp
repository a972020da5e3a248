// The run thread: its start-up checks, the run up to the main loop, the parts
// a build lacks, and the handlers of what ends a run with an exception.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <thread>

#include "core/parameters.h"
#include "core/run_state.h"
#include "core/stop_flags.h"
#include "core/user_error.h"
#include "link/realtraffic_state.h"
#include "shell/main_window.h"
#include "shell/run_controller.h"
#include "shell_support.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void (*runThreadLastHandler(const TestWindow& window))() {
    const auto handlers = window.handlersPosted();
    return handlers.empty() ? nullptr : handlers.back();
}

// Runs one run thread to its end, pressing the close button once the run waits for it.
void runThreadPressingCloseWhenAsked(FakeTiming& timing) {
    std::atomic<bool> done{false};
    std::thread run([&] {
        gf_runThread();
        done = true;
    });
    while (!done) {
        if (timing.count(500ms) >= 3) gf_closeButton();
        std::this_thread::sleep_for(1ms);
    }
    run.join();
}

// Ends the run at its first data step.
void stopAtFirstStep(RecordingServices& doubles) {
    doubles.dataStep = [] {
        gf_requestStop(ExitReason::SimWasClosed, 0);
        return true;
    };
}

TEST_F(ShellTest, StartedOutsideItsFolderShowsUserError41AndWaitsForClose) {
    fs::remove(folder / "work" / "docs");
    std::thread run([] { gf_runThread(); });
    fakeTiming.waitFor(500ms, 3);

    EXPECT_EQ(mainWindow.error(), "41: Calvorinth must be run from the Calvorinth folder!");
    EXPECT_EQ(exitReason.load(), ExitReason::SystemError);
    EXPECT_TRUE(window.handlersPosted().empty());
    gf_closeButton();
    run.join();

    EXPECT_EQ(runThreadLastHandler(window), &gf_saveAndQuit);
    EXPECT_EQ(logLines("Error 41: Calvorinth must be run from the Calvorinth folder!"), 1);
    EXPECT_EQ(logLines("Exiting: SYSTEM ERROR"), 1);
    EXPECT_EQ(logLines("User closed Calvorinth"), 1);
    EXPECT_EQ(doubles.count("readDbase"), 0);
}

struct MissingCase {
    const char* name;
    std::function<void(RunServices&)> remove;
    const char* error;
    const char* lastCalled;  // the step before the missing one ran
};

void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.name; }

class MissingPartTest : public ShellTest, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingPartTest, RunStopsAtTheStepThatNeedsIt) {
    const MissingCase& c = GetParam();
    c.remove(doubles.services);
    install();
    runThreadPressingCloseWhenAsked(fakeTiming);

    EXPECT_EQ(mainWindow.error(), c.error);
    EXPECT_EQ(logLines(fmt::format("Exiting: {}", exitReasonName(ExitReason::SystemError))), 1);
    EXPECT_EQ(runThreadLastHandler(window), &gf_saveAndQuit);
    EXPECT_EQ(doubles.count(c.lastCalled), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, MissingPartTest,
    ::testing::Values(
        MissingCase{"liveries", [](RunServices& s) { s.liveries.readDbase = nullptr; },
                    "Livery data not available in this build", "checkNewVersion"},
        MissingCase{"airports", [](RunServices& s) { s.airports.readAirports = nullptr; },
                    "Airports and parking not available in this build", "readDbase"},
        MissingCase{"simulator", [](RunServices& s) { s.sim.simClient = nullptr; },
                    "Simulator link not available in this build", "reserveSimQueues"},
        MissingCase{"realtraffic", [](RunServices& s) { s.feed.startQnhReader = nullptr; },
                    "RealTraffic link not available in this build", "connectRealTraffic"},
        MissingCase{"engine", [](RunServices& s) { s.engine.trafficTick = nullptr; },
                    "Live traffic engine not available in this build", "startTrafficReader"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShellTest, StartUpChecksPrepareTheFoldersAndSettings) {
    stopAtFirstStep(doubles);
    install();
    gf_runThread();

    for (const char* sub : {"output/info", "output/errors", "airports/learned/stock", "airports/learned/simaddon",
                            "airports/learned/thirdparty", "airports/ra_vudovodo", "airports/my_thirdparty", "input/my_regcodes"}) {
        EXPECT_TRUE(fs::is_directory(folder / "work" / sub)) << sub;
    }
    EXPECT_EQ(storedValue("PROGRAM_INSTALL_PATH"), fs::current_path().string());
    EXPECT_EQ(ALL_INSTALL_PATH.value.get(), (folder / "sim").string());
    EXPECT_EQ(logLines("RealTraffic not detected at this PC"), 1);
    EXPECT_EQ(parking_percentage.value, 30);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value, 24.0f);  // MAX_FIT 47 half-hours
    EXPECT_EQ(doubles.count("readDbase"), 1);
    EXPECT_TRUE(firstRunDone);
    window.runPending();  // the window is put on top, or not, on the UI thread
    EXPECT_EQ(window.onTop(), std::optional<bool>(false));
}

TEST_F(ShellTest, RealTrafficOnThisComputerIsReachedOverTcpUnlessAerowinx) {
    struct Row {
        bool jar;
        bool aerowinx;
        int tcpServer;
        int connect;
        bool connectedAtOnce;
    };
    const Row rows[] = {
        {false, false, 0, 1, true},
        {true, false, 1, 1, false},
        {true, true, 0, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "jar " << row.jar << ", aerowinx " << row.aerowinx);
        gf_clearStopFlags();
        closeButtonPressed = false;
        realTrafficConnected = false;
        writeParameters({{"AEROWINX", row.aerowinx ? "true" : "false"}});
        const fs::path jar = folder / "config" / "InsideSystems" / "RealTraffic.jar";
        if (row.jar) folder.write("config/InsideSystems/RealTraffic.jar", "");
        else fs::remove(jar);
        RecordingServices local;
        stopAtFirstStep(local);
        gf_installRunServices(local.services, fakeTiming.timing());
        gf_runThread();
        gf_stopRunThreads();  // the row's doubles outlive its SimConnect thread

        EXPECT_EQ(realTrafficOnThisPc.load(), row.jar);
        EXPECT_EQ(local.count("setupTcpServer"), row.tcpServer);
        EXPECT_EQ(local.count("connectRealTraffic"), row.connect);
        EXPECT_EQ(realTrafficConnected.load(), row.connectedAtOnce);
        EXPECT_EQ(local.count("startTrafficReader"), 1);
    }
}

TEST_F(ShellTest, TheReaderRangeIsCentredOnTheUserAircraftBeforeAnyTrafficComes) {
    std::vector<std::string> order;
    doubles.onCall = [&order](const std::string& hook) {
        if (hook == "centreReaderRange" || hook == "startTrafficReader" || hook == "requestUserAcTitleModel")
            order.push_back(hook);
    };
    stopAtFirstStep(doubles);
    install();
    gf_runThread();
    ASSERT_GE(order.size(), 3u);
    // After the user aircraft's position is known, before the first traffic line.
    EXPECT_EQ(order[0], "requestUserAcTitleModel");
    EXPECT_EQ(order[1], "centreReaderRange");
    EXPECT_EQ(order[2], "startTrafficReader");
}

TEST_F(ShellTest, ReaderFailedBeforeTheLoopEndsTheRunWithoutTheTrafficWait) {
    doubles.services.feed.startQnhReader = [] { readerError = true; };
    doubles.services.feed.startTrafficReader = [] {};  // no traffic comes
    install();
    runThreadPressingCloseWhenAsked(fakeTiming);

    EXPECT_EQ(port->errors(), std::vector<std::string>{"Reader error"});
    EXPECT_EQ(logLines("Exiting: SYSTEM ERROR"), 1);
    // 500 ms for the user aircraft and 2 s between the readers, in 100 ms
    // pieces; none of the 15 s that the first traffic may take.
    EXPECT_EQ(fakeTiming.count(100ms), 25);
    EXPECT_EQ(logLines("No traffic in this region?"), 0);
}

TEST_F(ShellTest, VersionStepRecordsTheRunningVersion) {
    struct Row {
        const char* stored;
        bool rescansOn;  // a newer program switches both rescans on
    };
    const Row rows[] = {{"", false}, {"10.9.0", true}, {"9.99.99", true}, {"10.10.9", false}, {"11.0.0", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        gf_clearStopFlags();
        firstRunDone = false;
        writeParameters({{"PROGRAM_VERSION", row.stored}, {"SCAN_LIVERIES", "false"}, {"SCAN_AIRPORTS", "false"}});
        folder.write("work/output/LiveriesScanned.xml", "<liveries/>");
        folder.write("work/install_new_version.exe", "old installer");
        RecordingServices local;
        local.onCall = [](const std::string& hook) {
            if (hook == "scanLiveries") gf_requestStop(ExitReason::SimWasClosed, 0);
        };
        gf_installRunServices(local.services, fakeTiming.timing());
        gf_runThread();

        EXPECT_EQ(storedValue("PROGRAM_VERSION"), "10.10.9");
        const char* rescans = row.rescansOn ? "true" : "false";
        EXPECT_EQ(storedValue("SCAN_LIVERIES"), rescans);
        EXPECT_EQ(storedValue("SCAN_AIRPORTS"), rescans);
        EXPECT_EQ(fs::exists(folder / "work" / "install_new_version.exe"), !row.rescansOn);
        const int updateLines = logLines(fmt::format("This is a version update from {} -> 10.10.9", row.stored));
        EXPECT_EQ(updateLines, row.rescansOn ? 1 : 0);
    }
}

TEST_F(ShellTest, MissingScannedLiveriesSwitchTheLiveryScanOn) {
    writeParameters({{"SCAN_LIVERIES", "false"}});
    doubles.onCall = [](const std::string& hook) {
        if (hook == "scanLiveries") gf_requestStop(ExitReason::SimWasClosed, 0);
    };
    install();
    gf_runThread();

    EXPECT_EQ(storedValue("SCAN_LIVERIES"), "true");
    EXPECT_EQ(logLines("File output/LiveriesScanned.xml is gone, rescan liveries"), 1);
}

TEST_F(ShellTest, CommunityPathLosesOnlyItsLastFolderNamedCommunity) {
    struct Row {
        const char* stored;
        const char* expected;
    };
    const Row rows[] = {
        {"/games/MSFS/Community", "/games/MSFS"},
        {"/data/Community/sim/Community", "/data/Community/sim"},
        {"C:\\MSFS\\Community", "C:\\MSFS"},
        {"/games/MSFS", "/games/MSFS"},
        {"/home/pilot/MyCommunity", "/home/pilot/MyCommunity"},
        {"/games/Community/Official", "/games/Community/Official"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        MSFS_INSTALL_PATH.value = row.stored;
        gf_checkCommunityPath(MSFS_INSTALL_PATH);
        EXPECT_EQ(MSFS_INSTALL_PATH.value.get(), row.expected);
        if (std::string(row.stored) != row.expected) {
            EXPECT_EQ(storedValue("MSFS_INSTALL_PATH"), row.expected);
        }
    }
}

TEST_F(ShellTest, StopDuringTheScansSkipsTheRest) {
    struct Row {
        const char* scan;
        bool closeButton;  // else NEW SETTINGS, as a rescan switched on in the window
        int airportScans;
        bool restarts;
    };
    const Row rows[] = {
        {"scanLiveries", true, 0, false},
        {"scanAddonAirports", false, 1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.scan);
        gf_clearStopFlags();
        closeButtonPressed = false;
        restartPending = false;
        RecordingServices local;
        local.onCall = [&](const std::string& hook) {
            if (hook != row.scan) return;
            if (row.closeButton) gf_closeButton();
            else gf_requestStop(ExitReason::NewSettings, 0);
        };
        gf_installRunServices(local.services, fakeTiming.timing());
        gf_runThread();

        EXPECT_EQ(local.count("scanAddonAirports"), row.airportScans);
        EXPECT_EQ(local.count("readMyParkAirports"), 0);
        EXPECT_EQ(local.count("simClient"), 0);
        EXPECT_EQ(restartPending.load(), row.restarts);
    }
}

struct ThrowCase {
    const char* name;
    std::function<void()> throwIt;
    bool reasonBefore;  // NEW SETTINGS was stored before the exception
    const char* error;
    ExitReason reason;
};

void PrintTo(const ThrowCase& c, std::ostream* os) { *os << c.name; }

class ExceptionTest : public ShellTest, public ::testing::WithParamInterface<ThrowCase> {};

TEST_P(ExceptionTest, EndsTheRunWithItsTextOnTheErrorLine) {
    const ThrowCase& c = GetParam();
    doubles.services.update.checkNewVersion = [&c] {
        if (c.reasonBefore) gf_requestStop(ExitReason::NewSettings, 3);
        c.throwIt();
    };
    install();
    runThreadPressingCloseWhenAsked(fakeTiming);

    EXPECT_EQ(port->errors(), std::vector<std::string>{c.error});
    EXPECT_EQ(logLines(fmt::format("Exiting: {}", exitReasonName(c.reason))), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ExceptionTest,
    ::testing::Values(
        ThrowCase{"UserErrorOverAReason", [] { throw UserErrorException(99, "Please install the new version"); }, true,
                  "Please install the new version", ExitReason::SystemError},
        ThrowCase{"RuntimeErrorKeepsAReason", [] { throw std::runtime_error("disk full"); }, true, "disk full",
                  ExitReason::NewSettings},
        ThrowCase{"RuntimeError", [] { throw std::runtime_error("disk full"); }, false, "disk full",
                  ExitReason::SystemError},
        ThrowCase{"FormatError", [] { throw fmt::format_error("bad format string"); }, false, "std::format error: bad format string",
                  ExitReason::SystemError},
        ThrowCase{"OutOfRange", [] { throw std::out_of_range("index 7"); }, false, "index 7",
                  ExitReason::SystemError},
        ThrowCase{"UnknownOverAReason", [] { throw 42; }, true, "Unknown exception", ExitReason::SystemError}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace clv::test
