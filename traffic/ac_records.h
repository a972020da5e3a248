#pragma once
// The engine's aircraft records: one live aircraft of the feed (LiveAc), one static
// parked aircraft (StaticAc), their simulator and movement states, and the
// throttle and flaps values the engine sends.
#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <string_view>

#include "core/recycling_allocator.h"
#include "link/pos_sample.h"
#include "link/sim_records.h"
#include "liveries/ac_data.h"

namespace clv {

enum class AcSimState : std::uint32_t {
    Buffer = 0,           // not in the simulator
    Adding2Sim = 1,       // creation requested
    Active = 2,           // in the simulator, moving or parked
    LiveryRespawn = 3,    // being removed, to come back (another livery, or where its feed jumped)
    RemovingFromSim = 4,  // removal requested
};

enum class AcMoveState : std::uint32_t {
    PushingBack = 0,
    PushedBack = 1,
    Taxi = 2,
    TakeOff = 3,
    Flying = 4,
    Parking = 5,
    Parked = 6,
    Birth = 7,  // a new live aircraft before its first move
};

// The names log lines use; "?" outside the enumeration.
std::string_view simStateName(AcSimState state);
std::string_view moveStateName(AcMoveState state);

// THROTTLE_SET and FLAPS_SET data by stage; the stage after the last means "none sent yet".
inline constexpr std::array<std::uint32_t, 5> kThrottleValues{0, 4914, 8191, 11468, 16383};
inline constexpr std::uint32_t kNoThrottleStage = 5;
// A rotorcraft runs at this stage whatever the others get.
inline constexpr std::uint32_t kRotorcraftThrottleStage = 4;
inline constexpr std::array<std::uint32_t, 4> kFlapsValues{0, 3072, 10240, 16383};
inline constexpr std::uint32_t kNoFlapsStage = 4;

// A quadratic curve of a turn on the ground: start, end and control point are NaN
// while no curve is set.
struct GroundCurve {
    static constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();
    double originLatitude = 0.0;
    double originLongitude = 0.0;
    double start = kUnset;
    double endNorth = kUnset;  // metres
    double endEast = kUnset;
    double end = kUnset;
    double controlEast = kUnset;
    double controlNorth = kUnset;

    bool isSet() const { return !std::isnan(start); }
};

// A ground line of the feed as the jump rule remembers it: where, since when the
// feed has reported that position (stale lines repeat it), and its speed.
struct FeedGroundLine {
    bool known = false;
    double latitude = 0.0;  // degrees
    double longitude = 0.0;
    double since = 0.0;  // seconds of the feed's clock
    double time = 0.0;   // of the newest line at this position
    double knots = 0.0;
};

// One live aircraft of the feed.
struct LiveAc : AcData {
    std::uint32_t objectId = 0;  // 0 while it has no simulator object
    double standLatitude = 0.0;  // degrees, the stand it stands on or drives to
    double standLongitude = 0.0;
    double standHeading = 0.0;   // radians
    std::uint64_t parkedAt = 0;  // Slot::toBits of the point in time it was bound parked
    std::uint32_t standId = 0;   // 0: none
    AcSimState simState = AcSimState::Buffer;
    std::uint32_t throttleStage = kNoThrottleStage;
    std::uint32_t flapsStage = kNoFlapsStage;
    bool cargoStand = false;
    bool removalPending = false;      // carried out once the object is active
    bool eraseFromBuffer = false;     // dropped at the next compaction; never reached the simulator
    bool erase = false;               // dropped at the next compaction
    // Bounds on the two waiting states: the tick at which the creation went to the
    // simulator (creationSent) or the removal was asked for.
    bool creationSent = false;
    std::uint32_t simStateSince = 0;
    // The object the simulator made for its creation, known before the binding; a
    // creation given up takes it out of the simulator.
    std::uint32_t assignedObjectId = 0;
    AiPositionData simPosition;       // the block last sent to the simulator
    // Oldest first; its blocks are recycled, so the tick does not reach the heap.
    std::deque<PosSample, RecyclingAllocator<PosSample>> samples;
    double timeOfNewestSample = 0.0;  // the feed's time stamp of the newest sample, seconds

    // ---- movement working values, first group ----
    double lastCheckLatitude = 0.0;  // position at the last static collision check
    double lastCheckLongitude = 0.0;
    std::int64_t timeAtStand = 0;     // system clock, 100 ns units
    std::int32_t extensionCount = 0;  // samples still to add to a dry stream; -1 used up
    std::uint32_t holdingSince = 0;   // tick
    bool atStandChecked = false;
    bool holding = false;
    double latitudeStep = 0.0;  // degrees per tick
    double longitudeStep = 0.0;
    double pitchStep = 0.0;  // radians per tick
    double bankStep = 0.0;
    double headingStep = 0.0;
    double altitudeStep = 0.0;   // feet per tick
    double verticalSpeed = 0.0;  // feet per minute; the block gets it / 60
    double trueAirspeed = 0.0;   // knots; negative while pushing back
    GroundCurve curve;
    double curveParameter = 0.0;
    double curveParameterStep = 0.0;
    double curveAngle = 0.0;  // degrees
    PosSample alternativePushBackEnd;
    double lastTriedParkLatitude = 0.0;
    double lastTriedParkLongitude = 0.0;
    std::int32_t maxAdvance = 1000;  // ticks a sample may come earlier than the feed's due tick
    std::int32_t maxDelay = 1000;    // ticks it may come later
    // The feed's due tick of the first sample (the one last reached), before re-timing:
    // with the second's it gives the feed's own time for the leg. 0: the first sample
    // is where the engine put the aircraft (on the ground the leg then has until the
    // second is due).
    std::uint32_t firstFeedDue = 0;
    // Position jumps on the ground, judged by the feed's own spacing: its newest
    // ground line taken, and the line before a jump while a line back near it would
    // make the jump a spike (its time is the jump's; with the lines taken since).
    FeedGroundLine lastGroundLine;
    FeedGroundLine jumpAnchor;
    std::uint32_t linesSinceJump = 0;

    AcMoveState moveState = AcMoveState::Birth;
    AcMoveState previousMoveState = AcMoveState::Birth;
    bool departureMark = false;
    bool onGround = false;  // bound with its newest sample on the ground, or touched down
    bool flightPlanGiven = false;
    bool proximityMark = false;  // came too close to the user aircraft while buffered

    // ---- movement working values, second group ----
    std::int32_t rotationCountdown = 1;
    std::int32_t pushBackCountdown = 0;
    std::int32_t movesAwayFromStand = 0;
    // The heading the aircraft steers by (radians): the bearing from the first to the
    // second sample; set at spawn on the ground, 0 in the air.
    double targetHeading = 0.0;
    double heightAboveGround = 2500.0;  // feet, as the simulator last reported it
    double heightOverLandingElevation = 0.0;
    double touchDownHeading = 0.0;
    double nearestAfterPushBack = 0.0;  // nautical miles
    double firstStandDistance = 0.0;
    double lastStandDistance = 0.0;
    double turnInPlaceAngle = 0.0;  // degrees
    double headingOverride = 0.0;   // radians, used when created again after a livery respawn
    bool hasHeadingOverride = false;
    bool tailToTheLeft = false;
    bool sideChosen = false;
    double landingElevation = 0.0;
    bool hasLandingElevation = false;
    std::uint32_t flarePhase = 0;
    bool landing = false;
    bool landed = false;
    bool towed = false;
    bool goAround = false;
    bool takeOffRun = false;
    bool cruiseSet = false;
    bool approachLightsSet = false;
    bool deRotating = false;
    bool rollingOut = false;
    bool leavingStand = false;
    bool turningInPlace = false;

    // A new live aircraft in the buffer: its first sample, its data (moved in) and
    // the feed's time stamp of that sample.
    LiveAc(const PosSample& first, AcData&& data, double timestamp);
};

// One static parked aircraft.
struct StaticAc : AcData {
    std::uint32_t objectId = 0;
    double latitude = 0.0;  // degrees, its place
    double longitude = 0.0;
    double heading = 0.0;  // radians, as the stand holds it
    std::uint64_t parkedAt = 0;
    std::uint32_t standId = 0;
    AcSimState simState = AcSimState::Buffer;
    std::uint32_t throttleStage = kNoThrottleStage;
    std::uint32_t flapsStage = kNoFlapsStage;
    bool cargoStand = false;
    bool removalPending = false;
    bool eraseFromBuffer = false;
    bool erase = false;

    StaticAc(AcData&& data, std::uint32_t standId, double latitude, double longitude, double heading, bool cargoStand);
};

// A change of the move state keeps the old one as the previous state; setting the
// state the aircraft already has changes nothing.
void gf_setMoveState(LiveAc& ac, AcMoveState state);

// Whether a callsign ends with "_" (the mark of a ghost).
bool gf_endsWithUnderscore(std::string_view callsign);

}  // namespace clv
