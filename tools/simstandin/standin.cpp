// The stand-in's server: both listening ports, the connections of SimConnect
// clients and of the control channel read and written in one polling loop, and
// the public face that starts, stops and commands it.
#include "tools/simstandin/standin.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
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

namespace {

constexpr std::size_t kMaxClientBacklog = 64u << 20;  // unsent bytes before a client is dropped

int lf_listen(std::uint16_t port, std::uint16_t& bound) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error(fmt::format("socket failed: {}", std::strerror(errno)));
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::runtime_error(fmt::format("cannot listen on 127.0.0.1:{}: {}", port, std::strerror(error)));
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    bound = ntohs(address.sin_port);
    return fd;
}

// Writes what the socket takes now; false when the peer is gone.
bool lf_flush(int fd, std::string& out) {
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::send(fd, out.data() + done, out.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            return false;
        }
    }
    out.erase(0, done);
    return true;
}

// Reads what has arrived; false when the peer closed or failed.
bool lf_receive(int fd, std::string& in) {
    char buffer[65536];
    for (int chunks = 0; chunks < 64; ++chunks) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            in.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

}  // namespace

SimStandIn::Impl::~Impl() { closeSockets(); }

void SimStandIn::Impl::closeSockets() {
    for (int* fd : {&simListen, &controlListen, &wakeFd}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void SimStandIn::Impl::wake() const {
    if (wakeFd < 0) return;
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
}

void SimStandIn::Impl::acceptAll() {
    for (;;) {
        int fd = ::accept4(simListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) break;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Client>();
        c->fd = fd;
        c->number = nextClientNumber++;
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0) c->peerPort = ntohs(peer.sin_port);
        clients.push_back(std::move(c));
    }
    for (;;) {
        int fd = ::accept4(controlListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) break;
        auto c = std::make_unique<ControlConnection>();
        c->fd = fd;
        controls.push_back(std::move(c));
    }
}

void SimStandIn::Impl::serveClients() {
    for (std::size_t i = 0; i < clients.size(); ++i) {
        Client& c = *clients[i];
        if (c.dead) continue;
        const bool alive = lf_receive(c.fd, c.in);
        consume(c);
        // The protocol closes a connection by ending it.
        if (!alive && !c.dead && c.opened) logCall(c, 0, "SimConnect_Close");
        if (!alive) c.dead = true;
    }
}

void SimStandIn::Impl::serveControls() {
    for (auto& cp : controls) {
        ControlConnection& c = *cp;
        if (c.dead) continue;
        if (!lf_receive(c.fd, c.in)) c.closeWhenFlushed = true;
        for (auto end = c.in.find('\n'); end != std::string::npos; end = c.in.find('\n')) {
            std::string line = c.in.substr(0, end);
            c.in.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) continue;
            json reply;
            try {
                reply = executeSafely(json::parse(line));
            } catch (const json::exception& e) {
                reply = json{{"ok", false}, {"error", fmt::format("not JSON: {}", e.what())}};
            }
            // Whatever a client sent (a tail number, a broken command line) may be
            // no UTF-8: it is shown replaced, never allowed to end the stand-in.
            c.out += reply.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
        }
    }
}

void SimStandIn::Impl::flushAll() {
    for (auto& c : clients) {
        if (c->dead) continue;
        if (!lf_flush(c->fd, c->out)) {
            // It hung up while replies were on their way: the same end as one
            // the next read would have seen.
            if (c->opened) logCall(*c, 0, "SimConnect_Close");
            c->dead = true;
        } else if (c->out.size() > kMaxClientBacklog) {
            c->dead = true;
        }
        if (c->closeWhenFlushed && c->out.empty()) c->dead = true;
    }
    for (auto& c : controls) {
        if (c->dead) continue;
        if (!lf_flush(c->fd, c->out)) c->dead = true;
        if (c->closeWhenFlushed && c->out.empty()) c->dead = true;
    }
    auto drop = [](auto& list) {
        for (auto& c : list) {
            if (c->dead && c->fd >= 0) {
                ::close(c->fd);
                c->fd = -1;
            }
        }
        list.erase(std::remove_if(list.begin(), list.end(), [](const auto& c) { return c->dead; }), list.end());
    };
    drop(clients);
    drop(controls);
}

void SimStandIn::Impl::loop() {
    while (!stopFlag && !shutdownAsked) {
        std::vector<pollfd> fds;
        int timeout = 0;
        {
            std::lock_guard lock(mutex);
            fds.push_back({wakeFd, POLLIN, 0});
            fds.push_back({simListen, POLLIN, 0});
            fds.push_back({controlListen, POLLIN, 0});
            for (const auto& c : clients) fds.push_back({c->fd, short(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
            for (const auto& c : controls) fds.push_back({c->fd, short(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
            timeout = msToNextTimer();
        }
        ::poll(fds.data(), fds.size(), timeout);
        std::lock_guard lock(mutex);
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] ssize_t n = ::read(wakeFd, &count, sizeof count);
        }
        acceptAll();
        serveClients();
        serveControls();
        tick();
        flushAll();
    }
    // Shutdown: every client hears "Quit" before its connection closes.
    std::lock_guard lock(mutex);
    sendQuitToAll();
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(500);
    while (Clock::now() < until) {
        bool pending = false;
        for (auto& c : clients) {
            if (!c->dead && !lf_flush(c->fd, c->out)) c->dead = true;
            pending = pending || (!c->dead && !c->out.empty());
        }
        for (auto& c : controls) {
            if (!c->dead && !lf_flush(c->fd, c->out)) c->dead = true;
            pending = pending || (!c->dead && !c->out.empty());
        }
        if (!pending) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (auto& c : clients) {
        if (c->fd >= 0) ::close(c->fd);
    }
    for (auto& c : controls) {
        if (c->fd >= 0) ::close(c->fd);
    }
    clients.clear();
    controls.clear();
    isRunning = false;
}

SimStandIn::SimStandIn() : impl_(std::make_unique<Impl>()) {}

SimStandIn::~SimStandIn() { stop(); }

void SimStandIn::start(const StandInOptions& options) {
    if (impl_->thread.joinable()) throw std::runtime_error("the stand-in runs already");
    Impl& s = *impl_;
    s.scenario = options.scenario;
    gf_fitting(s.scenario.simulator, kScNameSize, "simulator");
    gf_fitting(s.scenario.flightFile, kScPathSize, "flight_file");
    s.installed = s.scenario.installed;
    if (!s.scenario.communityFolder.empty()) {
        for (auto& title : gf_scanCommunityTitles(s.scenario.communityFolder)) {
            s.installed.push_back(InstalledTitle{std::move(title)});
        }
    }
    s.objects.clear();
    s.placeUser(s.scenario.user);
    s.nextObjectId = s.scenario.firstObjectId;
    s.setZulu(s.scenario.zulu);
    s.closeSockets();
    s.simListen = lf_listen(options.simPort, s.simPort);
    try {
        s.controlListen = lf_listen(options.controlPort, s.controlPort);
    } catch (...) {
        s.closeSockets();
        throw;
    }
    s.wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    s.nextFrame = Clock::now();
    s.stopFlag = false;
    s.shutdownAsked = false;
    s.isRunning = true;
    s.thread = std::thread([&s] { s.loop(); });
}

void SimStandIn::stop() {
    if (!impl_->thread.joinable()) return;
    impl_->stopFlag = true;
    impl_->wake();
    impl_->thread.join();
    impl_->closeSockets();
}

bool SimStandIn::running() const { return impl_->isRunning; }
bool SimStandIn::shutdownRequested() const { return impl_->shutdownAsked; }
std::uint16_t SimStandIn::simPort() const { return impl_->simPort; }
std::uint16_t SimStandIn::controlPort() const { return impl_->controlPort; }

std::string SimStandIn::consumeAsClient(std::string_view bytes) {
    Impl& s = *impl_;
    std::lock_guard lock(s.mutex);
    if (s.objects.empty()) s.placeUser(s.scenario.user);
    Client c;
    c.number = s.nextClientNumber++;
    c.in.assign(bytes);
    s.consume(c);
    return c.out;
}

nlohmann::json SimStandIn::command(const nlohmann::json& request) {
    json reply;
    {
        std::lock_guard lock(impl_->mutex);
        reply = impl_->executeSafely(request);
    }
    impl_->wake();  // what the command queued for clients goes out now
    return reply;
}

}  // namespace clv::standin
