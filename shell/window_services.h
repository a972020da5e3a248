#pragma once
// What the window's handlers need of the subsystems around them, as hooks, and
// the window group of the run services. The handlers run on the UI thread and
// never touch the engine's containers, the livery index or the park airports
// themselves: the hooks that act on those post a request that the run thread
// carries out.
#include <functional>
#include <optional>
#include <string>

#include "core/geodesy.h"
#include "shell/run_services.h"

namespace clv {
struct TrafficEngine;

// The user aircraft as the traffic range needs it.
struct UserAcFix {
    bool onGround = false;
    double altitudeFt = 0.0;
    LatLon position;
};

struct WindowHooks {
    // A code of the airport reference list and its position; nothing when unknown.
    std::function<std::optional<LatLon>(const std::string&)> findAirport;
    // Any thread: the airport becomes the first park airport (a request).
    std::function<void(const std::string&, LatLon)> setParkAirport;
    // The first park airport's position; nothing while there is none.
    std::function<std::optional<LatLon>()> firstParkAirport;
    // Any thread, requests: live aircraft above MAX_LIVE leave; the parked
    // aircraft's navigation lights follow the setting; the livery index is
    // emptied before it is used again; the add-on airport scan starts afresh.
    std::function<void()> enforceMaxLive;
    std::function<void(bool)> parkedNavLights;
    std::function<void()> clearLiveryIndex;
    std::function<void()> resetAddonScan;
    // Any thread: a copy of what the simulator last reported of the user aircraft.
    std::function<UserAcFix()> userAircraft;
    // UI thread: the main window stays above the other windows, or no longer.
    std::function<void(bool)> setOnTop;
};

}  // namespace clv

// The hooks in use: the product's until others are installed.
const clv::WindowHooks& gf_windowHooks();
// Not while a run is on (tests install doubles).
void gf_installWindowHooks(clv::WindowHooks hooks);
// What this build has: the airport reference list and the park airports, the
// engine's requests, the livery index's clear request, the add-on airport scan's
// reset, the simulator link's user aircraft and the window layer.
clv::WindowHooks gf_productWindowHooks();

// The window group of the run services (the destination applied at a run's
// start, the traffic range, the reset of the panels' figures).
clv::WindowServices gf_windowServices();
