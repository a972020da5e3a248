#include "airports/parking/stand_holders.h"

#include <algorithm>

#include "stands/half_hours.h"

std::vector<clv::LearnedOptionEntry> learnedOptionList;

namespace {

std::string_view lf_withoutLast(std::string_view callsign) {
    return callsign.empty() ? callsign : callsign.substr(0, callsign.size() - 1);
}

bool lf_endsWithUnderscore(std::string_view callsign) { return !callsign.empty() && callsign.back() == '_'; }

}  // namespace

clv::HolderRule gf_holderRule(std::string_view newCallsign, std::string_view holderCallsign, bool holderDeparting) {
    using clv::HolderRule;
    if (holderCallsign == newCallsign) return HolderRule::SameCallsign;
    // An empty callsign has no last character to drop: it couples with nothing.
    if (!newCallsign.empty() && lf_withoutLast(newCallsign) == holderCallsign) return HolderRule::NewIsCoupled;
    if (!holderCallsign.empty() && newCallsign == lf_withoutLast(holderCallsign)) return HolderRule::HolderIsGhost;
    const bool holderMark = lf_endsWithUnderscore(holderCallsign);
    const bool newMark = lf_endsWithUnderscore(newCallsign);
    if (holderMark && !newMark) return HolderRule::HolderUnderscore;
    if (newMark && !holderMark) return HolderRule::NewUnderscore;
    if (holderDeparting) return HolderRule::HolderDeparting;
    return HolderRule::Otherwise;
}

bool gf_updateLearnedOption(std::vector<clv::LearnedOptionEntry>& list, std::uint32_t hexid, clv::Slot now,
                            bool force) {
    auto it = std::find_if(list.begin(), list.end(), [hexid](const clv::LearnedOptionEntry& e) { return e.hexid == hexid; });
    if (it == list.end()) {
        list.push_back({hexid, now});
        return true;
    }
    constexpr auto kDay = static_cast<std::int32_t>(clv::kHalfHoursInDay);
    const std::int32_t passed = ((now.halfHour - it->learned.halfHour) % kDay + kDay) % kDay;
    if (!force && passed < clv::kLearnedOptionSpacing) return false;
    it->learned = now;
    return true;
}
