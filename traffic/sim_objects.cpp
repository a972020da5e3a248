// What the simulator tells the engine (objects bound, removed, refused, ground and
// CG data), the warm-up of new objects, and the removal of aircraft.
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <random>
#include <type_traits>

#include "core/clock.h"
#include "core/log.h"
#include "core/parameter_store.h"
#include "core/parameters.h"
#include "core/random.h"
#include "core/ui_port.h"
#include "link/sim_ids.h"
#include "traffic/traffic_engine.h"

namespace {

using namespace clv;

constexpr std::uint32_t kFirstAiObjectId = 3;

// Warm-up of a new object: all lights toggled at two steps, engines and lights set at the end.
constexpr std::int32_t kLightToggleStep1 = 50;
constexpr std::int32_t kLightToggleStep2 = 100;
constexpr std::int32_t kWarmUpSteps = 200;
constexpr std::int32_t kWarmUpFinished = -1;

constexpr double kMinStaticCgFeet = 1.0;
constexpr double kMaxStaticCgFeet = 35.0;
constexpr double kMinStaticPitch = -0.017453292519943295;     // -1 degree
constexpr double kMaxStaticPitch = 0.04363323129985824;       // 2.5 degrees
constexpr double kDefaultStaticPitch = 0.012217304763960306;  // 0.7 degrees

constexpr double kLandingLightsCeilingFeet = 10000.0;
constexpr double kCabinLightsAglFeet = 2000.0;
constexpr std::uint32_t kTaxiFlapsStage = 1;
constexpr std::uint32_t kSpoilersOut = 16383;
constexpr double kFullControl = 100.0;
constexpr int kCabinLightsOneIn = 10;  // parked: cabin lights off in one case of ten

bool lf_isRotorcraft(const AcData& ac) { return ac.category == AcCategory::Rotorcraft; }

// The seven lights in their fixed order, queued in one hold of the queue lock.
struct LightSet {
    std::uint32_t nav = 0, beacon = 0, landing = 0, taxi = 0, strobes = 0, logo = 0, cabin = 0;
};

void lf_queueLightSet(TrafficEngine& e, std::uint32_t objectId, const LightSet& l) {
    const std::array<ClientEventCmd, 7> events{{{objectId, NAV_LIGHTS_SET, l.nav},
                                                {objectId, BEACON_LIGHTS_SET, l.beacon},
                                                {objectId, LANDING_LIGHTS_SET, l.landing},
                                                {objectId, TAXI_LIGHTS_SET, l.taxi},
                                                {objectId, STROBES_SET, l.strobes},
                                                {objectId, LOGO_LIGHTS_SET, l.logo},
                                                {objectId, CABIN_LIGHTS_SET, l.cabin}}};
    QueueLock queueLock(e.sim());
    std::lock_guard lock(queueLock);
    for (const ClientEventCmd& c : events) e.sim().appendClientEventLocked(c);
}

void lf_queueEvent(TrafficEngine& e, std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data) {
    e.sim().queueClientEvent(ClientEventCmd{objectId, eventId, data});
}

std::uint32_t lf_flag(bool on) { return on ? 1u : 0u; }

StaticAc* lf_findStaticByHexid(TrafficEngine& e, std::uint32_t hexid) {
    auto it =
        std::find_if(e.staticAc.begin(), e.staticAc.end(), [hexid](const StaticAc& s) { return s.hexid == hexid; });
    return it == e.staticAc.end() ? nullptr : &*it;
}

void lf_staticCg(TrafficEngine& e, const SimEvent& ev) {
    LiveAc* ac = gf_findLiveByObjectId(e, ev.objectId);
    if (ac == nullptr) return;
    if (ev.value1 >= kMinStaticCgFeet && ev.value1 <= kMaxStaticCgFeet) {
        ac->staticCgHeight = ev.value1;
    } else if (LOG.value) {
        gf_logMarked("{}: static CG {:.1F}ft wrong?", ac->logLabel(), ev.value1);
    }
    ac->staticPitch = (ev.value2 <= kMinStaticPitch || ev.value2 > kMaxStaticPitch) ? kDefaultStaticPitch : ev.value2;
}

void lf_groundData(TrafficEngine& e, const SimEvent& ev) {
    LiveAc* ac = gf_findLiveByObjectId(e, ev.objectId);
    if (ac == nullptr) return;
    if (ev.hexidOrFlag == 1 && !ac->onGround && ac->rotationCountdown < 2) lf_touchDown(e, *ac);
    ac->heightAboveGround = ev.value2;
    if (ac->onGround || ac->rotationCountdown >= 2) ac->simPosition.altitude = ac->staticCgHeight + ev.value1;
}

void lf_blockedCallsign(TrafficEngine& e, const SimEvent& ev) {
    LiveAc* ac = gf_findLiveByHexid(e, ev.hexidOrFlag);
    if (ac == nullptr) return;
    if (ac->simState == AcSimState::Buffer) {
        gf_log("{} will be removed from buffer while blocked", ac->logLabel());
        ac->eraseFromBuffer = true;
    } else if (ac->simState == AcSimState::Active) {
        gf_log("{} removed from simulator immediately while blocked", ac->logLabel());
        removeAircraftFromSim(e, *ac);
    }
}

// The simulator refused to create the aircraft: it is forgotten, its stand freed,
// and its title is never chosen again.
void lf_creationFailed(TrafficEngine& e, const SimEvent& ev) {
    const std::uint32_t hexid = ev.hexidOrFlag;
    AcData refused;
    if (hexid > kLastStaticHexid) {
        LiveAc* ac = gf_findLiveByHexid(e, hexid);
        if (ac == nullptr) return;
        if (ac->standId != 0) e.parking().freeStand(ac->standId, ac->hexid);
        refused = *ac;
        gf_eraseByMovingLast(e.liveAc, *ac);
    } else {
        StaticAc* ac = lf_findStaticByHexid(e, hexid);
        if (ac == nullptr) return;
        if (ac->standId != 0) e.parking().freeStand(ac->standId, ac->hexid);
        refused = *ac;
        gf_eraseByMovingLast(e.staticAc, *ac);
    }
    e.data().liveryNotCreated(refused);
}

// Its creation is under way and this object may be the one it makes.
bool lf_waitsForObject(const LiveAc& ac, std::uint32_t objectId) {
    return ac.simState == AcSimState::Adding2Sim && ac.objectId == 0 &&
           (ac.assignedObjectId == 0 || ac.assignedObjectId == objectId);
}

// An object made for a creation that no record waits for any more (given up, or
// the record is gone) would stand frozen in the simulator for good.
void lf_removeUnwantedObject(TrafficEngine& e, const SimEvent& ev) {
    if (ev.objectId < kFirstAiObjectId) return;
    gf_log("object {} (hexid {}) made for a creation no aircraft waits for: removed", ev.objectId, ev.hexidOrFlag);
    e.removalQueue.push_back(ev.objectId);
}

void lf_objectAssigned(TrafficEngine& e, const SimEvent& ev) {
    if (ev.hexidOrFlag <= kLastStaticHexid) return;
    LiveAc* ac = gf_findLiveByHexid(e, ev.hexidOrFlag);
    if (ac != nullptr && ac->objectId == ev.objectId) return;  // the binding came first
    if (ac != nullptr && lf_waitsForObject(*ac, ev.objectId)) {
        ac->assignedObjectId = ev.objectId;
        return;
    }
    lf_removeUnwantedObject(e, ev);
}

void lf_handleEvent(TrafficEngine& e, const SimEvent& ev) {
    switch (ev.kind) {
        case SimEventKind::LiveObjectBound: {
            LiveAc* ac = gf_findLiveByHexid(e, ev.hexidOrFlag);
            if (ac != nullptr && ac->objectId == ev.objectId) return;  // told twice: its own object
            if (ac == nullptr || !lf_waitsForObject(*ac, ev.objectId)) {
                lf_removeUnwantedObject(e, ev);
                return;
            }
            if (lf_bindObject(e, *ac, ev)) e.newObjectList.push_back(NewSimObject{ev, 0});
            return;
        }
        case SimEventKind::ObjectAssigned: lf_objectAssigned(e, ev); return;
        case SimEventKind::StaticObjectBound: e.newObjectList.push_back(NewSimObject{ev, 0}); return;
        case SimEventKind::ObjectRemoved: lf_objectRemoved(e, ev.objectId); return;
        case SimEventKind::GroundData: lf_groundData(e, ev); return;
        case SimEventKind::StaticCg: lf_staticCg(e, ev); return;
        case SimEventKind::BlockedCallsign: lf_blockedCallsign(e, ev); return;
        case SimEventKind::CreationFailed: lf_creationFailed(e, ev); return;
    }
}

void lf_allLightsToggle(TrafficEngine& e, std::uint32_t objectId) {
    QueueLock queueLock(e.sim());
    std::lock_guard lock(queueLock);
    if (e.sim().simConnectFailed()) return;
    if (!e.sim().allLightsToggleLocked(objectId)) {
        gf_logMarked("SimConnect gf_allLightsToggle fails");
        e.sim().reportRequestError();
    }
}

// A selected aircraft that came back after its livery respawn is selected again,
// unless the user has typed another callsign meanwhile.
void lf_reselect(TrafficEngine& e, const LiveAc& ac) {
    e.reselectHexid = 0;
    if (e.selectedObjectId != 0 || CALLSIGN_2_OBJECTID.value.get() != ac.callsign) return;
    e.selectedObjectId = ac.objectId;
    e.setShownObjectIdText(fmt::format("= {}", ac.objectId));
    gf_uiPort().requestRepaint();
}

// One warm-up step of a new object; true when it finished.
bool lf_warmUpStep(TrafficEngine& e, NewSimObject& entry) {
    if (entry.step < kWarmUpSteps) ++entry.step;
    const bool live = entry.event.kind == SimEventKind::LiveObjectBound;
    if (live && (entry.step == kLightToggleStep1 || entry.step == kLightToggleStep2)) {
        lf_allLightsToggle(e, entry.event.objectId);
    }
    if (entry.step < kWarmUpSteps) return false;
    entry.step = kWarmUpFinished;
    if (live) {
        LiveAc* ac = gf_findLiveByHexid(e, entry.event.hexidOrFlag);
        if (ac == nullptr) return true;
        lf_startEngines(e, *ac);
        if (ac->hexid == e.reselectHexid) lf_reselect(e, *ac);
        if (ac->removalPending) {
            ac->removalPending = false;
            removeAircraftFromSim(e, *ac);
        }
        return true;
    }
    StaticAc* ac = lf_findStaticByHexid(e, entry.event.hexidOrFlag);
    if (ac == nullptr) return true;
    ac->simState = AcSimState::Active;
    ac->objectId = entry.event.objectId;
    lf_shutDownAtStand(e, *ac);
    if (LOG.value) gf_log("{:8}: {:8} parked", e.parking().standName(ac->standId), ac->callsign);
    if (ac->removalPending) {
        ac->removalPending = false;
        removeAircraftFromSim(e, *ac);
    }
    return true;
}

template <class Ac>
void lf_shutDown(TrafficEngine& e, Ac& ac) {
    if (ac.throttleStage != 0) {
        lf_queueEvent(e, ac.objectId, THROTTLE_SET, kThrottleValues[0]);
        ac.throttleStage = 0;
    }
    if (ac.flapsStage != 0 && !lf_isRotorcraft(ac)) {
        lf_queueEvent(e, ac.objectId, FLAPS_SET, kFlapsValues[0]);
        ac.flapsStage = 0;
    }
    lf_queueEvent(e, ac.objectId, ENGINE_AUTO_SHUTDOWN, 0);
    bool cabin = false;
    if (!ac.cargoStand) {
        cabin = !RANDOM.value || std::uniform_int_distribution<int>(0, kCabinLightsOneIn - 1)(gf_threadRandom()) != 0;
    }
    lf_queueLightSet(e, ac.objectId, LightSet{lf_flag(NAV_LIGHTS_WHILE_PARKED.value), 0, 0, 0, 0, 1, lf_flag(cabin)});
}

template <class Ac>
void lf_removeFromSim(TrafficEngine& e, Ac& ac, std::deque<AcCreateRequest>& ownQueue) {
    if (ac.simState == AcSimState::Buffer) {
        ac.eraseFromBuffer = true;
        return;
    }
    // Already on its way out: a second removal of the object would only be refused.
    if (ac.removalPending || ac.simState == AcSimState::RemovingFromSim) return;
    if (ac.simState == AcSimState::Adding2Sim) {
        if (gf_removeQueuedCreation(ownQueue, ac.hexid)) {
            ac.erase = true;
        } else {
            ac.removalPending = true;  // the creation has gone to the simulator already
        }
        return;
    }
    if (ac.standId != 0) e.parking().freeStand(ac.standId, ac.hexid);
    ac.simState = AcSimState::RemovingFromSim;
    if constexpr (std::is_same_v<Ac, LiveAc>) ac.simStateSince = static_cast<std::uint32_t>(gf_tickNow());
    if (ac.objectId != 0 && ac.objectId == e.selectedObjectId) {
        gf_deselectObject(e, {});
    }
    if (ac.objectId != 0) {
        e.removalQueue.push_back(ac.objectId);
    } else {
        gf_logMarked("{} removing act {}, with objectid=0 ?", "removeAircraftFromSim", ac.logLabel());
    }
}

}  // namespace

void gf_handleSimEvents(clv::TrafficEngine& engine) {
    engine.runPostedRequests();
    engine.trafficInbox.clear();
    engine.sim().takeSimEvents(engine.trafficInbox);
    for (const clv::SimEvent& ev : engine.trafficInbox) lf_handleEvent(engine, ev);
    engine.trafficInbox.clear();

    bool finished = false;
    for (clv::NewSimObject& entry : engine.newObjectList) {
        if (lf_warmUpStep(engine, entry)) finished = true;
    }
    if (finished) std::erase_if(engine.newObjectList, [](const clv::NewSimObject& n) { return n.step < 0; });
}

bool lf_bindObject(clv::TrafficEngine& engine, clv::LiveAc& ac, const clv::SimEvent& event) {
    if (event.objectId < kFirstAiObjectId) return false;
    ac.objectId = event.objectId;
    ac.heightAboveGround = event.value2;
    if (!ac.samples.empty() && !ac.samples.back().airborne) {
        ac.onGround = true;
        if (!lf_isRotorcraft(ac)) lf_queueEvent(engine, ac.objectId, clv::GEAR_SET, 1);
        ac.altitudeStep = 0.0;
        if (ac.moveState == clv::AcMoveState::Parked) {
            ac.parkedAt = currentSlot.load().toBits();
            if (LOG.value) gf_log("{:8}: {:8} parks", engine.parking().standName(ac.standId), ac.callsign);
            engine.parking().liveParkedOnStand(ac.standId);
        }
    }
    ac.rotationCountdown = 1;
    lf_giveFlightPlan(engine, ac);
    {
        clv::QueueLock queueLock(engine.sim());
        std::lock_guard lock(queueLock);
        if (!engine.sim().simConnectFailed() && !engine.sim().requestStaticCgLocked(ac.objectId)) {
            gf_logMarked("SimConnect request StaticCG fails");
            engine.sim().reportRequestError();
        }
    }
    return true;
}

void lf_giveFlightPlan(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    if (ac.origin.empty() || ac.destination.empty()) return;
    const auto path = engine.sim().writeFlightPlan(ac.objectId, ac.category, ac.origin, ac.destination);
    bool given = path.has_value();
    if (given && MSFS_2020.value) {
        clv::QueueLock queueLock(engine.sim());
        std::lock_guard lock(queueLock);
        if (!engine.sim().simConnectFailed()) given = engine.sim().setFlightPlanLocked(ac.objectId, *path);
    }
    if (!given) gf_logMarked("{} creating a flight plan failed", ac.fullLabel());
    ac.flightPlanGiven = given;
}

void lf_startEngines(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using clv::AcMoveState;
    const std::uint32_t id = ac.objectId;
    const bool rotorcraft = lf_isRotorcraft(ac);
    const bool airborne = ac.samples.empty() ? !ac.onGround : ac.samples.back().airborne;
    if (airborne) {
        lf_queueEvent(engine, id, clv::ENGINE_AUTO_START, 0);
        if (!rotorcraft) lf_queueEvent(engine, id, clv::SPOILERS_SET, 0);
        const std::uint32_t landing = lf_flag(ac.simPosition.altitude <= kLandingLightsCeilingFeet);
        lf_queueLightSet(engine, id,
                         LightSet{1, 1, landing, 0, 1, landing, lf_flag(ac.heightAboveGround >= kCabinLightsAglFeet)});
    } else {
        const bool parked = ac.moveState == AcMoveState::Parked;
        if (!rotorcraft) lf_queueEvent(engine, id, clv::SPOILERS_SET, 0);
        lf_queueEvent(engine, id, parked ? clv::ENGINE_AUTO_SHUTDOWN : clv::ENGINE_AUTO_START, 0);
        const std::uint32_t nav = parked ? lf_flag(NAV_LIGHTS_WHILE_PARKED.value) : 1;
        lf_queueLightSet(engine, id,
                         LightSet{nav, lf_flag(!parked), 0, lf_flag(ac.moveState == AcMoveState::Taxi), 0, 1, 1});
        const std::uint32_t throttle = rotorcraft ? kRotorcraftThrottleStage : 0;
        if (throttle != ac.throttleStage) {
            lf_queueEvent(engine, id, clv::THROTTLE_SET, clv::kThrottleValues[throttle]);
            ac.throttleStage = throttle;
        }
        if (!rotorcraft) {
            const std::uint32_t flaps = ac.moveState == AcMoveState::Taxi ? kTaxiFlapsStage : 0;
            if (flaps != ac.flapsStage) {
                lf_queueEvent(engine, id, clv::FLAPS_SET, clv::kFlapsValues[flaps]);
                ac.flapsStage = flaps;
            }
        }
    }
    ac.simState = clv::AcSimState::Active;
}

void lf_shutDownAtStand(clv::TrafficEngine& engine, clv::LiveAc& ac) { lf_shutDown(engine, ac); }
void lf_shutDownAtStand(clv::TrafficEngine& engine, clv::StaticAc& ac) { lf_shutDown(engine, ac); }

void lf_touchDown(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    if (ac.simState == clv::AcSimState::RemovingFromSim || ac.moveState == clv::AcMoveState::TakeOff) return;
    if (ac.landing) {
        ac.deRotating = true;
        ac.rollingOut = true;
        ac.landing = false;
        ac.landed = true;
        ac.touchDownHeading = ac.simPosition.trueHeading;
        if (!lf_isRotorcraft(ac)) lf_queueEvent(engine, ac.objectId, clv::SPOILERS_SET, kSpoilersOut);
        if (ac.category != clv::AcCategory::Light) {
            const double throttle = ac.specialLivery ? -kFullControl : kFullControl;
            const clv::AiControlsData controls{kFullControl, throttle, throttle};
            clv::QueueLock queueLock(engine.sim());
            std::lock_guard lock(queueLock);
            if (!engine.sim().simConnectFailed() && !engine.sim().setAiControlsLocked(ac.objectId, controls)) {
                gf_logMarked("SimConnect set AI controls fails");
                engine.sim().reportRequestError();
            }
        }
        if (ac.deRotationTicks > 0) {
            ac.pitchStep = (ac.staticPitch - ac.simPosition.pitch) / ac.deRotationTicks;
            ac.bankStep = -ac.simPosition.bank / ac.deRotationTicks;
        } else {
            gf_log("{} ! onGround slots {:.1F}", ac.callsign, static_cast<double>(ac.deRotationTicks));
        }
    }
    ac.onGround = true;
    ac.altitudeStep = 0.0;
    ac.rotationCountdown = 1;
}

void lf_objectRemoved(clv::TrafficEngine& engine, std::uint32_t objectId) {
    if (clv::LiveAc* ac = gf_findLiveByObjectId(engine, objectId)) {
        if (ac->simState == clv::AcSimState::LiveryRespawn) {
            ac->simState = clv::AcSimState::Buffer;
            ac->creationSent = false;
            ac->assignedObjectId = 0;
            ac->throttleStage = clv::kNoThrottleStage;
            ac->flapsStage = clv::kNoFlapsStage;
            ac->objectId = 0;
            return;
        }
        if (ac->flightPlanGiven) engine.sim().deleteFlightPlan(objectId);
        // An object that vanished without our asking still held its stand.
        if (ac->simState != clv::AcSimState::RemovingFromSim && ac->standId != 0) {
            engine.parking().freeStand(ac->standId, ac->hexid);
        }
        gf_eraseByMovingLast(engine.liveAc, *ac);
        return;
    }
    auto it = std::find_if(engine.staticAc.begin(), engine.staticAc.end(),
                           [objectId](const clv::StaticAc& s) { return s.objectId == objectId; });
    if (it != engine.staticAc.end()) gf_eraseByMovingLast(engine.staticAc, *it);
}

void removeAircraftFromSim(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    // A spawned aircraft whose creation request is not made yet is withdrawn too.
    if (ac.simState == clv::AcSimState::Adding2Sim && !ac.removalPending) {
        auto queued = std::find(engine.hexidQueue.begin(), engine.hexidQueue.end(), ac.hexid);
        if (queued != engine.hexidQueue.end()) {
            engine.hexidQueue.erase(queued);
            ac.erase = true;
            return;
        }
    }
    lf_removeFromSim(engine, ac, engine.liveCreationQueue);
}

void removeAircraftFromSim(clv::TrafficEngine& engine, clv::StaticAc& ac) {
    lf_removeFromSim(engine, ac, engine.staticCreationQueue);
}

bool gf_removeQueuedCreation(std::deque<clv::AcCreateRequest>& queue, std::uint32_t hexid) {
    if (hexid == 0) return false;
    auto it =
        std::find_if(queue.begin(), queue.end(), [hexid](const clv::AcCreateRequest& r) { return r.hexid == hexid; });
    if (it == queue.end()) return false;
    queue.erase(it);
    return true;
}

void gf_callsign2ObjectId(clv::TrafficEngine& engine) {
    const std::string callsign = CALLSIGN_2_OBJECTID.value.get();
    auto it = std::find_if(engine.liveAc.begin(), engine.liveAc.end(), [&](const clv::LiveAc& ac) {
        return ac.simState == clv::AcSimState::Active && ac.callsign == callsign;
    });
    if (it != engine.liveAc.end()) {
        engine.selectedObjectId = it->objectId;
        engine.setShownObjectIdText(fmt::format("= {}", it->objectId));
    } else {
        engine.setShownObjectIdText({});
        gf_setStatusLine(fmt::format("callsign \"{}\" is unknown", callsign), true);
    }
    gf_uiPort().requestRepaint();
}

void gf_removeBlockedCallsign(clv::TrafficEngine& engine, const std::string& callsign) {
    auto it = std::find_if(engine.liveAc.begin(), engine.liveAc.end(), [&](const clv::LiveAc& ac) {
        return ac.simState == clv::AcSimState::Active && ac.callsign == callsign;
    });
    if (it != engine.liveAc.end()) removeAircraftFromSim(engine, *it);
}

void gf_removeAllLiveFromSim(clv::TrafficEngine& engine) {
    for (clv::LiveAc& ac : engine.liveAc) {
        if (ac.simState == clv::AcSimState::Active ||
            (ac.simState == clv::AcSimState::Adding2Sim && !ac.removalPending)) {
            removeAircraftFromSim(engine, ac);
        }
    }
    std::erase_if(engine.liveAc, [](const clv::LiveAc& ac) { return ac.erase || ac.eraseFromBuffer; });
}

void gf_setParkedNavLights(clv::TrafficEngine& engine, bool on) {
    for (const clv::StaticAc& s : engine.staticAc) {
        if (s.simState == clv::AcSimState::Active) lf_queueEvent(engine, s.objectId, clv::NAV_LIGHTS_SET, lf_flag(on));
    }
    for (const clv::LiveAc& ac : engine.liveAc) {
        if (ac.simState == clv::AcSimState::Active && ac.moveState == clv::AcMoveState::Parked) {
            lf_queueEvent(engine, ac.objectId, clv::NAV_LIGHTS_SET, lf_flag(on));
        }
    }
}
