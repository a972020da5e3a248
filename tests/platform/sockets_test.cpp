#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

using namespace clv::platform;

TEST(Sockets, ErrnoValuesGetTheWindowsSocketsNumbers) {
    EXPECT_EQ(winsockErrorOf(EADDRINUSE), 10048);
    EXPECT_EQ(winsockErrorOf(ECONNREFUSED), 10061);
    EXPECT_EQ(winsockErrorOf(ECONNRESET), 10054);
    EXPECT_EQ(winsockErrorOf(EWOULDBLOCK), 10035);
    EXPECT_EQ(winsockErrorOf(EPIPE), 10058);
    EXPECT_EQ(winsockErrorOf(ENOTSOCK), 10038);
    EXPECT_EQ(winsockErrorOf(EXDEV), EXDEV);  // no socket meaning: kept
    EXPECT_EQ(winsockErrorOfResolve(0), 0);
}

TEST(Sockets, ASecondBindToTheSamePortReportsAddressInUse) {
    Socket a(openUdpSocket());
    Socket b(openUdpSocket());
    ASSERT_TRUE(a.isOpen());
    ASSERT_TRUE(bindIpv4(a.handle(), true, 0));
    const std::uint16_t port = localPort(a.handle());
    ASSERT_NE(port, 0);
    EXPECT_FALSE(bindIpv4(b.handle(), true, port));
    EXPECT_EQ(lastSocketError(), 10048);
}

TEST(Sockets, DatagramsArriveWholeAndOversizeOnesShowTheirLength) {
    Socket rx(openUdpSocket());
    Socket tx(openUdpSocket());
    ASSERT_TRUE(bindIpv4(rx.handle(), true, 0));
    const std::uint16_t port = localPort(rx.handle());
    ASSERT_TRUE(sendDatagram(tx.handle(), "127.0.0.1", port, "hello"));
    ASSERT_TRUE(sendDatagram(tx.handle(), "127.0.0.1", port, std::string(100, 'x')));
    char buffer[64];
    ASSERT_EQ(waitReadable(rx.handle(), {}, 10000), WaitResult::Ready);
    EXPECT_EQ(receiveDatagram(rx.handle(), buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    ASSERT_EQ(waitReadable(rx.handle(), {}, 10000), WaitResult::Ready);
    EXPECT_EQ(receiveDatagram(rx.handle(), buffer, sizeof buffer), 100);
    EXPECT_FALSE(sendDatagram(tx.handle(), "localhost", port, "x"));  // dotted addresses only
}

TEST(Sockets, AWaitEndsOnItsStopTestAndOnItsTimeLimit) {
    Socket rx(openUdpSocket());
    ASSERT_TRUE(bindIpv4(rx.handle(), true, 0));
    EXPECT_EQ(waitReadable(rx.handle(), {}, 30), WaitResult::TimedOut);

    std::atomic<bool> stop{false};
    WaitResult result = WaitResult::Failed;
    std::thread waiter([&] { result = waitReadable(rx.handle(), [&] { return stop.load(); }); });
    stop = true;
    rx.shutdown();
    waiter.join();
    EXPECT_EQ(result, WaitResult::Stopped);
    EXPECT_TRUE(rx.isOpen());  // shut down, not closed
    rx.close();
    EXPECT_FALSE(rx.isOpen());
}

TEST(Sockets, TcpLinkSendsBothWaysAndAVanishedPeerIsAnErrorNotASignal) {
    ResolvedAddress passive;
    ASSERT_EQ(resolvePassiveTcp("0", passive), 0);
    Socket listener(openSocket(passive.family(), passive.type(), passive.protocol()));
    ASSERT_TRUE(listener.isOpen());
    ASSERT_TRUE(setBlocking(listener.handle(), true));
    ASSERT_TRUE(setReuseAddress(listener.handle()));
    ASSERT_TRUE(bindAddress(listener.handle(), passive));
    ASSERT_TRUE(listenOn(listener.handle()));
    const std::uint16_t port = localPort(listener.handle());

    ResolvedAddress remote;
    ASSERT_EQ(resolveTcp("127.0.0.1", std::to_string(port), remote), 0);
    Socket client(connectTo(remote));
    ASSERT_TRUE(client.isOpen());
    ASSERT_EQ(waitReadable(listener.handle(), {}, 10000), WaitResult::Ready);
    Socket served(acceptClient(listener.handle()));
    ASSERT_TRUE(served.isOpen());
    EXPECT_TRUE(setNoDelay(served.handle()));

    ASSERT_TRUE(sendAll(client.handle(), "Qs999=version\r\n"));
    char buffer[64];
    ASSERT_EQ(waitReadable(served.handle(), {}, 10000), WaitResult::Ready);
    EXPECT_EQ(receiveSome(served.handle(), buffer, sizeof buffer), 15);

    client.close();
    ASSERT_EQ(waitReadable(served.handle(), {}, 10000), WaitResult::Ready);
    EXPECT_EQ(receiveSome(served.handle(), buffer, sizeof buffer), 0);  // end of stream
    // The first send may still be taken; once the reset has come back it fails.
    bool failed = false;
    for (int i = 0; i < 100 && !failed; ++i) {
        failed = !sendAll(served.handle(), "exit\r\n");
        if (!failed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(failed);
    const int error = lastSocketError();
    EXPECT_TRUE(error == 10058 || error == 10054) << error;
}

TEST(Sockets, ConnectingToAClosedPortIsRefused) {
    ResolvedAddress passive;
    ASSERT_EQ(resolvePassiveTcp("0", passive), 0);
    Socket listener(openSocket(passive.family(), passive.type(), passive.protocol()));
    ASSERT_TRUE(bindAddress(listener.handle(), passive));
    const std::uint16_t port = localPort(listener.handle());  // bound, not listening
    ResolvedAddress remote;
    ASSERT_EQ(resolveTcp("127.0.0.1", std::to_string(port), remote), 0);
    EXPECT_EQ(connectTo(remote), kInvalidSocket);
    EXPECT_EQ(lastSocketError(), 10061);
    ResolvedAddress bad;
    EXPECT_NE(resolvePassiveTcp("no-such-service", bad), 0);
}
