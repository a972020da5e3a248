#pragma once
// The live traffic engine: the state of one engine, its tick, the intake of the
// feed's updates, the spawn gate, the simulator's events and the removal of
// aircraft. The run thread owns an engine and everything in it; other threads
// reach it only through the simulator link's inbox and gf_postEngineRequest.
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/clock.h"
#include "link/sim_events.h"
#include "link/sim_records.h"
#include "link/traffic_update.h"
#include "link/user_aircraft.h"
#include "traffic/ac_records.h"
#include "traffic/engine_ports.h"

namespace clv {

// One object the simulator has created, counting its warm-up steps; finished
// entries (negative step) are dropped.
struct NewSimObject {
    SimEvent event;  // LiveObjectBound or StaticObjectBound
    std::int32_t step = 0;
};

struct TrafficEngine {
    // `unmatched`: where the registration keys without a livery are collected (the
    // program's noMatchList); nullptr keeps them in the engine itself.
    explicit TrafficEngine(EnginePorts ports, std::set<std::string>* unmatched = nullptr);
    TrafficEngine(const TrafficEngine&) = delete;
    TrafficEngine& operator=(const TrafficEngine&) = delete;

    EnginePorts ports;

    std::vector<LiveAc> liveAc;
    std::vector<StaticAc> staticAc;
    std::vector<std::uint32_t> hexidQueue;  // spawned, waiting for their creation request; taken from the back
    std::deque<AcCreateRequest> liveCreationQueue;
    std::deque<AcCreateRequest> staticCreationQueue;
    std::deque<std::uint32_t> removalQueue;  // object ids
    std::deque<std::uint32_t> spawnedList;   // hexids for the data step's coupled-callsign check
    std::deque<std::uint32_t> arrivalsList;  // hexids of landings begun and stand arrivals, for the data step
    std::unordered_map<std::uint32_t, std::string_view> liveryMemory;  // hexid -> title
private:
    std::set<std::string> ownUnmatchedSet_;

public:
    std::set<std::string>& unmatchedSet;  // registration keys without a livery in this run
    std::vector<std::string> blockedCallsigns;
    std::vector<SimEvent> trafficInbox;
    std::vector<NewSimObject> newObjectList;
    UserAcData userAcData;               // the last reply to the user aircraft request
    std::uint32_t selectedObjectId = 0;  // the object shown for CALLSIGN_2_OBJECTID
    // The selected aircraft that is being respawned (hexid, 0 for none): its new
    // object becomes the selection again.
    std::uint32_t reselectHexid = 0;
    // The user position at the last static collision check on the ground.
    double lastUserCheckLatitude = 0.0;
    double lastUserCheckLongitude = 0.0;
    bool firstStartDone = false;

    // What the window shows for CALLSIGN_2_OBJECTID (read by the UI thread).
    std::string shownObjectIdText() const;
    void setShownObjectIdText(std::string text);

    // Requests of other threads, carried out by the run thread.
    void post(std::function<void(TrafficEngine&)> request);
    void runPostedRequests();

    SimLinkPort& sim() const { return *ports.sim; }
    AircraftDataPort& data() const { return *ports.data; }
    ParkingPort& parking() const { return *ports.parking; }
    MovementPort& movement() const { return *ports.movement; }
    FlightPort& flight() const;

private:
    mutable std::mutex shownMutex_;
    std::string shownObjectIdText_;
    std::mutex requestMutex_;
    std::vector<std::function<void(TrafficEngine&)>> postedRequests_;
};

// One traffic tick of an engine.
struct TrafficTick {
    TrafficEngine& engine;
    void operator()();
};

}  // namespace clv

// The tick counter is trafficTickCount (link/traffic_update.h): the reader reads it
// for the due tick of each sample. Its value as a signed number of ticks.
std::int64_t gf_tickNow();

// ---- the tick ----------------------------------------------------------------------
// Updates every live aircraft, compacts the container when one is to go, and swaps
// the position buffers (a busy lock drops this tick's positions at 50 fps or less).
void lf_updateAllLiveAc(clv::TrafficEngine& engine);
// One tick of one live aircraft; true when it is marked to be erased.
bool updateLiveAc(clv::TrafficEngine& engine, clv::LiveAc& ac);

// ---- intake of the feed's updates (the caller holds runMutex) ------------------
bool lf_takeTrafficUpdate(clv::TrafficEngine& engine);
bool lf_applyUpdate(clv::TrafficEngine& engine, const clv::TrafficUpdate& update, clv::LiveAc& ac);
void lf_completeType(clv::TrafficEngine& engine, clv::TrafficUpdate& update);
void lf_newLiveAc(clv::TrafficEngine& engine, const clv::TrafficUpdate& update);
bool lf_respawnCheck(clv::TrafficEngine& engine, clv::LiveAc& ac, const clv::TrafficUpdate& update);

// ---- spawn -----------------------------------------------------------------------
void lf_spawnGate(clv::TrafficEngine& engine, clv::LiveAc& ac);
void spawnLiveAc(clv::TrafficEngine& engine, clv::LiveAc& ac);
bool lf_chooseLivery(clv::TrafficEngine& engine, clv::LiveAc& ac);
// True when no active live aircraft is farther from the user aircraft than the
// distance (nm); otherwise the farthest is removed and the result is false.
bool gf_removeFarthestAc(clv::TrafficEngine& engine, double distanceNm);
// Gives the aircraft another type: the values that follow from it are made anew.
void lf_setType(clv::TrafficEngine& engine, clv::AcData& ac, const std::string& type);

// ---- simulator events, new objects, removal --------------------------------------
void gf_handleSimEvents(clv::TrafficEngine& engine);
bool lf_bindObject(clv::TrafficEngine& engine, clv::LiveAc& ac, const clv::SimEvent& event);
void lf_giveFlightPlan(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_startEngines(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_shutDownAtStand(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_shutDownAtStand(clv::TrafficEngine& engine, clv::StaticAc& ac);
void lf_touchDown(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_objectRemoved(clv::TrafficEngine& engine, std::uint32_t objectId);
void removeAircraftFromSim(clv::TrafficEngine& engine, clv::LiveAc& ac);
void removeAircraftFromSim(clv::TrafficEngine& engine, clv::StaticAc& ac);
// Withdraws the one queued creation of this aircraft (by its hexid; callsigns are
// not unique); true when it was still queued.
bool gf_removeQueuedCreation(std::deque<clv::AcCreateRequest>& queue, std::uint32_t hexid);
void gf_callsign2ObjectId(clv::TrafficEngine& engine);
// The first active live aircraft with this callsign leaves the simulator.
void gf_removeBlockedCallsign(clv::TrafficEngine& engine, const std::string& callsign);
// RealTraffic is gone: every live aircraft in the simulator or on its way there leaves it.
void gf_removeAllLiveFromSim(clv::TrafficEngine& engine);
// NAV_LIGHTS_SET for every active static aircraft and every active live aircraft parked.
void gf_setParkedNavLights(clv::TrafficEngine& engine, bool on);

// ---- respawn and ghosts ------------------------------------------------------------
void liveryRespawn(clv::TrafficEngine& engine, clv::LiveAc& ac);
// A taxiing aircraft whose feed jumped farther than it can drive: out of the
// simulator once and created again at its second sample, where the feed went on.
void gf_respawnAtJump(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_removeGhost(clv::TrafficEngine& engine, const std::string& callsign);
bool lf_originalOfGhostExists(const clv::TrafficEngine& engine, const std::string& callsign);
// Erased at once, outside any walk of the container: the last record takes its place.
template <class V>
void gf_eraseByMovingLast(V& v, typename V::value_type& record) {
    auto& last = v.back();
    if (&record != &last) record = std::move(last);
    v.pop_back();
}
// The selected object is selected no more: the window shows no object id and the
// callsign edit shows `callsignKept` (empty: none).
void gf_deselectObject(clv::TrafficEngine& engine, const std::string& callsignKept);

// ---- static aircraft, duplicates and parked counts ----------------------------------
// What the duplicate test knows of the live aircraft.
struct DuplicateContext {
    const clv::AcIdentity& live;
    std::string callsign;  // the live callsign without a trailing "_"
    bool onGround = false;
};
// True when the active static aircraft duplicates the live one (same registration,
// or a callsign that is its callsign copy or further text); the caller removes it.
bool gf_removeDuplicateAc(clv::TrafficEngine& engine, const DuplicateContext& context, const clv::StaticAc& s);
// The data step's duplicate check of one live aircraft: the first active static
// aircraft that duplicates it leaves the simulator. False when no live aircraft has the hexid.
bool gf_removeStaticDuplicateOf(clv::TrafficEngine& engine, std::uint32_t hexid);
// Every 61 data steps: for each active live aircraft on the ground, the first
// active static aircraft with its callsign followed by "*" or its registration.
void gf_removeStaticDuplicatesOfLive(clv::TrafficEngine& engine);
// Every active static aircraft leaves the simulator; one whose creation is still
// queued is withdrawn and dropped (else its removal waits for the object).
void gf_removeAllStatic(clv::TrafficEngine& engine);
// The aircraft on the stand of this name leaves: the first active static one,
// else the first active live one parked there.
void gf_removeAcAtStand(clv::TrafficEngine& engine, const std::string& standName);
// An active live aircraft in move state parked.
bool lf_isParkedLive(const clv::LiveAc& ac);
// The live parked aircraft; with `mean`, their average parked time in hours there
// (half-hours since parked / 2 + 0.5; 0 without any).
std::int32_t gf_countParkedLive(const clv::TrafficEngine& engine, clv::Slot now, float* mean);

// ---- collision avoidance ----------------------------------------------------------------
// The live aircraft leaves the simulator when it is in the way of the user aircraft
// (in the air, or on the ground below a user less than 500 ft above it); true then.
bool gf_avoidUserCollision(clv::TrafficEngine& engine, clv::LiveAc& ac);
// The first active static aircraft that the live aircraft overlaps leaves the
// simulator; its position, or the end of the static container when there is none.
std::vector<clv::StaticAc>::iterator gf_avoidStaticCollision(clv::TrafficEngine& engine, const clv::LiveAc& ac);
// The first adjacent stand id on which another live aircraft stands (parked or
// pushing back) that overlaps `n` on `stand`; the end when none.
std::vector<std::uint32_t>::const_iterator lf_adjacentStandConflict(clv::TrafficEngine& engine,
                                                                    const std::vector<std::uint32_t>& ids,
                                                                    const clv::Stand& stand, const clv::LiveAc& n);
// The data step's passes. The user pass: on the ground (COLLISION_USER_GND) the
// first live aircraft bound on the ground overlapping the user, else, once the user
// has moved, the first static one; in the air (COLLISION_USER_AIR) the first that
// gf_avoidUserCollision removes. `userRadiusNm`: half the user aircraft's span.
void gf_userCollisionPass(clv::TrafficEngine& engine, bool userOnGround, double userRadiusNm);
// The static pass: every live aircraft taxiing or parking on the ground that moved
// since its last check removes the static aircraft it overlaps.
void gf_staticCollisionPass(clv::TrafficEngine& engine);

// ---- lookups --------------------------------------------------------------------------
clv::LiveAc* gf_findLiveByHexid(clv::TrafficEngine& engine, std::uint32_t hexid);
clv::LiveAc* gf_findLiveByObjectId(clv::TrafficEngine& engine, std::uint32_t objectId);

// ---- lists for the window and the object-id listing ------------------------------------
// Active live aircraft that are not parked.
std::uint64_t gf_countLiveNotParked(const clv::TrafficEngine& engine);
// One line per active live aircraft, sorted: "Gnd"/"Air", callsign, airline, type,
// object id and "Parked at <stand>" for those parked.
std::vector<std::string> gf_parkedListLines(clv::TrafficEngine& engine);

// ---- start and stop of a run ----------------------------------------------------------
void gf_startTraffic(clv::TrafficEngine& engine);
void gf_stopTraffic(clv::TrafficEngine& engine);
