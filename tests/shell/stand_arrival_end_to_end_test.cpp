// Live aircraft at the demo airport's stands, end to end: the program with the
// stand-in simulator and the stand-in RealTraffic. The Swiss A320 lands, taxies
// towards the midfield gates, stops short of gate E20, is driven onto it and shut
// down; a Swiss A321 standing on gate E26 is put there, pushes back when its feed
// moves off; and when the user aircraft leaves, what both taught the airport's
// stands is saved in its learned file and read back.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <ctime>
#include <numbers>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "airports/files/apf_file.h"
#include "airports/parking/learned_files.h"
#include "core/geodesy.h"
#include "product_run_support.h"
#include "stands/stand.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr double kArrivalUserLat = kZurichUserLat;
constexpr double kArrivalUserLon = kZurichUserLon;
// Gate E20 of the demo's Zurich file: nose south.
constexpr double kGateLat = 47.4605;
constexpr double kGateLon = 8.556259;
constexpr double kGateHeadingDeg = 180.0;
// Gate E26, four gates east of E20: nose south.
constexpr double kParkedGateLat = 47.4605;
constexpr double kParkedGateLon = 8.559646;
constexpr double kMetresPerDegreeLat = 111132.95;

// Short final north of the gates (the stand-in's ground is flat at the airport's
// elevation), touch-down, roll-out to 20 kt, then a taxi south-east that stops
// 8 m north of the gate and stands there.
std::string lf_arrivalScript() {
    const double stopLat = kGateLat + 8.0 / kMetresPerDegreeLat;
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

// A Swiss A321 standing on gate E26 from the feed's start; after 75 s its feed
// moves 40 m backwards (north, nose still south), stands, and taxies off east.
std::string lf_parkedScript() {
    const double backLat = kParkedGateLat + 40.0 / kMetresPerDegreeLat;
    const double startLat = kParkedGateLat + 1.5 / kMetresPerDegreeLat;
    const double eastLon =
        kParkedGateLon + 300.0 / (kMetresPerDegreeLat * std::cos(kParkedGateLat * std::numbers::pi / 180.0));
    return fmt::format(
        "aircraft hexid=4933720 callsign=SWR1084 type=A321 reg=HB-IOF airline=SWR from=LEMD to=LSZH category=A3\n"
        "    0 {0:.6f} {1:.6f} 1416   0 180.0    0 ground heading=180\n"
        "   75 {0:.6f} {1:.6f} 1416   0 180.0    0 ground heading=180\n"
        "   76 {2:.6f} {1:.6f} 1416   3   0.0    0 ground heading=180\n"
        "  102 {3:.6f} {1:.6f} 1416   3   0.0    0 ground heading=180\n"
        "  103 {3:.6f} {1:.6f} 1416   0   0.0    0 ground heading=180\n"
        "  120 {3:.6f} {1:.6f} 1416   0  90.0    0 ground\n"
        "  170 {3:.6f} {4:.6f} 1416  12  90.0    0 ground\n",
        kParkedGateLat, kParkedGateLon, startLat, backLat, eastLon);
}

class StandArrivalEndToEnd : public DemoDataRun {};

TEST_F(StandArrivalEndToEnd, AnArrivalParksAParkedAircraftPushesBackAndLeavingSavesWhatTheyTaught) {
    // Zurich's stands as the demo has them: its handmade learned file, and the
    // same file in the stock archive of the download server.
    const fs::path demoAirports = gf_demoFolder() / "airports";
    fs::create_directories(work / "airports" / "learned");
    fs::copy(demoAirports / "learned", work / "airports" / "learned", fs::copy_options::recursive);
    fs::create_directories(folder / "server" / "MSFS" / "archive" / "stock");
    fs::copy_file(demoAirports / "learned" / "stock" / "LSZH.xml",
                  folder / "server" / "MSFS" / "archive" / "stock" / "LSZH.xml");

    ChildProcess sim;
    startDemoSimStandIn(sim, writeZurichScenario(1416));
    ASSERT_FALSE(HasFatalFailure());

    const FeedPorts ports = freeFeedPorts();
    ASSERT_TRUE(ports.complete());
    ChildProcess link;
    startFeedLink(link, ports, false);

    writeDemoParameters(ports.tcp, {{"LOG", "true"}});
    ChildProcess program;
    startProgram(program, ports.traffic, ports.qnh);
    ChildProcess traffic;
    const auto everything = [&] {
        return report({{"program", &program}, {"simstandin", &sim}, {"feedstandin traffic", &traffic}});
    };
    // The feed starts once the park airport's file is read: ground traffic is
    // taken only while there is one.
    ASSERT_TRUE(gf_waitUntil([&] { return logHas("Airport file read from") || !program.running(); }, kStepLimit))
        << everything();
    const std::time_t runStart = std::time(nullptr);
    folder.write("traffic.trk", lf_arrivalScript() + lf_parkedScript());
    traffic.start(gf_toolPath("feedstandin"),
                  {"--script", (folder / "traffic.trk").string(), "--traffic-port", std::to_string(ports.traffic)},
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

    // ---- The aircraft on gate E26 was put there and pushed back when its feed moved off.
    const nlohmann::json history = control.command({{"cmd", "history"}});
    ASSERT_TRUE(history.is_object() && history.value("ok", false)) << history.dump();
    const LatLon parkedGate{kParkedGateLat, kParkedGateLon};
    // North and east of gate E26 in metres, on the flat.
    const auto offGate = [](const nlohmann::json& p) {
        return std::pair{(p["lat"].get<double>() - kParkedGateLat) * kMetresPerDegreeLat,
                         (p["lon"].get<double>() - kParkedGateLon) * kMetresPerDegreeLat *
                             std::cos(kParkedGateLat * std::numbers::pi / 180.0)};
    };
    const auto metresFromGate = [&](const nlohmann::json& p) {
        return gf_distanceNm(LatLon{p["lat"].get<double>(), p["lon"].get<double>()}, parkedGate) * 1852.0;
    };
    const nlohmann::json* pushed = nullptr;
    for (const auto& track : history["tracks"]) {
        if (!track["points"].empty() && metresFromGate(track["points"].front()) < 2.0) pushed = &track;
    }
    ASSERT_NE(pushed, nullptr) << "no aircraft began on gate E26\n" << everything();
    const auto& points = (*pushed)["points"];
    const auto headingOffGate = [](const nlohmann::json& p) {
        return std::fabs(std::remainder(p["heading_deg"].get<double>() - kGateHeadingDeg, 360.0));
    };
    EXPECT_LT(headingOffGate(points.front()), 5.0) << points.front().dump();
    // Until 40 m behind the gate (the feed's own push back) it moves tail first,
    // due north, with its nose still south.
    std::size_t leaving = 0;
    while (leaving < points.size() && metresFromGate(points[leaving]) < 1.0) ++leaving;
    ASSERT_LT(leaving, points.size()) << "it never left gate E26";
    std::size_t back = leaving;
    for (; back < points.size() && metresFromGate(points[back]) < 40.0; ++back) {
        const auto [north, east] = offGate(points[back]);
        ASSERT_GT(north, 0.0) << points[back].dump();
        EXPECT_LT(std::fabs(east), 0.1 * north + 0.5) << points[back].dump();
        EXPECT_LT(headingOffGate(points[back]), 5.0) << points[back].dump();
    }
    ASSERT_LT(back, points.size()) << "it stopped within 40 m of gate E26";

    // ---- The user aircraft takes off and flies north, 5 nm every two seconds
    // (a jump of more than 10 nm between two of the program's readings a second
    // is a new flight): beyond the airport's range the program leaves Zurich and
    // saves its learned file.
    const fs::path learnedFile = work / "airports" / "learned" / "stock" / "LSZH.xml";
    for (int step = 0; step <= 5; ++step) {
        const auto moved = control.command({{"cmd", "set_user"},
                                            {"lat", kArrivalUserLat + step * 5.0 / 60.0},
                                            {"lon", kArrivalUserLon},
                                            {"on_ground", false},
                                            {"agl_ft", 3000}});
        ASSERT_TRUE(moved.value("ok", false)) << moved.dump();
        std::this_thread::sleep_for(2s);
    }
    ASSERT_TRUE(gf_waitUntil([&] { return logHas("LSZH (ZRH) is out of sight") || !program.running(); }, kStepLimit))
        << everything();
    ASSERT_TRUE(gf_waitUntil([&] { return logHas("\"airports/learned/stock/LSZH.xml\" saved with"); }, kStepLimit))
        << everything();
    const std::time_t runEnd = std::time(nullptr);
    EXPECT_TRUE(program.running()) << everything();

    // Read back as the program reads it: the options the two aircraft taught,
    // on the weekday and in a half-hour of the run.
    std::set<std::pair<std::uint32_t, std::uint32_t>> runSlots;
    for (std::time_t t = runStart - 60; t <= runEnd + 60; t += 15) {
        std::tm utc{};
        gmtime_r(&t, &utc);
        runSlots.emplace(utc.tm_wday == 0 ? 7u : static_cast<std::uint32_t>(utc.tm_wday),
                         static_cast<std::uint32_t>(utc.tm_hour * 2 + utc.tm_min / 30));
    }
    standList.clear();
    ApfInfo summary;
    summary.airport_name = "Zurich";
    lf_readLearned(learnedFile, summary);
    struct Learned {
        const char* stand;
        const char* registration;
        const char* callsign;
        const char* airline;  // not written where the registration's record gives it
        const char* type;
    };
    for (const Learned& want : {Learned{"E26", "HB-IOF", "SWR1084", "SWR", "A321"},
                                Learned{"E20", "HB-JLT", "SWR143", "", ""}}) {
        SCOPED_TRACE(want.stand);
        const auto stand = std::find_if(standList.begin(), standList.end(),
                                        [&](const Stand& s) { return s.name == want.stand; });
        ASSERT_NE(stand, standList.end());
        const auto option = std::find_if(stand->options.begin(), stand->options.end(),
                                         [&](const StandOption& o) { return o.registration == want.registration; });
        ASSERT_NE(option, stand->options.end()) << gf_readIfThere(learnedFile);
        EXPECT_EQ(option->callsign, want.callsign);
        EXPECT_EQ(option->airline, want.airline);
        EXPECT_EQ(option->type, want.type);
        EXPECT_EQ(option->real, 1u);
        EXPECT_FALSE(option->hours.none());
        for (std::uint32_t h = 0; h < 48; ++h) {
            if (!option->hours.test(h)) continue;
            EXPECT_TRUE(runSlots.contains({option->weekday, h}))
                << "weekday " << option->weekday << ", half-hour " << h;
        }
    }
    standList.clear();

    for (ChildProcess* child : {&traffic, &program, &link, &sim}) {
        child->signal(SIGTERM);
        EXPECT_TRUE(child->waitForExit(kExitLimit).has_value()) << everything();
    }
}

}  // namespace
}  // namespace clv::test
