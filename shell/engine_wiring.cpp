#include "shell/engine_wiring.h"

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
    e.coupledCheckFront = [] { return gf_spawnedListFront(); };
    e.coupledCheckPop = [] { gf_spawnedListPop(); };
    // Coupled callsigns are looked for on the park airport's stands; with no
    // parking every entry is answered "not here" and dropped.
    e.checkCoupledCallsigns = [](std::uint32_t, clv::Slot) { return false; };
    // Nothing parks without parking: the parked counts stay 0.
    e.recountLive = [] { gf_setLiveCounts(gf_countLiveNotParked(), 0, 0); };
    // Static aircraft, stands and collision passes come with parking and movement.
    e.removeAllStatic = [] {};
    e.avoidUserCollisions = [] {};
    e.avoidStaticCollisions = [] {};
    e.removeStaticDuplicatesOfLive = [] {};
    e.removeAcAtStand = [] {};
}
