#pragma once
// Shared by the stand-in simulator's tests: the stand-in run in-process with a
// small world, a SimConnect client on it, and what that client received.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "link/sim_ids.h"
#include "platform/simconnect.h"
#include "support/temp_folder.h"
#include "tools/simstandin/scenario.h"
#include "tools/simstandin/standin.h"

namespace clv::test::simstandin {

using clv::standin::SimStandIn;
using nlohmann::json;

inline constexpr double kPi = 3.141592653589793;

struct Data {
    ScRecvId id = ScRecvId::Null;
    std::uint32_t requestId = 0;
    std::uint32_t objectId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t entry = 0;
    std::uint32_t outOf = 0;
    std::string bytes;

    template <class T>
    T at(std::size_t offset) const {
        T v;
        std::memcpy(&v, bytes.data() + offset, sizeof v);
        return v;
    }
};

// Everything one connection received, in order per kind.
struct Inbox {
    std::vector<ScRecvId> ids;
    ScRecvOpen open;
    std::vector<ScRecvException> exceptions;
    std::vector<ScRecvEvent> events;
    std::vector<ScRecvEventObjectAddRemove> addRemove;
    std::vector<std::string> files;
    std::vector<ScRecvAssignedObjectId> assigned;
    std::vector<Data> data;
    int frames = 0;
    float frameRate = 0.0f;

    std::size_t count(ScRecvId id) const { return static_cast<std::size_t>(std::count(ids.begin(), ids.end(), id)); }
};

inline void collect(const ScRecv* m, std::uint32_t, void* context) {
    Inbox& in = *static_cast<Inbox*>(context);
    in.ids.push_back(m->id);
    switch (m->id) {
        case ScRecvId::Open: in.open = static_cast<const ScRecvOpen&>(*m); break;
        case ScRecvId::Exception: in.exceptions.push_back(static_cast<const ScRecvException&>(*m)); break;
        case ScRecvId::Event: in.events.push_back(static_cast<const ScRecvEvent&>(*m)); break;
        case ScRecvId::EventObjectAddRemove:
            in.addRemove.push_back(static_cast<const ScRecvEventObjectAddRemove&>(*m));
            break;
        case ScRecvId::EventFilename: in.files.push_back(static_cast<const ScRecvEventFilename&>(*m).fileName); break;
        case ScRecvId::EventFrame:
            ++in.frames;
            in.frameRate = static_cast<const ScRecvEventFrame&>(*m).frameRate;
            break;
        case ScRecvId::AssignedObjectId: in.assigned.push_back(static_cast<const ScRecvAssignedObjectId&>(*m)); break;
        case ScRecvId::SimObjectData:
        case ScRecvId::SimObjectDataByType: {
            const auto& d = static_cast<const ScRecvSimObjectData&>(*m);
            in.data.push_back(Data{m->id, d.requestId, d.objectId, d.defineId, d.entryNumber, d.outOf,
                                   std::string(reinterpret_cast<const char*>(d.data), d.dataSize)});
            break;
        }
        default: break;
    }
}

inline standin::Scenario baseScenario() {
    standin::Scenario s;
    standin::gf_applyScenarioJson(json::parse(R"({
        "simulator": "SunRise",
        "version": [1, 2, 3, 4],
        "frame_rate": 0,
        "zulu": "2024-03-01T12:34:56Z",
        "ground_elevation_ft": 360,
        "user": {"lat": 50.0333, "lon": 8.5706, "alt_ft": 364, "pitch_deg": -2, "heading_deg": 250,
                 "ground_speed_kt": 12, "on_ground": true, "lights": 3,
                 "title": "Cessna Skyhawk", "atc_model": "C172"},
        "installed_titles": [{"title": "Airbus A320 Neo Lufthansa", "static_cg_ft": 7.5, "static_pitch_deg": 1.5},
                             "Boeing 737-800 Ryanair"]
    })"),
                                      s);
    return s;
}

class StandIn : public ::testing::Test {
protected:
    void start(const standin::Scenario& scenario) {
        standin::StandInOptions options;
        options.scenario = scenario;
        sim.start(options);
        port.emplace(kSimConnectPortVariable, std::to_string(sim.simPort()).c_str());
    }

    SimConnectHandle connect() {
        SimConnectHandle h{};
        EXPECT_EQ(SimConnect_Open(&h, "Calvorinth", nullptr, 0, nullptr, 0), kScOk);
        pumpUntil(h, [&] { return in.count(ScRecvId::Open) > 0; });
        return h;
    }

    // Dispatches until the condition holds (at most 3 s); whether it held.
    template <class Done>
    bool pumpUntil(SimConnectHandle h, Done done, std::chrono::milliseconds limit = std::chrono::seconds(3)) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) return false;
            if (SimConnect_CallDispatch(h, collect, &in) == kScConnectionLost) return done();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // Dispatches until the stand-in has logged this many calls of the name.
    void pumpUntilLogged(SimConnectHandle h, const std::string& call, std::size_t n) {
        EXPECT_TRUE(pumpUntil(h, [&] { return log(call).size() >= n; })) << call;
    }

    // The program's registration, waited for until the stand-in has taken all of it.
    void registerProgram(SimConnectHandle h) {
        gf_registerSimConnect(h);
        pumpUntilLogged(h, "SimConnect_SetNotificationGroupPriority", 1);
    }

    json log(const std::string& call) { return sim.command({{"cmd", "log"}, {"call", call}})["entries"]; }
    json object(std::uint32_t id) { return sim.command({{"cmd", "object"}, {"id", id}})["object"]; }

    std::uint32_t createAi(SimConnectHandle h, const char* title, const char* tail, ScInitPosition p) {
        const std::size_t before = in.assigned.size();
        EXPECT_EQ(SimConnect_AICreateNonATCAircraft(h, title, tail, p, 104), kScOk);
        EXPECT_TRUE(pumpUntil(h, [&] { return in.assigned.size() > before; }));
        return in.assigned.empty() ? 0 : in.assigned.back().objectId;
    }

    SimStandIn sim;
    std::optional<ScopedEnv> port;
    Inbox in;
};

inline ScInitPosition onGroundAt(double lat, double lon) { return ScInitPosition{lat, lon, 0.0, 0.0, 0.0, 90.0, 1, 0}; }

}  // namespace clv::test::simstandin
