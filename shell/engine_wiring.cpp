#include "shell/engine_wiring.h"

#include "core/clock.h"
#include "link/sim_client.h"
#include "shell/main_window.h"
#include "traffic/traffic_service.h"

void gf_wireEngine(clv::RunServices& services) {
    auto& e = services.engine;
    e.startTraffic = [] { gf_startTraffic(); };
    e.stopTraffic = [] { gf_stopTraffic(); };
    e.trafficTick = [] { gf_trafficTick(); };
    e.handleSimEvents = [] { gf_handleSimEvents(); };
    e.callsign2ObjectId = [] { gf_callsign2ObjectId(); };
    e.removeBlockedCallsign = [](const std::string& callsign) { gf_removeBlockedCallsign(callsign); };
    e.clearRememberedTitles = [] { gf_clearRememberedTitles(); };
    e.clearBlockedCallsigns = [] { gf_clearBlockedCallsigns(); };
    e.coupledCheckFront = [] { return gf_coupledCheckFront(); };
    e.coupledCheckPop = [] { gf_coupledCheckPop(); };
    // Coupled callsigns are looked for on the park airport's stands; with no
    // parking every entry is answered "not here" and dropped.
    e.checkCoupledCallsigns = [](std::uint32_t, clv::Slot) { return false; };
    e.removeStaticDuplicate = [](std::uint32_t hexid) { gf_removeStaticDuplicateOf(gf_trafficEngine(), hexid); };
    e.recountLive = [] {
        float mean = 0.0f;
        const auto parked = gf_countParkedLive(gf_trafficEngine(), currentSlot.load(), &mean);
        gf_setLiveCounts(gf_countLiveNotParked(), static_cast<std::uint64_t>(parked), 0);
        gf_setLiveAverageFit(mean);
    };
    e.removeAllStatic = [] { gf_removeAllStatic(gf_trafficEngine()); };
    e.avoidUserCollisions = [] {
        gf_userCollisionPass(gf_trafficEngine(), userOnGround.load(), userHalfWingspan.load());
    };
    e.avoidStaticCollisions = [] { gf_staticCollisionPass(gf_trafficEngine()); };
    e.removeStaticDuplicatesOfLive = [] { gf_removeStaticDuplicatesOfLive(gf_trafficEngine()); };
    e.removeAcAtStand = [] { gf_removeAcAtStand(gf_trafficEngine(), gf_userStandName()); };
}
