#include "core/stop_flags.h"

#include <mutex>

#include "core/clock.h"
#include "core/log.h"
#include "core/product.h"

std::atomic<bool> stopRequested{false};
std::atomic<bool> userClosedWindow{false};
std::atomic<bool> closeButtonPressed{false};
std::atomic<clv::ExitReason> exitReason{clv::ExitReason::NotYetSet};
std::atomic<std::int32_t> restartDelay{0};

namespace {
// Serialises the writers of the stop state, so that the reason is stored before
// the flag that others poll, and only the first reason of a run is kept.
std::mutex g_stopMutex;
}  // namespace


bool gf_requestStop(clv::ExitReason reason, std::int32_t delaySeconds) {
    std::lock_guard lock(g_stopMutex);
    if (stopRequested.load()) return false;
    exitReason.store(reason);
    restartDelay.store(delaySeconds);
    stopRequested.store(true);
    return true;
}

void gf_requestStopByUser() {
    std::lock_guard lock(g_stopMutex);
    closeButtonPressed.store(true);
    userClosedWindow.store(true);
    stopRequested.store(true);
}

void gf_forceSystemError() {
    std::lock_guard lock(g_stopMutex);
    exitReason.store(clv::ExitReason::SystemError);
}

void gf_clearStopFlags() {
    std::lock_guard lock(g_stopMutex);
    userClosedWindow.store(false);
    stopRequested.store(false);
    exitReason.store(clv::ExitReason::NotYetSet);
    restartDelay.store(0);
}

void gf_simNoLongerConnected() {
    if (stopRequested.load()) return;
    gf_log("{} Flight Simulator no longer connected, {} will stop ...", gf_timeOfDay(), clv::kProductName);
    gf_requestStop(clv::ExitReason::SimWasClosed, 0);
}
