#include "airports/parking/parking_hooks.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

#include "airports/parking/airport_data.h"
#include "airports/parking/apf_locate.h"
#include "airports/parking/learned_files.h"
#include "airports/parking/live_callsigns.h"
#include "airports/parking/park_airports.h"
#include "airports/parking/park_state.h"
#include "airports/parking/parking_adjustments.h"
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

clv::ParkSite lf_site(const clv::Airport& a) {
    clv::ParkSite s;
    s.code = a.code;
    s.iata = a.iata;
    s.lat = a.lat;
    s.lon = a.lon;
    s.alt = a.alt;
    return s;
}

clv::Airport lf_airport(const clv::ParkSite& s) { return clv::Airport{s.code, s.iata, s.lat, s.lon, s.alt}; }

clv::ParkSite lf_site(const clv::ParkAirport& e) {
    clv::ParkSite s;
    s.code = e.code;
    s.lat = e.lat;
    s.lon = e.lon;
    s.reservedStand = e.reservedStand;
    return s;
}


template <class F, class D>
void lf_fill(F& hook, D fallback) {
    if (!hook) hook = std::move(fallback);
}

clv::ParkingHooks lf_withDefaults(clv::ParkingHooks h) {
    lf_fill(h.findAirport, [](const std::string& code) -> std::optional<ParkSite> {
        const auto a = gf_findAirport(code);
        if (!a) return std::nullopt;
        return lf_site(*a);
    });
    lf_fill(h.nearestAirport, [](clv::LatLon p) -> std::optional<ParkSite> {
        const auto a = gf_nearestAirport(p);
        if (!a) return std::nullopt;
        return lf_site(*a);
    });
    lf_fill(h.airportDisplayName, [](const ParkSite& a) { return gf_airportDisplayName(lf_airport(a)); });
    lf_fill(h.apfExists, [](const std::string& code) { return gf_apfExists(code); });
    lf_fill(h.apfPath, [](const std::string& code) { return gf_apfPath(code); });
    lf_fill(h.firstParkAirport, []() -> std::optional<ParkSite> {
        std::lock_guard lock(parkAirportsMutex);
        if (parkAirports.empty()) return std::nullopt;
        return lf_site(parkAirports.front());
    });
    lf_fill(h.parkAirportListEmpty, [] {
        std::lock_guard lock(parkAirportsMutex);
        return parkAirports.empty();
    });
    lf_fill(h.sortParkAirports, [](clv::LatLon p) {
        std::lock_guard lock(parkAirportsMutex);
        for (clv::ParkAirport& e : parkAirports) e.distance = gf_distanceNm(p, clv::LatLon{e.lat, e.lon});
        std::stable_sort(parkAirports.begin(), parkAirports.end(),
                         [](const clv::ParkAirport& a, const clv::ParkAirport& b) { return a.distance < b.distance; });
    });
    lf_fill(h.putParkAirportFirst, [](const ParkSite& s) {
        {
            std::lock_guard lock(parkAirportsMutex);
            parkAirports.insert(parkAirports.begin(), clv::ParkAirport{s.code, s.reservedStand, s.lat, s.lon, 0.0});
        }
        gf_writeMyParkAirports();  // takes the lock itself
    });
    lf_fill(h.reserveStandOfFirst, [](const std::string& stand) {
        {
            std::lock_guard lock(parkAirportsMutex);
            if (parkAirports.empty()) return;
            parkAirports.front().reservedStand = stand;
        }
        gf_writeMyParkAirports();
    });
    lf_fill(h.currentParkAirport, [] { return lf_site(gf_currentParkAirport()); });
    lf_fill(h.setCurrentParkAirport, [](const ParkSite& a) {
        if (a.code.empty()) {
            gf_clearCurrentParkAirport();
        } else {
            gf_setCurrentParkAirport(lf_airport(a));
        }
    });
    lf_fill(h.startCallsignCollection, [] {});
    lf_fill(h.takeLiveCallsigns, [] {
        lf_takeLiveCallsigns();
        return liveCallsigns;
    });
    lf_fill(h.learnedUpdates, [] { return learningUpdateCount.load(); });
    lf_fill(h.resetLearnedUpdates, [] { gf_resetLearnedUpdates(); });
    lf_fill(h.saveLearnedFile, [] { gf_saveApf(); });
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
    lf_fill(h.showLearnedUpdates, [](std::int32_t) {});
    lf_fill(h.clearStatusLine, [] { gf_uiPort().setStatusLine(std::string(), false); });
    lf_fill(h.clearAdjustmentLists, [] { gf_clearAdjustmentLists(); });
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

void gf_setParkingHooks(clv::ParkingHooks hooks) { lf_hooks() = lf_withDefaults(std::move(hooks)); }

const clv::ParkingHooks& gf_parkingHooks() { return lf_hooks(); }
