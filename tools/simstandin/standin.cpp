#include "tools/simstandin/standin.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "platform/simconnect_wire.h"
#include "tools/simstandin/simvars.h"

namespace clv::standin {

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

constexpr std::size_t kMaxClientBacklog = 64u << 20;  // unsent bytes before a client is dropped
constexpr std::size_t kMaxLogEntries = 100000;
constexpr int kMaxPollMs = 200;
constexpr double kEarthRadiusM = 1852.0 * 60.0 * 180.0 / 3.141592653589793;  // a minute of arc is a nautical mile

struct Group {
    std::vector<std::pair<std::uint32_t, bool>> events;  // client event id, maskable
    std::uint32_t priority = 0;
};

struct Periodic {
    std::uint32_t requestId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t objectId = 0;
    ScPeriod period = ScPeriod::Second;
    Clock::time_point due;
};

struct Client {
    int fd = -1;
    std::uint32_t number = 0;
    std::uint16_t peerPort = 0;     // the client's local port: finds it for an armed failure
    std::uint32_t protocol = 0;     // set by Open; every later call carries the same
    std::string in;
    std::string out;
    bool opened = false;
    std::string name;
    std::map<std::uint32_t, std::string> subscriptions;  // client event id -> system event, upper case
    std::map<std::uint32_t, std::vector<DefinedVar>> definitions;
    std::map<std::uint32_t, std::string> mapped;  // client event id -> simulator event, upper case
    std::map<std::uint32_t, Group> groups;
    std::vector<Periodic> periodic;
    bool closeWhenFlushed = false;
    bool dead = false;
};

struct ControlConnection {
    int fd = -1;
    std::string in;
    std::string out;
    bool closeWhenFlushed = false;
    bool dead = false;
};

std::string lf_upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
    return out;
}

bool lf_equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}

const char* lf_originName(ObjectOrigin origin) {
    switch (origin) {
        case ObjectOrigin::User: return "user";
        case ObjectOrigin::Ai: return "ai";
        default: return "foreign";
    }
}

const char* lf_typeName(ScObjectType type) {
    switch (type) {
        case ScObjectType::Aircraft: return "aircraft";
        case ScObjectType::Helicopter: return "helicopter";
        case ScObjectType::Boat: return "boat";
        case ScObjectType::Ground: return "ground";
        default: return "other";
    }
}

ScObjectType lf_typeFromName(const std::string& name) {
    if (name == "aircraft") return ScObjectType::Aircraft;
    if (name == "helicopter") return ScObjectType::Helicopter;
    if (name == "boat") return ScObjectType::Boat;
    if (name == "ground") return ScObjectType::Ground;
    throw std::runtime_error(fmt::format("unknown object type \"{}\" (aircraft, helicopter, boat, ground)", name));
}

double lf_distanceM(double lat1, double lon1, double lat2, double lon2) {
    constexpr double d2r = 0.017453292519943295;
    const double dLat = (lat2 - lat1) * d2r;
    const double dLon = (lon2 - lon1) * d2r;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * d2r) * std::cos(lat2 * d2r) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2.0 * kEarthRadiusM * std::asin(std::min(1.0, std::sqrt(a)));
}

// A text that goes into a fixed array of a reply; refused here when it cannot.
std::string lf_fitting(std::string text, std::size_t size, std::string_view key) {
    if (!gf_scTextFits(text, size)) {
        throw std::runtime_error(fmt::format("\"{}\" takes at most {} bytes without NUL", key, size - 1));
    }
    return text;
}

int lf_listen(std::uint16_t port, std::uint16_t& bound) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error(fmt::format("socket failed: {}", std::strerror(errno)));
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::runtime_error(fmt::format("cannot listen on 127.0.0.1:{}: {}", port, std::strerror(error)));
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    bound = ntohs(address.sin_port);
    return fd;
}

// Writes what the socket takes now; false when the peer is gone.
bool lf_flush(int fd, std::string& out) {
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::send(fd, out.data() + done, out.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            return false;
        }
    }
    out.erase(0, done);
    return true;
}

// Reads what has arrived; false when the peer closed or failed.
bool lf_receive(int fd, std::string& in) {
    char buffer[65536];
    for (int chunks = 0; chunks < 64; ++chunks) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            in.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

}  // namespace

struct SimStandIn::Impl {
    mutable std::mutex mutex;
    Scenario scenario;
    std::map<std::uint32_t, SimObject> objects;
    std::vector<InstalledTitle> installed;
    std::uint32_t nextObjectId = 1000;
    std::int64_t zuluBase = 0;
    Clock::time_point zuluSetAt;
    std::vector<std::unique_ptr<Client>> clients;
    std::vector<std::unique_ptr<ControlConnection>> controls;
    std::deque<json> log;
    std::uint64_t nextSeq = 1;
    std::uint32_t nextClientNumber = 1;
    std::uint64_t framesSent = 0;
    Clock::time_point nextFrame;
    // Every position block applied to an AI aircraft, kept after its removal.
    struct HistoryPoint {
        double t = 0.0;  // seconds since the stand-in started
        double latitude = 0.0;
        double longitude = 0.0;
        double altitudeFt = 0.0;
        double headingDeg = 0.0;
        double pitchDeg = 0.0;
        double bankDeg = 0.0;
        bool onGround = false;
    };
    struct TrackHistory {
        std::string atcId;
        std::string title;
        bool removed = false;
        std::uint64_t dropped = 0;  // oldest points dropped to keep within the limit
        std::vector<HistoryPoint> points;
    };
    static constexpr std::size_t kHistoryLimit = 200000;
    std::map<std::uint32_t, TrackHistory> histories;
    Clock::time_point startedAt = Clock::now();

    int simListen = -1;
    int controlListen = -1;
    int wakeFd = -1;
    std::uint16_t simPort = 0;
    std::uint16_t controlPort = 0;
    std::thread thread;
    std::atomic<bool> stopFlag{false};
    std::atomic<bool> isRunning{false};
    std::atomic<bool> shutdownAsked{false};

    ~Impl() { closeSockets(); }

    void closeSockets() {
        for (int* fd : {&simListen, &controlListen, &wakeFd}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
    }

    void wake() const {
        if (wakeFd < 0) return;
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
    }

    // ----- the world -----

    WorldView world() const {
        const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - zuluSetAt).count();
        return WorldView{scenario.groundElevationFt, zuluBase + elapsed, scenario.slope};
    }

    void setZulu(std::int64_t secondsSince1970) {
        zuluBase = secondsSince1970 != 0
                       ? secondsSince1970
                       : std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        zuluSetAt = Clock::now();
    }

    SimObject& user() { return objects.at(scenario.user.objectId); }

    void placeUser(const UserAircraft& u) {
        SimObject& o = objects[u.objectId];
        o.id = u.objectId;
        o.origin = ObjectOrigin::User;
        o.type = ScObjectType::Aircraft;
        o.latitude = u.latitude;
        o.longitude = u.longitude;
        o.altitudeFt = u.altitudeFt;
        o.pitchDeg = u.pitchDeg;
        o.bankDeg = u.bankDeg;
        o.headingDeg = u.headingDeg;
        o.groundSpeedKt = u.groundSpeedKt;
        o.onGround = u.onGround;
        o.lights = u.lights;
        o.title = u.title;
        o.atcModel = u.atcModel;
        o.atcId = u.atcId;
    }

    UserAircraft userAircraft() {
        const SimObject& o = user();
        UserAircraft u;
        u.objectId = o.id;
        u.latitude = o.latitude;
        u.longitude = o.longitude;
        u.altitudeFt = o.altitudeFt;
        u.pitchDeg = o.pitchDeg;
        u.bankDeg = o.bankDeg;
        u.headingDeg = o.headingDeg;
        u.groundSpeedKt = o.groundSpeedKt;
        u.onGround = o.onGround;
        u.lights = o.lights;
        u.title = o.title;
        u.atcModel = o.atcModel;
        u.atcId = o.atcId;
        return u;
    }

    const InstalledTitle* findInstalled(std::string_view title) const {
        for (const auto& t : installed) {
            if (lf_equalsNoCase(t.title, title)) return &t;
        }
        return nullptr;
    }

    std::size_t aiCount() const {
        return static_cast<std::size_t>(std::count_if(objects.begin(), objects.end(), [](const auto& entry) {
            return entry.second.origin == ObjectOrigin::Ai;
        }));
    }

    // ----- sending -----

    // Texts that reach replies (the simulator's name, a flight file) are checked
    // where the control channel takes them, so every reply fits its arrays.
    template <class R>
    void send(Client& c, ScRecvId id, const R& record) {
        if (c.dead) return;
        ScWriter(c.out).reply(c.protocol, id, record);
    }

    void sendException(Client& c, std::uint32_t code, std::uint32_t sendId, std::uint32_t index, json* entry) {
        ScRecvException e;
        e.exception = code;
        e.sendId = sendId;
        e.index = index;
        send(c, ScRecvId::Exception, e);
        if (entry != nullptr) {
            (*entry)["exception"] = code;
            (*entry)["exception_index"] = index;
        }
    }

    // Every client subscribed to the system event gets it, built by `make` from its event id.
    template <class F>
    void toSubscribers(std::string_view systemEvent, F make) {
        for (auto& c : clients) {
            if (c->dead || !c->opened) continue;
            for (const auto& [eventId, name] : c->subscriptions) {
                if (name == systemEvent) make(*c, eventId);
            }
        }
    }

    void sendSimState() {
        toSubscribers("SIM", [&](Client& c, std::uint32_t eventId) {
            ScRecvEvent e;
            e.eventId = eventId;
            e.data = scenario.simRunning ? 1 : 0;
            send(c, ScRecvId::Event, e);
        });
    }

    void sendAddRemove(const SimObject& o, bool added) {
        toSubscribers(added ? "OBJECTADDED" : "OBJECTREMOVED", [&](Client& c, std::uint32_t eventId) {
            ScRecvEventObjectAddRemove e;
            e.eventId = eventId;
            e.data = o.id;
            e.objectType = o.type;
            send(c, ScRecvId::EventObjectAddRemove, e);
        });
    }

    void sendFlightLoaded(const std::string& file, bool asFilename) {
        toSubscribers("FLIGHTLOADED", [&](Client& c, std::uint32_t eventId) {
            if (asFilename) {
                ScRecvEventFilename e;
                e.eventId = eventId;
                e.fileName = file;
                send(c, ScRecvId::EventFilename, e);
            } else {
                ScRecvEvent e;
                e.eventId = eventId;
                send(c, ScRecvId::Event, e);
            }
        });
    }

    void sendData(Client& c, ScRecvId id, std::uint32_t requestId, std::uint32_t defineId, const SimObject& o,
                  std::uint32_t entry, std::uint32_t outOf) {
        auto def = c.definitions.find(defineId);
        if (def == c.definitions.end()) return;
        const std::string block = gf_encodeBlock(def->second, o, world());
        ScRecvSimObjectData d;
        d.requestId = requestId;
        d.objectId = o.id;
        d.defineId = defineId;
        d.entryNumber = entry;
        d.outOf = outOf;
        d.defineCount = static_cast<std::uint32_t>(def->second.size());
        d.data = reinterpret_cast<const std::byte*>(block.data());
        d.dataSize = static_cast<std::uint32_t>(block.size());
        send(c, id, d);
    }

    void sendQuitToAll() {
        for (auto& c : clients) {
            if (c->dead) continue;
            send(*c, ScRecvId::Quit, ScRecvQuit{});
            c->closeWhenFlushed = true;
        }
    }

    // ----- the call log -----

    json& logCall(const Client& c, std::uint32_t packetId, const char* call) {
        // The time (seconds since the start, as in the position history) lets a
        // test measure the spacing of calls without polling for their effects.
        const double t = std::chrono::duration<double>(Clock::now() - startedAt).count();
        log.push_back(json{{"seq", nextSeq++}, {"t", t}, {"client", c.number}, {"packet", packetId}, {"call", call}});
        if (log.size() > kMaxLogEntries) log.pop_front();
        return log.back();
    }

    // ----- calls of a client -----

    void handleFrame(Client& c, const ScPacket& f) {
        const auto kind = static_cast<ScCallKind>(f.kind);
        const std::uint32_t packet = f.sendId;
        ScReader reader(f.payload);
        auto malformed = [&] {
            throw std::runtime_error(fmt::format("malformed packet of function 0x{:X} ({} bytes)", f.kind, f.size));
        };
        if (!c.opened && kind != ScCallKind::Open) {
            throw std::runtime_error(fmt::format("function 0x{:X} before Open", f.kind));
        }
        if (c.opened && f.protocol != c.protocol) {
            throw std::runtime_error(fmt::format("protocol {} after Open with {}", f.protocol, c.protocol));
        }
        switch (kind) {
            case ScCallKind::Open: {
                if (c.opened) throw std::runtime_error("a second Open");
                ScOpenCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_Open");
                e["name"] = std::string(r.name);
                e["protocol"] = f.protocol;
                e["version"] = {r.versionMajor, r.versionMinor, r.buildMajor, r.buildMinor};
                ScOpenCall expected;
                if (!gf_scOpenCallFor(f.protocol, r.name, expected) || r.tag != expected.tag ||
                    r.versionMajor != expected.versionMajor || r.buildMajor != expected.buildMajor) {
                    // A protocol we do not serve: say so in that protocol, then hang up.
                    c.protocol = f.protocol;
                    sendException(c, kScExceptionVersionMismatch, packet, 0, &e);
                    c.closeWhenFlushed = true;
                    break;
                }
                c.opened = true;
                c.protocol = f.protocol;
                c.name = std::string(r.name);
                ScRecvOpen open;
                open.applicationName = scenario.simulator;
                open.applicationVersionMajor = scenario.version[0];
                open.applicationVersionMinor = scenario.version[1];
                open.applicationBuildMajor = scenario.version[2];
                open.applicationBuildMinor = scenario.version[3];
                open.simConnectVersionMajor = expected.versionMajor;
                open.simConnectVersionMinor = expected.versionMinor;
                open.simConnectBuildMajor = expected.buildMajor;
                open.simConnectBuildMinor = expected.buildMinor;
                send(c, ScRecvId::Open, open);
                break;
            }
            case ScCallKind::SubscribeToSystemEvent: {
                ScSubscribeCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_SubscribeToSystemEvent");
                e["event_id"] = r.eventId;
                e["name"] = std::string(r.name);
                static const char* const kKnown[] = {"SIM", "OBJECTADDED", "OBJECTREMOVED", "FRAME", "FLIGHTLOADED"};
                const std::string name = lf_upper(r.name);
                if (std::find(std::begin(kKnown), std::end(kKnown), name) == std::end(kKnown)) {
                    sendException(c, kScExceptionNameUnrecognized, packet, 2, &e);
                    break;
                }
                c.subscriptions[r.eventId] = name;
                if (name == "SIM") {
                    ScRecvEvent ev;
                    ev.eventId = r.eventId;
                    ev.data = scenario.simRunning ? 1 : 0;
                    send(c, ScRecvId::Event, ev);
                }
                break;
            }
            case ScCallKind::AddToDataDefinition: {
                ScAddToDefinitionCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_AddToDataDefinition");
                e["define_id"] = r.defineId;
                e["datum"] = std::string(r.datumName);
                e["units"] = std::string(r.unitsName);
                e["type"] = static_cast<std::uint32_t>(r.datumType);
                e["epsilon"] = r.epsilon;
                e["datum_id"] = static_cast<std::int64_t>(static_cast<std::int32_t>(r.datumId));
                VarProblem problem;
                auto var = gf_defineVar(r.datumName, r.unitsName, r.datumType, problem);
                if (!var) {
                    sendException(c, kScExceptionNameUnrecognized, packet, problem.argumentIndex, &e);
                    break;
                }
                c.definitions[r.defineId].push_back(std::move(*var));
                break;
            }
            case ScCallKind::MapClientEventToSimEvent: {
                ScMapEventCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_MapClientEventToSimEvent");
                e["event_id"] = r.eventId;
                e["name"] = std::string(r.name);
                if (r.name.empty()) {
                    sendException(c, kScExceptionNameUnrecognized, packet, 2, &e);
                    break;
                }
                c.mapped[r.eventId] = lf_upper(r.name);
                break;
            }
            case ScCallKind::AddClientEventToNotificationGroup: {
                ScAddToGroupCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_AddClientEventToNotificationGroup");
                e["group_id"] = r.groupId;
                e["event_id"] = r.eventId;
                e["maskable"] = r.maskable != 0;
                if (!c.mapped.contains(r.eventId)) {
                    sendException(c, kScExceptionUnrecognizedId, packet, 2, &e);
                    break;
                }
                c.groups[r.groupId].events.emplace_back(r.eventId, r.maskable != 0);
                break;
            }
            case ScCallKind::SetNotificationGroupPriority: {
                ScGroupPriorityCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_SetNotificationGroupPriority");
                e["group_id"] = r.groupId;
                e["priority"] = r.priority;
                auto group = c.groups.find(r.groupId);
                if (group == c.groups.end()) {
                    sendException(c, kScExceptionUnrecognizedId, packet, 1, &e);
                    break;
                }
                group->second.priority = r.priority;
                break;
            }
            case ScCallKind::RequestDataOnSimObject: {
                ScRequestDataCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_RequestDataOnSimObject");
                e["request_id"] = r.requestId;
                e["define_id"] = r.defineId;
                e["object_id"] = r.objectId;
                e["period"] = static_cast<std::uint32_t>(r.period);
                e["flags"] = r.flags;
                requestData(c, r, packet, e);
                break;
            }
            case ScCallKind::RequestDataOnSimObjectType: {
                ScRequestByTypeCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_RequestDataOnSimObjectType");
                e["request_id"] = r.requestId;
                e["define_id"] = r.defineId;
                e["radius_m"] = r.radiusMeters;
                e["object_type"] = static_cast<std::uint32_t>(r.objectType);
                requestByType(c, r, packet, e);
                break;
            }
            case ScCallKind::SetDataOnSimObject: {
                ScSetDataCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_SetDataOnSimObject");
                e["define_id"] = r.defineId;
                e["object_id"] = r.objectId;
                e["flags"] = r.flags;
                e["array_count"] = r.arrayCount;
                e["unit_size"] = r.unitSize;
                setData(c, r, packet, e);
                break;
            }
            case ScCallKind::TransmitClientEvent: {
                ScTransmitEventCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_TransmitClientEvent");
                e["object_id"] = r.objectId;
                e["event_id"] = r.eventId;
                e["data"] = r.data;
                e["group_id"] = r.groupId;
                e["flags"] = r.flags;
                transmit(c, r, packet, e);
                break;
            }
            case ScCallKind::AICreateNonATCAircraft: {
                ScCreateAircraftCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_AICreateNonATCAircraft");
                e["title"] = std::string(r.title);
                e["tail_number"] = std::string(r.tailNumber);
                e["lat"] = r.position.latitude;
                e["lon"] = r.position.longitude;
                e["alt_ft"] = r.position.altitude;
                e["heading_deg"] = r.position.heading;
                e["on_ground"] = r.position.onGround;
                e["airspeed_kt"] = r.position.airspeed;
                e["request_id"] = r.requestId;
                create(c, r, packet, e);
                break;
            }
            case ScCallKind::AIReleaseControl: {
                ScObjectCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_AIReleaseControl");
                e["object_id"] = r.objectId;
                e["request_id"] = r.requestId;
                SimObject* o = aiObject(c, r.objectId, packet, e);
                if (o != nullptr) o->released = true;
                break;
            }
            case ScCallKind::AIRemoveObject: {
                ScObjectCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_AIRemoveObject");
                e["object_id"] = r.objectId;
                e["request_id"] = r.requestId;
                SimObject* o = aiObject(c, r.objectId, packet, e);
                if (o != nullptr) removeObject(o->id);
                break;
            }
            case ScCallKind::AISetAircraftFlightPlan: {
                ScFlightPlanCall r;
                if (!reader.read(r)) malformed();
                json& e = logCall(c, packet, "SimConnect_AISetAircraftFlightPlan");
                e["object_id"] = r.objectId;
                e["path"] = std::string(r.path);
                e["request_id"] = r.requestId;
                SimObject* o = aiObject(c, r.objectId, packet, e);
                if (o != nullptr) loadFlightPlan(c, *o, std::string(r.path), packet, e);
                break;
            }
            default: {
                // A function this simulator does not offer: the real one answers with an
                // exception naming the packet, and the connection goes on.
                json& e = logCall(c, packet, "unknown function");
                e["function"] = f.kind;
                sendException(c, kScExceptionUnrecognizedId, packet, 0, &e);
                break;
            }
        }
    }

    SimObject* findObject(std::uint32_t objectId) {
        if (objectId == kScObjectIdUser) objectId = scenario.user.objectId;
        auto found = objects.find(objectId);
        return found != objects.end() ? &found->second : nullptr;
    }

    // An object that AI calls may act on: not unknown (3), not the user aircraft (24).
    SimObject* aiObject(Client& c, std::uint32_t objectId, std::uint32_t packet, json& e) {
        SimObject* o = findObject(objectId);
        if (o == nullptr) {
            sendException(c, kScExceptionUnrecognizedId, packet, 1, &e);
            return nullptr;
        }
        if (o->origin == ObjectOrigin::User) {
            sendException(c, kScExceptionOperationInvalidForObjectType, packet, 1, &e);
            return nullptr;
        }
        return o;
    }

    void requestData(Client& c, const ScRequestDataCall& r, std::uint32_t packet, json& e) {
        auto& periodic = c.periodic;
        periodic.erase(std::remove_if(periodic.begin(), periodic.end(),
                                      [&](const Periodic& p) { return p.requestId == r.requestId; }),
                       periodic.end());
        if (r.period == ScPeriod::Never) return;
        if (!c.definitions.contains(r.defineId)) {
            sendException(c, kScExceptionUnrecognizedId, packet, 2, &e);
            return;
        }
        SimObject* o = findObject(r.objectId);
        if (o == nullptr) {
            sendException(c, kScExceptionUnrecognizedId, packet, 3, &e);
            return;
        }
        if (r.period == ScPeriod::Once || r.period == ScPeriod::Second) {
            sendData(c, ScRecvId::SimObjectData, r.requestId, r.defineId, *o, 1, 1);
        }
        if (r.period != ScPeriod::Once) {
            periodic.push_back(Periodic{r.requestId, r.defineId, o->id, r.period,
                                        Clock::now() + std::chrono::milliseconds(scenario.dataPeriodMs)});
        }
    }

    void requestByType(Client& c, const ScRequestByTypeCall& r, std::uint32_t packet, json& e) {
        if (!c.definitions.contains(r.defineId)) {
            sendException(c, kScExceptionUnrecognizedId, packet, 2, &e);
            return;
        }
        const SimObject& u = user();
        std::vector<const SimObject*> found;
        for (const auto& [id, o] : objects) {
            const bool typeFits = r.objectType == ScObjectType::All ||
                                  (r.objectType == ScObjectType::User ? o.origin == ObjectOrigin::User
                                                                      : o.type == r.objectType);
            if (!typeFits) continue;
            const bool inRange = r.radiusMeters == 0
                                     ? o.origin == ObjectOrigin::User
                                     : lf_distanceM(u.latitude, u.longitude, o.latitude, o.longitude) <= r.radiusMeters;
            if (inRange) found.push_back(&o);
        }
        e["objects"] = found.size();
        const auto n = static_cast<std::uint32_t>(found.size());
        for (std::uint32_t i = 0; i < n; ++i) {
            sendData(c, ScRecvId::SimObjectDataByType, r.requestId, r.defineId, *found[i], i + 1, n);
        }
    }

    // ----- the position history of the AI aircraft -----

    void recordHistory(const SimObject& o) {
        TrackHistory& h = histories[o.id];
        h.atcId = o.atcId;
        h.title = o.title;
        if (h.points.size() >= kHistoryLimit) {
            // Long runs keep their newest points; the oldest tenth goes at once.
            const std::size_t drop = kHistoryLimit / 10;
            h.points.erase(h.points.begin(), h.points.begin() + static_cast<std::ptrdiff_t>(drop));
            h.dropped += drop;
        }
        const double t = std::chrono::duration<double>(Clock::now() - startedAt).count();
        h.points.push_back(
            HistoryPoint{t, o.latitude, o.longitude, o.altitudeFt, o.headingDeg, o.pitchDeg, o.bankDeg, o.onGround});
    }

    json historyJson(std::uint32_t id, const TrackHistory& h) const {
        json points = json::array();
        for (const HistoryPoint& p : h.points) {
            points.push_back({{"t", p.t},
                              {"lat", p.latitude},
                              {"lon", p.longitude},
                              {"alt_ft", p.altitudeFt},
                              {"heading_deg", p.headingDeg},
                              {"pitch_deg", p.pitchDeg},
                              {"bank_deg", p.bankDeg},
                              {"on_ground", p.onGround}});
        }
        return json{{"id", id},        {"atc_id", h.atcId},   {"title", h.title},
                    {"removed", h.removed}, {"dropped", h.dropped}, {"points", std::move(points)}};
    }

    void setData(Client& c, const ScSetDataCall& r, std::uint32_t packet, json& e) {
        auto def = c.definitions.find(r.defineId);
        if (def == c.definitions.end()) {
            sendException(c, kScExceptionUnrecognizedId, packet, 1, &e);
            return;
        }
        SimObject* o = findObject(r.objectId);
        if (o == nullptr) {
            sendException(c, kScExceptionUnrecognizedId, packet, 2, &e);
            return;
        }
        const std::size_t count = r.arrayCount == 0 ? 1 : r.arrayCount;
        const std::size_t blockSize = gf_blockSize(def->second);
        if (r.unitSize == 0 || r.data.size() != count * r.unitSize || (blockSize != 0 && r.unitSize != blockSize)) {
            sendException(c, kScExceptionInvalidDataSize, packet, 5, &e);
            return;
        }
        const WorldView w = world();
        for (std::size_t i = 0; i < count; ++i) {
            if (!gf_decodeBlock(def->second, r.data.substr(i * r.unitSize, r.unitSize), *o, w)) {
                sendException(c, kScExceptionInvalidDataSize, packet, 6, &e);
                return;
            }
        }
        if (o->origin == ObjectOrigin::Ai) {
            // An AI aircraft set below the ground stands on it.
            const double standing = w.groundAt(o->latitude, o->longitude) + o->staticCgFt;
            if (o->altitudeFt < standing) o->altitudeFt = standing;
            o->onGround = gf_onGroundAt(*o, w);
            const bool moves = std::any_of(def->second.begin(), def->second.end(),
                                           [](const DefinedVar& v) { return lf_equalsNoCase(v.name, "PLANE LATITUDE"); });
            if (moves) recordHistory(*o);
        }
        ++o->positionUpdates;
    }

    void transmit(Client& c, const ScTransmitEventCall& r, std::uint32_t packet, json& e) {
        SimObject* o = findObject(r.objectId);
        if (o == nullptr) {
            sendException(c, kScExceptionUnrecognizedId, packet, 1, &e);
            return;
        }
        auto mapped = c.mapped.find(r.eventId);
        if (mapped == c.mapped.end()) {
            sendException(c, kScExceptionUnrecognizedId, packet, 2, &e);
            return;
        }
        const std::string& name = mapped->second;
        e["event"] = name;
        o->events.push_back(ClientEventRecord{name, r.data, r.groupId});
        const bool on = r.data != 0;
        auto light = [&](std::int64_t bit) { o->lights = on ? (o->lights | bit) : (o->lights & ~bit); };
        if (name == "NAV_LIGHTS_SET") light(kLightNav);
        else if (name == "BEACON_LIGHTS_SET") light(kLightBeacon);
        else if (name == "LANDING_LIGHTS_SET") light(kLightLanding);
        else if (name == "TAXI_LIGHTS_SET") light(kLightTaxi);
        else if (name == "STROBES_SET") light(kLightStrobe);
        else if (name == "LOGO_LIGHTS_SET") light(kLightLogo);
        else if (name == "CABIN_LIGHTS_SET") light(kLightCabin);
        else if (name == "ALL_LIGHTS_TOGGLE") o->lights ^= kAllLights;
        else if (name == "FREEZE_LATITUDE_LONGITUDE_SET") o->freezeLatLon = on;
        else if (name == "FREEZE_ALTITUDE_SET") o->freezeAltitude = on;
        else if (name == "FREEZE_ATTITUDE_SET") o->freezeAttitude = on;
    }

    void create(Client& c, const ScCreateAircraftCall& r, std::uint32_t packet, json& e) {
        const InstalledTitle* t = findInstalled(r.title);
        if (t == nullptr) {
            sendException(c, kScExceptionCreateObjectFailed, packet, 1, &e);
            return;
        }
        if (aiCount() >= scenario.maxAiObjects) {
            sendException(c, kScExceptionTooManyObjects, packet, 1, &e);
            return;
        }
        SimObject o;
        o.id = nextObjectId++;
        o.origin = ObjectOrigin::Ai;
        o.type = ScObjectType::Aircraft;
        o.title = t->title;
        o.atcId = std::string(r.tailNumber);
        o.latitude = r.position.latitude;
        o.longitude = r.position.longitude;
        o.pitchDeg = r.position.pitch;
        o.bankDeg = r.position.bank;
        o.headingDeg = r.position.heading;
        o.trueAirspeedKt = r.position.airspeed;
        o.staticCgFt = t->staticCgFt;
        o.staticPitchDeg = t->staticPitchDeg;
        o.onGround = r.position.onGround != 0;
        const double standing = world().groundAt(o.latitude, o.longitude) + o.staticCgFt;
        // Nothing is created below the ground: an aircraft asked for there stands on it.
        if (o.onGround || r.position.altitude < standing) o.onGround = true;
        o.altitudeFt = o.onGround ? standing : r.position.altitude;
        e["object_id"] = o.id;
        const SimObject& added = objects.emplace(o.id, std::move(o)).first->second;
        sendAddRemove(added, true);
        ScRecvAssignedObjectId assigned;
        assigned.requestId = r.requestId;
        assigned.objectId = added.id;
        send(c, ScRecvId::AssignedObjectId, assigned);
    }

    void removeObject(std::uint32_t id) {
        auto found = objects.find(id);
        if (found == objects.end()) return;
        SimObject removed = std::move(found->second);
        objects.erase(found);
        if (auto h = histories.find(id); h != histories.end()) h->second.removed = true;
        sendAddRemove(removed, false);
    }

    void loadFlightPlan(Client& c, SimObject& o, const std::string& path, std::uint32_t packet, json& e) {
        pugi::xml_document document;
        pugi::xml_parse_result result = document.load_file(path.c_str());
        std::string used = path;
        if (!result && (path.size() < 4 || !lf_equalsNoCase(path.substr(path.size() - 4), ".pln"))) {
            used = path + ".pln";
            result = document.load_file(used.c_str());
        }
        pugi::xml_node plan = document.child("SimBase.Document").child("FlightPlan.FlightPlan");
        if (!result || !plan) {
            e["load_error"] = result ? std::string("no SimBase.Document/FlightPlan.FlightPlan") : result.description();
            sendException(c, kScExceptionLoadFlightplanFailed, packet, 2, &e);
            return;
        }
        o.flightPlanPath = used;
        o.flightRules = plan.child_value("FPType");
        o.departure = plan.child_value("DepartureID");
        o.destination = plan.child_value("DestinationID");
        e["departure"] = o.departure;
        e["destination"] = o.destination;
    }

    // ----- timers -----

    void tick() {
        const Clock::time_point now = Clock::now();
        if (scenario.frameRate > 0.0 && now >= nextFrame) {
            const auto interval = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(1.0 / scenario.frameRate));
            nextFrame += interval;
            if (nextFrame < now) nextFrame = now + interval;
            ++framesSent;
            toSubscribers("FRAME", [&](Client& c, std::uint32_t eventId) {
                ScRecvEventFrame f;
                f.eventId = eventId;
                f.frameRate = static_cast<float>(scenario.frameRate);
                f.simSpeed = 1.0f;
                send(c, ScRecvId::EventFrame, f);
            });
            for (auto& c : clients) {
                for (const Periodic& p : c->periodic) {
                    if (p.period != ScPeriod::SimFrame && p.period != ScPeriod::VisualFrame) continue;
                    if (const SimObject* o = findObject(p.objectId)) {
                        sendData(*c, ScRecvId::SimObjectData, p.requestId, p.defineId, *o, 1, 1);
                    }
                }
            }
        }
        const auto period = std::chrono::milliseconds(scenario.dataPeriodMs);
        for (auto& c : clients) {
            for (Periodic& p : c->periodic) {
                if (p.period != ScPeriod::Second || now < p.due) continue;
                p.due += period;
                if (p.due < now) p.due = now + period;
                if (const SimObject* o = findObject(p.objectId)) {
                    sendData(*c, ScRecvId::SimObjectData, p.requestId, p.defineId, *o, 1, 1);
                }
            }
        }
    }

    int msToNextTimer() const {
        const Clock::time_point now = Clock::now();
        Clock::time_point next = now + std::chrono::milliseconds(kMaxPollMs);
        if (scenario.frameRate > 0.0) next = std::min(next, nextFrame);
        for (const auto& c : clients) {
            for (const Periodic& p : c->periodic) {
                if (p.period == ScPeriod::Second) next = std::min(next, p.due);
            }
        }
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
        return static_cast<int>(std::clamp<long long>(ms, 0, kMaxPollMs));
    }

    // ----- control commands -----

    json objectJson(const SimObject& o) const {
        const WorldView w = world();
        json j{{"id", o.id},
               {"origin", lf_originName(o.origin)},
               {"type", lf_typeName(o.type)},
               {"title", o.title},
               {"atc_id", o.atcId},
               {"atc_model", o.atcModel},
               {"lat", o.latitude},
               {"lon", o.longitude},
               {"alt_ft", o.altitudeFt},
               {"agl_ft", o.altitudeFt - w.groundAt(o.latitude, o.longitude)},
               {"pitch_deg", o.pitchDeg},
               {"bank_deg", o.bankDeg},
               {"heading_deg", o.headingDeg},
               {"ground_speed_kt", o.groundSpeedKt},
               {"vertical_speed_fps", o.verticalSpeedFps},
               {"true_airspeed_kt", o.trueAirspeedKt},
               {"on_ground", o.onGround},
               {"lights", o.lights},
               {"lights_on", gf_lightNames(o.lights)},
               {"static_cg_ft", o.staticCgFt},
               {"static_pitch_deg", o.staticPitchDeg},
               {"spoilers_pct", o.spoilersPct},
               {"throttle_pct", {o.throttle1Pct, o.throttle2Pct}},
               {"released", o.released},
               {"freeze", {{"lat_lon", o.freezeLatLon}, {"altitude", o.freezeAltitude}, {"attitude", o.freezeAttitude}}},
               {"position_updates", o.positionUpdates}};
        if (o.flightPlanPath.empty()) {
            j["flight_plan"] = nullptr;
        } else {
            j["flight_plan"] = {{"path", o.flightPlanPath},
                                {"type", o.flightRules},
                                {"departure", o.departure},
                                {"destination", o.destination}};
        }
        json events = json::array();
        for (const auto& ev : o.events) events.push_back({{"event", ev.event}, {"data", ev.data}, {"group", ev.group}});
        j["events"] = std::move(events);
        return j;
    }

    json execute(const json& request) {
        if (!request.is_object() || !request.contains("cmd") || !request["cmd"].is_string()) {
            throw std::runtime_error("a command is a JSON object with \"cmd\"");
        }
        const std::string cmd = request["cmd"].get<std::string>();
        auto number = [&](const char* key, auto fallback) {
            using T = decltype(fallback);
            return request.contains(key) ? request[key].get<T>() : fallback;
        };
        json reply{{"ok", true}};
        if (cmd == "status") {
            int opened = 0;
            for (const auto& c : clients) opened += c->opened && !c->dead ? 1 : 0;
            reply["sim_port"] = simPort;
            reply["control_port"] = controlPort;
            reply["simulator"] = scenario.simulator;
            reply["sim_running"] = scenario.simRunning;
            reply["clients"] = opened;
            reply["frames"] = framesSent;
            reply["objects"] = objects.size();
            reply["ai_objects"] = aiCount();
        } else if (cmd == "set_user" || cmd == "teleport") {
            if (request.contains("ground_elevation_ft")) {
                scenario.groundElevationFt = request["ground_elevation_ft"].get<double>();
            }
            if (request.contains("ground_slope")) scenario.slope = gf_groundSlopeFromJson(request["ground_slope"]);
            if (request.contains("zulu")) setZulu(gf_parseZulu(request["zulu"]));
            UserAircraft u = userAircraft();
            gf_applyUserJson(request, u, world().groundAt(u.latitude, u.longitude));
            if (u.objectId != scenario.user.objectId) throw std::runtime_error("the user's object id cannot change");
            placeUser(u);
            reply["user"] = objectJson(user());
        } else if (cmd == "set_sim") {
            for (const auto& [key, value] : request.items()) {
                if (key == "cmd") continue;
                if (key == "running") {
                    const bool running = value.get<bool>();
                    if (running != scenario.simRunning) {
                        scenario.simRunning = running;
                        sendSimState();
                    }
                } else if (key == "simulator") scenario.simulator = lf_fitting(value.get<std::string>(), kScNameSize, key);
                else if (key == "frame_rate") {
                    scenario.frameRate = std::clamp(value.get<double>(), 0.0, 1000.0);
                    nextFrame = Clock::now();
                } else if (key == "data_period_ms") scenario.dataPeriodMs = std::max(1, value.get<int>());
                else if (key == "flight_loaded_as") scenario.flightLoadedAsFilename = value.get<std::string>() != "event";
                else if (key == "flight_file") scenario.flightFile = lf_fitting(value.get<std::string>(), kScPathSize, key);
                else throw std::runtime_error(fmt::format("unknown key \"{}\" for set_sim", key));
            }
        } else if (cmd == "flight_loaded") {
            const std::string file = request.contains("file")
                                         ? lf_fitting(request["file"].get<std::string>(), kScPathSize, "file")
                                         : scenario.flightFile;
            bool asFilename = scenario.flightLoadedAsFilename;
            if (request.contains("as")) asFilename = request["as"].get<std::string>() != "event";
            sendFlightLoaded(file, asFilename);
        } else if (cmd == "quit") {
            sendQuitToAll();
        } else if (cmd == "exception") {
            for (auto& c : clients) {
                if (!c->opened || c->dead) continue;
                sendException(*c, number("code", std::uint32_t{kScExceptionError}), number("send_id", std::uint32_t{0}),
                              number("index", std::uint32_t{0}), nullptr);
            }
        } else if (cmd == "add_object") {
            SimObject o;
            o.id = request.contains("id") ? request["id"].get<std::uint32_t>() : nextObjectId++;
            if (objects.contains(o.id)) throw std::runtime_error(fmt::format("object {} exists already", o.id));
            nextObjectId = std::max(nextObjectId, o.id + 1);
            o.origin = ObjectOrigin::Foreign;
            o.type = lf_typeFromName(number("type", std::string("aircraft")));
            o.title = number("title", std::string("Foreign traffic"));
            o.atcId = number("atc_id", std::string());
            o.atcModel = number("atc_model", std::string());
            o.latitude = number("lat", user().latitude);
            o.longitude = number("lon", user().longitude);
            o.headingDeg = number("heading_deg", 0.0);
            o.onGround = number("on_ground", true);
            const double ground = world().groundAt(o.latitude, o.longitude);
            o.altitudeFt = request.contains("agl_ft") ? ground + request["agl_ft"].get<double>()
                                                      : number("alt_ft", ground + o.staticCgFt);
            reply["id"] = o.id;
            const SimObject& added = objects.emplace(o.id, std::move(o)).first->second;
            sendAddRemove(added, true);
        } else if (cmd == "remove_object") {
            const auto id = request.at("id").get<std::uint32_t>();
            auto found = objects.find(id);
            if (found == objects.end()) throw std::runtime_error(fmt::format("no object {}", id));
            if (found->second.origin == ObjectOrigin::User) throw std::runtime_error("the user aircraft stays");
            removeObject(id);
        } else if (cmd == "fail") {
            const std::string function = request.at("function").get<std::string>();
            if (function.rfind("SimConnect_", 0) != 0) throw std::runtime_error("\"function\" is a SimConnect_ call");
            if (function == "SimConnect_Open" || function == "SimConnect_Close" || function == "SimConnect_CallDispatch") {
                throw std::runtime_error(function + " cannot be made to fail from here");
            }
            // The protocol has no way to make a client's call fail, so this reaches only
            // clients in this process (tests that run the stand-in in-process).
            int armed = 0;
            for (auto& c : clients) {
                if (!c->opened || c->dead) continue;
                if (gf_simConnectFailNext(c->peerPort, function)) ++armed;
            }
            reply["armed_clients"] = armed;
        } else if (cmd == "log") {
            const std::string call = number("call", std::string());
            const auto since = number("since", std::uint64_t{0});
            json entries = json::array();
            for (const auto& entry : log) {
                if (entry["seq"].get<std::uint64_t>() < since) continue;
                if (!call.empty() && entry["call"] != call) continue;
                entries.push_back(entry);
            }
            reply["entries"] = std::move(entries);
            reply["next_seq"] = nextSeq;
        } else if (cmd == "clear_log") {
            log.clear();
        } else if (cmd == "objects") {
            const bool aiOnly = number("ai_only", false);
            json list = json::array();
            for (const auto& [id, o] : objects) {
                if (!aiOnly || o.origin == ObjectOrigin::Ai) list.push_back(objectJson(o));
            }
            reply["objects"] = std::move(list);
        } else if (cmd == "object") {
            const SimObject* o = findObject(request.at("id").get<std::uint32_t>());
            if (o == nullptr) throw std::runtime_error("no such object");
            reply["object"] = objectJson(*o);
        } else if (cmd == "history") {
            json tracks = json::array();
            if (request.contains("id")) {
                const auto id = request["id"].get<std::uint32_t>();
                auto found = histories.find(id);
                if (found == histories.end()) throw std::runtime_error(fmt::format("no history of object {}", id));
                tracks.push_back(historyJson(id, found->second));
            } else {
                for (const auto& [id, h] : histories) tracks.push_back(historyJson(id, h));
            }
            reply["tracks"] = std::move(tracks);
            reply["user"] = objectJson(user());
        } else if (cmd == "installed") {
            if (request.contains("add")) {
                for (const auto& item : request["add"]) installed.push_back(gf_installedTitleFromJson(item));
            }
            json titles = json::array();
            for (const auto& t : installed) titles.push_back(t.title);
            reply["titles"] = std::move(titles);
        } else if (cmd == "shutdown") {
            shutdownAsked = true;
        } else {
            throw std::runtime_error(fmt::format("unknown command \"{}\"", cmd));
        }
        return reply;
    }

    json executeSafely(const json& request) {
        try {
            return execute(request);
        } catch (const std::exception& e) {
            return json{{"ok", false}, {"error", e.what()}};
        }
    }

    // ----- the server loop -----

    void acceptAll() {
        for (;;) {
            int fd = ::accept4(simListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) break;
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            auto c = std::make_unique<Client>();
            c->fd = fd;
            c->number = nextClientNumber++;
            sockaddr_in peer{};
            socklen_t length = sizeof peer;
            if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0) c->peerPort = ntohs(peer.sin_port);
            clients.push_back(std::move(c));
        }
        for (;;) {
            int fd = ::accept4(controlListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) break;
            auto c = std::make_unique<ControlConnection>();
            c->fd = fd;
            controls.push_back(std::move(c));
        }
    }

    // Handles every whole packet the client sent; one that breaks the protocol
    // drops the client, and the log tells why.
    void consume(Client& c) {
        std::size_t pos = 0;
        ScPacket packet;
        try {
            for (;;) {
                auto status = gf_scNextCall(std::string_view(c.in).substr(pos), packet);
                if (status == ScPacketStatus::Incomplete) break;
                if (status == ScPacketStatus::Invalid) throw std::runtime_error("a packet header no call can have");
                pos += packet.size;
                if (c.closeWhenFlushed) continue;  // refused at Open: the rest is not read
                handleFrame(c, packet);
            }
        } catch (const std::exception& e) {
            json& entry = logCall(c, packet.sendId, "protocol error");
            entry["error"] = e.what();
            c.dead = true;
            pos = c.in.size();
        }
        c.in.erase(0, std::min(pos, c.in.size()));
    }

    void serveClients() {
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& c = *clients[i];
            if (c.dead) continue;
            const bool alive = lf_receive(c.fd, c.in);
            consume(c);
            // The protocol closes a connection by ending it.
            if (!alive && !c.dead && c.opened) logCall(c, 0, "SimConnect_Close");
            if (!alive) c.dead = true;
        }
    }

    void serveControls() {
        for (auto& cp : controls) {
            ControlConnection& c = *cp;
            if (c.dead) continue;
            if (!lf_receive(c.fd, c.in)) c.closeWhenFlushed = true;
            for (auto end = c.in.find('\n'); end != std::string::npos; end = c.in.find('\n')) {
                std::string line = c.in.substr(0, end);
                c.in.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (line.empty()) continue;
                json reply;
                try {
                    reply = executeSafely(json::parse(line));
                } catch (const json::exception& e) {
                    reply = json{{"ok", false}, {"error", fmt::format("not JSON: {}", e.what())}};
                }
                // Whatever a client sent (a tail number, a broken command line) may be
                // no UTF-8: it is shown replaced, never allowed to end the stand-in.
                c.out += reply.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
            }
        }
    }

    void flushAll() {
        for (auto& c : clients) {
            if (c->dead) continue;
            if (!lf_flush(c->fd, c->out)) {
                // It hung up while replies were on their way: the same end as one
                // the next read would have seen.
                if (c->opened) logCall(*c, 0, "SimConnect_Close");
                c->dead = true;
            } else if (c->out.size() > kMaxClientBacklog) {
                c->dead = true;
            }
            if (c->closeWhenFlushed && c->out.empty()) c->dead = true;
        }
        for (auto& c : controls) {
            if (c->dead) continue;
            if (!lf_flush(c->fd, c->out)) c->dead = true;
            if (c->closeWhenFlushed && c->out.empty()) c->dead = true;
        }
        auto drop = [](auto& list) {
            for (auto& c : list) {
                if (c->dead && c->fd >= 0) {
                    ::close(c->fd);
                    c->fd = -1;
                }
            }
            list.erase(std::remove_if(list.begin(), list.end(), [](const auto& c) { return c->dead; }), list.end());
        };
        drop(clients);
        drop(controls);
    }

    void loop() {
        while (!stopFlag && !shutdownAsked) {
            std::vector<pollfd> fds;
            int timeout = 0;
            {
                std::lock_guard lock(mutex);
                fds.push_back({wakeFd, POLLIN, 0});
                fds.push_back({simListen, POLLIN, 0});
                fds.push_back({controlListen, POLLIN, 0});
                for (const auto& c : clients) fds.push_back({c->fd, short(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
                for (const auto& c : controls) fds.push_back({c->fd, short(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
                timeout = msToNextTimer();
            }
            ::poll(fds.data(), fds.size(), timeout);
            std::lock_guard lock(mutex);
            if (fds[0].revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] ssize_t n = ::read(wakeFd, &count, sizeof count);
            }
            acceptAll();
            serveClients();
            serveControls();
            tick();
            flushAll();
        }
        // Shutdown: every client hears "Quit" before its connection closes.
        std::lock_guard lock(mutex);
        sendQuitToAll();
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(500);
        while (Clock::now() < until) {
            bool pending = false;
            for (auto& c : clients) {
                if (!c->dead && !lf_flush(c->fd, c->out)) c->dead = true;
                pending = pending || (!c->dead && !c->out.empty());
            }
            for (auto& c : controls) {
                if (!c->dead && !lf_flush(c->fd, c->out)) c->dead = true;
                pending = pending || (!c->dead && !c->out.empty());
            }
            if (!pending) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        for (auto& c : clients) {
            if (c->fd >= 0) ::close(c->fd);
        }
        for (auto& c : controls) {
            if (c->fd >= 0) ::close(c->fd);
        }
        clients.clear();
        controls.clear();
        isRunning = false;
    }
};

SimStandIn::SimStandIn() : impl_(std::make_unique<Impl>()) {}

SimStandIn::~SimStandIn() { stop(); }

void SimStandIn::start(const StandInOptions& options) {
    if (impl_->thread.joinable()) throw std::runtime_error("the stand-in runs already");
    Impl& s = *impl_;
    s.scenario = options.scenario;
    lf_fitting(s.scenario.simulator, kScNameSize, "simulator");
    lf_fitting(s.scenario.flightFile, kScPathSize, "flight_file");
    s.installed = s.scenario.installed;
    if (!s.scenario.communityFolder.empty()) {
        for (auto& title : gf_scanCommunityTitles(s.scenario.communityFolder)) {
            s.installed.push_back(InstalledTitle{std::move(title)});
        }
    }
    s.objects.clear();
    s.placeUser(s.scenario.user);
    s.nextObjectId = s.scenario.firstObjectId;
    s.setZulu(s.scenario.zulu);
    s.closeSockets();
    s.simListen = lf_listen(options.simPort, s.simPort);
    try {
        s.controlListen = lf_listen(options.controlPort, s.controlPort);
    } catch (...) {
        s.closeSockets();
        throw;
    }
    s.wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    s.nextFrame = Clock::now();
    s.stopFlag = false;
    s.shutdownAsked = false;
    s.isRunning = true;
    s.thread = std::thread([&s] { s.loop(); });
}

void SimStandIn::stop() {
    if (!impl_->thread.joinable()) return;
    impl_->stopFlag = true;
    impl_->wake();
    impl_->thread.join();
    impl_->closeSockets();
}

bool SimStandIn::running() const { return impl_->isRunning; }
bool SimStandIn::shutdownRequested() const { return impl_->shutdownAsked; }
std::uint16_t SimStandIn::simPort() const { return impl_->simPort; }
std::uint16_t SimStandIn::controlPort() const { return impl_->controlPort; }

std::string SimStandIn::consumeAsClient(std::string_view bytes) {
    Impl& s = *impl_;
    std::lock_guard lock(s.mutex);
    if (s.objects.empty()) s.placeUser(s.scenario.user);
    Client c;
    c.number = s.nextClientNumber++;
    c.in.assign(bytes);
    s.consume(c);
    return c.out;
}

nlohmann::json SimStandIn::command(const nlohmann::json& request) {
    json reply;
    {
        std::lock_guard lock(impl_->mutex);
        reply = impl_->executeSafely(request);
    }
    impl_->wake();  // what the command queued for clients goes out now
    return reply;
}

nlohmann::json gf_standInCommand(std::uint16_t controlPort, const nlohmann::json& request, int timeoutMs) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(controlPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::runtime_error(
            fmt::format("cannot reach the stand-in's control port {}: {}", controlPort, std::strerror(error)));
    }
    std::string line = request.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    std::string reply;
    bool ok = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (ok && reply.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(std::min<long long>(left, kMaxPollMs))) < 0) {
            ok = left > 0;
            continue;
        }
        if ((p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        char buffer[65536];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        reply.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    auto end = reply.find('\n');
    if (end == std::string::npos) throw std::runtime_error("the stand-in did not answer");
    return json::parse(reply.substr(0, end));
}

std::string gf_formatObjectDump(const nlohmann::json& objects) {
    std::string out = fmt::format("{:>6}  {:<8}  {:>10}  {:>11}  {:>8}  {:>5}  {:<3}  {:<24}  {}\n", "id", "tail",
                                  "lat", "lon", "alt ft", "hdg", "gnd", "lights", "title");
    int count = 0;
    for (const auto& o : objects) {
        if (o.value("origin", "") != "ai") continue;
        ++count;
        out += fmt::format("{:>6}  {:<8}  {:>10.5f}  {:>11.5f}  {:>8.0f}  {:>5.0f}  {:<3}  {:<24}  {}\n",
                           o["id"].get<std::uint32_t>(), o["atc_id"].get<std::string>(), o["lat"].get<double>(),
                           o["lon"].get<double>(), o["alt_ft"].get<double>(), o["heading_deg"].get<double>(),
                           o["on_ground"].get<bool>() ? "yes" : "no", o["lights_on"].get<std::string>(),
                           o["title"].get<std::string>());
    }
    out += fmt::format("{} AI object{}\n", count, count == 1 ? "" : "s");
    return out;
}

}  // namespace clv::standin
