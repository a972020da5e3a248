// The SimConnect protocol from both ends: the replies our client takes from the
// simulator, and the calls the stand-in simulator takes from a client. Whatever
// comes, each side ends the connection cleanly; nothing is read past a packet.
#include <cstddef>
#include <string>

#include "fuzz/fuzz_target.h"
#include "platform/simconnect_wire.h"
#include "tools/simstandin/standin.h"

namespace {

// Touches every byte a record names, so reading past a packet shows.
void lf_touch(const clv::ScRecv* message, std::uint32_t, void* context) {
    auto& sum = *static_cast<std::size_t*>(context);
    sum += static_cast<std::size_t>(message->id);
    if (message->id == clv::ScRecvId::SimObjectData || message->id == clv::ScRecvId::SimObjectDataByType) {
        const auto& d = static_cast<const clv::ScRecvSimObjectData&>(*message);
        for (std::uint32_t i = 0; i < d.dataSize; ++i) sum += static_cast<std::size_t>(d.data[i]);
    } else if (message->id == clv::ScRecvId::Open) {
        sum += static_cast<const clv::ScRecvOpen&>(*message).applicationName.size();
    } else if (message->id == clv::ScRecvId::EventFilename) {
        sum += static_cast<const clv::ScRecvEventFilename&>(*message).fileName.size();
    }
}

}  // namespace

CLV_FUZZ_TARGET(simconnect_replies) {
    // A copy of exactly the input's size, so the sanitizer sees any byte read beyond it.
    const std::string bytes(input);
    std::size_t sum = 0;
    clv::ScStreamBreak broken;
    const std::size_t used = clv::gf_scDispatchReplies(bytes, lf_touch, &sum, broken);
    if (used > bytes.size()) __builtin_trap();
    // The words for a refusal read only what was kept of the packet.
    if (clv::gf_scDescribeBreak(broken, used).empty() != (broken.fault == clv::ScStreamFault::None)) __builtin_trap();
    const std::string cut = clv::gf_scDescribeBreak(clv::gf_scCutByClose(std::string_view(bytes).substr(used)), used);
    sum += cut.size();
}

CLV_FUZZ_TARGET(simconnect_calls) {
    static clv::standin::SimStandIn standIn;
    const std::string bytes(input);
    standIn.consumeAsClient(bytes);
}
