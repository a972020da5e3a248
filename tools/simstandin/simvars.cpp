#include "tools/simstandin/simvars.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>

#include "tools/simstandin/zulu.h"

namespace clv::standin {

namespace {

enum VarId : std::uint32_t {
    kLatitude,
    kLongitude,
    kPitch,
    kBank,
    kHeading,
    kAltitude,
    kAltAboveGround,
    kGroundAltitude,
    kGroundVelocity,
    kVerticalSpeed,
    kAirspeedTrue,
    kZuluTime,
    kZuluDayOfYear,
    kZuluYear,
    kLightStates,
    kLightOnStates,
    kSimOnGround,
    kAtcId,
    kTitle,
    kAtcModel,
    kStaticCg,
    kStaticPitch,
    kSpoilers,
    kThrottle1,
    kThrottle2,
};

struct VarInfo {
    std::string_view name;  // upper case
    VarId id;
    VarKind kind;
    bool settable;
};

constexpr std::array kVars{
    VarInfo{"PLANE LATITUDE", kLatitude, VarKind::Angle, true},
    VarInfo{"PLANE LONGITUDE", kLongitude, VarKind::Angle, true},
    VarInfo{"PLANE PITCH DEGREES", kPitch, VarKind::Angle, true},
    VarInfo{"PLANE BANK DEGREES", kBank, VarKind::Angle, true},
    VarInfo{"PLANE HEADING DEGREES TRUE", kHeading, VarKind::Angle, true},
    VarInfo{"PLANE ALTITUDE", kAltitude, VarKind::Length, true},
    VarInfo{"PLANE ALT ABOVE GROUND", kAltAboveGround, VarKind::Length, false},
    VarInfo{"GROUND ALTITUDE", kGroundAltitude, VarKind::Length, false},
    VarInfo{"GROUND VELOCITY", kGroundVelocity, VarKind::Speed, true},
    VarInfo{"VERTICAL SPEED", kVerticalSpeed, VarKind::VerticalSpeed, true},
    VarInfo{"AIRSPEED TRUE", kAirspeedTrue, VarKind::Speed, true},
    VarInfo{"ZULU TIME", kZuluTime, VarKind::Seconds, false},
    VarInfo{"ZULU DAY OF YEAR", kZuluDayOfYear, VarKind::Number, false},
    VarInfo{"ZULU YEAR", kZuluYear, VarKind::Number, false},
    VarInfo{"LIGHT STATES", kLightStates, VarKind::Mask, false},
    VarInfo{"LIGHT ON STATES", kLightOnStates, VarKind::Mask, false},
    VarInfo{"SIM ON GROUND", kSimOnGround, VarKind::Bool, false},
    VarInfo{"ATC ID", kAtcId, VarKind::Text, false},
    VarInfo{"TITLE", kTitle, VarKind::Text, false},
    VarInfo{"ATC MODEL", kAtcModel, VarKind::Text, false},
    VarInfo{"STATIC CG TO GROUND", kStaticCg, VarKind::Length, false},
    VarInfo{"STATIC PITCH", kStaticPitch, VarKind::Angle, false},
    VarInfo{"SPOILERS HANDLE POSITION", kSpoilers, VarKind::Percent, true},
    VarInfo{"GENERAL ENG THROTTLE LEVER POSITION:1", kThrottle1, VarKind::Percent, true},
    VarInfo{"GENERAL ENG THROTTLE LEVER POSITION:2", kThrottle2, VarKind::Percent, true},
};

struct UnitInfo {
    VarKind kind;
    std::string_view name;  // lower case
    double factor;          // stored unit -> this unit
};

constexpr double kDegToRad = 0.017453292519943295;

constexpr std::array kUnits{
    UnitInfo{VarKind::Angle, "degree", 1.0},
    UnitInfo{VarKind::Angle, "degrees", 1.0},
    UnitInfo{VarKind::Angle, "radian", kDegToRad},
    UnitInfo{VarKind::Angle, "radians", kDegToRad},
    UnitInfo{VarKind::Length, "feet", 1.0},
    UnitInfo{VarKind::Length, "foot", 1.0},
    UnitInfo{VarKind::Length, "ft", 1.0},
    UnitInfo{VarKind::Length, "meter", 0.3048},
    UnitInfo{VarKind::Length, "meters", 0.3048},
    UnitInfo{VarKind::Speed, "knot", 1.0},
    UnitInfo{VarKind::Speed, "knots", 1.0},
    UnitInfo{VarKind::Speed, "meters per second", 0.514444},
    UnitInfo{VarKind::VerticalSpeed, "feet per second", 1.0},
    UnitInfo{VarKind::VerticalSpeed, "feet per minute", 60.0},
    UnitInfo{VarKind::VerticalSpeed, "meters per second", 0.3048},
    UnitInfo{VarKind::Percent, "percent", 1.0},
    UnitInfo{VarKind::Percent, "percent over 100", 0.01},
    UnitInfo{VarKind::Bool, "bool", 1.0},
    UnitInfo{VarKind::Mask, "mask", 1.0},
    UnitInfo{VarKind::Number, "number", 1.0},
    UnitInfo{VarKind::Seconds, "seconds", 1.0},
    UnitInfo{VarKind::Seconds, "second", 1.0},
};

std::string lf_upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
    return out;
}

std::string lf_lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// Bytes of a fixed-size type; 0 for STRINGV.
std::size_t lf_typeSize(ScDataType type) {
    switch (type) {
        case ScDataType::Int32:
        case ScDataType::Float32: return 4;
        case ScDataType::Int64:
        case ScDataType::Float64: return 8;
        case ScDataType::String8: return 8;
        case ScDataType::String32: return 32;
        case ScDataType::String64: return 64;
        case ScDataType::String128: return 128;
        case ScDataType::String256: return 256;
        case ScDataType::String260: return 260;
        default: return 0;
    }
}

bool lf_isText(ScDataType type) {
    return type >= ScDataType::String8 && type <= ScDataType::StringV;
}

double lf_number(std::uint32_t id, const SimObject& o, const WorldView& w) {
    switch (id) {
        case kLatitude: return o.latitude;
        case kLongitude: return o.longitude;
        case kPitch: return o.pitchDeg;
        case kBank: return o.bankDeg;
        case kHeading: return o.headingDeg;
        case kAltitude: return o.altitudeFt;
        case kAltAboveGround: return o.altitudeFt - w.groundAt(o.latitude, o.longitude);
        case kGroundAltitude: return w.groundAt(o.latitude, o.longitude);
        case kGroundVelocity: return o.groundSpeedKt;
        case kVerticalSpeed: return o.verticalSpeedFps;
        case kAirspeedTrue: return o.trueAirspeedKt;
        case kZuluTime: return static_cast<double>(gf_zuluParts(w.zulu).secondsOfDay);
        case kZuluDayOfYear: return static_cast<double>(gf_zuluParts(w.zulu).dayOfYear);
        case kZuluYear: return static_cast<double>(gf_zuluParts(w.zulu).year);
        case kLightStates:
        case kLightOnStates: return static_cast<double>(o.lights);
        case kSimOnGround: return o.onGround ? 1.0 : 0.0;
        case kStaticCg: return o.staticCgFt;
        case kStaticPitch: return o.staticPitchDeg;
        case kSpoilers: return o.spoilersPct;
        case kThrottle1: return o.throttle1Pct;
        case kThrottle2: return o.throttle2Pct;
        default: return 0.0;
    }
}

const std::string& lf_text(std::uint32_t id, const SimObject& o) {
    switch (id) {
        case kAtcId: return o.atcId;
        case kAtcModel: return o.atcModel;
        default: return o.title;
    }
}

void lf_setNumber(std::uint32_t id, SimObject& o, double v) {
    switch (id) {
        case kLatitude: o.latitude = v; break;
        case kLongitude: o.longitude = v; break;
        case kPitch: o.pitchDeg = v; break;
        case kBank: o.bankDeg = v; break;
        case kHeading: o.headingDeg = v; break;
        case kAltitude: o.altitudeFt = v; break;
        case kGroundVelocity: o.groundSpeedKt = v; break;
        case kVerticalSpeed: o.verticalSpeedFps = v; break;
        case kAirspeedTrue: o.trueAirspeedKt = v; break;
        case kSpoilers: o.spoilersPct = v; break;
        case kThrottle1: o.throttle1Pct = v; break;
        case kThrottle2: o.throttle2Pct = v; break;
        default: break;  // read-only in this simulator
    }
}

template <class T>
void lf_append(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <class T>
T lf_take(std::string_view block, std::size_t pos) {
    T value;
    std::memcpy(&value, block.data() + pos, sizeof value);
    return value;
}

}  // namespace

std::string gf_lightNames(std::int64_t lights) {
    static constexpr std::array<std::pair<std::int64_t, const char*>, 10> kNames{{
        {kLightNav, "nav"}, {kLightBeacon, "beacon"}, {kLightLanding, "landing"}, {kLightTaxi, "taxi"},
        {kLightStrobe, "strobe"}, {kLightPanel, "panel"}, {kLightRecognition, "recognition"},
        {kLightWing, "wing"}, {kLightLogo, "logo"}, {kLightCabin, "cabin"},
    }};
    std::string out;
    for (const auto& [bit, name] : kNames) {
        if ((lights & bit) == 0) continue;
        if (!out.empty()) out += ',';
        out += name;
    }
    return out.empty() ? "-" : out;
}

std::optional<DefinedVar> gf_defineVar(std::string_view name, std::string_view units, ScDataType type,
                                       VarProblem& problem) {
    const std::string upper = lf_upper(name);
    auto var = std::find_if(kVars.begin(), kVars.end(), [&](const VarInfo& v) { return v.name == upper; });
    if (var == kVars.end()) {
        problem.argumentIndex = 2;
        return std::nullopt;
    }
    if (type == ScDataType::Invalid || type > ScDataType::StringV || lf_isText(type) != (var->kind == VarKind::Text)) {
        problem.argumentIndex = 4;
        return std::nullopt;
    }
    DefinedVar out{std::string(name), std::string(units), type, var->kind, 1.0, var->id};
    if (var->kind != VarKind::Text) {
        const std::string lower = lf_lower(units);
        auto unit = std::find_if(kUnits.begin(), kUnits.end(),
                                 [&](const UnitInfo& u) { return u.kind == var->kind && u.name == lower; });
        if (unit == kUnits.end()) {
            problem.argumentIndex = 3;
            return std::nullopt;
        }
        out.factor = unit->factor;
    }
    return out;
}

bool gf_onGroundAt(const SimObject& object, const WorldView& world) {
    return object.altitudeFt - world.groundAt(object.latitude, object.longitude) <= object.staticCgFt + 1.0;
}

double WorldView::groundAt(double latitude, double longitude) const {
    if (slope.northPercent == 0.0 && slope.eastPercent == 0.0) return groundElevationFt;
    // Metres north and east of the reference point on a local flat earth.
    constexpr double kMetresPerDegree = 111132.95;
    constexpr double kFeetPerMetre = 1.0 / 0.3048;
    const double north = (latitude - slope.latitude) * kMetresPerDegree;
    const double east = (longitude - slope.longitude) * kMetresPerDegree * std::cos(slope.latitude * 0.017453292519943295);
    return groundElevationFt + (north * slope.northPercent + east * slope.eastPercent) / 100.0 * kFeetPerMetre;
}

std::size_t gf_blockSize(const std::vector<DefinedVar>& vars) {
    std::size_t size = 0;
    for (const auto& v : vars) {
        const std::size_t s = lf_typeSize(v.type);
        if (s == 0) return 0;
        size += s;
    }
    return size;
}

std::string gf_encodeBlock(const std::vector<DefinedVar>& vars, const SimObject& object, const WorldView& world) {
    std::string out;
    for (const auto& v : vars) {
        if (v.kind == VarKind::Text) {
            const std::string& text = lf_text(v.varId, object);
            const std::size_t size = lf_typeSize(v.type);
            if (size == 0) {
                out += text;
                out += '\0';
            } else {
                std::string field = text.substr(0, size - 1);
                field.resize(size, '\0');
                out += field;
            }
            continue;
        }
        const double value = lf_number(v.varId, object, world) * v.factor;
        switch (v.type) {
            case ScDataType::Int32: lf_append(out, static_cast<std::int32_t>(std::llround(value))); break;
            case ScDataType::Int64: lf_append(out, static_cast<std::int64_t>(std::llround(value))); break;
            case ScDataType::Float32: lf_append(out, static_cast<float>(value)); break;
            default: lf_append(out, value); break;
        }
    }
    return out;
}

bool gf_decodeBlock(const std::vector<DefinedVar>& vars, std::string_view block, SimObject& object,
                    const WorldView& /*world*/) {
    // Read everything first, so a block of the wrong size changes nothing.
    std::vector<std::pair<std::uint32_t, double>> values;
    std::size_t pos = 0;
    for (const auto& v : vars) {
        std::size_t size = lf_typeSize(v.type);
        if (size == 0) {  // STRINGV: up to and including its NUL
            auto nul = block.find('\0', pos);
            if (nul == std::string_view::npos) return false;
            pos = nul + 1;
            continue;
        }
        if (pos > block.size() || block.size() - pos < size) return false;
        if (v.kind != VarKind::Text) {
            double raw = 0.0;
            switch (v.type) {
                case ScDataType::Int32: raw = lf_take<std::int32_t>(block, pos); break;
                case ScDataType::Int64: raw = static_cast<double>(lf_take<std::int64_t>(block, pos)); break;
                case ScDataType::Float32: raw = lf_take<float>(block, pos); break;
                default: raw = lf_take<double>(block, pos); break;
            }
            values.emplace_back(v.varId, raw / v.factor);
        }
        pos += size;
    }
    if (pos != block.size()) return false;
    for (const auto& [id, value] : values) lf_setNumber(id, object, value);
    return true;
}

}  // namespace clv::standin
