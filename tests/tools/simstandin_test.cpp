// The stand-in simulator as a SimConnect server: Open, system events, frames,
// Quit, and what it does with hostile or slow clients.
#include "tools/simstandin/standin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/simconnect_wire.h"
#include "platform/sockets.h"
#include "simstandin_fixture.h"

using namespace clv;
using namespace clv::test::simstandin;

TEST_F(StandIn, AnswersOpenWithItsSimulatorAndReportsSimStateOnSubscriptionAndChange) {
    standin::Scenario s = baseScenario();
    s.simulator = "KittyHawk";
    start(s);
    SimConnectHandle h = connect();
    EXPECT_EQ(in.open.applicationName, "KittyHawk");
    EXPECT_EQ(in.open.applicationVersionMajor, 1u);
    EXPECT_EQ(in.open.applicationBuildMinor, 4u);
    SimConnect_SubscribeToSystemEvent(h, 201, "Sim");
    ASSERT_TRUE(pumpUntil(h, [&] { return in.events.size() == 1; }));
    EXPECT_EQ(in.events[0].eventId, 201u);
    EXPECT_EQ(in.events[0].data, 1u);
    sim.command({{"cmd", "set_sim"}, {"running", false}});
    ASSERT_TRUE(pumpUntil(h, [&] { return in.events.size() == 2; }));
    EXPECT_EQ(in.events[1].data, 0u);
    SimConnect_SubscribeToSystemEvent(h, 299, "NoSuchEvent");
    ASSERT_TRUE(pumpUntil(h, [&] { return !in.exceptions.empty(); }));
    EXPECT_EQ(in.exceptions[0].exception, kScExceptionNameUnrecognized);
    SimConnect_Close(h);
}

TEST_F(StandIn, QuitAndStopSayQuitBeforeTheConnectionEnds) {
    start(baseScenario());
    SimConnectHandle h = connect();
    sim.command({{"cmd", "quit"}});
    EXPECT_TRUE(pumpUntil(h, [&] { return SimConnect_CallDispatch(h, collect, &in) == kScConnectionLost; }));
    EXPECT_EQ(in.count(ScRecvId::Quit), 1u);
    SimConnect_Close(h);

    in = Inbox{};
    SimConnectHandle second = connect();
    sim.stop();
    EXPECT_TRUE(pumpUntil(second, [&] { return SimConnect_CallDispatch(second, collect, &in) == kScConnectionLost; }));
    EXPECT_EQ(in.count(ScRecvId::Quit), 1u);
    SimConnect_Close(second);
}

TEST_F(StandIn, FramesComeAtTheSetRateWithTheirFrameRate) {
    standin::Scenario s = baseScenario();
    s.frameRate = 200.0;
    start(s);
    SimConnectHandle h = connect();
    SimConnect_SubscribeToSystemEvent(h, 204, "Frame");
    ASSERT_TRUE(pumpUntil(h, [&] { return in.frames >= 5; }));
    EXPECT_EQ(in.frameRate, 200.0f);
    SimConnect_Close(h);
}

namespace {

std::string callBytes(std::uint32_t protocol, ScCallKind function, std::uint32_t sendId, const auto& record) {
    std::string out;
    EXPECT_TRUE(ScWriter(out).call(protocol, function, sendId, record));
    return out;
}

std::string openBytes(std::uint32_t protocol) {
    ScOpenCall open;
    EXPECT_TRUE(gf_scOpenCallFor(protocol, "Hostile", open));
    return callBytes(protocol, ScCallKind::Open, 1, open);
}

// The replies in a byte stream: (id, size) in order; a stream that does not split
// into whole replies fails the test.
std::vector<std::pair<std::uint32_t, std::uint32_t>> replyKinds(std::string_view bytes) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    ScPacket p;
    while (!bytes.empty()) {
        EXPECT_EQ(gf_scNextReply(bytes, p), ScPacketStatus::Complete);
        if (p.size == 0 || p.size > bytes.size()) break;
        out.emplace_back(p.kind, p.size);
        bytes.remove_prefix(p.size);
    }
    return out;
}

}  // namespace

TEST_F(StandIn, HostileCallsGetACleanAnswerOrDropTheClientAndTheLogSaysWhy) {
    const std::string subscribe = callBytes(5, ScCallKind::SubscribeToSystemEvent, 2, ScSubscribeCall{201, "Sim"});
    std::string unterminated = subscribe;
    std::fill(unterminated.begin() + 20, unterminated.end(), 'S');
    std::string huge = subscribe;
    const std::uint32_t hugeSize = 16u << 20;
    std::memcpy(huge.data(), &hugeSize, sizeof hugeSize);
    std::string shortSubscribe = subscribe.substr(0, 40);
    const std::uint32_t shortSize = 40;
    std::memcpy(shortSubscribe.data(), &shortSize, sizeof shortSize);
    auto resized = [](std::string packet, std::uint32_t size) {
        std::memcpy(packet.data(), &size, sizeof size);
        return packet;
    };
    std::string notAFunction = subscribe;
    const std::uint32_t bareId = 0x17;
    std::memcpy(notAFunction.data() + 8, &bareId, sizeof bareId);
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> replies;  // (receive id, size)
        const char* error;  // the logged protocol error, empty: none
    };
    const std::pair<std::uint32_t, std::uint32_t> open{2, 308}, event{4, 24}, exception{1, 24};
    const Case cases[] = {
        {"a call before Open", subscribe, {}, "function 0x17 before Open"},
        {"a 16 MB size field", openBytes(5) + huge, {open}, "a packet header no call can have"},
        {"a size field below the header", openBytes(5) + resized(subscribe, 8), {open},
         "a packet header no call can have"},
        {"a bare function number", openBytes(5) + notAFunction, {open}, "a packet header no call can have"},
        {"a payload short of its fields", openBytes(5) + shortSubscribe, {open},
         "malformed packet of function 0x17 (40 bytes)"},
        {"a payload longer than its fields", openBytes(5) + resized(subscribe + "abcd", 280), {open},
         "malformed packet of function 0x17 (280 bytes)"},
        {"a whole session", openBytes(5) + subscribe, {open, event}, ""},
        {"a name without its NUL", openBytes(5) + unterminated, {open}, "malformed packet of function 0x17 (276 bytes)"},
        {"another protocol after Open", openBytes(6) + subscribe, {open}, "protocol 5 after Open with 6"},
        {"a second Open", openBytes(5) + openBytes(5), {open}, "a second Open"},
        {"an unknown function", openBytes(5) + callBytes(5, ScCallKind::Open, 2, ScObjectCall{}).replace(8, 4,
                                                                                std::string("\x3F\0\0\xF0", 4)),
         {open, exception}, ""},
        {"Open in protocol 4", [] {
             std::string b = openBytes(5);
             const std::uint32_t four = 4;
             std::memcpy(b.data() + 4, &four, sizeof four);
             return b;
         }() + subscribe, {exception}, ""},
    };
    for (const Case& c : cases) {
        const std::uint64_t mark = sim.command({{"cmd", "log"}})["next_seq"].get<std::uint64_t>();
        const std::string replies = sim.consumeAsClient(c.bytes);
        EXPECT_EQ(replyKinds(replies), c.replies) << c.name;
        const json errors = sim.command({{"cmd", "log"}, {"call", "protocol error"}, {"since", mark}})["entries"];
        if (*c.error == '\0') {
            EXPECT_TRUE(errors.empty()) << c.name << " " << errors;
        } else {
            ASSERT_EQ(errors.size(), 1u) << c.name;
            EXPECT_EQ(errors[0]["error"], c.error) << c.name;
        }
    }
}

TEST_F(StandIn, ASlowSenderIsServedAndAHugeFrameEndsOnlyItsOwnConnection) {
    start(baseScenario());
    SimConnectHandle h = connect();
    platform::ResolvedAddress address;
    ASSERT_EQ(platform::resolveTcp("127.0.0.1", std::to_string(sim.simPort()), address), 0);
    auto receiveAll = [](platform::SocketHandle socket, std::size_t atLeast) {
        std::string got;
        char buffer[4096];
        while (got.size() < atLeast && platform::waitReadable(socket, {}, 3000) == platform::WaitResult::Ready) {
            const long n = platform::receiveSome(socket, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    };
    platform::Socket slow(platform::connectTo(address));
    ASSERT_TRUE(slow.isOpen());
    const std::string open = openBytes(6);
    for (std::size_t i = 0; i < open.size(); i += 37) {
        ASSERT_TRUE(platform::sendAll(slow.handle(), std::string_view(open).substr(i, 37)));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(replyKinds(receiveAll(slow.handle(), 308)), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{2, 308}}));

    platform::Socket huge(platform::connectTo(address));
    ASSERT_TRUE(huge.isOpen());
    std::string header = openBytes(5);
    const std::uint32_t hugeSize = 16u << 20;
    std::memcpy(header.data(), &hugeSize, sizeof hugeSize);
    platform::sendAll(huge.handle(), header);
    // The stand-in hangs up at once rather than wait for 16 MB.
    EXPECT_TRUE(receiveAll(huge.handle(), 1).empty());
    const json errors = sim.command({{"cmd", "log"}, {"call", "protocol error"}})["entries"];
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]["error"], "a packet header no call can have");
    // The others are still served.
    SimConnect_SubscribeToSystemEvent(h, 201, "Sim");
    EXPECT_TRUE(pumpUntil(h, [&] { return !in.events.empty(); }));
    SimConnect_Close(h);
}
