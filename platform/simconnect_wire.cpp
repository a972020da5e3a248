#include "platform/simconnect_wire.h"

namespace clv {

namespace {

// Tag bytes of Open: a NUL, the alias of the simulator generation, NUL padding.
constexpr std::uint32_t lf_tag(char a, char b) {
    return (std::uint32_t{static_cast<unsigned char>(a)} << 8) | (std::uint32_t{static_cast<unsigned char>(b)} << 16);
}

ScPacketStatus lf_next(std::string_view buffer, std::size_t headerSize, ScPacket& packet) {
    if (buffer.size() < headerSize) return ScPacketStatus::Incomplete;
    std::uint32_t size = 0;
    std::memcpy(&size, buffer.data(), sizeof size);
    if (size < headerSize || size > kScMaxPacketSize) return ScPacketStatus::Invalid;
    if (buffer.size() < size) return ScPacketStatus::Incomplete;
    packet.size = size;
    std::memcpy(&packet.protocol, buffer.data() + 4, sizeof packet.protocol);
    std::memcpy(&packet.kind, buffer.data() + 8, sizeof packet.kind);
    packet.sendId = 0;
    if (headerSize == kScCallHeaderSize) std::memcpy(&packet.sendId, buffer.data() + 12, sizeof packet.sendId);
    packet.payload = buffer.substr(headerSize, size - headerSize);
    return ScPacketStatus::Complete;
}

template <class M>
bool lf_deliverAs(const ScPacket& frame, ScRecvId id, ScDispatchProc proc, void* context) {
    M message;
    if (!ScReader(frame.payload).read(message)) return false;
    message.size = frame.size;
    message.version = frame.protocol;
    message.id = id;
    proc(&message, frame.size, context);
    return true;
}

// Hands one packet to the procedure; false when its payload does not fit its kind.
bool lf_deliver(const ScPacket& frame, ScDispatchProc proc, void* context) {
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
            message.version = frame.protocol;
            message.id = id;
            proc(&message, frame.size, context);
            return true;
        }
    }
}

}  // namespace

bool gf_scOpenCallFor(std::uint32_t protocol, std::string_view name, ScOpenCall& call) {
    call = ScOpenCall{};
    call.name = name;
    if (protocol == kScProtocol2020) {
        call.tag = lf_tag('H', 'K');
        call.versionMajor = 11;
        call.versionMinor = 0;
        call.buildMajor = 62651;
        call.buildMinor = 3;
        return true;
    }
    if (protocol == kScProtocol2024) {
        call.tag = lf_tag('R', 'S');
        call.versionMajor = 12;
        call.versionMinor = 2;
        call.buildMajor = 282174;
        call.buildMinor = 999;
        return true;
    }
    return false;
}

ScPacketStatus gf_scNextCall(std::string_view buffer, ScPacket& packet) {
    ScPacketStatus status = lf_next(buffer, kScCallHeaderSize, packet);
    if (status != ScPacketStatus::Complete) return status;
    if ((packet.kind & 0xF0000000u) != kScFunctionIdBase) return ScPacketStatus::Invalid;
    packet.kind &= ~kScFunctionIdBase;
    return ScPacketStatus::Complete;
}

ScPacketStatus gf_scNextReply(std::string_view buffer, ScPacket& packet) {
    return lf_next(buffer, kScRecvHeaderSize, packet);
}

std::size_t gf_scDispatchReplies(std::string_view buffer, ScDispatchProc proc, void* context, bool& broken) {
    std::size_t pos = 0;
    ScPacket packet;
    broken = false;
    for (;;) {
        const ScPacketStatus status = gf_scNextReply(buffer.substr(pos), packet);
        if (status == ScPacketStatus::Incomplete) return pos;
        if (status == ScPacketStatus::Invalid || !lf_deliver(packet, proc, context)) {
            broken = true;
            return pos;
        }
        pos += packet.size;
    }
}

}  // namespace clv
