#pragma once
// The objects of the stand-in's world and the simulation variables that data
// definitions name: which exist, in which units, and how a data block is laid
// out, written and read.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/simstandin/scenario.h"

#include "platform/simconnect.h"

namespace clv::standin {

enum class ObjectOrigin { User, Ai, Foreign };

// Bits of "LIGHT STATES" / "LIGHT ON STATES".
inline constexpr std::int64_t kLightNav = 0x0001;
inline constexpr std::int64_t kLightBeacon = 0x0002;
inline constexpr std::int64_t kLightLanding = 0x0004;
inline constexpr std::int64_t kLightTaxi = 0x0008;
inline constexpr std::int64_t kLightStrobe = 0x0010;
inline constexpr std::int64_t kLightPanel = 0x0020;
inline constexpr std::int64_t kLightRecognition = 0x0040;
inline constexpr std::int64_t kLightWing = 0x0080;
inline constexpr std::int64_t kLightLogo = 0x0100;
inline constexpr std::int64_t kLightCabin = 0x0200;
inline constexpr std::int64_t kAllLights = 0x03FF;

// "nav,beacon,..." of the bits that are on; "-" for none.
std::string gf_lightNames(std::int64_t lights);

struct ClientEventRecord {
    std::string event;  // the simulator event the client event was mapped to
    std::uint32_t data = 0;
    std::uint32_t group = 0;
};

struct SimObject {
    std::uint32_t id = 0;
    ObjectOrigin origin = ObjectOrigin::Ai;
    ScObjectType type = ScObjectType::Aircraft;
    std::string title;
    std::string atcId;  // the tail number an AI aircraft was created with
    std::string atcModel;
    double latitude = 0.0;  // degrees
    double longitude = 0.0;
    double altitudeFt = 0.0;
    double pitchDeg = 0.0;
    double bankDeg = 0.0;
    double headingDeg = 0.0;
    double groundSpeedKt = 0.0;
    double verticalSpeedFps = 0.0;
    double trueAirspeedKt = 0.0;
    // Set for the user aircraft and foreign objects; an AI aircraft's follows its
    // height whenever a data block moves it.
    bool onGround = true;
    std::int64_t lights = 0;
    double staticCgFt = 5.0;
    double staticPitchDeg = 0.0;
    double spoilersPct = 0.0;
    double throttle1Pct = 0.0;
    double throttle2Pct = 0.0;
    bool released = false;
    bool freezeLatLon = false;
    bool freezeAltitude = false;
    bool freezeAttitude = false;
    std::uint32_t positionUpdates = 0;  // data blocks set on it
    std::string flightPlanPath;
    std::string departure;
    std::string destination;
    std::string flightRules;
    std::vector<ClientEventRecord> events;
};

// What a variable is measured in; every kind has one stored unit.
enum class VarKind { Angle, Length, Speed, VerticalSpeed, Percent, Bool, Mask, Number, Seconds, Text };

// One variable of a data definition, checked when it was added.
struct DefinedVar {
    std::string name;  // as the client wrote it
    std::string units;
    ScDataType type = ScDataType::Float64;
    VarKind kind = VarKind::Number;
    double factor = 1.0;  // stored unit -> requested unit
    std::uint32_t varId = 0;  // index into the stand-in's table of variables
};

// Why a variable cannot be added: the 1-based argument of AddToDataDefinition at fault.
struct VarProblem {
    std::uint32_t argumentIndex = 0;
};

// Checks name, unit and type; on success the variable is ready for blocks.
std::optional<DefinedVar> gf_defineVar(std::string_view name, std::string_view units, ScDataType type,
                                       VarProblem& problem);

// The world values a variable may need besides the object itself.
struct WorldView {
    double groundElevationFt = 0.0;  // at the slope's reference point
    std::int64_t zulu = 0;           // seconds since 1970
    GroundSlope slope;

    // The ground elevation (feet) at a point.
    double groundAt(double latitude, double longitude) const;
};

// Whether an AI aircraft at this altitude stands on the ground (its CG at most 1 ft
// above its static height).
bool gf_onGroundAt(const SimObject& object, const WorldView& world);

// The data block of the variables for one object (packed, as the protocol says).
std::string gf_encodeBlock(const std::vector<DefinedVar>& vars, const SimObject& object, const WorldView& world);
// Size of a block of these variables; 0 when it holds a text of variable length.
std::size_t gf_blockSize(const std::vector<DefinedVar>& vars);
// Writes the settable variables of a block onto the object; false when the block
// does not have the definition's size.
bool gf_decodeBlock(const std::vector<DefinedVar>& vars, std::string_view block, SimObject& object,
                    const WorldView& world);

}  // namespace clv::standin
