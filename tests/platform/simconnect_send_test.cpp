// Sending to a simulator that lags: calls wait in the send buffer while its socket
// is full, nothing is lost or reordered, and a simulator that stopped reading gets
// its calls refused at the bound.
#include "platform/simconnect.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/simconnect_wire.h"
#include "support/loopback.h"
#include "support/temp_folder.h"

using namespace clv;
using clv::test::ScopedEnv;

namespace {

// Bytes of a SetDataOnSimObject call around its data: the header and five numbers.
constexpr std::size_t kSetDataOverhead = kScCallHeaderSize + 5 * sizeof(std::uint32_t);
// A receive buffer this small makes the client's socket fill after little data.
constexpr int kPeerReceiveBuffer = 16 * 1024;

struct ArrivedCall {
    std::uint32_t kind = 0;
    std::uint32_t packetId = 0;
    std::uint32_t objectId = 0;
    std::string data;
};

// The simulator side: one connection that reads nothing until read() is called,
// and then only `chunk` bytes at a time.
class LaggingPeer {
public:
    LaggingPeer() {
        const test::LoopbackListener listener = test::gf_listenOnLoopback(1, kPeerReceiveBuffer);
        EXPECT_GE(listener.fd, 0);
        listen_ = listener.fd;
        port_ = std::to_string(listener.port);
    }
    ~LaggingPeer() {
        if (peer_ >= 0) ::close(peer_);
        ::close(listen_);
    }
    LaggingPeer(const LaggingPeer&) = delete;
    LaggingPeer& operator=(const LaggingPeer&) = delete;

    const std::string& portText() const { return port_; }

    bool accept() {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 2000) != 1) return false;
        peer_ = ::accept(listen_, nullptr, nullptr);
        return peer_ >= 0;
    }

    // Reads until `count` calls have come, the client closed or `waitMs` passed.
    std::vector<ArrivedCall> read(std::size_t count, std::size_t chunk, int waitMs) {
        std::vector<ArrivedCall> calls;
        std::string in;
        std::string piece(chunk, '\0');
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (calls.size() < count && std::chrono::steady_clock::now() < until) {
            pollfd p{peer_, POLLIN, 0};
            if (::poll(&p, 1, 50) != 1) continue;
            const ssize_t n = ::recv(peer_, piece.data(), piece.size(), 0);
            if (n <= 0) break;
            in.append(piece.data(), static_cast<std::size_t>(n));
            std::string_view rest = in;
            ScPacket f;
            while (gf_scNextCall(rest, f) == ScPacketStatus::Complete) {
                ArrivedCall call{f.kind, f.sendId, 0, {}};
                if (f.kind == static_cast<std::uint32_t>(ScCallKind::SetDataOnSimObject)) {
                    ScSetDataCall set;
                    EXPECT_TRUE(ScReader(f.payload).read(set)) << "packet " << f.sendId;
                    call.objectId = set.objectId;
                    call.data = std::string(set.data);
                }
                calls.push_back(std::move(call));
                rest.remove_prefix(f.size);
            }
            in.erase(0, in.size() - rest.size());
        }
        return calls;
    }

private:
    int listen_ = -1;
    int peer_ = -1;
    std::string port_;
};

ScSendCounters countersOf(SimConnectHandle h) {
    ScSendCounters c;
    EXPECT_TRUE(gf_simConnectSendCounters(h, c));
    return c;
}

ScResult setData(SimConnectHandle h, std::uint32_t objectId, const std::string& data) {
    return SimConnect_SetDataOnSimObject(h, 402, objectId, 0, 0, static_cast<std::uint32_t>(data.size()),
                                         data.data());
}

// The data of the n-th call: its length and bytes change with n, so calls cross
// every offset of the buffer and a byte out of place shows.
std::string dataOf(std::size_t n) {
    std::string data(1 + n % 197, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(n * 31 + i);
    return data;
}

void dropReplies(const ScRecv*, std::uint32_t, void*) {}

// Dispatches (which writes) until nothing waits unsent, for at most `waitMs`.
bool drain(SimConnectHandle h, int waitMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (std::chrono::steady_clock::now() < until) {
        if (SimConnect_CallDispatch(h, dropReplies, nullptr) != kScOk) return false;
        if (countersOf(h).unsent == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

}  // namespace

TEST(SimConnectSending, ASocketFoundFullIsNotWrittenAgainUntilADispatchFindsItWritable) {
    LaggingPeer peer;
    ScopedEnv port(kSimConnectPortVariable, peer.portText().c_str());
    SimConnectHandle h{};
    ASSERT_EQ(SimConnect_Open(&h, "Calvorinth", nullptr, 0, nullptr, 0), kScOk);
    ASSERT_TRUE(peer.accept());
    const std::string block(64, 'p');
    while (!countersOf(h).socketFull && countersOf(h).unsent <= kScMaxUnsent) ASSERT_EQ(setData(h, 1001, block), kScOk);
    const ScSendCounters full = countersOf(h);
    ASSERT_TRUE(full.socketFull);

    // Far more than the write threshold, and not one write is tried.
    constexpr std::size_t kCalls = 2000;
    for (std::size_t i = 0; i < kCalls; ++i) ASSERT_EQ(setData(h, 1001, block), kScOk);
    const ScSendCounters waited = countersOf(h);
    EXPECT_EQ(waited.sends, full.sends);
    EXPECT_EQ(waited.polls, full.polls);
    EXPECT_EQ(waited.unsent, full.unsent + kCalls * (kSetDataOverhead + block.size()));
    EXPECT_TRUE(waited.socketFull);

    // A dispatch writes before and after reading; each time a full socket refuses
    // at most one write.
    for (int i = 0; i < 5; ++i) {
        const ScSendCounters before = countersOf(h);
        EXPECT_EQ(SimConnect_CallDispatch(h, dropReplies, nullptr), kScOk);
        const ScSendCounters after = countersOf(h);
        EXPECT_LE(after.failedSends - before.failedSends, 2u) << "dispatch " << i;
    }
    SimConnect_Close(h);
}

TEST(SimConnectSending, APeerThatReadsSlowlyGetsEveryCallWholeAndInOrder) {
    LaggingPeer peer;
    ScopedEnv port(kSimConnectPortVariable, peer.portText().c_str());
    SimConnectHandle h{};
    ASSERT_EQ(SimConnect_Open(&h, "Calvorinth", nullptr, 0, nullptr, 0), kScOk);
    ASSERT_TRUE(peer.accept());
    std::size_t n = 0;
    // Until the socket is full the peer reads nothing.
    for (; !countersOf(h).socketFull && countersOf(h).unsent <= kScMaxUnsent; ++n) {
        ASSERT_EQ(setData(h, static_cast<std::uint32_t>(n), dataOf(n)), kScOk);
    }
    ASSERT_TRUE(countersOf(h).socketFull);
    // A backlog far larger than what the socket takes at a time: it goes out in
    // many pieces from many places in the buffer.
    const std::size_t calls = n + 30000;
    for (; n < calls - 15000; ++n) ASSERT_EQ(setData(h, static_cast<std::uint32_t>(n), dataOf(n)), kScOk);

    std::vector<ArrivedCall> arrived;
    std::thread reader([&] { arrived = peer.read(1 + calls, 700, 30000); });
    for (; n < calls; ++n) {
        EXPECT_EQ(setData(h, static_cast<std::uint32_t>(n), dataOf(n)), kScOk);
        if (n % 64 == 0) SimConnect_CallDispatch(h, dropReplies, nullptr);
    }
    EXPECT_TRUE(drain(h, 30000));
    reader.join();

    ASSERT_EQ(arrived.size(), 1 + calls);
    EXPECT_EQ(arrived[0].kind, static_cast<std::uint32_t>(ScCallKind::Open));
    for (std::size_t i = 0; i < calls; ++i) {
        const ArrivedCall& a = arrived[1 + i];
        ASSERT_EQ(a.packetId, 2 + i);
        ASSERT_EQ(a.objectId, i);
        ASSERT_EQ(a.data, dataOf(i)) << "call " << i;
    }
    EXPECT_GT(countersOf(h).polls, 0u);  // the socket was found full on the way
    SimConnect_Close(h);
}

TEST(SimConnectSending, CallsAreRefusedWhileMoreThanTheBoundWaitsUnsentAndTakenAgainOnceItDrains) {
    struct Case {
        const char* name;
        std::size_t unsent;  // before the call
        ScResult expected;
    };
    const Case cases[] = {
        {"at the bound", kScMaxUnsent, kScOk},
        {"one byte over the bound", kScMaxUnsent + 1, kScFail},
    };
    constexpr std::size_t kLargest = 64 * 1024;
    const std::string large(kLargest, 'L');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LaggingPeer peer;
        ScopedEnv port(kSimConnectPortVariable, peer.portText().c_str());
        SimConnectHandle h{};
        ASSERT_EQ(SimConnect_Open(&h, "Calvorinth", nullptr, 0, nullptr, 0), kScOk);
        ASSERT_TRUE(peer.accept());
        while (!countersOf(h).socketFull) ASSERT_EQ(setData(h, 1001, large), kScOk);
        // While the socket is full nothing is written: the buffer grows by each call.
        for (std::size_t unsent = countersOf(h).unsent; unsent < c.unsent; unsent = countersOf(h).unsent) {
            const std::size_t left = c.unsent - unsent;
            ASSERT_GE(left, kSetDataOverhead);
            std::size_t size = std::min(kLargest, left - kSetDataOverhead);
            const std::size_t after = left - kSetDataOverhead - size;
            if (after != 0 && after < kSetDataOverhead) size -= kSetDataOverhead;  // room for one more call
            ASSERT_EQ(setData(h, 1001, large.substr(0, size)), kScOk);
        }
        ASSERT_EQ(countersOf(h).unsent, c.unsent);
        std::uint32_t packet = 0;
        SimConnect_GetLastSentPacketID(h, &packet);

        const std::string block(64, 'b');
        EXPECT_EQ(setData(h, 4242, block), c.expected);
        std::uint32_t packetAfter = 0;
        SimConnect_GetLastSentPacketID(h, &packetAfter);
        const bool taken = c.expected == kScOk;
        EXPECT_EQ(packetAfter, packet + (taken ? 1 : 0));
        EXPECT_EQ(countersOf(h).unsent, c.unsent + (taken ? kSetDataOverhead + block.size() : 0));

        // Once the simulator reads again, everything taken arrives, and calls are taken again.
        std::vector<ArrivedCall> arrived;
        std::thread reader([&] { arrived = peer.read(packetAfter + 1, 64 * 1024, 30000); });
        EXPECT_TRUE(drain(h, 30000));
        EXPECT_EQ(setData(h, 4343, block), kScOk);
        EXPECT_TRUE(drain(h, 30000));
        reader.join();
        ASSERT_EQ(arrived.size(), packetAfter + 1);
        for (std::size_t i = 0; i < arrived.size(); ++i) ASSERT_EQ(arrived[i].packetId, i + 1);
        EXPECT_EQ(arrived[arrived.size() - 2].objectId, taken ? 4242u : 1001u);
        EXPECT_EQ(arrived.back().objectId, 4343u);
        SimConnect_Close(h);
    }
}
