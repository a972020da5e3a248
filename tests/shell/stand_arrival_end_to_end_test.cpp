// An arrival at the demo airport, end to end: the program with the stand-in
// simulator and the stand-in RealTraffic; the Swiss A320 lands, taxies towards
// the midfield gates, stops short of gate E20, is driven onto it and shut down.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "core/geodesy.h"
#include "product_run_support.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr double kUserLat = 47.4581;
constexpr double kUserLon = 8.5481;
// Gate E20 of the demo's Zurich file: nose south.
constexpr double kGateLat = 47.4605;
constexpr double kGateLon = 8.556259;
constexpr double kGateHeadingDeg = 180.0;

// Short final north of the gates (the stand-in's ground is flat at the airport's
// elevation), touch-down, roll-out to 20 kt, then a taxi south-east that stops
// 8 m north of the gate and stands there.
std::string lf_arrivalScript() {
    const double stopLat = kGateLat + 8.0 / 111132.95;
    return fmt::format(
        "every 1\n"
        "aircraft hexid=4934004 callsign=SWR143 type=A320 reg=HB-JLT airline=SWR from=LFPG to=LSZH category=A3\n"
        "    0 47.49863 8.55000 1886 140 180.0 -730 air\n"
        "   38 47.47400 8.55000 1416 135 180.0    0 ground\n"
        "   63 47.46500 8.55000 1416  20 180.0    0 ground\n"
        "  137 {:.6f} {:.6f} 1416  18 136.2    0 ground\n"
        "  138 {:.6f} {:.6f} 1416   0 136.2    0 ground\n"
        "  330 {:.6f} {:.6f} 1416   0 136.2    0 ground\n",
        stopLat, kGateLon, stopLat, kGateLon, stopLat, kGateLon);
}

class StandArrivalEndToEnd : public DemoDataRun {};

TEST_F(StandArrivalEndToEnd, AnArrivalTaxiesInAndParksOnAFreeGateOnItsHeadingAndShutsDown) {
    // Zurich's stands as the demo has them: its handmade learned file, and the
    // same file in the stock archive of the download server.
    const fs::path demoAirports = gf_demoFolder() / "airports";
    fs::create_directories(work / "airports" / "learned");
    fs::copy(demoAirports / "learned", work / "airports" / "learned", fs::copy_options::recursive);
    fs::create_directories(folder / "server" / "MSFS" / "archive" / "stock");
    fs::copy_file(demoAirports / "learned" / "stock" / "LSZH.xml",
                  folder / "server" / "MSFS" / "archive" / "stock" / "LSZH.xml");

    folder.write("scenario.json", fmt::format(R"({{"simulator": "KittyHawk", "version": [11, 0, 282174, 999],
        "ground_elevation_ft": 1416,
        "user": {{"lat": {}, "lon": {}, "alt_ft": 1416, "agl_ft": 0, "on_ground": true, "heading_deg": 280,
                 "title": "Airbus A320 Asobo", "atc_model": "A320"}}}})",
                                              kUserLat, kUserLon));
    ChildProcess sim;
    startSimStandIn(sim, {"--scenario", (folder / "scenario.json").string(), "--community",
                          (folder / "demo_sim" / "Community").string()});
    ASSERT_FALSE(HasFatalFailure());

    const std::uint16_t tcpPort = gf_freePort(SOCK_STREAM);
    const std::uint16_t trafficPort = gf_freePort(SOCK_DGRAM);
    const std::uint16_t qnhPort = gf_freePort(SOCK_DGRAM);
    ASSERT_TRUE(tcpPort != 0 && trafficPort != 0 && qnhPort != 0);
    ChildProcess link;
    link.start(gf_toolPath("feedstandin"),
               {"--qnh", "1013", "--qnh-every", "1", "--qnh-port", std::to_string(qnhPort), "--tcp",
                std::to_string(tcpPort)},
               folder.path(), {}, folder / "logs" / "feedstandin_link.txt");

    writeParameters({{"MSFS_2020", "true"},
                     {"MSFS_INSTALL_PATH", (folder / "demo_sim").string()},
                     {"PORT_NUMBER", std::to_string(tcpPort)},
                     {"SCAN_LIVERIES", "true"},
                     {"LIG_AUTOMATIC", "true"},
                     {"SCAN_AIRPORTS", "false"},
                     {"AUTO_RANGE", "false"},
                     {"LATERAL_RANGE", "30"},
                     {"RANDOM", "false"},
                     {"LOG", "true"}});
    ChildProcess program;
    startProgram(program, trafficPort, qnhPort);
    ChildProcess traffic;
    const auto everything = [&] {
        return "\n---- Log.txt:\n" + log() + "\n---- program:\n" + program.output() + "\n---- simstandin:\n" +
               sim.output() + "\n---- feedstandin traffic:\n" + traffic.output();
    };
    // The feed starts once the park airport's file is read: ground traffic is
    // taken only while there is one.
    ASSERT_TRUE(gf_waitUntil([&] { return logHas("Airport file read from") || !program.running(); }, kStepLimit))
        << everything();
    folder.write("traffic.trk", lf_arrivalScript());
    traffic.start(gf_toolPath("feedstandin"),
                  {"--script", (folder / "traffic.trk").string(), "--traffic-port", std::to_string(trafficPort)},
                  folder.path(), {}, folder / "logs" / "feedstandin_traffic.txt");

    const bool arrived = gf_waitUntil(
        [&] { return logHas("E20     : SWR143   arrived at stand") || !program.running(); }, 300s);
    ASSERT_TRUE(arrived && program.running()) << everything();

    ControlLink control(simControlPort);
    ASSERT_TRUE(control.connected());
    std::optional<nlohmann::json> parked;
    // The position blocks of the last ticks reach the stand-in a frame later.
    ASSERT_TRUE(gf_waitUntil(
        [&] {
            const nlohmann::json answer = control.command({{"cmd", "objects"}, {"ai_only", true}});
            if (!answer.is_object() || !answer.value("ok", false)) return false;
            for (const auto& o : answer["objects"]) {
                // The live aircraft, not a static one of the same livery: it is moved by position blocks.
                if (o.value("title", std::string()) != "Demo A320 Swiss HB-JLT" ||
                    o.value("position_updates", 0) == 0) {
                    continue;
                }
                const auto& events = o["events"];
                const bool shutDown = std::any_of(events.begin(), events.end(), [](const nlohmann::json& e) {
                    return e.value("event", std::string()) == "ENGINE_AUTO_SHUTDOWN";
                });
                if (shutDown) parked = o;
            }
            return parked.has_value();
        },
        kStepLimit))
        << everything();
    const nlohmann::json& o = *parked;
    const double metres =
        gf_distanceNm(LatLon{o["lat"].get<double>(), o["lon"].get<double>()}, LatLon{kGateLat, kGateLon}) * 1852.0;
    EXPECT_LT(metres, 2.0) << o.dump();
    const double headingOff = std::fabs(std::remainder(o["heading_deg"].get<double>() - kGateHeadingDeg, 360.0));
    EXPECT_LT(headingOff, 5.0) << o.dump();
    EXPECT_TRUE(o["on_ground"].get<bool>());
    // Parked lights: the beacon went off after it had been on.
    std::optional<std::uint32_t> beacon;
    for (const auto& e : o["events"]) {
        if (e.value("event", std::string()) == "BEACON_LIGHTS_SET") beacon = e["data"].get<std::uint32_t>();
    }
    EXPECT_EQ(beacon, std::optional<std::uint32_t>{0}) << o.dump();

    for (ChildProcess* child : {&traffic, &program, &link, &sim}) {
        child->signal(SIGTERM);
        EXPECT_TRUE(child->waitForExit(kExitLimit).has_value()) << everything();
    }
}

}  // namespace
}  // namespace clv::test
