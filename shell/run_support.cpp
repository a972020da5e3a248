#include "shell/run_support.h"

#include <algorithm>
#include <mutex>

#include "core/log.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "link/traffic_update.h"
#include "shell/run_controller.h"
#include "shell/status_lines.h"

using namespace std::chrono_literals;

clv::RunServices g_runServices;
clv::RunTiming g_runTiming = gf_realTiming();
clv::ShellWindow g_shellWindow;

std::jthread runThreadSlot;
std::jthread simConnectThreadSlot;

namespace {
// Waits are cut into pieces no longer than this, each followed by a look at the stop flags.
constexpr auto kPollPiece = 100ms;
}  // namespace

bool gf_stopSeen() { return stopRequested.load() || userClosedWindow.load(); }

void gf_runSleep(std::chrono::milliseconds d) { g_runTiming.sleep(d); }

bool gf_waitUnlessStopped(std::chrono::milliseconds d) {
    while (d > 0ms) {
        if (gf_stopSeen()) return false;
        const auto piece = std::min(d, std::chrono::milliseconds(kPollPiece));
        gf_runSleep(piece);
        d -= piece;
    }
    return !gf_stopSeen();
}

bool gf_waitUnlessClosed(std::chrono::milliseconds d) {
    while (d > 0ms) {
        if (closeButtonPressed.load()) return false;
        const auto piece = std::min(d, std::chrono::milliseconds(kPollPiece));
        gf_runSleep(piece);
        d -= piece;
    }
    return !closeButtonPressed.load();
}

void gf_repaint() { gf_uiPort().requestRepaint(); }

void gf_postToUiThread(std::function<void()> call) {
    if (g_shellWindow.post) g_shellWindow.post(std::move(call));
}

void gf_showAndLog(const std::string& text) {
    gf_setStatusLine(text, false);
    gf_log(text);
}

void gf_setFlightRunning(bool running) {
    std::lock_guard lock(runMutex);
    flightRunning = running;
}

void gf_tidyStep(const char* what, const std::function<void()>& step) {
    if (!step) return;
    try {
        step();
    } catch (const std::exception& e) {
        gf_logMarked("Exception in {}: {}", what, e.what());
    } catch (...) {
        gf_logMarked("Exception in {}", what);
    }
}

clv::RunTiming gf_realTiming() {
    return clv::RunTiming{
        [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); },
        [](std::chrono::steady_clock::time_point t) { std::this_thread::sleep_until(t); },
    };
}
