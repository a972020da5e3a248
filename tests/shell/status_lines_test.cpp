// The status and error lines: what is shown, what is logged, and when a
// status message goes by itself.
#include <gtest/gtest.h>

#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "shell/main_window.h"
#include "shell/status_lines.h"
#include "shell_support.h"

namespace clv::test {
namespace {

TEST_F(ShellTest, StandingErrorDropsStatusMessagesFromScreenAndLog) {
    gf_setStatusLine("Scanning liveries", true);
    gf_showError("150: No install path detected");
    EXPECT_EQ(mainWindow.status(), "");
    EXPECT_EQ(mainWindow.error(), "150: No install path detected");

    gf_setStatusLine("Parking adjustments: 2 to be removed, 3 to be added", true);
    EXPECT_EQ(mainWindow.status(), "");
    EXPECT_EQ(logLines("Parking adjustments"), 0);
    EXPECT_EQ(logLines("Error 150: No install path detected"), 1);

    // Once the error is cleared, messages show again; the one shown before the error stays gone.
    gf_clearErrorText();
    EXPECT_EQ(mainWindow.status(), "");
    gf_setStatusLine("Re-read done", true);
    EXPECT_EQ(mainWindow.status(), "Re-read done");
    EXPECT_EQ(logLines("Re-read done"), 1);
}

TEST_F(ShellTest, EmptyStatusLogsNothingAndHasNothingToClear) {
    gf_setStatusLine("Scanning", false);
    gf_clearStatusLine();
    EXPECT_EQ(mainWindow.status(), "");
    EXPECT_EQ(mainWindow.statusStep(), 0);
    const std::string before = log();
    gf_setStatusLine("", true);
    EXPECT_EQ(log(), before);
}

TEST_F(ShellTest, StatusMessageGoesAfter25DataSteps) {
    gf_setStatusLine("RealTraffic detected at this PC", false);
    EXPECT_EQ(mainWindow.statusStep(), 1);  // set at step 0, counted from 1
    for (int step = 1; step <= 25; ++step) gf_statusDataStep();
    EXPECT_EQ(mainWindow.status(), "RealTraffic detected at this PC");  // step 25: 24 steps since
    gf_statusDataStep();
    EXPECT_EQ(mainWindow.status(), "");  // step 26

    // A message set again stands for 25 steps from then.
    gf_setStatusLine("first", false);
    for (int i = 0; i < 10; ++i) gf_statusDataStep();
    gf_setStatusLine("second", false);
    for (int i = 0; i < 24; ++i) gf_statusDataStep();
    EXPECT_EQ(mainWindow.status(), "second");
    gf_statusDataStep();
    EXPECT_EQ(mainWindow.status(), "");
}

TEST_F(ShellTest, WhileStoppingMessagesAreShownButNotLogged) {
    gf_requestStop(ExitReason::SimWasClosed, 0);
    gf_setStatusLine("Removing ground traffic", true);
    EXPECT_EQ(mainWindow.status(), "Removing ground traffic");
    EXPECT_EQ(logLines("Removing ground traffic"), 0);
}

}  // namespace
}  // namespace clv::test
