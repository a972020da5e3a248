#include "airports/parking/park_state.h"

#include <mutex>

std::string reservedStand;
std::atomic<bool> parkingBusy{false};

namespace {

std::mutex g_currentMutex;
clv::Airport g_current;
std::mutex g_removeMutex;
std::function<void(const std::string&)> g_removeAcAtStand;

}  // namespace

clv::Airport gf_currentParkAirport() {
    std::lock_guard lock(g_currentMutex);
    return g_current;
}

std::string gf_currentParkAirportCode() {
    std::lock_guard lock(g_currentMutex);
    return g_current.code;
}

void gf_setCurrentParkAirport(const clv::Airport& airport) {
    std::lock_guard lock(g_currentMutex);
    g_current = airport;
}

void gf_clearCurrentParkAirport() {
    std::lock_guard lock(g_currentMutex);
    g_current = clv::Airport{};
}

void gf_setRemoveAcAtStand(std::function<void(const std::string&)> remove) {
    std::lock_guard lock(g_removeMutex);
    g_removeAcAtStand = std::move(remove);
}

void gf_removeAcAtStandHook(const std::string& standName) {
    std::function<void(const std::string&)> remove;
    {
        std::lock_guard lock(g_removeMutex);
        remove = g_removeAcAtStand;
    }
    if (remove) remove(standName);
}
