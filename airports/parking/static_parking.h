#pragma once
// Static parked aircraft at the park airport: the stand search, the plan of one
// half-hour, the placing of its entries one by one, the limits of the live
// parked aircraft and the refresh that follows the user aircraft from airport to
// airport. Everything runs on the run thread unless its comment says otherwise.
#include <atomic>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "airports/parking/learned_files.h"
#include "airports/parking/park_state.h"
#include "airports/parking/parking_hooks.h"
#include "core/clock.h"
#include "stands/stand.h"
#include "traffic/traffic_engine.h"

namespace clv {

// One planned static parked aircraft; the plan is taken from the back.
struct ParkPlanEntry {
    std::uint32_t standId = 0;
    std::uint32_t fit = 0;  // half-hours back from now of the window the option was found in
    std::string airline;
    std::string type;
    std::string callsign;
    std::string secondCallsign;
    std::string registration;
    bool stays = false;  // still on the stand in the next half-hour
};

// One live aircraft parked at the park airport, for the planner.
struct LiveParkedEntry {
    std::string callsign;
    std::uint64_t reserved = 0;  // always 0
    std::uint32_t standId = 0;
    std::int32_t minutes = 0;  // parked for
};

// Real options only, soft options only.
inline constexpr std::uint32_t kRealOptions = 1;
inline constexpr std::uint32_t kSoftOptions = 0;

// A live aircraft at most this old in its stand (minutes) stays; Heavy and others.
inline constexpr std::int32_t kMaxParkedMinutesHeavy = 180;
inline constexpr std::int32_t kMaxParkedMinutes = 90;

// The static serial runs 1..9999, then 0.
inline constexpr std::uint32_t kStaticSerialModulo = 10000;

}  // namespace clv

// ---- state ---------------------------------------------------------------------------------
extern std::vector<clv::ParkPlanEntry> parkPlan;       // the plan
extern std::vector<clv::LiveParkedEntry> liveParkedList;  // ascending minutes
// The callsigns the feed brought since the calculation began (the planner's copy).
extern std::set<std::string> plannerCallsigns;
// The file is poor: soft options are learned.
extern bool lowQualityFile;
// The fit the last real and soft pass reached; soft -1 when none ran.
extern std::int32_t lastRealFit;
extern std::int32_t lastSoftFit;
// The static serial of the last static aircraft.
extern std::uint32_t staticSerial;
// The park maximum and its shown percentage, as gf_maxPark left them.
extern std::atomic<std::int32_t> shownMaxPark;
extern std::atomic<std::int32_t> shownMaxParkPercentage;

// ---- stand search --------------------------------------------------------------------------
// Appends to `found` the entries of the window `fit` half-hours before now and marks
// their stands taken; plan entries and static aircraft count as planned.
void lf_searchStands(clv::TrafficEngine& engine, clv::Slot now, std::uint32_t real, std::uint32_t fit,
                     std::vector<clv::ParkPlanEntry>& found);
// A stand for a live aircraft of the soft parking step; the end when none.
std::vector<clv::Stand>::iterator lf_searchFit(const clv::TrafficEngine& engine, clv::Slot now, const clv::LiveAc& ac,
                                               bool mayRetry);
// Gives the aircraft the callsigns that an option of its airline couples.
void lf_searchForCoupledCsAroundThisTime(clv::Slot now, clv::LiveAc& ac);
// Half-hours between the static aircraft's planned slot and now (0 when it lies after).
std::int32_t gf_fitHalfHours(const clv::StaticAc& ac, clv::Slot now);
// Half-hours from a planned slot to now (0 when it lies after now; Sunday lies before Monday).
std::int32_t gf_halfHoursSince(clv::Slot planned, clv::Slot now);
// now moved back by `fit` half-hours (weekday 1 goes back to 7).
clv::Slot gf_slotBefore(clv::Slot now, std::uint32_t fit);

// ---- planning -----------------------------------------------------------------------------
// Reads the park airport's file in one go; "" or the error text.
std::string lf_readParkedFile();
// The same in two steps, so that the ticks go on while the file is loaded on a
// worker: the begin gives the error text of a read that cannot start, "" when it
// is under way; the end gives nothing while the file or its learned file is
// still being loaded (unless asked to wait), else what lf_readParkedFile gives.
std::string lf_beginReadParkedFile();
std::optional<std::string> lf_endReadParkedFile(bool wait);
bool lf_parkedFileReadPending();
// A read under way, or its plan still to be made.
bool gf_parkReadPending();
// Forgets a read under way (the park airport is left).
void lf_dropParkedFileRead();
void lf_planStaticParking(clv::TrafficEngine& engine);
std::int32_t gf_maxPark();
void lf_planParking(clv::TrafficEngine& engine, clv::Slot now, std::int32_t wanted, std::int32_t already);
void lf_planPass(clv::TrafficEngine& engine, clv::Slot now, std::int32_t wanted, std::int32_t already,
                 std::uint32_t real);
bool lf_hourWindows(clv::TrafficEngine& engine, clv::Slot now, std::uint32_t real, std::int32_t wanted,
                    std::vector<clv::ParkPlanEntry>& found);
void lf_shuffleTrim(std::int32_t n, std::vector<clv::ParkPlanEntry>& entries);
void lf_excludeReservedStands();
clv::Slot lf_logDayTime();

// ---- placing --------------------------------------------------------------------------------
void gf_placeNextStaticAc(clv::TrafficEngine& engine);
std::string lf_detcs(const clv::ParkPlanEntry& entry);
std::string lf_markStaticCs(std::string callsign);
// Static aircraft active or being removed; with show, their average fit is shown.
std::int32_t gf_countStaticAc(const clv::TrafficEngine& engine, bool show);

// ---- live parked aircraft --------------------------------------------------------------------
void gf_collectParkedLive(clv::TrafficEngine& engine);
void gf_limitLiveParked(clv::TrafficEngine& engine, std::int32_t extra);
void gf_removeSurplusLiveParked(clv::TrafficEngine& engine, std::int32_t count);
void gf_enforceMaxLive(clv::TrafficEngine& engine);
std::string gf_standName(std::uint32_t standId);
// Callsign2ObjectId.txt afresh: one sorted line per active live aircraft.
void gf_logParkedList(const clv::TrafficEngine& engine);

// ---- the park-airport refresh ----------------------------------------------------------
// The park airport's file is to be read and planned at the next refresh.
extern bool parkFileReload;
// parkingBusy and reservedStand: airports/parking/park_state.h.

void gf_refreshParking(clv::TrafficEngine& engine, bool first);
// Between ticks: when the park airport's file has been loaded, its stands are
// taken over, and planned at the next call; nothing while no read is under way
// or the file is still loading.
void gf_continueParkRead(clv::TrafficEngine& engine);
void gf_clearGroundTraffic(clv::TrafficEngine& engine);
void gf_leaveParkAirport();
void gf_lockParkingControls();
void gf_unlockParkingControls();
void lf_userOnGroundAirport(clv::LatLon position, bool first);
void lf_parkAirportInSight(clv::TrafficEngine& engine, clv::LatLon position);
bool lf_announceParkAirport(const std::string& code);
void lf_showCalculating(bool showMessage);
// The park airport in force, its code (empty: none).
clv::ParkSite gf_parkAirport();
// What the parking panel shows, as the planner last set it.
clv::ParkingFigures gf_parkingFigures();
// Keeps the figures and has the window show them.
void gf_showParkingFigures(const clv::ParkingFigures& figures);
// Everything of the park airport forgotten (the end of a run).
void gf_resetParkAirportState();
