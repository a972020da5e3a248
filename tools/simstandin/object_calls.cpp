// The SimConnect calls that read or change objects: data requests, data set on
// an object, client events, and the AI calls (create, release, remove, flight plan).
#include <algorithm>
#include <chrono>
#include <cmath>

#include <pugixml.hpp>

#include "tools/simstandin/standin_internal.h"

namespace clv::standin {

namespace {

constexpr double kEarthRadiusM = 1852.0 * 60.0 * 180.0 / 3.141592653589793;  // a minute of arc is a nautical mile

double lf_distanceM(double lat1, double lon1, double lat2, double lon2) {
    constexpr double d2r = 0.017453292519943295;
    const double dLat = (lat2 - lat1) * d2r;
    const double dLon = (lon2 - lon1) * d2r;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * d2r) * std::cos(lat2 * d2r) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2.0 * kEarthRadiusM * std::asin(std::min(1.0, std::sqrt(a)));
}

}  // namespace

// An object that AI calls may act on: not unknown (3), not the user aircraft (24).
SimObject* SimStandIn::Impl::aiObject(Client& c, std::uint32_t objectId, std::uint32_t packet, json& e) {
    SimObject* o = findObject(objectId);
    if (o == nullptr) {
        sendException(c, kScExceptionUnrecognizedId, packet, 1, &e);
        return nullptr;
    }
    if (o->origin == ObjectOrigin::User) {
        sendException(c, kScExceptionOperationInvalidForObjectType, packet, 1, &e);
        return nullptr;
    }
    return o;
}

void SimStandIn::Impl::requestData(Client& c, const ScRequestDataCall& r, std::uint32_t packet, json& e) {
    auto& periodic = c.periodic;
    periodic.erase(std::remove_if(periodic.begin(), periodic.end(),
                                  [&](const Periodic& p) { return p.requestId == r.requestId; }),
                   periodic.end());
    if (r.period == ScPeriod::Never) return;
    if (!c.definitions.contains(r.defineId)) {
        sendException(c, kScExceptionUnrecognizedId, packet, 2, &e);
        return;
    }
    SimObject* o = findObject(r.objectId);
    if (o == nullptr) {
        sendException(c, kScExceptionUnrecognizedId, packet, 3, &e);
        return;
    }
    if (r.period == ScPeriod::Once || r.period == ScPeriod::Second) {
        sendData(c, ScRecvId::SimObjectData, r.requestId, r.defineId, *o, 1, 1);
    }
    if (r.period != ScPeriod::Once) {
        periodic.push_back(Periodic{r.requestId, r.defineId, o->id, r.period,
                                    Clock::now() + std::chrono::milliseconds(scenario.dataPeriodMs)});
    }
}

void SimStandIn::Impl::requestByType(Client& c, const ScRequestByTypeCall& r, std::uint32_t packet, json& e) {
    if (!c.definitions.contains(r.defineId)) {
        sendException(c, kScExceptionUnrecognizedId, packet, 2, &e);
        return;
    }
    const SimObject& u = user();
    std::vector<const SimObject*> found;
    for (const auto& [id, o] : objects) {
        const bool typeFits = r.objectType == ScObjectType::All ||
                              (r.objectType == ScObjectType::User ? o.origin == ObjectOrigin::User
                                                                  : o.type == r.objectType);
        if (!typeFits) continue;
        const bool inRange = r.radiusMeters == 0
                                 ? o.origin == ObjectOrigin::User
                                 : lf_distanceM(u.latitude, u.longitude, o.latitude, o.longitude) <= r.radiusMeters;
        if (inRange) found.push_back(&o);
    }
    e["objects"] = found.size();
    const auto n = static_cast<std::uint32_t>(found.size());
    for (std::uint32_t i = 0; i < n; ++i) {
        sendData(c, ScRecvId::SimObjectDataByType, r.requestId, r.defineId, *found[i], i + 1, n);
    }
}

void SimStandIn::Impl::setData(Client& c, const ScSetDataCall& r, std::uint32_t packet, json& e) {
    auto def = c.definitions.find(r.defineId);
    if (def == c.definitions.end()) {
        sendException(c, kScExceptionUnrecognizedId, packet, 1, &e);
        return;
    }
    SimObject* o = findObject(r.objectId);
    if (o == nullptr) {
        sendException(c, kScExceptionUnrecognizedId, packet, 2, &e);
        return;
    }
    const std::size_t count = r.arrayCount == 0 ? 1 : r.arrayCount;
    const std::size_t blockSize = gf_blockSize(def->second);
    if (r.unitSize == 0 || r.data.size() != count * r.unitSize || (blockSize != 0 && r.unitSize != blockSize)) {
        sendException(c, kScExceptionInvalidDataSize, packet, 5, &e);
        return;
    }
    const WorldView w = world();
    for (std::size_t i = 0; i < count; ++i) {
        if (!gf_decodeBlock(def->second, r.data.substr(i * r.unitSize, r.unitSize), *o, w)) {
            sendException(c, kScExceptionInvalidDataSize, packet, 6, &e);
            return;
        }
    }
    if (o->origin == ObjectOrigin::Ai) {
        // An AI aircraft set below the ground stands on it.
        const double standing = w.groundAt(o->latitude, o->longitude) + o->staticCgFt;
        if (o->altitudeFt < standing) o->altitudeFt = standing;
        o->onGround = gf_onGroundAt(*o, w);
        const bool moves = std::any_of(def->second.begin(), def->second.end(),
                                       [](const DefinedVar& v) { return gf_equalsNoCase(v.name, "PLANE LATITUDE"); });
        if (moves) recordHistory(*o);
    }
    ++o->positionUpdates;
}

void SimStandIn::Impl::transmit(Client& c, const ScTransmitEventCall& r, std::uint32_t packet, json& e) {
    SimObject* o = findObject(r.objectId);
    if (o == nullptr) {
        sendException(c, kScExceptionUnrecognizedId, packet, 1, &e);
        return;
    }
    auto mapped = c.mapped.find(r.eventId);
    if (mapped == c.mapped.end()) {
        sendException(c, kScExceptionUnrecognizedId, packet, 2, &e);
        return;
    }
    const std::string& name = mapped->second;
    e["event"] = name;
    o->events.push_back(ClientEventRecord{name, r.data, r.groupId});
    const bool on = r.data != 0;
    auto light = [&](std::int64_t bit) { o->lights = on ? (o->lights | bit) : (o->lights & ~bit); };
    if (name == "NAV_LIGHTS_SET") light(kLightNav);
    else if (name == "BEACON_LIGHTS_SET") light(kLightBeacon);
    else if (name == "LANDING_LIGHTS_SET") light(kLightLanding);
    else if (name == "TAXI_LIGHTS_SET") light(kLightTaxi);
    else if (name == "STROBES_SET") light(kLightStrobe);
    else if (name == "LOGO_LIGHTS_SET") light(kLightLogo);
    else if (name == "CABIN_LIGHTS_SET") light(kLightCabin);
    else if (name == "ALL_LIGHTS_TOGGLE") o->lights ^= kAllLights;
    else if (name == "FREEZE_LATITUDE_LONGITUDE_SET") o->freezeLatLon = on;
    else if (name == "FREEZE_ALTITUDE_SET") o->freezeAltitude = on;
    else if (name == "FREEZE_ATTITUDE_SET") o->freezeAttitude = on;
}

void SimStandIn::Impl::create(Client& c, const ScCreateAircraftCall& r, std::uint32_t packet, json& e) {
    const InstalledTitle* t = findInstalled(r.title);
    if (t == nullptr) {
        sendException(c, kScExceptionCreateObjectFailed, packet, 1, &e);
        return;
    }
    if (aiCount() >= scenario.maxAiObjects) {
        sendException(c, kScExceptionTooManyObjects, packet, 1, &e);
        return;
    }
    SimObject o;
    o.id = nextObjectId++;
    o.origin = ObjectOrigin::Ai;
    o.type = ScObjectType::Aircraft;
    o.title = t->title;
    o.atcId = std::string(r.tailNumber);
    o.latitude = r.position.latitude;
    o.longitude = r.position.longitude;
    o.pitchDeg = r.position.pitch;
    o.bankDeg = r.position.bank;
    o.headingDeg = r.position.heading;
    o.trueAirspeedKt = r.position.airspeed;
    o.staticCgFt = t->staticCgFt;
    o.staticPitchDeg = t->staticPitchDeg;
    o.onGround = r.position.onGround != 0;
    const double standing = world().groundAt(o.latitude, o.longitude) + o.staticCgFt;
    // Nothing is created below the ground: an aircraft asked for there stands on it.
    if (o.onGround || r.position.altitude < standing) o.onGround = true;
    o.altitudeFt = o.onGround ? standing : r.position.altitude;
    e["object_id"] = o.id;
    const SimObject& added = objects.emplace(o.id, std::move(o)).first->second;
    sendAddRemove(added, true);
    ScRecvAssignedObjectId assigned;
    assigned.requestId = r.requestId;
    assigned.objectId = added.id;
    send(c, ScRecvId::AssignedObjectId, assigned);
}

void SimStandIn::Impl::loadFlightPlan(Client& c, SimObject& o, const std::string& path, std::uint32_t packet, json& e) {
    pugi::xml_document document;
    pugi::xml_parse_result result = document.load_file(path.c_str());
    std::string used = path;
    if (!result && (path.size() < 4 || !gf_equalsNoCase(path.substr(path.size() - 4), ".pln"))) {
        used = path + ".pln";
        result = document.load_file(used.c_str());
    }
    pugi::xml_node plan = document.child("SimBase.Document").child("FlightPlan.FlightPlan");
    if (!result || !plan) {
        e["load_error"] = result ? std::string("no SimBase.Document/FlightPlan.FlightPlan") : result.description();
        sendException(c, kScExceptionLoadFlightplanFailed, packet, 2, &e);
        return;
    }
    o.flightPlanPath = used;
    o.flightRules = plan.child_value("FPType");
    o.departure = plan.child_value("DepartureID");
    o.destination = plan.child_value("DestinationID");
    e["departure"] = o.departure;
    e["destination"] = o.destination;
}

}  // namespace clv::standin
