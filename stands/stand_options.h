#pragma once
// The small operations on a stand's option list that the planner, the placement
// of static aircraft and the learning of the live traffic engine share.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "link/ac_identity.h"
#include "stands/stand.h"

// Is a bit of the option's hours set from half-hour `start` down to start - offset
// (not below 0)? When none is and the window reaches back past midnight, `wrapped`
// becomes the number of half-hours before midnight still to test (at most 46),
// else -1. A start of 48 or more is logged and gives false.
bool testRange(const clv::StandOption& option, std::int32_t start, std::int32_t offset, std::int32_t& wrapped);

// A real option (id not 0) for this aircraft: the callsign equals the option's
// callsign or second callsign, or airline and type both equal. Registrations are
// not compared.
bool gf_optMatchesAc(std::string_view callsign, const clv::AcIdentity& aircraft, const clv::StandOption& option);

// Finds or appends the option of an aircraft seen now: 0 when an option with the
// same registration, weekday, callsign and exactly now's half-hour exists (nothing
// changes); otherwise a new option is appended and its id returned. The id is one
// above the largest id in the list (1 for an empty list). With a registration
// record, airline and type come from it (the operator, when set, as airline).
// Throws clv::BitsetPositionError when now's half-hour is not 0..47.
std::uint32_t gf_searchOpts(std::vector<clv::StandOption>& options, const clv::AcIdentity& aircraft, std::uint32_t real,
                            clv::Slot now, std::string callsign, const std::string& registration);

// Records a callsign (one trailing '_' dropped; "" does nothing) in the option
// with this id: as its callsign when it has none, else as its second callsign
// unless it is one of the two already.
void gf_findOptFor(std::vector<clv::StandOption>& options, std::uint32_t id, std::string callsign);

// Appends `count` half-hours, now's first and going back; 47 comes before 0.
void gf_wrappedSlots(std::vector<std::uint32_t>& slots, std::uint32_t count, clv::Slot now);

// Sets every slot of the list (taken from the back, oldest first, until it is
// empty) in the option with this id. False when there is none, or a slot is
// 48 or more (logged).
bool updateOptions(std::vector<clv::StandOption>& options, std::vector<std::uint32_t>& slots, std::uint32_t id);

// For an aircraft that stood across midnight: the slots up to 47 go into the
// earlier day's option, the rest but the newest into the later day's option.
bool updateOptionsWrapped(std::vector<clv::StandOption>& options, std::vector<std::uint32_t>& slots,
                          std::uint32_t earlierId, std::uint32_t laterId);

// gf_wrappedSlots, updateOptionsWrapped, then the callsign into both options.
void gf_fillOptsWrapped(std::vector<clv::StandOption>& options, clv::Slot now, const std::string& callsign,
                        std::uint32_t count, std::uint32_t earlierId, std::uint32_t laterId);
