#pragma once
// A live aircraft arriving at its stand, leaving it, and what a parked cargo
// aircraft teaches its stand.
#include "traffic/traffic_engine.h"

namespace clv {
inline constexpr double kArrivedNm = 0.0010799;  // 2 m
inline constexpr double kSoftLearnRangeNm = 5.0;
inline constexpr double kSoftLearnMaxHeightFt = 2500.0;
// Around a parked aircraft's stand: its feed stays within 85 m, moves away in
// steps of 3 m, and is gone beyond 200 m.
inline constexpr double kNearStandNm = 85.0 / kMetresPerNm;
inline constexpr double kStandStepNm = 3.0 / kMetresPerNm;
inline constexpr double kFarFromStandNm = 200.0 / kMetresPerNm;
inline constexpr std::int64_t kMinDriveTicks = 100;
inline constexpr std::int64_t kDriveHoldTicks = 50;
// The ticks within which a landed aircraft that moves again was towed, not flown
// out: Heavy 1 h, Large 25 min, Buzjets 15 min.
inline constexpr std::int64_t kTowedHeavyTicks = 360000;
inline constexpr std::int64_t kTowedLargeTicks = 150000;
inline constexpr std::int64_t kTowedBuzjetsTicks = 90000;
}  // namespace clv

// Drives the aircraft from its last sample to the point at ground value B
// (slower when the turn onto the stand heading, radians, takes longer) and holds
// it there.
void drive2Stand(clv::LiveAc& ac, clv::LatLon point, double standHeading);

// The stream of an aircraft driving to its stand ran dry: it parks there (the
// stand is marked occupied), taxies on when still more than 2 m away, or is
// removed when another aircraft got the stand first.
void lf_arriveAtStand(clv::TrafficEngine& engine, clv::LiveAc& ac);

// A new sample of an aircraft parked or driving to its stand: true when it is to
// be queued. Samples around the stand are dropped; samples moving steadily away
// make the aircraft leave; one far away ends the drive or the aircraft.
bool lf_checkStandSample(clv::TrafficEngine& engine, clv::LiveAc& ac, clv::PosSample& s);

// A cargo aircraft on a stand not marked cargo marks it.
void lf_learnCargoStand(clv::LiveAc& ac);

// A parked aircraft leaves its stand: its week-long hold ends now (a landed
// aircraft that stood only briefly was towed), the real option learns the
// leaving and the stand is free again.
void lf_leaveParked(clv::LiveAc& ac);

// An aircraft that stopped or takes off where no stand was known teaches a soft
// option (only with LEARN_SOFT on, at a park airport of a low-quality file).
void lf_learnSoftOption(const clv::TrafficEngine& engine, const clv::LiveAc& ac, bool forced);
