#include "shell/run_support.h"

#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <fmt/format.h>

#include "core/log.h"
#include "core/parameters.h"
#include "core/run_meter.h"
#include "core/stop_flags.h"
#include "link/pos_sample.h"
#include "link/realtraffic_state.h"
#include "link/traffic_update.h"
#include "link/user_aircraft.h"
#include "platform/timer.h"
#include "shell/main_window.h"
#include "shell/status_lines.h"


#include "shell/run_controller.h"

using namespace std::chrono_literals;
using clv::ExitReason;

namespace {

const clv::RunServices& S = g_runServices;

constexpr auto kTick = 10ms;
constexpr std::int32_t kNotRunningTicks = 100;

// The user aircraft has a position: data came and it is outside the null box.
bool lf_userPositionKnown(const std::optional<clv::LatLon>& fix) {
    return fix.has_value() && !gf_isNullPosition(fix->lat, fix->lon);
}

bool lf_waitForUserAircraft() {
    const auto& usable = gf_need(S.sim.simLinkUsable, kSimLinkMissing);
    while (!usable()) {
        if (!gf_waitUnlessStopped(100ms)) return false;
    }
    if (!gf_need(S.sim.requestSimOnGround, kSimLinkMissing)()) {
        gf_log("SimConnect request ac gnd/air fails");
        gf_callIfSet(S.sim.simConnectRequestError);
    }
    const auto& fetch = gf_need(S.sim.requestUserAcData, kSimLinkMissing);
    std::optional<clv::LatLon> fix;
    while (!lf_userPositionKnown(fix)) {
        fix = fetch();
        if (!gf_waitUnlessStopped(500ms)) return false;
    }
    gf_need(S.sim.requestUserAcTitleModel, kSimLinkMissing)();
    while (!lf_userPositionKnown(fix)) {
        fix = fetch();
        if (!gf_waitUnlessStopped(200ms)) return false;
    }
    return !gf_stopSeen();
}

// The first traffic may take a while in a quiet region; the run goes on without it.
void lf_waitForTraffic() {
    for (int i = 0; i < 150 && trafficDataTimestamp.load() == 0.0; ++i) {
        if (!gf_waitUnlessStopped(100ms)) return;
    }
    if (trafficDataTimestamp.load() == 0.0) gf_log("No traffic in this region?");
}

void lf_rereadIfRequested() {
    if (!rereadRequested || gf_need(S.airports.parkingBusy, kAirportsMissing)()) return;
    std::string message;
    if (gf_need(S.airports.rereadParkAirports, kAirportsMissing)(message)) gf_setStatusLine(message, true);
    gf_enableControl(REREAD_BUTTON, true);
    gf_enableControl(DESTINATION, true);
    rereadRequested = false;
}

void lf_periodicChecks(std::int32_t n) {
    if (clearNoMatchRequested.exchange(false)) gf_need(S.liveries.clearNoMatchList, kLiveriesMissing)();
    if (AUTO_RANGE.value) gf_callIfSet(S.window.updateRangeLimits);
    if (readerError) {
        gf_showError("1001: RT error");
        gf_requestStop(ExitReason::SystemError, 0);
    }
    if (n % 60 != 0) return;
    const std::int32_t minutes = n / 60;
    mainWindow.minutesToNext = (minutes / 20 + 1) * 20 - minutes;
    gf_repaint();
    if (n % 1200 != 0) return;
    gf_need(S.liveries.logNoMatchList, kLiveriesMissing)();
    if (gf_need(S.airports.parkingActive, kAirportsMissing)() && !INITIAL_LOAD_ONLY.value && !renewalRequested) {
        renewalRequested = true;
    }
    if (n % 86400 != 0) return;
    dataStepCounter = 0;
    gf_need(S.liveries.livMatchingSummary, kLiveriesMissing)();
    gf_need(S.engine.clearRememberedTitles, kEngineMissing)();
}

void lf_flightStep() {
    if (flightPaused) {
        flightPaused = false;
        gf_log("{} Flight resumed", gf_timeOfDay());
        gf_setFlightRunning(true);
    }
    gf_statusDataStep();
    gf_callIfSet(S.engine.recountLive);
    currentSlot.store(gf_dayAndHalfHour());
    ++dataStepCounter;
    // One entry of the coupled-callsign list per step. An entry whose aircraft
    // is gone is dropped too: kept, it would hold back every later entry.
    if (const auto hexid = gf_need(S.engine.coupledCheckFront, kEngineMissing)()) {
        gf_need(S.engine.checkCoupledCallsigns, kEngineMissing)(*hexid, currentSlot.load());
        gf_need(S.engine.removeStaticDuplicate, kEngineMissing)(*hexid);
        gf_need(S.engine.coupledCheckPop, kEngineMissing)();
    }
    if (callsign2ObjectIdRequested.exchange(false)) gf_need(S.engine.callsign2ObjectId, kEngineMissing)();
    if (flushStaticRequested.exchange(false)) {
        gf_need(S.engine.removeAllStatic, kEngineMissing)();
        if (!INITIAL_LOAD_ONLY.value) {
            INITIAL_LOAD_ONLY.value = true;  // shown, not saved
            gf_checkControl(INITIAL_LOAD_ONLY, true);
        }
    }
    gf_need(S.engine.avoidUserCollisions, kEngineMissing)();
    if (COLLISION_LIVE_PARKED_GND.value) gf_need(S.engine.avoidStaticCollisions, kEngineMissing)();
    if (blockCallsignRequested.exchange(false)) {
        const std::string callsign = BLOCK_CALLSIGN.value.get();
        if (!callsign.empty()) gf_need(S.engine.removeBlockedCallsign, kEngineMissing)(callsign);
    }
}

void lf_flightNotRunning() {
    if (!flightPaused) {
        gf_setFlightRunning(false);
        flightPaused = true;
        notRunningCountdown = kNotRunningTicks;
        gf_need(S.sim.clearPositionBuffers, kSimLinkMissing)();
        gf_log("{} Flight not running", gf_timeOfDay());
    }
    gf_need(S.engine.handleSimEvents, kEngineMissing)();
    if (--notRunningCountdown > 0) return;
    lf_rereadIfRequested();
    gf_need(S.feed.sendQs121, kFeedMissing)();
    notRunningCountdown = kNotRunningTicks;
    gf_callIfSet(S.engine.recountLive);
    currentSlot.store(gf_dayAndHalfHour());
}

// The work of a data step whose count is a multiple of 15.
void lf_quarterMinuteStep(std::int32_t n) {
    gf_need(S.feed.centreReaderRange, kFeedMissing)();
    if (rtProfessional) gf_need(S.feed.sendQs123, kFeedMissing)();
    if (!gf_need(S.airports.userStandText, kAirportsMissing)().empty()) {
        gf_need(S.engine.removeAcAtStand, kEngineMissing)();
    }
    lf_rereadIfRequested();
    if (renewalRequested) {
        if (renewalPhase == 0) {
            renewalPhase = 1;
            gf_need(S.airports.lockParkingControls, kAirportsMissing)();
            gf_need(S.feed.startCallsignCollection, kFeedMissing)();
        } else {
            renewalPhase = 0;
            gf_clearErrorText();
            gf_clearStatusLine();
            if (gf_need(S.airports.parkAirportSet, kAirportsMissing)() &&
                !gf_need(S.airports.parkStandsEmpty, kAirportsMissing)()) {
                gf_need(S.airports.parkingAdjustments, kAirportsMissing)();
            }
            renewalRequested = false;
        }
    }
    if (gf_need(S.feed.feedLampSilent, kFeedMissing)()) gf_need(S.feed.updateFeedLamps, kFeedMissing)();
    if (n % 30 == 0) lf_periodicChecks(n);
}

// One 10 ms tick; false ends the main loop.
bool lf_cycle() {
    if (!gf_need(S.sim.simLinkUsable, kSimLinkMissing)()) {
        lf_flightNotRunning();
        return !gf_stopSeen();
    }
    gf_need(S.engine.trafficTick, kEngineMissing)();
    // A park airport file loaded on a worker is taken over between two ticks.
    gf_callIfSet(S.airports.continueParkRead);
    // Between data steps the flags are looked at as well: a simulator that stops
    // answering must not keep the window from closing.
    if (!gf_need(S.sim.consumeNewDataStep, kSimLinkMissing)()) return !gf_stopSeen();
    lf_flightStep();
    if (gf_stopSeen()) return false;
    const std::int32_t n = dataStepCounter;
    if (n % 15 == 0) {
        lf_quarterMinuteStep(n);
        return true;
    }
    if (n % 16 == 0 && renewalPhase == 0) gf_need(S.airports.refreshParking, kAirportsMissing)(false);
    if (n % 59 == 0) gf_need(S.feed.updateFeedLamps, kFeedMissing)();
    if (n % 61 == 0) gf_need(S.engine.removeStaticDuplicatesOfLive, kEngineMissing)();
    if (CALLSIGN_OBJECTIDS.value && MSFS_2020.value && n % 62 == 0) {
        gf_need(S.airports.logParkedList, kAirportsMissing)();
    }
    return true;
}

// Under load measuring (CLV_MEASURE=1): the run loop's figures, the run thread's.
clv::TickMeter g_tickMeter;
constexpr auto kMeasureEvery = 60s;

void lf_logMeasures(clv::MeterClock::time_point now) {
    const clv::TickFigures t = clv::gf_takeTickFigures(g_tickMeter, now);
    const clv::FrameLockFigures f = clv::gf_takeFrameLockFigures(clv::g_frameLockMeter);
    const clv::PlaybackLagMeter l = clv::gf_takePlaybackLag(clv::g_playbackLagMeter);
    // Each sample played: the wall clock when its aircraft reached it against the
    // feed line's own time stamp.
    const std::string lag =
        l.positions > 0 ? fmt::format("played {} samples, lag behind feed stamp min/median/max {:.2f}/{:.1f}/{:.2f} s",
                                      l.positions, l.minSeconds, clv::gf_playbackLagMedian(l), l.maxSeconds)
                        : std::string("played 0 samples");
    gf_log("{} measure: {:.0f} s, ticks/s {:.1f} (min {}), slips {}, busy {:.2f} %, {}, "
           "frame lock p50 {:.0f} us p99 {:.0f} us max {:.0f} us, frames {}, blocks {:.0f}",
           gf_timeOfDay(), t.seconds, t.ticksPerSecond, t.minTicksPerSecond, t.slips, t.busyShare * 100.0, lag,
           f.p50Us, f.p99Us, f.maxUs, f.frames, f.meanBlocks);
}

void lf_mainLoop() {
    gf_need(S.airports.refreshParking, kAirportsMissing)(true);
    gf_need(S.feed.updateFeedLamps, kFeedMissing)();
    dataStepCounter = 0;
    auto deadline = std::chrono::steady_clock::now() + kTick;
    currentSlot.store(gf_dayAndHalfHour());
    gf_setFlightRunning(true);
    gf_enableControl(CALLSIGN_2_OBJECTID, true);
    const auto& dataStepPending = gf_need(S.sim.newDataStepPending, kSimLinkMissing);
    clv::platform::TimerResolution resolution(1);
    const bool measure = clv::gf_measuring();
    if (measure) {
        g_tickMeter = clv::TickMeter{};
        clv::gf_takePlaybackLag(clv::g_playbackLagMeter);
    }
    auto scheduled = std::chrono::steady_clock::now();
    for (;;) {
        const auto start = std::chrono::steady_clock::now();
        if (measure) clv::gf_noteTickStart(g_tickMeter, scheduled, start);
        const bool going = lf_cycle();
        if (measure) {
            const auto end = std::chrono::steady_clock::now();
            clv::gf_noteTickEnd(g_tickMeter, start, end);
            if (!going || end - g_tickMeter.windowStart >= kMeasureEvery) lf_logMeasures(end);
        }
        if (!going) break;
        if (deadline - std::chrono::steady_clock::now() >= 1ms) g_runTiming.sleepUntil(deadline);
        scheduled = deadline;
        deadline = gf_nextTickDeadline(deadline, std::chrono::steady_clock::now(), dataStepPending());
    }
}

}  // namespace

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

void gf_run() {
    realTrafficConnected = false;
    gf_repaint();
    gf_callIfSet(S.sim.clearSimLinkMark);
    gf_repaint();
    // Without the engine there are no containers to prepare: such a build runs
    // up to the engine's first tick and stops there.
    gf_callIfSet(S.engine.startTraffic);
    gf_need(S.liveries.reserveLiveryLists, kLiveriesMissing)();
    gf_need(S.sim.reserveSimQueues, kSimLinkMissing)();
    const auto& simClient = gf_need(S.sim.simClient, kSimLinkMissing);
    // One simulator connection at a time: the last run's thread ends first.
    if (simConnectThreadSlot.joinable()) {
        simConnectThreadSlot.request_stop();
        simConnectThreadSlot.join();
    }
    simConnectThreadSlot = std::jthread(simClient);
    if (!lf_waitForUserAircraft()) return;
    // The range is centred at once: until then it lies at 0/0 and takes no line.
    gf_need(S.feed.centreReaderRange, kFeedMissing)();
    if (realTrafficOnThisPc && !AEROWINX.value) {
        gf_need(S.feed.setupTcpServer, kFeedMissing)(PORT_NUMBER.value.get());
    } else {
        realTrafficConnected = true;  // no TCP link; the lamps work as if connected
        gf_repaint();
    }
    if (gf_stopSeen()) return;
    mainWindow.feedLampsHidden = false;
    gf_repaint();
    if (AEROWINX.value) {
        rtProfessional = false;
    } else {
        gf_need(S.feed.connectRealTraffic, kFeedMissing)();
        if (rtProfessional) gf_need(S.feed.sendQs123, kFeedMissing)();
    }
    if (gf_stopSeen()) return;
    gf_setFlightRunning(false);
    gf_need(S.feed.startQnhReader, kFeedMissing)();
    if (!gf_waitUnlessStopped(2s)) return;
    gf_need(S.feed.startTrafficReader, kFeedMissing)();
    gf_need(S.feed.sendQs121, kFeedMissing)();
    if (readerError) {
        gf_showError("Reader error");
        gf_requestStop(ExitReason::SystemError, 0);
    }
    lf_waitForTraffic();
    currentSlot.store(gf_dayAndHalfHour());
    lf_mainLoop();
}
