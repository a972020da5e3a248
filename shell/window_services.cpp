#include "shell/window_services.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "airports/static_parking.h"
#include "core/log.h"
#include "core/parameters.h"
#include "link/sim_client.h"
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

}  // namespace

const clv::WindowHooks& gf_windowHooks() { return lf_hooks(); }

void gf_installWindowHooks(clv::WindowHooks hooks) { lf_hooks() = std::move(hooks); }

clv::WindowHooks gf_productWindowHooks() {
    clv::WindowHooks hooks;
    hooks.enforceMaxLive = [] { gf_postEngineRequest([](clv::TrafficEngine& engine) { gf_enforceMaxLive(engine); }); };
    hooks.parkedNavLights = [](bool on) { gf_requestParkedNavLights(on); };
    hooks.clearLiveryIndex = [] { gf_requestLiveryIndexClear(); };
    hooks.userAircraft = lf_userAircraft;
    hooks.setOnTop = [](bool onTop) { clv::platform::setMainWindowOnTop(onTop); };
    return hooks;
}

clv::WindowServices gf_windowServices() {
    clv::WindowServices services;
    services.newDestination = [](const std::string& code, double lat, double lon) { gf_newDestination(code, lat, lon); };
    services.updateRangeLimits = [] { gf_updateRangeLimits(); };
    services.resetDisplay = [] { gf_resetPanelFigures(); };
    return services;
}

