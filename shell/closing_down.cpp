#include "shell/run_support.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <fmt/format.h>

#include "core/log.h"
#include "core/parameters.h"
#include "core/product.h"
#include "core/run_state.h"
#include "core/stop_flags.h"
#include "core/text.h"
#include "link/realtraffic_state.h"
#include "shell/main_window.h"
#include "shell/status_lines.h"


#include "shell/run_controller.h"

using namespace std::chrono_literals;
using clv::ExitReason;

namespace {

const clv::RunServices& S = g_runServices;

void lf_restartCountdown() {
    const std::int32_t delay = restartDelay;
    if (delay < 1) return;
    gf_log("Restarting after {} seconds\n\n\n\n\n", delay);
    for (std::int32_t s = delay; s >= 1; --s) {
        gf_setStatusLine(fmt::format("Restarting after {} second{}", s, gf_plural(s)), false);
        if (!gf_waitUnlessClosed(1s)) return;
    }
}

void lf_resetRunState() {
    gf_tidyStep("gf_resetTrafficFeed", S.feed.resetTrafficFeed);
    gf_tidyStep("the simulator link's reset", S.sim.resetSimLink);
    gf_tidyStep("gf_stopTraffic", S.engine.stopTraffic);
    gf_resetMainWindowState();
    gf_tidyStep("the window's reset", S.window.resetDisplay);
    gf_clearStopFlags();
    readerError = false;
    flightPaused = false;
    rtProfessional = false;
    renewalRequested = false;
    dataStepCounter = 0;
    renewalPhase = 0;
    blockCallsignRequested = false;
    awaitingRealTraffic = true;
    callsign2ObjectIdRequested = false;
    LATERAL_RANGE.value = gf_clampToLimits(LATERAL_RANGE.value.get(), LATERAL_RANGE);
    gf_refreshLateralRangeCopies();
}

}  // namespace

void gf_closingDown() {
    gf_log("Exiting: {}", clv::exitReasonName(exitReason));
    gf_setFlightRunning(false);
    if (simConnectThreadSlot.joinable()) simConnectThreadSlot.request_stop();
    gf_tidyStep("gf_stopReaders", S.feed.stopReaders);
    gf_runSleep(500ms);
    gf_tidyStep("gf_closeRealTrafficLink", S.feed.closeRealTrafficLink);
    if (exitReason == ExitReason::SystemError) {
        // A user error leaves the stop open, so the window's fix for it (a new
        // install path) can still turn the wait into a restart.
        while (!userClosedWindow && !closeButtonPressed && exitReason == ExitReason::SystemError) gf_runSleep(500ms);
        if (exitReason == ExitReason::SystemError || closeButtonPressed) {
            gf_showAndLog(fmt::format("User closed {}", clv::kProductName));
        }
    }
    gf_tidyStep("gf_clearGroundTraffic", [] {
        if (S.airports.parkAirportSet && S.airports.parkAirportSet()) gf_callIfSet(S.airports.clearGroundTraffic);
    });
    gf_tidyStep("the remembered liveries", S.engine.clearRememberedTitles);
    gf_tidyStep("gf_removeFlightPlanFolder", S.sim.removeFlightPlanFolder);
    gf_tidyStep("saving DESTINATION", [] { DESTINATION.set(""); });
    gf_tidyStep("saving BLOCK_CALLSIGN", [] { BLOCK_CALLSIGN.set(""); });
    gf_tidyStep("the blocked callsigns", S.engine.clearBlockedCallsigns);
    gf_tidyStep("gf_livMatchingSummary", S.liveries.livMatchingSummary);
    gf_tidyStep("gf_logNoMatchList", S.liveries.logNoMatchList);

    const ExitReason reason = exitReason;
    // The close button always wins over a restart.
    bool restart = clv::exitReasonRestarts(reason) && !closeButtonPressed;
    if (restart) {
        restartPending = true;
        gf_clearErrorText();
        gf_clearStatusLine();
        gf_showAndLog("Prepare for a restart ...");
        if (reason != ExitReason::NewSettings) {
            gf_tidyStep("switching the rescans off", [] {
                SCAN_LIVERIES.value = false;
                SCAN_LIVERIES.save();
                SCAN_AIRPORTS.value = false;
                SCAN_AIRPORTS.save();
            });
        }
        lf_restartCountdown();
        restart = !closeButtonPressed;
        if (restart) lf_resetRunState();
    }
    if (!restart) {
        restartPending = false;
        if (reason == ExitReason::NewFlight) {
            gf_showAndLog(fmt::format("New flight detected, {} will close, please restart manually ...",
                                      clv::kProductName));
            gf_waitUnlessClosed(10s);
        } else if (reason == ExitReason::SimDataNotUnderstood) {
            // The status line the link left says why; the log names what was refused.
            gf_waitUnlessClosed(10s);
        }
    }
    gf_postToUiThread(restart ? &gf_startRun : &gf_saveAndQuit);
}
