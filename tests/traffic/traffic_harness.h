#pragma once
// Doubles for the engine's ports and a driver that runs an engine tick by tick:
// a recording simulator link with an optional auto-responder, aircraft data from
// small tables, parking with scripted answers, and a feed that pushes updates at
// chosen ticks.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/parameters.h"
#include "link/traffic_update.h"
#include "traffic/live_movement.h"
#include "traffic/traffic_engine.h"

namespace clv::test {

std::uint32_t currentTick();

// ---- the simulator link ----------------------------------------------------------------

struct TickedCreation {
    std::uint32_t tick;
    AcCreateRequest request;
};
struct TickedId {
    std::uint32_t tick;
    std::uint32_t id;
};
struct TickedEvent {
    std::uint32_t tick;
    ClientEventCmd command;
};
struct TickedPositions {
    std::uint32_t tick;
    std::vector<AiPositionUpdate> blocks;
};

class FakeSimLink : public SimLinkPort {
public:
    // ---- knobs ----
    float fps = 60.0f;
    std::set<std::uint32_t> busyTicks;  // the queue lock is held elsewhere during these ticks
    bool userOnGroundValue = false;
    UserAcData user;      // what requestUserAcData returns
    bool failed = false;  // simConnectFailed
    bool refuseAcInRange = false;
    bool refuseStaticCg = false;
    bool refuseLightToggle = false;
    bool planWritable = true;
    bool planAccepted = true;
    std::set<std::string> refusedTitles;  // creations of these titles fail
    // Called with every user aircraft report (the program's link to RealTraffic).
    std::function<void(const UserAcData&)> onQs121;

    // The auto-responder plays the simulator: a creation handed over makes its
    // object at once, names it (ObjectAssigned) on the next tick, and is bound by the
    // first aircraft-within-range request at least `bindDelay` ticks later that finds
    // the object within the requested radius of the user aircraft (any distance while
    // the user's position is unknown); a removal handed over comes back as
    // ObjectRemoved `removeDelay` ticks later; a refused title comes back as
    // CreationFailed on the next tick.
    //
    // With a terrain, every aircraft-within-range request also reports the ground
    // under every object (its last position block, else where it was created), as
    // the simulator does; with a static CG above 0, each CG request is answered.
    struct Responder {
        bool on = false;
        std::uint32_t bindDelay = 20;
        std::uint32_t removeDelay = 5;
        double heightAboveGround = 0.0;
        double staticCg = 0.0;        // feet
        double staticPitch = 0.01;    // radians
        bool answerRemovals = true;   // false: removals are never acknowledged
        bool bindCreations = true;    // false: creations are never bound
        std::function<double(double latitude, double longitude)> terrain;  // feet
    } responder;

    // The ground reports posted: tick, object id, ground elevation.
    struct GroundReport {
        std::uint32_t tick;
        std::uint32_t objectId;
        double ground;
    };
    std::vector<GroundReport> groundReports;

    // ---- what was asked of it ----
    std::vector<TickedCreation> creations;
    std::vector<TickedId> removals;
    std::vector<TickedEvent> clientEvents;
    std::vector<TickedPositions> sentPositions;       // one per swap
    std::vector<std::uint32_t> droppedPositionTicks;  // a busy lock dropped the tick's positions
    std::vector<std::uint32_t> waitedTicks;           // a busy lock was waited for
    std::vector<TickedId> acInRangeRequests;          // id: the radius in metres
    std::vector<TickedId> staticCgRequests;
    std::vector<TickedId> lightToggles;
    std::vector<TickedId> flightPlansHanded;
    std::vector<TickedId> flightPlansDeleted;
    std::vector<std::pair<std::uint32_t, AiControlsData>> aiControls;
    std::vector<std::uint32_t> qs121Ticks;
    int userDataRequests = 0;
    int requestErrors = 0;

    // The simulator's side: an event posted like the SimConnect thread does.
    void post(const SimEvent& event);
    void postAt(std::uint32_t tick, const SimEvent& event);
    // Object ids the responder gave, by hexid (the newest creation).
    std::map<std::uint32_t, std::uint32_t> objectOf;
    // The objects the responder made and that were not removed, bound or not.
    std::set<std::uint32_t> simObjects;
    // The client events of one object, in order.
    std::vector<TickedEvent> eventsOf(std::uint32_t objectId) const;
    // Emulates the SimConnect thread's "Frame": takes the send buffer under the lock.
    std::size_t frame();

    // ---- SimLinkPort ----
    void lockQueues() override;
    bool tryLockQueues() override;
    void unlockQueues() override;
    void queueCreateAc(AcCreateRequest request) override;
    void queueClientEvent(const ClientEventCmd& command) override;
    void appendRemovalLocked(std::uint32_t objectId) override;
    void appendClientEventLocked(const ClientEventCmd& command) override;
    void swapPositionsLocked() override;
    bool requestAcInRangeLocked(std::uint32_t radiusMeters) override;
    bool requestStaticCgLocked(std::uint32_t objectId) override;
    bool allLightsToggleLocked(std::uint32_t objectId) override;
    bool setFlightPlanLocked(std::uint32_t objectId, const std::string& path) override;
    bool setAiControlsLocked(std::uint32_t objectId, const AiControlsData& controls) override;
    std::vector<AiPositionUpdate>& positionFill() override;
    bool simConnectFailed() override { return failed; }
    float frameRate() override { return fps; }
    bool userOnGround() override { return userOnGroundValue; }
    void reportRequestError() override { ++requestErrors; }
    std::optional<std::string> writeFlightPlan(std::uint32_t objectId, AcCategory category, const std::string& origin,
                                               const std::string& destination) override;
    void deleteFlightPlan(std::uint32_t objectId) override;
    void takeSimEvents(std::vector<SimEvent>& out) override;
    UserAcData requestUserAcData() override;
    void sendQs121(const UserAcData& user) override;

private:
    struct Pending {
        std::uint32_t tick;
        AcCreateRequest request;
        std::uint32_t objectId;
    };
    std::mutex mutex_;  // the queue lock
    bool scriptedBusy_ = false;
    std::mutex inboxMutex_;                                  // the inbox, posted to from other threads
    std::vector<std::pair<std::uint32_t, SimEvent>> inbox_;  // due tick, event
    std::vector<Pending> pending_;
    std::uint32_t nextObjectId_ = 100;
    std::vector<AiPositionUpdate> fill_;
    std::vector<AiPositionUpdate> send_;
    std::map<std::uint32_t, AiPositionData> objects_;  // bound objects: where they are
    void reportGround(std::uint32_t now);
};

// ---- aircraft data ---------------------------------------------------------------------

class FakeAircraftData : public AircraftDataPort {
public:
    struct TypeInfo {
        AcCategory category;
        double radius;
    };
    std::map<std::string, TypeInfo> types;           // the valid models
    std::map<std::string, RegRecord> registrations;  // looked up by exact spelling
    std::map<std::string, std::string> regTitles;    // registration -> title bound to it
    struct Livery {
        std::string airline;
        std::string type;
        std::string title;
    };
    std::deque<Livery> liveries;  // in matching order
    std::set<std::string> excluded;
    std::vector<AcData> refusedAircraft;
    int matchCalls = 0;

    // A table that serves most tests.
    static FakeAircraftData standard();
    // Views stay valid as long as this object lives.
    void addLivery(std::string airline, std::string type, std::string title);

    AcCategory category(std::string_view type) override;
    bool isValidModel(std::string_view type) override;
    std::string reg2Type(std::string_view registration) override;
    std::optional<RegRecord> regRecord(std::string_view registration) override;
    std::string_view reg2Title(std::string_view registration) override;
    AcData acData(const AcIdentity& identity) override;
    // Stands for the real matcher with RANDOM off (checked against it by the
    // livery port contract test): the registration's title, then the first
    // livery of the airline and type, then, for Light, Buzjets and Rotorcraft,
    // the first of the type; refused titles are never candidates.
    void matchLivery(AcData& ac) override;
    bool isExcludedTitle(std::string_view title) override;
    void liveryNotCreated(const AcData& ac) override;
};

// ---- parking ---------------------------------------------------------------------------

class FakeParking : public ParkingPort {
public:
    // The fixture park airport: its elevation (feet) and position; none without one.
    std::optional<double> elevation;
    std::optional<LatLon> airportPosition;
    std::string iata;
    StandPlacement placement = StandPlacement::NotPlaced;
    std::uint32_t placementStand = 0;  // given to the aircraft when placed, at its oldest sample
    double placementHeading = 1.0;     // radians
    int planEntries = 0;               // static aircraft the plan still holds
    std::vector<std::uint32_t> freedStands;
    std::vector<std::uint32_t> parkedOnStands;
    bool active = false;                   // parkingActive
    std::optional<double> standRadius;     // of every stand, nm
    std::vector<std::uint32_t> parkTries;  // hexids that tried to park
    // A sample of a parked aircraft this far (nm) from its stand makes it leave,
    // ending the week-long hold it stood on.
    double leaveBeyondNm = 0.005;
    std::vector<std::uint32_t> staticPlacementTicks;
    int resets = 0;
    std::vector<Stand> stands;  // the park airport's stands, found by id and name

    std::uint32_t findStandByName(const std::string& name) override;
    const Stand* findStand(std::uint32_t standId) override;
    StandPlacement placeAtSpawn(TrafficEngine&, LiveAc& ac) override;
    void freeStand(std::uint32_t standId, std::uint32_t) override { freedStands.push_back(standId); }
    std::string standName(std::uint32_t standId) override;
    void liveParkedOnStand(std::uint32_t standId) override { parkedOnStands.push_back(standId); }
    std::optional<double> parkAirportElevation() override { return elevation; }
    std::string parkAirportIata() override { return iata; }
    std::optional<LatLon> parkAirportPosition() override { return airportPosition; }
    bool staticPlanEmpty() override { return planEntries == 0; }
    void placeNextStaticAc(TrafficEngine&) override;
    void resetParking() override { ++resets; }
    bool parkingActive() override { return active; }
    std::optional<double> standRadiusNm(std::uint32_t) override { return standRadius; }
    void try2Park(TrafficEngine&, LiveAc& ac, bool) override { parkTries.push_back(ac.hexid); }
    bool checkStandSample(TrafficEngine& engine, LiveAc& ac, PosSample& s) override;
};

// ---- the feed ----------------------------------------------------------------------------

// An update as the reader makes it; the due tick is set when it is pushed.
TrafficUpdate makeUpdate(std::uint32_t hexid, const std::string& callsign, const std::string& type, double latitude,
                         double longitude, double altitude, double groundSpeed, double track, double timestamp,
                         const std::string& registration = {});

class ScriptedFeed {
public:
    void at(std::uint32_t tick, TrafficUpdate update);
    // Pushes what is scheduled up to now, as the reader does: under runMutex, due
    // 3000 ticks after arrival.
    void pump();
    bool done() const { return next_ >= script_.size(); }
    // What was pushed: hexid and sample with its due tick, in order.
    const std::vector<std::pair<std::uint32_t, PosSample>>& pushed() const { return pushed_; }

private:
    std::vector<std::pair<std::uint32_t, PosSample>> pushed_;
    std::vector<std::pair<std::uint32_t, TrafficUpdate>> script_;  // kept in tick order
    std::size_t next_ = 0;
};

// ---- settings ---------------------------------------------------------------------------

// Restores every setting the engine reads when it goes out of scope.
class SettingsGuard {
public:
    SettingsGuard();
    ~SettingsGuard();

private:
    std::map<Parameter<bool>*, bool> bools_;
    std::map<Parameter<int>*, int> ints_;
    std::map<Parameter<std::string>*, std::string> strings_;
    std::int32_t rangeMeters_;
    double rangeNm_;
};

// ---- the driver --------------------------------------------------------------------------

// A fresh engine on doubles, the tick counter at 0 and the feed's queue empty.
struct EngineRig {
    SettingsGuard settings;
    FakeSimLink sim;
    FakeAircraftData data = FakeAircraftData::standard();
    FakeParking parking;
    MovementPort movement;
    LiveMovement liveMovement;
    LiveFlight liveFlight;
    ScriptedFeed feed;
    TrafficEngine engine{EnginePorts{&sim, &data, &parking, &movement}};
    // Called after every tick (the trajectory checker).
    std::function<void()> afterTick;

    EngineRig();
    ~EngineRig();
    // The program's movement (and flight) in place of the one that moves nothing.
    void useLiveMovement() {
        engine.ports.movement = &liveMovement;
        engine.ports.flight = &liveFlight;
    }
    // One tick: the feed pushes what is due, then the engine ticks.
    void tick();
    void run(std::uint32_t ticks);
    // Ticks until the predicate holds (true) or `limit` ticks have passed (false).
    template <class P>
    bool runUntil(P predicate, std::uint32_t limit) {
        for (std::uint32_t i = 0; i < limit; ++i) {
            if (predicate()) return true;
            tick();
        }
        return predicate();
    }

    // A live aircraft put straight into the engine: identity from the standard
    // table, one sample per entry (due ticks as given), in the given state.
    LiveAc& addLive(std::uint32_t hexid, const std::string& callsign, const std::string& type,
                    const std::vector<PosSample>& samples, AcSimState state = AcSimState::Buffer,
                    double newestTimestamp = 1000.0);
    LiveAc* live(std::uint32_t hexid) { return gf_findLiveByHexid(engine, hexid); }
    void pushUpdate(TrafficUpdate update);  // straight onto the queue, due 3000 ticks from now
};

PosSample groundSample(double latitude, double longitude, double groundSpeed, double track, std::uint32_t due);
PosSample airSample(double latitude, double longitude, double altitude, double groundSpeed, double track,
                    std::uint32_t due);

}  // namespace clv::test
