// The client side of the control channel: one command sent to a running
// stand-in, and its "objects" answer shown as a table.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include <fmt/format.h>

#include "tools/simstandin/standin_internal.h"

namespace clv::standin {

nlohmann::json gf_standInCommand(std::uint16_t controlPort, const nlohmann::json& request, int silenceMs) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(controlPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::runtime_error(
            fmt::format("cannot reach the stand-in's control port {}: {}", controlPort, std::strerror(error)));
    }
    std::string line = request.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    std::string reply;
    std::size_t end = std::string::npos;
    bool ended = false;
    const bool sent = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    AnswerWait wait{std::chrono::milliseconds(silenceMs), Clock::now()};
    while (sent && !ended && end == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(wait.left(Clock::now())).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::min<long long>(left, kMaxPollMs))) < 0) continue;  // a signal
        if ((p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ended = true;
            continue;
        }
        wait.heard(Clock::now());
        const std::size_t from = reply.size();
        reply.append(buffer, static_cast<std::size_t>(n));
        end = reply.find('\n', from);
    }
    ::close(fd);
    if (end == std::string::npos) {
        const std::string stand = fmt::format("the stand-in on control port {}", controlPort);
        if (!sent) throw std::runtime_error(fmt::format("{} took no command", stand));
        if (ended) {
            throw std::runtime_error(
                fmt::format("{} ended the connection after {} bytes, before its answer was complete", stand, reply.size()));
        }
        const std::string what =
            reply.empty() ? "no answer" : fmt::format("nothing more after {} bytes of its answer", reply.size());
        throw std::runtime_error(fmt::format("{} sent {} for {:g} s; it may be stuck", stand, what, silenceMs / 1000.0));
    }
    return json::parse(reply.substr(0, end));
}

std::string gf_formatObjectDump(const nlohmann::json& objects) {
    std::string out = fmt::format("{:>6}  {:<8}  {:>10}  {:>11}  {:>8}  {:>5}  {:<3}  {:<24}  {}\n", "id", "tail",
                                  "lat", "lon", "alt ft", "hdg", "gnd", "lights", "title");
    int count = 0;
    for (const auto& o : objects) {
        if (o.value("origin", "") != "ai") continue;
        ++count;
        out += fmt::format("{:>6}  {:<8}  {:>10.5f}  {:>11.5f}  {:>8.0f}  {:>5.0f}  {:<3}  {:<24}  {}\n",
                           o["id"].get<std::uint32_t>(), o["atc_id"].get<std::string>(), o["lat"].get<double>(),
                           o["lon"].get<double>(), o["alt_ft"].get<double>(), o["heading_deg"].get<double>(),
                           o["on_ground"].get<bool>() ? "yes" : "no", o["lights_on"].get<std::string>(),
                           o["title"].get<std::string>());
    }
    out += fmt::format("{} AI object{}\n", count, count == 1 ? "" : "s");
    return out;
}

}  // namespace clv::standin
