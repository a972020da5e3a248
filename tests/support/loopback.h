#pragma once
// A TCP listener on 127.0.0.1 at a port the system picks, for tests that play a
// peer with bytes of their own choosing.
#include <cstdint>

namespace clv::test {

struct LoopbackListener {
    int fd = -1;  // -1 when the socket could not be set up
    std::uint16_t port = 0;
};

// receiveBuffer > 0 sets SO_RCVBUF before listening, so accepted sockets start
// with it (a small one makes the other side's socket fill after little data).
LoopbackListener gf_listenOnLoopback(int backlog, int receiveBuffer = 0, int socketFlags = 0);

}  // namespace clv::test
