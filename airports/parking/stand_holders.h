#pragma once
// Who gives way when a new live aircraft wants a stand another live aircraft
// holds, and the list of live aircraft whose stand option was learned lately.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"

namespace clv {

// What happens when a new aircraft (N) meets the holder (X) of its stand.
enum class HolderRule {
    SameCallsign,      // X has N's callsign: X is removed
    NewIsCoupled,      // N's callsign minus its last character is X's: N is refused
    HolderIsGhost,     // N's callsign is X's minus its last character: X is removed
    HolderUnderscore,  // X's callsign ends with '_' and N's does not: X is removed
    NewUnderscore,     // N's callsign ends with '_' and X's does not: N is refused
    HolderDeparting,   // X carries the departure mark: N is refused
    Otherwise,         // X is removed
};

// The holder's stand goes to the new aircraft (else the new one is refused).
inline bool gf_holderGivesWay(HolderRule rule) {
    return rule == HolderRule::SameCallsign || rule == HolderRule::HolderIsGhost ||
           rule == HolderRule::HolderUnderscore || rule == HolderRule::Otherwise;
}

struct LearnedOptionEntry {
    std::uint32_t hexid = 0;
    Slot learned;
};

inline constexpr std::int32_t kLearnedOptionSpacing = 3;  // half-hours

}  // namespace clv

// The first of the rules that applies, in order.
clv::HolderRule gf_holderRule(std::string_view newCallsign, std::string_view holderCallsign, bool holderDeparting);

// Live aircraft whose stand option was learned, with the point in time; run thread.
extern std::vector<clv::LearnedOptionEntry> learnedOptionList;

// Enters the aircraft's learning at `now`. An aircraft already listed is refused
// (false) while fewer than 3 half-hours have passed since its stored half-hour,
// counted forward round the day, unless `force`; else its time becomes now's.
bool gf_updateLearnedOption(std::vector<clv::LearnedOptionEntry>& list, std::uint32_t hexid, clv::Slot now,
                            bool force);
