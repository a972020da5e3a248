#pragma once
// What the simulator link needs of the parking planner and the livery data, which
// are built on top of it: they install their functions here at start-up. Until
// then every hook does nothing and answers "unknown" (an empty text, 0).
#include <cstdint>
#include <functional>
#include <string>

namespace clv {

struct SimLinkHooks {
    // gf_reserveUserStand: the stand under a parked user aircraft becomes reserved.
    // Called on the SimConnect thread.
    std::function<void()> reserveUserStand;
    // gf_standNameAtPosition (degrees): the stand under the user aircraft, "" for
    // none. Called on the SimConnect thread for every user aircraft reply.
    std::function<std::string(double latitude, double longitude)> standNameAtPosition;
    // gf_wingspan: half the wing span of an ICAO type in nautical miles, 0 unknown.
    std::function<double(const std::string& type)> halfWingspan;
    // The largest half wing span of all types, nautical miles.
    std::function<double()> maxHalfWingspan;
    // gf_type2Category: the AcCategory number of a type (0 Light .. 5 Rotorcraft).
    std::function<std::uint32_t(const std::string& type)> type2Category;
};

}  // namespace clv

// Installs the hooks; an empty function keeps the no-op default for that hook.
void gf_setSimLinkHooks(const clv::SimLinkHooks& hooks);

// The installed hooks, each callable (defaults filled in).
clv::SimLinkHooks gf_simLinkHooks();
