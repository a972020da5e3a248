#include "shell/window_services.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

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

void gf_enforceMaxLive(clv::TrafficEngine& engine) {
    const std::int32_t maximum = MAX_LIVE.value;
    if (maximum == MAX_LIVE.def || maximum < 0) return;
    std::vector<std::pair<double, clv::LiveAc*>> active;
    const clv::UserAcData& user = engine.userAcData;
    for (clv::LiveAc& ac : engine.liveAc) {
        if (ac.simState != clv::AcSimState::Active) continue;
        const double d = gf_distanceNm(user.latitude, user.longitude, ac.simPosition.latitude, ac.simPosition.longitude);
        active.emplace_back(d, &ac);
    }
    if (active.size() <= static_cast<std::size_t>(maximum)) return;
    std::stable_sort(active.begin(), active.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    const std::size_t surplus = active.size() - static_cast<std::size_t>(maximum);
    gf_log("MAX_LIVE={}: {} live aircraft removed", maximum, surplus);
    for (std::size_t i = 0; i < surplus; ++i) removeAircraftFromSim(engine, *active[i].second);
}
