// Makes the SimConnect calls listed in a JSON file through our client layer, so a
// test can compare the packets with those of an independent client:
//   clv_simconnect_calls CALLS.json   (the simulator's port from $CLV_SIMCONNECT_PORT)
// {"protocol": 5, "name": "...", "calls": [{"fn": "AIRemoveObject", "args": [1001, 105]}, ...]}
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/simconnect.h"

namespace {

using nlohmann::json;
using namespace clv;

ScResult lf_call(SimConnectHandle h, const json& call) {
    const std::string fn = call.at("fn").get<std::string>();
    const json& a = call.at("args");
    auto u = [&](std::size_t i) { return a.at(i).get<std::uint32_t>(); };
    auto s = [&](std::size_t i) { return a.at(i).get<std::string>(); };
    if (fn == "SubscribeToSystemEvent") return SimConnect_SubscribeToSystemEvent(h, u(0), s(1).c_str());
    if (fn == "AddToDataDefinition") {
        return SimConnect_AddToDataDefinition(h, u(0), s(1).c_str(), a.at(2).is_null() ? nullptr : s(2).c_str(),
                                              static_cast<ScDataType>(u(3)), a.at(4).get<float>(), u(5));
    }
    if (fn == "MapClientEventToSimEvent") return SimConnect_MapClientEventToSimEvent(h, u(0), s(1).c_str());
    if (fn == "AddClientEventToNotificationGroup") {
        return SimConnect_AddClientEventToNotificationGroup(h, u(0), u(1), a.at(2).get<bool>());
    }
    if (fn == "SetNotificationGroupPriority") return SimConnect_SetNotificationGroupPriority(h, u(0), u(1));
    if (fn == "RequestDataOnSimObject") {
        return SimConnect_RequestDataOnSimObject(h, u(0), u(1), u(2), static_cast<ScPeriod>(u(3)), u(4), u(5), u(6),
                                                 u(7));
    }
    if (fn == "RequestDataOnSimObjectType") {
        return SimConnect_RequestDataOnSimObjectType(h, u(0), u(1), u(2), static_cast<ScObjectType>(u(3)));
    }
    if (fn == "SetDataOnSimObject") {
        // args: define id, object id, array count, doubles of one block
        std::vector<double> block = a.at(3).get<std::vector<double>>();
        return SimConnect_SetDataOnSimObject(h, u(0), u(1), 0, u(2), static_cast<std::uint32_t>(block.size() * 8),
                                             block.data());
    }
    if (fn == "TransmitClientEvent") return SimConnect_TransmitClientEvent(h, u(0), u(1), u(2), u(3), u(4));
    if (fn == "AICreateNonATCAircraft") {
        const json& p = a.at(2);
        ScInitPosition position{p.at("latitude").get<double>(), p.at("longitude").get<double>(),
                                p.at("altitude").get<double>(), p.at("pitch").get<double>(),
                                p.at("bank").get<double>(),     p.at("heading").get<double>(),
                                p.at("onGround").get<bool>() ? 1u : 0u, p.at("airspeed").get<std::uint32_t>()};
        return SimConnect_AICreateNonATCAircraft(h, s(0).c_str(), s(1).c_str(), position, u(3));
    }
    if (fn == "AIReleaseControl") return SimConnect_AIReleaseControl(h, u(0), u(1));
    if (fn == "AIRemoveObject") return SimConnect_AIRemoveObject(h, u(0), u(1));
    if (fn == "AISetAircraftFlightPlan") return SimConnect_AISetAircraftFlightPlan(h, u(0), s(1).c_str(), u(2));
    throw std::runtime_error("unknown call " + fn);
}

void ignore(const ScRecv*, std::uint32_t, void*) {}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc != 2) throw std::runtime_error("usage: clv_simconnect_calls CALLS.json");
        std::ifstream in(argv[1]);
        const json script = json::parse(in);
        gf_setSimConnectProtocol(script.at("protocol").get<std::uint32_t>());
        SimConnectHandle h{};
        if (SimConnect_Open(&h, script.at("name").get<std::string>().c_str(), nullptr, 0, nullptr, 0) != kScOk) {
            throw std::runtime_error("SimConnect_Open failed");
        }
        for (const json& call : script.at("calls")) {
            if (lf_call(h, call) != kScOk) throw std::runtime_error("call failed: " + call.dump());
        }
        SimConnect_CallDispatch(h, ignore, nullptr);  // writes what waits
        SimConnect_Close(h);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "clv_simconnect_calls: %s\n", e.what());
        return 1;
    }
}
