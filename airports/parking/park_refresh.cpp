// Which airport is the park airport: the refresh that follows the user aircraft,
// the start of a calculation, the parking controls, and leaving the airport with
// its ground traffic.
#include <fmt/format.h>

#include <mutex>
#include <optional>

#include "airports/files/apf_file.h"
#include "airports/parking/live_stands.h"
#include "airports/parking/static_parking.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/parameter_store.h"
#include "core/parameters.h"
#include "core/ui_port.h"
#include "link/traffic_receiver.h"
#include "link/user_aircraft.h"

bool parkFileReload = false;

namespace {

std::mutex g_figuresMutex;
clv::ParkingFigures g_figures;

// The park airport's file is read; the next tick plans.
bool g_planDue = false;

// The position of the previous refresh.
bool g_havePrevious = false;
clv::LatLon g_previous;

void lf_enable(const ParameterControl& control, bool enabled) {
    gf_uiPort().setEnabled(control.handle.load(), enabled);
}

// In the order in which they are disabled.
void lf_disableParkingControls() {
    lf_enable(parking_percentage, false);
    lf_enable(INITIAL_LOAD_ONLY, false);
    lf_enable(PARK_FAKE, false);
    lf_enable(PARK_SOFT, false);
    lf_enable(CUSTOM_MAX_PARK, false);
    lf_enable(MAX_FIT_FL, false);
    lf_enable(WEEK, false);
    lf_enable(FLUSH_STATIC_BUTTON, false);
    lf_enable(REREAD_BUTTON, false);
}

void lf_enableParkingControls() {
    lf_enable(CUSTOM_MAX_PARK, true);
    lf_enable(parking_percentage, true);
    lf_enable(INITIAL_LOAD_ONLY, true);
    lf_enable(PARK_SOFT, true);
    lf_enable(PARK_FAKE, true);
    lf_enable(MAX_FIT_FL, true);
    lf_enable(WEEK, true);
    lf_enable(FLUSH_STATIC_BUTTON, true);
    lf_enable(REREAD_BUTTON, true);
}

bool lf_outOfSight(double distanceNm, double heightAboveGround) {
    return distanceNm > AIRPORT_RANGE.value || heightAboveGround > AIRPORT_HEIGHT.value;
}

double lf_distanceTo(clv::LatLon p, const clv::ParkSite& airport) {
    return gf_distanceNm(p, clv::LatLon{airport.lat, airport.lon});
}

std::string lf_displayName(const clv::ParkSite& airport) { return gf_parkingHooks().airportDisplayName(airport); }

// The placing of the plan is complete.
void lf_seePlacingEnded(clv::TrafficEngine& engine) {
    if (!parkingBusy || !parkPlan.empty()) return;
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    gf_unlockParkingControls();
    hooks.clearStatusLine();
    gf_countStaticAc(engine, true);
    float mean = 0.0f;
    gf_countParkedLive(engine, hooks.now(), &mean);
    hooks.showLiveAverageFit(mean);
}

// The read of the park airport's file is over: plan, or show the error and leave.
void lf_endParkRead(clv::TrafficEngine& engine, const std::string& error) {
    lf_seePlacingEnded(engine);
    if (error.empty()) {
        lf_planStaticParking(engine);
    } else {
        gf_setStatusLine(error, true);
        gf_leaveParkAirport();
    }
    lf_enable(DESTINATION, true);
}

}  // namespace

clv::ParkSite gf_parkAirport() { return gf_parkingHooks().currentParkAirport(); }

clv::ParkingFigures gf_parkingFigures() {
    std::lock_guard lock(g_figuresMutex);
    return g_figures;
}

void gf_showParkingFigures(const clv::ParkingFigures& figures) {
    {
        std::lock_guard lock(g_figuresMutex);
        g_figures = figures;
    }
    gf_parkingHooks().showFigures(figures);
}

void gf_lockParkingControls() {
    parkingBusy = true;
    gf_parkingHooks().showParkingBusy(true);
    lf_disableParkingControls();
    gf_parkingHooks().clearStatusLine();
    gf_uiPort().requestRepaint();
}

void gf_unlockParkingControls() {
    parkingBusy = false;
    gf_parkingHooks().showParkingBusy(false);
    gf_parkingHooks().showMinutesToNext(19);
    gf_uiPort().requestRepaint();
    lf_enableParkingControls();
    gf_parkingHooks().clearStatusLine();
    gf_uiPort().requestRepaint();
}

void lf_showCalculating(bool showMessage) {
    gf_lockParkingControls();
    gf_parkingHooks().startCallsignCollection();
    if (showMessage) gf_setStatusLine("Calculating static parked aircraft ...", false);
}

bool lf_announceParkAirport(const std::string& code) {
    const auto airport = gf_parkingHooks().findAirport(code);
    if (!airport) return false;
    clv::ParkSite park = *airport;
    park.reservedStand.clear();
    gf_parkingHooks().setCurrentParkAirport(park);
    gf_setFeedParkAirport(clv::LatLon{park.lat, park.lon});  // its ground traffic comes in from now on
    gf_log("The park airport is {}", lf_displayName(park));
    return true;
}

void lf_userOnGroundAirport(clv::LatLon position, bool first) {
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    const clv::UserAcView user = hooks.userAircraft();
    if (!user.onGround) {
        lf_enable(DESTINATION, true);
        const auto entry = hooks.firstParkAirport();
        if (!entry) return;
        const double d = lf_distanceTo(position, *entry);
        if (!lf_outOfSight(d, user.heightAboveGround) && lf_announceParkAirport(entry->code)) {
            gf_setStatusLine(fmt::format("{} in sight at {:.1F} nm", entry->code, d), true);
            parkFileReload = true;
            lf_showCalculating(false);
        }
        return;
    }
    const auto airport = hooks.nearestAirport(position);
    if (!airport) {
        gf_setStatusLine("User aircraft on the ground, no airport in sight", true);
        return;
    }
    if (!hooks.apfExists(airport->code)) {
        gf_setStatusLine(fmt::format("User aircraft on the ground at {}", airport->code) + ", no airport file found",
                         true);
        return;
    }
    gf_log("User aircraft on the ground at {}", airport->code);
    lf_announceParkAirport(airport->code);
    parkFileReload = true;
    lf_showCalculating(first);
}

void lf_parkAirportInSight(clv::TrafficEngine& engine, clv::LatLon position) {
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    const clv::UserAcView user = hooks.userAircraft();
    if (user.onGround) return;  // never left while the user aircraft stands or taxies
    const clv::ParkSite park = gf_parkAirport();
    const double d = lf_distanceTo(position, park);
    if (lf_outOfSight(d, user.heightAboveGround)) {
        gf_log("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed", gf_trafficTimeOfDay(),
               lf_displayName(park), d);
        gf_clearGroundTraffic(engine);
        return;
    }
    const auto entry = hooks.firstParkAirport();
    if (!entry || entry->code == park.code) return;
    const double dE = lf_distanceTo(position, *entry);
    if (lf_outOfSight(dE, user.heightAboveGround) || d < dE) return;
    gf_log("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first", gf_trafficTimeOfDay(),
           entry->code, dE, lf_displayName(park));
    gf_clearGroundTraffic(engine);
}

bool gf_parkReadPending() { return g_planDue || lf_parkedFileReadPending(); }

void gf_continueParkRead(clv::TrafficEngine& engine) {
    if (g_planDue) {
        g_planDue = false;
        lf_endParkRead(engine, std::string());
        return;
    }
    if (!lf_parkedFileReadPending()) return;
    const std::optional<std::string> error = lf_endReadParkedFile(false);
    if (!error) return;
    // Taking the stands over and planning are each about a millisecond or two at
    // the largest airports: the plan waits for the next tick.
    if (error->empty()) {
        g_planDue = true;
    } else {
        lf_endParkRead(engine, *error);
    }
}

void gf_refreshParking(clv::TrafficEngine& engine, bool first) {
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    // The park airport's file is still being read: the refresh resumes when it is planned.
    if (lf_parkedFileReadPending() || g_planDue) return;
    // With a file to read, the end of the placing is seen when the read has ended:
    // the controls stay locked while it is read.
    if (!parkFileReload) lf_seePlacingEnded(engine);
    if (parkFileReload) {
        hooks.clearStatusLine();
        parkFileReload = false;
        const std::string error = lf_beginReadParkedFile();
        if (!error.empty() || !lf_parkedFileReadPending()) lf_endParkRead(engine, error);
        return;
    }
    const clv::LatLon p = hooks.userAircraft().position;
    if (gf_isNullPosition(p.lat, p.lon)) return;
    if (!hooks.parkAirportListEmpty() && (!g_havePrevious || p.lat != g_previous.lat || p.lon != g_previous.lon)) {
        g_previous = p;
        g_havePrevious = true;
        if (DESTINATION.value.empty()) hooks.sortParkAirports(p);
    }
    if (gf_parkAirport().code.empty()) {
        lf_userOnGroundAirport(p, first);
    } else {
        lf_parkAirportInSight(engine, p);
    }
}

void gf_leaveParkAirport() {
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    lf_dropParkedFileRead();
    g_planDue = false;
    if (parkingActive && (apfParamsChanged || hooks.learnedUpdates() > 0)) {
        hooks.saveLearnedFile();
        hooks.resetLearnedUpdates();
        apfParamsChanged = false;
    }
    handmadeFile = false;
    parkingActive = false;
    lf_enable(FLUSH_STATIC_BUTTON, false);
    lf_enable(parking_percentage, false);
    hooks.setCurrentParkAirport(clv::ParkSite{});
    gf_clearFeedParkAirport();
    hooks.unsetReferenceElevation();
    hooks.clearAdjustmentLists();
    parkPlan.clear();
    standList.clear();
    gf_standListChanged();
    reservedStand.clear();
    clv::ParkingFigures figures = gf_parkingFigures();
    figures.airportName.clear();
    figures.fileRead = false;
    figures.reservedStand.clear();
    figures.reservedStandShown = false;
    gf_showParkingFigures(figures);
    hooks.resetLearnedUpdates();
    gf_uiPort().requestRepaint();
}

void gf_clearGroundTraffic(clv::TrafficEngine& engine) {
    using clv::AcMoveState;
    parkPlan.clear();
    gf_removeAllStatic(engine);
    for (clv::LiveAc& ac : engine.liveAc) {
        const AcMoveState m = ac.moveState;
        if (m != AcMoveState::PushingBack && m != AcMoveState::PushedBack && m != AcMoveState::Taxi &&
            m != AcMoveState::TakeOff && m != AcMoveState::Parked) {
            continue;
        }
        ac.standLatitude = 0.0;
        ac.standLongitude = 0.0;
        ac.standHeading = 0.0;
        ac.standId = 0;
        ac.parkedAt = 0;
        if (ac.simState == clv::AcSimState::Active || ac.simState == clv::AcSimState::Adding2Sim) {
            removeAircraftFromSim(engine, ac);
        }
    }
    std::erase_if(engine.liveAc, [](const clv::LiveAc& ac) { return ac.erase; });
    gf_leaveParkAirport();
    const std::int32_t saved = gf_parkingHooks().savedMaxLive();
    if (MAX_LIVE.value != saved) {
        MAX_LIVE.value = saved;
        gf_setIntEdit(MAX_LIVE);
        gf_enforceMaxLive(engine);
    }
}

void gf_resetParkAirportState() {
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    lf_dropParkedFileRead();
    g_planDue = false;
    hooks.setCurrentParkAirport(clv::ParkSite{});
    gf_clearFeedParkAirport();
    hooks.unsetReferenceElevation();
    parkApfInfo = {};
    handmadeFile = false;
    parkingActive = false;
    parkPlan.clear();
    liveParkedList.clear();
    hooks.clearAdjustmentLists();
    standList.clear();
    gf_standListChanged();
    reservedStand.clear();
    parkFileReload = false;
    parkingBusy = false;
    hooks.showParkingBusy(false);
    lowQualityFile = false;
    apfParamsChanged = false;
    g_havePrevious = false;
    hooks.resetLearnedUpdates();
    gf_showParkingFigures(clv::ParkingFigures{});
}
