#include "shell/window_services.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "airports/addons/addon_scan.h"
#include "airports/parking/airport_data.h"
#include "airports/parking/park_airports.h"
#include "airports/parking/static_parking.h"
#include "core/log.h"
#include "core/parameters.h"
#include "link/sim_client.h"
#include "liveries/livery_index.h"
#include "platform/window.h"
#include "shell/edit_handlers.h"
#include "shell/main_window.h"
#include "traffic/traffic_engine.h"
#include "traffic/traffic_service.h"

namespace {

clv::WindowHooks& lf_hooks() {
    static clv::WindowHooks hooks = gf_productWindowHooks();
    return hooks;
}

clv::UserAcFix lf_userAircraft() {
    const clv::UserAcData data = gf_lastUserAcData();
    return clv::UserAcFix{userOnGround.load(), data.altitude, clv::LatLon{data.latitude, data.longitude}};
}

std::optional<clv::LatLon> lf_findAirport(const std::string& code) {
    const std::optional<clv::Airport> airport = gf_findAirport(code);
    if (!airport) return std::nullopt;
    return clv::LatLon{airport->lat, airport->lon};
}

std::optional<clv::LatLon> lf_firstParkAirport() {
    std::lock_guard lock(parkAirportsMutex);
    if (parkAirports.empty()) return std::nullopt;
    return clv::LatLon{parkAirports.front().lat, parkAirports.front().lon};
}

}  // namespace

const clv::WindowHooks& gf_windowHooks() { return lf_hooks(); }

void gf_installWindowHooks(clv::WindowHooks hooks) { lf_hooks() = std::move(hooks); }

clv::WindowHooks gf_productWindowHooks() {
    clv::WindowHooks hooks;
    // The reference list is complete before the destination field is enabled and
    // is never written again, so the UI thread reads it without a lock.
    hooks.findAirport = lf_findAirport;
    // The refresh reads and sorts the list between its steps: the change waits
    // for the run thread's next tick, so it never falls between them.
    hooks.setParkAirport = [](const std::string& code, clv::LatLon at) {
        gf_postEngineRequest([code, at](clv::TrafficEngine&) { gf_setParkAirport(code, at); });
    };
    hooks.firstParkAirport = lf_firstParkAirport;
    hooks.resetAddonScan = [] { gf_resetAddonScan(); };
    hooks.enforceMaxLive = [] { gf_postEngineRequest([](clv::TrafficEngine& engine) { gf_enforceMaxLive(engine); }); };
    hooks.parkedNavLights = [](bool on) { gf_requestParkedNavLights(on); };
    hooks.clearLiveryIndex = [] { gf_requestLiveryIndexClear(); };
    hooks.userAircraft = lf_userAircraft;
    hooks.setOnTop = [](bool onTop) { clv::platform::setMainWindowOnTop(onTop); };
    return hooks;
}

clv::WindowServices gf_windowServices() {
    clv::WindowServices services;
    // The run thread applies the stored destination before its first refresh, so
    // that refresh already takes it first; the request the window's hook posts as
    // well then finds it at the front.
    services.newDestination = [](const std::string& code, double lat, double lon) {
        gf_setParkAirport(code, clv::LatLon{lat, lon});
        gf_newDestination(code, lat, lon);
    };
    services.updateRangeLimits = [] { gf_updateRangeLimits(); };
    services.resetDisplay = [] { gf_resetPanelFigures(); };
    return services;
}

