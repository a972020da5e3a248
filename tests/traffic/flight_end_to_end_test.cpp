// The demo's flights end to end through the real parts: the feed tool sends the
// demo's lines of an arrival and a departure at Zurich, the program's traffic reader
// takes them, the engine flies them with the program's movement and flight (a
// fixture park airport at Zurich), and the program's SimConnect thread sets them
// in the stand-in simulator, whose history must follow the scripted tracks. The
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
#include <set>
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
#include "tools/feedstandin/track_script.h"
#include "tools/simstandin/standin.h"
#include "tools/simstandin/track_map.h"
#include "traffic/link_ports.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr double kSpeedUp = 10.0;
constexpr double kElevation = 1416.0;
constexpr double kStaticCg = 6.0;


// The demo's tracks of these aircraft from `from` seconds on, shifted to start at 0.
FeedTrack lf_demoTrack(const FeedScript& demo, const std::string& callsign, double from) {
    for (const FeedTrack& t : demo.tracks) {
        if (t.identity.callsign != callsign) continue;
        FeedTrack out{t.identity, {}};
        for (FeedPoint p : t.points) {
            if (p.time < from) continue;
            p.time -= from;
            out.points.push_back(p);
        }
        return out;
    }
    ADD_FAILURE() << callsign << " is no aircraft of the demo";
    return {};
}

std::vector<LatLon> lf_polyline(const FeedTrack& t) {
    std::vector<LatLon> out;
    for (const FeedPoint& p : t.points) out.push_back(LatLon{p.latitude, p.longitude});
    return out;
}

const json* lf_trackOf(const json& history, const std::string& atcId) {
    for (const json& t : history["tracks"])
        if (t["atc_id"] == atcId) return &t;
    return nullptr;
}

class FlightEndToEnd : public EngineEndToEnd {};


TEST_F(FlightEndToEnd, TheDemosArrivalLandsAndRollsOutAndItsDepartureClimbs) {
    const LatLon lszh{47.458, 8.548};
    const FeedScript demo = gf_readTrackScript(readFile(fs::path(CLV_TESTS_SOURCE_DIR).parent_path() / "demo" / "traffic.trk"));
    // The Swiss A320 from 6 nm before its touch-down on runway 14 to its stand; the
    // British Airways A321 climbing out from runway 16 and turning south-west.
    FeedScript script;
    script.every = demo.every;
    script.tracks.push_back(lf_demoTrack(demo, "SWR143", 440.0));
    script.tracks.push_back(lf_demoTrack(demo, "BAW713", 200.0));
    ASSERT_GT(script.tracks[0].points.size(), 20u);
    ASSERT_GT(script.tracks[1].points.size(), 10u);
    const std::string liveries[] = {"Swiss A320", "British Airways A321"};

    // The simulator: the user parked at Zurich, the liveries installed.
    standin::StandInOptions options;
    standin::gf_applyScenarioJson(
        json{{"simulator", "SunRise"},
             {"frame_rate", 30},
             {"ground_elevation_ft", kElevation},
             {"user", {{"lat", lszh.lat}, {"lon", lszh.lon}, {"agl_ft", 0}, {"on_ground", true}, {"heading_deg", 90},
                       {"title", "Airbus A320 Asobo"}}},
             {"installed_titles", {{{"title", liveries[0]}, {"static_cg_ft", kStaticCg}},
                                   {{"title", liveries[1]}, {"static_cg_ft", kStaticCg}}}}},
        options.scenario);
    standIn.start(options);
    ScopedEnv simPort(kSimConnectPortVariable, std::to_string(standIn.simPort()).c_str());

    // The engine with the program's simulator link, movement and flight, the aircraft
    // data of the tests and a fixture park airport at Zurich.
    SettingsGuard settings;
    MAX_HOLDING_MINUTES.value = 1;
    MSFS_2020.value = false;  // the stand-in plays MSFS 2024
    gf_reserveSimQueues();
    LinkSimPort sim;
    FakeAircraftData data = FakeAircraftData::standard();
    data.types["A321"] = {AcCategory::Large, 0.0097};
    data.registrations["HB-JLT"] = RegRecord{"SWR", "A320", "", false};
    data.registrations["G-EUXC"] = RegRecord{"BAW", "A321", "", false};
    data.addLivery("SWR", "A320", liveries[0]);
    data.addLivery("BAW", "A321", liveries[1]);
    FakeParking parking;
    parking.elevation = kElevation;
    parking.airportPosition = lszh;
    LiveMovement movement;
    LiveFlight flight;
    TrafficEngine engine{EnginePorts{&sim, &data, &parking, &movement, &flight}};
    startEngineAndReader(engine, lszh, kElevation);
    ASSERT_FALSE(HasFatalFailure());

    const std::vector<TimedLine> lines = gf_linesOfScript(script, 1.7e9);
    std::atomic<bool> stopFeed{false};
    const Clock::time_point feedStart = Clock::now();
    std::thread feed([&] {
        FeedSender sender(FeedTarget{"127.0.0.1", trafficPort, 0});
        sender.play(lines, kSpeedUp, stopFeed);
    });

    // The run thread: one tick per millisecond until both came and went.
    const std::uint32_t arrival = script.tracks[0].identity.hexid;
    const std::uint32_t departure = script.tracks[1].identity.hexid;
    std::set<std::uint32_t> came;
    bool landingStarted = false, rolledOut = false;
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(80);
    for (std::uint32_t i = 0; Clock::now() < limit; ++i) {
        std::this_thread::sleep_until(feedStart + std::chrono::microseconds(1000 * i));
        if (i % 100 == 0) trafficReceiver.setRangeCentre(lszh);
        TrafficTick{engine}();
        for (const std::uint32_t hexid : {arrival, departure}) {
            if (const LiveAc* ac = gf_findLiveByHexid(engine, hexid); ac && ac->simState == AcSimState::Active)
                came.insert(hexid);
        }
        if (const LiveAc* ac = gf_findLiveByHexid(engine, arrival)) {
            landingStarted = landingStarted || ac->landing;
            rolledOut = rolledOut || ac->rollingOut;
        }
        if (came.size() == 2 && !gf_findLiveByHexid(engine, arrival) && !gf_findLiveByHexid(engine, departure)) break;
    }
    stopFeed = true;
    feed.join();
    ASSERT_EQ(came.size(), 2u) << readFile(logDir.path() / "Log.txt");
    EXPECT_TRUE(landingStarted);
    EXPECT_TRUE(rolledOut);

    const json history = standIn.command({{"cmd", "history"}});
    // The map of the run, kept as an artifact of the test.
    const fs::path artifacts = fs::current_path() / "artifacts";
    fs::create_directories(artifacts);
    std::ofstream(artifacts / "flight_end_to_end_map.svg") << standin::gf_trackMapSvg(history);
    EXPECT_TRUE(fs::file_size(artifacts / "flight_end_to_end_map.svg") > 0);

    for (std::size_t k = 0; k < 2; ++k) {
        const FeedTrack& scripted = script.tracks[k];
        SCOPED_TRACE(scripted.identity.callsign);
        const json* track = lf_trackOf(history, scripted.identity.callsign);
        ASSERT_NE(track, nullptr) << history.dump().substr(0, 2000);
        const json& points = (*track)["points"];
        ASSERT_GT(points.size(), 300u);
        const std::vector<LatLon> path = lf_polyline(scripted);
        double fastest = 0.0;
        for (const FeedPoint& p : scripted.points) fastest = std::max(fastest, p.groundSpeed);
        const FeedPoint& lastPoint = scripted.points.back();
        const LatLon end{lastPoint.latitude, lastPoint.longitude};
        double worstOff = 0.0, worstBank = 0.0;
        bool pastEnd = false;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const json& p = points[i];
            const LatLon at{p["lat"].get<double>(), p["lon"].get<double>()};
            // Past the end of its script it flies on, extrapolated, before it goes.
            pastEnd = pastEnd || metresBetween(end, at) < 300.0;
            if (!pastEnd) worstOff = std::max(worstOff, gf_metresOffPath(path, at));
            worstBank = std::max(worstBank, std::fabs(p["bank_deg"].get<double>()));
            // Within the speed bound: never faster than 1.5 times the fastest the feed
            // reported, in simulated time (ten times the stand-in's), over a third of a
            // second of frames (single frames arrive with the jitter of the link).
            std::size_t j = i + 1;
            while (j < points.size() && points[j]["t"].get<double>() - p["t"].get<double>() < 0.3) ++j;
            if (j == points.size()) continue;
            const json& q = points[j];
            const double seconds = (q["t"].get<double>() - p["t"].get<double>()) * kSpeedUp;
            const double nm = gf_distanceNm(at, LatLon{q["lat"].get<double>(), q["lon"].get<double>()});
            EXPECT_LE(nm, 1.5 * fastest * seconds / 3600.0) << "points " << i << " to " << j;
        }
        // On the scripted track (turns are flown inside their corners), banked
        // within the Large category's 30 degrees.
        EXPECT_LE(worstOff, 400.0);
        EXPECT_LE(worstBank, 30.0 + 1e-6);
        // Played back late, never ahead of the feed: each scripted position is reached
        // no earlier than the feed reported it.
        const double shift = std::chrono::duration<double>(beforeStandIn - feedStart).count();
        double endReported = lastPoint.time;  // the first time the feed was there
        for (const FeedPoint& f : scripted.points) {
            if (metresBetween(end, LatLon{f.latitude, f.longitude}) < 1.0) {
                endReported = f.time;
                break;
            }
        }
        for (const json& p : points) {
            if (metresBetween(end, LatLon{p["lat"].get<double>(), p["lon"].get<double>()}) < 30.0) {
                EXPECT_GE(shift + p["t"].get<double>(), endReported / kSpeedUp);
                break;
            }
        }
    }

    // The arrival: in the air, then on the ground from its touch-down on, down to its stand.
    const json& arrived = (*lf_trackOf(history, "SWR143"))["points"];
    const auto firstOnGround = std::find_if(arrived.begin(), arrived.end(), [](const json& p) { return p["on_ground"].get<bool>(); });
    ASSERT_NE(firstOnGround, arrived.end());
    EXPECT_FALSE(arrived.front()["on_ground"].get<bool>());
    EXPECT_TRUE(std::all_of(firstOnGround, arrived.end(), [](const json& p) { return p["on_ground"].get<bool>(); }));
    const LatLon touchDown{47.48021, 8.53799};
    EXPECT_LT(metresBetween(touchDown, LatLon{(*firstOnGround)["lat"].get<double>(), (*firstOnGround)["lon"].get<double>()}),
              600.0);
    const json& stand = arrived.back();
    EXPECT_LT(metresBetween(LatLon{47.46461, 8.54719}, LatLon{stand["lat"].get<double>(), stand["lon"].get<double>()}), 30.0);
    EXPECT_NEAR(stand["alt_ft"].get<double>(), kElevation + kStaticCg, 0.01);

    // The departure: always in the air, climbing from 1666 ft to the top of its script.
    const json& departed = (*lf_trackOf(history, "BAW713"))["points"];
    EXPECT_TRUE(std::none_of(departed.begin(), departed.end(), [](const json& p) { return p["on_ground"].get<bool>(); }));
    double top = 0.0;
    for (const json& p : departed) top = std::max(top, p["alt_ft"].get<double>());
    EXPECT_GE(top, script.tracks[1].points.back().altitude - 300.0);
}

}  // namespace
}  // namespace clv::test
