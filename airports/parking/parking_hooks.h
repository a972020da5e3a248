#pragma once
// What the static parking reaches outside itself: the airport reference data and
// the park-airport list, the stand under the user aircraft, the window's parking
// figures, the clocks and the one random draw that does not follow RANDOM. The
// defaults are the program's own; the shell adds the window, tests install doubles.
// Every hook is called on the run thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/geodesy.h"
#include "liveries/ac_data.h"

namespace clv {

// An airport as the refresh and the planner know it.
struct ParkSite {
    std::string code;  // ICAO code; empty: none
    std::string iata;  // the second text
    double lat = 0.0;  // degrees
    double lon = 0.0;
    double alt = 0.0;            // feet
    std::string reservedStand;  // of a park-airport list entry; empty: none
};

// The user aircraft as the refresh sees it.
struct UserAcView {
    LatLon position;
    double heightAboveGround = 0.0;  // feet
    bool onGround = false;
    bool onGroundKnown = false;  // a SIM ON GROUND reply has come
};

// What the parking panel shows of the park airport's planning.
struct ParkingFigures {
    std::string airportName;  // the file's airport_name
    std::string reservedStand;
    bool fileRead = false;
    bool reservedStandShown = false;
    bool softParking = false;
    std::int32_t maxPark = 0;
    std::int32_t maxParkPercentage = 0;
};

struct ParkingHooks {
    // ---- airport reference data and park airports ----
    std::function<std::optional<ParkSite>(const std::string& code)> findAirport;
    // The airport within 5 nm that the user aircraft stands at.
    std::function<std::optional<ParkSite>(LatLon position)> nearestAirport;
    std::function<std::string(const ParkSite& airport)> airportDisplayName;
    std::function<bool(const std::string& code)> apfExists;
    // The file to read; "" when there is none.
    std::function<std::string(const std::string& code)> apfPath;
    // The park-airport list: its first entry; a stable sort by distance from
    // the position; a new first entry (also written to my_park_airports.txt);
    // the first entry's reserved stand (written too).
    std::function<std::optional<ParkSite>()> firstParkAirport;
    std::function<bool()> parkAirportListEmpty;
    std::function<void(LatLon position)> sortParkAirports;
    std::function<void(const ParkSite& entry)> putParkAirportFirst;
    std::function<void(const std::string& stand)> reserveStandOfFirst;
    // The park airport in force (also asked for by other threads).
    std::function<ParkSite()> currentParkAirport;
    std::function<void(const ParkSite& airport)> setCurrentParkAirport;
    // The traffic reader's callsign collection: started, and taken over.
    std::function<void()> startCallsignCollection;
    std::function<std::set<std::string>()> takeLiveCallsigns;
    // The learned file: its pending updates, their reset, and saving it.
    std::function<std::int32_t()> learnedUpdates;
    std::function<void()> resetLearnedUpdates;
    std::function<void()> saveLearnedFile;
    // The feed's reference elevation becomes unset (the file reader sets it).
    std::function<void()> unsetReferenceElevation;

    // ---- the simulator link ----
    std::function<UserAcView()> userAircraft;
    // The stand under the user aircraft as the simulator link last saw it; "" none.
    std::function<std::string()> userStandName;

    // ---- aircraft data ----
    std::function<double(std::string_view type)> halfWingspan;  // nautical miles
    // A livery for a static aircraft on a stand; false when there is none.
    std::function<bool(AcData& ac, std::string_view standName, bool cargoStand)> matchStaticLivery;

    // ---- the window ----
    std::function<void(const ParkingFigures& figures)> showFigures;
    std::function<void(float hours)> showStaticAverageFit;  // -1: none
    std::function<void(float hours)> showLiveAverageFit;
    std::function<void(std::int32_t minutes)> showMinutesToNext;
    std::function<void(bool busy)> showParkingBusy;
    // "# updates": the learned file's pending updates, whenever their count changes.
    std::function<void(std::int32_t updates)> showLearnedUpdates;
    std::function<void()> clearStatusLine;
    // The parking adjustments' lists are emptied (a plan starts afresh).
    std::function<void()> clearAdjustmentLists;
    // The user's own MAX_LIVE, which a park airport's learned file may override.
    std::function<std::int32_t()> savedMaxLive;

    // ---- clocks and draws ----
    std::function<Slot()> now;                    // the traffic clock's point in time
    std::function<std::int64_t()> systemTime100ns;  // the system clock, 100 ns units
    // 0..99: the soft parking search's gates-first draw.
    std::function<std::uint32_t()> drawPercent;
};

}  // namespace clv

// Installs the hooks; every empty one gets its default: the airport reference
// data, the park airports and the park airport in force, their files, the
// traffic reader's callsigns, the learned file, the link's user aircraft, the
// reference data's wing spans and liveries, nothing shown, the traffic clock,
// the system clock and the thread's random engine. Not while a run is on.
void gf_setParkingHooks(clv::ParkingHooks hooks);
// The hooks in force, each callable.
const clv::ParkingHooks& gf_parkingHooks();
