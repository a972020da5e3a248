// A push back and a taxi, end to end through the real parts: the feed tool sends
// the lines, the program's traffic reader takes them, the engine moves the
// aircraft with the program's movement, and the program's SimConnect thread sets
// it in the stand-in simulator, whose history must follow the scripted path. The
// feed and the engine run ten times faster than real time (lines sent at a tenth
// of their offsets, one tick per millisecond), so the played delay is 3 s.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include <nlohmann/json.hpp>

#include "core/log.h"
#include "core/stop_flags.h"
#include "link/sim_client.h"
#include "link/sim_events.h"
#include "link/sim_hooks.h"
#include "link/sim_queues.h"
#include "link/traffic_receiver.h"
#include "link/udp_readers.h"
#include "movement_support.h"
#include "platform/simconnect.h"
#include "end_to_end_support.h"
#include "engine_end_to_end.h"
#include "support/eventually.h"
#include "support/temp_folder.h"
#include "tools/feedstandin/feed_sender.h"
#include "tools/simstandin/standin.h"
#include "tools/simstandin/track_map.h"
#include "traffic/link_ports.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr double kGroundSpeedUp = 10.0;
constexpr double kGroundElevation = 1416.0;
constexpr double kStandRadiusNm = 0.01;
constexpr double kGroundStaticCg = 6.0;

// The scripted path: at the stand, a straight push back of 2.5 stand radii, then
// a taxi east with a 30 degree and a 90 degree corner.
struct GroundPath {
    std::vector<LatLon> corners;
    FeedScript script;
};

GroundPath lf_path() {
    GroundPath p;
    FeedTrack t;
    t.identity.hexid = 0x3C4AB1;
    t.identity.callsign = "DLH4AB";
    t.identity.type = "A320";
    t.identity.registration = "D-AIAB";
    t.identity.category = "A3";
    auto point = [&](double time, LatLon at, double knots, double track) {
        FeedPoint f;
        f.time = time;
        f.latitude = at.lat;
        f.longitude = at.lon;
        f.altitude = kGroundElevation;
        f.groundSpeed = knots;
        f.track = track;
        f.onGround = true;
        t.points.push_back(f);
    };
    const LatLon stand = kHome;
    const LatLon pushed = offset(stand, 180, 2.5 * kStandRadiusNm * kMetresPerNm);
    const LatLon a = offset(pushed, 90, 250);
    const LatLon b = offset(a, 120, 200);
    const LatLon c = offset(b, 210, 200);
    // Every point on the feed's 3 s grid, so that each is sent as it stands.
    point(0, stand, 0, 0);
    point(21, stand, 0, 0);
    point(48, pushed, metresBetween(stand, pushed) / 27.0 * 3600.0 / kMetresPerNm, 0);  // pushed back
    point(63, pushed, 0, 0);
    // The feed's speeds go with its positions: it is at 15 kt one line after it started.
    const double mps = 15.0 * kMetresPerNm / 3600.0;
    const LatLon rolling = offset(pushed, 90, 3.0 * mps);
    point(66, rolling, 15, 90);
    double time = 66;
    for (const auto& [from, to, track] : {std::tuple{rolling, a, 90.0}, std::tuple{a, b, 120.0}, std::tuple{b, c, 210.0}}) {
        const double seconds = std::ceil(metresBetween(from, to) / mps / 3.0) * 3.0;
        time += seconds;
        point(time, to, metresBetween(from, to) / seconds * 3600.0 / kMetresPerNm, track);
    }
    p.corners = {stand, pushed, a, b, c};  // the rolling point lies on the first leg
    p.script.every = 3.0;
    p.script.tracks.push_back(t);
    return p;
}

class GroundEndToEnd : public EngineEndToEnd {};

TEST_F(GroundEndToEnd, APushBackAndTaxiBecomeAnAiAircraftFollowingTheScriptedPath) {
    // The simulator: the user parked 1.5 km away, the livery installed.
    standin::StandInOptions options;
    standin::gf_applyScenarioJson(
        json{{"simulator", "SunRise"},
             {"frame_rate", 30},
             {"ground_elevation_ft", kGroundElevation},
             {"user", {{"lat", offset(kHome, 200, 1500).lat}, {"lon", offset(kHome, 200, 1500).lon}, {"agl_ft", 0},
                       {"on_ground", true}, {"heading_deg", 90}, {"title", "Airbus A320 Asobo"}}},
             {"installed_titles", {{{"title", "Lufthansa A320"}, {"static_cg_ft", kGroundStaticCg}}}}},
        options.scenario);
    standIn.start(options);
    ScopedEnv simPort(kSimConnectPortVariable, std::to_string(standIn.simPort()).c_str());

    // The engine with the program's simulator link and movement, the aircraft data of
    // the tests, and a park airport for the reader and the engine.
    SettingsGuard settings;
    MAX_HOLDING_MINUTES.value = 1;
    STRAIGHT_PBS_ONLY.value = true;
    MSFS_2020.value = false;  // the stand-in plays MSFS 2024
    gf_reserveSimQueues();
    LinkSimPort sim;
    FakeAircraftData data = FakeAircraftData::standard();
    FakeParking parking;
    parking.elevation = kGroundElevation;
    parking.placement = StandPlacement::Placed;
    parking.placementStand = 7;
    parking.placementHeading = 0.0;
    parking.standRadius = kStandRadiusNm;
    LiveMovement movement;
    TrafficEngine engine{EnginePorts{&sim, &data, &parking, &movement}};
    startEngineAndReader(engine, kHome, kGroundElevation);
    ASSERT_FALSE(HasFatalFailure());

    const GroundPath path = lf_path();
    const std::vector<TimedLine> lines = gf_linesOfScript(path.script, 1.7e9);
    std::atomic<bool> stopFeed{false};
    const Clock::time_point feedStart = Clock::now();
    std::thread feed([&] {
        FeedSender sender(FeedTarget{"127.0.0.1", trafficPort, 0});
        sender.play(lines, kGroundSpeedUp, stopFeed);
    });

    // The run thread: one tick per millisecond until the aircraft came and went.
    bool came = false;
    std::uint32_t objectId = 0;
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(60);
    for (std::uint32_t i = 0; Clock::now() < limit; ++i) {
        std::this_thread::sleep_until(feedStart + std::chrono::microseconds(1000 * i));
        if (i % 100 == 0) trafficReceiver.setRangeCentre(kHome);
        TrafficTick{engine}();
        if (const LiveAc* ac = gf_findLiveByHexid(engine, path.script.tracks[0].identity.hexid)) {
            came = came || ac->simState == AcSimState::Active;
            if (ac->objectId != 0) objectId = ac->objectId;
        } else if (came) {
            break;
        }
    }
    stopFeed = true;
    feed.join();
    ASSERT_TRUE(came) << "never active";
    ASSERT_NE(objectId, 0u);

    const json history = standIn.command({{"cmd", "history"}});
    ASSERT_EQ(history["tracks"].size(), 1u) << history.dump().substr(0, 2000);
    const json& points = history["tracks"][0]["points"];
    EXPECT_EQ(history["tracks"][0]["atc_id"], "DLH4AB");
    ASSERT_GT(points.size(), 100u);

    // Where it went: along the scripted path (corners are driven on curves that cut them).
    std::size_t near = 0;
    double worst = 0.0;
    for (const json& p : points) {
        const double off = gf_metresOffPath(path.corners, LatLon{p["lat"].get<double>(), p["lon"].get<double>()});
        worst = std::max(worst, off);
        if (off <= 3.0) ++near;
        EXPECT_TRUE(p["on_ground"].get<bool>());
        EXPECT_NEAR(p["alt_ft"].get<double>(), kGroundElevation + kGroundStaticCg, 0.01);
    }
    EXPECT_LE(worst, 12.0);
    EXPECT_GE(near, points.size() * 9 / 10);
    // It reached the end of the path.
    const json& last = points.back();
    EXPECT_LT(metresBetween(path.corners.back(), LatLon{last["lat"].get<double>(), last["lon"].get<double>()}), 3.0);
    // Its heading never jumped (at most 30 engine ticks of the fastest turn between two frames).
    for (std::size_t i = 1; i < points.size(); ++i) {
        const double turn = gf_headingDiffDegrees(points[i - 1]["heading_deg"].get<double>() * kDegToRad,
                                                  points[i]["heading_deg"].get<double>() * kDegToRad);
        ASSERT_LE(turn, 20.0) << "between points " << i - 1 << " and " << i;
    }
    // Played back late, never ahead of the feed: it reaches the end of the path no
    // earlier than the feed reported it there, and at most the 30 s delay (3 s here)
    // plus the largest re-timing (30 s) and a second of slack later.
    const double endFeedSeconds = path.script.tracks[0].points.back().time / kGroundSpeedUp;
    double reachedEnd = -1.0;
    for (const json& p : points) {
        if (metresBetween(path.corners.back(), LatLon{p["lat"].get<double>(), p["lon"].get<double>()}) < 3.0) {
            reachedEnd = std::chrono::duration<double>(beforeStandIn - feedStart).count() + p["t"].get<double>();
            break;
        }
    }
    ASSERT_GE(reachedEnd, 0.0);
    EXPECT_GE(reachedEnd, endFeedSeconds);
    EXPECT_LE(reachedEnd, endFeedSeconds + 3.0 + 3.0 + 1.0);

    // The map of the run, kept as an artifact of the test.
    const fs::path artifacts = fs::current_path() / "artifacts";
    fs::create_directories(artifacts);
    std::ofstream(artifacts / "ground_end_to_end_map.svg") << standin::gf_trackMapSvg(history);
    EXPECT_TRUE(fs::file_size(artifacts / "ground_end_to_end_map.svg") > 0);
}

}  // namespace
}  // namespace clv::test
