#include "platform/simconnect.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/simconnect_wire.h"
#include "support/loopback.h"
#include "support/temp_folder.h"

using namespace clv;
using clv::test::ScopedEnv;

namespace {

// A free loopback port: bound to 0, read back, released.
std::uint16_t freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(fd);
    return ntohs(a.sin_port);
}

struct Received {
    std::uint32_t protocol = 0;
    std::uint32_t kind = 0;
    std::uint32_t packetId = 0;
    std::string payload;
};

// The simulator side of the wire, played by the test: accepts connections,
// collects frames, sends frames.
class FakeSim {
public:
    FakeSim() {
        const test::LoopbackListener listener = test::gf_listenOnLoopback(8);
        EXPECT_GE(listener.fd, 0);
        listen_ = listener.fd;
        port_ = listener.port;
    }
    ~FakeSim() {
        for (int fd : peers_) ::close(fd);
        ::close(listen_);
    }
    std::string portText() const { return std::to_string(port_); }

    // Accepts the next connection (waiting up to 2 s); its index.
    int accept() {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 2000) != 1) return -1;
        sockaddr_in a{};
        socklen_t n = sizeof a;
        peers_.push_back(::accept(listen_, reinterpret_cast<sockaddr*>(&a), &n));
        peerPorts_.push_back(ntohs(a.sin_port));
        buffers_.emplace_back();
        return static_cast<int>(peers_.size()) - 1;
    }

    // Reads frames until `count` have come on the peer or the wait passed.
    std::vector<Received> frames(int peer, std::size_t count, int waitMs = 2000) {
        std::vector<Received> out;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        std::string& in = buffers_[peer];
        while (out.size() < count && std::chrono::steady_clock::now() < until) {
            ScPacket f;
            while (out.size() < count && gf_scNextCall(in, f) == ScPacketStatus::Complete) {
                out.push_back(Received{f.protocol, f.kind, f.sendId, std::string(f.payload)});
                in.erase(0, f.size);
            }
            if (out.size() >= count) break;
            pollfd p{peers_[peer], POLLIN, 0};
            if (::poll(&p, 1, 50) != 1) continue;
            char buffer[65536];
            ssize_t n = ::recv(peers_[peer], buffer, sizeof buffer, 0);
            if (n <= 0) break;
            in.append(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }

    // True when the peer closed its side (after `frames` took what came before).
    bool peerClosed(int peer) {
        pollfd p{peers_[peer], POLLIN, 0};
        if (::poll(&p, 1, 2000) != 1) return false;
        char c;
        return ::recv(peers_[peer], &c, 1, MSG_PEEK) == 0;
    }

    template <class R>
    void send(int peer, std::uint32_t kind, const R& record) {
        std::string out;
        ASSERT_TRUE(ScWriter(out).reply(kScProtocol2020, static_cast<ScRecvId>(kind), record));
        sendRaw(peer, out);
    }
    // The client's local port of the connection (what the stand-in finds it by).
    std::uint16_t peerPort(int peer) const { return peerPorts_[peer]; }
    void sendRaw(int peer, const std::string& bytes) {
        ASSERT_EQ(::send(peers_[peer], bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    void close(int peer) { ::shutdown(peers_[peer], SHUT_RDWR); }

private:
    int listen_ = -1;
    std::uint16_t port_ = 0;
    std::vector<int> peers_;
    std::vector<std::uint16_t> peerPorts_;
    std::vector<std::string> buffers_;
};

// Dispatches until `done` holds or 2 s passed; the last result.
template <class Done>
ScResult dispatchUntil(SimConnectHandle h, ScDispatchProc proc, void* context, Done done) {
    ScResult r = kScOk;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done() && std::chrono::steady_clock::now() < until) {
        r = SimConnect_CallDispatch(h, proc, context);
        if (r == kScConnectionLost || r == kScDataNotUnderstood) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return r;
}

void ignore(const ScRecv*, std::uint32_t, void*) {}

template <class R>
R decode(const Received& frame) {
    R r;
    EXPECT_TRUE(ScReader(frame.payload).read(r)) << "kind " << frame.kind;
    return r;
}

class SimConnectClient : public ::testing::Test {
protected:
    FakeSim sim;
    ScopedEnv port{kSimConnectPortVariable, sim.portText().c_str()};

    SimConnectHandle open(int& peer) {
        SimConnectHandle h{};
        EXPECT_EQ(SimConnect_Open(&h, "Calvorinth", nullptr, 0, nullptr, 0), kScOk);
        peer = sim.accept();
        EXPECT_GE(peer, 0);
        return h;
    }
};

}  // namespace

TEST(SimConnectHandles, NullUnknownAndClosedHandlesFailWithoutEffect) {
    ScInitPosition position;
    const std::uint8_t block[8] = {};
    for (SimConnectHandle h : {SimConnectHandle{}, static_cast<SimConnectHandle>(987654321u)}) {
        std::uint32_t packet = 77;
        EXPECT_EQ(SimConnect_Close(h), kScFail);
        EXPECT_EQ(SimConnect_CallDispatch(h, ignore, nullptr), kScFail);
        EXPECT_EQ(SimConnect_SubscribeToSystemEvent(h, 201, "Sim"), kScFail);
        EXPECT_EQ(SimConnect_AddToDataDefinition(h, 401, "Plane Latitude", "degree"), kScFail);
        EXPECT_EQ(SimConnect_MapClientEventToSimEvent(h, 206, "BEACON_LIGHTS_SET"), kScFail);
        EXPECT_EQ(SimConnect_AddClientEventToNotificationGroup(h, 301, 206, true), kScFail);
        EXPECT_EQ(SimConnect_SetNotificationGroupPriority(h, 301, 1), kScFail);
        EXPECT_EQ(SimConnect_RequestDataOnSimObject(h, 109, 403, 0, ScPeriod::Once), kScFail);
        EXPECT_EQ(SimConnect_RequestDataOnSimObjectType(h, 101, 404, 1000, ScObjectType::Aircraft), kScFail);
        EXPECT_EQ(SimConnect_SetDataOnSimObject(h, 409, 5, 0, 0, sizeof block, block), kScFail);
        EXPECT_EQ(SimConnect_TransmitClientEvent(h, 5, 206, 1, 301, 0), kScFail);
        EXPECT_EQ(SimConnect_AICreateNonATCAircraft(h, "t", "DLH1", position, 104), kScFail);
        EXPECT_EQ(SimConnect_GetLastSentPacketID(h, &packet), kScFail);
        EXPECT_EQ(packet, 77u);
        EXPECT_EQ(SimConnect_AIReleaseControl(h, 5, 103), kScFail);
        EXPECT_EQ(SimConnect_AIRemoveObject(h, 5, 105), kScFail);
        EXPECT_EQ(SimConnect_AISetAircraftFlightPlan(h, 5, "x.pln", 110), kScFail);
    }
}

TEST(SimConnectHandles, OpenFailsAndLeavesANullHandleWhenNothingListens) {
    ScopedEnv port(kSimConnectPortVariable, std::to_string(freePort()).c_str());
    SimConnectHandle h = static_cast<SimConnectHandle>(5u);
    EXPECT_EQ(SimConnect_Open(&h, "Calvorinth", nullptr, 0, nullptr, 0), kScFail);
    EXPECT_EQ(h, SimConnectHandle{});
    EXPECT_EQ(SimConnect_Open(nullptr, "Calvorinth", nullptr, 0, nullptr, 0), kScFail);
}

TEST(SimConnectHandles, PortComesFromTheEnvironmentWhenItIsAPortNumber) {
    struct Case {
        const char* value;
        std::uint16_t port;
    };
    for (const Case& c : {Case{"4711", 4711}, Case{"0", kDefaultSimConnectPort}, Case{"70000", kDefaultSimConnectPort},
                          Case{"12ab", kDefaultSimConnectPort}, Case{nullptr, kDefaultSimConnectPort}}) {
        ScopedEnv port(kSimConnectPortVariable, c.value);
        EXPECT_EQ(gf_simConnectPort(), c.port) << (c.value ? c.value : "(unset)");
    }
}

TEST(SimConnectHandles, SimConnectCfgNamesTheSimulatorOrSaysWhichKeyIsWrong) {
    clv::test::TempFolder folder;
    ScopedEnv port(kSimConnectPortVariable, nullptr);
    struct Case {
        const char* text;  // nullptr: no file
        const char* address;
        std::uint16_t port;
        bool noDelay;
        const char* section;  // the section the endpoint came from; nullptr: none
        const char* error;    // empty: fine
    };
    const Case cases[] = {
        {nullptr, "127.0.0.1", 50500, true, nullptr, ""},
        {"[SimConnect]\r\nProtocol=IPv4\r\nAddress=192.168.1.20\r\nPort=500\r\n", "192.168.1.20", 500, true,
         "SimConnect", ""},
        {"; the simulator PC\n[simconnect]\n  address = 10.0.0.7 \nport=4711\nMaxReceiveSize=8192\n", "10.0.0.7", 4711,
         true, "simconnect", ""},
        {"[Other]\nAddress=10.0.0.7\nPort=1\n[SimConnect]\nAddress=10.0.0.8\nPort=2\n", "10.0.0.8", 2, true,
         "SimConnect", ""},
        // The SDK's own spelling of configuration 0, as a Windows editor saves it.
        {"\xEF\xBB\xBF[SimConnect.0]\r\nProtocol=Ipv4\r\nAddress=192.168.1.20\r\nPort=500\r\n", "192.168.1.20", 500,
         true, "SimConnect.0", ""},
        {"\xEF\xBB\xBF[SimConnect]\nAddress=10.0.0.7\nPort=500\n", "10.0.0.7", 500, true, "SimConnect", ""},
        {"# written by hand\r\n\r\n[ SIMCONNECT.0 ]\r\n; the sim PC\r\nPROTOCOL = IPV4\r\nADDRESS = 10.0.0.7\r\n"
         "PORT = 65535\r\n",
         "10.0.0.7", 65535, true, "SIMCONNECT.0", ""},
        // The SDK's other keys: DisableNagle is followed, the rest changes nothing.
        {"[SimConnect]\nProtocol=IPv4\nAddress=10.0.0.7\nPort=500\nMaxReceiveSize=4096\nDisableNagle=0\n"
         "Comment=the simulator PC\nTimeout=lots\n",
         "10.0.0.7", 500, false, "SimConnect", ""},
        {"[SimConnect]\nAddress=10.0.0.7\nPort=1\ndisablenagle = 1\n", "10.0.0.7", 1, true, "SimConnect", ""},
        // Only configuration 0 is used: other configurations, bad or not, change nothing.
        {"[SimConnect]\nAddress=10.0.0.7\nPort=500\n[SimConnect.1]\nProtocol=Pipe\nAddress=simpc\nPort=0\n",
         "10.0.0.7", 500, true, "SimConnect", ""},
        {"[SimConnect.1]\nAddress=10.0.0.9\nPort=9\n[SimConnect.0]\nAddress=10.0.0.7\nPort=500\n"
         "[SimConnect.10]\nPort=10\n",
         "10.0.0.7", 500, true, "SimConnect.0", ""},
        {"[SimConnect.1]\nAddress=10.0.0.9\nPort=9\n", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: has no [SimConnect] or [SimConnect.0] section"},
        {"[SimConnect]\nAddress=10.0.0.7\nPort=500\n[SimConnect.0]\nAddress=10.0.0.8\nPort=501\n", "127.0.0.1", 50500,
         true, nullptr,
         "SimConnect.cfg: [SimConnect] and [SimConnect.0] both set up configuration 0; keep one of them"},
        {"[SimConnect]\nProtocol=Pipe\nAddress=10.0.0.7\nPort=500\n", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: Protocol=Pipe is not supported here (a named pipe reaches only programs on the "
         "simulator's PC); use Protocol=IPv4"},
        {"[SimConnect.0]\nProtocol=IPv6\nAddress=::1\nPort=500\n", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: Protocol=IPv6 is not supported here; use Protocol=IPv4 with the simulator PC's IPv4 "
         "address"},
        {"[SimConnect]\nProtocol=TCP\nAddress=10.0.0.7\nPort=500\n", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: Protocol=TCP is not supported here; use Protocol=IPv4"},
        {"[SimConnect]\nAddress=simpc\nPort=500\n", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: Address=simpc is not an IPv4 address like 192.168.1.20"},
        {"[SimConnect]\nAddress=10.0.0.7\nPort=70000\n", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: Port=70000 is not a port number from 1 to 65535"},
        {"[SimConnect]\nAddress=10.0.0.7\nPort=65536\n", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: Port=65536 is not a port number from 1 to 65535"},
        {"[SimConnect]\nAddress=10.0.0.7\nPort=0\n", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: Port=0 is not a port number from 1 to 65535"},
        {"[SimConnect]\nAddress=10.0.0.7\nPort=500\nDisableNagle=yes\n", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: DisableNagle=yes is not 0 or 1"},
        {"[SimConnect]\nAddress=10.0.0.7\n", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: [SimConnect] has no Port="},
        {"[SimConnect]\nPort=500\n", "127.0.0.1", 50500, true, nullptr, "SimConnect.cfg: [SimConnect] has no Address="},
        {"[SimConnect.0]\r\nPort=500\r\n", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: [SimConnect.0] has no Address="},
        {"Address=10.0.0.7\nPort=500\n", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: has no [SimConnect] or [SimConnect.0] section"},
        // Notepad's "Unicode" (UTF-16 LE): its byte-order mark tells.
        {"\xFF\xFE[", "127.0.0.1", 50500, true, nullptr,
         "SimConnect.cfg: is saved as UTF-16 text; save it as UTF-8 or ANSI"},
    };
    const auto file = folder / "SimConnect.cfg";
    for (const Case& c : cases) {
        std::filesystem::remove(file);
        if (c.text != nullptr) folder.write("SimConnect.cfg", c.text);
        SCOPED_TRACE(c.text ? c.text : "(no file)");
        const ScEndpointResult r = gf_simConnectEndpoint(file);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(r.endpoint.address, c.address);
        EXPECT_EQ(r.endpoint.port, c.port);
        EXPECT_EQ(r.endpoint.noDelay, c.noDelay);
        if (c.text == nullptr) {
            EXPECT_EQ(r.source, "the default: there is no " + file.string());
        } else if (c.section != nullptr) {
            EXPECT_EQ(r.source, file.string() + " [" + c.section + "]");
        } else {
            EXPECT_EQ(r.source, "");
        }
    }
}

TEST(SimConnectHandles, ThePortVariableServesTheDefaultEndpointOnlyAndTheSourceSaysSo) {
    clv::test::TempFolder folder;
    const auto file = folder / "SimConnect.cfg";
    const std::string none = "there is no " + file.string();
    struct Case {
        const char* text;      // nullptr: no file
        const char* variable;  // nullptr: unset
        const char* address;
        std::uint16_t port;
        std::string source;
    };
    const Case cases[] = {
        {nullptr, "4712", "127.0.0.1", 4712, "the default address, the port from $CLV_SIMCONNECT_PORT: " + none},
        {nullptr, "abc", "127.0.0.1", 50500,
         "the default: " + none + "; $CLV_SIMCONNECT_PORT=abc is not a port number from 1 to 65535"},
        {nullptr, "0", "127.0.0.1", 50500,
         "the default: " + none + "; $CLV_SIMCONNECT_PORT=0 is not a port number from 1 to 65535"},
        {nullptr, "65535", "127.0.0.1", 65535, "the default address, the port from $CLV_SIMCONNECT_PORT: " + none},
        // The file the user wrote wins over the variable.
        {"[SimConnect]\nAddress=10.0.0.7\nPort=500\n", "4712", "10.0.0.7", 500,
         file.string() + " [SimConnect]; $CLV_SIMCONNECT_PORT is not used with a SimConnect.cfg"},
        {"[SimConnect.0]\nAddress=127.0.0.1\nPort=500\n", nullptr, "127.0.0.1", 500, file.string() + " [SimConnect.0]"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(file);
        if (c.text != nullptr) folder.write("SimConnect.cfg", c.text);
        ScopedEnv port(kSimConnectPortVariable, c.variable);
        SCOPED_TRACE(std::string(c.text ? c.text : "(no file)") + " $" + (c.variable ? c.variable : "(unset)"));
        const ScEndpointResult r = gf_simConnectEndpoint(file);
        EXPECT_EQ(r.error, "");
        EXPECT_EQ(gf_simConnectEndpointText(r.endpoint), std::string(c.address) + ":" + std::to_string(c.port));
        EXPECT_EQ(r.source, c.source);
    }
    // A file that cannot be used is not rescued by the variable.
    folder.write("SimConnect.cfg", "[SimConnect]\nAddress=10.0.0.7\n");
    ScopedEnv port(kSimConnectPortVariable, "4712");
    EXPECT_EQ(gf_simConnectEndpoint(file).error, "SimConnect.cfg: [SimConnect] has no Port=");
}

TEST(SimConnectHandles, OpenConnectsWhereSimConnectCfgInTheProgramsFolderSays) {
    FakeSim sim;
    // The variable points elsewhere: the connection that comes to `sim` is the file's.
    ScopedEnv port(kSimConnectPortVariable, std::to_string(freePort()).c_str());
    clv::test::TempFolder folder;
    clv::test::CurrentFolder here(folder.path());
    folder.write("SimConnect.cfg", "[SimConnect]\nAddress=127.0.0.1\nPort=none\n");
    SimConnectHandle h{};
    EXPECT_EQ(SimConnect_Open(&h, "Calvorinth", nullptr, 0, nullptr, 0), kScFail);
    // Nagle's delay as the file asks: on for DisableNagle=0, else off as always.
    struct Case {
        const char* extra;
        int noDelay;
    };
    for (const Case& c : {Case{"", 1}, Case{"DisableNagle=1\n", 1}, Case{"DisableNagle=0\n", 0}}) {
        SCOPED_TRACE(c.extra);
        folder.write("SimConnect.cfg",
                     "\xEF\xBB\xBF[SimConnect.0]\r\nProtocol=IPv4\r\nAddress=127.0.0.1\r\nPort=" + sim.portText() +
                         "\r\nMaxReceiveSize=4096\r\n" + c.extra);
        ASSERT_EQ(SimConnect_Open(&h, "Calvorinth", nullptr, 0, nullptr, 0), kScOk);
        const int peer = sim.accept();
        ASSERT_GE(peer, 0);
        // Our side of the connection: the socket of this process bound to the peer's port.
        int noDelay = -1;
        for (int fd = 0; fd < 1024; ++fd) {
            sockaddr_in local{};
            socklen_t length = sizeof local;
            if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
                local.sin_family != AF_INET || ntohs(local.sin_port) != sim.peerPort(peer)) {
                continue;
            }
            socklen_t size = sizeof noDelay;
            ASSERT_EQ(::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, &size), 0);
        }
        EXPECT_EQ(noDelay != 0 ? 1 : 0, c.noDelay);
        SimConnect_Close(h);
    }
}

TEST_F(SimConnectClient, TheProtocolOfTheSettingsGoesIntoEveryPacket) {
    struct Restore {
        ~Restore() { gf_setSimConnectProtocol(kScProtocol2020); }
    } restore;
    for (std::uint32_t protocol : {kScProtocol2024, kScProtocol2020}) {
        gf_setSimConnectProtocol(protocol);
        gf_setSimConnectProtocol(7);  // not one we speak: ignored
        EXPECT_EQ(gf_simConnectProtocol(), protocol);
        int peer = -1;
        SimConnectHandle h = open(peer);
        ASSERT_EQ(SimConnect_AIRemoveObject(h, 1001, 105), kScOk);
        SimConnect_CallDispatch(h, ignore, nullptr);
        auto frames = sim.frames(peer, 2);
        ASSERT_EQ(frames.size(), 2u);
        ScOpenCall expected;
        ASSERT_TRUE(gf_scOpenCallFor(protocol, "Calvorinth", expected));
        const auto sent = decode<ScOpenCall>(frames[0]);
        EXPECT_EQ(sent.tag, expected.tag);
        EXPECT_EQ(sent.versionMajor, expected.versionMajor);
        for (const auto& f : frames) EXPECT_EQ(f.protocol, protocol);
        SimConnect_Close(h);
    }
}

TEST_F(SimConnectClient, OverlongTextsAreRefusedBeforeAnythingIsSent) {
    int peer = -1;
    SimConnectHandle h = open(peer);
    const ScInitPosition position{};
    const std::string longest(kScTitleMax, 'T');
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(h, (longest + "x").c_str(), "DLH1", position, 104), kScFail);
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(h, "A320", std::string(kScTailNumberMax + 1, 'N').c_str(), position, 104),
              kScFail);
    EXPECT_EQ(SimConnect_AddToDataDefinition(h, 401, std::string(kScTitleMax + 1, 'D').c_str(), "degrees"), kScFail);
    EXPECT_EQ(SimConnect_AISetAircraftFlightPlan(h, 1001, std::string(kScPathMax + 1, 'p').c_str(), 110), kScFail);
    std::uint32_t packet = 0;
    SimConnect_GetLastSentPacketID(h, &packet);
    EXPECT_EQ(packet, 1u);  // only Open went out
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, longest.c_str(), std::string(kScTailNumberMax, 'N').c_str(),
                                                position, 104),
              kScOk);
    SimConnect_CallDispatch(h, ignore, nullptr);
    auto frames = sim.frames(peer, 2);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].packetId, 2u);
    EXPECT_EQ(decode<ScCreateAircraftCall>(frames[1]).title, longest);
    SimConnect_Close(h);
}

TEST_F(SimConnectClient, CallsArriveAsFramesWithPacketIdsCountedPerConnection) {
    int first = -1;
    int second = -1;
    SimConnectHandle a = open(first);
    SimConnectHandle b = open(second);
    ASSERT_NE(a, b);

    ScInitPosition position{50.5, 8.25, 364.0, 1.0, 2.0, 270.0, 1, 0};
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(a, "Airbus A320 Lufthansa", "DLH4AB", position, 104), kScOk);
    ASSERT_EQ(SimConnect_AddToDataDefinition(a, 404, "ATC ID", nullptr, ScDataType::String32), kScOk);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(b, 108, 409, 0, ScPeriod::Second), kScOk);
    std::uint32_t packetA = 0;
    std::uint32_t packetB = 0;
    ASSERT_EQ(SimConnect_GetLastSentPacketID(a, &packetA), kScOk);
    ASSERT_EQ(SimConnect_GetLastSentPacketID(b, &packetB), kScOk);
    EXPECT_EQ(packetA, 3u);  // Open, create, definition
    EXPECT_EQ(packetB, 2u);  // Open, request
    // Calls wait in the send buffer until the next dispatch writes them.
    SimConnect_CallDispatch(a, ignore, nullptr);
    SimConnect_CallDispatch(b, ignore, nullptr);

    auto fa = sim.frames(first, 3);
    ASSERT_EQ(fa.size(), 3u);
    EXPECT_EQ(fa[0].kind, static_cast<std::uint32_t>(ScCallKind::Open));
    EXPECT_EQ(fa[0].protocol, kScProtocol2020);
    EXPECT_EQ(decode<ScOpenCall>(fa[0]).name, "Calvorinth");
    EXPECT_EQ(fa[1].kind, static_cast<std::uint32_t>(ScCallKind::AICreateNonATCAircraft));
    EXPECT_EQ(fa[1].packetId, 2u);
    auto create = decode<ScCreateAircraftCall>(fa[1]);
    EXPECT_EQ(create.title, "Airbus A320 Lufthansa");
    EXPECT_EQ(create.tailNumber, "DLH4AB");
    EXPECT_EQ(create.position.latitude, 50.5);
    EXPECT_EQ(create.position.heading, 270.0);
    EXPECT_EQ(create.position.onGround, 1u);
    EXPECT_EQ(create.requestId, 104u);
    auto definition = decode<ScAddToDefinitionCall>(fa[2]);
    EXPECT_EQ(fa[2].packetId, 3u);
    EXPECT_EQ(definition.datumName, "ATC ID");
    EXPECT_EQ(definition.unitsName, "");
    EXPECT_EQ(definition.datumType, ScDataType::String32);
    EXPECT_EQ(definition.datumId, kScUnused);

    auto fb = sim.frames(second, 2);
    ASSERT_EQ(fb.size(), 2u);
    EXPECT_EQ(fb[1].packetId, 2u);
    auto request = decode<ScRequestDataCall>(fb[1]);
    EXPECT_EQ(request.requestId, 108u);
    EXPECT_EQ(request.period, ScPeriod::Second);

    EXPECT_EQ(SimConnect_Close(a), kScOk);
    EXPECT_EQ(SimConnect_Close(b), kScOk);
}

TEST_F(SimConnectClient, CallsFromTwoThreadsArriveWholeWithDistinctPacketIds) {
    int peer = -1;
    SimConnectHandle h = open(peer);
    constexpr int kPerThread = 3000;
    auto sender = [h](std::uint32_t object) {
        double block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        for (int i = 0; i < kPerThread; ++i) {
            ASSERT_EQ(SimConnect_SetDataOnSimObject(h, 402, object, 0, 0, sizeof block, block), kScOk);
        }
    };
    std::thread t1(sender, 1001);
    std::thread t2(sender, 1002);
    // The stand-in's thread keeps dispatching while the run thread sends.
    std::atomic<bool> done{false};
    std::thread dispatcher([&] {
        while (!done) {
            SimConnect_CallDispatch(h, ignore, nullptr);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    t1.join();
    t2.join();
    done = true;
    dispatcher.join();
    SimConnect_CallDispatch(h, ignore, nullptr);

    auto frames = sim.frames(peer, 1 + 2 * kPerThread);
    ASSERT_EQ(frames.size(), 1u + 2 * kPerThread);
    std::vector<std::uint32_t> ids;
    int perObject[2] = {0, 0};
    for (std::size_t i = 1; i < frames.size(); ++i) {
        auto set = decode<ScSetDataCall>(frames[i]);
        ASSERT_EQ(set.data.size(), sizeof(double) * 8);
        double first = 0.0;
        std::memcpy(&first, set.data.data(), sizeof first);
        EXPECT_EQ(first, 1.0);
        ++perObject[set.objectId - 1001];
        ids.push_back(frames[i].packetId);
    }
    EXPECT_EQ(perObject[0], kPerThread);
    EXPECT_EQ(perObject[1], kPerThread);
    std::sort(ids.begin(), ids.end());
    for (std::size_t i = 0; i < ids.size(); ++i) ASSERT_EQ(ids[i], i + 2);  // Open took 1
    SimConnect_Close(h);
}

namespace {

struct Seen {
    std::vector<ScRecvId> ids;
    ScRecvException exception;
    ScRecvOpen open;
    ScRecvEventObjectAddRemove added;
    ScRecvEventFilename file;
    ScRecvEventFrame frame;
    std::uint32_t dataRequest = 0;
    std::uint32_t dataEntry = 0;
    std::string dataBytes;
};

void record(const ScRecv* m, std::uint32_t size, void* context) {
    auto& seen = *static_cast<Seen*>(context);
    EXPECT_EQ(m->size, size);
    seen.ids.push_back(m->id);
    switch (m->id) {
        case ScRecvId::Exception: seen.exception = static_cast<const ScRecvException&>(*m); break;
        case ScRecvId::Open: seen.open = static_cast<const ScRecvOpen&>(*m); break;
        case ScRecvId::EventObjectAddRemove: seen.added = static_cast<const ScRecvEventObjectAddRemove&>(*m); break;
        case ScRecvId::EventFilename: seen.file = static_cast<const ScRecvEventFilename&>(*m); break;
        case ScRecvId::EventFrame: seen.frame = static_cast<const ScRecvEventFrame&>(*m); break;
        case ScRecvId::SimObjectDataByType: {
            const auto& d = static_cast<const ScRecvSimObjectDataByType&>(*m);
            seen.dataRequest = d.requestId;
            seen.dataEntry = d.entryNumber;
            seen.dataBytes.assign(reinterpret_cast<const char*>(d.data), d.dataSize);
            break;
        }
        default: break;
    }
}

}  // namespace

TEST_F(SimConnectClient, DispatchHandsOverEveryKindWithItsFields) {
    int peer = -1;
    SimConnectHandle h = open(peer);
    ScRecvOpen open;
    open.applicationName = "SunRise";
    open.applicationVersionMajor = 12;
    open.applicationBuildMajor = 282174;
    sim.send(peer, 2, open);
    ScRecvException exception;
    exception.exception = 22;
    exception.sendId = 17;
    exception.index = 1;
    sim.send(peer, 1, exception);
    ScRecvEventObjectAddRemove added;
    added.eventId = 202;
    added.data = 1234;
    added.objectType = ScObjectType::Helicopter;
    sim.send(peer, 5, added);
    ScRecvEventFilename file;
    file.eventId = 205;
    file.fileName = "flights\\custom.FLT";
    sim.send(peer, 6, file);
    ScRecvEventFrame frame;
    frame.eventId = 204;
    frame.frameRate = 42.5f;
    sim.send(peer, 7, frame);
    const std::string block = std::string("\x01\x02\x03", 3) + std::string(5, '\0');
    ScRecvSimObjectDataByType data;
    data.requestId = 101;
    data.entryNumber = 2;
    data.outOf = 3;
    data.data = reinterpret_cast<const std::byte*>(block.data());
    data.dataSize = static_cast<std::uint32_t>(block.size());
    sim.send(peer, 9, data);
    sim.send(peer, 27, ScRecvQuit{});  // a kind the layer has no record for

    Seen seen;
    dispatchUntil(h, record, &seen, [&] { return seen.ids.size() >= 7; });
    ASSERT_EQ(seen.ids.size(), 7u);
    EXPECT_EQ(seen.ids.back(), ScRecvId::EventEx1);
    EXPECT_EQ(seen.open.applicationName, "SunRise");
    EXPECT_EQ(seen.open.applicationVersionMajor, 12u);
    EXPECT_EQ(seen.open.applicationBuildMajor, 282174u);
    EXPECT_EQ(seen.exception.exception, 22u);
    EXPECT_EQ(seen.exception.sendId, 17u);
    EXPECT_EQ(seen.exception.index, 1u);
    EXPECT_EQ(seen.added.data, 1234u);
    EXPECT_EQ(seen.added.objectType, ScObjectType::Helicopter);
    EXPECT_EQ(seen.file.fileName, "flights\\custom.FLT");
    EXPECT_EQ(seen.frame.frameRate, 42.5f);
    EXPECT_EQ(seen.dataRequest, 101u);
    EXPECT_EQ(seen.dataEntry, 2u);
    EXPECT_EQ(seen.dataBytes, block);
    SimConnect_Close(h);
}

TEST_F(SimConnectClient, QuitThenClosedConnectionIsReportedAfterWhatCameFirst) {
    int peer = -1;
    SimConnectHandle h = open(peer);
    sim.send(peer, 3, ScRecvQuit{});
    sim.close(peer);
    Seen seen;
    ScResult r = dispatchUntil(h, record, &seen, [] { return false; });
    EXPECT_EQ(r, kScConnectionLost);
    EXPECT_EQ(gf_simConnectRefusal(h), "");  // a simulator that closes is no refusal
    ASSERT_EQ(seen.ids.size(), 1u);
    EXPECT_EQ(seen.ids[0], ScRecvId::Quit);
    EXPECT_EQ(SimConnect_RequestDataOnSimObject(h, 108, 409, 0, ScPeriod::Second), kScFail);
    EXPECT_EQ(SimConnect_Close(h), kScOk);
    EXPECT_EQ(SimConnect_Close(h), kScFail);
}

TEST_F(SimConnectClient, AFrameThatBreaksItsFieldsDropsTheConnection) {
    int peer = -1;
    SimConnectHandle h = open(peer);
    std::string bad;
    ScWriter(bad).reply(kScProtocol2020, ScRecvId::Exception, ScRecvQuit{});  // an exception without its numbers
    sim.sendRaw(peer, bad);
    Seen seen;
    EXPECT_EQ(dispatchUntil(h, record, &seen, [] { return false; }), kScDataNotUnderstood);
    EXPECT_TRUE(seen.ids.empty());
    // Said again to a caller that asks again; the connection stays over.
    EXPECT_EQ(SimConnect_CallDispatch(h, record, &seen), kScDataNotUnderstood);
    SimConnect_Close(h);
    EXPECT_EQ(gf_simConnectRefusal(h), "");
}

TEST_F(SimConnectClient, ClosedHandleFailsForEveryThreadAndTheSimulatorSeesTheEnd) {
    int peer = -1;
    SimConnectHandle h = open(peer);
    ASSERT_EQ(SimConnect_AIReleaseControl(h, 1001, 103), kScOk);
    ASSERT_EQ(SimConnect_Close(h), kScOk);
    EXPECT_EQ(SimConnect_TransmitClientEvent(h, 5, 206, 1, 301, 0), kScFail);
    EXPECT_EQ(SimConnect_CallDispatch(h, ignore, nullptr), kScFail);
    // What was sent before closing arrives; closing itself sends nothing.
    auto frames = sim.frames(peer, 3, 300);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].kind, static_cast<std::uint32_t>(ScCallKind::AIReleaseControl));
    EXPECT_TRUE(sim.peerClosed(peer));
}

TEST_F(SimConnectClient, ArmedFailureTakesExactlyTheNextCallOfThatFunction) {
    int peer = -1;
    SimConnectHandle h = open(peer);
    sim.frames(peer, 1);  // Open
    EXPECT_FALSE(gf_simConnectFailNext(sim.peerPort(peer) + 1, "SimConnect_AIRemoveObject"));
    ASSERT_TRUE(gf_simConnectFailNext(sim.peerPort(peer), "SimConnect_AIRemoveObject"));

    EXPECT_EQ(SimConnect_AIReleaseControl(h, 1001, 103), kScOk);  // another function is not hit
    EXPECT_EQ(SimConnect_AIRemoveObject(h, 1001, 105), kScFail);
    EXPECT_EQ(SimConnect_AIRemoveObject(h, 1002, 105), kScOk);
    std::uint32_t packet = 0;
    SimConnect_GetLastSentPacketID(h, &packet);
    EXPECT_EQ(packet, 3u);  // the failed call sent nothing
    SimConnect_CallDispatch(h, ignore, nullptr);
    auto sent = sim.frames(peer, 2);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(decode<ScObjectCall>(sent[1]).objectId, 1002u);
    SimConnect_Close(h);
}

namespace {

struct Reentry {
    SimConnectHandle handle{};
    ScResult inner = kScOk;
    int calls = 0;
};

void dispatchAgain(const ScRecv*, std::uint32_t, void* context) {
    auto& r = *static_cast<Reentry*>(context);
    ++r.calls;
    r.inner = SimConnect_CallDispatch(r.handle, dispatchAgain, context);
    // The procedure may still send.
    EXPECT_EQ(SimConnect_AIReleaseControl(r.handle, 1001, 103), kScOk);
}

}  // namespace

TEST_F(SimConnectClient, DispatchProcedureThatDispatchesAgainIsToldBusy) {
    int peer = -1;
    SimConnectHandle h = open(peer);
    sim.send(peer, 3, ScRecvQuit{});
    Reentry r{h};
    dispatchUntil(h, dispatchAgain, &r, [&] { return r.calls > 0; });
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(r.inner, kScBusy);
    auto frames = sim.frames(peer, 2);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].kind, static_cast<std::uint32_t>(ScCallKind::AIReleaseControl));
    SimConnect_Close(h);
}

namespace {

std::string replyBytes(ScRecvId id, auto record) {
    std::string out;
    EXPECT_TRUE(ScWriter(out).reply(kScProtocol2020, id, record));
    return out;
}

std::string withSize(std::string packet, std::uint32_t size) {
    std::memcpy(packet.data(), &size, sizeof size);
    return packet;
}

}  // namespace

TEST_F(SimConnectClient, HostileRepliesEndTheConnectionCleanlyWithoutDispatchingThemAndSayWhy) {
    ScRecvException exception;
    exception.exception = 22;
    const std::string good = replyBytes(ScRecvId::Exception, exception);
    std::string hugeHeader = withSize(good, 16u << 20);
    hugeHeader += std::string(64 * 1024, '\0');  // the start of a 16 MB packet
    std::string unterminated = replyBytes(ScRecvId::EventFilename, ScRecvEventFilename{});
    std::fill(unterminated.begin() + 24, unterminated.begin() + 24 + 260, 'F');
    struct Case {
        const char* name;
        std::string bytes;
        bool closeAfter;
        std::string why;  // the refusal up to the endpoint
    };
    const Case cases[] = {
        {"size below the header", withSize(good, 8), false,
         "the Exception reply (receive id 1) at byte 0 of the stream has the size 8, below its 12-byte header"},
        {"short payload for its kind", withSize(good.substr(0, 20), 20), false,
         "the Exception reply (receive id 1) at byte 0 of the stream has the size 20, fewer than the 24 bytes of its "
         "header and fields"},
        {"size field larger than the largest packet", hugeHeader, false,
         "the Exception reply (receive id 1) at byte 0 of the stream has the size 16777216, above the largest packet "
         "taken (1048576 bytes)"},
        {"text array without its NUL", unterminated, false,
         "the EventFilename reply (receive id 6) at byte 0 of the stream (288 bytes) has a text without its closing "
         "NUL"},
        {"open reply cut short", withSize(replyBytes(ScRecvId::Open, ScRecvOpen{}).substr(0, 12 + 256), 12 + 256),
         false,
         "the Open reply (receive id 2) at byte 0 of the stream has the size 268, fewer than the 308 bytes of its "
         "header and fields"},
        {"data reply shorter than its numbers", withSize(good, 24).replace(8, 4, std::string("\x08\0\0\0", 4)), false,
         "the SimObjectData reply (receive id 8) at byte 0 of the stream has the size 24, fewer than the 40 bytes of "
         "its header and fields"},
        {"a reply cut by the close", good + good.substr(0, 20), true,
         "the connection closed 20 bytes into the Exception reply (receive id 1) of 24 bytes at byte 24 of the stream"},
        {"a header cut by the close", good.substr(0, 7), true,
         "the connection closed 7 bytes into the 12-byte header of the reply at byte 0 of the stream"},
        {"an HTTP answer on the port", "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n", true,
         "the reply (receive id 808465440) at byte 0 of the stream has the size 1347703880, above the largest packet "
         "taken (1048576 bytes); its bytes read as text: \"HTTP/1.1 400 Bad Request\""},
    };
    for (const Case& c : cases) {
        int peer = -1;
        SimConnectHandle h = open(peer);
        sim.sendRaw(peer, c.bytes);
        if (c.closeAfter) sim.close(peer);
        Seen seen;
        EXPECT_EQ(dispatchUntil(h, record, &seen, [] { return false; }), kScDataNotUnderstood) << c.name;
        // Only what came whole before the break went through.
        EXPECT_EQ(seen.ids.size(), c.bytes.size() > good.size() && c.bytes.starts_with(good) ? 1u : 0u) << c.name;
        EXPECT_EQ(gf_simConnectRefusal(h), c.why + " (from 127.0.0.1:" + sim.portText() + ")") << c.name;
        EXPECT_EQ(SimConnect_AIRemoveObject(h, 1001, 105), kScFail) << c.name;
        SimConnect_Close(h);
    }
}

TEST_F(SimConnectClient, RepliesLongerThanTheirKindAreDispatchedAndTheConnectionStays) {
    int peer = -1;
    SimConnectHandle h = open(peer);
    ScRecvOpen open;
    open.applicationName = "SunRise";
    open.applicationBuildMajor = 282174;
    ScRecvException exception;
    exception.exception = 22;
    exception.sendId = 17;
    exception.index = 1;
    ScRecvEventFrame frame;
    frame.eventId = 204;
    frame.frameRate = 42.5f;
    // A newer simulator's replies: 8 more bytes after the fields we know.
    auto lengthen = [](std::string packet) { return withSize(packet + std::string("\x01\x02\x03\x04\0\0\0\x05", 8),
                                                             static_cast<std::uint32_t>(packet.size() + 8)); };
    sim.sendRaw(peer, lengthen(replyBytes(ScRecvId::Open, open)) + lengthen(replyBytes(ScRecvId::Exception, exception)) +
                          lengthen(replyBytes(ScRecvId::EventFrame, frame)) + lengthen(replyBytes(ScRecvId::Quit, ScRecvQuit{})));
    Seen seen;
    EXPECT_EQ(dispatchUntil(h, record, &seen, [&] { return seen.ids.size() >= 4; }), kScOk);
    ASSERT_EQ(seen.ids.size(), 4u);
    EXPECT_EQ(seen.open.applicationName, "SunRise");
    EXPECT_EQ(seen.open.applicationBuildMajor, 282174u);
    EXPECT_EQ(seen.open.size, 316u);
    EXPECT_EQ(seen.exception.exception, 22u);
    EXPECT_EQ(seen.exception.sendId, 17u);
    EXPECT_EQ(seen.exception.index, 1u);
    EXPECT_EQ(seen.exception.size, 32u);
    EXPECT_EQ(seen.frame.frameRate, 42.5f);
    EXPECT_EQ(seen.ids[3], ScRecvId::Quit);
    EXPECT_EQ(SimConnect_AIRemoveObject(h, 1001, 105), kScOk);
    EXPECT_EQ(SimConnect_CallDispatch(h, record, &seen), kScOk);
    EXPECT_EQ(gf_simConnectRefusal(h), "");
    SimConnect_Close(h);
}

TEST_F(SimConnectClient, UnknownKindsAreHandedOverBareAndASlowSenderIsWaitedFor) {
    int peer = -1;
    SimConnectHandle h = open(peer);
    std::string unknown = replyBytes(ScRecvId::Event, ScRecvEvent{});
    const std::uint32_t kind = 4711;
    std::memcpy(unknown.data() + 8, &kind, sizeof kind);
    sim.sendRaw(peer, unknown);
    ScRecvException exception;
    exception.exception = 7;
    exception.sendId = 12;
    const std::string slow = replyBytes(ScRecvId::Exception, exception);
    Seen seen;
    dispatchUntil(h, record, &seen, [&] { return seen.ids.size() == 1; });
    ASSERT_EQ(seen.ids.size(), 1u);
    EXPECT_EQ(static_cast<std::uint32_t>(seen.ids[0]), kind);
    for (char byte : slow) {
        sim.sendRaw(peer, std::string(1, byte));
        EXPECT_EQ(SimConnect_CallDispatch(h, record, &seen), kScOk);
    }
    dispatchUntil(h, record, &seen, [&] { return seen.ids.size() == 2; });
    ASSERT_EQ(seen.ids.size(), 2u);
    EXPECT_EQ(seen.exception.exception, 7u);
    EXPECT_EQ(seen.exception.sendId, 12u);
    SimConnect_Close(h);
}
