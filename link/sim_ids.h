#pragma once
// The program's own SimConnect identifiers: subscribed system events, data
// definitions, client events with their notification group, and request ids,
// plus the registration of all of them on a fresh connection.
#include <cstdint>

#include "platform/simconnect.h"

namespace clv {

enum SimEventId : std::uint32_t {
    EVENT_SIM = 201,  // "Sim": data 1 while a flight runs
    EVENT_OBJECT_ADDED = 202,
    EVENT_OBJECT_REMOVED = 203,
    EVENT_FRAME = 204,
    EVENT_FLIGHT_LOADED = 205,
};

enum DataDefId : std::uint32_t {
    DEF_AI_CONTROLS = 401,   // AiControlsData, set on AI aircraft
    DEF_AI_POSITION = 402,   // AiPositionData, set on AI aircraft
    DEF_USER_AC = 403,       // UserAcData
    DEF_AC_IN_RANGE = 404,   // AcInRangeData, by type
    DEF_STATIC_CG = 405,     // StaticCgData
    DEF_LIGHT_MASK = 406,    // registered, never requested
    DEF_USER_TITLE = 407,
    DEF_USER_MODEL = 408,
    DEF_USER_ON_GROUND = 409,
};

// Each is mapped to the simulator event of the same name.
enum ClientEventId : std::uint32_t {
    BEACON_LIGHTS_SET = 206,
    NAV_LIGHTS_SET = 207,
    TAXI_LIGHTS_SET = 208,
    STROBES_SET = 209,
    LANDING_LIGHTS_SET = 210,
    CABIN_LIGHTS_SET = 211,
    LOGO_LIGHTS_SET = 212,
    ALL_LIGHTS_TOGGLE = 213,
    FREEZE_LATITUDE_LONGITUDE_SET = 214,
    FREEZE_ALTITUDE_SET = 215,
    FREEZE_ATTITUDE_SET = 216,
    FLAPS_SET = 217,
    SPOILERS_SET = 218,
    GEAR_SET = 219,
    ENGINE_AUTO_START = 220,  // mapped, but not in the notification group
    ENGINE_AUTO_SHUTDOWN = 221,
    THROTTLE_SET = 222,
};

enum SimRequestId : std::uint32_t {
    REQUEST_AC_IN_RANGE = 101,     // definition 404, by type
    REQUEST_STATIC_CG = 102,       // definition 405, once
    REQUEST_RELEASE_CONTROL = 103,
    REQUEST_REMOVE_AC = 105,
    REQUEST_USER_TITLE = 106,      // definition 407, once
    REQUEST_USER_MODEL = 107,      // definition 408, once
    REQUEST_USER_ON_GROUND = 108,  // definition 409, every second
    REQUEST_USER_AC_DATA = 109,    // definition 403, once
    REQUEST_FLIGHT_PLAN = 110,
};

// Each creation has a request id of its own, counted up from here, so that the
// simulator's answer naming the new object tells which creation it belongs to.
inline constexpr std::uint32_t kFirstCreationRequestId = 0x10000;

// Every client event the program transmits names this group (priority 1).
inline constexpr std::uint32_t kNotificationGroup = 301;

}  // namespace clv

// Registers every identifier on a freshly opened connection: the five
// subscriptions, the nine data definitions, the 17 client events, the group
// members and the group's priority. Results are not tested: a refused
// registration shows up as an exception message.
void gf_registerSimConnect(clv::SimConnectHandle handle);
