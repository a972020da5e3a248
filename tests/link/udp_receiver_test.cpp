#include <gtest/gtest.h>

#include "support/eventually.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "core/log.h"
#include "core/parameters.h"
#include "core/ui_port.h"
#include "link/qnh_receiver.h"
#include "link/realtraffic_state.h"
#include "link/traffic_receiver.h"
#include "link/traffic_update.h"
#include "link/udp_readers.h"
#include "link/udp_receiver.h"
#include "platform/sockets.h"
#include "support/temp_folder.h"
#include "traffic_test_support.h"

using clv::test::TempFolder;

namespace {

// Counts what reaches it.
class CountingReceiver : public clv::UdpReceiver {
public:
    void processDatagram() override { handled.emplace_back(lastDatagram); }
    void stopped() override { ++stops; }
    std::vector<std::string> handled;
    int stops = 0;
};

// Waits for a condition the other thread brings about; fails the test after a
// generous limit rather than hanging.
using clv::test::eventually;

class FeedTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_openLog(dir.path());
        gf_nullUiPort().clear();
        realTrafficOnThisPc = true;
        realTrafficConnected = false;
        readerError = false;
        gf_resetTrafficFeed();
    }
    void TearDown() override {
        gf_stopReaders();
        gf_closeLog();
        realTrafficOnThisPc = false;
        realTrafficConnected = false;
        readerError = false;
        std::lock_guard lock(runMutex);
        flightRunning = false;
        trafficUpdateQueue.clear();
    }
    std::string log() const { return dir.read("Log.txt"); }

    TempFolder dir;
};

}  // namespace

TEST_F(FeedTest, RepeatsAreDroppedOnlyWhenTheFeedComesFromAnotherPc) {
    CountingReceiver r;
    realTrafficOnThisPc = false;
    for (const char* d : {"a,1", "a,1", "b,2", "a,1", "a,1"}) r.acceptDatagram(d);
    EXPECT_EQ(r.handled, (std::vector<std::string>{"a,1", "b,2", "a,1"}));
    EXPECT_EQ(r.datagramCount.load(), 5);

    CountingReceiver local;
    realTrafficOnThisPc = true;
    for (const char* d : {"a,1", "a,1"}) local.acceptDatagram(d);
    EXPECT_EQ(local.handled.size(), 2u);
}

TEST_F(FeedTest, AFullBufferIsAnOverrun) {
    CountingReceiver r;
    r.acceptDatagram(std::string(clv::kReceiveBufferSize, 'x'));
    EXPECT_TRUE(r.handled.empty());
    r.acceptDatagram(std::string(clv::kReceiveBufferSize - 1, 'y'));
    ASSERT_EQ(r.handled.size(), 1u);
    EXPECT_EQ(r.handled[0].size(), clv::kReceiveBufferSize - 1);
    EXPECT_NE(log().find("buffer overrun: 16384 bytes\n"), std::string::npos);
}

TEST_F(FeedTest, QnhRules) {
    struct Case {
        std::string datagram;
        int stored;  // -1: nothing changes
        std::string logged;
    };
    const std::vector<Case> cases = {
        {R"({"QNH": 2992})", 1013, ""},
        {R"({"QNH": 1013.6})", 1014, ""},
        {R"({"QNH": 1013.4})", 1013, ""},
        {R"({"QNH": "1005"})", 1005, ""},
        {R"({"QNH": "high"})", 1013, "===> QNH string invalid arg: "},
        {R"({"QNH": "99999999999"})", 1013, "===> QNH string out of range: "},
        {R"({"QNH": 925})", -1, R"(? Strange QNH 925 found in {"QNH": 925})"},
        {R"({"QNH": 1081})", -1, R"(? Strange QNH 366 found in {"QNH": 1081})"},
        {R"({"QNH": 930})", 930, ""},
        {R"({"QNH": 1080})", 1080, ""},
        {R"({"QNH": 3100})", 1050, ""},
        {R"({"wind": 270})", -1, R"(no QNH {"wind": 270})"},
        {R"({"QNH": null})", -1, R"(no QNH {"QNH": null})"},
        {R"([1013])", -1, "no QNH [1013]"},
        {R"({"QNH": 1013)", -1, R"(, in {"QNH": 1013)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.datagram);
        clv::QnhReceiver r;
        r.lastQnh = 999;
        currentQnh = 999;
        qnhDisplay = 999;
        r.acceptDatagram(c.datagram);
        const int expected = c.stored < 0 ? 999 : c.stored;
        EXPECT_EQ(currentQnh.load(), expected);
        EXPECT_EQ(qnhDisplay.load(), expected);
        EXPECT_EQ(r.lastQnh.load(), expected);
        if (!c.logged.empty()) {
            EXPECT_NE(log().find(c.logged), std::string::npos) << log();
        }
    }
}

TEST_F(FeedTest, BadQnhDatagramsCannotFillTheLog) {
    clv::QnhReceiver r;
    const std::size_t before = log().size();
    // 1000 datagrams of 16 KB that are not JSON, each with a line feed inside.
    const std::string bad = "{\"QNH\":\n" + std::string(16000, 'x');
    for (int i = 0; i < 1000; ++i) r.acceptDatagram(bad);
    const std::string added = log().substr(before);
    // One line, with at most the first 200 bytes of the datagram, escaped.
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added.substr(0, 500);
    EXPECT_LT(added.size(), 600u);
    EXPECT_NE(added.find("{\"QNH\":\\n" + std::string(192, 'x') + " ... (16008 bytes)"), std::string::npos)
        << added;
}

TEST_F(FeedTest, QnhRepeatsChangeNothingExceptStandardPressure) {
    clv::QnhReceiver r;
    r.acceptDatagram(R"({"QNH": 1020})");
    EXPECT_EQ(currentQnh.load(), 1020);
    currentQnh = 1;  // shows whether the next datagram stores again
    r.acceptDatagram(R"({"QNH":1020})");
    EXPECT_EQ(currentQnh.load(), 1);

    r.acceptDatagram(R"({"QNH": 1013})");
    EXPECT_EQ(currentQnh.load(), 1013);
    currentQnh = 1;
    r.acceptDatagram(R"({"QNH":1013})");
    EXPECT_EQ(currentQnh.load(), 1013);
}

TEST_F(FeedTest, AcceptedQnhRelightsASilentWeatherLamp) {
    clv::QnhReceiver r;
    weatherLamp = kLampSilent;
    const int repaints = gf_nullUiPort().repaintRequests();
    r.acceptDatagram(R"({"QNH": 1021})");
    EXPECT_EQ(weatherLamp.load(), kLampReceiving);
    EXPECT_GT(gf_nullUiPort().repaintRequests(), repaints);
    weatherLamp = kLampStopped;
    r.acceptDatagram(R"({"QNH": 1022})");
    EXPECT_EQ(weatherLamp.load(), kLampStopped);
}

TEST_F(FeedTest, LampsShowSilenceAndReceiving) {
    realTrafficConnected = true;
    gf_updateFeedLamps();  // takes the counters as they are
    gf_updateFeedLamps();
    EXPECT_EQ(weatherLamp.load(), kLampSilent);
    EXPECT_EQ(trafficLamp.load(), kLampSilent);

    qnhReceiver.acceptDatagram(R"({"QNH": 1017})");
    gf_updateFeedLamps();
    EXPECT_EQ(weatherLamp.load(), kLampReceiving);
    EXPECT_EQ(trafficLamp.load(), kLampSilent);

    trafficReceiver.acceptDatagram("x");
    qnhReceiver.acceptDatagram(R"({"QNH": 1018})");
    gf_updateFeedLamps();
    EXPECT_EQ(trafficLamp.load(), kLampReceiving);
    EXPECT_EQ(weatherLamp.load(), kLampReceiving);

    // Without RealTraffic the lamps are left alone.
    realTrafficConnected = false;
    gf_updateFeedLamps();
    EXPECT_EQ(trafficLamp.load(), kLampReceiving);
}

TEST_F(FeedTest, ResetForgetsTheFeedState) {
    trafficReceiver.dataTimestamp = 5.0;
    trafficReceiver.startCollectingCallsigns();
    trafficReceiver.noteCallsign("ABC123");
    trafficReceiver.stop = true;
    qnhReceiver.stop = true;
    qnhReceiver.lastQnh = 1020;
    currentQnh = 1020;
    trafficLampLit = false;
    weatherLampLit = false;
    gf_resetTrafficFeed();
    EXPECT_EQ(trafficReceiver.dataTimestamp.load(), 0.0);
    EXPECT_TRUE(trafficReceiver.takeSeenCallsigns().empty());
    EXPECT_FALSE(trafficReceiver.stop.load());
    EXPECT_FALSE(qnhReceiver.stop.load());
    EXPECT_EQ(qnhReceiver.lastQnh.load(), 1013);
    EXPECT_EQ(currentQnh.load(), 1020);
    EXPECT_TRUE(trafficLampLit.load());
    EXPECT_TRUE(weatherLampLit.load());
}

TEST(WsaErrorText, CodeAndText) {
    EXPECT_EQ(gf_wsaErrorText(10048), "10048 Address already in use");
    EXPECT_EQ(gf_wsaErrorText(10054), "10054 Connection reset by peer");
    EXPECT_EQ(gf_wsaErrorText(11004), "11004 No host data of that type was found");
    EXPECT_EQ(gf_wsaErrorText(10090), "10090 Unknown errror code");
}

TEST_F(FeedTest, ReadersReceiveOverLoopbackAndStopOnRequest) {
    gf_setReaderPorts(0, 0);
    {
        std::lock_guard lock(runMutex);
        flightRunning = true;
    }
    trafficReceiver.setRangeCentre({47.45, 8.56});
    lateralRangeNm = 40.0;
    gf_startQnhReader();
    gf_startTrafficReader();
    ASSERT_TRUE(eventually([] { return trafficReceiver.boundPort() != 0 && qnhReceiver.boundPort() != 0; }));
    EXPECT_EQ(trafficLamp.load(), kLampReceiving);
    EXPECT_EQ(weatherLamp.load(), kLampReceiving);

    clv::platform::Socket sender(clv::platform::openUdpSocket());
    const std::string line = clv::test::joinFields(clv::test::baseTrafficFields());
    ASSERT_TRUE(clv::platform::sendDatagram(sender.handle(), "127.0.0.1", trafficReceiver.boundPort(), line));
    ASSERT_TRUE(clv::platform::sendDatagram(sender.handle(), "127.0.0.1", qnhReceiver.boundPort(), R"({"QNH":1009})"));
    EXPECT_TRUE(eventually([] {
        std::lock_guard lock(runMutex);
        return trafficUpdateQueue.size() == 1;
    }));
    EXPECT_TRUE(eventually([] { return currentQnh.load() == 1009; }));

    gf_stopReaders();
    EXPECT_EQ(trafficReceiver.boundPort(), 0);
    EXPECT_EQ(trafficLamp.load(), kLampStopped);
    EXPECT_FALSE(readerError.load());
    const std::string text = log();
    EXPECT_NE(text.find("          Traffic Reader connected\n"), std::string::npos);
    EXPECT_NE(text.find("          QNH Reader connected\n"), std::string::npos);
    EXPECT_NE(text.find("Traffic Reader has stopped\n"), std::string::npos);
    EXPECT_NE(text.find("QNH Reader has stopped\n"), std::string::npos);
    gf_setReaderPorts(clv::kTrafficPort, clv::kQnhPort);
}

TEST_F(FeedTest, TheTrafficSocketGetsAReceiveBufferOfSeveralMegabytes) {
    // What this system gives a socket that asks for 8 MB (it may cap the request).
    clv::platform::Socket probe(clv::platform::openUdpSocket());
    const int allowed = clv::platform::setReceiveBuffer(probe.handle(), 8 * 1024 * 1024);
    ASSERT_GT(allowed, 0);
    clv::platform::Socket plain(clv::platform::openUdpSocket());
    const int systemDefault = clv::platform::receiveBufferSize(plain.handle());

    gf_setReaderPorts(0, 0);
    gf_startTrafficReader();
    ASSERT_TRUE(eventually([] { return trafficReceiver.boundPort() != 0; }));
    const int given = clv::platform::receiveBufferSize(trafficReceiver.socket.handle());
    gf_stopReaders();
    gf_setReaderPorts(clv::kTrafficPort, clv::kQnhPort);
    EXPECT_GE(given, allowed);
    if (allowed > systemDefault) {
        EXPECT_GT(given, systemDefault);
    }
}

TEST_F(FeedTest, AReaderThatCannotBindReportsAnError) {
    clv::platform::Socket holder(clv::platform::openUdpSocket());
    ASSERT_TRUE(clv::platform::bindIpv4(holder.handle(), true, 0));
    const std::uint16_t port = clv::platform::localPort(holder.handle());
    gf_qnhReader(port);  // returns at once: the port is taken
    EXPECT_TRUE(readerError.load());
    ASSERT_EQ(gf_nullUiPort().errorLines().size(), 1u);
    EXPECT_EQ(gf_nullUiPort().errorLines()[0],
              "The WeatherReader has stopped with an error: bind to stream socket failed with error: 10048 Address "
              "already in use");
    EXPECT_NE(log().find("          QNH Reader disconnected\n"), std::string::npos);
    EXPECT_FALSE(qnhReceiver.socket.isOpen());

    gf_nullUiPort().clear();
    gf_trafficReader(port);
    ASSERT_EQ(gf_nullUiPort().errorLines().size(), 1u);
    EXPECT_EQ(gf_nullUiPort().errorLines()[0],
              "The TrafficReader  has stopped with an error: bind to stream socket failed with error: 10048 Address "
              "already in use");
    EXPECT_NE(log().find("          Traffic Reader disconnected\n"), std::string::npos);
}
