#pragma once
// The movement of live aircraft between their samples: the step when a sample is
// due, the re-timing of the next one, the extension of a stream that ran dry, the
// intake of new samples of an aircraft that moves, and everything on the ground
// (push back, pulling out, taxi legs, turns and curves), and the flight: take-off,
// climb-out, flight, approach, flare and landing (LiveFlight, the engine's FlightPort).
#include <array>
#include <cstdint>

#include "core/geodesy.h"
#include "traffic/traffic_engine.h"

namespace clv {

// The program's movement port.
class LiveMovement : public MovementPort {
public:
    void nextPosMain(TrafficEngine& engine, LiveAc& ac) override;
    void moveTick(TrafficEngine& engine, LiveAc& ac) override;
    void decodeExisting(TrafficEngine& engine, LiveAc& ac, const PosSample& sample) override;
};

// The program's flight port.
class LiveFlight : public FlightPort {
public:
    void nextPosAir(TrafficEngine& engine, LiveAc& ac) override;
    void airStep(TrafficEngine& engine, LiveAc& ac) override;
    void flareStep(TrafficEngine& engine, LiveAc& ac) override;
    void climbOutStep(TrafficEngine& engine, LiveAc& ac) override;
    void startTakeOff(TrafficEngine& engine, LiveAc& ac) override;
    bool takeOffSpeedReached(TrafficEngine& engine, const LiveAc& ac) override;
    bool allAirborneAhead(TrafficEngine& engine, const LiveAc& ac) override;
    void prepareTakeOff(TrafficEngine& engine, LiveAc& ac) override;
};

// A quadratic curve point: the position and heading at parameter t. False (and
// nothing written) when the curve is not set, or t is not a number or lies outside
// the curve's parameter range.
bool gf_bezierPoint(const GroundCurve& curve, LatLon& point, double& heading, double t);

// Metres north of one degree of latitude in curve geometry.
inline constexpr double kCurveMetresPerDegree = 111132.95;
// Ticks per knot and nautical mile: one knot covers one nautical mile in this many ticks.
inline constexpr double kTicksPerKnotNm = 360000.0;
// A parked aircraft whose stream ran dry holds on a sample due this much later (one week).
inline constexpr std::uint32_t kParkedHoldTicks = 60480000;
// One hold sample on the ground lasts this long.
inline constexpr std::uint32_t kGroundHoldTicks = 300;
// The fewest ticks a leg gets.
inline constexpr std::int64_t kMinLegTicks = 25;
// The feed's own speed over a leg counts up to twice the reported speeds, at least
// up to this; beyond it the positions jumped.
inline constexpr double kFeedSpeedBoundKnots = 30.0;
inline constexpr double kFeedSpeedBoundFactor = 2.0;
// The largest curve parameter.
inline constexpr double kCurveParameterEnd = 0.999999;

}  // namespace clv

// ---- the update and movement steps ------------------------------------------------------
void nextPosMain(clv::TrafficEngine& engine, clv::LiveAc& ac);
void nextPos(clv::TrafficEngine& engine, clv::LiveAc& ac);
// Knots of the current leg (first to second sample), at least 1 when both report 0.
double lf_legSpeed(const clv::LiveAc& ac);
// The speed the feed's own positions and times show for the leg to the second
// sample (before it is re-timed), bounded for position jumps; 0 when not known.
double lf_feedLegSpeed(const clv::LiveAc& ac);
// Sets the second sample's due tick to `ticks` from now, within what the feed allows.
void lf_retimeNext(clv::LiveAc& ac, std::int64_t ticks);
// Ticks to cover the current leg at `knots`, at least 25.
std::int64_t lf_legTicks(const clv::LiveAc& ac, double knots);
// A new phase begins: max advance 3000, max delay 3000 (5000 on a take-off run).
void lf_startPhaseSlack(clv::LiveAc& ac);
// Max advance and max delay shrink by a step, not below 1000.
void lf_shrinkPhaseSlack(clv::LiveAc& ac);
// The stream holds fewer than two samples: true when samples were added.
bool lf_extendStream(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_addExtrapolatedSample(clv::LiveAc& ac, std::int32_t count);

// ---- new samples of a moving aircraft -----------------------------------------------------
void decodeExisting(clv::TrafficEngine& engine, clv::LiveAc& ac, clv::PosSample& s);
bool lf_acceptMovingSample(const clv::LiveAc& ac, clv::PosSample& s);
bool checkExtendingSituations(clv::LiveAc& ac, const clv::PosSample& s);
bool checkNewPosDuringLanding(clv::LiveAc& ac, clv::PosSample& s);
void removeSmallStop(clv::LiveAc& ac, const clv::PosSample& s);
void checkStops(clv::LiveAc& ac, std::size_t n, const clv::PosSample& s);

// ---- on the ground --------------------------------------------------------------------------
// A client event to the aircraft's object; the throttle and flaps stages, sent
// only when they change (a rotorcraft keeps full throttle and has no flaps).
void gf_queueAcEvent(clv::TrafficEngine& e, const clv::LiveAc& ac, std::uint32_t eventId, std::uint32_t data);
void gf_setThrottleStage(clv::TrafficEngine& e, clv::LiveAc& ac, std::uint32_t stage);
void gf_setFlapsStage(clv::TrafficEngine& e, clv::LiveAc& ac, std::uint32_t stage);

void nextPosGround(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_startPushback(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_pullOut(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_startCurve(clv::LiveAc& ac);
// Radians, -pi..pi: the turn at the end of the current leg.
double lf_nextLegTurn(const clv::LiveAc& ac);
void lf_splitOnSpeedChange(clv::LiveAc& ac);
void lf_insertMidSample(clv::LiveAc& ac);
void lf_turnAndRetime(clv::LiveAc& ac);
// The next sample is one the feed's position jumped to: a taxiing aircraft stands
// until the jump is due and then leaves the simulator once, to be created again
// there; any other drives to it. True when it was taken out for that.
bool lf_takeGroundJump(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_moveTick(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_groundStep(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_rollOutStep(clv::TrafficEngine& engine, clv::LiveAc& ac);

// ---- take-off, flight, approach and landing ---------------------------------------------
// Per category; each throws std::out_of_range for a category outside Light..Rotorcraft.
double gf_categoryTakeOffSpeed(clv::AcCategory category);          // knots
double gf_categoryMaxBankDegrees(clv::AcCategory category);        // degrees
double gf_categoryMaxBankChangeDegrees(clv::AcCategory category);  // degrees per tick
double gf_categoryMaxPitchChangeDegrees(clv::AcCategory category); // degrees per tick

void nextPosAir(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_airStep(clv::TrafficEngine& engine, clv::LiveAc& ac);
// The bank step towards the bank of a turn (radians) over `ticks`.
void lf_bankStep(clv::LiveAc& ac, double turn, double ticks);
bool lf_takeOffSpeedReached(const clv::LiveAc& ac);
bool lf_allAirborneAhead(const clv::LiveAc& ac);
void lf_prepareTakeOff(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_startTakeOff(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_climbOutStep(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_cruiseConfig(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_approachConfig(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_finalConfig(clv::TrafficEngine& engine, clv::LiveAc& ac);
void lf_flareStep(clv::TrafficEngine& engine, clv::LiveAc& ac);
// Feet per minute of a descent to touch-down, from the samples and the QNH.
double lf_landingDescentRate(const clv::LiveAc& ac);
// The altitude steps over `ticks` (the ticks left of the current leg).
void lf_climbToNext(clv::LiveAc& ac, double ticks);
void lf_airAltitudeStep(clv::LiveAc& ac, double ticks);
void lf_groundAltitudeStep(clv::TrafficEngine& engine, clv::LiveAc& ac, double ticks);
bool lf_skipToAirborne(clv::LiveAc& ac, std::size_t k, double& ticks);

// ---- the bounds of the waiting states ---------------------------------------------------------
// A creation handed to the simulator and not bound, or a removal not acknowledged,
// within this many ticks gives the record up.
inline constexpr std::uint32_t kSimStateBoundTicks = 6000;
// True when the record was given up (marked erase); an object the simulator made
// for a creation given up is removed.
bool lf_simStateExpired(clv::TrafficEngine& engine, clv::LiveAc& ac);

// The seven lights (nav, beacon, landing, taxi, strobes, logo, cabin) queued in one
// hold of the queue lock.
void gf_queueLightSet(clv::TrafficEngine& engine, std::uint32_t objectId, const std::array<std::uint32_t, 7>& values);

// The absolute difference of two headings (radians) in degrees, 0..180.
double gf_headingDiffDegrees(double a, double b);
