#pragma once
// How a run is asked to end: a flag, a reason and a restart delay, never a direct
// call. Every thread may raise it; the first reason of a run holds.
#include <atomic>
#include <cstdint>

#include "core/exit_reason.h"

// Raised when a run is to end; every loop of every thread polls them. Raise
// them only through the calls below, so that a reason is never seen late.
extern std::atomic<bool> stopRequested;
// Raised by the window's close button (and by a stop found after the start-up
// scans); cleared when a run restarts.
extern std::atomic<bool> userClosedWindow;
// Raised by the window's close button and never cleared: the close always wins
// over a restart, also one already decided or counting down.
extern std::atomic<bool> closeButtonPressed;

extern std::atomic<clv::ExitReason> exitReason;
extern std::atomic<std::int32_t> restartDelay;  // seconds

// When stopRequested is clear, stores the reason and delay and then raises it.
// Returns whether this call's reason was stored. A thread that sees
// stopRequested set also sees the reason stored with it.
bool gf_requestStop(clv::ExitReason reason, std::int32_t delaySeconds);
// The close button: userClosedWindow, closeButtonPressed and stopRequested, no reason.
void gf_requestStopByUser();
// The run thread's handlers of a user error and of an unknown exception store
// SYSTEM ERROR over any earlier reason (the flag and the delay stay as they are).
void gf_forceSystemError();
// The reset of a run before a restart: both stop flags clear, no reason, delay 0.
// closeButtonPressed stays.
void gf_clearStopFlags();

// The simulator quit or the link was lost: ends the run with SIM WAS CLOSED
// (delay 0) unless a stop is already raised.
void gf_simNoLongerConnected();
