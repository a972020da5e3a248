#pragma once
// The simulator's replies with bytes appended after their fields, their size
// field grown to match: what a client meets when a newer simulator build adds
// fields to a reply it already knows.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace clv::simproxy {

// Receive ids whose replies have one size (the data replies carry a block of
// their definition's size and are passed on as they are).
bool gf_isFixedSizeReply(std::uint32_t kind);

struct Stretcher {
    std::size_t extra = 8;     // bytes appended to each fixed-size reply
    std::string pending;       // the start of a reply not yet whole
    std::array<std::uint64_t, 32> lengthened{};  // per receive id below 32
    bool broken = false;       // the stream could not be framed: passed on untouched from then on
};

// Takes bytes from the simulator and returns what goes on to the client: each
// whole reply, lengthened when its kind has one size. A stream that cannot be
// framed is passed on as it came (the client is to judge it).
std::string gf_stretchReplies(Stretcher& s, std::string_view bytes);

}  // namespace clv::simproxy
