#pragma once
// Putting a live aircraft that stands on the ground at spawn on its stand, and
// clearing a stand of the static aircraft in the way.
#include "stands/stand.h"
#include "traffic/engine_ports.h"
#include "traffic/traffic_engine.h"

namespace clv {
inline constexpr double kSpawnNearParkAirportNm = 5.0;
inline constexpr double kSpawnMaxGroundSpeedKt = 5.0;
inline constexpr double kSpawnMaxDriftNm = 0.018898488120950324;  // 35 m
inline constexpr double kOverlapFactor = 1.1;
inline constexpr double kTryParkHoldingNm = 0.029697624190064796;  // 55 m
inline constexpr double kTryParkMovingNm = 0.010799136069114472;   // 20 m
}  // namespace clv

// Two aircraft on two stands overlap when 1.1 times the sum of their radii
// reaches the distance between the stands.
bool gf_acOverlap(double radiusA, double radiusB, double distanceNm);

// Removes the static aircraft on the stand and the overlapping ones on its
// adjacent stands for the live aircraft that takes it.
void gf_makeWayAtStand(clv::TrafficEngine& engine, const clv::LiveAc& ac, const clv::Stand& stand);

// A live aircraft on the ground at spawn: put on a free stand (parked), or not.
clv::StandPlacement gf_placeAtSpawn(clv::TrafficEngine& engine, clv::LiveAc& ac);

// A taxiing aircraft that stopped or slowed near a stand: the nearest free stand
// that fits (within 55 m when it holds, else 20 m) is cleared of the aircraft in
// its way and the aircraft is driven onto it. A position already tried is not
// tried again until the newest sample moves.
void try2Park(clv::TrafficEngine& engine, clv::LiveAc& ac, bool hold);
