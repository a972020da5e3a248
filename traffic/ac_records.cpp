#include "traffic/ac_records.h"

#include <utility>

namespace clv {

namespace {

constexpr std::array<std::string_view, 5> kSimStateNames{"buffer", "adding2sim", "active", "liveryrespawn",
                                                         "removingfromsim"};
constexpr std::array<std::string_view, 8> kMoveStateNames{"pushing_back", "pushed_back", "taxi",   "take_off",
                                                          "flying",       "parking",     "parked", "birth"};

}  // namespace

std::string_view simStateName(AcSimState state) {
    const auto i = static_cast<std::size_t>(state);
    return i < kSimStateNames.size() ? kSimStateNames[i] : std::string_view("?");
}

std::string_view moveStateName(AcMoveState state) {
    const auto i = static_cast<std::size_t>(state);
    return i < kMoveStateNames.size() ? kMoveStateNames[i] : std::string_view("?");
}

LiveAc::LiveAc(const PosSample& first, AcData&& data, double timestamp)
    : AcData(std::move(data)), samples{first}, timeOfNewestSample(timestamp) {}

StaticAc::StaticAc(AcData&& data, std::uint32_t stand, double lat, double lon, double hdg, bool cargo)
    : AcData(std::move(data)), latitude(lat), longitude(lon), heading(hdg), standId(stand), cargoStand(cargo) {}

void gf_setMoveState(LiveAc& ac, AcMoveState state) {
    if (ac.moveState == state) return;
    ac.previousMoveState = ac.moveState;
    ac.moveState = state;
}

bool gf_endsWithUnderscore(std::string_view callsign) { return !callsign.empty() && callsign.back() == '_'; }

}  // namespace clv
