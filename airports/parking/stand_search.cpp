// The searches over the park airport's stands: the plan of one half-hour window,
// a stand for a live aircraft of the soft parking step, and the coupled callsigns
// of a live aircraft.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>

#include "airports/parking/static_parking.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/random.h"
#include "liveries/livery_match.h"
#include "stands/stand_options.h"

std::vector<clv::ParkPlanEntry> parkPlan;
std::set<std::string> plannerCallsigns;

namespace {

using clv::ParkPlanEntry;
using clv::Slot;
using clv::Stand;
using clv::StandOption;

constexpr std::size_t kCandidateRoom = 256;

// Fit search: the size steps and the tolerance of a stand smaller than the aircraft.
constexpr double kSmallStepNm = 0.00755939524838013;   // 14 m
constexpr double kSmallAircraftNm = 0.009611230689557531;  // 17.8 m
constexpr double kLargeStepNm = 0.011339092872570195;  // 21 m
constexpr double kStandToleranceNm = 0.0009719222462203025;  // 1.8 m
constexpr std::int32_t kStartScore = 100;
constexpr std::size_t kRetryMaxStands = 10;
constexpr std::uint32_t kGatesFirstFromDraw = 10;  // a draw of 10..99: gates first (90 %)

// Coupled callsigns: half-hours around now for a Heavy aircraft and for others.
constexpr std::int32_t kCoupledWindowHeavy = 14;
constexpr std::int32_t kCoupledWindow = 10;

constexpr std::uint32_t kLastHalfHour = clv::kHalfHoursInDay - 1;
constexpr std::int32_t kDaysInWeek = 7;

// An option the planner may still use.
bool lf_usable(const StandOption& o) { return o.id != 0 && !o.planSkip; }

Slot lf_nextSlot(Slot now) {
    if (static_cast<std::uint32_t>(now.halfHour) < kLastHalfHour) return Slot{now.day, now.halfHour + 1};
    return Slot{now.day >= kDaysInWeek ? 1 : now.day + 1, 0};
}

// Texts that name an aircraft: two empty texts name nobody.
bool lf_sameName(const std::string& a, const std::string& b) { return !a.empty() && a == b; }

bool lf_heardLive(const std::string& callsign) {
    return !callsign.empty() && (plannerCallsigns.contains(callsign) || plannerCallsigns.contains(callsign + "_"));
}

// An option whose aircraft is parked already: by a static aircraft, the plan or a
// live parked aircraft.
bool lf_alreadyThere(const clv::TrafficEngine& engine, const StandOption& o) {
    auto names = [&o](const std::string& callsign, const std::string& registration) {
        return lf_sameName(callsign, o.callsign) || lf_sameName(callsign, o.secondCallsign) ||
               lf_sameName(registration, o.registration);
    };
    for (const clv::StaticAc& s : engine.staticAc) {
        if (names(s.callsignCopy, s.registration)) return true;
    }
    for (const ParkPlanEntry& p : parkPlan) {
        if (names(p.callsign, p.registration)) return true;
    }
    for (const clv::LiveParkedEntry& l : liveParkedList) {
        if (lf_sameName(l.callsign, o.callsign) || lf_sameName(l.callsign, o.secondCallsign)) return true;
    }
    return false;
}

// An active static aircraft on an adjacent stand leaves too little room for the option's type.
bool lf_crowdedByStatic(const clv::TrafficEngine& engine, const Stand& stand, const StandOption& o,
                        const clv::ParkingHooks& hooks) {
    for (std::uint32_t adjacentId : stand.adjacent) {
        auto it = std::find_if(engine.staticAc.begin(), engine.staticAc.end(), [adjacentId](const clv::StaticAc& s) {
            return s.simState == clv::AcSimState::Active && s.standId == adjacentId;
        });
        if (it == engine.staticAc.end()) continue;
        const double room = gf_distanceNm(it->latitude, it->longitude, stand.latitude, stand.longitude);
        if (hooks.halfWingspan(it->type) + hooks.halfWingspan(o.type) > room) return true;
    }
    return false;
}

// The option of the static aircraft still standing on this stand, to keep it there.
std::uint32_t lf_optionOfStaticHere(const clv::TrafficEngine& engine, const Stand& stand) {
    for (const clv::StaticAc& s : engine.staticAc) {
        if (s.standId != stand.id) continue;
        for (const StandOption& o : stand.options) {
            const bool sameCallsign = o.callsign + "*" == s.callsign || o.secondCallsign + "*" == s.callsign;
            if (sameCallsign && s.airline == o.airline && s.type == o.type) return o.id;
        }
    }
    return 0;
}

bool lf_stays(const Stand& stand, const StandOption& o, Slot now) {
    if (o.secondCallsign.empty()) return true;
    const Slot next = lf_nextSlot(now);
    if (next.day == now.day) return o.hours.test(static_cast<std::uint32_t>(next.halfHour));
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& n) {
        return lf_usable(n) && n.weekday == static_cast<std::uint32_t>(next.day) && n.airline == o.airline &&
               n.type == o.type && n.hours.test(0);
    });
}

void lf_markTaken(Stand& stand) {
    stand.taken = true;
    for (std::uint32_t id : stand.adjacent) {
        if (Stand* adjacent = gf_standWithId(id)) adjacent->adjacentBlocked = true;
    }
}

void lf_searchStand(const clv::TrafficEngine& engine, Stand& stand, Slot now, Slot window, std::uint32_t real,
                    std::uint32_t fit, std::vector<ParkPlanEntry>& found, std::vector<std::uint32_t>& candidates,
                    const clv::ParkingHooks& hooks) {
    if (stand.excluded || stand.taken || stand.adjacentBlocked) return;
    if (stand.heli && !HELICOPTERS.value) return;
    const auto h = static_cast<std::uint32_t>(window.halfHour);
    candidates.clear();
    for (const StandOption& o : stand.options) {
        if (!lf_usable(o) || o.real != real) continue;
        if (!WEEK.value && o.weekday != static_cast<std::uint32_t>(window.day)) continue;
        if (!o.hours.test(h)) continue;
        if (lf_crowdedByStatic(engine, stand, o, hooks)) continue;
        if (candidates.size() < kCandidateRoom) candidates.push_back(o.id);
    }
    if (candidates.empty()) return;
    if (candidates.size() >= 2 && RANDOM.value) {
        if (const std::uint32_t kept = lf_optionOfStaticHere(engine, stand)) {
            candidates.insert(candidates.begin(), kept);
        } else {
            std::shuffle(candidates.begin(), candidates.end(), gf_threadRandom());
        }
    }
    const std::uint32_t first = candidates.front();
    auto chosen = std::find_if(stand.options.begin(), stand.options.end(),
                               [first](const StandOption& o) { return lf_usable(o) && o.id == first; });
    if (chosen == stand.options.end()) return;
    StandOption& o = *chosen;
    if (!o.registration.empty() &&
        std::any_of(parkPlan.begin(), parkPlan.end(), [&o](const ParkPlanEntry& p) { return p.registration == o.registration; })) {
        o.planSkip = true;
        return;
    }
    if (lf_heardLive(o.callsign) || lf_heardLive(o.secondCallsign)) return;
    if (lf_alreadyThere(engine, o)) {
        o.planSkip = true;
        return;
    }
    found.push_back(ParkPlanEntry{stand.id, fit, o.airline, o.type, o.callsign, o.secondCallsign, o.registration,
                                  lf_stays(stand, o, now)});
    lf_markTaken(stand);
}

struct FitCandidate {
    std::string name;
    std::int32_t score = 0;
    bool matching = false;
};

enum class FitPass { Sized, Unsized };

class FitSearch {
public:
    FitSearch(const clv::LiveAc& ac, Slot now) : ac_(ac), now_(now) {
        step_ = ac.radius <= kSmallAircraftNm ? kSmallStepNm : kLargeStepNm;
    }

    // One pass over the stands that the filter admits, unless a candidate was found.
    template <class Filter>
    void pass(FitPass kind, Filter admits) {
        if (!candidates.empty()) return;
        std::int32_t best = kStartScore;
        for (const Stand& stand : standList) {
            if (!admits(stand)) continue;
            std::int32_t score = 0;
            if (kind == FitPass::Sized) {
                if (ac_.radius > stand.radius + kStandToleranceNm) continue;
                score = static_cast<std::int32_t>(std::lround((stand.radius - ac_.radius) / step_));
            } else {
                score = static_cast<std::int32_t>(std::lround(std::fabs(ac_.radius - stand.radius)));
            }
            if (score > best) continue;
            if (lf_inUseNow(stand)) continue;
            best = score;
            candidates.push_back(FitCandidate{stand.name, score, lf_matching(stand)});
        }
    }

    std::vector<FitCandidate> candidates;

private:
    bool lf_inUseNow(const Stand& stand) const {
        return std::any_of(stand.options.begin(), stand.options.end(), [this](const StandOption& o) {
            return o.id != 0 && o.weekday == static_cast<std::uint32_t>(now_.day) &&
                   o.hours.test(static_cast<std::uint32_t>(now_.halfHour));
        });
    }
    bool lf_matching(const Stand& stand) const {
        if (ac_.callsign.empty()) return false;
        return std::any_of(stand.options.begin(), stand.options.end(),
                           [this](const StandOption& o) { return gf_optMatchesAc(ac_.callsign, ac_, o); });
    }

    const clv::LiveAc& ac_;
    Slot now_;
    double step_;
};

bool lf_gate(const Stand& s) { return !s.cargo && !s.heli && !s.ramp; }
bool lf_plainRamp(const Stand& s) { return s.ramp && !s.cargo && !s.heli; }

std::vector<Stand>::iterator lf_fitSearch(Slot now, const clv::LiveAc& ac, const std::string& parkCode) {
    FitSearch search(ac, now);
    using P = FitPass;
    if (ac.category == clv::AcCategory::Rotorcraft) {
        auto heli = [](const Stand& s) { return s.heli; };
        auto ramp = [](const Stand& s) { return s.ramp; };
        search.pass(P::Sized, heli);
        search.pass(P::Sized, ramp);
        search.pass(P::Unsized, heli);
        search.pass(P::Unsized, ramp);
    } else if (ac.cargo) {
        auto cargo = [](const Stand& s) { return s.cargo && !s.heli; };
        auto notHeli = [](const Stand& s) { return !s.heli; };
        search.pass(P::Sized, cargo);
        search.pass(P::Unsized, cargo);
        search.pass(P::Sized, notHeli);
        search.pass(P::Unsized, notHeli);
    } else if (ac.category == clv::AcCategory::Light || ac.category == clv::AcCategory::Buzjets ||
               ac.airline == clv::kPrivateAirline) {
        search.pass(P::Sized, lf_plainRamp);
        search.pass(P::Unsized, lf_plainRamp);
    } else {
        const bool gatesFirst =
            (!parkCode.empty() && parkCode.front() == 'K') || gf_parkingHooks().drawPercent() >= kGatesFirstFromDraw;
        auto preferred = gatesFirst ? &lf_gate : &lf_plainRamp;
        auto other = gatesFirst ? &lf_plainRamp : &lf_gate;
        search.pass(P::Sized, preferred);
        search.pass(P::Unsized, preferred);
        search.pass(P::Sized, other);
        search.pass(P::Unsized, other);
    }
    auto& c = search.candidates;
    if (c.empty()) return standList.end();
    if (c.size() >= 2) {
        if (RANDOM.value) std::shuffle(c.begin(), c.end(), gf_threadRandom());
        // The lower score first; of equal scores the matching one.
        std::stable_sort(c.begin(), c.end(), [](const FitCandidate& a, const FitCandidate& b) {
            if (a.score != b.score) return a.score < b.score;
            return a.matching && !b.matching;
        });
    }
    const std::string& name = c.front().name;
    return std::find_if(standList.begin(), standList.end(), [&name](const Stand& s) { return s.name == name; });
}

}  // namespace

clv::Slot gf_slotBefore(clv::Slot now, std::uint32_t fit) {
    std::int32_t h = now.halfHour - static_cast<std::int32_t>(fit);
    std::int32_t day = now.day;
    while (h < 0) {
        h += static_cast<std::int32_t>(clv::kHalfHoursInDay);
        day = day <= 1 ? kDaysInWeek : day - 1;
    }
    return clv::Slot{day, h};
}

void lf_searchStands(clv::TrafficEngine& engine, clv::Slot now, std::uint32_t real, std::uint32_t fit,
                     std::vector<clv::ParkPlanEntry>& found) {
    const clv::Slot window = gf_slotBefore(now, fit);
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    std::vector<std::uint32_t> candidates;
    candidates.reserve(kCandidateRoom);
    try {
        for (Stand& stand : standList) lf_searchStand(engine, stand, now, window, real, fit, found, candidates, hooks);
    } catch (const std::exception& e) {
        gf_logMarked("{}: day: {}, offset {}: {}", "lf_searchStands", fmt::format("[{},{}]", now.day, now.halfHour),
                     fit, e.what());
    }
}

std::vector<clv::Stand>::iterator lf_searchFit(const clv::TrafficEngine&, clv::Slot now, const clv::LiveAc& ac,
                                               bool mayRetry) {
    const std::string parkCode = gf_parkAirport().code;
    auto stand = lf_fitSearch(now, ac, parkCode);
    if (stand == standList.end() && mayRetry && standList.size() <= kRetryMaxStands) {
        return lf_fitSearch(lf_nextSlot(now), ac, parkCode);
    }
    return stand;
}

void lf_searchForCoupledCsAroundThisTime(clv::Slot now, clv::LiveAc& ac) {
    try {
        const std::int32_t w = ac.category == clv::AcCategory::Heavy ? kCoupledWindowHeavy : kCoupledWindow;
        const std::int32_t low = std::max(now.halfHour - w, 0);
        const std::int32_t high = std::min(now.halfHour + w, static_cast<std::int32_t>(kLastHalfHour));
        std::uint64_t window = 0;
        for (std::int32_t h = low; h <= high; ++h) window |= std::uint64_t{1} << h;
        std::string callsign = ac.callsign;
        if (clv::gf_endsWithUnderscore(callsign)) callsign.pop_back();
        for (const Stand& stand : standList) {
            for (const StandOption& o : stand.options) {
                if (o.id == 0 || o.weekday != static_cast<std::uint32_t>(now.day)) continue;
                if ((o.hours.bits() & window) == 0 || o.airline != ac.airline || o.secondCallsign.empty()) continue;
                if (o.callsign != callsign && o.secondCallsign != callsign) continue;
                ac.callsignCopy = o.callsign;
                ac.furtherText = o.secondCallsign;
                return;
            }
        }
    } catch (const std::exception& e) {
        gf_logMarked("{}: {}", "lf_searchForCoupledCsAroundThisTime", e.what());
    }
}

std::int32_t gf_fitHalfHours(const clv::StaticAc& ac, clv::Slot now) {
    if (ac.simState != clv::AcSimState::Active && ac.simState != clv::AcSimState::RemovingFromSim) return 0;
    return gf_halfHoursSince(clv::Slot::fromBits(ac.parkedAt), now);
}

std::int32_t gf_halfHoursSince(clv::Slot p, clv::Slot now) {
    const bool acrossWeek = p.day == kDaysInWeek && now.day == 1;
    const bool before = p.day < now.day || (p.day == now.day && p.halfHour <= now.halfHour) || acrossWeek;
    if (!before) return 0;
    const auto perDay = static_cast<std::int32_t>(clv::kHalfHoursInDay);
    return (now.day - p.day) * perDay + now.halfHour - p.halfHour + (acrossWeek ? kDaysInWeek * perDay : 0);
}
