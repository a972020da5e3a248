// How a run ends: the stop request, closing down by exit reason, the restart
// countdown and reset, and the close button that always ends the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "core/run_state.h"
#include "core/stop_flags.h"
#include "shell/main_window.h"
#include "shell/run_controller.h"
#include "shell_support.h"

namespace clv::test {
namespace {

using namespace std::chrono_literals;

// Runs one run thread to its end; when the run waits for the close button,
// the test presses it, as a user reading the error would.
void runPressingCloseWhenAsked(FakeTiming& timing) {
    std::atomic<bool> done{false};
    std::thread run([&] {
        gf_runThread();
        done = true;
    });
    // Closing down sleeps 500 ms once; more such sleeps are the wait for the close button.
    while (!done) {
        if (timing.count(500ms) >= 3) gf_closeButton();
        std::this_thread::sleep_for(1ms);
    }
    run.join();
}

void (*lastHandler(const TestWindow& window))() {
    const auto handlers = window.handlersPosted();
    return handlers.empty() ? nullptr : handlers.back();
}

struct ReasonCase {
    ExitReason reason;
    std::int32_t delay;
    bool restarts;
    bool rescansOff;
    int shortSleeps;  // 100 ms pieces: the countdown (2 s) or the new-flight notice (10 s)
};

void PrintTo(const ReasonCase& c, std::ostream* os) { *os << exitReasonName(c.reason); }

class ExitReasonTest : public ShellTest, public ::testing::WithParamInterface<ReasonCase> {};

TEST_P(ExitReasonTest, ClosingDownRestartsOrQuitsByReason) {
    const ReasonCase c = GetParam();
    doubles.onCall = [&](const std::string& hook) {
        if (hook != "scanLiveries") return;
        if (c.reason == ExitReason::NotYetSet) gf_closeButton();
        else gf_requestStop(c.reason, c.delay);
    };
    install();
    runPressingCloseWhenAsked(fakeTiming);

    EXPECT_EQ(logLines(fmt::format("Exiting: {}", exitReasonName(c.reason))), 1);
    EXPECT_EQ(lastHandler(window), c.restarts ? &gf_startRun : &gf_saveAndQuit);
    EXPECT_EQ(restartPending.load(), c.restarts);
    const char* rescans = c.rescansOff ? "false" : "true";
    EXPECT_EQ(storedValue("SCAN_LIVERIES"), rescans);
    EXPECT_EQ(storedValue("SCAN_AIRPORTS"), rescans);
    EXPECT_EQ(fakeTiming.count(100ms), c.shortSleeps);
    const auto shown = port->shown();
    auto showed = [&](const std::string& text) { return std::find(shown.begin(), shown.end(), text) != shown.end(); };
    if (c.restarts) {
        EXPECT_EQ(logLines("Prepare for a restart ..."), 1);
        EXPECT_TRUE(showed("Restarting after 2 seconds"));
        EXPECT_TRUE(showed("Restarting after 1 second"));
        // The reset: a new run starts clean.
        EXPECT_FALSE(stopRequested);
        EXPECT_EQ(exitReason.load(), ExitReason::NotYetSet);
        EXPECT_EQ(doubles.count("resetSimLink"), 1);
        EXPECT_EQ(doubles.count("stopTraffic"), 1);
    } else {
        EXPECT_EQ(doubles.count("resetSimLink"), 0);
    }
    const bool notice = showed("New flight detected, Calvorinth will close, please restart manually ...");
    EXPECT_EQ(notice, c.reason == ExitReason::NewFlight);
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, ExitReasonTest,
    ::testing::Values(ReasonCase{ExitReason::NotYetSet, 0, false, false, 0},
                      ReasonCase{ExitReason::SimWasClosed, 0, false, false, 0},
                      ReasonCase{ExitReason::NewFlight, 45, false, false, 100},
                      ReasonCase{ExitReason::NewSettings, 2, true, false, 20},
                      ReasonCase{ExitReason::UserClosedSim, 0, false, false, 0},
                      ReasonCase{ExitReason::SimConnectError, 2, true, true, 20},
                      ReasonCase{ExitReason::ReaderError, 2, true, true, 20},
                      ReasonCase{ExitReason::SystemError, 0, false, false, 0},
                      ReasonCase{ExitReason::SimDataNotUnderstood, 0, false, false, 100}),
    [](const auto& info) {
        std::string name = exitReasonName(info.param.reason);
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST_F(ShellTest, SystemErrorWaitsForTheCloseButton) {
    doubles.onCall = [](const std::string& hook) {
        if (hook == "scanLiveries") gf_requestStop(ExitReason::SystemError, 0);
    };
    install();
    std::thread run([] { gf_runThread(); });
    fakeTiming.waitFor(500ms, 5);
    EXPECT_TRUE(window.handlersPosted().empty());
    gf_closeButton();
    run.join();
    EXPECT_EQ(lastHandler(window), &gf_saveAndQuit);
    EXPECT_EQ(logLines("User closed Calvorinth"), 1);
}

TEST_F(ShellTest, FirstStopReasonHoldsWhenThreadsRace) {
    constexpr int kThreads = 7;
    for (int round = 0; round < 200; ++round) {
        gf_clearStopFlags();
        std::atomic<bool> go{false};
        std::atomic<int> winners{0};
        std::atomic<int> winner{-1};
        std::pair<ExitReason, std::int32_t> observed{};
        std::thread observer([&] {
            while (!stopRequested) std::this_thread::yield();
            observed = {exitReason.load(), restartDelay.load()};
        });
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&, i] {
                while (!go) std::this_thread::yield();
                if (gf_requestStop(static_cast<ExitReason>(i + 1), 10 * (i + 1))) {
                    ++winners;
                    winner = i;
                }
            });
        }
        go = true;
        for (auto& t : threads) t.join();
        observer.join();
        ASSERT_EQ(winners.load(), 1);
        const auto expected = std::pair{static_cast<ExitReason>(winner + 1), 10 * (winner + 1)};
        ASSERT_EQ(std::pair(exitReason.load(), restartDelay.load()), expected);
        // Whoever sees the flag sees the reason stored with it.
        ASSERT_EQ(observed, expected);
    }
}

TEST_F(ShellTest, SimNoLongerConnectedKeepsAnEarlierReason) {
    gf_requestStop(ExitReason::NewFlight, 45);
    gf_simNoLongerConnected();
    EXPECT_EQ(exitReason.load(), ExitReason::NewFlight);
    EXPECT_EQ(logLines("Flight Simulator no longer connected"), 0);

    gf_clearStopFlags();
    gf_simNoLongerConnected();
    EXPECT_EQ(exitReason.load(), ExitReason::SimWasClosed);
    EXPECT_EQ(restartDelay.load(), 0);
    EXPECT_EQ(logLines("Flight Simulator no longer connected, Calvorinth will stop ..."), 1);
}

TEST_F(ShellTest, CloseDuringRestartCountdownEndsTheProgram) {
    doubles.onCall = [](const std::string& hook) {
        if (hook == "scanLiveries") gf_requestStop(ExitReason::SimConnectError, 9);
    };
    fakeTiming.onSleep = [](std::chrono::milliseconds) {
        if (mainWindow.status() == "Restarting after 8 seconds") gf_closeButton();
    };
    install();
    gf_runThread();

    EXPECT_EQ(lastHandler(window), &gf_saveAndQuit);
    EXPECT_FALSE(restartPending);
    const auto shown = port->shown();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "Restarting after 7 seconds"), 0);
}

TEST_F(ShellTest, CloseWithARestartingReasonAlreadyStoredEndsTheProgram) {
    doubles.onCall = [](const std::string& hook) {
        if (hook != "scanLiveries") return;
        gf_requestStop(ExitReason::NewSettings, 3);
        gf_closeButton();
    };
    install();
    gf_runThread();

    EXPECT_EQ(lastHandler(window), &gf_saveAndQuit);
    EXPECT_EQ(fakeTiming.count(100ms), 0);  // no countdown
}

TEST_F(ShellTest, CloseAfterTheResetStartsNoNewRun) {
    doubles.onCall = [](const std::string& hook) {
        if (hook == "scanLiveries") gf_requestStop(ExitReason::NewSettings, 0);
    };
    install();
    gf_runThread();
    ASSERT_EQ(lastHandler(window), &gf_startRun);
    gf_closeButton();  // before the UI thread gets to the posted start

    EXPECT_EQ(window.pumpUntilQuit(), 0);
    EXPECT_EQ(doubles.count("scanLiveries"), 1);
}

TEST_F(ShellTest, RestartRunsAgainKeepingWhatWasReadOnce) {
    int scans = 0;
    doubles.onCall = [&](const std::string& hook) {
        if (hook != "scanLiveries") return;
        if (++scans == 1) gf_requestStop(ExitReason::NewSettings, 1);
        else gf_requestStop(ExitReason::SimWasClosed, 0);
    };
    install();
    window.hooks().post(&gf_startRun);

    EXPECT_EQ(window.pumpUntilQuit(), 0);
    EXPECT_EQ(doubles.count("scanLiveries"), 2);
    EXPECT_EQ(doubles.count("readDbase"), 1);
    EXPECT_EQ(doubles.count("checkNewVersion"), 1);  // not after a restart
    EXPECT_EQ(logLines("Exiting: NEW SETTINGS"), 1);
    EXPECT_EQ(logLines("Exiting: SIM WAS CLOSED"), 1);
    EXPECT_EQ(storedValue("MAIN_WINDOW_X"), "120");
    EXPECT_EQ(storedValue("MAIN_WINDOW_Y"), "240");
}

}  // namespace
}  // namespace clv::test
