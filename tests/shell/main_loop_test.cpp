// The main loop: its data-step schedule, the paused flight, the stop flags on
// every tick and the hand-over of the request flags.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/parameters.h"
#include "core/stop_flags.h"
#include "shell/main_window.h"
#include "shell/run_controller.h"
#include "shell_support.h"

namespace clv::test {
namespace {

using namespace std::chrono_literals;

class MainLoopTest : public ShellTest {
protected:
    // Every tick brings a data step; the one after `steps` steps finds the
    // simulator reported closed.
    void stepsThenStop(int steps) {
        stepsTaken_ = 0;
        doubles.dataStep = [this, steps] {
            if (stepsTaken_++ == steps) gf_requestStop(ExitReason::SimWasClosed, 0);
            return true;
        };
    }

    bool calledAt(const std::string& hook, std::int32_t n) const {
        const auto s = doubles.steps(hook);
        return std::find(s.begin(), s.end(), n) != s.end();
    }

    int stepsTaken_ = 0;
};

TEST_F(MainLoopTest, DataStepScheduleFollowsTheStepCount) {
    writeParameters({{"CALLSIGN_OBJECTIDS", "true"}, {"MSFS_2020", "true"}, {"AUTO_RANGE", "true"},
                     {"INITIAL_LOAD_ONLY", "false"}});
    doubles.parkingActive = true;
    std::vector<std::int32_t> minutesSeen;
    doubles.onCall = [&](const std::string& hook) {
        if (hook == "removeStaticDuplicatesOfLive" && minutesSeen.size() < 2) minutesSeen.push_back(mainWindow.minutesToNext);
    };
    stepsThenStop(86400 + 61);  // a whole day, then past its reset to step 61 again
    install();
    gf_runThread();

    struct Row {
        const char* hook;
        std::int32_t n;
        bool called;
    };
    const Row rows[] = {
        {"centreReaderRange", 15, true},         {"centreReaderRange", 16, false},
        {"updateRangeLimits", 15, false},        {"updateRangeLimits", 30, true},
        {"refreshParking(false)", 16, true},     {"refreshParking(false)", 32, true},
        {"refreshParking(false)", 240, false},   // a multiple of 15 as well
        {"refreshParking(false)", 1216, false},  // renewal in its second phase
        {"refreshParking(false)", 1232, true},   {"updateFeedLamps", 59, true},
        {"updateFeedLamps", 60, false},          {"removeStaticDuplicatesOfLive", 61, true},
        {"removeStaticDuplicatesOfLive", 62, false}, {"logParkedList", 62, true},
        {"logParkedList", 930, false},           // 15 x 62
        {"logNoMatchList", 600, false},          {"logNoMatchList", 1200, true},
        {"lockParkingControls", 1215, true},     {"parkingAdjustments", 1215, false},
        {"parkingAdjustments", 1230, true},      {"lockParkingControls", 1230, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(calledAt(row.hook, row.n), row.called) << row.hook << " at n = " << row.n;
    }
    // (1 / 20 + 1) x 20 - 1 and (2 / 20 + 1) x 20 - 2 minutes after the first and second minute.
    EXPECT_EQ(minutesSeen, (std::vector<std::int32_t>{19, 18}));
    // The daily step: the summary runs with the count already back at 0 (and once more at closing down).
    EXPECT_EQ(doubles.steps("livMatchingSummary").front(), 0);
    EXPECT_TRUE(calledAt("clearRememberedTitles", 0));
    // 61 x 1416 = 86376 is the day's last call; the count then starts again.
    const auto duplicates = doubles.steps("removeStaticDuplicatesOfLive");
    ASSERT_GE(duplicates.size(), 2u);
    EXPECT_EQ(duplicates[duplicates.size() - 2], 86376);
    EXPECT_EQ(duplicates.back(), 61);
}

TEST_F(MainLoopTest, PausedFlightIsLoggedOnceEachWayAndKeepsItsHousekeeping) {
    int tick = 0;
    // The first look is the wait for the simulator; then 18 running ticks, 251
    // paused ones and running ticks again.
    doubles.simUsable = [&] {
        ++tick;
        return tick < 20 || tick > 270;
    };
    doubles.dataStep = [&] {
        if (tick > 300) gf_requestStop(ExitReason::SimWasClosed, 0);
        return true;
    };
    install();
    gf_runThread();

    EXPECT_EQ(logLines("Flight not running"), 1);
    EXPECT_EQ(logLines("Flight resumed"), 1);
    EXPECT_EQ(doubles.count("clearPositionBuffers"), 1);
    EXPECT_EQ(doubles.count("handleSimEvents"), 251);
    // Once before the loop, then at paused ticks 100 and 200.
    EXPECT_EQ(doubles.count("sendQs121"), 3);
}

TEST_F(MainLoopTest, StopEndsTheLoopAtTheTickThatSeesIt) {
    struct Row {
        const char* name;
        bool flightRuns;
        const char* tickHook;  // called once per tick in that state
    };
    const Row rows[] = {
        {"running flight without data steps", true, "trafficTick"},
        {"paused flight", false, "handleSimEvents"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        gf_clearStopFlags();
        closeButtonPressed = false;
        RecordingServices local;
        int looks = 0;
        int ticks = 0;
        local.simUsable = [&] { return looks++ == 0 || row.flightRuns; };
        // The simulator stopped answering: no data step comes (a safety valve
        // lets a loop that ignores the flags end after 1000 ticks).
        local.dataStep = [&] { return ticks >= 1000; };
        local.onCall = [&](const std::string& hook) {
            if (hook != row.tickHook) return;
            if (++ticks == 5) gf_closeButton();
            if (ticks >= 1000) gf_requestStop(ExitReason::SimWasClosed, 0);
        };
        gf_installRunServices(local.services, fakeTiming.timing());
        gf_runThread();
        gf_stopRunThreads();  // the row's doubles outlive its SimConnect thread
        EXPECT_EQ(local.count(row.tickHook), 5);
    }
}

TEST_F(MainLoopTest, CoupledCheckDropsAnEntryWhoseAircraftIsGone) {
    doubles.coupledList = {111, 222};  // 111 left; 222 is still live
    doubles.liveHexids = {222};
    stepsThenStop(3);
    install();
    gf_runThread();

    EXPECT_EQ(doubles.coupledChecked(), (std::vector<std::uint32_t>{111, 222}));
    // Each entry's static duplicates are looked for after its coupled callsigns.
    EXPECT_EQ(doubles.count("removeStaticDuplicate"), 2);
}

TEST_F(MainLoopTest, FlushStaticSwitchesInitialLoadOnWithoutSavingIt) {
    writeParameters({{"INITIAL_LOAD_ONLY", "false"}});
    flushStaticRequested = true;
    stepsThenStop(2);
    install();
    gf_runThread();

    EXPECT_EQ(doubles.steps("removeAllStatic"), (std::vector<std::int32_t>{1}));
    EXPECT_TRUE(INITIAL_LOAD_ONLY.value);
    EXPECT_EQ(storedValue("INITIAL_LOAD_ONLY"), "false");
    EXPECT_FALSE(flushStaticRequested);
}

TEST_F(MainLoopTest, RereadWaitsWhileParkingIsBusy) {
    rereadRequested = true;
    doubles.services.airports.parkingBusy = [] { return dataStepCounter < 20; };
    stepsThenStop(50);
    install();
    gf_runThread();

    // Asked at the start; carried out at the first multiple of 15 once parking is free.
    EXPECT_EQ(doubles.steps("rereadParkAirports"), (std::vector<std::int32_t>{30}));
    EXPECT_FALSE(rereadRequested);
    EXPECT_EQ(logLines("park airports and stands are okay"), 1);
}

TEST(TickDeadline, AdvancesByATickCatchesUpSmallLagsAndRestartsAfterAStall) {
    using T = std::chrono::steady_clock::time_point;
    const T d{std::chrono::seconds(1000)};
    struct Row {
        const char* name;
        std::chrono::milliseconds nowAfterDeadline;
        bool dataStep;
        std::chrono::milliseconds nextAfterDeadline;  // the next deadline, from the old one
    };
    const Row rows[] = {
        {"on time", -3ms, false, 10ms},
        {"a little late: caught up", 40ms, false, 10ms},
        {"100 ms behind: still caught up", 100ms, false, 10ms},
        {"a stall of 70 s: from now", 70000ms, false, 70010ms},
        {"a stall of 101 ms: from now", 101ms, false, 111ms},
        {"a data step pending: from now", 2ms, true, 12ms},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(gf_nextTickDeadline(d, d + r.nowAfterDeadline, r.dataStep), d + r.nextAfterDeadline);
    }
}

}  // namespace
}  // namespace clv::test
