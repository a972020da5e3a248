#pragma once
// What the engine reaches outside itself, as four narrow ports: the simulator
// link, the aircraft and livery data, parking, and the movement between samples.
// The program installs the real ones (traffic/link_ports.h); tests install doubles.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/geodesy.h"
#include "link/pos_sample.h"
#include "link/sim_events.h"
#include "link/sim_records.h"
#include "link/user_aircraft.h"
#include "liveries/ac_data.h"
#include "liveries/dbase.h"
#include "stands/stand.h"

namespace clv {

struct TrafficEngine;
struct LiveAc;

// The simulator link: its command queues under their lock (simQueueMutex), the
// position double buffer, the run thread's own requests, the inbox of simulator
// events, and the user aircraft's data and report.
class SimLinkPort {
public:
    virtual ~SimLinkPort() = default;

    // The queue lock.
    virtual void lockQueues() = 0;
    virtual bool tryLockQueues() = 0;
    virtual void unlockQueues() = 0;

    // These take the queue lock themselves.
    virtual void queueCreateAc(AcCreateRequest request) = 0;
    virtual void queueClientEvent(const ClientEventCmd& command) = 0;

    // These need the queue lock held by the caller.
    virtual void appendRemovalLocked(std::uint32_t objectId) = 0;
    virtual void appendClientEventLocked(const ClientEventCmd& command) = 0;
    // The fill buffer becomes the send buffer; the former send buffer, emptied,
    // becomes the fill buffer.
    virtual void swapPositionsLocked() = 0;
    // Direct requests; false when the simulator refused the call.
    virtual bool requestAcInRangeLocked(std::uint32_t radiusMeters) = 0;
    virtual bool requestStaticCgLocked(std::uint32_t objectId) = 0;
    virtual bool allLightsToggleLocked(std::uint32_t objectId) = 0;
    // The file at `path` as the simulator's flight plan; also false when the path
    // cannot be put into the simulator's terms, true when the simulator cannot read
    // our files at all (the link says so once; the aircraft flies on without a plan).
    virtual bool setFlightPlanLocked(std::uint32_t objectId, const std::string& path) = 0;
    virtual bool setAiControlsLocked(std::uint32_t objectId, const AiControlsData& controls) = 0;

    // The buffer the run thread appends this tick's position blocks to (run thread only).
    virtual std::vector<AiPositionUpdate>& positionFill() = 0;

    virtual bool simConnectFailed() = 0;
    virtual float frameRate() = 0;
    virtual bool userOnGround() = 0;
    // The common failure path of a refused request (ends the run).
    virtual void reportRequestError() = 0;

    // The flight plan file of an object: its path, or none when it could not be written.
    virtual std::optional<std::string> writeFlightPlan(std::uint32_t objectId, AcCategory category,
                                                       const std::string& origin, const std::string& destination) = 0;
    virtual void deleteFlightPlan(std::uint32_t objectId) = 0;

    // Moves every posted simulator event into `out` (appended).
    virtual void takeSimEvents(std::vector<SimEvent>& out) = 0;

    // A fresh copy of the user aircraft's data is asked for; returns the last one received.
    virtual UserAcData requestUserAcData() = 0;
    // The "Qs121=" report of the user aircraft to RealTraffic.
    virtual void sendQs121(const UserAcData& user) = 0;
};

// Lets std::lock_guard and std::unique_lock hold the port's queue lock.
class QueueLock {
public:
    explicit QueueLock(SimLinkPort& port) : port_(port) {}
    void lock() { port_.lockQueues(); }
    bool try_lock() { return port_.tryLockQueues(); }
    void unlock() { port_.unlockQueues(); }

private:
    SimLinkPort& port_;
};

// Types, registrations and liveries.
class AircraftDataPort {
public:
    virtual ~AircraftDataPort() = default;
    virtual AcCategory category(std::string_view type) = 0;
    virtual bool isValidModel(std::string_view type) = 0;
    virtual std::string reg2Type(std::string_view registration) = 0;
    // The record of the first spelling of the registration that is known.
    virtual std::optional<RegRecord> regRecord(std::string_view registration) = 0;
    virtual std::string_view reg2Title(std::string_view registration) = 0;
    // The identity with the values of its type (radius, category, angles, tick counts).
    virtual AcData acData(const AcIdentity& identity) = 0;
    // Writes the chosen title (empty: none), the cargo and the special-livery marks.
    virtual void matchLivery(AcData& ac) = 0;
    virtual bool isExcludedTitle(std::string_view title) = 0;
    // The simulator refused to create this title: it is never chosen again.
    virtual void liveryNotCreated(const AcData& ac) = 0;
};

// What the placement on a stand at spawn decided.
enum class StandPlacement {
    NotPlaced,  // created where it stands, taxiing
    Placed,     // put on a stand: parked
    Wait,       // the oldest sample is dropped and the gate decides again
    Refused,    // the aircraft may not come: erased from the buffer
};

// Stands and the static parking plan. This base is the state without a park
// airport: no stand, no plan, no elevation; parking installs its own.
class ParkingPort {
public:
    virtual ~ParkingPort() = default;
    // Placement of a live aircraft standing on the ground at spawn.
    virtual StandPlacement placeAtSpawn(TrafficEngine&, LiveAc&) { return StandPlacement::NotPlaced; }
    // The aircraft with this hexid no longer stands on the stand: it is free
    // again unless another aircraft holds it now.
    virtual void freeStand(std::uint32_t /*standId*/, std::uint32_t /*hexid*/) {}
    virtual std::string standName(std::uint32_t /*standId*/) { return {}; }
    // The id of the park airport's stand of this name; 0 when there is none.
    virtual std::uint32_t findStandByName(const std::string& /*name*/) { return 0; }
    // The park airport's stand with this id; nullptr when there is none.
    virtual const Stand* findStand(std::uint32_t /*standId*/) { return nullptr; }
    // A live aircraft was bound parked on this stand: the plan's entries for it go.
    virtual void liveParkedOnStand(std::uint32_t /*standId*/) {}
    // Feet; none while no park airport is set.
    virtual std::optional<double> parkAirportElevation() { return std::nullopt; }
    // The park airport's IATA code; empty while none is set.
    virtual std::string parkAirportIata() { return {}; }
    // Where the park airport lies; none while no park airport is set.
    virtual std::optional<LatLon> parkAirportPosition() { return std::nullopt; }
    virtual bool staticPlanEmpty() { return true; }
    // Places the next static aircraft of the plan (a StaticAc and a static creation request).
    virtual void placeNextStaticAc(TrafficEngine&) {}
    // First start of the process: room in the planner's containers.
    virtual void reserveCapacities() {}
    // End of a run: the park airport, its file, plan, stands and lists are forgotten.
    virtual void resetParking() {}

    // ---- what the movement asks of parking ----
    // A park airport's file is loaded.
    virtual bool parkingActive() { return false; }
    // Nautical miles; none for an unknown stand.
    virtual std::optional<double> standRadiusNm(std::uint32_t /*standId*/) { return std::nullopt; }
    // A taxiing aircraft whose feed ends looks for a stand (`landed`: it came in from a landing).
    virtual void try2Park(TrafficEngine&, LiveAc&, bool /*landed*/) {}
    // The stream of an aircraft driving to its stand ran dry: has it arrived?
    virtual void arriveAtStand(TrafficEngine&, LiveAc&) {}
    // An aircraft leaves for good: its stand may teach a soft option (`forced` unless flying).
    virtual void learnSoftOption(TrafficEngine&, LiveAc&, bool /*forced*/) {}
    // A new sample of an aircraft that is parked or parking: true when it is queued.
    // Without a park airport there is no stand to compare with: it is not.
    virtual bool checkStandSample(TrafficEngine&, LiveAc&, PosSample&) { return false; }
};

// Take-off, flight, approach and landing: the steps the movement hands to the air
// branch. This base flies straight and level-changing from sample to sample, with
// no take-off or landing phases.
class FlightPort {
public:
    virtual ~FlightPort() = default;
    // The step of an airborne aircraft (re-times the second sample).
    virtual void nextPosAir(TrafficEngine& engine, LiveAc& ac);
    // The end of a step in the air: per-tick altitude, heading and attitude steps.
    virtual void airStep(TrafficEngine& engine, LiveAc& ac);
    // Per tick: the flare below 400 ft while landing; the climb-out while taking off.
    virtual void flareStep(TrafficEngine&, LiveAc&) {}
    virtual void climbOutStep(TrafficEngine&, LiveAc&) {}
    // The take-off run becomes the take-off rotation.
    virtual void startTakeOff(TrafficEngine&, LiveAc&) {}
    virtual bool takeOffSpeedReached(TrafficEngine&, const LiveAc&) { return true; }
    virtual bool allAirborneAhead(TrafficEngine&, const LiveAc&) { return true; }
    // A taxiing aircraft whose feed reports take-off speed or flight.
    virtual void prepareTakeOff(TrafficEngine&, LiveAc&) {}
};

// The movement of an active live aircraft between its samples. This base moves
// nothing: a due sample is only consumed, the aircraft holds its position, and
// once fewer than two samples are left it is removed from the simulator; new
// samples are appended as they come. The program installs LiveMovement
// (traffic/live_movement.h).
class MovementPort {
public:
    virtual ~MovementPort() = default;
    // A step when the first sample is due.
    virtual void nextPosMain(TrafficEngine& engine, LiveAc& ac);
    // The per-tick advance of the position block between steps.
    virtual void moveTick(TrafficEngine&, LiveAc&) {}
    // A new sample of an aircraft that has samples already.
    virtual void decodeExisting(TrafficEngine& engine, LiveAc& ac, const PosSample& sample);
};

struct EnginePorts {
    SimLinkPort* sim = nullptr;
    AircraftDataPort* data = nullptr;
    ParkingPort* parking = nullptr;
    MovementPort* movement = nullptr;
    FlightPort* flight = nullptr;  // nullptr: the base
};

}  // namespace clv
