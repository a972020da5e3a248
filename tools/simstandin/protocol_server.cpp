// The SimConnect side of the stand-in: the packets of a client read and
// dispatched call by call into the call log, the replies and system events sent
// back, and the timers of frames and periodic data.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <iterator>
#include <stdexcept>

#include <fmt/format.h>

#include "tools/simstandin/standin_internal.h"

namespace clv::standin {

namespace {

constexpr std::size_t kMaxLogEntries = 100000;

std::string lf_upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
    return out;
}

}  // namespace

void SimStandIn::Impl::sendException(Client& c, std::uint32_t code, std::uint32_t sendId, std::uint32_t index,
                                     json* entry) {
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

void SimStandIn::Impl::sendSimState() {
    toSubscribers("SIM", [&](Client& c, std::uint32_t eventId) {
        ScRecvEvent e;
        e.eventId = eventId;
        e.data = scenario.simRunning ? 1 : 0;
        send(c, ScRecvId::Event, e);
    });
}

void SimStandIn::Impl::sendAddRemove(const SimObject& o, bool added) {
    toSubscribers(added ? "OBJECTADDED" : "OBJECTREMOVED", [&](Client& c, std::uint32_t eventId) {
        ScRecvEventObjectAddRemove e;
        e.eventId = eventId;
        e.data = o.id;
        e.objectType = o.type;
        send(c, ScRecvId::EventObjectAddRemove, e);
    });
}

void SimStandIn::Impl::sendFlightLoaded(const std::string& file, bool asFilename) {
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

void SimStandIn::Impl::sendData(Client& c, ScRecvId id, std::uint32_t requestId, std::uint32_t defineId,
                                const SimObject& o, std::uint32_t entry, std::uint32_t outOf) {
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

void SimStandIn::Impl::sendQuitToAll() {
    for (auto& c : clients) {
        if (c->dead) continue;
        send(*c, ScRecvId::Quit, ScRecvQuit{});
        c->closeWhenFlushed = true;
    }
}

json& SimStandIn::Impl::logCall(const Client& c, std::uint32_t packetId, const char* call) {
    // The time (seconds since the start, as in the position history) lets a
    // test measure the spacing of calls without polling for their effects.
    const double t = std::chrono::duration<double>(Clock::now() - startedAt).count();
    log.push_back(json{{"seq", nextSeq++}, {"t", t}, {"client", c.number}, {"packet", packetId}, {"call", call}});
    if (log.size() > kMaxLogEntries) log.pop_front();
    return log.back();
}

void SimStandIn::Impl::handleFrame(Client& c, const ScPacket& f) {
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

// Handles every whole packet the client sent; one that breaks the protocol
// drops the client, and the log tells why.
void SimStandIn::Impl::consume(Client& c) {
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

void SimStandIn::Impl::tick() {
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

int SimStandIn::Impl::msToNextTimer() const {
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

}  // namespace clv::standin
