#include "airports/parking_hooks.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

#include "core/parameters.h"
#include "core/random.h"
#include "core/run_state.h"
#include "core/ui_port.h"
#include "link/sim_client.h"
#include "link/traffic_receiver.h"
#include "liveries/dbase_queries.h"
#include "liveries/livery_match.h"

namespace {

using clv::ParkSite;

// Until the airport reference data and the park-airport list are installed, the
// list and the park airport in force are kept here.
std::mutex g_defaultsMutex;
std::vector<ParkSite> g_defaultList;
ParkSite g_defaultCurrent;

template <class F, class D>
void lf_fill(F& hook, D fallback) {
    if (!hook) hook = std::move(fallback);
}

clv::ParkingHooks lf_withDefaults(clv::ParkingHooks h) {
    lf_fill(h.findAirport, [](const std::string&) { return std::optional<ParkSite>(); });
    lf_fill(h.nearestAirport, [](clv::LatLon) { return std::optional<ParkSite>(); });
    lf_fill(h.airportDisplayName, [](const ParkSite& a) {
        if (a.code.empty()) return std::string("?");
        return a.iata.empty() ? a.code : a.code + " (" + a.iata + ")";
    });
    lf_fill(h.apfExists, [](const std::string&) { return false; });
    lf_fill(h.apfPath, [](const std::string&) { return std::string(); });
    lf_fill(h.firstParkAirport, [] {
        std::lock_guard lock(g_defaultsMutex);
        return g_defaultList.empty() ? std::optional<ParkSite>() : std::optional<ParkSite>(g_defaultList.front());
    });
    lf_fill(h.parkAirportListEmpty, [] {
        std::lock_guard lock(g_defaultsMutex);
        return g_defaultList.empty();
    });
    lf_fill(h.sortParkAirports, [](clv::LatLon p) {
        std::lock_guard lock(g_defaultsMutex);
        std::stable_sort(g_defaultList.begin(), g_defaultList.end(), [p](const ParkSite& a, const ParkSite& b) {
            return gf_distanceNm(p, clv::LatLon{a.lat, a.lon}) < gf_distanceNm(p, clv::LatLon{b.lat, b.lon});
        });
    });
    lf_fill(h.putParkAirportFirst, [](const ParkSite& entry) {
        std::lock_guard lock(g_defaultsMutex);
        g_defaultList.insert(g_defaultList.begin(), entry);
    });
    lf_fill(h.reserveStandOfFirst, [](const std::string& stand) {
        std::lock_guard lock(g_defaultsMutex);
        if (!g_defaultList.empty()) g_defaultList.front().reservedStand = stand;
    });
    lf_fill(h.currentParkAirport, [] {
        std::lock_guard lock(g_defaultsMutex);
        return g_defaultCurrent;
    });
    lf_fill(h.setCurrentParkAirport, [](const ParkSite& a) {
        std::lock_guard lock(g_defaultsMutex);
        g_defaultCurrent = a;
    });
    lf_fill(h.startCallsignCollection, [] {});
    lf_fill(h.takeLiveCallsigns, [] { return std::set<std::string>(); });
    lf_fill(h.learnedUpdates, [] { return std::int32_t{0}; });
    lf_fill(h.resetLearnedUpdates, [] {});
    lf_fill(h.saveLearnedFile, [] {});
    lf_fill(h.unsetReferenceElevation, [] { trafficReceiver.clearRefElevation(); });
    lf_fill(h.userAircraft, [] {
        const clv::UserAcData user = gf_lastUserAcData();
        clv::UserAcView view;
        view.position = clv::LatLon{user.latitude, user.longitude};
        view.heightAboveGround = user.altAboveGround;
        view.onGround = userOnGround.load();
        view.onGroundKnown = userOnGroundKnown.load();
        return view;
    });
    lf_fill(h.userStandName, [] { return gf_userStandName(); });
    lf_fill(h.halfWingspan, [](std::string_view type) { return gf_wingspan(type); });
    lf_fill(h.matchStaticLivery, [](clv::AcData& ac, std::string_view stand, bool cargo) {
        return gf_matchStaticLivery(ac, stand, cargo);
    });
    lf_fill(h.showFigures, [](const clv::ParkingFigures&) {});
    lf_fill(h.showStaticAverageFit, [](float) {});
    lf_fill(h.showLiveAverageFit, [](float) {});
    lf_fill(h.showMinutesToNext, [](std::int32_t) {});
    lf_fill(h.showParkingBusy, [](bool) {});
    lf_fill(h.clearStatusLine, [] { gf_uiPort().setStatusLine(std::string(), false); });
    lf_fill(h.clearAdjustmentLists, [] {});
    lf_fill(h.savedMaxLive, [] { return maxLiveInUse.load(); });
    lf_fill(h.now, [] { return currentSlot.load(); });
    lf_fill(h.systemTime100ns, [] {
        using namespace std::chrono;
        return static_cast<std::int64_t>(duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() /
                                         100);
    });
    lf_fill(h.drawPercent, [] { return static_cast<std::uint32_t>(gf_threadRandom()() % 100u); });
    return h;
}

clv::ParkingHooks& lf_hooks() {
    static clv::ParkingHooks hooks = lf_withDefaults({});
    return hooks;
}

}  // namespace

void gf_setParkingHooks(clv::ParkingHooks hooks) {
    {
        std::lock_guard lock(g_defaultsMutex);
        g_defaultList.clear();
        g_defaultCurrent = {};
    }
    lf_hooks() = lf_withDefaults(std::move(hooks));
}

const clv::ParkingHooks& gf_parkingHooks() { return lf_hooks(); }
