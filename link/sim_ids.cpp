#include "link/sim_ids.h"

namespace {

using namespace clv;

// Adds one client event, maskable, to the program's notification group.
void lf_addEventToGroup(SimConnectHandle handle, ClientEventId eventId) {
    SimConnect_AddClientEventToNotificationGroup(handle, kNotificationGroup, eventId, true);
}

void lf_add(SimConnectHandle handle, DataDefId id, const char* name, const char* units, ScDataType type) {
    SimConnect_AddToDataDefinition(handle, id, name, units, type, 0.0f, kScUnused);
}

}  // namespace

void gf_registerSimConnect(SimConnectHandle h) {
    SimConnect_SubscribeToSystemEvent(h, EVENT_SIM, "Sim");
    SimConnect_SubscribeToSystemEvent(h, EVENT_OBJECT_ADDED, "ObjectAdded");
    SimConnect_SubscribeToSystemEvent(h, EVENT_OBJECT_REMOVED, "ObjectRemoved");
    SimConnect_SubscribeToSystemEvent(h, EVENT_FLIGHT_LOADED, "FlightLoaded");
    SimConnect_SubscribeToSystemEvent(h, EVENT_FRAME, "Frame");

    constexpr ScDataType f64 = ScDataType::Float64;
    constexpr ScDataType i64 = ScDataType::Int64;
    lf_add(h, DEF_USER_TITLE, "TITLE", nullptr, ScDataType::StringV);
    lf_add(h, DEF_USER_MODEL, "ATC MODEL", nullptr, ScDataType::String32);
    lf_add(h, DEF_USER_ON_GROUND, "SIM ON GROUND", "Bool", i64);

    lf_add(h, DEF_AI_POSITION, "Plane Latitude", "degree", f64);
    lf_add(h, DEF_AI_POSITION, "Plane Longitude", "degree", f64);
    lf_add(h, DEF_AI_POSITION, "Plane Pitch degrees", "radians", f64);
    lf_add(h, DEF_AI_POSITION, "Plane Bank degrees", "radians", f64);
    lf_add(h, DEF_AI_POSITION, "Plane Heading degrees true", "radians", f64);
    lf_add(h, DEF_AI_POSITION, "Plane Altitude", "feet", f64);
    lf_add(h, DEF_AI_POSITION, "Vertical Speed", "feet per second", f64);
    lf_add(h, DEF_AI_POSITION, "Airspeed True", "knots", f64);

    lf_add(h, DEF_USER_AC, "Plane Latitude", "degree", f64);
    lf_add(h, DEF_USER_AC, "Plane Longitude", "degree", f64);
    lf_add(h, DEF_USER_AC, "Plane Pitch degrees", "radians", f64);
    lf_add(h, DEF_USER_AC, "Plane Bank degrees", "radians", f64);
    lf_add(h, DEF_USER_AC, "Plane Heading degrees true", "radians", f64);
    lf_add(h, DEF_USER_AC, "Plane Altitude", "feet", f64);
    lf_add(h, DEF_USER_AC, "Plane Alt Above Ground", "feet", f64);
    lf_add(h, DEF_USER_AC, "Ground Velocity", "knots", f64);
    lf_add(h, DEF_USER_AC, "ZULU TIME", "Seconds", i64);
    lf_add(h, DEF_USER_AC, "ZULU DAY OF YEAR", "Number", i64);
    lf_add(h, DEF_USER_AC, "ZULU YEAR", "Number", i64);
    lf_add(h, DEF_USER_AC, "LIGHT STATES", "Mask", i64);

    lf_add(h, DEF_STATIC_CG, "Static CG to Ground", "feet", f64);
    lf_add(h, DEF_STATIC_CG, "Static Pitch", "radians", f64);

    lf_add(h, DEF_LIGHT_MASK, "Light On States", "Mask", i64);

    lf_add(h, DEF_AC_IN_RANGE, "Plane Alt Above Ground", "feet", f64);
    lf_add(h, DEF_AC_IN_RANGE, "Ground Altitude", "feet", f64);
    lf_add(h, DEF_AC_IN_RANGE, "SIM ON GROUND", "Bool", i64);
    lf_add(h, DEF_AC_IN_RANGE, "ATC ID", nullptr, ScDataType::String32);

    lf_add(h, DEF_AI_CONTROLS, "SPOILERS HANDLE POSITION", "percent", f64);
    lf_add(h, DEF_AI_CONTROLS, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", f64);
    lf_add(h, DEF_AI_CONTROLS, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", f64);

    static constexpr struct {
        ClientEventId id;
        const char* name;
    } kMappings[] = {
        {GEAR_SET, "GEAR_SET"},
        {ENGINE_AUTO_START, "ENGINE_AUTO_START"},
        {ENGINE_AUTO_SHUTDOWN, "ENGINE_AUTO_SHUTDOWN"},
        {THROTTLE_SET, "THROTTLE_SET"},
        {FLAPS_SET, "FLAPS_SET"},
        {SPOILERS_SET, "SPOILERS_SET"},
        {NAV_LIGHTS_SET, "NAV_LIGHTS_SET"},
        {BEACON_LIGHTS_SET, "BEACON_LIGHTS_SET"},
        {LANDING_LIGHTS_SET, "LANDING_LIGHTS_SET"},
        {TAXI_LIGHTS_SET, "TAXI_LIGHTS_SET"},
        {STROBES_SET, "STROBES_SET"},
        {LOGO_LIGHTS_SET, "LOGO_LIGHTS_SET"},
        {CABIN_LIGHTS_SET, "CABIN_LIGHTS_SET"},
        {ALL_LIGHTS_TOGGLE, "ALL_LIGHTS_TOGGLE"},
        {FREEZE_LATITUDE_LONGITUDE_SET, "FREEZE_LATITUDE_LONGITUDE_SET"},
        {FREEZE_ALTITUDE_SET, "FREEZE_ALTITUDE_SET"},
        {FREEZE_ATTITUDE_SET, "FREEZE_ATTITUDE_SET"},
    };
    for (const auto& m : kMappings) SimConnect_MapClientEventToSimEvent(h, m.id, m.name);

    for (ClientEventId id : {NAV_LIGHTS_SET, BEACON_LIGHTS_SET, LANDING_LIGHTS_SET, TAXI_LIGHTS_SET, STROBES_SET,
                             LOGO_LIGHTS_SET, CABIN_LIGHTS_SET, ALL_LIGHTS_TOGGLE, FLAPS_SET, SPOILERS_SET, GEAR_SET,
                             ENGINE_AUTO_SHUTDOWN, THROTTLE_SET, FREEZE_LATITUDE_LONGITUDE_SET, FREEZE_ALTITUDE_SET,
                             FREEZE_ATTITUDE_SET}) {
        lf_addEventToGroup(h, id);
    }
    SimConnect_SetNotificationGroupPriority(h, kNotificationGroup, kScGroupPriorityHighest);
}
