#pragma once
// A live aircraft arriving at its stand, leaving it, and what a parked cargo
// aircraft teaches its stand.
#include "traffic/traffic_engine.h"

namespace clv {
inline constexpr double kArrivedNm = 0.0010799;  // 2 m
inline constexpr double kSoftLearnRangeNm = 5.0;
inline constexpr double kSoftLearnMaxHeightFt = 2500.0;
}  // namespace clv

// The stream of an aircraft driving to its stand ran dry: it parks there (the
// stand is marked occupied), taxies on when still more than 2 m away, or is
// removed when another aircraft got the stand first.
void lf_arriveAtStand(clv::TrafficEngine& engine, clv::LiveAc& ac);

// A cargo aircraft on a stand not marked cargo marks it.
void lf_learnCargoStand(clv::LiveAc& ac);

// A parked aircraft leaves its stand: the real option learns the leaving and
// the stand is free again.
void lf_leaveParked(clv::LiveAc& ac);

// An aircraft that stopped or takes off where no stand was known teaches a soft
// option (only with LEARN_SOFT on, at a park airport of a low-quality file).
void lf_learnSoftOption(const clv::TrafficEngine& engine, const clv::LiveAc& ac, bool forced);
