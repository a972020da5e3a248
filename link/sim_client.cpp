#include "link/sim_client.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include <fmt/format.h>

#include "core/log.h"
#include "core/parameters.h"
#include "core/product.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "core/user_error.h"
#include "link/sim_flight_plan.h"
#include "link/sim_hooks.h"
#include "link/sim_ids.h"
#include "link/sim_queues.h"
#include "link/sim_state.h"

std::atomic<clv::SimConnectHandle> simConnectHandle{clv::SimConnectHandle{}};
std::atomic<bool> simRunning{false};
std::atomic<bool> simConnectFailed{false};
std::atomic<bool> newDataStep{false};
std::atomic<std::uint32_t> userObjectId{kInitialUserObjectId};
std::atomic<float> simFrameRate{0.0f};
std::atomic<std::int64_t> simulatorTime{0};
std::atomic<bool> userOnGround{false};
std::atomic<bool> userOnGroundKnown{false};
std::atomic<bool> userAcDataReceived{false};
std::atomic<double> userHalfWingspan{0.0};
std::atomic<bool> userHalfWingspanKnown{false};
std::atomic<std::uint32_t> userAcCategory{0};
std::atomic<bool> simConnected{false};
std::atomic<bool> simRunningDisplay{false};
std::atomic<bool> userSpanKnownDisplay{false};

std::mutex userAcMutex;
clv::UserAcData lastUserAcData;
std::mutex simDisplayMutex;
SimDisplayTexts simDisplayTexts;
std::string userAcTitle;
clv::SimThreadState simThreadState;

namespace {

using namespace std::chrono_literals;

// How many SimClient bodies run, so the reset can wait for the last one to end.
std::mutex g_activeMutex;
std::condition_variable g_activeEnded;
int g_active = 0;
// Raised by the reset: a SimClient still running ends as if its stop was requested.
std::atomic<bool> g_resetStop{false};

struct ActiveClient {
    ActiveClient() {
        std::lock_guard lock(g_activeMutex);
        ++g_active;
    }
    ~ActiveClient() {
        {
            std::lock_guard lock(g_activeMutex);
            --g_active;
        }
        g_activeEnded.notify_all();
    }
    ActiveClient(const ActiveClient&) = delete;
    ActiveClient& operator=(const ActiveClient&) = delete;
};

// Sleeps up to `duration`, looking at the stop every 100 ms; false when stopped.
template <class Stopping>
bool lf_sleepUnlessStopped(Stopping stopping, std::chrono::milliseconds duration) {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < until) {
        if (stopping()) return false;
        std::this_thread::sleep_until(std::min(until, std::chrono::steady_clock::now() + 100ms));
    }
    return !stopping();
}

// The thread's last step, after the loop or an error.
void lf_endSimClient(bool failed) {
    try {
        gf_simLinkHooks().reserveUserStand();
    } catch (const std::exception& e) {
        gf_logMarked("Exception in {}: {}", "gf_reserveUserStand", e.what());
    }
    simConnected = false;
    gf_uiPort().requestRepaint();
    // After a failure nothing more may be sent in this run: the flag goes up before
    // the handle goes, so run-thread callers that test it never reach a dead handle.
    if (failed) simConnectFailed = true;
    const clv::SimConnectHandle handle = simConnectHandle.exchange(clv::SimConnectHandle{});
    if (handle != clv::SimConnectHandle{}) {
        if (SimConnect_Close(handle) == clv::kScOk) {
            gf_log("SimConnect closed ok");
        } else {
            gf_logMarked("Closing SimConnect failed?!");
        }
    }
}

// Where the link connects and where that came from, or why a SimConnect.cfg keeps
// it from connecting: said in the log and on the status line when first known and
// again when the file changes it, never on every retry, so the user can check the
// address and mend the file. `reported` holds what was said last.
void lf_reportEndpoint(const clv::ScEndpointResult& where, std::string& reported) {
    const std::string endpoint = gf_simConnectEndpointText(where.endpoint);
    const std::string now = where.error.empty() ? endpoint + " " + where.source : where.error;
    if (now == reported) return;
    const bool first = reported.empty();
    reported = now;
    const std::string waiting = fmt::format("Waiting for MSFS 20{}", MSFS_2020.value ? "20" : "24");
    if (where.error.empty()) {
        gf_log("SimConnect endpoint {} ({})", endpoint, where.source);
        gf_setStatusLine(fmt::format("{} at {} ...", waiting, endpoint), true);
    } else {
        if (first) gf_setStatusLine(waiting + " ...", true);
        gf_logMarked("{}", where.error);
        gf_setStatusLine(where.error, true);
    }
    gf_uiPort().requestRepaint();
}

void lf_simLost() {
    simRunning = false;
    gf_simNoLongerConnected();
}

// The simulator's side sent what cannot be framed: it may be running still (or be
// no simulator at all), so the log names what was refused and where it came from,
// and the run ends without blaming a closed simulator.
void lf_simDataNotUnderstood(clv::SimConnectHandle handle) {
    simRunning = false;
    gf_logMarked("SimConnect: the simulator's data was not understood, the link ends: {}",
                 gf_simConnectRefusal(handle));
    if (stopRequested) return;
    gf_setStatusLine(fmt::format("The simulator link's data was not understood (see Log.txt), {} will stop ...",
                                 clv::kProductName));
    gf_requestStop(clv::ExitReason::SimDataNotUnderstood, 0);
}

}  // namespace

SimDisplayTexts gf_simDisplayTexts() {
    std::lock_guard lock(simDisplayMutex);
    return simDisplayTexts;
}

std::string gf_userAcTitle() {
    std::lock_guard lock(simDisplayMutex);
    return userAcTitle;
}

std::string gf_userStandName() {
    std::lock_guard lock(simDisplayMutex);
    return simDisplayTexts.userStand;
}

void SimClient(std::stop_token stop) {
    ActiveClient active;
    auto stopping = [&stop] { return stop.stop_requested() || g_resetStop.load(); };
    bool failed = false;
    try {
        std::string reported;
        while (!stopRequested && !userClosedWindow && !stopping()) {
            // SimConnect_Open reads the same file: a mended one is seen by the next attempt.
            const clv::ScEndpointResult where = gf_simConnectEndpoint();
            lf_reportEndpoint(where, reported);
            clv::SimConnectHandle handle{};
            gf_setSimConnectProtocol(MSFS_2020.value ? clv::kScProtocol2020 : clv::kScProtocol2024);
            if (SimConnect_Open(&handle, clv::kProductName, nullptr, 0, nullptr, 0) != clv::kScOk) {
                lf_sleepUnlessStopped(stopping, 1000ms);
                continue;
            }
            // Where it listens tells whether it can open our flight plan files.
            gf_setSimAddress(where.endpoint.address);
            simConnectHandle = handle;
            gf_registerSimConnect(handle);
            // (No system timer resolution to raise: sleeps here are fine-grained already.)
            // stopRequested alone does not end this loop: the run's close-down
            // requests the thread's stop once it no longer needs the link.
            while (!stopping()) {
                const auto next = std::chrono::steady_clock::now() + 1ms;
                const clv::ScResult dispatched = SimConnect_CallDispatch(handle, gf_dispatch, nullptr);
                if (dispatched == clv::kScConnectionLost) {
                    // The simulator is gone (it says "Quit" first, when it can).
                    lf_simLost();
                    failed = true;
                    break;
                }
                if (dispatched == clv::kScDataNotUnderstood) {
                    lf_simDataNotUnderstood(handle);
                    failed = true;
                    break;
                }
                std::this_thread::sleep_until(next);
            }
            break;  // one connection per thread: a new run opens the next
        }
    } catch (const clv::UserErrorException& e) {
        gf_showError(e.what());
        if (std::string_view(e.what()).starts_with("791")) {
            lf_sleepUnlessStopped(stopping, 10000ms);
            lf_simLost();
        }
        failed = true;
    } catch (const std::exception& e) {
        gf_showError(e.what());
        lf_simLost();
        failed = true;
    } catch (...) {
        gf_showError(fmt::format("Exception in {}", "SimClient"));
        lf_simLost();
        failed = true;
    }
    lf_endSimClient(failed);
}

void gf_waitForSimClientEnd() {
    std::unique_lock lock(g_activeMutex);
    if (!g_activeEnded.wait_for(lock, 5s, [] { return g_active == 0; })) {
        gf_logMarked("The SimConnect thread did not end within 5 seconds");
    }
}

void gf_simConnectRequestError() {
    gf_setStatusLine("SimConnect request error", true);
    simConnectFailed = true;
    gf_requestStop(clv::ExitReason::SimConnectError, 9);
}

clv::UserAcData gf_requestUserAcData() {
    std::lock_guard lock(simQueueMutex);
    if (!simConnectFailed) {
        if (SimConnect_RequestDataOnSimObject(simConnectHandle, clv::REQUEST_USER_AC_DATA, clv::DEF_USER_AC,
                                              clv::kScObjectIdUser, clv::ScPeriod::Once) != clv::kScOk) {
            gf_logMarked("SimConnect request user ac position fails");
            gf_simConnectRequestError();
        }
    }
    return gf_lastUserAcData();
}

clv::UserAcData gf_lastUserAcData() {
    std::lock_guard lock(userAcMutex);
    return lastUserAcData;
}

void gf_requestUserAcTitleModel() {
    std::lock_guard lock(simQueueMutex);
    const clv::SimConnectHandle handle = simConnectHandle;
    if (SimConnect_RequestDataOnSimObject(handle, clv::REQUEST_USER_TITLE, clv::DEF_USER_TITLE, clv::kScObjectIdUser,
                                          clv::ScPeriod::Once) != clv::kScOk) {
        gf_logMarked("SimConnect request user ac title fails");
        gf_simConnectRequestError();
    }
    if (SimConnect_RequestDataOnSimObject(handle, clv::REQUEST_USER_MODEL, clv::DEF_USER_MODEL, clv::kScObjectIdUser,
                                          clv::ScPeriod::Once) != clv::kScOk) {
        gf_logMarked("SimConnect reques user ac model fails");
        gf_simConnectRequestError();
    }
}

bool gf_requestSimOnGround() {
    std::lock_guard lock(simQueueMutex);
    return SimConnect_RequestDataOnSimObject(simConnectHandle, clv::REQUEST_USER_ON_GROUND, clv::DEF_USER_ON_GROUND,
                                             clv::kScObjectIdUser, clv::ScPeriod::Second) == clv::kScOk;
}

void gf_resetSimLink() {
    g_resetStop = true;
    gf_waitForSimClientEnd();
    g_resetStop = false;
    pendingCreations.clear();
    objectAddedQueue.clear();
    simThreadState = clv::SimThreadState{};
    simRunning = false;
    simConnectHandle = clv::SimConnectHandle{};
    simConnectFailed = false;
    gf_setSimAddress(clv::kDefaultSimConnectAddress);
    {
        std::lock_guard lock(simQueueMutex);
        positionBufferA.clear();
        positionBufferB.clear();
        fillPositions = &positionBufferA;
        sendPositions = &positionBufferB;
        createAcQueue.clear();
        removeAcQueue.clear();
        clientEventQueue.clear();
    }
    newDataStep = false;
    userObjectId = kInitialUserObjectId;
    userOnGround = false;
    userOnGroundKnown = false;
    userAcDataReceived = false;
    {
        std::lock_guard lock(userAcMutex);
        lastUserAcData = clv::UserAcData{};
    }
    {
        std::lock_guard lock(simDisplayMutex);
        simDisplayTexts.userStand.clear();
    }
    userHalfWingspan = 0.0;
    userHalfWingspanKnown = false;
    userAcCategory = 0;
}

std::int64_t gf_unixTimeOfDayOfYear(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondsOfDay) {
    // Leap days before 1 January of a year y, counted from year 1.
    auto leapDaysBefore = [](std::int64_t y) {
        const std::int64_t p = y - 1;
        return p / 4 - p / 100 + p / 400;
    };
    const std::int64_t days = 365 * (year - 1970) + leapDaysBefore(year) - leapDaysBefore(1970) + dayOfYear - 1;
    return days * 86400 + secondsOfDay;
}
