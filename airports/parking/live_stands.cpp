#include "airports/parking/live_stands.h"

#include <algorithm>
#include <exception>
#include <mutex>

#include "airports/parking/learned_files.h"
#include "core/log.h"
#include "link/sim_client.h"
#include "stands/stand_options.h"

using clv::Stand;
using StandIt = std::vector<Stand>::iterator;

namespace {

constexpr double kNoDistanceNm = 900.0;
constexpr std::uint32_t kDaysInWeek = 7;

// What threads other than the run thread may know of the stands: names and
// positions copied when the list changes, and the last answer given.
struct StandPoint {
    std::string name;
    clv::LatLon position;
};
struct PositionLookup {
    std::mutex lock;
    std::vector<StandPoint> stands;
    bool cached = false;
    clv::LatLon cachedPosition;
    std::string cachedAnswer;
};

PositionLookup& lf_lookup() {
    static PositionLookup lookup;
    return lookup;
}

bool lf_fits(const clv::LiveAc& aircraft, const Stand& stand) {
    return aircraft.radius - stand.radius <= clv::kRadiusToleranceNm;
}

bool lf_kindFits(const clv::LiveAc& aircraft, const Stand& stand) {
    return stand.heli == (aircraft.category == clv::AcCategory::Rotorcraft);
}

bool lf_namedInOptions(const clv::LiveAc& aircraft, const Stand& stand) {
    if (aircraft.callsign.empty()) return false;
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const clv::StandOption& o) {
        return gf_optMatchesAc(aircraft.callsign, aircraft, o);
    });
}

void lf_countUpdate() { gf_countLearnedUpdate(); }

std::uint32_t lf_dayAfter(std::uint32_t weekday) { return weekday % kDaysInWeek + 1; }

// The first non-empty option of today for this registration, of the given kind.
clv::StandOption* lf_todaysOption(Stand& stand, const clv::LiveAc& aircraft, clv::Slot now, std::uint32_t real) {
    for (clv::StandOption& o : stand.options) {
        if (o.id != 0 && o.weekday == static_cast<std::uint32_t>(now.day) && o.registration == aircraft.registration &&
            o.real == real) {
            return &o;
        }
    }
    return nullptr;
}

// Adds the half-hour to a found option and widens it back to the aircraft's
// last report. False when nothing changed.
bool lf_widenFound(Stand& stand, clv::StandOption& option, std::map<std::uint32_t, clv::LearnRecord>& learning,
                   const clv::LiveAc& aircraft, bool widen, clv::Slot now, bool leaving, std::uint32_t real) {
    const auto h = static_cast<std::uint32_t>(now.halfHour);
    if (option.hours.test(h) || option.fixed != 0) {
        if (leaving) learning.erase(aircraft.hexid);
        return false;
    }
    option.hours.set(h);
    if (widen) {
        auto entry = learning.find(aircraft.hexid);
        if (entry == learning.end()) {
            if (!leaving) {
                learning.emplace(aircraft.hexid, clv::LearnRecord{static_cast<std::uint32_t>(now.day), h, option.id});
            }
        } else if (entry->second.weekday != static_cast<std::uint32_t>(now.day) || entry->second.halfHour != h) {
            lf_extendLearnedOption(now, stand, option.id, entry->second, aircraft, real);
        }
    }
    if (leaving) learning.erase(aircraft.hexid);
    lf_countUpdate();
    return true;
}

}  // namespace

StandIt gf_findStandByName(const std::string& name) {
    return std::find_if(standList.begin(), standList.end(), [&name](const Stand& s) { return s.name == name; });
}

void gf_markStandTaken(Stand& stand) {
    stand.taken = true;
    for (std::uint32_t id : stand.adjacent) {
        if (Stand* other = gf_standWithId(id)) other->adjacentBlocked = true;
    }
}

void gf_standListChanged() {
    std::vector<StandPoint> points;
    points.reserve(standList.size());
    for (const Stand& s : standList) points.push_back({s.name, clv::LatLon{s.latitude, s.longitude}});
    PositionLookup& lookup = lf_lookup();
    const std::lock_guard<std::mutex> guard(lookup.lock);
    lookup.stands = std::move(points);
    lookup.cached = false;
    lookup.cachedAnswer.clear();
}

std::string gf_standNameAtPosition(double latitude, double longitude) {
    if (!userOnGround.load()) return {};
    PositionLookup& lookup = lf_lookup();
    const std::lock_guard<std::mutex> guard(lookup.lock);
    if (lookup.stands.empty()) return {};
    if (lookup.cached && lookup.cachedPosition.lat == latitude && lookup.cachedPosition.lon == longitude) {
        return lookup.cachedAnswer;
    }
    const clv::LatLon position{latitude, longitude};
    double best = clv::kStandAtPositionNm;
    const StandPoint* nearest = nullptr;
    for (const StandPoint& p : lookup.stands) {
        const double d = gf_distanceNm(position, p.position);
        if (d <= best && (nearest == nullptr || d < best)) {
            best = d;
            nearest = &p;
        }
    }
    lookup.cached = true;
    lookup.cachedPosition = position;
    lookup.cachedAnswer = nearest ? nearest->name : std::string();
    return lookup.cachedAnswer;
}

StandIt gf_findFreeStand(clv::LatLon position, const clv::LiveAc& aircraft, double rangeNm, bool secondChoice) {
    StandIt first = standList.end();
    StandIt second = standList.end();
    StandIt tooSmall = standList.end();
    double bestFirst = kNoDistanceNm;
    double bestSecond = kNoDistanceNm;
    for (auto it = standList.begin(); it != standList.end(); ++it) {
        // A helipad is only for a rotorcraft and a rotorcraft only for a helipad:
        // the wrong kind is passed over so that it never hides a fitting stand.
        if (it->occupied || !lf_kindFits(aircraft, *it)) continue;
        const double d = gf_distanceNm(position, clv::LatLon{it->latitude, it->longitude});
        if (d <= rangeNm && d < bestFirst) {
            if (lf_fits(aircraft, *it)) {
                first = it;
                bestFirst = d;
                tooSmall = standList.end();
            } else if (d <= clv::kTooSmallNearNm) {
                first = it;
                bestFirst = d;
                tooSmall = it;
            }
        } else if (secondChoice && first == standList.end() && d <= clv::kSecondChoiceNm && d < bestSecond &&
                   lf_fits(aircraft, *it) && lf_namedInOptions(aircraft, *it)) {
            second = it;
            bestSecond = d;
        }
    }
    const StandIt result = first != standList.end() ? first : second;
    if (result != standList.end() && result == tooSmall) {
        if (Stand* s = gf_standWithId(result->id)) {
            s->radius = aircraft.radius - clv::kLearnedRadiusMarginNm;
            s->radiusChanged = true;
            lf_countUpdate();
        }
    }
    return result;
}

bool lf_addRealParkPosOption(std::uint32_t standId, const clv::LiveAc& aircraft, bool widen, clv::Slot now,
                             bool leaving) {
    try {
        if (standList.empty() || aircraft.registration.empty() || aircraft.callsign.empty()) return false;
        Stand* stand = gf_standWithId(standId);
        if (stand == nullptr) return false;
        if (clv::StandOption* option = lf_todaysOption(*stand, aircraft, now, 1)) {
            return lf_widenFound(*stand, *option, stand->realLearning, aircraft, widen, now, leaving, 1);
        }
        const std::uint32_t id =
            gf_searchOpts(stand->options, aircraft, 1, now, aircraft.callsign, aircraft.registration);
        stand->realLearning.try_emplace(aircraft.hexid, clv::LearnRecord{static_cast<std::uint32_t>(now.day),
                                                                         static_cast<std::uint32_t>(now.halfHour), id});
        lf_countUpdate();
        return true;
    } catch (const std::exception& e) {
        gf_logMarked("{}: hh_now: {}, {}", "lf_addRealParkPosOption", now.halfHour, e.what());
        return false;
    }
}

bool lf_addSoftParkPosOption(std::uint32_t standId, const clv::LiveAc& aircraft, bool widen, clv::Slot now) {
    try {
        if (standList.empty()) return false;
        Stand* stand = gf_standWithId(standId);
        if (stand == nullptr) return false;
        if (clv::StandOption* option = lf_todaysOption(*stand, aircraft, now, 0)) {
            return lf_widenFound(*stand, *option, stand->softLearning, aircraft, widen, now, false, 0);
        }
        const std::uint32_t id =
            gf_searchOpts(stand->options, aircraft, 0, now, aircraft.callsign, aircraft.registration);
        if (id == 0) return false;  // an identical option exists
        stand->softLearning.try_emplace(aircraft.hexid, clv::LearnRecord{static_cast<std::uint32_t>(now.day),
                                                                         static_cast<std::uint32_t>(now.halfHour), id});
        lf_countUpdate();
        return true;
    } catch (const std::exception& e) {
        gf_logMarked("{}: hh_now: {}, {}", "lf_addSoftParkPosOption", now.halfHour, e.what());
        return false;
    }
}

void lf_extendLearnedOption(clv::Slot now, Stand& stand, std::uint32_t optionId, clv::LearnRecord& record,
                            const clv::LiveAc& aircraft, std::uint32_t real) {
    if (optionId == 0) return;
    const auto nowDay = static_cast<std::uint32_t>(now.day);
    const auto nowHalf = static_cast<std::int32_t>(now.halfHour);
    const auto recHalf = static_cast<std::int32_t>(record.halfHour);
    std::uint32_t k = 0;
    bool acrossMidnight = false;
    for (std::uint32_t step = 1; step <= clv::kMaxWidenHalfHours && k == 0; ++step) {
        const auto s = static_cast<std::int32_t>(step);
        if (record.weekday == nowDay && (recHalf + s) % static_cast<std::int32_t>(clv::kHalfHoursInDay) == nowHalf) {
            k = step;
        } else if (nowDay == lf_dayAfter(record.weekday) &&
                   nowHalf - recHalf + static_cast<std::int32_t>(clv::kHalfHoursInDay) == s) {
            k = step;
            acrossMidnight = true;
        }
    }
    if (k == 0) return;  // too long a gap: nothing is widened
    if (acrossMidnight) {
        const std::uint32_t laterId =
            gf_searchOpts(stand.options, aircraft, real, now, aircraft.callsign, aircraft.registration);
        if (laterId > 0) {
            gf_fillOptsWrapped(stand.options, now, aircraft.callsign, k, optionId, laterId);
            record.laterId = laterId;
        }
    } else {
        std::vector<std::uint32_t> slots;
        slots.reserve(clv::kHalfHoursInDay);
        gf_wrappedSlots(slots, k, now);
        updateOptions(stand.options, slots, optionId);
        gf_findOptFor(stand.options, optionId, aircraft.callsign);
    }
    record.weekday = nowDay;
    record.halfHour = static_cast<std::uint32_t>(now.halfHour);
}
