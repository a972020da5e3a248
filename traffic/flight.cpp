// Take-off, flight, approach and landing: the take-off run and rotation, the
// climb-out, pitch and bank from the feed's vertical speed and turns, the events of
// each phase, the decision to land near the park airport (or to go around), and
// the flare down to the simulator's touch-down report.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <numeric>
#include <stdexcept>
#include <unordered_map>

#include "core/geodesy.h"
#include "core/log.h"
#include "link/realtraffic_state.h"
#include "link/sim_ids.h"
#include "traffic/live_movement.h"

namespace {

using namespace clv;

template <typename T>
using CategoryTable = std::unordered_map<std::uint32_t, T>;

// Keyed by the category's number, so a number outside the enumeration is refused.
template <typename T>
T lf_lookup(const CategoryTable<T>& table, AcCategory category) {
    const auto it = table.find(static_cast<std::uint32_t>(category));
    if (it == table.end()) throw std::out_of_range("invalid unordered_map<K, T> key");
    return it->second;
}

// Columns: Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft.
const CategoryTable<double>& lf_takeOffSpeed() {
    static const CategoryTable<double> table{{0, 90.0}, {1, 110.0}, {2, 140.0}, {3, 150.0}, {4, 220.0}, {5, 0.0}};
    return table;
}
const CategoryTable<double>& lf_maxBank() {
    static const CategoryTable<double> table{{0, 40.0}, {1, 35.0}, {2, 30.0}, {3, 20.0}, {4, 90.0}, {5, 75.0}};
    return table;
}
const CategoryTable<double>& lf_maxBankChange() {
    static const CategoryTable<double> table{{0, 0.035}, {1, 0.0275}, {2, 0.02},
                                             {3, 0.015}, {4, 0.1},    {5, 0.06}};
    return table;
}
const CategoryTable<double>& lf_maxPitchChange() {
    static const CategoryTable<double> table{{0, 0.01}, {1, 0.0085}, {2, 0.0075}, {3, 0.005}, {4, 0.03}, {5, 0.03}};
    return table;
}

constexpr double kQnhStandard = static_cast<double>(::kStandardQnh);
constexpr double kFtPerMinPerTick = 6000.0;  // feet per minute to feet per tick
constexpr double kLowDescentFpm = -600.0;    // the last 100 ft
constexpr double kLowDescentAglFeet = 100.0;
constexpr double kSteepestNoQnhFpm = -601.0;  // a landing descent is never shallower
constexpr double kFpmPerHpa = 6.0;
constexpr double kTakeOffClimbFpm = 601.0;
constexpr double kClimbingSumFpm = 100.0;
constexpr std::size_t kFirstSkip = 3;
constexpr std::size_t kLastSkip = 10;

constexpr double kBasePitchDegrees = -3.0;
constexpr double kPitchDegreesPer600Fpm = 2.2;
constexpr double kPitchClimbCapFpm = 2400.0;
constexpr double kPitchDescentCapFpm = -3000.0;

constexpr double kAdsbTurnAglFeet = 1000.0;
constexpr double kAdsbTurnLandingAglFeet = 2000.0;
constexpr double kCruiseFeet = 10000.0;
constexpr double kFinalAglLarge = 2050.0;  // Buzjets, Large, Heavy
constexpr double kFinalAglSmall = 625.0;   // Light, HighPerf, Rotorcraft
constexpr double kGearUpAglFeet = 2400.0;
constexpr double kApproachFlapsAglFeet = 2000.0;
constexpr double kApproachLevelFpm = 100.0;
constexpr double kDescendingFpm = -250.0;
constexpr double kClimbingFpm = 400.0;
constexpr double kGoAroundFpm = 600.0;
constexpr double kLandingRangeNm = 10.0;
constexpr double kLowAltitudeAglFeet = 1000.0;
constexpr double kLowAltitudeClimb = 0.2;  // feet per tick
constexpr double kSameSpeedLandingKnots = 100.0;

constexpr double kFlareHeightDegrees = -4.0;
constexpr std::int32_t kGearUpCountdown = -300;
constexpr double kClimbOutAglFeet = 800.0;

constexpr std::uint32_t kSpoilersOut = 16383;
constexpr std::int32_t kPhaseSlackTicks = 3000;
constexpr std::int32_t kTakeOffRunDelay = 5000;

// Flare phases: the height over CG at which each begins, its altitude step and vertical speed.
struct FlarePhase {
    double cgPlusFeet;
    double altitudeStep;
    double verticalSpeed;
};
constexpr std::array<FlarePhase, 4> kFlare{{{30.0, -0.1, -601.0},
                                            {20.0, -0.075, -450.0},
                                            {10.0, -0.05, -300.0},
                                            {3.0, -0.025, -150.0}}};

constexpr std::array<std::uint32_t, 7> kBelowCruiseLights{1, 1, 1, 1, 1, 1, 1};
constexpr std::array<std::uint32_t, 7> kCruiseLights{1, 1, 0, 0, 0, 0, 1};
constexpr std::array<std::uint32_t, 7> kTakeOffLights{1, 1, 1, 1, 1, 1, 0};

bool lf_isRotorcraft(const LiveAc& ac) { return ac.category == AcCategory::Rotorcraft; }


bool lf_flapsSet(const LiveAc& ac) { return ac.flapsStage != 0 && ac.flapsStage != kNoFlapsStage; }

void lf_flapsUp(TrafficEngine& e, LiveAc& ac) {
    if (lf_flapsSet(ac)) gf_setFlapsStage(e, ac, 0);
}

void lf_gear(TrafficEngine& e, const LiveAc& ac, std::uint32_t down) {
    if (!lf_isRotorcraft(ac)) gf_queueAcEvent(e, ac, GEAR_SET, down);
}

void lf_spoilers(TrafficEngine& e, const LiveAc& ac, std::uint32_t value) {
    if (!lf_isRotorcraft(ac)) gf_queueAcEvent(e, ac, SPOILERS_SET, value);
}

double lf_ticksLeft(const LiveAc& ac) {
    return static_cast<double>(
        std::max<std::int64_t>(kMinLegTicks, std::int64_t{ac.samples.at(1).dueTick} - gf_tickNow()));
}

double lf_qnh() { return static_cast<double>(currentQnh.load()); }

bool lf_withinLandingRange(TrafficEngine& e, const LiveAc& ac) {
    const auto airport = e.parking().parkAirportPosition();
    if (!airport) return false;
    return gf_distanceNm(LatLon{ac.simPosition.latitude, ac.simPosition.longitude}, *airport) <= kLandingRangeNm;
}

void lf_shrinkSlack(LiveAc& ac) { lf_shrinkPhaseSlack(ac); }

// The elevation of the ground under the aircraft, from the simulator's last ground
// report: the aircraft lands where it is, which need not be the park airport. Before
// any report (height 0 in the air) the park airport's elevation is the best guess.
double lf_groundElevation(const LiveAc& ac, double parkElevation) {
    if (ac.heightAboveGround <= 0.0) return parkElevation;
    return ac.simPosition.altitude - ac.heightAboveGround;
}

// Feet per minute a category can descend in the air.
const CategoryTable<double>& lf_maxDescent() {
    static const CategoryTable<double> table{{0, 2000.0}, {1, 6000.0}, {2, 6000.0},
                                             {3, 6000.0}, {4, 10000.0}, {5, 3000.0}};
    return table;
}

// Feed altitudes are noisy (single spikes of a thousand feet and more, 25 ft steps
// that read as 750 ft/min over a 2 s leg); the feed's own vertical rate is not. A
// step in the air keeps within the vertical rates of the leg's two samples,
// widened by this much and always allowing level flight, and within what the
// category can climb (its largest altitude step) and descend. What a leg does not
// fly the next one catches up.
constexpr double kFeedRateMarginFpm = 500.0;

double lf_plausibleStep(const LiveAc& ac, double step) {
    const double v0 = ac.samples.at(0).verticalSpeed;
    const double v1 = ac.samples.at(1).verticalSpeed;
    const double lowest =
        std::max(std::min(std::min(v0, v1) - kFeedRateMarginFpm, 0.0), -lf_lookup(lf_maxDescent(), ac.category));
    const double highest =
        std::min(std::max(std::max(v0, v1) + kFeedRateMarginFpm, 0.0), ac.groundValueA * kFtPerMinPerTick);
    return std::clamp(step, lowest / kFtPerMinPerTick, std::max(lowest, highest) / kFtPerMinPerTick);
}

// The lat/lon steps towards the second sample over the ticks left of the leg.
void lf_stepsToSecond(LiveAc& ac) {
    const PosSample& s1 = ac.samples.at(1);
    const double n = lf_ticksLeft(ac);
    ac.latitudeStep = (s1.latitude - ac.simPosition.latitude) / n;
    ac.longitudeStep = (s1.longitude - ac.simPosition.longitude) / n;
}

}  // namespace

double gf_categoryTakeOffSpeed(clv::AcCategory category) { return lf_lookup(lf_takeOffSpeed(), category); }
double gf_categoryMaxBankDegrees(clv::AcCategory category) { return lf_lookup(lf_maxBank(), category); }
double gf_categoryMaxBankChangeDegrees(clv::AcCategory category) { return lf_lookup(lf_maxBankChange(), category); }
double gf_categoryMaxPitchChangeDegrees(clv::AcCategory category) { return lf_lookup(lf_maxPitchChange(), category); }

namespace clv {

void LiveFlight::nextPosAir(TrafficEngine& engine, LiveAc& ac) { ::nextPosAir(engine, ac); }
void LiveFlight::airStep(TrafficEngine& engine, LiveAc& ac) { lf_airStep(engine, ac); }
void LiveFlight::flareStep(TrafficEngine& engine, LiveAc& ac) { lf_flareStep(engine, ac); }
void LiveFlight::climbOutStep(TrafficEngine& engine, LiveAc& ac) { lf_climbOutStep(engine, ac); }
void LiveFlight::startTakeOff(TrafficEngine& engine, LiveAc& ac) { lf_startTakeOff(engine, ac); }
bool LiveFlight::takeOffSpeedReached(TrafficEngine&, const LiveAc& ac) { return lf_takeOffSpeedReached(ac); }
bool LiveFlight::allAirborneAhead(TrafficEngine&, const LiveAc& ac) { return lf_allAirborneAhead(ac); }
void LiveFlight::prepareTakeOff(TrafficEngine& engine, LiveAc& ac) { lf_prepareTakeOff(engine, ac); }

}  // namespace clv

void nextPosAir(clv::TrafficEngine&, clv::LiveAc& ac) {
    using namespace clv;
    try {
        const PosSample& s0 = ac.samples.at(0);
        const PosSample& s1 = ac.samples.at(1);
        if (!s1.holdMark) {
            if (ac.landing && !s1.airborne) {
                const double knots = s0.groundSpeed > 0.0 ? s0.groundSpeed : kSameSpeedLandingKnots;
                lf_retimeNext(ac, lf_legTicks(ac, knots));
            } else {
                lf_retimeNext(ac, lf_legTicks(ac, lf_legSpeed(ac)));
            }
        } else if (lf_isRotorcraft(ac)) {
            lf_turnAndRetime(ac);
        }
    } catch (const std::exception& x) {
        gf_logMarked("{}: {}, {}, sz:{}", "nextPosAir", x.what(), ac.logLabel(), ac.samples.size());
        throw;
    }
}

void lf_airStep(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using namespace clv;
    double n = lf_ticksLeft(ac);
    if (ac.moveState != AcMoveState::TakeOff && ac.moveState != AcMoveState::Flying)
        gf_setMoveState(ac, AcMoveState::Flying);
    {
        const PosSample& s1 = ac.samples.at(1);
        ac.verticalSpeed = s1.verticalSpeed;
        // A line without true airspeed: the ground speed is the nearest value there is.
        ac.trueAirspeed = s1.trueAirspeed > 0.0 ? s1.trueAirspeed : s1.groundSpeed;
    }

    // Vertical: the altitude step by the phases of the two samples, and the pitch.
    if (ac.flarePhase == 0) {
        const bool firstAir = ac.samples.at(0).airborne;
        const bool secondAir = ac.samples.at(1).airborne;
        if (!firstAir && !secondAir) {
            lf_groundAltitudeStep(engine, ac, n);
        } else if (!firstAir) {
            lf_climbToNext(ac, n);
        } else if (!secondAir) {
            // Touch-down ahead.
            const auto elevation = engine.parking().parkAirportElevation();
            const double qnh = lf_qnh();
            if (qnh > kQnhStandard || !elevation) {
                const double vs = qnh >= kQnhStandard + 1.0 ? lf_landingDescentRate(ac) : kSteepestNoQnhFpm;
                ac.samples.at(1).verticalSpeed = vs;
                ac.verticalSpeed = vs;
                ac.altitudeStep = vs / kFtPerMinPerTick;
            } else {
                ac.altitudeStep = (lf_groundElevation(ac, *elevation) - ac.simPosition.altitude) / n;
            }
            lf_gear(engine, ac, 1);
        } else {
            lf_airAltitudeStep(ac, n);
        }
        // What the aircraft flies is what it reports, and what its nose shows: an
        // extension after a climb flies level, and so does its pitch.
        ac.verticalSpeed = ac.altitudeStep * kFtPerMinPerTick;
        if (ac.moveState != AcMoveState::TakeOff) {
            double v = ac.verticalSpeed;
            v = v > 0.0 ? std::min(v, kPitchClimbCapFpm) : std::max(v, kPitchDescentCapFpm) / 2.0;
            const double target = (kBasePitchDegrees - v / 600.0 * kPitchDegreesPer600Fpm) * kDegToRad;
            const double limit = gf_categoryMaxPitchChangeDegrees(ac.category) * kDegToRad;
            ac.pitchStep = std::clamp((target - ac.simPosition.pitch) / n, -limit, limit);
        }
    }
    // A skip to an airborne sample may have shortened the leg.
    n = lf_ticksLeft(ac);

    // Turn: the feed's own heading and roll high enough up, else the leg's turn.
    const PosSample& s1 = ac.samples.at(1);
    const double agl = ac.heightAboveGround;
    double turn = 0.0;
    if (s1.hasRoll && s1.hasHeading && s1.headingFromAdsb &&
        agl > (ac.landing ? kAdsbTurnLandingAglFeet : kAdsbTurnAglFeet)) {
        turn = gf_headingDiff(ac.simPosition.trueHeading, s1.heading);
    } else {
        turn = lf_nextLegTurn(ac);
    }
    ac.headingStep = turn / n;
    if (s1.hasRoll) {
        ac.bankStep = (s1.roll - ac.simPosition.bank) / n;
    } else {
        lf_bankStep(ac, turn, n);
    }

    // Configuration by altitude and height above ground.
    if (ac.samples.at(0).altitude < kCruiseFeet) {
        if (!ac.approachLightsSet) {
            ac.cruiseSet = false;  // re-armed for the next climb above
            gf_queueLightSet(engine, ac.objectId, kBelowCruiseLights);
            ac.approachLightsSet = true;
        }
        const bool large = ac.category == AcCategory::Buzjets || ac.category == AcCategory::Large ||
                           ac.category == AcCategory::Heavy;
        if (agl > (large ? kFinalAglLarge : kFinalAglSmall)) {
            lf_approachConfig(engine, ac);
        } else {
            lf_finalConfig(engine, ac);
        }
    } else {
        lf_cruiseConfig(engine, ac);
    }
}

void lf_bankStep(clv::LiveAc& ac, double turn, double ticks) {
    const double maxBank = gf_categoryMaxBankDegrees(ac.category) * clv::kDegToRad;
    const double maxChange = gf_categoryMaxBankChangeDegrees(ac.category) * clv::kDegToRad;
    const double wanted = std::clamp(turn, -maxBank, maxBank);
    ac.bankStep = std::clamp((-wanted - ac.simPosition.bank) / ticks, -maxChange, maxChange);
}

bool lf_takeOffSpeedReached(const clv::LiveAc& ac) {
    const double speed = gf_categoryTakeOffSpeed(ac.category);
    return std::all_of(ac.samples.begin() + (ac.samples.empty() ? 0 : 1), ac.samples.end(),
                       [speed](const clv::PosSample& s) { return s.groundSpeed >= speed; });
}

bool lf_allAirborneAhead(const clv::LiveAc& ac) {
    return std::all_of(ac.samples.begin() + (ac.samples.empty() ? 0 : 1), ac.samples.end(),
                       [](const clv::PosSample& s) { return s.airborne; });
}

void lf_prepareTakeOff(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    if (ac.towed) gf_logMarked("{} towed aircraft takes-off?", ac.logLabel());
    ac.takeOffRun = true;
    gf_setThrottleStage(engine, ac, 0);
    lf_spoilers(engine, ac, 0);
    gf_setFlapsStage(engine, ac, 1);
    ac.landing = false;
    ac.landed = false;
    ac.goAround = false;
    gf_queueLightSet(engine, ac.objectId, kTakeOffLights);
    ac.maxDelay = kTakeOffRunDelay;
    ac.maxAdvance = kPhaseSlackTicks;
    if (!ac.airline.empty()) engine.parking().learnSoftOption(engine, ac, true);
}

void lf_startTakeOff(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using namespace clv;
    const std::int32_t ticks = std::max(1, ac.rotationTicks);
    ac.rotationCountdown = ticks;
    ac.simPosition.bank = 0.0;
    ac.bankStep = 0.0;
    ac.pitchStep = (ac.rotationPitch - ac.simPosition.pitch) / ticks;
    if (!ac.takeOffRun) lf_prepareTakeOff(engine, ac);
    gf_setMoveState(ac, AcMoveState::TakeOff);
    ac.headingStep = 0.0;
    ac.curve = GroundCurve{};
    if (ac.rollingOut) {
        // A touch-and-go.
        ac.rollingOut = false;
        ac.landing = false;
        ac.landed = false;
        gf_setThrottleStage(engine, ac, 4);
        lf_spoilers(engine, ac, kSpoilersOut);
        gf_setFlapsStage(engine, ac, 1);
    }
}

void lf_climbOutStep(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using namespace clv;
    AiPositionData& p = ac.simPosition;
    const std::int32_t c = --ac.rotationCountdown;
    if (c >= 1) {
        ac.onGround = false;
        if (p.pitch > ac.rotationPitch) p.pitch = std::max(p.pitch + ac.pitchStep, ac.rotationPitch);
        return;
    }
    p.bank += ac.bankStep;
    const double climbRate = (ac.climbPitch - ac.rotationPitch) / std::max(1, ac.climbPitchTicks);
    if (p.pitch > ac.climbPitch) p.pitch = std::max(p.pitch + climbRate, ac.climbPitch);
    if (c == 0) return;
    if (c > -100) {
        p.altitude += ac.altitudeStep / 10.0;
    } else if (c > -200) {
        p.altitude += ac.altitudeStep / 5.0;
    } else if (c > kGearUpCountdown) {
        p.altitude += ac.altitudeStep / 2.0;
    } else if (c == kGearUpCountdown) {
        lf_gear(engine, ac, 0);
        p.altitude += ac.altitudeStep;
    } else {
        p.altitude += ac.altitudeStep;
        if (p.pitch <= ac.climbPitch) {
            ac.pitchStep = 0.0;
            if (ac.heightAboveGround >= kClimbOutAglFeet) {
                gf_setThrottleStage(engine, ac, 3);
                gf_setMoveState(ac, AcMoveState::Flying);
                ac.rotationCountdown = 1;
            }
        }
    }
}

void lf_cruiseConfig(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    if (ac.cruiseSet) return;
    gf_queueLightSet(engine, ac.objectId, kCruiseLights);
    gf_setThrottleStage(engine, ac, 3);
    lf_gear(engine, ac, 0);
    lf_flapsUp(engine, ac);
    ac.cruiseSet = true;
    ac.approachLightsSet = false;  // the lights come on again below cruise
}

void lf_approachConfig(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    lf_shrinkSlack(ac);
    gf_queueAcEvent(engine, ac, clv::CABIN_LIGHTS_SET, 1);
    ac.takeOffRun = false;
    ac.landing = false;
    const double v = ac.samples.at(0).verticalSpeed;
    if (v <= kDescendingFpm && ac.throttleStage == 3) {
        gf_setThrottleStage(engine, ac, 2);
    } else if (v > kClimbingFpm && ac.throttleStage == 4) {
        gf_setThrottleStage(engine, ac, 3);
    }
    const double agl = ac.heightAboveGround;
    if (agl >= kGearUpAglFeet) {
        lf_gear(engine, ac, 0);
        lf_flapsUp(engine, ac);
    } else if (v <= kApproachLevelFpm) {
        // An aircraft created in the air was never sent flaps: they are up.
        const std::uint32_t flaps = ac.flapsStage == kNoFlapsStage ? 0 : ac.flapsStage;
        if (flaps == 0) {
            gf_setFlapsStage(engine, ac, 1);
        } else if (flaps == 1 && agl < kApproachFlapsAglFeet) {
            gf_setFlapsStage(engine, ac, 2);
        }
    }
}

void lf_finalConfig(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    gf_queueAcEvent(engine, ac, clv::CABIN_LIGHTS_SET, 0);
    const double v = ac.samples.at(0).verticalSpeed;
    const bool inRange = lf_withinLandingRange(engine, ac);
    if (v <= kDescendingFpm) {
        if (ac.landing || !inRange) return;
        gf_setThrottleStage(engine, ac, 1);
        gf_setFlapsStage(engine, ac, 3);
        lf_gear(engine, ac, 1);
        engine.arrivalsList.push_back(ac.hexid);
        ac.landing = true;
        ac.goAround = false;
        ac.standLatitude = 0.0;
        ac.standLongitude = 0.0;
        ac.standId = 0;
        ac.parkedAt = 0;
        lf_startPhaseSlack(ac);
        ac.rotationCountdown = 1;
        return;
    }
    if ((v > kGoAroundFpm || (ac.landing && !inRange)) && !ac.goAround) {
        lf_shrinkSlack(ac);
        gf_setThrottleStage(engine, ac, 4);
        lf_gear(engine, ac, 0);
        ac.goAround = true;
        ac.landing = false;
        lf_flapsUp(engine, ac);
        ac.flarePhase = 0;
    }
}

void lf_flareStep(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using namespace clv;
    const double agl = ac.heightAboveGround;
    const double cg = ac.staticCgHeight;
    auto enter = [&](std::uint32_t phase) {
        const FlarePhase& f = kFlare[phase];
        ac.altitudeStep = f.altitudeStep;
        if (!ac.samples.empty()) ac.samples.front().verticalSpeed = f.verticalSpeed;
        ac.verticalSpeed = f.verticalSpeed;
        ac.flarePhase = phase + 1;
    };
    switch (ac.flarePhase) {
        case 0: {
            double height = agl;
            if (const auto elevation = engine.parking().parkAirportElevation()) {
                ac.landingElevation = lf_groundElevation(ac, *elevation);
                ac.hasLandingElevation = true;
                height = ac.simPosition.altitude - ac.landingElevation;
            }
            ac.heightOverLandingElevation = height;
            if (cg + kFlare[0].cgPlusFeet >= std::min(agl, height)) {
                enter(0);
                ac.pitchStep = (kFlareHeightDegrees * kDegToRad - ac.simPosition.pitch) / std::max(1, ac.flareTicks);
            }
            return;
        }
        case 1:
            if (cg + kFlare[1].cgPlusFeet >= agl) {
                enter(1);
                ac.hasLandingElevation = false;
            }
            return;
        case 2:
            if (cg + kFlare[2].cgPlusFeet >= agl) {
                ac.hasLandingElevation = false;
                gf_setThrottleStage(engine, ac, 0);
                enter(2);
            }
            return;
        case 3:
            if (cg + kFlare[3].cgPlusFeet >= agl) enter(3);
            return;
        default: return;
    }
}

double lf_landingDescentRate(const clv::LiveAc& ac) {
    if (ac.heightAboveGround <= kLowDescentAglFeet) return kLowDescentFpm;
    const double mean = (ac.samples.at(0).verticalSpeed + ac.samples.at(1).verticalSpeed) / 2.0;
    return std::min(mean - (lf_qnh() - kQnhStandard) * kFpmPerHpa, kSteepestNoQnhFpm);
}

void lf_climbToNext(clv::LiveAc& ac, double ticks) {
    const double second = ac.samples.at(1).altitude;
    if (second <= ac.simPosition.altitude) {
        ac.altitudeStep = 0.0;
        return;
    }
    ac.altitudeStep = std::min((second - ac.simPosition.altitude) / ticks, ac.groundValueA);
}

void lf_airAltitudeStep(clv::LiveAc& ac, double ticks) {
    const clv::PosSample& s0 = ac.samples.at(0);
    clv::PosSample& s1 = ac.samples.at(1);
    const double step = lf_plausibleStep(ac, (s1.altitude - ac.simPosition.altitude) / ticks);
    if (!ac.landing) {
        if (ac.heightAboveGround > kLowAltitudeAglFeet) {
            ac.altitudeStep = std::min(step, ac.groundValueA);
        } else if (step > 0.0) {
            // Low and climbing: at least a steady climb away from the ground.
            ac.altitudeStep = std::min(ac.groundValueA, std::max(step, kLowAltitudeClimb));
        } else {
            // Low and descending or level: as the feed goes (never a climb against it).
            ac.altitudeStep = step;
        }
        return;
    }
    if (s0.altitude == s1.altitude && ac.heightAboveGround <= kLowAltitudeAglFeet &&
        s0.verticalSpeed + s1.verticalSpeed <= kClimbingSumFpm) {
        const double vs = lf_landingDescentRate(ac);
        s1.verticalSpeed = vs;
        ac.verticalSpeed = vs;
        ac.altitudeStep = vs / kFtPerMinPerTick;
    } else {
        ac.altitudeStep = step;
    }
}

void lf_groundAltitudeStep(clv::TrafficEngine& engine, clv::LiveAc& ac, double ticks) {
    const double sum = std::accumulate(ac.samples.begin(), ac.samples.end(), 0.0,
                                       [](double a, const clv::PosSample& s) { return a + s.verticalSpeed; });
    if (!ac.landing && sum > kClimbingSumFpm) {
        const std::size_t last = std::min(ac.samples.size() - 1, kLastSkip);
        for (std::size_t k = kFirstSkip; k <= last; ++k) {
            if (lf_skipToAirborne(ac, k, ticks)) {
                lf_gear(engine, ac, 1);
                return;
            }
        }
        clv::PosSample& s1 = ac.samples.at(1);
        s1.verticalSpeed = std::max(s1.verticalSpeed, kTakeOffClimbFpm);
        ac.verticalSpeed = s1.verticalSpeed;
        ac.altitudeStep = s1.verticalSpeed / kFtPerMinPerTick;
        lf_gear(engine, ac, 1);
        return;
    }
    const double vs = lf_landingDescentRate(ac);
    ac.samples.at(1).verticalSpeed = vs;
    ac.verticalSpeed = vs;
    ac.altitudeStep = vs / kFtPerMinPerTick;
    lf_gear(engine, ac, 1);
}

bool lf_skipToAirborne(clv::LiveAc& ac, std::size_t k, double& ticks) {
    if (ac.samples.size() < k || !ac.samples[k - 1].airborne) return false;
    ac.samples.erase(ac.samples.begin() + 1, ac.samples.begin() + static_cast<std::ptrdiff_t>(k - 1));
    lf_retimeNext(ac, lf_legTicks(ac, lf_legSpeed(ac)));
    // The leg now leads to another sample: the steps follow it.
    lf_stepsToSecond(ac);
    ticks = lf_ticksLeft(ac);
    lf_climbToNext(ac, ticks);
    return true;
}
