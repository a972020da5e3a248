#pragma once
// What the parts of a run share: the installed services and timing, the
// window's calls, the threads of a run, and the waits and steps they all use.
// Internal to the shell.
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "shell/run_services.h"

// What the user reads when a part of the program is missing from this build.
inline constexpr const char* kSimLinkMissing = "Simulator link not available in this build";
inline constexpr const char* kFeedMissing = "RealTraffic link not available in this build";
inline constexpr const char* kEngineMissing = "Live traffic engine not available in this build";
inline constexpr const char* kLiveriesMissing = "Livery data not available in this build";
inline constexpr const char* kAirportsMissing = "Airports and parking not available in this build";

extern clv::RunServices g_runServices;
extern clv::RunTiming g_runTiming;
extern clv::ShellWindow g_shellWindow;

// The UI thread's: the current run thread, kept so that it is joined before the
// next one starts and before the process ends.
extern std::jthread runThreadSlot;
// The run thread's (one run at a time): the SimConnect thread of the last run,
// asked to stop by closing down and joined by the next run or at process exit.
extern std::jthread simConnectThreadSlot;

// A part of the program that this build lacks.
class ServiceMissing : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The hook, or ServiceMissing with the text of its group when this build lacks it.
template <typename F>
const F& gf_need(const F& hook, const char* missing) {
    if (!hook) throw ServiceMissing(missing);
    return hook;
}

// Calls the hook when this build has it.
template <typename F, typename... A>
void gf_callIfSet(const F& hook, A&&... args) {
    if (hook) hook(std::forward<A>(args)...);
}

bool gf_stopSeen();
void gf_runSleep(std::chrono::milliseconds d);
// Sleeps in short pieces; false as soon as a stop is seen.
bool gf_waitUnlessStopped(std::chrono::milliseconds d);
// Sleeps in short pieces; false as soon as the close button was pressed.
bool gf_waitUnlessClosed(std::chrono::milliseconds d);
void gf_repaint();
void gf_postToUiThread(std::function<void()> call);
// Shown, and logged even while the run is stopping.
void gf_showAndLog(const std::string& text);
void gf_setFlightRunning(bool running);
// A tidying step of closing down: a failure is logged and the next step runs,
// so that closing down always reaches its end.
void gf_tidyStep(const char* what, const std::function<void()>& step);

// The parts of a run, in their order.
void gf_installChecks();
void gf_run();
void gf_closingDown();
