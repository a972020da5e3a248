#pragma once
// Sends traffic lines and QNH datagrams over UDP, as RealTraffic does.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sockets.h"
#include "tools/feedstandin/track_script.h"

namespace clv {

struct FeedTarget {
    std::string host = "127.0.0.1";
    std::uint16_t trafficPort = 49005;
    std::uint16_t qnhPort = 49004;
};

class FeedSender {
public:
    explicit FeedSender(FeedTarget target);

    // One traffic line as one datagram; false when the send failed.
    bool sendLine(std::string_view line);
    // {"QNH": value} with the value written as given (1013, 29.92, "1005").
    bool sendQnh(std::string_view jsonValue);
    // Any datagram to the QNH port.
    bool sendQnhDatagram(std::string_view datagram);

    // Sends the lines at their offsets divided by speed (speed > 0) from `start`
    // (from now without it); returns the number of lines sent. Ends early when stop
    // is raised. Lines stamped from a moment before they were made take that moment
    // as `start`, so that each goes out at its stamp however long making them took.
    std::size_t play(const std::vector<TimedLine>& lines, double speed, const std::atomic<bool>& stop);
    std::size_t play(const std::vector<TimedLine>& lines, double speed, const std::atomic<bool>& stop,
                     std::chrono::steady_clock::time_point start);

private:
    FeedTarget target_;
    platform::Socket socket_;
};

}  // namespace clv

// {"QNH": value}.
std::string gf_qnhDatagram(std::string_view jsonValue);
