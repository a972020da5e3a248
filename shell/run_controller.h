#pragma once
// The life of a run: the run thread with its start-up checks, the main loop
// with its data-step schedule, closing down and then a restart or the end of
// the program; and the UI thread's handlers that start runs and end the program.
#include <atomic>
#include <chrono>
#include <cstdint>

#include "core/parameter.h"
#include "shell/run_services.h"

// ---- run state --------------------------------------------------------------------
// Written by the run thread unless said otherwise; atomics, as the window and
// the tests read them from other threads.

extern std::atomic<bool> firstRunDone;  // dbase.xml was read by this process
extern std::atomic<std::int32_t> dataStepCounter;  // n: data steps since the main loop started
extern std::atomic<bool> flightPaused;  // the loop saw the flight not running
extern std::atomic<std::int32_t> notRunningCountdown;  // ticks to the next housekeeping while paused
extern std::atomic<std::int32_t> renewalPhase;  // 0: next is the first phase, 1: the first is done

// Requests of the window's handlers (any thread), carried out and cleared by the main loop.
extern std::atomic<bool> renewalRequested;
extern std::atomic<bool> rereadRequested;
extern std::atomic<bool> flushStaticRequested;
extern std::atomic<bool> callsign2ObjectIdRequested;
extern std::atomic<bool> blockCallsignRequested;
extern std::atomic<bool> clearNoMatchRequested;

// The main loop's deadline for the next 10 ms tick, given the last one and the
// time now: one tick later, or counted afresh from now when a data step is
// pending or the loop has fallen more than 100 ms behind.
std::chrono::steady_clock::time_point gf_nextTickDeadline(std::chrono::steady_clock::time_point deadline,
                                                          std::chrono::steady_clock::time_point now,
                                                          bool dataStepPending);

// ---- set-up -----------------------------------------------------------------------

// What the runs use; installed before the first run starts, never while one runs.
void gf_installRunServices(clv::RunServices services, clv::RunTiming timing);
void gf_installShellWindow(clv::ShellWindow window);

// ---- the UI thread ----------------------------------------------------------------

// Starts a run thread. After the close button it ends the program instead.
void gf_startRun();
// Saves the window position, closes the log and ends the UI loop with 0.
void gf_saveAndQuit();
// The close button: the run is asked to stop without a reason; the window
// stays until the run has closed down.
void gf_closeButton();
// At process exit: stops and joins the run thread and the SimConnect thread.
void gf_stopRunThreads();

// ---- the run thread ---------------------------------------------------------------

// One run from its start-up checks to the post that restarts or quits. The UI
// thread starts it on a thread of its own; tests may call it directly.
void gf_runThread();

// A stored simulator path that names its "Community" folder becomes the folder
// above it (saved); any other value stays.
void gf_checkCommunityPath(Parameter<std::string>& path);
