#include "link/sim_hooks.h"

#include <mutex>

namespace {

std::mutex g_hooksMutex;
clv::SimLinkHooks g_hooks;

clv::SimLinkHooks lf_defaults() {
    clv::SimLinkHooks h;
    h.reserveUserStand = [] {};
    h.standNameAtPosition = [](double, double) { return std::string(); };
    h.halfWingspan = [](const std::string&) { return 0.0; };
    h.maxHalfWingspan = [] { return 0.0; };
    h.type2Category = [](const std::string&) { return std::uint32_t{0}; };
    return h;
}

}  // namespace

void gf_setSimLinkHooks(const clv::SimLinkHooks& hooks) {
    clv::SimLinkHooks h = lf_defaults();
    if (hooks.reserveUserStand) h.reserveUserStand = hooks.reserveUserStand;
    if (hooks.standNameAtPosition) h.standNameAtPosition = hooks.standNameAtPosition;
    if (hooks.halfWingspan) h.halfWingspan = hooks.halfWingspan;
    if (hooks.maxHalfWingspan) h.maxHalfWingspan = hooks.maxHalfWingspan;
    if (hooks.type2Category) h.type2Category = hooks.type2Category;
    std::lock_guard lock(g_hooksMutex);
    g_hooks = std::move(h);
}

clv::SimLinkHooks gf_simLinkHooks() {
    std::lock_guard lock(g_hooksMutex);
    if (!g_hooks.reserveUserStand) g_hooks = lf_defaults();
    return g_hooks;
}
