// Live aircraft parked at the park airport: their list for the planner, the
// limits on their number and time, MAX_LIVE, stand names for log lines and the
// listing of the live aircraft's object ids.
#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "airports/parking/static_parking.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"

std::vector<clv::LiveParkedEntry> liveParkedList;

namespace {

constexpr std::int64_t kTicksPerMinute = 600'000'000;  // 100 ns units
constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::size_t kParkedTimesRoom = 128;
constexpr std::int32_t kWeekdaySunday = 7;

struct ParkedTime {
    std::uint32_t hexid = 0;
    std::int64_t seconds = 0;
};

std::vector<ParkedTime> lf_collectParkedTimes(const clv::TrafficEngine& engine) {
    const std::int64_t now = gf_parkingHooks().systemTime100ns();
    std::vector<ParkedTime> list;
    list.reserve(kParkedTimesRoom);
    for (const clv::LiveAc& ac : engine.liveAc) {
        if (lf_isParkedLive(ac)) list.push_back(ParkedTime{ac.hexid, (now - ac.timeAtStand) / kTicksPerSecond});
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const ParkedTime& a, const ParkedTime& b) { return a.seconds > b.seconds; });
    return list;
}

void lf_removeOverMaxPark(clv::TrafficEngine& engine, std::uint32_t hexid) {
    for (clv::LiveAc& ac : engine.liveAc) {
        if (ac.hexid != hexid || ac.simState != clv::AcSimState::Active) continue;
        gf_log("{:}: {:8} max park exceeded, removed", gf_standName(ac.standId), ac.callsign);
        removeAircraftFromSim(engine, ac);
        return;
    }
}

void lf_removeLiveParked(clv::TrafficEngine& engine, const std::set<std::uint32_t>& hexids, clv::LiveAc& ac) {
    if (!hexids.contains(ac.hexid)) return;
    gf_log("live parked {} at {} removed", ac.logLabel(), gf_standName(ac.standId));
    removeAircraftFromSim(engine, ac);
}

// A static aircraft's planned slot as a point of the week in which Monday follows Sunday.
std::int32_t lf_plannedOrder(const clv::StaticAc& s) {
    const clv::Slot p = clv::Slot::fromBits(s.parkedAt);
    const std::int32_t day = p.day == 1 ? kWeekdaySunday + 1 : p.day;
    return day * static_cast<std::int32_t>(clv::kHalfHoursInDay) + p.halfHour;
}

std::string lf_logParkedAt(const clv::LiveAc& ac) {
    const std::string parked =
        ac.moveState == clv::AcMoveState::Parked ? fmt::format("Parked at {}", gf_standName(ac.standId)) : std::string();
    return fmt::format("{} {:9} {} {}: {} {}", ac.onGround ? "Gnd" : "Air", ac.callsign, ac.airline, ac.type,
                       ac.objectId, parked);
}

}  // namespace

void gf_collectParkedLive(clv::TrafficEngine& engine) {
    const std::int64_t now = gf_parkingHooks().systemTime100ns();
    for (clv::LiveAc& ac : engine.liveAc) {
        if (!lf_isParkedLive(ac)) continue;
        if (ac.departureMark) {
            liveParkedList.push_back(clv::LiveParkedEntry{ac.callsign, 0, ac.standId, 0});
            continue;
        }
        const auto minutes = static_cast<std::int32_t>((now - ac.timeAtStand) / kTicksPerMinute);
        const std::int32_t limit =
            ac.category == clv::AcCategory::Heavy ? clv::kMaxParkedMinutesHeavy : clv::kMaxParkedMinutes;
        if (!INITIAL_LOAD_ONLY.value && minutes > limit) {
            removeAircraftFromSim(engine, ac);
            continue;
        }
        liveParkedList.push_back(clv::LiveParkedEntry{ac.callsign, 0, ac.standId, minutes});
    }
    std::stable_sort(liveParkedList.begin(), liveParkedList.end(),
                     [](const clv::LiveParkedEntry& a, const clv::LiveParkedEntry& b) { return a.minutes < b.minutes; });
}

void gf_limitLiveParked(clv::TrafficEngine& engine, std::int32_t extra) {
    const std::int32_t maxPark = shownMaxPark.load();
    const std::int32_t n =
        static_cast<std::int32_t>(std::count_if(engine.liveAc.begin(), engine.liveAc.end(), lf_isParkedLive)) + extra;
    if (!INITIAL_LOAD_ONLY.value && maxPark >= 1 && n > maxPark) {
        const auto times = lf_collectParkedTimes(engine);
        if (!times.empty()) lf_removeOverMaxPark(engine, times.front().hexid);
    }
    const std::int32_t s = gf_countStaticAc(engine, false);
    if (s == 0 || s + n <= maxPark) return;
    auto earliest = std::min_element(engine.staticAc.begin(), engine.staticAc.end(),
                                     [](const clv::StaticAc& a, const clv::StaticAc& b) {
                                         return lf_plannedOrder(a) < lf_plannedOrder(b);
                                     });
    if (earliest != engine.staticAc.end() && earliest->simState == clv::AcSimState::Active) {
        removeAircraftFromSim(engine, *earliest);
    }
}

void gf_removeSurplusLiveParked(clv::TrafficEngine& engine, std::int32_t count) {
    const auto times = lf_collectParkedTimes(engine);
    std::set<std::uint32_t> hexids;
    const std::size_t n = std::min(static_cast<std::size_t>(std::max(count, 0)), times.size());
    for (std::size_t i = 0; i < n; ++i) hexids.insert(times[i].hexid);
    for (clv::LiveAc& ac : engine.liveAc) lf_removeLiveParked(engine, hexids, ac);
}

void gf_enforceMaxLive(clv::TrafficEngine& engine) {
    const std::int32_t maxLive = MAX_LIVE.value;
    if (maxLive == MAX_LIVE.def) return;
    const auto active = static_cast<std::int32_t>(std::count_if(
        engine.liveAc.begin(), engine.liveAc.end(),
        [](const clv::LiveAc& ac) { return ac.simState == clv::AcSimState::Active; }));
    for (std::int32_t i = maxLive; i < active; ++i) gf_removeFarthestAc(engine, 0.0);
}

std::string gf_standName(std::uint32_t standId) {
    if (standId == 0) return "sid==0?";
    auto it = std::find_if(standList.begin(), standList.end(),
                           [standId](const clv::Stand& s) { return s.id == standId; });
    return it == standList.end() ? std::string("unknown") : it->name;
}

void gf_logParkedList(const clv::TrafficEngine& engine) {
    std::vector<std::string> lines;
    for (const clv::LiveAc& ac : engine.liveAc) {
        if (ac.simState == clv::AcSimState::Active) lines.push_back(lf_logParkedAt(ac));
    }
    std::sort(lines.begin(), lines.end());
    std::ofstream out(g_callsign2ObjectIdFile, std::ios::trunc);
    if (!out) return;
    for (const std::string& line : lines) out << line << '\n';
}
