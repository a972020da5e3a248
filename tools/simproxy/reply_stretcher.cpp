#include "tools/simproxy/reply_stretcher.h"

#include <cstring>

#include "platform/simconnect_wire.h"

namespace clv::simproxy {

bool gf_isFixedSizeReply(std::uint32_t kind) {
    switch (static_cast<ScRecvId>(kind)) {
        case ScRecvId::Exception:
        case ScRecvId::Open:
        case ScRecvId::Quit:
        case ScRecvId::Event:
        case ScRecvId::EventObjectAddRemove:
        case ScRecvId::EventFilename:
        case ScRecvId::EventFrame:
        case ScRecvId::AssignedObjectId:
        case ScRecvId::EventEx1: return true;
        default: return false;
    }
}

std::string gf_stretchReplies(Stretcher& s, std::string_view bytes) {
    if (s.broken) return std::string(bytes);
    s.pending.append(bytes);
    std::string out;
    std::size_t pos = 0;
    ScPacket packet;
    for (;;) {
        const ScPacketStatus status = gf_scNextReply(std::string_view(s.pending).substr(pos), packet);
        if (status == ScPacketStatus::Incomplete) break;
        if (status == ScPacketStatus::Invalid) {
            s.broken = true;
            out.append(s.pending, pos);
            s.pending.clear();
            return out;
        }
        out.append(s.pending, pos, packet.size);
        if (gf_isFixedSizeReply(packet.kind) && packet.size + s.extra <= kScMaxPacketSize) {
            const std::size_t start = out.size() - packet.size;
            for (std::size_t i = 0; i < s.extra; ++i) out += static_cast<char>(0xE0 | (i & 0x0F));
            const auto size = static_cast<std::uint32_t>(packet.size + s.extra);
            std::memcpy(out.data() + start + kScSizeOffset, &size, sizeof size);
            if (packet.kind < s.lengthened.size()) ++s.lengthened[packet.kind];
        }
        pos += packet.size;
    }
    s.pending.erase(0, pos);
    return out;
}

}  // namespace clv::simproxy
