#include "link/realtraffic_link.h"

#include <gtest/gtest.h>

#include "support/eventually.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "core/log.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "link/realtraffic_state.h"
#include "link/traffic_receiver.h"
#include "platform/sockets.h"
#include "support/temp_folder.h"

namespace platform = clv::platform;
using clv::test::TempFolder;

namespace {

// A scripted RealTraffic: connects, answers the version question with the given
// pieces (or closes instead), then records what it receives until it is closed.
class FakeRealTraffic {
public:
    FakeRealTraffic(std::uint16_t port, std::vector<std::string> replyPieces, bool closeInsteadOfReply = false)
        : port_(port), pieces_(std::move(replyPieces)), closeInstead_(closeInsteadOfReply) {
        thread_ = std::thread([this] { run(); });
    }
    ~FakeRealTraffic() { close(); }

    // Ends the connection from this side.
    void close() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::string received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    // The connection is made (it waits in the listen queue until accepted).
    bool connected() const { return connected_.load(); }

private:
    void run() {
        platform::ResolvedAddress address;
        if (platform::resolveTcp("127.0.0.1", std::to_string(port_), address) != 0) return;
        platform::Socket socket(platform::connectTo(address));
        if (!socket.isOpen()) return;
        connected_ = true;
        const platform::StopTest stop = [this] { return stop_.load(); };
        char buffer[4096];
        bool answered = false;
        while (platform::waitReadable(socket.handle(), stop) == platform::WaitResult::Ready) {
            long n = platform::receiveSome(socket.handle(), buffer, sizeof buffer);
            if (n <= 0) return;
            {
                std::lock_guard lock(mutex_);
                received_.append(buffer, static_cast<std::size_t>(n));
            }
            if (!answered && received().find("Qs999=version\r\n") != std::string::npos) {
                answered = true;
                if (closeInstead_) return;
                for (std::size_t i = 0; i < pieces_.size(); ++i) {
                    // Pieces apart, as a slow sender's reply arrives.
                    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(150));
                    platform::sendAll(socket.handle(), pieces_[i]);
                }
            }
        }
    }

    std::uint16_t port_;
    std::vector<std::string> pieces_;
    bool closeInstead_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> connected_{false};
    mutable std::mutex mutex_;
    std::string received_;
    std::thread thread_;
};

using clv::test::eventually;

int g_goneCalls = 0;
void countGone() { ++g_goneCalls; }

clv::UserAcData cruising() {
    clv::UserAcData u;
    u.latitude = 47.0;
    u.longitude = 8.0;
    u.pitch = 0.05;
    u.bank = -0.1;
    u.trueHeading = 1.5;
    u.altitude = 35000;
    u.groundVelocity = 250.5;
    return u;
}

class RealTrafficLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_openLog(dir.path());
        gf_nullUiPort().clear();
        realTrafficOnThisPc = true;
        realTrafficConnected = false;
        clientConnected = false;
        awaitingRealTraffic = true;
        rtProfessional = false;
        gf_setRtEditionText("");
        g_goneCalls = 0;
        gf_setRealTrafficGoneHandler(&countGone);
        gf_setupTcpServer("0");
        port = gf_tcpServerPort();
        ASSERT_NE(port, 0);
    }
    void TearDown() override {
        gf_closeRealTrafficLink();
        gf_setRealTrafficGoneHandler(nullptr);
        gf_setVersionReplyTimeout(std::chrono::milliseconds(5000));
        gf_closeLog();
        stopRequested = false;
        userClosedWindow = false;
        exitReason = clv::ExitReason::NotYetSet;
        realTrafficOnThisPc = false;
        realTrafficConnected = false;
        rtProfessional = false;
    }
    std::string log() const { return dir.read("Log.txt"); }

    TempFolder dir;
    std::uint16_t port = 0;
};

}  // namespace

TEST_F(RealTrafficLinkTest, VersionReplies) {
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        bool professional;
        std::string edition;
    };
    const std::vector<Case> cases = {
        {"professional", {R"({"version":"9.0.1","level":2})" "\r\n"}, true, "RT prof edition: 9.0.1"},
        {"no level is standard", {R"({"version":"8.1"})"}, false, "RT stnd edition: 8.1"},
        {"level 1", {R"({"version":"9.0.1","level":1})"}, false, "RT stnd edition: 9.0.1"},
        {"in two pieces", {R"({"version":"9.0)", R"(.1","level":2})"}, true, "RT prof edition: 9.0.1"},
        {"not an object", {"[9, 2]"}, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rtProfessional = !c.professional;
        gf_setRtEditionText("old");
        FakeRealTraffic rt(port, c.pieces);
        gf_connectRealTraffic();
        EXPECT_EQ(rtProfessional.load(), c.professional);
        EXPECT_EQ(gf_rtEditionText(), c.edition);
        EXPECT_TRUE(realTrafficConnected.load());
        EXPECT_TRUE(clientConnected.load());
        EXPECT_FALSE(awaitingRealTraffic.load());
        EXPECT_EQ(rt.received(), "Qs999=version\r\n");
        gf_closeRealTrafficLink();
        gf_setupTcpServer("0");
        port = gf_tcpServerPort();
    }
    EXPECT_NE(log().find("RealTraffic connected\n"), std::string::npos);
    auto status = gf_nullUiPort().statusLines();
    ASSERT_GE(status.size(), 2u);
    EXPECT_EQ(status[0], "Waiting for RealTraffic to connect to Calvorinth ...");
    EXPECT_EQ(status[1], "");
}

// Clients that are not RealTraffic, or not ready to serve: each connection is
// closed with a status line and the wait goes on until a proper client comes.
TEST_F(RealTrafficLinkTest, AClientWithoutAProperVersionReplyIsClosedAndTheNextOneTaken) {
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        bool closeInstead;
        const char* status;
    };
    const std::vector<Case> cases = {
        {"closes without a reply", {}, true, "no version reply within 0.3 s"},
        {"never answers", {}, false, "no version reply within 0.3 s"},
        {"reply cut off by the time limit", {R"({"version":"9.0.1","le)"}, false, "no version reply within 0.3 s"},
        {"reply that is not JSON", {"version 9\r\n"}, false, "not a version reply: version 9\\r\\n"},
        {"binary garbage", {std::string("\x1B[2J\xFF\x00zz", 8)}, false, "not a version reply: \\x1B[2J\\xFF\\x00zz"},
        // A number beyond every range is an error of its own kind in the JSON library.
        {"number overflow", {"2e22122e2}"}, false, "not a version reply: 2e22122e2}"},
        {"number overflow in a version", {R"({"version":1e999,"level":2})"}, false, "not a version reply"},
    };
    gf_setVersionReplyTimeout(std::chrono::milliseconds(300));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gf_nullUiPort().clear();
        realTrafficConnected = false;
        rtProfessional = false;
        std::atomic<bool> returned{false};
        std::thread run([&] {
            gf_connectRealTraffic();
            returned = true;
        });
        {
            FakeRealTraffic bad(port, c.pieces, c.closeInstead);
            ASSERT_TRUE(eventually([&] {
                for (const std::string& line : gf_nullUiPort().statusLines())
                    if (line.find(c.status) != std::string::npos) return true;
                return false;
            })) << ::testing::PrintToString(gf_nullUiPort().statusLines());
            EXPECT_FALSE(realTrafficConnected.load());
            EXPECT_FALSE(returned.load());
        }
        FakeRealTraffic good(port, {R"({"version":"9.0.1","level":2})"});
        run.join();
        EXPECT_TRUE(realTrafficConnected.load());
        EXPECT_TRUE(clientConnected.load());
        EXPECT_TRUE(rtProfessional.load());
        EXPECT_EQ(gf_rtEditionText(), "RT prof edition: 9.0.1");
        gf_closeRealTrafficLink();
        gf_setupTcpServer("0");
        port = gf_tcpServerPort();
    }
    EXPECT_EQ(exitReason.load(), clv::ExitReason::NotYetSet);
}

TEST_F(RealTrafficLinkTest, TheLinkListensOnlyOnThisPc) { EXPECT_EQ(gf_tcpServerAddress(), "127.0.0.1"); }

// After RealTraffic went away, connections that never speak are closed and not
// counted as a re-connection; the proper client that follows is.
TEST_F(RealTrafficLinkTest, SilentConnectionsAreNotCountedAsAReconnection) {
    gf_setVersionReplyTimeout(std::chrono::milliseconds(300));
    auto rt = std::make_unique<FakeRealTraffic>(port, std::vector<std::string>{R"({"version":"9","level":2})"});
    gf_connectRealTraffic();
    ASSERT_TRUE(realTrafficConnected.load());
    rt->close();
    rt.reset();
    std::atomic<bool> reconnected{false};
    std::thread run([&] {
        // The run thread's reports: the first failed send drops the link, later ones
        // take a client that is waiting.
        for (int i = 0; i < 20000 && !reconnected.load(); ++i) {
            gf_sendQs121(cruising());
            if (g_goneCalls > 0 && realTrafficConnected.load()) reconnected = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    for (int i = 0; i < 3; ++i) {
        FakeRealTraffic silent(port, {});
        const std::string closed = "RealTraffic connection closed: no version reply";
        ASSERT_TRUE(eventually([&] {
            int n = 0;
            for (const std::string& line : gf_nullUiPort().statusLines())
                if (line.find(closed) != std::string::npos) ++n;
            return n == i + 1;
        }));
    }
    EXPECT_FALSE(reconnected.load());
    FakeRealTraffic good(port, {R"({"version":"9","level":2})"});
    run.join();
    EXPECT_TRUE(reconnected.load());
    int reconnections = 0;
    for (const std::string& line : gf_nullUiPort().statusLines())
        if (line.find("RealTraffic re-connected") != std::string::npos) ++reconnections;
    EXPECT_EQ(reconnections, 1);
    EXPECT_EQ(good.received().substr(0, 15), "Qs999=version\r\n");
}

// Connections that never speak do not hold RealTraffic up: every connection is
// asked at once and the first answer is served while the silent ones are still
// open and within their reply time.
TEST_F(RealTrafficLinkTest, RealTrafficIsServedWhileSilentConnectionsWait) {
    // Far beyond the test's own limit: no silent connection is refused for its
    // silence here, so a link that served them one after the other never reaches
    // RealTraffic.
    gf_setVersionReplyTimeout(std::chrono::minutes(10));
    struct Case {
        const char* name;
        bool silentBeforeTheWait;  // else they come while the link waits
    };
    for (const Case& c : {Case{"queued before the wait", true}, Case{"arriving while the link waits", false}}) {
        SCOPED_TRACE(c.name);
        gf_nullUiPort().clear();
        realTrafficConnected = false;
        rtProfessional = false;
        std::vector<std::unique_ptr<FakeRealTraffic>> silent;
        auto connectSilent = [&] {
            for (int i = 0; i < 3; ++i) {
                silent.push_back(std::make_unique<FakeRealTraffic>(port, std::vector<std::string>{}));
                EXPECT_TRUE(eventually([&] { return silent.back()->connected(); }));
            }
        };
        if (c.silentBeforeTheWait) connectSilent();
        std::thread run([] { gf_connectRealTraffic(); });
        if (!c.silentBeforeTheWait) {
            connectSilent();
            for (const auto& peer : silent)
                EXPECT_TRUE(eventually([&] { return peer->received() == "Qs999=version\r\n"; }));
        }
        FakeRealTraffic good(port, {R"({"version":"9.0.1","level":2})"});
        const bool served = eventually([] { return realTrafficConnected.load(); });
        if (!served) stopRequested = true;  // ends the wait
        run.join();
        stopRequested = false;
        ASSERT_TRUE(served);
        EXPECT_TRUE(clientConnected.load());
        EXPECT_TRUE(rtProfessional.load());
        EXPECT_EQ(good.received(), "Qs999=version\r\n");
        // Each silent connection was asked, and none was refused before RealTraffic came.
        for (const auto& peer : silent)
            EXPECT_TRUE(eventually([&] { return peer->received() == "Qs999=version\r\n"; })) << peer->received();
        for (const std::string& line : gf_nullUiPort().statusLines())
            EXPECT_EQ(line.find("RealTraffic connection closed"), std::string::npos) << line;
        // Reports go to RealTraffic, not to a silent connection.
        gf_sendQs123(12);
        EXPECT_TRUE(eventually([&] { return good.received() == "Qs999=version\r\nQs123=12000\r\n"; }))
            << good.received();
        gf_closeRealTrafficLink();
        gf_setupTcpServer("0");
        port = gf_tcpServerPort();
    }
}

// The reports are sent by the run thread's ticks, which also take the live
// aircraft out of the simulator: while RealTraffic is away they must go on.
TEST_F(RealTrafficLinkTest, WhileRealTrafficIsAwayTheReportsDoNotWaitForIt) {
    auto rt = std::make_unique<FakeRealTraffic>(port, std::vector<std::string>{R"({"version":"9","level":2})"});
    gf_connectRealTraffic();
    ASSERT_TRUE(realTrafficConnected.load());
    rt->close();
    rt.reset();
    // A call that waited for RealTraffic would hold the test until this guard
    // ends the wait with a stop.
    std::atomic<bool> done{false}, rescued{false};
    std::thread guard([&] {
        for (int i = 0; i < 2000 && !done.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!done.load()) {
            rescued = true;
            stopRequested = true;
        }
    });
    for (int i = 0; i < 200 && g_goneCalls == 0; ++i) {
        gf_sendQs121(cruising());
        if (g_goneCalls == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(g_goneCalls, 1);
    for (int i = 0; i < 5; ++i) gf_sendQs121(cruising());  // nobody there: each returns at once
    done = true;
    guard.join();
    EXPECT_FALSE(rescued.load()) << "a report waited for RealTraffic";
    stopRequested = false;
    EXPECT_FALSE(realTrafficConnected.load());

    // RealTraffic comes back: a later report takes it, asks its version and sends on.
    FakeRealTraffic back(port, {R"({"version":"9","level":2})"});
    for (int i = 0; i < 2000 && !realTrafficConnected.load(); ++i) {
        gf_sendQs121(cruising());
        if (!realTrafficConnected.load()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(realTrafficConnected.load());
    gf_sendQs121(cruising());
    EXPECT_TRUE(eventually([&] {
        return back.received().starts_with("Qs999=version\r\nQs121=");
    })) << back.received();
    EXPECT_EQ(g_goneCalls, 1);
}

TEST_F(RealTrafficLinkTest, WaitingForRealTrafficEndsWhenTheProgramCloses) {
    std::atomic<bool> returned{false};
    std::thread run([&] {
        gf_connectRealTraffic();
        returned = true;
    });
    // Nobody connects; closing the window must still end the wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    userClosedWindow = true;
    stopRequested = true;
    run.join();
    EXPECT_TRUE(returned.load());
    EXPECT_FALSE(realTrafficConnected.load());
    EXPECT_TRUE(awaitingRealTraffic.load());
    auto status = gf_nullUiPort().statusLines();
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.back(), "");
}

TEST_F(RealTrafficLinkTest, WaitForClientWhileConnectedDoesNotAccept) {
    FakeRealTraffic first(port, {R"({"version":"1","level":2})"});
    gf_connectRealTraffic();
    ASSERT_TRUE(clientConnected.load());
    EXPECT_FALSE(waitForClient());
}

TEST_F(RealTrafficLinkTest, UserAircraftAndTimeReports) {
    FakeRealTraffic rt(port, {R"({"version":"9.0.1","level":2})"});
    gf_connectRealTraffic();

    gf_sendQs121(cruising());
    clv::UserAcData low = cruising();
    low.altitude = 1234;
    low.pitch = -0.0123456;
    low.bank = 0.0000049;
    gf_sendQs121(low);
    clv::UserAcData unknown = cruising();
    unknown.latitude = 0.0005;
    unknown.longitude = 0.01;
    gf_sendQs121(unknown);  // no position yet: nothing
    gf_sendQs123(0);        // no time: nothing
    gf_sendQs123(12);
    realTrafficOnThisPc = false;
    gf_sendQs121(cruising());  // RealTraffic not here: nothing
    realTrafficOnThisPc = true;
    gf_closeRealTrafficLink();

    // 47 deg = 0.8203047 rad, 8 deg = 0.1396263 rad; pitch and bank times 1e5,
    // altitude and ground speed times 1000, as whole numbers.
    const std::string expected =
        "Qs999=version\r\n"
        "Qs121=5000;-10000;1.500000;35000000;250500;0.820305;0.139626\r\n"
        "Qs121=-1235;0;1.500000;1234000;250500;0.820305;0.139626\r\n"
        "Qs123=12000\r\n"
        "exit\r\n";
    EXPECT_TRUE(eventually([&] { return rt.received() == expected; })) << rt.received();
    EXPECT_FALSE(clientConnected.load());
    EXPECT_EQ(gf_tcpServerPort(), 0);
}

TEST_F(RealTrafficLinkTest, AFailedReportDropsTheLinkAndTheLiveAircraft) {
    auto rt = std::make_unique<FakeRealTraffic>(port, std::vector<std::string>{R"({"version":"9","level":2})"});
    gf_connectRealTraffic();
    ASSERT_TRUE(realTrafficConnected.load());
    trafficReceiver.dataTimestamp = 1760000000.0;
    rt->close();  // RealTraffic goes away
    exitReason = clv::ExitReason::SystemError;  // a run that ends does not wait for it
    for (int i = 0; i < 200 && clientConnected.load(); ++i) {
        gf_sendQs121(cruising());
        if (clientConnected.load()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(clientConnected.load());
    EXPECT_FALSE(realTrafficConnected.load());
    EXPECT_EQ(g_goneCalls, 1);
    EXPECT_EQ(trafficReceiver.dataTimestamp.load(), 0.0);
    auto status = gf_nullUiPort().statusLines();
    ASSERT_FALSE(status.empty());
    EXPECT_NE(status.back().find(" RealTraffic gone? Wait for RealTraffic to re-connect ..."), std::string::npos);
    EXPECT_NE(log().find("sendDataPacket to RealTraffic failed: "), std::string::npos);
    EXPECT_NE(log().find("RealTraffic client socket closed\n"), std::string::npos);
}

TEST_F(RealTrafficLinkTest, AfterTheWindowClosedTheLiveAircraftStay) {
    auto rt = std::make_unique<FakeRealTraffic>(port, std::vector<std::string>{R"({"version":"9","level":2})"});
    gf_connectRealTraffic();
    rt->close();
    userClosedWindow = true;
    for (int i = 0; i < 200 && clientConnected.load(); ++i) {
        gf_sendQs121(cruising());
        if (clientConnected.load()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(clientConnected.load());
    EXPECT_EQ(g_goneCalls, 0);
}

TEST_F(RealTrafficLinkTest, SetUpFailuresNameTheirStep) {
    // Another program listens on the port.
    platform::ResolvedAddress passive;
    ASSERT_EQ(platform::resolvePassiveTcp("0", passive), 0);
    platform::Socket other(platform::openSocket(passive.family(), passive.type(), passive.protocol()));
    ASSERT_TRUE(platform::bindAddress(other.handle(), passive));
    ASSERT_TRUE(platform::listenOn(other.handle()));
    const std::string taken = std::to_string(platform::localPort(other.handle()));
    try {
        gf_setupTcpServer(taken);
        FAIL() << "bind should fail";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Bind failed at port " + taken + " with error 10048 Address already in use");
    }
    EXPECT_EQ(gf_tcpServerPort(), 0);
    try {
        gf_setupTcpServer("no-such-service");
        FAIL() << "resolving should fail";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("getaddrinfo failed with error ", 0), 0u) << e.what();
    }
}
