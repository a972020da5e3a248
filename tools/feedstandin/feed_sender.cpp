#include "tools/feedstandin/feed_sender.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>

namespace clv {

FeedSender::FeedSender(FeedTarget target) : target_(std::move(target)) {
    socket_.adopt(platform::openUdpSocket());
    if (!socket_.isOpen()) throw std::runtime_error(fmt::format("no UDP socket: error {}", platform::lastSocketError()));
}

bool FeedSender::sendLine(std::string_view line) {
    return platform::sendDatagram(socket_.handle(), target_.host, target_.trafficPort, line);
}

bool FeedSender::sendQnh(std::string_view jsonValue) { return sendQnhDatagram(gf_qnhDatagram(jsonValue)); }

bool FeedSender::sendQnhDatagram(std::string_view datagram) {
    return platform::sendDatagram(socket_.handle(), target_.host, target_.qnhPort, datagram);
}

std::size_t FeedSender::play(const std::vector<TimedLine>& lines, double speed, const std::atomic<bool>& stop) {
    return play(lines, speed, stop, std::chrono::steady_clock::now());
}

std::size_t FeedSender::play(const std::vector<TimedLine>& lines, double speed, const std::atomic<bool>& stop,
                             std::chrono::steady_clock::time_point start) {
    using Clock = std::chrono::steady_clock;
    if (speed <= 0) speed = 1;
    std::size_t sent = 0;
    for (const TimedLine& line : lines) {
        const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(line.offset / speed));
        // Sleeps in short pieces, so that a stop is seen soon.
        while (!stop.load() && Clock::now() < due)
            std::this_thread::sleep_for(std::min<Clock::duration>(due - Clock::now(), std::chrono::milliseconds(100)));
        if (stop.load()) break;
        if (sendLine(line.text)) ++sent;
    }
    return sent;
}

}  // namespace clv

std::string gf_qnhDatagram(std::string_view jsonValue) { return fmt::format("{{\"QNH\": {}}}", jsonValue); }
