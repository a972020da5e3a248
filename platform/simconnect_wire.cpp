#include "platform/simconnect_wire.h"

namespace clv {

ScFrameStatus gf_scNextFrame(std::string_view buffer, ScFrame& frame) {
    if (buffer.size() < kScHeaderSize) return ScFrameStatus::Incomplete;
    std::uint32_t size = 0;
    std::memcpy(&size, buffer.data() + kScSizeOffset, sizeof size);
    if (size < kScHeaderSize || size > kScMaxFrameSize) return ScFrameStatus::Invalid;
    if (buffer.size() < size) return ScFrameStatus::Incomplete;
    frame.size = size;
    std::memcpy(&frame.kind, buffer.data() + kScKindOffset, sizeof frame.kind);
    std::memcpy(&frame.packetId, buffer.data() + kScPacketIdOffset, sizeof frame.packetId);
    frame.payload = buffer.substr(kScHeaderSize, size - kScHeaderSize);
    return ScFrameStatus::Complete;
}

}  // namespace clv
