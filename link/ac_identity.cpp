#include "link/ac_identity.h"

#include <fmt/format.h>

#include "core/text.h"

namespace clv {

namespace {

bool lf_isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool lf_isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// The most characters a valid callsign has.
constexpr std::size_t kMaxCallsignLength = 8;
constexpr std::string_view kNoCallsign = "@@@@@@@@";

}  // namespace

std::string AcIdentity::airlTypeKey(std::string_view airline, std::string_view type) {
    return fmt::format("{:3} {:4}", airline, type);
}

bool AcIdentity::sameAirlType(const AcIdentity& other) const {
    return airline == other.airline && type == other.type;
}

std::string AcIdentity::routeLabel() const {
    if (origin.empty() && destination.empty()) return std::string(8, ' ');
    return fmt::format("{:3}->{:3}", origin, destination);
}

std::string AcIdentity::shortLabel() const {
    return fmt::format("{} {:8} {}", paddedCallsign(), registration, routeLabel());
}

std::string AcIdentity::logLabel() const { return fmt::format("{} {}", shortLabel(), airlTypeKey()); }

std::string AcIdentity::fullLabel() const {
    return fmt::format("{} {} {}", paddedCallsign(), registration, airlTypeKey());
}

std::string AcIdentity::paddedCallsign() const { return fmt::format("{:8}", callsign); }

std::string AcIdentity::registrationKey() const { return airlTypeKey() + " " + registration; }

bool AcIdentity::validCallsign() const {
    return !callsign.empty() && callsign != kNoCallsign && callsign.size() <= kMaxCallsignLength;
}

bool AcIdentity::airlineFromCallsign() {
    if (callsign.size() < 4) return false;
    if (!lf_isAsciiLetter(callsign[0]) || !lf_isAsciiLetter(callsign[1]) || !lf_isAsciiLetter(callsign[2]) ||
        !lf_isAsciiDigit(callsign[3]))
        return false;
    airline = {gf_upper(callsign[0]), gf_upper(callsign[1]), gf_upper(callsign[2])};
    return true;
}

}  // namespace clv
