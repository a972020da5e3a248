#include "tools/feedstandin/load_scenario.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <stdexcept>

#include <fmt/format.h>

#include "core/geodesy.h"

namespace {

using clv::LatLon;
using clv::LoadPhase;

constexpr double kKnotsToFeetPerSecond = clv::kFeetPerNm / 3600.0;
constexpr double kTaxiKnots = 15.0;
constexpr double kPushBackKnots = 3.0;
constexpr double kRunwayNm = 2.0;
constexpr double kArrivalStartNm = 25.0;  // within the range of the program and of its demo (30 nm)
constexpr double kFinalNm = 10.0;
constexpr double kRangeNm = 38.0;         // a departure leaves the feed here
constexpr double kStandSpacingFt = 260.0;
constexpr int kStandsPerRow = 25;

constexpr std::array<const char*, 8> kAirlines{"SWR", "DLH", "EZY", "BAW", "AFR", "KLM", "AUA", "UAE"};
// Types every installation has a livery of, and the demo's too.
constexpr std::array<const char*, 8> kTypes{"A320", "A321", "B738", "A320", "B77W", "A321", "CRJ9", "A388"};

double lf_radians(double degrees) { return degrees * clv::kDegToRad; }
double lf_fold(double degrees) { return std::fmod(degrees + 360.0, 360.0); }

// One piece of the road: constant heading, speed and altitude changing evenly.
struct Leg {
    LoadPhase phase;
    double seconds;
    double course;   // degrees, the direction of motion
    double heading;  // degrees, where the nose points
    double speedFrom, speedTo;  // knots
    double altitudeFrom, altitudeTo;  // feet
    bool onGround;
};

struct Aircraft {
    clv::FeedIdentity identity;
    LatLon start;
    std::vector<Leg> legs;
    double beginAt = 0.0;  // scenario second at which its first leg starts
    double lineEvery = 2.0;
};

class Scenario {
public:
    Scenario(const clv::LoadOptions& o, double startTimestamp) : o_(o), start_(startTimestamp), rng_(o.seed) {
        const LatLon reference{o.latitude, o.longitude};
        // The threshold of the runway lies half its length before the reference point.
        threshold_ = gf_destination(reference, lf_radians(lf_fold(o.runwayHeading + 180.0)),
                                         kRunwayNm / 2.0 * clv::kFeetPerNm);
    }

    std::vector<clv::LoadLine> run() {
        for (int slot = 0; slot < o_.aircraft; ++slot) {
            // Half start at their stands, half come in; starts are spread so that the
            // feed does not begin with N identical roads.
            const bool parked = slot % 2 == 0;
            double t = -std::uniform_real_distribution<double>(0.0, parked ? 600.0 : 300.0)(rng_);
            bool first = true;
            while (t < o_.seconds) {
                Aircraft ac = lf_newAircraft(slot, parked && first);
                ac.beginAt = t;
                t = lf_emit(ac);
                first = false;
            }
        }
        std::sort(lines_.begin(), lines_.end(),
                  [](const clv::LoadLine& a, const clv::LoadLine& b) { return a.line.offset < b.line.offset; });
        return std::move(lines_);
    }

private:
    LatLon lf_stand(int slot) const {
        // Rows of stands north of the runway, facing south.
        const LatLon reference{o_.latitude, o_.longitude};
        const double north = 1500.0 + (slot / kStandsPerRow) * 500.0;
        const double east = (slot % kStandsPerRow - kStandsPerRow / 2) * kStandSpacingFt;
        const LatLon row = gf_destination(reference, lf_radians(lf_fold(o_.runwayHeading - 90.0)), north);
        return gf_destination(row, lf_radians(o_.runwayHeading), east);
    }

    Aircraft lf_newAircraft(int slot, bool startParked) {
        Aircraft ac;
        const int n = serial_++;
        ac.identity.hexid = 0x4B0000u + static_cast<std::uint32_t>(n);
        const std::string airline = kAirlines[static_cast<std::size_t>(n) % kAirlines.size()];
        ac.identity.callsign = fmt::format("{}{}", airline, 100 + n % 9000);
        ac.identity.type = kTypes[static_cast<std::size_t>(n / 3) % kTypes.size()];
        ac.identity.registration = fmt::format("HB-{}{}{}", char('A' + n % 26), char('A' + n / 26 % 26),
                                               char('A' + n / 676 % 26));
        ac.identity.origin = "EGLL";
        ac.identity.destination = "LSZH";
        ac.identity.category = "A3";
        ac.lineEvery = std::uniform_real_distribution<double>(1.0, 3.0)(rng_);
        const double parkSeconds = std::uniform_real_distribution<double>(120.0, 900.0)(rng_);
        const LatLon stand = lf_stand(slot);
        const double standHeading = lf_fold(o_.runwayHeading + 90.0);  // towards the runway
        const double rwy = o_.runwayHeading;
        const double elev = o_.elevation;
        if (!startParked) {
            // In from the extended centre line: approach, final, roll-out, taxi-in.
            ac.start = gf_destination(threshold_, lf_radians(lf_fold(rwy + 180.0)), kArrivalStartNm * clv::kFeetPerNm);
            const double approachNm = kArrivalStartNm - kFinalNm;
            ac.legs.push_back({LoadPhase::Approach, approachNm / 230.0 * 3600.0, rwy, rwy, 250, 180, elev + 9000,
                               elev + 3000, false});
            ac.legs.push_back({LoadPhase::Landing, kFinalNm / 150.0 * 3600.0, rwy, rwy, 160, 140, elev + 3000, elev,
                               false});
            ac.legs.push_back({LoadPhase::RollOut, 35.0, rwy, rwy, 130, 15, elev, elev, true});
            lf_taxi(ac, LoadPhase::TaxiIn, stand);
        } else {
            ac.start = stand;
        }
        ac.legs.push_back({LoadPhase::Parked, parkSeconds, standHeading, standHeading, 0, 0, elev, elev, true});
        // Tail first away from the stand.
        ac.legs.push_back({LoadPhase::PushBack, 50.0, lf_fold(standHeading + 180.0), standHeading, kPushBackKnots,
                           kPushBackKnots, elev, elev, true});
        lf_taxi(ac, LoadPhase::TaxiOut, threshold_);
        ac.legs.push_back({LoadPhase::TakeOff, 40.0, rwy, rwy, 0, 160, elev, elev, true});
        ac.legs.push_back({LoadPhase::Climb, 240.0, rwy, rwy, 160, 280, elev, elev + 10000, false});
        ac.legs.push_back({LoadPhase::Cruise, (kRangeNm - 12.0) / 420.0 * 3600.0, rwy, rwy, 420, 420, elev + 10000,
                           elev + 22000, false});
        return ac;
    }

    // A straight taxi from where the legs so far end to `to`.
    void lf_taxi(Aircraft& ac, LoadPhase phase, LatLon to) {
        const LatLon from = lf_endOf(ac);
        const double course = gf_bearing(from, to) * clv::kRadToDeg;
        const double seconds = gf_distanceNm(from, to) / kTaxiKnots * 3600.0;
        ac.legs.push_back({phase, std::max(seconds, 1.0), course, course, kTaxiKnots, kTaxiKnots, o_.elevation,
                           o_.elevation, true});
    }

    static LatLon lf_advance(LatLon p, const Leg& leg, double seconds) {
        const double share = seconds / leg.seconds;
        const double speed = leg.speedFrom + (leg.speedTo - leg.speedFrom) * share / 2.0;  // mean over the part
        return gf_destination(p, lf_radians(leg.course), speed * kKnotsToFeetPerSecond * seconds);
    }

    LatLon lf_endOf(const Aircraft& ac) const {
        LatLon p = ac.start;
        for (const Leg& leg : ac.legs) p = lf_advance(p, leg, leg.seconds);
        return p;
    }

    // The lines of one aircraft; returns the scenario second at which it is gone.
    double lf_emit(const Aircraft& ac) {
        double legStart = ac.beginAt;
        LatLon legOrigin = ac.start;
        double t = ac.beginAt;
        for (const Leg& leg : ac.legs) {
            const double legEnd = legStart + leg.seconds;
            for (; t < legEnd; t += ac.lineEvery) {
                if (t < 0.0) continue;
                if (t >= o_.seconds) return o_.seconds;
                const double in = t - legStart;
                const double share = in / leg.seconds;
                clv::FeedPoint p;
                const LatLon at = lf_advance(legOrigin, leg, in);
                p.time = t;
                p.latitude = at.lat;
                p.longitude = at.lon;
                p.groundSpeed = leg.speedFrom + (leg.speedTo - leg.speedFrom) * share;
                p.altitude = leg.altitudeFrom + (leg.altitudeTo - leg.altitudeFrom) * share;
                p.verticalSpeed = (leg.altitudeTo - leg.altitudeFrom) / leg.seconds * 60.0;
                p.onGround = leg.onGround;
                p.track = leg.course;
                p.heading = leg.heading;
                p.trueAirspeed = leg.onGround ? -1.0 : p.groundSpeed;
                lines_.push_back({clv::TimedLine{t, gf_trafficLine(ac.identity, p, start_ + t)}, ac.identity.hexid,
                                  leg.phase});
            }
            legOrigin = lf_advance(legOrigin, leg, leg.seconds);
            legStart = legEnd;
        }
        return legStart;
    }

    clv::LoadOptions o_;
    double start_;
    std::mt19937 rng_;
    LatLon threshold_;
    int serial_ = 0;
    std::vector<clv::LoadLine> lines_;
};

}  // namespace

std::string_view gf_loadPhaseName(clv::LoadPhase phase) {
    static constexpr std::array<std::string_view, 10> kNames{"approach", "landing",   "roll-out", "taxi-in",
                                                             "parked",   "push back", "taxi-out", "take-off",
                                                             "climb",    "cruise"};
    return kNames.at(static_cast<std::size_t>(phase));
}

std::vector<clv::LoadLine> gf_loadScenario(const clv::LoadOptions& options, double startTimestamp) {
    if (options.aircraft < 1) throw std::runtime_error("the load needs at least one aircraft");
    if (options.seconds <= 0.0) throw std::runtime_error("the load needs a duration above 0");
    return Scenario(options, startTimestamp).run();
}
