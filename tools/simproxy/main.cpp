// simproxy: a SimConnect proxy that lengthens every fixed-size reply of the
// simulator by a few bytes. Between the program and simstandin it shows that the
// program reads replies a newer simulator has added fields to.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/simproxy/reply_stretcher.h"

namespace {

using clv::simproxy::Stretcher;

std::atomic<bool> g_stop{false};
void lf_onSignal(int) { g_stop = true; }

const char* kUsage = R"(usage: simproxy --to-port N [--port N] [--extra N]

Listens on 127.0.0.1 (--port, 0 or none: any free port; the first line printed
names it) and connects each client to the simulator on 127.0.0.1:--to-port. The
client's calls pass unchanged; each fixed-size reply of the simulator gets --extra
bytes (default 8) after its fields, its size field grown to match. Ends on
SIGINT or SIGTERM, printing how many replies of each receive id it lengthened.
)";

// One client and its simulator connection.
struct Pair {
    int client = -1;
    int sim = -1;
    Stretcher stretcher;
    std::string toClient;
    std::string toSim;
    ~Pair() {
        if (client >= 0) ::close(client);
        if (sim >= 0) ::close(sim);
    }
};

int lf_listen(std::uint16_t port, std::uint16_t& bound) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0) return -1;
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    bound = ntohs(a.sin_port);
    return fd;
}

int lf_connect(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Writes what the socket takes; false when the peer is gone.
bool lf_write(int fd, std::string& out) {
    while (!out.empty()) {
        ssize_t n = ::send(fd, out.data(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            out.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    }
    return true;
}

// Reads what has come; false at the end of the stream or an error.
bool lf_read(int fd, std::string& in) {
    char buffer[65536];
    ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
        in.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

std::uint16_t lf_port(const char* text) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || v > 65535) {
        std::fprintf(stderr, "simproxy: %s is not a port number\n%s", text, kUsage);
        std::exit(2);
    }
    return static_cast<std::uint16_t>(v);
}

}  // namespace

int main(int argc, char** argv) {
    std::uint16_t port = 0;
    std::uint16_t toPort = 0;
    std::size_t extra = 8;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--port" && value) port = lf_port(argv[++i]);
        else if (a == "--to-port" && value) toPort = lf_port(argv[++i]);
        else if (a == "--extra" && value) extra = std::strtoul(argv[++i], nullptr, 10);
        else {
            std::fprintf(stderr, "%s", kUsage);
            return a == "--help" ? 0 : 2;
        }
    }
    if (toPort == 0) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    std::signal(SIGINT, lf_onSignal);
    std::signal(SIGTERM, lf_onSignal);
    std::uint16_t bound = 0;
    const int listener = lf_listen(port, bound);
    if (listener < 0) {
        std::fprintf(stderr, "simproxy: cannot listen on port %u\n", static_cast<unsigned>(port));
        return 1;
    }
    std::printf("simproxy: port %u, to port %u, %zu extra bytes\n", static_cast<unsigned>(bound),
                static_cast<unsigned>(toPort), extra);
    std::fflush(stdout);

    std::vector<std::unique_ptr<Pair>> pairs;
    std::array<std::uint64_t, 32> lengthened{};
    auto tally = [&lengthened](const Pair& p) {
        for (std::size_t k = 0; k < lengthened.size(); ++k) lengthened[k] += p.stretcher.lengthened[k];
    };
    while (!g_stop) {
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        for (const auto& p : pairs) {
            fds.push_back({p->client, static_cast<short>(POLLIN | (p->toClient.empty() ? 0 : POLLOUT)), 0});
            fds.push_back({p->sim, static_cast<short>(POLLIN | (p->toSim.empty() ? 0 : POLLOUT)), 0});
        }
        if (::poll(fds.data(), fds.size(), 200) < 0) continue;
        if (fds[0].revents & POLLIN) {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            const int sim = client >= 0 ? lf_connect(toPort) : -1;
            if (sim >= 0) {
                auto p = std::make_unique<Pair>();
                p->client = client;
                p->sim = sim;
                p->stretcher.extra = extra;
                pairs.push_back(std::move(p));
            } else if (client >= 0) {
                ::close(client);  // nothing to hand it to: the client sees the simulator gone
            }
        }
        for (std::size_t i = 0; i < pairs.size();) {
            Pair& p = *pairs[i];
            std::string fromSim;
            bool alive = lf_read(p.client, p.toSim) && lf_read(p.sim, fromSim);
            p.toClient += gf_stretchReplies(p.stretcher, fromSim);
            alive = lf_write(p.sim, p.toSim) && lf_write(p.client, p.toClient) && alive;
            if (!alive) {
                // What came before the end still reaches the client; then both ends close.
                lf_write(p.client, p.toClient);
                tally(p);
                pairs.erase(pairs.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            ++i;
        }
    }
    for (const auto& p : pairs) tally(*p);
    std::printf("simproxy: lengthened");
    for (std::size_t k = 0; k < lengthened.size(); ++k) {
        if (lengthened[k] != 0) std::printf(" id %zu: %llu", k, static_cast<unsigned long long>(lengthened[k]));
    }
    std::printf("\n");
    ::close(listener);
    return 0;
}
