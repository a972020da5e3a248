// The control channel's commands: the world changed (teleport, set_sim,
// add_object, ...), calls made to fail, and the world read back (objects, the
// call log, the position history the map is drawn from).
#include <algorithm>
#include <stdexcept>

#include <fmt/format.h>

#include "tools/simstandin/standin_internal.h"

namespace clv::standin {

namespace {

const char* lf_originName(ObjectOrigin origin) {
    switch (origin) {
        case ObjectOrigin::User: return "user";
        case ObjectOrigin::Ai: return "ai";
        default: return "foreign";
    }
}

const char* lf_typeName(ScObjectType type) {
    switch (type) {
        case ScObjectType::Aircraft: return "aircraft";
        case ScObjectType::Helicopter: return "helicopter";
        case ScObjectType::Boat: return "boat";
        case ScObjectType::Ground: return "ground";
        default: return "other";
    }
}

ScObjectType lf_typeFromName(const std::string& name) {
    if (name == "aircraft") return ScObjectType::Aircraft;
    if (name == "helicopter") return ScObjectType::Helicopter;
    if (name == "boat") return ScObjectType::Boat;
    if (name == "ground") return ScObjectType::Ground;
    throw std::runtime_error(fmt::format("unknown object type \"{}\" (aircraft, helicopter, boat, ground)", name));
}

}  // namespace

// A text that goes into a fixed array of a reply; refused here when it cannot.
std::string gf_fitting(std::string text, std::size_t size, std::string_view key) {
    if (!gf_scTextFits(text, size)) {
        throw std::runtime_error(fmt::format("\"{}\" takes at most {} bytes without NUL", key, size - 1));
    }
    return text;
}

json SimStandIn::Impl::objectJson(const SimObject& o) const {
    const WorldView w = world();
    json j{{"id", o.id},
           {"origin", lf_originName(o.origin)},
           {"type", lf_typeName(o.type)},
           {"title", o.title},
           {"atc_id", o.atcId},
           {"atc_model", o.atcModel},
           {"lat", o.latitude},
           {"lon", o.longitude},
           {"alt_ft", o.altitudeFt},
           {"agl_ft", o.altitudeFt - w.groundAt(o.latitude, o.longitude)},
           {"pitch_deg", o.pitchDeg},
           {"bank_deg", o.bankDeg},
           {"heading_deg", o.headingDeg},
           {"ground_speed_kt", o.groundSpeedKt},
           {"vertical_speed_fps", o.verticalSpeedFps},
           {"true_airspeed_kt", o.trueAirspeedKt},
           {"on_ground", o.onGround},
           {"lights", o.lights},
           {"lights_on", gf_lightNames(o.lights)},
           {"static_cg_ft", o.staticCgFt},
           {"static_pitch_deg", o.staticPitchDeg},
           {"spoilers_pct", o.spoilersPct},
           {"throttle_pct", {o.throttle1Pct, o.throttle2Pct}},
           {"released", o.released},
           {"freeze", {{"lat_lon", o.freezeLatLon}, {"altitude", o.freezeAltitude}, {"attitude", o.freezeAttitude}}},
           {"position_updates", o.positionUpdates}};
    if (o.flightPlanPath.empty()) {
        j["flight_plan"] = nullptr;
    } else {
        j["flight_plan"] = {{"path", o.flightPlanPath},
                            {"type", o.flightRules},
                            {"departure", o.departure},
                            {"destination", o.destination}};
    }
    json events = json::array();
    for (const auto& ev : o.events) events.push_back({{"event", ev.event}, {"data", ev.data}, {"group", ev.group}});
    j["events"] = std::move(events);
    return j;
}

json SimStandIn::Impl::historyJson(std::uint32_t id, const TrackHistory& h) const {
    json points = json::array();
    for (const HistoryPoint& p : h.points) {
        points.push_back({{"t", p.t},
                          {"lat", p.latitude},
                          {"lon", p.longitude},
                          {"alt_ft", p.altitudeFt},
                          {"heading_deg", p.headingDeg},
                          {"pitch_deg", p.pitchDeg},
                          {"bank_deg", p.bankDeg},
                          {"on_ground", p.onGround}});
    }
    return json{{"id", id},        {"atc_id", h.atcId},   {"title", h.title},
                {"removed", h.removed}, {"dropped", h.dropped}, {"points", std::move(points)}};
}

json SimStandIn::Impl::execute(const json& request) {
    if (!request.is_object() || !request.contains("cmd") || !request["cmd"].is_string()) {
        throw std::runtime_error("a command is a JSON object with \"cmd\"");
    }
    const std::string cmd = request["cmd"].get<std::string>();
    auto number = [&](const char* key, auto fallback) {
        using T = decltype(fallback);
        return request.contains(key) ? request[key].get<T>() : fallback;
    };
    json reply{{"ok", true}};
    if (cmd == "status") {
        int opened = 0;
        for (const auto& c : clients) opened += c->opened && !c->dead ? 1 : 0;
        reply["sim_port"] = simPort;
        reply["control_port"] = controlPort;
        reply["simulator"] = scenario.simulator;
        reply["sim_running"] = scenario.simRunning;
        reply["clients"] = opened;
        reply["frames"] = framesSent;
        reply["objects"] = objects.size();
        reply["ai_objects"] = aiCount();
    } else if (cmd == "set_user" || cmd == "teleport") {
        if (request.contains("ground_elevation_ft")) {
            scenario.groundElevationFt = request["ground_elevation_ft"].get<double>();
        }
        if (request.contains("ground_slope")) scenario.slope = gf_groundSlopeFromJson(request["ground_slope"]);
        if (request.contains("zulu")) setZulu(gf_parseZulu(request["zulu"]));
        UserAircraft u = userAircraft();
        gf_applyUserJson(request, u, world().groundAt(u.latitude, u.longitude));
        if (u.objectId != scenario.user.objectId) throw std::runtime_error("the user's object id cannot change");
        placeUser(u);
        reply["user"] = objectJson(user());
    } else if (cmd == "set_sim") {
        for (const auto& [key, value] : request.items()) {
            if (key == "cmd") continue;
            if (key == "running") {
                const bool running = value.get<bool>();
                if (running != scenario.simRunning) {
                    scenario.simRunning = running;
                    sendSimState();
                }
            } else if (key == "simulator") scenario.simulator = gf_fitting(value.get<std::string>(), kScNameSize, key);
            else if (key == "frame_rate") {
                scenario.frameRate = std::clamp(value.get<double>(), 0.0, 1000.0);
                nextFrame = Clock::now();
            } else if (key == "data_period_ms") scenario.dataPeriodMs = std::max(1, value.get<int>());
            else if (key == "flight_loaded_as") scenario.flightLoadedAsFilename = value.get<std::string>() != "event";
            else if (key == "flight_file") scenario.flightFile = gf_fitting(value.get<std::string>(), kScPathSize, key);
            else throw std::runtime_error(fmt::format("unknown key \"{}\" for set_sim", key));
        }
    } else if (cmd == "flight_loaded") {
        const std::string file = request.contains("file")
                                     ? gf_fitting(request["file"].get<std::string>(), kScPathSize, "file")
                                     : scenario.flightFile;
        bool asFilename = scenario.flightLoadedAsFilename;
        if (request.contains("as")) asFilename = request["as"].get<std::string>() != "event";
        sendFlightLoaded(file, asFilename);
    } else if (cmd == "quit") {
        sendQuitToAll();
    } else if (cmd == "exception") {
        for (auto& c : clients) {
            if (!c->opened || c->dead) continue;
            sendException(*c, number("code", std::uint32_t{kScExceptionError}), number("send_id", std::uint32_t{0}),
                          number("index", std::uint32_t{0}), nullptr);
        }
    } else if (cmd == "add_object") {
        SimObject o;
        o.id = request.contains("id") ? request["id"].get<std::uint32_t>() : nextObjectId++;
        if (objects.contains(o.id)) throw std::runtime_error(fmt::format("object {} exists already", o.id));
        nextObjectId = std::max(nextObjectId, o.id + 1);
        o.origin = ObjectOrigin::Foreign;
        o.type = lf_typeFromName(number("type", std::string("aircraft")));
        o.title = number("title", std::string("Foreign traffic"));
        o.atcId = number("atc_id", std::string());
        o.atcModel = number("atc_model", std::string());
        o.latitude = number("lat", user().latitude);
        o.longitude = number("lon", user().longitude);
        o.headingDeg = number("heading_deg", 0.0);
        o.onGround = number("on_ground", true);
        const double ground = world().groundAt(o.latitude, o.longitude);
        o.altitudeFt = request.contains("agl_ft") ? ground + request["agl_ft"].get<double>()
                                                  : number("alt_ft", ground + o.staticCgFt);
        reply["id"] = o.id;
        const SimObject& added = objects.emplace(o.id, std::move(o)).first->second;
        sendAddRemove(added, true);
    } else if (cmd == "remove_object") {
        const auto id = request.at("id").get<std::uint32_t>();
        auto found = objects.find(id);
        if (found == objects.end()) throw std::runtime_error(fmt::format("no object {}", id));
        if (found->second.origin == ObjectOrigin::User) throw std::runtime_error("the user aircraft stays");
        removeObject(id);
    } else if (cmd == "fail") {
        const std::string function = request.at("function").get<std::string>();
        if (function.rfind("SimConnect_", 0) != 0) throw std::runtime_error("\"function\" is a SimConnect_ call");
        if (function == "SimConnect_Open" || function == "SimConnect_Close" || function == "SimConnect_CallDispatch") {
            throw std::runtime_error(function + " cannot be made to fail from here");
        }
        // The protocol has no way to make a client's call fail, so this reaches only
        // clients in this process (tests that run the stand-in in-process).
        int armed = 0;
        for (auto& c : clients) {
            if (!c->opened || c->dead) continue;
            if (gf_simConnectFailNext(c->peerPort, function)) ++armed;
        }
        reply["armed_clients"] = armed;
    } else if (cmd == "log") {
        const std::string call = number("call", std::string());
        const auto since = number("since", std::uint64_t{0});
        json entries = json::array();
        for (const auto& entry : log) {
            if (entry["seq"].get<std::uint64_t>() < since) continue;
            if (!call.empty() && entry["call"] != call) continue;
            entries.push_back(entry);
        }
        reply["entries"] = std::move(entries);
        reply["next_seq"] = nextSeq;
    } else if (cmd == "clear_log") {
        log.clear();
    } else if (cmd == "objects") {
        const bool aiOnly = number("ai_only", false);
        json list = json::array();
        for (const auto& [id, o] : objects) {
            if (!aiOnly || o.origin == ObjectOrigin::Ai) list.push_back(objectJson(o));
        }
        reply["objects"] = std::move(list);
    } else if (cmd == "object") {
        const SimObject* o = findObject(request.at("id").get<std::uint32_t>());
        if (o == nullptr) throw std::runtime_error("no such object");
        reply["object"] = objectJson(*o);
    } else if (cmd == "history") {
        json tracks = json::array();
        if (request.contains("id")) {
            const auto id = request["id"].get<std::uint32_t>();
            auto found = histories.find(id);
            if (found == histories.end()) throw std::runtime_error(fmt::format("no history of object {}", id));
            tracks.push_back(historyJson(id, found->second));
        } else {
            for (const auto& [id, h] : histories) tracks.push_back(historyJson(id, h));
        }
        reply["tracks"] = std::move(tracks);
        reply["user"] = objectJson(user());
    } else if (cmd == "installed") {
        if (request.contains("add")) {
            for (const auto& item : request["add"]) installed.push_back(gf_installedTitleFromJson(item));
        }
        json titles = json::array();
        for (const auto& t : installed) titles.push_back(t.title);
        reply["titles"] = std::move(titles);
    } else if (cmd == "shutdown") {
        shutdownAsked = true;
    } else {
        throw std::runtime_error(fmt::format("unknown command \"{}\"", cmd));
    }
    return reply;
}

json SimStandIn::Impl::executeSafely(const json& request) {
    try {
        return execute(request);
    } catch (const std::exception& e) {
        return json{{"ok", false}, {"error", e.what()}};
    }
}

}  // namespace clv::standin
