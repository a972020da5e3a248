#include "shell/run_controller.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/parameter_store.h"
#include "core/parameters.h"
#include "core/product.h"
#include "core/run_state.h"
#include "core/sim_detect.h"
#include "core/stop_flags.h"
#include "core/text.h"
#include "core/ui_port.h"
#include "core/user_error.h"
#include "core/version.h"
#include "core/workers.h"
#include "link/realtraffic_state.h"
#include "link/traffic_update.h"
#include "link/user_aircraft.h"
#include "platform/timer.h"
#include "shell/main_window.h"
#include "shell/self_update.h"
#include "shell/status_lines.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using clv::ExitReason;

std::atomic<bool> firstRunDone{false};
std::atomic<std::int32_t> dataStepCounter{0};
std::atomic<bool> flightPaused{false};
std::atomic<std::int32_t> notRunningCountdown{100};
std::atomic<std::int32_t> renewalPhase{0};

std::atomic<bool> renewalRequested{false};
std::atomic<bool> rereadRequested{false};
std::atomic<bool> flushStaticRequested{false};
std::atomic<bool> callsign2ObjectIdRequested{false};
std::atomic<bool> blockCallsignRequested{false};
std::atomic<bool> clearNoMatchRequested{false};

clv::RunTiming gf_realTiming() {
    return clv::RunTiming{
        [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); },
        [](std::chrono::steady_clock::time_point t) { std::this_thread::sleep_until(t); },
    };
}

std::chrono::steady_clock::time_point gf_nextTickDeadline(std::chrono::steady_clock::time_point deadline,
                                                          std::chrono::steady_clock::time_point now,
                                                          bool dataStepPending) {
    // A pending data step is not kept waiting behind a backlog of ticks, and a
    // stall (a wait for RealTraffic, a slow call) is not made up for with a burst
    // of ticks; a lag of a few ticks is caught up.
    constexpr auto kMaxLag = 100ms;
    if (dataStepPending || now - deadline > kMaxLag) deadline = now;
    return deadline + 10ms;
}

namespace {

constexpr auto kTick = 10ms;
constexpr std::int32_t kNotRunningTicks = 100;
// Waits are cut into pieces no longer than this, each followed by a look at the stop flags.
constexpr auto kPollPiece = 100ms;

// What the user reads when a part of the program is missing from this build.
constexpr const char* kSimLinkMissing = "Simulator link not available in this build";
constexpr const char* kFeedMissing = "RealTraffic link not available in this build";
constexpr const char* kEngineMissing = "Live traffic engine not available in this build";
constexpr const char* kLiveriesMissing = "Livery data not available in this build";
constexpr const char* kAirportsMissing = "Airports and parking not available in this build";

constexpr const char* kInstallerFile = "install_new_version.exe";
constexpr const char* kRealTrafficJar = "RealTraffic.jar";

clv::RunServices g_services;
clv::RunTiming g_timing = gf_realTiming();
clv::ShellWindow g_window;

// The UI thread's: the current run thread, kept so that it is joined before the
// next one starts and before the process ends.
std::jthread runThreadSlot;
// The run thread's (one run at a time): the SimConnect thread of the last run,
// asked to stop by closing down and joined by the next run or at process exit.
std::jthread simConnectThreadSlot;

const clv::RunServices& S = g_services;

// A part of the program that this build lacks.
class ServiceMissing : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

template <typename F>
const F& lf_need(const F& hook, const char* missing) {
    if (!hook) throw ServiceMissing(missing);
    return hook;
}

template <typename F, typename... A>
void lf_call(const F& hook, A&&... args) {
    if (hook) hook(std::forward<A>(args)...);
}

bool lf_stopSeen() { return stopRequested.load() || userClosedWindow.load(); }

void lf_sleep(std::chrono::milliseconds d) { g_timing.sleep(d); }

// Sleeps in short pieces; false as soon as a stop is seen.
bool lf_waitUnlessStopped(std::chrono::milliseconds d) {
    while (d > 0ms) {
        if (lf_stopSeen()) return false;
        const auto piece = std::min(d, std::chrono::milliseconds(kPollPiece));
        lf_sleep(piece);
        d -= piece;
    }
    return !lf_stopSeen();
}

// Sleeps in short pieces; false as soon as the close button was pressed.
bool lf_waitUnlessClosed(std::chrono::milliseconds d) {
    while (d > 0ms) {
        if (closeButtonPressed.load()) return false;
        const auto piece = std::min(d, std::chrono::milliseconds(kPollPiece));
        lf_sleep(piece);
        d -= piece;
    }
    return !closeButtonPressed.load();
}

void lf_repaint() { gf_uiPort().requestRepaint(); }

void lf_post(std::function<void()> call) {
    if (g_window.post) g_window.post(std::move(call));
}

// Shown, and logged even while the run is stopping.
void lf_showAndLog(const std::string& text) {
    gf_setStatusLine(text, false);
    gf_log(text);
}

void lf_setFlightRunning(bool running) {
    std::lock_guard lock(runMutex);
    flightRunning = running;
}

void lf_enable(const ParameterControl& control, bool enabled) { gf_uiPort().setEnabled(control.handle.load(), enabled); }

void lf_check(const ParameterControl& control, bool checked) { gf_uiPort().setChecked(control.handle.load(), checked); }

template <typename T>
T lf_clamp(T v, const Parameter<T>& p) {
    return v < p.min ? p.min : std::min(v, p.max);
}

// A tidying step of closing down: a failure is logged and the next step runs,
// so that closing down always reaches its end.
void lf_tidy(const char* what, const std::function<void()>& step) {
    if (!step) return;
    try {
        step();
    } catch (const std::exception& e) {
        gf_logMarked("Exception in {}: {}", what, e.what());
    } catch (...) {
        gf_logMarked("Exception in {}", what);
    }
}

// ---- start-up checks --------------------------------------------------------------

void lf_switchOnAndSave(ControlParameter<bool>& p) {
    p.value = true;
    p.save();
    lf_check(p, true);
}

void lf_versionUpdateStep() {
    const std::string running = g_programVersion.toString();
    if (PROGRAM_VERSION.value.empty()) {
        PROGRAM_VERSION.set(running);
        return;
    }
    const clv::Version stored(PROGRAM_VERSION.value.get());
    if (stored != g_programVersion) PROGRAM_VERSION.set(running);
    if (!(g_programVersion > stored)) return;
    gf_log("This is a version update from {} -> {}", stored.toString(), running);
    fs::remove(kInstallerFile);  // throws a filesystem error when it cannot
    lf_switchOnAndSave(SCAN_LIVERIES);
    lf_switchOnAndSave(SCAN_AIRPORTS);
}

void lf_loadParameters() {
    gf_readParametersXml();
    lf_versionUpdateStep();
    LATERAL_RANGE.value = lf_clamp(LATERAL_RANGE.value.get(), LATERAL_RANGE);
    gf_refreshLateralRangeCopies();
}

void lf_checkAirportsFolder() {
    for (const Path* folder : gf_foldersCreatedAtStart()) {
        std::error_code ec;
        const fs::file_status status = fs::status(*folder, ec);
        if (ec && status.type() != fs::file_type::not_found) throw fs::filesystem_error("status", *folder, ec);
        if (fs::exists(status)) continue;
        // With its parents: a working folder that lacks "input" still gets input/my_regcodes.
        if (!fs::create_directories(*folder, ec) && ec) throw fs::filesystem_error("create_directory", *folder, ec);
    }
}

void lf_enableControls() {
    const ParameterControl* enabled[] = {
        &LOG,           &ALWAYS_ON_TOP,      &NAV_LIGHTS_WHILE_PARKED, &GUID_CHANGES,       &SCAN_LIVERIES,
        &LIG_AUTOMATIC, &LIG_PRIORITIZE,     &SCAN_AIRPORTS,           &LIGHT_AIRCRAFT,     &HELICOPTERS,
        &HIGH_PERF_AIRCRAFT, &AUTO_RANGE,    &COLLISION_USER_GND,      &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND,
        &STRAIGHT_PBS_ONLY,  &MSFS_2020,     &PARK_FAKE,               &PARK_SOFT,          &WEEK,
        &INITIAL_LOAD_ONLY,  &MATCHING_DEPTH, &BLOCK_CALLSIGN,         &CUSTOM_MAX_PARK,    &MAX_LIVE,
        &AIRPORT_RANGE,      &AIRPORT_HEIGHT,
    };
    for (const ParameterControl* c : enabled) lf_enable(*c, true);
    lf_enable(CALLSIGN_OBJECTIDS, MSFS_2020.value);
    lf_enable(LATERAL_RANGE, !AUTO_RANGE.value);
    lf_enable(AUTO_RANGE_ABOVE_HEIGHT, AUTO_RANGE.value);
    lf_enable(AI_PACKAGE_ORDER, LIG_AUTOMATIC.value);
    lf_enable(UNBLOCK_BUTTON, !BLOCK_CALLSIGN.value.empty());
    const ParameterControl* disabled[] = {
        &LEARN_SOFT, &CALLSIGN_2_OBJECTID, &DESTINATION, &parking_percentage, &MAX_FIT_FL, &REREAD_BUTTON,
        &FLUSH_STATIC_BUTTON,
    };
    for (const ParameterControl* c : disabled) lf_enable(*c, false);
    parking_percentage.value = 30;
    gf_setIntEdit(parking_percentage);
    MAX_FIT_FL.value = static_cast<float>(MAX_FIT.value) * 0.5f + 0.5f;
    gf_setFloatEdit(MAX_FIT_FL);
}

Parameter<std::string>& lf_selectedInstallPath() { return MSFS_2020.value ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH; }

void lf_installChecks() {
    lf_loadParameters();
    lf_repaint();
    gf_checkCommunityPath(lf_selectedInstallPath());
    lf_checkAirportsFolder();
    maxLiveInUse = MAX_LIVE.value;
    if (!restartPending) {
        if (S.update.checkNewVersion) S.update.checkNewVersion();
        else gf_log("Program update check not available in this build");
    }
    if (!MSFS_2020.value) {
        if (S.update.updateSimaddon) {
            // The folder check above leaves an empty folder behind, so an empty
            // folder is a missing package too.
            if (gf_simaddonFolderMissing()) S.update.updateSimaddon();
            if (!restartPending) S.update.updateSimaddon();
        } else {
            gf_log("Data package update not available in this build");
        }
    }
    lf_enableControls();
    PROGRAM_INSTALL_PATH.set(fs::current_path().string());
    currentSlot.store(gf_dayAndHalfHour());
    if (!firstRunDone) {
        lf_need(S.liveries.readDbase, kLiveriesMissing)();
        firstRunDone = true;
    }
    Parameter<std::string>& installPath = lf_selectedInstallPath();
    ALL_INSTALL_PATH.value = installPath.value.get();
    lf_enable(ALL_INSTALL_PATH, true);
    gf_setStringEdit(ALL_INSTALL_PATH);
    if (ALL_INSTALL_PATH.value.empty()) {
        const fs::path found = gf_findPackagesPath();
        if (found.empty()) {
            throw clv::UserErrorException(
                150, "No install path detected, type full path to your Community folder above, and press Enter");
        }
        installPath.set(found.string());
        ALL_INSTALL_PATH.value = found.string();
        gf_setStringEdit(ALL_INSTALL_PATH);
    }
    lf_repaint();
    const fs::path appData = gf_appDataPath();
    std::error_code ec;
    realTrafficOnThisPc = !appData.empty() && fs::exists(appData / kInsideSystemsName / kRealTrafficJar, ec);
    gf_setStatusLine(fmt::format("RealTraffic {}detected at this PC", realTrafficOnThisPc ? "" : "not "), true);
    lateralRangeInUse = LATERAL_RANGE.value;
    lf_need(S.airports.readAirports, kAirportsMissing)();
}

// ---- the run ------------------------------------------------------------------------

// The user aircraft has a position: data came and it is outside the null box.
bool lf_userPositionKnown(const std::optional<clv::LatLon>& fix) {
    return fix.has_value() && !gf_isNullPosition(fix->lat, fix->lon);
}

bool lf_waitForUserAircraft() {
    const auto& usable = lf_need(S.sim.simLinkUsable, kSimLinkMissing);
    while (!usable()) {
        if (!lf_waitUnlessStopped(100ms)) return false;
    }
    if (!lf_need(S.sim.requestSimOnGround, kSimLinkMissing)()) {
        gf_log("SimConnect request ac gnd/air fails");
        lf_call(S.sim.simConnectRequestError);
    }
    const auto& fetch = lf_need(S.sim.requestUserAcData, kSimLinkMissing);
    std::optional<clv::LatLon> fix;
    while (!lf_userPositionKnown(fix)) {
        fix = fetch();
        if (!lf_waitUnlessStopped(500ms)) return false;
    }
    lf_need(S.sim.requestUserAcTitleModel, kSimLinkMissing)();
    while (!lf_userPositionKnown(fix)) {
        fix = fetch();
        if (!lf_waitUnlessStopped(200ms)) return false;
    }
    return !lf_stopSeen();
}

// The first traffic may take a while in a quiet region; the run goes on without it.
void lf_waitForTraffic() {
    for (int i = 0; i < 150 && trafficDataTimestamp.load() == 0.0; ++i) {
        if (!lf_waitUnlessStopped(100ms)) return;
    }
    if (trafficDataTimestamp.load() == 0.0) gf_log("No traffic in this region?");
}

void lf_rereadIfRequested() {
    if (!rereadRequested || lf_need(S.airports.parkingBusy, kAirportsMissing)()) return;
    std::string message;
    if (lf_need(S.airports.rereadParkAirports, kAirportsMissing)(message)) gf_setStatusLine(message, true);
    lf_enable(REREAD_BUTTON, true);
    lf_enable(DESTINATION, true);
    rereadRequested = false;
}

void lf_periodicChecks(std::int32_t n) {
    if (clearNoMatchRequested.exchange(false)) lf_need(S.liveries.clearNoMatchList, kLiveriesMissing)();
    if (AUTO_RANGE.value) lf_call(S.window.updateRangeLimits);
    if (readerError) {
        gf_showError("1001: RT error");
        gf_requestStop(ExitReason::SystemError, 0);
    }
    if (n % 60 != 0) return;
    const std::int32_t minutes = n / 60;
    mainWindow.minutesToNext = (minutes / 20 + 1) * 20 - minutes;
    lf_repaint();
    if (n % 1200 != 0) return;
    lf_need(S.liveries.logNoMatchList, kLiveriesMissing)();
    if (lf_need(S.airports.parkingActive, kAirportsMissing)() && !INITIAL_LOAD_ONLY.value && !renewalRequested) {
        renewalRequested = true;
    }
    if (n % 86400 != 0) return;
    dataStepCounter = 0;
    lf_need(S.liveries.livMatchingSummary, kLiveriesMissing)();
    lf_need(S.engine.clearRememberedTitles, kEngineMissing)();
}

void lf_flightStep() {
    if (flightPaused) {
        flightPaused = false;
        gf_log("{} Flight resumed", gf_timeOfDay());
        lf_setFlightRunning(true);
    }
    gf_statusDataStep();
    lf_call(S.engine.recountLive);
    currentSlot.store(gf_dayAndHalfHour());
    ++dataStepCounter;
    // One entry of the coupled-callsign list per step. An entry whose aircraft
    // is gone is dropped too: kept, it would hold back every later entry.
    if (const auto hexid = lf_need(S.engine.coupledCheckFront, kEngineMissing)()) {
        lf_need(S.engine.checkCoupledCallsigns, kEngineMissing)(*hexid, currentSlot.load());
        lf_need(S.engine.removeStaticDuplicate, kEngineMissing)(*hexid);
        lf_need(S.engine.coupledCheckPop, kEngineMissing)();
    }
    if (callsign2ObjectIdRequested.exchange(false)) lf_need(S.engine.callsign2ObjectId, kEngineMissing)();
    if (flushStaticRequested.exchange(false)) {
        lf_need(S.engine.removeAllStatic, kEngineMissing)();
        if (!INITIAL_LOAD_ONLY.value) {
            INITIAL_LOAD_ONLY.value = true;  // shown, not saved
            lf_check(INITIAL_LOAD_ONLY, true);
        }
    }
    lf_need(S.engine.avoidUserCollisions, kEngineMissing)();
    if (COLLISION_LIVE_PARKED_GND.value) lf_need(S.engine.avoidStaticCollisions, kEngineMissing)();
    if (blockCallsignRequested.exchange(false)) {
        const std::string callsign = BLOCK_CALLSIGN.value.get();
        if (!callsign.empty()) lf_need(S.engine.removeBlockedCallsign, kEngineMissing)(callsign);
    }
}

void lf_flightNotRunning() {
    if (!flightPaused) {
        lf_setFlightRunning(false);
        flightPaused = true;
        notRunningCountdown = kNotRunningTicks;
        lf_need(S.sim.clearPositionBuffers, kSimLinkMissing)();
        gf_log("{} Flight not running", gf_timeOfDay());
    }
    lf_need(S.engine.handleSimEvents, kEngineMissing)();
    if (--notRunningCountdown > 0) return;
    lf_rereadIfRequested();
    lf_need(S.feed.sendQs121, kFeedMissing)();
    notRunningCountdown = kNotRunningTicks;
    lf_call(S.engine.recountLive);
    currentSlot.store(gf_dayAndHalfHour());
}

// The work of a data step whose count is a multiple of 15.
void lf_quarterMinuteStep(std::int32_t n) {
    lf_need(S.feed.centreReaderRange, kFeedMissing)();
    if (rtProfessional) lf_need(S.feed.sendQs123, kFeedMissing)();
    if (!lf_need(S.airports.userStandText, kAirportsMissing)().empty()) {
        lf_need(S.engine.removeAcAtStand, kEngineMissing)();
    }
    lf_rereadIfRequested();
    if (renewalRequested) {
        if (renewalPhase == 0) {
            renewalPhase = 1;
            lf_need(S.airports.lockParkingControls, kAirportsMissing)();
            lf_need(S.feed.startCallsignCollection, kFeedMissing)();
        } else {
            renewalPhase = 0;
            gf_clearErrorText();
            gf_clearStatusLine();
            if (lf_need(S.airports.parkAirportSet, kAirportsMissing)() &&
                !lf_need(S.airports.parkStandsEmpty, kAirportsMissing)()) {
                lf_need(S.airports.parkingAdjustments, kAirportsMissing)();
            }
            renewalRequested = false;
        }
    }
    if (lf_need(S.feed.feedLampSilent, kFeedMissing)()) lf_need(S.feed.updateFeedLamps, kFeedMissing)();
    if (n % 30 == 0) lf_periodicChecks(n);
}

// One 10 ms tick; false ends the main loop.
bool lf_cycle() {
    if (!lf_need(S.sim.simLinkUsable, kSimLinkMissing)()) {
        lf_flightNotRunning();
        return !lf_stopSeen();
    }
    lf_need(S.engine.trafficTick, kEngineMissing)();
    // Between data steps the flags are looked at as well: a simulator that stops
    // answering must not keep the window from closing.
    if (!lf_need(S.sim.consumeNewDataStep, kSimLinkMissing)()) return !lf_stopSeen();
    lf_flightStep();
    if (lf_stopSeen()) return false;
    const std::int32_t n = dataStepCounter;
    if (n % 15 == 0) {
        lf_quarterMinuteStep(n);
        return true;
    }
    if (n % 16 == 0 && renewalPhase == 0) lf_need(S.airports.refreshParking, kAirportsMissing)(false);
    if (n % 59 == 0) lf_need(S.feed.updateFeedLamps, kFeedMissing)();
    if (n % 61 == 0) lf_need(S.engine.removeStaticDuplicatesOfLive, kEngineMissing)();
    if (CALLSIGN_OBJECTIDS.value && MSFS_2020.value && n % 62 == 0) {
        lf_need(S.airports.logParkedList, kAirportsMissing)();
    }
    return true;
}

void lf_mainLoop() {
    lf_need(S.airports.refreshParking, kAirportsMissing)(true);
    lf_need(S.feed.updateFeedLamps, kFeedMissing)();
    dataStepCounter = 0;
    auto deadline = std::chrono::steady_clock::now() + kTick;
    currentSlot.store(gf_dayAndHalfHour());
    lf_setFlightRunning(true);
    lf_enable(CALLSIGN_2_OBJECTID, true);
    const auto& dataStepPending = lf_need(S.sim.newDataStepPending, kSimLinkMissing);
    clv::platform::TimerResolution resolution(1);
    while (lf_cycle()) {
        if (deadline - std::chrono::steady_clock::now() >= 1ms) g_timing.sleepUntil(deadline);
        deadline = gf_nextTickDeadline(deadline, std::chrono::steady_clock::now(), dataStepPending());
    }
}

void lf_run() {
    realTrafficConnected = false;
    lf_repaint();
    lf_call(S.sim.clearSimLinkMark);
    lf_repaint();
    // Without the engine there are no containers to prepare: such a build runs
    // up to the engine's first tick and stops there.
    lf_call(S.engine.startTraffic);
    lf_need(S.liveries.reserveLiveryLists, kLiveriesMissing)();
    lf_need(S.sim.reserveSimQueues, kSimLinkMissing)();
    const auto& simClient = lf_need(S.sim.simClient, kSimLinkMissing);
    // One simulator connection at a time: the last run's thread ends first.
    if (simConnectThreadSlot.joinable()) {
        simConnectThreadSlot.request_stop();
        simConnectThreadSlot.join();
    }
    simConnectThreadSlot = std::jthread(simClient);
    if (!lf_waitForUserAircraft()) return;
    // The range is centred at once: until then it lies at 0/0 and takes no line.
    lf_need(S.feed.centreReaderRange, kFeedMissing)();
    if (realTrafficOnThisPc && !AEROWINX.value) {
        lf_need(S.feed.setupTcpServer, kFeedMissing)(PORT_NUMBER.value.get());
    } else {
        realTrafficConnected = true;  // no TCP link; the lamps work as if connected
        lf_repaint();
    }
    if (lf_stopSeen()) return;
    mainWindow.feedLampsHidden = false;
    lf_repaint();
    if (AEROWINX.value) {
        rtProfessional = false;
    } else {
        lf_need(S.feed.connectRealTraffic, kFeedMissing)();
        if (rtProfessional) lf_need(S.feed.sendQs123, kFeedMissing)();
    }
    if (lf_stopSeen()) return;
    lf_setFlightRunning(false);
    lf_need(S.feed.startQnhReader, kFeedMissing)();
    if (!lf_waitUnlessStopped(2s)) return;
    lf_need(S.feed.startTrafficReader, kFeedMissing)();
    lf_need(S.feed.sendQs121, kFeedMissing)();
    if (readerError) {
        gf_showError("Reader error");
        gf_requestStop(ExitReason::SystemError, 0);
    }
    lf_waitForTraffic();
    currentSlot.store(gf_dayAndHalfHour());
    lf_mainLoop();
}

// ---- closing down -----------------------------------------------------------------

void lf_restartCountdown() {
    const std::int32_t delay = restartDelay;
    if (delay < 1) return;
    gf_log("Restarting after {} seconds\n\n\n\n\n", delay);
    for (std::int32_t s = delay; s >= 1; --s) {
        gf_setStatusLine(fmt::format("Restarting after {} second{}", s, gf_plural(s)), false);
        if (!lf_waitUnlessClosed(1s)) return;
    }
}

void lf_resetRunState() {
    lf_tidy("gf_resetTrafficFeed", S.feed.resetTrafficFeed);
    lf_tidy("the simulator link's reset", S.sim.resetSimLink);
    lf_tidy("gf_stopTraffic", S.engine.stopTraffic);
    gf_resetMainWindowState();
    lf_tidy("the window's reset", S.window.resetDisplay);
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
    LATERAL_RANGE.value = lf_clamp(LATERAL_RANGE.value.get(), LATERAL_RANGE);
    gf_refreshLateralRangeCopies();
}

void lf_closingDown() {
    gf_log("Exiting: {}", clv::exitReasonName(exitReason));
    lf_setFlightRunning(false);
    if (simConnectThreadSlot.joinable()) simConnectThreadSlot.request_stop();
    lf_tidy("gf_stopReaders", S.feed.stopReaders);
    lf_sleep(500ms);
    lf_tidy("gf_closeRealTrafficLink", S.feed.closeRealTrafficLink);
    if (exitReason == ExitReason::SystemError) {
        while (!userClosedWindow && !closeButtonPressed) lf_sleep(500ms);
        lf_showAndLog(fmt::format("User closed {}", clv::kProductName));
    }
    lf_tidy("gf_clearGroundTraffic", [] {
        if (S.airports.parkAirportSet && S.airports.parkAirportSet()) lf_call(S.airports.clearGroundTraffic);
    });
    lf_tidy("the remembered liveries", S.engine.clearRememberedTitles);
    lf_tidy("gf_removeFlightPlanFolder", S.sim.removeFlightPlanFolder);
    lf_tidy("saving DESTINATION", [] { DESTINATION.set(""); });
    lf_tidy("saving BLOCK_CALLSIGN", [] { BLOCK_CALLSIGN.set(""); });
    lf_tidy("the blocked callsigns", S.engine.clearBlockedCallsigns);
    lf_tidy("gf_livMatchingSummary", S.liveries.livMatchingSummary);
    lf_tidy("gf_logNoMatchList", S.liveries.logNoMatchList);

    const ExitReason reason = exitReason;
    // The close button always wins over a restart.
    bool restart = clv::exitReasonRestarts(reason) && !closeButtonPressed;
    if (restart) {
        restartPending = true;
        gf_clearErrorText();
        gf_clearStatusLine();
        lf_showAndLog("Prepare for a restart ...");
        if (reason != ExitReason::NewSettings) {
            lf_tidy("switching the rescans off", [] {
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
            lf_showAndLog(fmt::format("New flight detected, {} will close, please restart manually ...",
                                      clv::kProductName));
            lf_waitUnlessClosed(10s);
        }
    }
    lf_post(restart ? &gf_startRun : &gf_saveAndQuit);
}

void lf_runFailed(const std::string& text) {
    gf_showError(text);
    gf_requestStop(ExitReason::SystemError, 0);
}

void lf_runThread() {
    try {
        std::error_code ec;
        const fs::file_status docs = fs::status(g_docsFolder, ec);
        if (ec && docs.type() != fs::file_type::not_found) throw fs::filesystem_error("status", g_docsFolder, ec);
        if (!fs::is_directory(docs)) {
            throw clv::UserErrorException(
                41, fmt::format("{} must be run from the {} folder!", clv::kProductName, clv::kProductName));
        }
        lf_installChecks();
        gf_initWorkerThrottle();
        std::error_code scannedEc;
        if (!fs::exists(g_liveriesScannedFile, scannedEc) && !SCAN_LIVERIES.value) {
            gf_setStatusLine(fmt::format("File {} is gone, rescan liveries", g_liveriesScannedFile.string()), true);
            lf_switchOnAndSave(SCAN_LIVERIES);
            lf_repaint();
        }
        lf_need(S.liveries.scanLiveries, kLiveriesMissing)();
        if (lf_stopSeen()) return;
        if (SCAN_AIRPORTS.value) {
            mainWindow.simaddonCount = 0;
            mainWindow.thirdpartyCount = 0;
            lf_repaint();
            lf_need(S.airports.scanAddonAirports, kAirportsMissing)();
        }
        mainWindow.simaddonCount = static_cast<std::uint64_t>(gf_countFolderEntries(g_raVudovodoFolder));
        mainWindow.thirdpartyCount = static_cast<std::uint64_t>(gf_countFolderEntries(g_myThirdpartyFolder));
        lf_repaint();
        if (lf_stopSeen()) {
            // Closing down then does not wait for the close button.
            userClosedWindow = true;
            stopRequested = true;
            return;
        }
        lf_need(S.sim.createPlnFolder, kSimLinkMissing)();
        lf_need(S.airports.readMyParkAirports, kAirportsMissing)();
        lf_enable(REREAD_BUTTON, true);
        const std::string destination = DESTINATION.value.get();
        if (!destination.empty()) {
            if (const auto airport = lf_need(S.airports.findAirport, kAirportsMissing)(destination)) {
                lf_call(S.window.newDestination, destination, airport->lat, airport->lon);
            }
        }
        const bool onTop = ALWAYS_ON_TOP.value;
        lf_post([onTop] {
            if (g_window.setOnTop) g_window.setOnTop(onTop);
        });
        if (AUTO_RANGE.value) {
            lf_call(S.window.updateRangeLimits);
            lf_enable(LATERAL_RANGE, false);
        }
        lf_run();
    } catch (const clv::UserErrorException& e) {
        gf_showError(e.what());
        gf_forceSystemError();
    } catch (const fmt::format_error& e) {
        lf_runFailed(std::string("std::format error: ") + e.what());
    } catch (const std::bad_alloc& e) {
        lf_runFailed(e.what());
    } catch (const std::out_of_range& e) {
        lf_runFailed(e.what());
    } catch (const std::runtime_error& e) {
        lf_runFailed(e.what());
    } catch (const std::exception& e) {
        lf_runFailed(e.what());
    } catch (...) {
        gf_showError("Unknown exception");
        gf_forceSystemError();
    }
}

}  // namespace

void gf_checkCommunityPath(Parameter<std::string>& path) {
    constexpr std::string_view kTail = "Community";
    const std::string value = path.value.get();
    if (value.size() < 10 || !value.ends_with(kTail)) return;
    // Only a last folder named "Community" goes; a folder of that name
    // further up the path, or a name that merely ends so, stays.
    const char separator = value[value.size() - kTail.size() - 1];
    if (separator != '/' && separator != '\\') return;
    path.set(value.substr(0, value.size() - kTail.size() - 1));
}

void gf_installRunServices(clv::RunServices services, clv::RunTiming timing) {
    g_services = std::move(services);
    g_timing = std::move(timing);
}

void gf_installShellWindow(clv::ShellWindow window) { g_window = std::move(window); }

void gf_runThread() {
    try {
        lf_runThread();
        lf_closingDown();
    } catch (const std::exception& e) {
        // Closing down guards its own steps; this is the last resort, so that
        // the window never stays without a run.
        gf_logMarked("Exception in the run thread: {}", e.what());
        lf_post(&gf_saveAndQuit);
    } catch (...) {
        gf_logMarked("Exception in the run thread");
        lf_post(&gf_saveAndQuit);
    }
}

void gf_startRun() {
    if (closeButtonPressed) {
        gf_saveAndQuit();
        return;
    }
    if (runThreadSlot.joinable()) {
        runThreadSlot.request_stop();
        runThreadSlot.join();
    }
    runThreadSlot = std::jthread([] { gf_runThread(); });
}

namespace {

// A window left at a limit was lost off screen: the position it had before is kept.
void lf_clampWindowSize(int previousX, int previousY) {
    for (auto [p, previous] : {std::pair{&MAIN_WINDOW_X, previousX}, std::pair{&MAIN_WINDOW_Y, previousY}}) {
        if (p->value != p->min && p->value != p->max) continue;
        p->value = lf_clamp(previous, *p);
        p->save();
    }
}

}  // namespace

void gf_saveAndQuit() {
    const auto position = g_window.position ? g_window.position() : std::nullopt;
    if (position) {
        const int previousX = MAIN_WINDOW_X.value;
        const int previousY = MAIN_WINDOW_Y.value;
        MAIN_WINDOW_X.value = lf_clamp(position->first, MAIN_WINDOW_X);
        MAIN_WINDOW_X.save();
        MAIN_WINDOW_Y.value = lf_clamp(position->second, MAIN_WINDOW_Y);
        MAIN_WINDOW_Y.save();
        lf_clampWindowSize(previousX, previousY);
    }
    gf_closeLog();
    if (g_window.quit) g_window.quit(0);
}

void gf_closeButton() {
    gf_setStatusLine(fmt::format("Close window button clicked, closing {} ...", clv::kProductName), false);
    gf_requestStopByUser();
}

void gf_stopRunThreads() {
    gf_requestStopByUser();  // anything still running ends
    if (runThreadSlot.joinable()) runThreadSlot.join();
    if (simConnectThreadSlot.joinable()) {
        simConnectThreadSlot.request_stop();
        simConnectThreadSlot.join();
    }
}
