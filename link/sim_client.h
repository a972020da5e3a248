#pragma once
// The SimConnect thread: one connection per run, opened (retried once a second
// until the simulator answers), registered, and dispatched every millisecond.
// Its handlers follow the simulator's events and the user aircraft, bind new AI
// objects and report to the engine through the SimEvent inbox.
#include <atomic>
#include <cstdint>
#include <stop_token>
#include <string>

#include "link/user_aircraft.h"
#include "platform/simconnect.h"

// The connection; null while none is open (also after the thread has closed it).
extern std::atomic<clv::SimConnectHandle> simConnectHandle;
// The simulator reports a running flight ("Sim" event); cleared on Quit and errors.
extern std::atomic<bool> simRunning;
// A SimConnect call failed (or the thread ended on an error): nothing more is sent
// in this run. Cleared by gf_reserveSimQueues at the start of a run.
extern std::atomic<bool> simConnectFailed;
// Set by every SIM ON GROUND reply; the main loop consumes it as its data step.
extern std::atomic<bool> newDataStep;
// The user aircraft's object id from its data replies; 2 before the first one.
// Objects at or below it are never bound, moved or removed.
extern std::atomic<std::uint32_t> userObjectId;
inline constexpr std::uint32_t kInitialUserObjectId = 2;
// The simulator's frame rate, refreshed every 30th "Frame" event.
extern std::atomic<float> simFrameRate;
// The simulator's UTC time, seconds since 1970; kept while rtProfessional is set.
extern std::atomic<std::int64_t> simulatorTime;

// The SIM ON GROUND state of the user aircraft and whether a reply has come.
extern std::atomic<bool> userOnGround;
extern std::atomic<bool> userOnGroundKnown;
// A user aircraft data reply has come in this run.
extern std::atomic<bool> userAcDataReceived;

// The user aircraft's type as derived from its title and model.
extern std::atomic<double> userHalfWingspan;  // nautical miles
extern std::atomic<bool> userHalfWingspanKnown;
extern std::atomic<std::uint32_t> userAcCategory;  // AcCategory number, 0 Light

// What the main window's status area shows of the simulator link.
extern std::atomic<bool> simConnected;          // the simulator accepted the connection
extern std::atomic<bool> simRunningDisplay;     // the "Sim" state as shown
extern std::atomic<bool> userSpanKnownDisplay;  // the user aircraft's wing span is known
struct SimDisplayTexts {
    std::string simulator;  // "MSFS 2024", or "MSFS 2020 (11.0.282174.999)"
    std::string userTitle;  // the user aircraft's title as shown
    std::string userStand;  // the stand under the user aircraft, "" for none
};
SimDisplayTexts gf_simDisplayTexts();
// The user aircraft's title (at most 48 bytes) and the stand name under it.
std::string gf_userAcTitle();
std::string gf_userStandName();

// The thread body; ends when its stop is requested, or on stopRequested or
// userClosedWindow while it still waits for the simulator.
void SimClient(std::stop_token stop);

// Waits (up to 5 seconds) until no SimClient runs; the reset and the queue
// reservation call it so they never touch the thread's containers under it.
void gf_waitForSimClientEnd();

// The dispatch procedure of the connection.
void gf_dispatch(const clv::ScRecv* message, std::uint32_t size, void* context);

// The common failure path of every SimConnect request: the status line "SimConnect
// request error", simConnectFailed, and the run ends with SIMCONNECT ERROR
// (restart after 9 s). Any thread; it takes no queue lock, so a caller may hold
// simQueueMutex.
void gf_simConnectRequestError();

// Run thread: asks for a fresh user aircraft block (unless simConnectFailed) and
// returns the last one received.
clv::UserAcData gf_requestUserAcData();
// The user aircraft's last block as the simulator sent it, without a new request.
clv::UserAcData gf_lastUserAcData();
// Run thread: asks once for the user aircraft's title and ATC model.
void gf_requestUserAcTitleModel();
// Run thread: asks for the user aircraft's SIM ON GROUND every second; false
// when the request failed (the caller reports it).
bool gf_requestSimOnGround();

// The reset before a restart: waits for the SimConnect thread to have ended, then
// empties the pending creations and new objects, the queues and both position
// buffers (fill = A, send = B), clears simRunning, the handle, simConnectFailed,
// newDataStep, the user aircraft's data, stand text and type; the simulator
// counts as one on this PC again.
void gf_resetSimLink();

// Seconds since 1970 of a UTC date given as year and day of year (1 = 1 January).
std::int64_t gf_unixTimeOfDayOfYear(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondsOfDay);
