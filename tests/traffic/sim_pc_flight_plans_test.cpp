// AI flight plans and where the simulator runs: the engine with the program's
// simulator link hands its aircraft to the stand-in simulator, which records the
// flight plan paths it is given. A simulator on this PC gets the files' own
// paths; one on another PC gets them in the share SIM_PC_FLIGHT_PLAN_FOLDER
// names, or none at all, and the aircraft fly the same either way.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "core/folders.h"
#include "core/geodesy.h"
#include "core/ui_port.h"
#include "engine_end_to_end.h"
#include "link/sim_flight_plan.h"
#include "link/sim_queues.h"
#include "movement_support.h"
#include "platform/simconnect.h"
#include "support/eventually.h"
#include "support/temp_folder.h"
#include "traffic/link_ports.h"
#include "traffic_harness.h"

namespace clv::test {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

const LatLon kUser{50.0333, 8.5706};
constexpr const char* kTitle = "Lufthansa A320";
constexpr int kAircraft = 3;
const std::string kShare = "\\\\MYPC\\calvorinth\\orig_dest";
const std::string kToldLog = "===> AI flight plans need SIM_PC_FLIGHT_PLAN_FOLDER in ";
const std::string kToldStatus = "AI flight plans need SIM_PC_FLIGHT_PLAN_FOLDER in parameters.xml (the simulator runs on another PC)";

enum class Sent { LocalPaths, SharePaths, Nothing };

struct PlanCase {
    const char* name;
    const char* simAddress;  // where SimConnect.cfg has the simulator
    std::string share;       // SIM_PC_FLIGHT_PLAN_FOLDER
    Sent sent;
    bool told;     // the log and the status line say once what is missing
    bool refused;  // the share's path is too long: refused for every aircraft
};

// The program data folder and the share setting of one test, put back afterwards.
class PlanFolderGuard {
public:
    explicit PlanFolderGuard(const std::string& share)
        : previousData_(g_programDataFolder), previousShare_(SIM_PC_FLIGHT_PLAN_FOLDER.value.get()) {
        g_programDataFolder = data_ / "Calvorinth";
        SIM_PC_FLIGHT_PLAN_FOLDER.value = share;
    }
    ~PlanFolderGuard() {
        gf_removeFlightPlanFolder();
        flightPlanFolder.clear();
        g_programDataFolder = previousData_;
        SIM_PC_FLIGHT_PLAN_FOLDER.value = previousShare_;
    }

private:
    TempFolder data_;
    Path previousData_;
    std::string previousShare_;
};

std::string lf_name(const ::testing::TestParamInfo<PlanCase>& info) { return info.param.name; }

long lf_linesStartingWith(const std::string& text, const std::string& start) {
    long n = 0;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        if (text.compare(from, start.size(), start) == 0) ++n;
        from = end + 1;
    }
    return n;
}

class SimPcFlightPlans : public EngineEndToEnd, public ::testing::WithParamInterface<PlanCase> {};

TEST_P(SimPcFlightPlans, TheSimulatorGetsPathsItCanOpenOrNoneAndTheAircraftFlyAlike) {
    const PlanCase& c = GetParam();
    PlanFolderGuard folders(c.share);
    ASSERT_TRUE(gf_createPlnFolder());
    gf_nullUiPort().clear();

    // The simulator that is handed flight plans: MSFS 2020.
    standin::StandInOptions options;
    standin::gf_applyScenarioJson(
        json{{"simulator", "KittyHawk"},
             {"version", {11, 0, 282174, 999}},
             {"frame_rate", 30},
             {"ground_elevation_ft", 360},
             {"user", {{"lat", kUser.lat}, {"lon", kUser.lon}, {"agl_ft", 0}, {"on_ground", true},
                       {"title", "Airbus A320 Asobo"}}},
             {"installed_titles", {{{"title", kTitle}, {"static_cg_ft", 6.0}}}}},
        options.scenario);
    standIn.start(options);
    ScopedEnv simPort(kSimConnectPortVariable, std::to_string(standIn.simPort()).c_str());

    SettingsGuard settings;
    MSFS_2020.value = true;
    gf_reserveSimQueues();
    LinkSimPort sim;
    FakeAircraftData data = FakeAircraftData::standard();
    FakeParking parking;
    LiveMovement movement;
    LiveFlight flight;
    TrafficEngine engine{EnginePorts{&sim, &data, &parking, &movement, &flight}};
    trafficTickCount = 0;
    {
        std::lock_guard lock(runMutex);
        trafficUpdateQueue.clear();
    }
    gf_startTraffic(engine);
    client = std::jthread(SimClient);
    ASSERT_TRUE(eventually([] { return simConnected.load() && simRunning.load(); }, std::chrono::seconds(10)))
        << readFile(logDir.path() / "Log.txt");
    // The stand-in listens on this PC; the case says where the simulator is.
    gf_setSimAddress(c.simAddress);

    // Three airliners with routes, 5 to 9 nm east of the user at 5000 ft, flying
    // east at 250 kt: a sample every 5 s (500 ticks) for a minute, the first due soon.
    for (int a = 0; a < kAircraft; ++a) {
        for (int s = 0; s < 12; ++s) {
            const double nm = 5.0 + 2.0 * a + 250.0 * 5.0 * s / 3600.0;
            const LatLon at = offset(kUser, 90.0, nm * kMetresPerNm);
            TrafficUpdate u = makeUpdate(0x3C0001 + a, "DLH" + std::to_string(a + 1), "A320", at.lat, at.lon, 5000, 250,
                                         90, 1000.0 + 5.0 * s);
            u.identity.origin = "EDDF";
            u.identity.destination = "EDDM";
            u.sample.dueTick = 150 + 500 * static_cast<std::uint32_t>(s);
            std::lock_guard lock(runMutex);
            trafficUpdateQueue.push_back(std::move(u));
        }
    }

    // The run thread, a tick per millisecond, until all are active and have flown
    // 300 ticks (3 s, about 390 m) beyond that.
    std::uint32_t allActiveAt = 0;
    const Clock::time_point start = Clock::now();
    for (std::uint32_t i = 0; Clock::now() < start + std::chrono::seconds(30); ++i) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(i));
        TrafficTick{engine}();
        if (allActiveAt == 0) {
            const bool all = std::count_if(engine.liveAc.begin(), engine.liveAc.end(), [](const LiveAc& ac) {
                                 return ac.simState == AcSimState::Active;
                             }) == kAircraft;
            if (all) allActiveAt = trafficTickCount.load();
        } else if (trafficTickCount.load() >= allActiveAt + 300) {
            break;
        }
    }
    const std::string log = readFile(logDir.path() / "Log.txt");
    ASSERT_NE(allActiveAt, 0u) << log;

    // Created and moved, whatever became of their flight plans.
    const json history = standIn.command({{"cmd", "history"}});
    ASSERT_EQ(history["tracks"].size(), static_cast<std::size_t>(kAircraft)) << history.dump().substr(0, 2000);
    for (const json& track : history["tracks"]) {
        SCOPED_TRACE(track["atc_id"].dump());
        const json& points = track["points"];
        ASSERT_GE(points.size(), 2u);
        const LatLon first{points.front()["lat"].get<double>(), points.front()["lon"].get<double>()};
        const LatLon last{points.back()["lat"].get<double>(), points.back()["lon"].get<double>()};
        EXPECT_GT(metresBetween(first, last), 100.0);
    }

    const json calls = standIn.command({{"cmd", "log"}, {"call", "SimConnect_AISetAircraftFlightPlan"}})["entries"];
    ASSERT_EQ(calls.size(), c.sent == Sent::Nothing ? 0u : static_cast<std::size_t>(kAircraft)) << calls.dump();
    for (const json& call : calls) {
        const std::string file = std::to_string(call["object_id"].get<std::uint32_t>()) + ".pln";
        if (c.sent == Sent::LocalPaths) {
            EXPECT_EQ(call["path"], (flightPlanFolder / file).string());
            EXPECT_FALSE(call.contains("load_error")) << call.dump();  // the simulator read it
        } else {
            EXPECT_EQ(call["path"], c.share + "\\" + file);
        }
    }

    EXPECT_EQ(lf_linesStartingWith(log, kToldLog), c.told ? 1 : 0) << log;
    const auto status = gf_nullUiPort().statusLines();
    EXPECT_EQ(std::count(status.begin(), status.end(), kToldStatus), c.told ? 1 : 0);
    const long refusals = c.refused ? kAircraft : 0;
    EXPECT_EQ(occurrences(log, "bytes long, the simulator takes at most 259: not handed over"), refusals) << log;
    EXPECT_EQ(occurrences(log, "creating a flight plan failed"), refusals) << log;
}

INSTANTIATE_TEST_SUITE_P(
    WhereTheSimulatorRuns, SimPcFlightPlans,
    ::testing::Values(PlanCase{"ThisPcWithAShareSet", "127.0.0.1", kShare, Sent::LocalPaths, false, false},
                      PlanCase{"AnotherPcWithTheShare", "192.168.1.20", kShare, Sent::SharePaths, false, false},
                      PlanCase{"AnotherPcWithoutAShare", "192.168.1.20", "", Sent::Nothing, true, false},
                      PlanCase{"AnotherPcWithAShareTooLong", "192.168.1.20", "D:\\" + std::string(250, 'f'),
                               Sent::Nothing, false, true}),
    lf_name);

}  // namespace
}  // namespace clv::test
