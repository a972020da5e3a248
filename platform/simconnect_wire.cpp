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
    std::memcpy(&size, buffer.data() + kScSizeOffset, sizeof size);
    if (size < headerSize || size > kScMaxPacketSize) return ScPacketStatus::Invalid;
    if (buffer.size() < size) return ScPacketStatus::Incomplete;
    packet.size = size;
    std::memcpy(&packet.protocol, buffer.data() + kScProtocolOffset, sizeof packet.protocol);
    std::memcpy(&packet.kind, buffer.data() + kScKindOffset, sizeof packet.kind);
    packet.sendId = 0;
    if (headerSize == kScCallHeaderSize) std::memcpy(&packet.sendId, buffer.data() + kScSendIdOffset, sizeof packet.sendId);
    packet.payload = buffer.substr(headerSize, size - headerSize);
    return ScPacketStatus::Complete;
}

template <class M>
ScFieldFault lf_deliverAs(const ScPacket& frame, ScRecvId id, ScDispatchProc proc, void* context) {
    M message;
    ScReader reader(frame.payload);
    if (!reader.readKnown(message)) return reader.fault();
    message.size = frame.size;
    message.version = frame.protocol;
    message.id = id;
    proc(&message, frame.size, context);
    return ScFieldFault::None;
}

// Hands one packet to the procedure, unless its payload lacks the fields of its kind.
ScFieldFault lf_deliver(const ScPacket& frame, ScDispatchProc proc, void* context) {
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
            return ScFieldFault::None;
        }
    }
}

// The name of a kind with a record here, and the bytes of its header and fields.
struct LfKindInfo {
    const char* name = nullptr;
    std::size_t fields = 0;
};
LfKindInfo lf_kindInfo(std::uint32_t kind) {
    auto info = [](const char* name, std::size_t fields) { return LfKindInfo{name, kScRecvHeaderSize + fields}; };
    switch (static_cast<ScRecvId>(kind)) {
        case ScRecvId::Exception: return info("Exception", gf_scFieldBytes<ScRecvException>());
        case ScRecvId::Open: return info("Open", gf_scFieldBytes<ScRecvOpen>());
        case ScRecvId::Quit: return info("Quit", gf_scFieldBytes<ScRecvQuit>());
        case ScRecvId::Event: return info("Event", gf_scFieldBytes<ScRecvEvent>());
        case ScRecvId::EventObjectAddRemove:
            return info("EventObjectAddRemove", gf_scFieldBytes<ScRecvEventObjectAddRemove>());
        case ScRecvId::EventFilename: return info("EventFilename", gf_scFieldBytes<ScRecvEventFilename>());
        case ScRecvId::EventFrame: return info("EventFrame", gf_scFieldBytes<ScRecvEventFrame>());
        case ScRecvId::SimObjectData: return info("SimObjectData", gf_scFieldBytes<ScRecvSimObjectData>());
        case ScRecvId::SimObjectDataByType:
            return info("SimObjectDataByType", gf_scFieldBytes<ScRecvSimObjectDataByType>());
        case ScRecvId::AssignedObjectId: return info("AssignedObjectId", gf_scFieldBytes<ScRecvAssignedObjectId>());
        default: return {};
    }
}

// The first bytes of a packet when they read as a line of text: a service other
// than the simulator on the configured port (a web server's "HTTP/1.1 400 ...")
// names itself so. Empty when the size field is not text already.
constexpr std::size_t kTextStartMax = 40;
std::string lf_textStart(std::string_view bytes) {
    std::string text;
    for (char c : bytes.substr(0, kTextStartMax)) {
        if (c < 0x20 || c > 0x7e) break;
        text += c;
    }
    return text.size() >= sizeof(std::uint32_t) ? text : std::string();
}

// The size field and receive id of a reply header that arrived whole.
void lf_readHeader(std::string_view rest, ScStreamBreak& b) {
    std::memcpy(&b.size, rest.data() + kScSizeOffset, sizeof b.size);
    std::memcpy(&b.kind, rest.data() + kScKindOffset, sizeof b.kind);
}

ScStreamBreak lf_headerBreak(std::string_view rest, std::size_t offset) {
    ScStreamBreak b;
    b.offset = offset;
    lf_readHeader(rest, b);
    b.fault = b.size < kScRecvHeaderSize ? ScStreamFault::SizeBelowHeader : ScStreamFault::SizeAboveBound;
    b.start = lf_textStart(rest);
    return b;
}

std::string lf_replyName(const ScStreamBreak& b) {
    const LfKindInfo info = lf_kindInfo(b.kind);
    const std::string id = "(receive id " + std::to_string(b.kind) + ")";
    return info.name != nullptr ? std::string("the ") + info.name + " reply " + id : "the reply " + id;
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

std::size_t gf_scDispatchReplies(std::string_view buffer, ScDispatchProc proc, void* context, ScStreamBreak& broken) {
    std::size_t pos = 0;
    ScPacket packet;
    broken = ScStreamBreak{};
    for (;;) {
        const std::string_view rest = buffer.substr(pos);
        const ScPacketStatus status = gf_scNextReply(rest, packet);
        if (status == ScPacketStatus::Incomplete) return pos;
        if (status == ScPacketStatus::Invalid) {
            broken = lf_headerBreak(rest, pos);
            return pos;
        }
        const ScFieldFault fault = lf_deliver(packet, proc, context);
        if (fault != ScFieldFault::None) {
            broken.fault = fault == ScFieldFault::Short ? ScStreamFault::ShorterThanFields : ScStreamFault::TextWithoutNul;
            broken.offset = pos;
            broken.size = packet.size;
            broken.kind = packet.kind;
            broken.fields = lf_kindInfo(packet.kind).fields;
            return pos;
        }
        pos += packet.size;
    }
}

ScStreamBreak gf_scCutByClose(std::string_view rest) {
    ScStreamBreak b;
    b.fault = ScStreamFault::CutByClose;
    b.arrived = rest.size();
    if (rest.size() >= kScRecvHeaderSize) lf_readHeader(rest, b);
    b.start = lf_textStart(rest);
    return b;
}

std::string gf_scDescribeBreak(const ScStreamBreak& b, std::uint64_t streamOffset) {
    const std::string at = " at byte " + std::to_string(streamOffset + b.offset) + " of the stream";
    const std::string size = std::to_string(b.size);
    std::string text;
    switch (b.fault) {
        case ScStreamFault::None: return {};
        case ScStreamFault::SizeBelowHeader:
            text = lf_replyName(b) + at + " has the size " + size + ", below its " +
                   std::to_string(kScRecvHeaderSize) + "-byte header";
            break;
        case ScStreamFault::SizeAboveBound:
            text = lf_replyName(b) + at + " has the size " + size + ", above the largest packet taken (" +
                   std::to_string(kScMaxPacketSize) + " bytes)";
            break;
        case ScStreamFault::ShorterThanFields:
            text = lf_replyName(b) + at + " has the size " + size + ", fewer than the " + std::to_string(b.fields) +
                   " bytes of its header and fields";
            break;
        case ScStreamFault::TextWithoutNul:
            text = lf_replyName(b) + at + " (" + size + " bytes) has a text without its closing NUL";
            break;
        case ScStreamFault::CutByClose:
            text = b.arrived < kScRecvHeaderSize
                       ? "the connection closed " + std::to_string(b.arrived) + " bytes into the " +
                             std::to_string(kScRecvHeaderSize) + "-byte header of the reply" + at
                       : "the connection closed " + std::to_string(b.arrived) + " bytes into " + lf_replyName(b) +
                             " of " + size + " bytes" + at;
            break;
    }
    if (!b.start.empty()) text += "; its bytes read as text: \"" + b.start + "\"";
    return text;
}

}  // namespace clv
