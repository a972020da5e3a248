#pragma once
// A live aircraft arriving at its stand, leaving it, and what a parked cargo
// aircraft teaches its stand.
#include "traffic/traffic_engine.h"

namespace clv {
inline constexpr double kArrivedNm = 0.0010799;  // 2 m
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
