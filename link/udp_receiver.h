#pragma once
// The common part of the two RealTraffic UDP readers: a socket, a fixed receive
// buffer and the receive loop that hands every new datagram on.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sockets.h"

namespace clv {

inline constexpr std::uint16_t kTrafficPort = 49005;
inline constexpr std::uint16_t kQnhPort = 49004;

// One datagram fits with a terminating zero byte; a full buffer is an overrun.
inline constexpr std::size_t kReceiveBufferSize = 16384;

// How long the receive loop waits for a datagram before it calls idle().
inline constexpr int kIdleMs = 1000;

class UdpReceiver {
public:
    UdpReceiver() = default;
    virtual ~UdpReceiver() = default;
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    // Handles the datagram in lastDatagram.
    virtual void processDatagram() = 0;
    // The receive loop has ended.
    virtual void stopped() = 0;
    // No datagram came for kIdleMs; the reader thread's chance for work that is due.
    virtual void idle() {}

    // Creates the socket; throws std::runtime_error.
    void open();
    // Binds 127.0.0.1 while RealTraffic is on this PC, else any address; port 0
    // picks a free one (see boundPort). Throws std::runtime_error.
    void bind(std::uint16_t port);
    // Receives until the stop flag is raised or a receive fails, then closes the
    // socket and calls stopped().
    void receiveLoop();

    // Raises the stop flag and wakes a thread waiting in receiveLoop; the reader
    // thread closes the socket itself.
    void requestStop();
    // The port the socket is bound to; 0 before the bind.
    std::uint16_t boundPort() const { return boundPort_.load(); }

    // Takes bytes as if they had just been received (the receive loop's path for
    // each datagram): counted, tested for a repeat, handed on.
    void acceptDatagram(std::string_view bytes);

    std::string_view lastDatagram;            // view into buffer
    std::atomic<bool> stop{false};            // ends the receive loop
    std::atomic<std::int32_t> datagramCount{0};
    std::atomic<std::int32_t> lampCount{0};   // datagramCount at the last lamp check
    std::array<char, kReceiveBufferSize> buffer{};
    std::string previousDatagram;             // for the repeat test
    platform::Socket socket;

private:
    // Step 2 of the loop for `count` bytes received into the buffer.
    void handleReceived(long count);

    std::atomic<std::uint16_t> boundPort_{0};
};

}  // namespace clv

// "{} " and the text of a Windows Sockets error code.
std::string gf_wsaErrorText(int code);
