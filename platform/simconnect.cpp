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
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/simconnect_wire.h"

namespace {

using namespace clv;

constexpr int kConnectWaitMs = 200;
// Calls collect in the send buffer and go out together once this much is waiting,
// or at the next CallDispatch: a frame of 300 position blocks costs a few writes.
constexpr std::size_t kFlushThreshold = 16 * 1024;
// More than this unsent means the simulator stopped reading; calls are refused.
constexpr std::size_t kMaxUnsent = 8u << 20;
constexpr std::size_t kReadChunk = 64 * 1024;

struct Connection {
    explicit Connection(int socket) : fd(socket) {}
    ~Connection() { ::close(fd); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const int fd;
    // Set when the peer is gone, the stream is corrupt or the handle was closed.
    std::atomic<bool> broken{false};

    std::mutex sendMutex;  // out, lastPacketId
    std::string out;
    std::uint32_t lastPacketId = 0;

    std::mutex recvMutex;  // in; held by the one thread that dispatches
    std::string in;
    // The thread inside CallDispatch, so a dispatch procedure that calls it again is
    // told "busy" instead of trying a lock it holds.
    std::atomic<std::thread::id> dispatcher{};

    std::mutex failMutex;  // failNext
    std::vector<std::string> failNext;
    std::atomic<int> armed{0};
};

std::mutex g_registryMutex;
std::unordered_map<std::uint64_t, std::shared_ptr<Connection>> g_connections;
std::uint64_t g_nextHandle = 1;

std::shared_ptr<Connection> lf_find(SimConnectHandle handle) {
    if (handle == SimConnectHandle{}) return nullptr;
    std::lock_guard lock(g_registryMutex);
    auto found = g_connections.find(static_cast<std::uint64_t>(handle));
    return found != g_connections.end() ? found->second : nullptr;
}

// Writes what the socket takes now; false when the connection is gone.
bool lf_flushLocked(Connection& c) {
    std::size_t done = 0;
    while (done < c.out.size()) {
        ssize_t n = ::send(c.fd, c.out.data() + done, c.out.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        c.broken = true;
        c.out.clear();
        return false;
    }
    c.out.erase(0, done);
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
    if (c->broken || c->out.size() > kMaxUnsent) return kScFail;
    ScWriter(c->out).frame(static_cast<std::uint32_t>(kind), lf_nextPacketId(*c), record);
    if (c->out.size() >= kFlushThreshold && !lf_flushLocked(*c)) return kScFail;
    return kScOk;
}

template <class M>
bool lf_deliverAs(const ScFrame& frame, ScRecvId id, ScDispatchProc proc, void* context) {
    M message;
    if (!ScReader(frame.payload).read(message)) return false;
    message.size = frame.size;
    message.version = kScProtocolVersion;
    message.id = id;
    proc(&message, frame.size, context);
    return true;
}

// Hands one frame to the procedure; false when its payload does not fit its kind.
bool lf_deliver(Connection& c, const ScFrame& frame, ScDispatchProc proc, void* context) {
    if (frame.kind == kScFailNextKind) {
        ScFailNext failNext;
        if (!ScReader(frame.payload).read(failNext)) return false;
        {
            std::lock_guard lock(c.failMutex);
            c.failNext.emplace_back(failNext.function);
            ++c.armed;
        }
        // The acknowledgement is protocol, not a call: it takes no packet id.
        std::lock_guard lock(c.sendMutex);
        if (!c.broken) ScWriter(c.out).frame(static_cast<std::uint32_t>(ScCallKind::FailNextAck), 0, failNext);
        return true;
    }
    const auto id = static_cast<ScRecvId>(frame.kind);
    switch (id) {
        case ScRecvId::Exception: return lf_deliverAs<ScRecvException>(frame, id, proc, context);
        case ScRecvId::Open: return lf_deliverAs<ScRecvOpen>(frame, id, proc, context);
        case ScRecvId::Quit: return lf_deliverAs<ScRecvQuit>(frame, id, proc, context);
        case ScRecvId::Event: return lf_deliverAs<ScRecvEvent>(frame, id, proc, context);
        case ScRecvId::EventObjectAddRemove: return lf_deliverAs<ScRecvEventObjectAddRemove>(frame, id, proc, context);
        case ScRecvId::EventFilename: return lf_deliverAs<ScRecvEventFilename>(frame, id, proc, context);
        case ScRecvId::EventFrame: return lf_deliverAs<ScRecvEventFrame>(frame, id, proc, context);
        case ScRecvId::SimObjectData: return lf_deliverAs<ScRecvSimObjectData>(frame, id, proc, context);
        case ScRecvId::SimObjectDataByType: return lf_deliverAs<ScRecvSimObjectDataByType>(frame, id, proc, context);
        case ScRecvId::AssignedObjectId: return lf_deliverAs<ScRecvAssignedObjectId>(frame, id, proc, context);
        default: {
            // A kind this layer has no record for is handed over bare.
            ScRecv message;
            message.size = frame.size;
            message.version = kScProtocolVersion;
            message.id = id;
            proc(&message, frame.size, context);
            return true;
        }
    }
}

// Connects to the loopback port without waiting longer than kConnectWaitMs.
int lf_connect(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int r = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (r != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        r = ::poll(&p, 1, kConnectWaitMs) == 1 ? 0 : -1;
        int error = 0;
        socklen_t length = sizeof error;
        if (r == 0 && (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)) r = -1;
    }
    if (r != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace

std::uint16_t gf_simConnectPort() {
    const char* text = std::getenv(kSimConnectPortVariable);
    if (text == nullptr) return kDefaultSimConnectPort;
    std::string_view s(text);
    unsigned value = 0;
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error != std::errc{} || end != s.data() + s.size() || value == 0 || value > 65535) {
        return kDefaultSimConnectPort;
    }
    return static_cast<std::uint16_t>(value);
}

ScResult SimConnect_Open(SimConnectHandle* handle, const char* name, void* /*window*/,
                         std::uint32_t /*userEventWin32*/, void* /*eventHandle*/, std::uint32_t configIndex) {
    if (handle == nullptr) return kScFail;
    *handle = SimConnectHandle{};
    if (name == nullptr) return kScFail;
    int fd = lf_connect(gf_simConnectPort());
    if (fd < 0) return kScFail;
    auto c = std::make_shared<Connection>(fd);
    {
        std::lock_guard lock(c->sendMutex);
        ScOpenCall open{kScProtocolVersion, name, configIndex};
        ScWriter(c->out).frame(static_cast<std::uint32_t>(ScCallKind::Open), lf_nextPacketId(*c), open);
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
        std::lock_guard lock(c->sendMutex);
        if (!c->broken) {
            ScWriter(c->out).frame(static_cast<std::uint32_t>(ScCallKind::Close), lf_nextPacketId(*c), ScCloseCall{});
            lf_flushLocked(*c);
        }
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
    }
    std::size_t pos = 0;
    ScFrame frame;
    for (;;) {
        ScFrameStatus status = gf_scNextFrame(std::string_view(c->in).substr(pos), frame);
        if (status == ScFrameStatus::Incomplete) break;
        if (status == ScFrameStatus::Invalid || !lf_deliver(*c, frame, proc, context)) {
            // A stream that breaks its framing cannot be trusted any further.
            ended = true;
            pos = c->in.size();
            break;
        }
        pos += frame.size;
    }
    c->in.erase(0, pos);
    {
        std::lock_guard lock(c->sendMutex);
        if (!c->broken) lf_flushLocked(*c);  // acknowledgements and calls made by the procedure
    }
    if (ended || c->broken) {
        c->broken = true;
        return kScConnectionLost;
    }
    return kScOk;
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
    if (size > kScMaxFrameSize / 2 || (size != 0 && data == nullptr)) return kScFail;
    ScSetDataCall call{defineId, objectId, flags, arrayCount, unitSize,
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
