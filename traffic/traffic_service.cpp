#include "traffic/traffic_service.h"

#include "link/realtraffic_link.h"
#include "liveries/match_summary.h"
#include "traffic/link_ports.h"
#include "traffic/live_movement.h"

namespace {

clv::LinkSimPort g_linkSimPort;
clv::LiveryDataPort g_liveryDataPort;
clv::ParkingPort g_noParking;
clv::LiveMovement g_liveMovement;
clv::LiveFlight g_liveFlight;

void lf_realTrafficGone() { gf_removeAllLiveFromSim(gf_trafficEngine()); }

}  // namespace

clv::TrafficEngine& gf_trafficEngine() {
    static clv::TrafficEngine engine(clv::EnginePorts{&g_linkSimPort, &g_liveryDataPort, &g_noParking, &g_liveMovement,
                                                 &g_liveFlight},
                                     &noMatchList);
    return engine;
}

void gf_setParkingPort(clv::ParkingPort* port) { gf_trafficEngine().ports.parking = port ? port : &g_noParking; }
void gf_setMovementPort(clv::MovementPort* port) { gf_trafficEngine().ports.movement = port ? port : &g_liveMovement; }

void gf_startTraffic() {
    gf_startTraffic(gf_trafficEngine());
    // Called by gf_sendQs121 on the run thread, so it may walk the containers.
    gf_setRealTrafficGoneHandler(&lf_realTrafficGone);
}

void gf_stopTraffic() { gf_stopTraffic(gf_trafficEngine()); }
void gf_trafficTick() { clv::TrafficTick{gf_trafficEngine()}(); }
void gf_handleSimEvents() { gf_handleSimEvents(gf_trafficEngine()); }
void gf_callsign2ObjectId() { gf_callsign2ObjectId(gf_trafficEngine()); }
void gf_removeBlockedCallsign(const std::string& callsign) { gf_removeBlockedCallsign(gf_trafficEngine(), callsign); }

std::optional<std::uint32_t> gf_coupledCheckFront() {
    const clv::TrafficEngine& engine = gf_trafficEngine();
    if (!engine.spawnedList.empty()) return engine.spawnedList.front();
    if (!engine.arrivalsList.empty()) return engine.arrivalsList.front();
    return std::nullopt;
}

void gf_coupledCheckPop() {
    clv::TrafficEngine& engine = gf_trafficEngine();
    if (!engine.spawnedList.empty()) {
        engine.spawnedList.pop_front();
    } else if (!engine.arrivalsList.empty()) {
        engine.arrivalsList.pop_front();
    }
}

void gf_clearRememberedTitles() { gf_trafficEngine().liveryMemory.clear(); }
void gf_clearBlockedCallsigns() { gf_trafficEngine().blockedCallsigns.clear(); }

std::string gf_objectIdText() { return gf_trafficEngine().shownObjectIdText(); }

void gf_postEngineRequest(std::function<void(clv::TrafficEngine&)> request) {
    gf_trafficEngine().post(std::move(request));
}

void gf_requestParkedNavLights(bool on) {
    gf_postEngineRequest([on](clv::TrafficEngine& engine) { gf_setParkedNavLights(engine, on); });
}
