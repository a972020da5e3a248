// The feed stand-in against the program's receivers and TCP link, over loopback.
#include <gtest/gtest.h>

#include "support/eventually.h"

#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

#include "core/clock.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "link/qnh_receiver.h"
#include "link/realtraffic_link.h"
#include "link/realtraffic_state.h"
#include "link/traffic_receiver.h"
#include "link/traffic_update.h"
#include "link/udp_readers.h"
#include "support/temp_folder.h"
#include "tools/feedstandin/feed_sender.h"
#include "tools/feedstandin/rt_client.h"
#include "tools/feedstandin/track_script.h"

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

using clv::test::eventually;

// A departure taxiing at Zurich, an arrival, an overflight, and three aircraft
// the program leaves out: a static id, a glider and one beyond the range.
const char* kScript = R"(
aircraft hexid=4840123 callsign=SWR123 type=A320 reg=HB-JLT from=LSGG to=LSZH category=A3
  0  47.4800 8.5000  3000 160 270 -700 air tas=170 roll=-5
  5  47.4700 8.5200  2500 150 120 -700 air
aircraft hexid=4510001 callsign=EZY45 type=A319 reg=G-EZAB from=LSZH to=EGGW category=A3
  1  47.4581 8.5481  1416  12 280    0 ground
  6  47.4590 8.5400  1700 150 280 2000 air
aircraft hexid=3950001 callsign=AFR1234 type=B77W reg=F-GSQA category=A5
  2  47.6000 8.7000 37000 480  45    0 air
aircraft hexid=5000 callsign=STATIC1 type=B738 reg=HB-ABC category=A3
  3  47.4600 8.5500  3000 200  90    0 air
aircraft hexid=4000001 callsign=GLIDER1 type=DG80 reg=D-1234 category=B1
  3  47.4700 8.5600  4000  60  90    0 air
aircraft hexid=4000002 callsign=FAR1 type=A320 reg=F-HFAR category=A3
  4  49.0000 8.5600 30000 450   0    0 air
)";

struct Expected {
    std::uint32_t hexid;
    const char* callsign;
    double latitude, longitude, altitude, groundSpeed, track, verticalSpeed, trueAirspeed;
    bool airborne;
    double rollDegrees;  // 0: none
    double timestamp;
};

class FeedStandInEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        gf_openLog(dir.path());
        gf_nullUiPort().clear();
        realTrafficOnThisPc = true;
        lateralRangeNm = 40.0;
        trafficReceiver.setRangeCentre({47.45, 8.56});
        trafficReceiver.clearRefElevation();
        gf_setFeedParkAirport({47.4581, 8.5481});
        gf_resetTrafficFeed();
        trafficTickCount = 0;
        std::lock_guard lock(runMutex);
        flightRunning = true;
        trafficUpdateQueue.clear();
    }
    void TearDown() override {
        gf_stopReaders();
        gf_closeRealTrafficLink();
        gf_setRealTrafficGoneHandler(nullptr);
        gf_setReaderPorts(clv::kTrafficPort, clv::kQnhPort);
        gf_clearFeedParkAirport();
        gf_closeLog();
        realTrafficOnThisPc = false;
        std::lock_guard lock(runMutex);
        flightRunning = false;
        trafficUpdateQueue.clear();
    }
    clv::test::TempFolder dir;
};

int g_gone = 0;
void countGone() { ++g_gone; }

}  // namespace

TEST_F(FeedStandInEndToEnd, ScriptedTrafficAndQnhReachTheEngineQueue) {
    gf_setReaderPorts(0, 0);
    gf_startQnhReader();
    gf_startTrafficReader();
    ASSERT_TRUE(eventually([] { return trafficReceiver.boundPort() != 0 && qnhReceiver.boundPort() != 0; }));

    clv::FeedSender sender({"127.0.0.1", trafficReceiver.boundPort(), qnhReceiver.boundPort()});
    const double start = 1760000000;
    const auto lines = gf_linesOfScript(gf_readTrackScript(kScript), start);
    ASSERT_EQ(lines.size(), 8u);
    std::atomic<bool> stop{false};
    EXPECT_EQ(sender.play(lines, 100.0, stop), 8u);
    ASSERT_TRUE(sender.sendQnh("1020"));

    ASSERT_TRUE(eventually([] { return trafficReceiver.dataTimestamp.load() == 1760000006.0; }));
    ASSERT_TRUE(eventually([] { return currentQnh.load() == 1020; }));
    gf_stopReaders();

    const std::vector<Expected> expected = {
        {4840123, "SWR123", 47.48, 8.50, 3000, 160, 270, -700, 170, true, 5, start + 0},
        {4510001, "EZY45", 47.4581, 8.5481, 0, 12, 280, 0, 180, false, 0, start + 1},
        {3950001, "AFR1234", 47.60, 8.70, 37000, 480, 45, 0, 430, true, 0, start + 2},
        {4840123, "SWR123", 47.47, 8.52, 2500, 150, 120, -700, 220, true, 0, start + 5},
        {4510001, "EZY45", 47.459, 8.54, 1700, 150, 280, 2000, 180, true, 0, start + 6},
    };
    std::lock_guard lock(runMutex);
    ASSERT_EQ(trafficUpdateQueue.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Expected& e = expected[i];
        const clv::TrafficUpdate& u = trafficUpdateQueue[i];
        SCOPED_TRACE(e.callsign);
        EXPECT_EQ(u.hexid, e.hexid);
        EXPECT_EQ(u.identity.callsign, e.callsign);
        // Six decimals on the wire: within a tenth of a metre.
        EXPECT_NEAR(u.sample.latitude, e.latitude, 1e-6);
        EXPECT_NEAR(u.sample.longitude, e.longitude, 1e-6);
        EXPECT_EQ(u.sample.altitude, e.altitude);
        EXPECT_EQ(u.sample.groundSpeed, e.groundSpeed);
        EXPECT_EQ(u.sample.track, e.track);
        EXPECT_EQ(u.sample.verticalSpeed, e.verticalSpeed);
        EXPECT_EQ(u.sample.trueAirspeed, e.trueAirspeed);
        EXPECT_EQ(u.sample.airborne, e.airborne);
        EXPECT_EQ(u.sample.hasRoll, e.rollDegrees != 0);
        EXPECT_DOUBLE_EQ(u.sample.roll, e.rollDegrees * kDeg);
        EXPECT_TRUE(u.sample.hasHeading);
        EXPECT_DOUBLE_EQ(u.sample.heading, e.track * kDeg);
        EXPECT_EQ(u.timestamp, e.timestamp);
        EXPECT_EQ(u.sample.dueTick, 3000u);
    }
    EXPECT_EQ(trafficUpdateQueue[0].identity.registration, "HB-JLT");
    EXPECT_EQ(trafficUpdateQueue[1].identity.destination, "EGGW");
    EXPECT_EQ(trafficUpdateQueue[2].identity.type, "B77W");
}

TEST_F(FeedStandInEndToEnd, RealTrafficClientSurvivesADropAndHearsTheExit) {
    g_gone = 0;
    gf_setRealTrafficGoneHandler(&countGone);
    gf_setupTcpServer("0");
    clv::RtClientOptions options;
    options.port = gf_tcpServerPort();
    options.version = "9.0.1";
    options.level = 2;
    options.dropAfterQs121 = 2;
    options.reconnectDelayMs = 100;
    clv::RtClient rt(options, nullptr);
    rt.start();

    gf_connectRealTraffic();
    EXPECT_TRUE(rtProfessional.load());
    EXPECT_EQ(gf_rtEditionText(), "RT prof edition: 9.0.1");

    clv::UserAcData user;
    user.latitude = 47.0;
    user.longitude = 8.0;
    user.pitch = 0.05;
    user.bank = -0.1;
    user.trueHeading = 1.5;
    user.altitude = 35000;
    user.groundVelocity = 250.5;
    gf_sendQs121(user);
    gf_sendQs121(user);
    ASSERT_TRUE(eventually([&] { return rt.qs121Count() == 2; }));

    // The client dropped the link; the next reports notice it and take it when it comes back.
    for (int i = 0; i < 2000 && !(g_gone > 0 && clientConnected.load()); ++i) {
        gf_sendQs121(user);
        if (!(g_gone > 0 && clientConnected.load())) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(g_gone, 1);
    EXPECT_TRUE(clientConnected.load());
    EXPECT_TRUE(realTrafficConnected.load());
    EXPECT_TRUE(eventually([&] { return rt.connections() == 2; }));
    auto status = gf_nullUiPort().statusLines();
    ASSERT_GE(status.size(), 2u);
    EXPECT_NE(status[status.size() - 2].find(" RealTraffic re-connected"), std::string::npos);

    gf_sendQs121(user);
    ASSERT_TRUE(eventually([&] { return rt.qs121Count() == 3; }));
    gf_closeRealTrafficLink();
    ASSERT_TRUE(eventually([&] { return rt.exitCount() == 1; }));
    rt.stop();

    int versionQuestions = 0;
    for (const std::string& line : rt.lines()) {
        if (line == "Qs999=version") ++versionQuestions;
        if (line.starts_with("Qs121=")) {
            EXPECT_EQ(line, "Qs121=5000;-10000;1.500000;35000000;250500;0.820305;0.139626");
        }
    }
    EXPECT_EQ(versionQuestions, 2);  // the re-connecting client is asked too
    EXPECT_EQ(rt.lines().back(), "exit");
}
