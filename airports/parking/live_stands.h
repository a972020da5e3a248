#pragma once
// Stands for live aircraft: finding a free stand that fits, the stand at a
// position, marking stands taken, and learning what live aircraft do at stands
// into the stands' options.
#include <cstdint>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/geodesy.h"
#include "stands/stand.h"
#include "traffic/ac_records.h"

namespace clv {
inline constexpr double kStandAtPositionNm = 0.029697624190064796;  // 55 m
inline constexpr double kRadiusToleranceNm = 0.0009719222462203025;  // 1.8 m
inline constexpr double kTooSmallNearNm = 0.010799136069114472;      // 20 m
inline constexpr double kSecondChoiceNm = 0.0458963282937365;        // 85 m
inline constexpr double kLearnedRadiusMarginNm = 0.0005399568034557236;  // 1 m
inline constexpr std::uint32_t kMaxWidenHalfHours = 5;
}  // namespace clv

// The first stand of this name, or the end of the stand list.
std::vector<clv::Stand>::iterator gf_findStandByName(const std::string& name);

// Takes the stand and blocks the stands adjacent to it.
void gf_markStandTaken(clv::Stand& stand);

// The run thread calls this whenever it empties or refills the stand list: the
// snapshot other threads ask is renewed and the position cache is dropped, so no
// answer of an old list survives.
void gf_standListChanged();

// The name of the nearest stand within 55 m, "" for none or while the user
// aircraft is not on the ground. Any thread: it reads a locked snapshot of the
// stand names and positions, never the stand list itself.
std::string gf_standNameAtPosition(double latitude, double longitude);

// The nearest free stand within `rangeNm` that fits the aircraft (or, with
// `secondChoice`, one within 85 m whose options name it), else the end. A stand
// a little too small but within 20 m is taken and learns the aircraft's radius.
std::vector<clv::Stand>::iterator gf_findFreeStand(clv::LatLon position, const clv::LiveAc& aircraft, double rangeNm,
                                                   bool secondChoice);

// Learns that the aircraft stands on the stand now: a new real option or its
// half-hour added to the option of today (widened back to its last report).
// True when an option was added or widened. Errors are logged and give false.
bool lf_addRealParkPosOption(std::uint32_t standId, const clv::LiveAc& aircraft, bool widen, clv::Slot now,
                             bool leaving);
// The same for an aircraft the soft parking step placed.
bool lf_addSoftParkPosOption(std::uint32_t standId, const clv::LiveAc& aircraft, bool widen, clv::Slot now);

// Widens an option by the half-hours (at most 5) since the record's time.
void lf_extendLearnedOption(clv::Slot now, clv::Stand& stand, std::uint32_t optionId, clv::LearnRecord& record,
                            const clv::LiveAc& aircraft, std::uint32_t real);
