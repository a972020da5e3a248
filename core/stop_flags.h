#pragma once
// How a run is asked to end: a flag, a reason and a restart delay, never a direct
// call. Every thread may raise it; the first reason of a run holds.
#include <atomic>
#include <cstdint>

namespace clv {

enum class ExitReason : std::uint32_t {
    NotYetSet = 0,
    SimWasClosed = 1,
    NewFlight = 2,
    NewSettings = 3,
    UserClosedSim = 4,
    SimConnectError = 5,
    ReaderError = 6,
    SystemError = 7,
};

// "NOT YET SET", "SIM WAS CLOSED", ... as shown in "Exiting: {}".
const char* exitReasonName(ExitReason reason);

// NEW SETTINGS, SIMCONNECT ERROR and READER ERROR restart the run.
bool exitReasonRestarts(ExitReason reason);

}  // namespace clv

// Raised when a run is to end; every loop of every thread polls them.
extern std::atomic<bool> stopRequested;
// Raised by the window's close button; always wins over a restart.
extern std::atomic<bool> userClosedWindow;

extern std::atomic<clv::ExitReason> exitReason;
extern std::atomic<std::int32_t> restartDelay;  // seconds

// Sets stopRequested and, only when it was clear, stores the reason and delay.
// Returns whether this call's reason was stored.
bool gf_requestStop(clv::ExitReason reason, std::int32_t delaySeconds);
