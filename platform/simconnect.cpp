#include "platform/simconnect.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/simconnect_wire.h"

namespace {

using namespace clv;

constexpr int kConnectWaitMs = 200;
constexpr int kRemoteConnectWaitMs = 1000;
// Calls collect in the send buffer and go out together once this much is waiting,
// or at the next CallDispatch: a frame of 300 position blocks costs a few writes.
constexpr std::size_t kFlushThreshold = 16 * 1024;
constexpr std::size_t kReadChunk = 64 * 1024;

struct Connection {
    Connection(int socket, std::uint32_t version) : fd(socket), protocol(version) {}
    ~Connection() { ::close(fd); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const int fd;
    const std::uint32_t protocol;
    std::uint16_t localPort = 0;  // finds the connection for an armed failure
    std::string peer;             // "address:port" of the simulator, for what is refused
    // Set when the peer is gone, the stream is corrupt or the handle was closed.
    std::atomic<bool> broken{false};

    std::mutex sendMutex;  // out, sent, socketFull, counters, lastPacketId
    // The calls not yet written start at out[sent]; what went out is dropped in
    // bulk, so a write that takes a little does not move the rest every time.
    std::string out;
    std::size_t sent = 0;
    // The last write found the socket full (a simulator that lags): nothing is
    // tried again until poll says the socket takes data.
    bool socketFull = false;
    ScSendCounters counters;
    std::uint32_t lastPacketId = 0;

    std::mutex recvMutex;  // in, consumed; held by the one thread that dispatches
    std::string in;
    std::uint64_t consumed = 0;  // bytes of the stream dispatched before `in`

    // Set once the stream could not be framed; `refusal` says where and why.
    std::atomic<bool> refused{false};
    std::mutex refusalMutex;
    std::string refusal;
    // The thread inside CallDispatch, so a dispatch procedure that calls it again is
    // told "busy" instead of trying a lock it holds.
    std::atomic<std::thread::id> dispatcher{};

    std::mutex failMutex;  // failNext
    std::vector<std::string> failNext;
    std::atomic<int> armed{0};
};

std::atomic<std::uint32_t> g_protocol{kScProtocol2020};

std::mutex g_registryMutex;
std::unordered_map<std::uint64_t, std::shared_ptr<Connection>> g_connections;
std::uint64_t g_nextHandle = 1;

std::shared_ptr<Connection> lf_find(SimConnectHandle handle) {
    if (handle == SimConnectHandle{}) return nullptr;
    std::lock_guard lock(g_registryMutex);
    auto found = g_connections.find(static_cast<std::uint64_t>(handle));
    return found != g_connections.end() ? found->second : nullptr;
}

std::size_t lf_unsent(const Connection& c) { return c.out.size() - c.sent; }

// Writes what the socket takes now; false when the connection is gone. Once the
// socket was full, one poll without waiting decides whether to write at all.
bool lf_flushLocked(Connection& c) {
    if (c.socketFull && c.sent < c.out.size()) {
        pollfd p{c.fd, POLLOUT, 0};
        ++c.counters.polls;
        if (::poll(&p, 1, 0) != 1) return true;  // still full (or interrupted: the next flush asks again)
        // Writable, or an error or hang-up, which the write below reports.
    }
    c.socketFull = false;
    while (c.sent < c.out.size()) {
        const std::size_t left = c.out.size() - c.sent;
        const ssize_t n = ::send(c.fd, c.out.data() + c.sent, left, MSG_NOSIGNAL | MSG_DONTWAIT);
        ++c.counters.sends;
        if (n > 0) {
            c.sent += static_cast<std::size_t>(n);
            // A write taken in part filled the socket; another would only be refused.
            if (static_cast<std::size_t>(n) < left) {
                c.socketFull = true;
                break;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            ++c.counters.failedSends;
            c.socketFull = true;
            break;
        }
        c.broken = true;
        c.out.clear();
        c.sent = 0;
        return false;
    }
    if (c.sent == c.out.size()) {
        c.out.clear();
        c.sent = 0;
    } else if (c.sent > c.out.size() / 2) {
        c.out.erase(0, c.sent);  // moves less than was written since the last move
        c.sent = 0;
    }
    return true;
}

std::uint32_t lf_nextPacketId(Connection& c) {
    if (++c.lastPacketId == 0) c.lastPacketId = 1;
    return c.lastPacketId;
}

// A failure the simulator armed for this function is used up by this call.
bool lf_takeArmedFailure(Connection& c, const char* function) {
    if (c.armed.load() == 0) return false;
    std::lock_guard lock(c.failMutex);
    auto found = std::find(c.failNext.begin(), c.failNext.end(), function);
    if (found == c.failNext.end()) return false;
    c.failNext.erase(found);
    --c.armed;
    return true;
}

template <class R>
ScResult lf_call(SimConnectHandle handle, const char* function, ScCallKind kind, const R& record) {
    std::shared_ptr<Connection> c = lf_find(handle);
    if (!c) return kScFail;
    if (lf_takeArmedFailure(*c, function)) return kScFail;
    std::lock_guard lock(c->sendMutex);
    // More than kScMaxUnsent unsent means the simulator stopped reading.
    if (c->broken || lf_unsent(*c) > kScMaxUnsent) return kScFail;
    // A text too long for its array is refused here, before anything is sent.
    if (!ScWriter(c->out).call(c->protocol, kind, c->lastPacketId + 1, record)) return kScFail;
    lf_nextPacketId(*c);
    // A full socket is left alone until the next CallDispatch finds it writable.
    if (!c->socketFull && lf_unsent(*c) >= kFlushThreshold && !lf_flushLocked(*c)) return kScFail;
    return kScOk;
}

// Connects without waiting longer than kConnectWaitMs (a simulator on another PC
// gets kRemoteConnectWaitMs); -1 when nothing answers.
int lf_connect(const ScEndpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    if (::inet_pton(AF_INET, endpoint.address.c_str(), &address.sin_addr) != 1) return -1;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const bool loopback = (ntohl(address.sin_addr.s_addr) >> 24) == 127;
    int r = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (r != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        r = ::poll(&p, 1, loopback ? kConnectWaitMs : kRemoteConnectWaitMs) == 1 ? 0 : -1;
        int error = 0;
        socklen_t length = sizeof error;
        if (r == 0 && (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)) r = -1;
    }
    if (r != 0) {
        ::close(fd);
        return -1;
    }
    int noDelay = endpoint.noDelay ? 1 : 0;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    return fd;
}

std::optional<std::uint16_t> lf_portNumber(std::string_view s) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error != std::errc{} || end != s.data() + s.size() || value == 0 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::string_view lf_trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// SimConnect.cfg is an INI file: configuration 0 is [SimConnect], which the SDK
// also writes [SimConnect.0]; [SimConnect.1] and so on are other configurations.
constexpr std::string_view kCfgSection = "SimConnect";
constexpr std::string_view kCfgSectionZero = "SimConnect.0";
// What Windows editors put at the start of a text file.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool lf_equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

}  // namespace

std::uint16_t gf_simConnectPort() {
    const char* text = std::getenv(kSimConnectPortVariable);
    if (text == nullptr) return kDefaultSimConnectPort;
    return lf_portNumber(text).value_or(kDefaultSimConnectPort);
}

ScEndpointResult gf_simConnectEndpoint(const std::filesystem::path& cfgFile) {
    ScEndpointResult result;
    const std::string name = cfgFile.filename().string();
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(cfgFile, ec);
    if (ec) full = cfgFile;
    const char* variable = std::getenv(kSimConnectPortVariable);
    if (!std::filesystem::exists(cfgFile, ec)) {
        result.source = "the default: there is no " + full.string();
        if (variable != nullptr) {
            if (auto p = lf_portNumber(variable)) {
                result.endpoint.port = *p;
                result.source = std::string("the default address, the port from $") + kSimConnectPortVariable +
                                ": there is no " + full.string();
            } else {
                result.source += std::string("; $") + kSimConnectPortVariable + "=" + variable +
                                 " is not a port number from 1 to 65535";
            }
        }
        return result;
    }
    auto fail = [&](std::string why) {
        result.endpoint = ScEndpoint{};
        result.error = name + ": " + std::move(why);
        result.source.clear();
        return result;
    };
    std::ifstream in(cfgFile, std::ios::binary);
    if (!in) return fail("cannot be read");
    std::string line;
    std::string section;  // configuration 0's section as written, once seen
    bool inSection = false;
    std::optional<std::string> address;
    std::optional<std::uint16_t> port;
    // The size of a text file that someone wrote by hand; anything longer is not one.
    constexpr std::size_t kMaxLines = 10000;
    for (std::size_t n = 0; n < kMaxLines && std::getline(in, line); ++n) {
        std::string_view l = line;
        if (n == 0) {
            if (l.starts_with(kUtf8Bom)) l.remove_prefix(kUtf8Bom.size());
            if (l.starts_with(kUtf16LeBom) || l.starts_with(kUtf16BeBom)) {
                return fail("is saved as UTF-16 text; save it as UTF-8 or ANSI");
            }
        }
        l = lf_trim(l);
        if (l.empty() || l.front() == ';' || l.front() == '#') continue;
        if (l.front() == '[') {
            const std::size_t close = l.find(']');
            const std::string_view title = lf_trim(l.substr(1, close == std::string_view::npos ? l.size() - 1
                                                                                                : close - 1));
            inSection = lf_equalsNoCase(title, kCfgSection) || lf_equalsNoCase(title, kCfgSectionZero);
            if (inSection) {
                if (!section.empty() && !lf_equalsNoCase(section, title)) {
                    return fail("[" + section + "] and [" + std::string(title) +
                                "] both set up configuration 0; keep one of them");
                }
                section = std::string(title);
            }
            continue;
        }
        if (!inSection) continue;
        const auto equals = l.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = lf_trim(l.substr(0, equals));
        const std::string_view value = lf_trim(l.substr(equals + 1));
        if (lf_equalsNoCase(key, "Protocol")) {
            if (lf_equalsNoCase(value, "Pipe")) {
                // The SDK's pipe is a local Windows named pipe: only a client on the
                // simulator's own PC can open it.
                return fail("Protocol=" + std::string(value) +
                            " is not supported here (a named pipe reaches only programs on the simulator's PC); "
                            "use Protocol=IPv4");
            }
            if (lf_equalsNoCase(value, "IPv6")) {
                return fail("Protocol=" + std::string(value) +
                            " is not supported here; use Protocol=IPv4 with the simulator PC's IPv4 address");
            }
            if (!lf_equalsNoCase(value, "IPv4")) {
                return fail("Protocol=" + std::string(value) + " is not supported here; use Protocol=IPv4");
            }
        } else if (lf_equalsNoCase(key, "Address")) {
            in_addr parsed{};
            if (::inet_pton(AF_INET, std::string(value).c_str(), &parsed) != 1) {
                return fail("Address=" + std::string(value) + " is not an IPv4 address like 192.168.1.20");
            }
            address = std::string(value);
        } else if (lf_equalsNoCase(key, "Port")) {
            port = lf_portNumber(value);
            if (!port) return fail("Port=" + std::string(value) + " is not a port number from 1 to 65535");
        } else if (lf_equalsNoCase(key, "DisableNagle")) {
            if (value != "0" && value != "1") return fail("DisableNagle=" + std::string(value) + " is not 0 or 1");
            result.endpoint.noDelay = value == "1";
        }
        // Other keys of the SDK (MaxReceiveSize, Comment, ...) change nothing here:
        // the receive bound is the protocol's own.
    }
    if (section.empty()) return fail("has no [SimConnect] or [SimConnect.0] section");
    if (!address) return fail("[" + section + "] has no Address=");
    if (!port) return fail("[" + section + "] has no Port=");
    result.endpoint.address = *address;
    result.endpoint.port = *port;
    result.source = full.string() + " [" + section + "]";
    if (variable != nullptr) {
        result.source += std::string("; $") + kSimConnectPortVariable + " is not used with a " + name;
    }
    return result;
}

std::string gf_simConnectEndpointText(const ScEndpoint& endpoint) {
    return endpoint.address + ":" + std::to_string(endpoint.port);
}

void gf_setSimConnectProtocol(std::uint32_t protocol) {
    if (protocol == kScProtocol2020 || protocol == kScProtocol2024) g_protocol = protocol;
}

std::uint32_t gf_simConnectProtocol() { return g_protocol; }

bool gf_simConnectFailNext(std::uint16_t localPort, const std::string& function) {
    std::lock_guard registry(g_registryMutex);
    for (auto& [id, c] : g_connections) {
        if (c->localPort != localPort || c->broken) continue;
        std::lock_guard lock(c->failMutex);
        c->failNext.push_back(function);
        ++c->armed;
        return true;
    }
    return false;
}

bool gf_simConnectSendCounters(SimConnectHandle handle, ScSendCounters& counters) {
    std::shared_ptr<Connection> c = lf_find(handle);
    if (!c) return false;
    std::lock_guard lock(c->sendMutex);
    counters = c->counters;
    counters.unsent = lf_unsent(*c);
    counters.socketFull = c->socketFull;
    return true;
}

ScResult SimConnect_Open(SimConnectHandle* handle, const char* name, void* /*window*/,
                         std::uint32_t /*userEventWin32*/, void* /*eventHandle*/, std::uint32_t /*configIndex*/) {
    if (handle == nullptr) return kScFail;
    *handle = SimConnectHandle{};
    if (name == nullptr) return kScFail;
    const ScEndpointResult where = gf_simConnectEndpoint();
    if (!where.error.empty()) return kScFail;
    const std::uint32_t protocol = g_protocol;
    ScOpenCall open;
    if (!gf_scOpenCallFor(protocol, name, open)) return kScFail;
    int fd = lf_connect(where.endpoint);
    if (fd < 0) return kScFail;
    auto c = std::make_shared<Connection>(fd, protocol);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) c->localPort = ntohs(local.sin_port);
    c->peer = gf_simConnectEndpointText(where.endpoint);
    {
        std::lock_guard lock(c->sendMutex);
        if (!ScWriter(c->out).call(protocol, ScCallKind::Open, lf_nextPacketId(*c), open)) return kScFail;
        if (!lf_flushLocked(*c)) return kScFail;
    }
    std::lock_guard lock(g_registryMutex);
    const std::uint64_t id = g_nextHandle++;
    g_connections.emplace(id, std::move(c));
    *handle = static_cast<SimConnectHandle>(id);
    return kScOk;
}

ScResult SimConnect_Close(SimConnectHandle handle) {
    std::shared_ptr<Connection> c;
    {
        std::lock_guard lock(g_registryMutex);
        auto found = g_connections.find(static_cast<std::uint64_t>(handle));
        if (handle == SimConnectHandle{} || found == g_connections.end()) return kScFail;
        c = std::move(found->second);
        g_connections.erase(found);
    }
    {
        // What the caller sent before closing still goes out; the end of the
        // connection is what tells the simulator the client is gone.
        std::lock_guard lock(c->sendMutex);
        if (!c->broken) lf_flushLocked(*c);
        c->broken = true;
    }
    // Threads still inside a call hold the connection; the socket is closed with
    // the last of them, so its number cannot be reused under their feet.
    ::shutdown(c->fd, SHUT_RDWR);
    return kScOk;
}

ScResult SimConnect_CallDispatch(SimConnectHandle handle, ScDispatchProc proc, void* context) {
    std::shared_ptr<Connection> c = lf_find(handle);
    if (!c || proc == nullptr) return kScFail;
    if (c->dispatcher.load() == std::this_thread::get_id()) return kScBusy;
    std::unique_lock dispatching(c->recvMutex, std::try_to_lock);
    if (!dispatching.owns_lock()) return kScBusy;
    c->dispatcher = std::this_thread::get_id();
    struct Leave {
        Connection& c;
        ~Leave() { c.dispatcher = std::thread::id{}; }
    } leave{*c};
    {
        std::lock_guard lock(c->sendMutex);
        if (!c->broken) lf_flushLocked(*c);
    }
    bool ended = c->broken.load();
    bool peerClosed = false;
    // Reading stops after a few chunks so that a flood cannot hold the caller.
    for (int chunks = 0; !ended && chunks < 64; ++chunks) {
        const std::size_t old = c->in.size();
        c->in.resize(old + kReadChunk);
        ssize_t n = ::recv(c->fd, c->in.data() + old, kReadChunk, MSG_DONTWAIT);
        c->in.resize(old + (n > 0 ? static_cast<std::size_t>(n) : 0));
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        ended = true;  // orderly shutdown by the simulator, or a reset
        peerClosed = true;
    }
    ScStreamBreak broken;
    const std::size_t used = gf_scDispatchReplies(c->in, proc, context, broken);
    if (broken.fault == ScStreamFault::None && peerClosed && used < c->in.size()) {
        broken = gf_scCutByClose(std::string_view(c->in).substr(used));
        broken.offset = used;
    }
    // A stream that breaks its framing cannot be trusted any further.
    const bool refused = broken.fault != ScStreamFault::None;
    if (refused) {
        ended = true;
        {
            std::lock_guard lock(c->refusalMutex);
            c->refusal = gf_scDescribeBreak(broken, c->consumed) + " (from " + c->peer + ")";
        }
        c->refused = true;
    }
    c->consumed += used;
    c->in.erase(0, refused ? c->in.size() : used);
    {
        std::lock_guard lock(c->sendMutex);
        if (!c->broken) lf_flushLocked(*c);  // calls made by the procedure
    }
    if (ended || c->broken) {
        c->broken = true;
        return c->refused ? kScDataNotUnderstood : kScConnectionLost;
    }
    return kScOk;
}

std::string gf_simConnectRefusal(SimConnectHandle handle) {
    std::shared_ptr<Connection> c = lf_find(handle);
    if (!c) return {};
    std::lock_guard lock(c->refusalMutex);
    return c->refusal;
}

ScResult SimConnect_SubscribeToSystemEvent(SimConnectHandle handle, std::uint32_t eventId,
                                           const char* systemEventName) {
    if (systemEventName == nullptr) return kScFail;
    return lf_call(handle, "SimConnect_SubscribeToSystemEvent", ScCallKind::SubscribeToSystemEvent,
                   ScSubscribeCall{eventId, systemEventName});
}

ScResult SimConnect_AddToDataDefinition(SimConnectHandle handle, std::uint32_t defineId, const char* datumName,
                                        const char* unitsName, ScDataType datumType, float epsilon,
                                        std::uint32_t datumId) {
    if (datumName == nullptr) return kScFail;
    ScAddToDefinitionCall call{defineId, datumName, unitsName != nullptr ? unitsName : "", datumType, epsilon,
                               datumId};
    return lf_call(handle, "SimConnect_AddToDataDefinition", ScCallKind::AddToDataDefinition, call);
}

ScResult SimConnect_MapClientEventToSimEvent(SimConnectHandle handle, std::uint32_t eventId, const char* eventName) {
    return lf_call(handle, "SimConnect_MapClientEventToSimEvent", ScCallKind::MapClientEventToSimEvent,
                   ScMapEventCall{eventId, eventName != nullptr ? eventName : ""});
}

ScResult SimConnect_AddClientEventToNotificationGroup(SimConnectHandle handle, std::uint32_t groupId,
                                                      std::uint32_t eventId, bool maskable) {
    return lf_call(handle, "SimConnect_AddClientEventToNotificationGroup",
                   ScCallKind::AddClientEventToNotificationGroup,
                   ScAddToGroupCall{groupId, eventId, maskable ? 1u : 0u});
}

ScResult SimConnect_SetNotificationGroupPriority(SimConnectHandle handle, std::uint32_t groupId,
                                                 std::uint32_t priority) {
    return lf_call(handle, "SimConnect_SetNotificationGroupPriority", ScCallKind::SetNotificationGroupPriority,
                   ScGroupPriorityCall{groupId, priority});
}

ScResult SimConnect_RequestDataOnSimObject(SimConnectHandle handle, std::uint32_t requestId, std::uint32_t defineId,
                                           std::uint32_t objectId, ScPeriod period, std::uint32_t flags,
                                           std::uint32_t origin, std::uint32_t interval, std::uint32_t limit) {
    return lf_call(handle, "SimConnect_RequestDataOnSimObject", ScCallKind::RequestDataOnSimObject,
                   ScRequestDataCall{requestId, defineId, objectId, period, flags, origin, interval, limit});
}

ScResult SimConnect_RequestDataOnSimObjectType(SimConnectHandle handle, std::uint32_t requestId,
                                               std::uint32_t defineId, std::uint32_t radiusMeters,
                                               ScObjectType objectType) {
    return lf_call(handle, "SimConnect_RequestDataOnSimObjectType", ScCallKind::RequestDataOnSimObjectType,
                   ScRequestByTypeCall{requestId, defineId, radiusMeters, objectType});
}

ScResult SimConnect_SetDataOnSimObject(SimConnectHandle handle, std::uint32_t defineId, std::uint32_t objectId,
                                       std::uint32_t flags, std::uint32_t arrayCount, std::uint32_t unitSize,
                                       const void* data) {
    const std::uint64_t size = std::uint64_t{arrayCount == 0 ? 1u : arrayCount} * unitSize;
    if (size > kScMaxPacketSize / 2 || (size != 0 && data == nullptr)) return kScFail;
    ScSetDataCall call{defineId, objectId, flags, arrayCount == 0 ? 1u : arrayCount, unitSize,
                       std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size))};
    return lf_call(handle, "SimConnect_SetDataOnSimObject", ScCallKind::SetDataOnSimObject, call);
}

ScResult SimConnect_TransmitClientEvent(SimConnectHandle handle, std::uint32_t objectId, std::uint32_t eventId,
                                        std::uint32_t data, std::uint32_t groupId, std::uint32_t flags) {
    return lf_call(handle, "SimConnect_TransmitClientEvent", ScCallKind::TransmitClientEvent,
                   ScTransmitEventCall{objectId, eventId, data, groupId, flags});
}

ScResult SimConnect_AICreateNonATCAircraft(SimConnectHandle handle, const char* containerTitle,
                                           const char* tailNumber, const ScInitPosition& initPosition,
                                           std::uint32_t requestId) {
    if (containerTitle == nullptr || tailNumber == nullptr) return kScFail;
    return lf_call(handle, "SimConnect_AICreateNonATCAircraft", ScCallKind::AICreateNonATCAircraft,
                   ScCreateAircraftCall{containerTitle, tailNumber, initPosition, requestId});
}

ScResult SimConnect_GetLastSentPacketID(SimConnectHandle handle, std::uint32_t* packetId) {
    if (packetId == nullptr) return kScFail;
    std::shared_ptr<Connection> c = lf_find(handle);
    if (!c) return kScFail;
    if (lf_takeArmedFailure(*c, "SimConnect_GetLastSentPacketID")) return kScFail;
    std::lock_guard lock(c->sendMutex);
    *packetId = c->lastPacketId;
    return kScOk;
}

ScResult SimConnect_AIReleaseControl(SimConnectHandle handle, std::uint32_t objectId, std::uint32_t requestId) {
    return lf_call(handle, "SimConnect_AIReleaseControl", ScCallKind::AIReleaseControl,
                   ScObjectCall{objectId, requestId});
}

ScResult SimConnect_AIRemoveObject(SimConnectHandle handle, std::uint32_t objectId, std::uint32_t requestId) {
    return lf_call(handle, "SimConnect_AIRemoveObject", ScCallKind::AIRemoveObject,
                   ScObjectCall{objectId, requestId});
}

ScResult SimConnect_AISetAircraftFlightPlan(SimConnectHandle handle, std::uint32_t objectId,
                                            const char* flightPlanPath, std::uint32_t requestId) {
    if (flightPlanPath == nullptr) return kScFail;
    return lf_call(handle, "SimConnect_AISetAircraftFlightPlan", ScCallKind::AISetAircraftFlightPlan,
                   ScFlightPlanCall{objectId, flightPlanPath, requestId});
}
