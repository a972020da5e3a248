// The checks and conversions that turn one RealTraffic traffic line into a
// TrafficUpdate. Field numbers and units are RealTraffic's.
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string_view>
#include <unordered_set>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/text.h"
#include "link/sim_records.h"
#include "link/traffic_receiver.h"
#include "link/traffic_update.h"
#include "link/user_aircraft.h"

using clv::TrafficReceiver;
using clv::TrafficUpdate;

namespace {

// Field numbers of the traffic line.
constexpr std::size_t kHexidField = 1;
constexpr std::size_t kLatitudeField = 2;
constexpr std::size_t kLongitudeField = 3;
constexpr std::size_t kAltitudeField = 4;
constexpr std::size_t kVerticalSpeedField = 5;
constexpr std::size_t kTrackField = 7;
constexpr std::size_t kGroundSpeedField = 8;
constexpr std::size_t kCallsignField = 9;
constexpr std::size_t kTypeField = 10;
constexpr std::size_t kRegistrationField = 11;
constexpr std::size_t kOriginField = 12;
constexpr std::size_t kDestinationField = 13;
constexpr std::size_t kTimestampField = 14;
constexpr std::size_t kSourceField = 17;
constexpr std::size_t kTrueAirspeedField = 20;
constexpr std::size_t kRollField = 23;
constexpr std::size_t kTrueHeadingField = 25;
constexpr std::size_t kCategoryField = 28;
// The category is the last field; when it is empty the split leaves it out.
constexpr std::size_t kMinFieldCount = kCategoryField;

constexpr std::size_t kMaxRegistrationLength = 12;
constexpr double kParkAirportRadiusNm = 5.0;
constexpr double kNoRefElevationFeet = -1000.0;
constexpr double kGroundCheckCeilingFeet = 14000.0;
constexpr double kTaxiSpeedKnots = 35.0;  // at or below: on the ground at any altitude
constexpr std::string_view kAdsbSource = "adsb_icao";
constexpr std::string_view kNull = "null";

// A field that does not read: the line is dropped without a message.
class LineFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A line that reads but cannot be true, or carries bytes that must not reach the
// log, the window or the simulator: dropped with a log line.
class LineRefused : public std::runtime_error {
public:
    LineRefused(clv::Refusal kind, const std::string& reason) : std::runtime_error(reason), kind(kind) {}
    clv::Refusal kind;
};

// What an aircraft can report; a value beyond is a broken or hostile line.
constexpr double kMinAltitudeFeet = -2000.0;
constexpr double kMaxAltitudeFeet = 60000.0;
constexpr double kMaxSpeedKnots = 1000.0;
constexpr double kMaxVerticalSpeedFpm = 20000.0;
constexpr double kMaxRollDegrees = 180.0;
constexpr double kMaxTrackDegrees = 360.0;
// A line stamped further ahead of the clock would hide or remove aircraft.
constexpr double kMaxAheadSeconds = 60.0;

// The text fields that go on into identities, the log and the simulator.
constexpr std::size_t kTextFields[] = {kCallsignField,    kTypeField,   kRegistrationField, kOriginField,
                                       kDestinationField, kSourceField, kCategoryField};

void lf_checkRange(std::string_view name, double value, double low, double high) {
    if (value < low || value > high)
        throw LineRefused(clv::Refusal::ImpossibleValue, fmt::format("{} {:g} out of range", name, value));
}

std::string_view lf_field(const TrafficReceiver& receiver, std::size_t index) {
    if (index < receiver.fields.size()) return receiver.fields[index];
    if (index == kCategoryField) return {};
    throw LineFailure(fmt::format("field {} missing", index));
}

void lf_checkTextFields(const TrafficReceiver& receiver) {
    for (std::size_t index : kTextFields) {
        if (index >= receiver.fields.size()) continue;
        if (!gf_isCleanText(receiver.fields[index]))
            throw LineRefused(clv::Refusal::TextBytes,
                              fmt::format("field {} holds control bytes or invalid UTF-8", index));
    }
}

// A finite number at the start of the text; the rest of the text is ignored.
bool lf_readNumber(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && std::isfinite(value);
}

std::string lf_laloText(double latitude, double longitude) { return fmt::format("{:.6f},{:.6f}", latitude, longitude); }

bool lf_setRegistration(const TrafficReceiver& receiver, TrafficUpdate& update) {
    std::string_view registration = lf_field(receiver, kRegistrationField);
    if (registration.size() > kMaxRegistrationLength) return false;
    if (registration == kNull)
        update.identity.registration.clear();
    else
        update.identity.registration.assign(registration);
    return true;
}

bool lf_setCallsign(const TrafficReceiver& receiver, TrafficUpdate& update) {
    std::string_view callsign = lf_field(receiver, kCallsignField);
    // Stand-ins the feed sends for objects that are not aircraft.
    if (callsign == "ERARMTR0" || callsign == "AIRPORT1") return false;
    if (callsign == kNull || callsign.find('@') != std::string_view::npos)
        update.identity.callsign.clear();
    else
        update.identity.callsign.assign(callsign);
    return true;
}

std::string lf_textOrEmpty(std::string_view field) { return field == kNull ? std::string() : std::string(field); }

double lf_trueAirspeedForAltitude(double feet) {
    if (feet <= 2000) return 180;
    if (feet <= 5000) return 220;
    if (feet <= 10000) return 250;
    if (feet <= 20000) return 350;
    return 430;
}

bool lf_onGround(double altitude, double groundSpeed, std::optional<double> refElevation) {
    double d = altitude - refElevation.value_or(kNoRefElevationFeet);
    return d <= 0 || (d <= 45 && groundSpeed <= 120) || (d <= 90 && groundSpeed <= 80) ||
           (d <= 120 && groundSpeed <= 43);
}

void lf_processLine(TrafficReceiver& receiver) {
    TrafficUpdate update;
    clv::PosSample& s = update.sample;
    clv::AcIdentity& id = update.identity;

    // The traffic clock follows every time stamp, also of lines dropped later.
    std::string_view field = lf_field(receiver, kTimestampField);
    double timestamp = 0;
    if (!lf_readNumber(field, timestamp)) throw LineFailure(fmt::format("timestamp:{}", field));
    // Checked before the traffic clock takes it: one bad stamp would move the clock.
    if (timestamp <= 0)
        throw LineRefused(clv::Refusal::Stamp, fmt::format("time stamp {:g} not after 1970", timestamp));
    if (timestamp > static_cast<double>(gf_now()) + kMaxAheadSeconds)
        throw LineRefused(clv::Refusal::Stamp, fmt::format("time stamp {:.0f} ahead of the clock", timestamp));
    receiver.dataTimestamp = timestamp;
    trafficDataTimestamp = timestamp;
    update.timestamp = timestamp;
    s.feedTime = timestamp;
    if (receiver.fields.size() < kMinFieldCount) return;
    lf_checkTextFields(receiver);

    field = lf_field(receiver, kLatitudeField);
    if (!lf_readNumber(field, s.latitude)) throw LineFailure(fmt::format("lat:{}", field));
    field = lf_field(receiver, kLongitudeField);
    if (!lf_readNumber(field, s.longitude)) throw LineFailure(fmt::format("lon:{}", field));
    if (s.latitude < -90 || s.latitude > 90 || s.longitude < -180 || s.longitude > 180 ||
        gf_isNullPosition(s.latitude, s.longitude))
        throw LineRefused(clv::Refusal::ImpossibleValue, "lalo:" + lf_laloText(s.latitude, s.longitude));

    if (gf_distanceNm(receiver.rangeCentre(), clv::LatLon{s.latitude, s.longitude}) > lateralRangeNm.load()) return;

    if (!lf_setRegistration(receiver, update)) return;
    if (receiver.collectCallsigns.load()) receiver.noteCallsign(lf_field(receiver, kCallsignField));

    id.airline.clear();
    id.type.clear();
    field = lf_field(receiver, kTypeField);
    if (field != kNull && field != "0" && field != "ZZZZ") id.type.assign(field);
    if (!gf_categoryFilter(id, lf_field(receiver, kCategoryField))) return;

    s.hasHeading = false;
    s.headingFromAdsb = false;
    if (lf_field(receiver, kSourceField) == kAdsbSource) {
        field = lf_field(receiver, kTrueHeadingField);
        double heading = 0;
        if (!lf_readNumber(field, heading)) throw LineFailure(fmt::format("true heading:{}", field));
        if (heading > 360)
            throw LineRefused(clv::Refusal::ImpossibleValue, fmt::format("true heading:{:.2F}", heading));
        if (heading >= 0) {
            // North is 2 pi, so that a heading is never mistaken for "none".
            s.heading = heading == 0 ? clv::kTwoPi : heading * clv::kDegToRad;
            s.hasHeading = true;
            s.headingFromAdsb = true;
        }
    }

    field = lf_field(receiver, kHexidField);
    {
        auto [ptr, ec] = std::from_chars(field.data(), field.data() + field.size(), update.hexid, 10);
        if (ec != std::errc()) throw LineFailure(fmt::format("hexid incorrect{}", field));
        if (update.hexid <= clv::kLastStaticHexid) return;
    }

    field = lf_field(receiver, kGroundSpeedField);
    if (!lf_readNumber(field, s.groundSpeed)) throw LineFailure(fmt::format("gs:{}", field));
    lf_checkRange("ground speed", s.groundSpeed, -kMaxSpeedKnots, kMaxSpeedKnots);
    field = lf_field(receiver, kAltitudeField);
    if (!lf_readNumber(field, s.altitude))
        throw LineFailure(fmt::format("altitude {} incorrect, from: {}", field, receiver.lastDatagram));
    lf_checkRange("altitude", s.altitude, kMinAltitudeFeet, kMaxAltitudeFeet);

    if (s.altitude <= 0) {
        s.altitude = 0;
    } else if (s.altitude < kGroundCheckCeilingFeet &&
               lf_onGround(s.altitude, s.groundSpeed, receiver.refElevation())) {
        s.altitude = 0;
    }
    if (s.groundSpeed <= kTaxiSpeedKnots) s.altitude = 0;
    s.airborne = s.altitude > 0;

    if (!lf_setCallsign(receiver, update)) return;
    if (id.callsign.empty() && id.registration.empty()) return;

    if (!s.airborne) {
        std::optional<clv::LatLon> park = gf_feedParkAirport();
        if (!park || gf_distanceNm(*park, clv::LatLon{s.latitude, s.longitude}) > kParkAirportRadiusNm) return;
    }

    field = lf_field(receiver, kTrackField);
    if (field.empty()) {
        s.track = 0;
    } else if (!lf_readNumber(field, s.track)) {
        throw LineFailure(fmt::format("track incorrect {}", field));
    }
    lf_checkRange("track", s.track, 0.0, kMaxTrackDegrees);
    if (s.track == 0 && s.hasHeading) s.track = s.heading * clv::kRadToDeg;

    field = lf_field(receiver, kVerticalSpeedField);
    if (!lf_readNumber(field, s.verticalSpeed)) throw LineFailure(fmt::format("vs:{}", field));
    lf_checkRange("vertical speed", s.verticalSpeed, -kMaxVerticalSpeedFpm, kMaxVerticalSpeedFpm);

    id.origin = lf_textOrEmpty(lf_field(receiver, kOriginField));
    id.destination = lf_textOrEmpty(lf_field(receiver, kDestinationField));

    if (s.airborne) {
        field = lf_field(receiver, kRollField);
        double roll = 0;
        if (!lf_readNumber(field, roll)) throw LineFailure(fmt::format("roll:{}", field));
        lf_checkRange("roll", roll, -kMaxRollDegrees, kMaxRollDegrees);
        if (roll != -1 && roll != 0) {
            // The feed's bank is positive to the right; the simulator's the other way.
            s.roll = -roll * clv::kDegToRad;
            s.hasRoll = true;
        }
    }

    field = lf_field(receiver, kTrueAirspeedField);
    if (!lf_readNumber(field, s.trueAirspeed)) throw LineFailure(fmt::format("TAS incorrect{}", field));
    lf_checkRange("true airspeed", s.trueAirspeed, -kMaxSpeedKnots, kMaxSpeedKnots);
    if (s.trueAirspeed == -1) s.trueAirspeed = lf_trueAirspeedForAltitude(s.altitude);

    s.holdMark = false;

    gf_queueTrafficUpdate(std::move(update));
}

}  // namespace

bool gf_categoryFilter(const clv::AcIdentity& identity, std::string_view category) {
    // Types that are on the feed but are no aircraft the simulator should show.
    static const std::unordered_set<std::string_view> notAircraft{"GRND", "GLID", "SERV", "BALL",
                                                                   "PARA", "SHIP", "EMER"};
    if (identity.type.empty()) return false;
    if (category.empty() || category == kNull) return true;
    // Gliders, lighter-than-air, ultralights and surface vehicles.
    if (category == "B1" || category == "B2" || category == "B4" || category == "C1" || category == "C2")
        return false;
    if (identity.type.size() > 4) return false;
    return !notAircraft.contains(identity.type);
}

void processLine(TrafficReceiver& receiver) {
    try {
        lf_processLine(receiver);
    } catch (const LineRefused& e) {
        receiver.refusedLines.note(e.kind, e.what(), receiver.lastDatagram);
    } catch (const std::runtime_error&) {
        // A bad line is expected now and then; it is dropped silently.
    } catch (const std::exception& e) {
        gf_log("exception in processLine: {}", e.what());
    } catch (...) {
        gf_log("exception in processLine: {}", "Unknown exception");
    }
}
