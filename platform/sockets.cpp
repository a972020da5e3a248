#include "platform/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace clv::platform {

int winsockErrorOf(int errnoValue) {
    switch (errnoValue) {
        case EINTR: return 10004;
        case EBADF: return 10009;
        case EACCES: return 10013;
        case EFAULT: return 10014;
        case EINVAL: return 10022;
        case EMFILE: return 10024;
        case EAGAIN: return 10035;
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK: return 10035;
#endif
        case EINPROGRESS: return 10036;
        case EALREADY: return 10037;
        case ENOTSOCK: return 10038;
        case EDESTADDRREQ: return 10039;
        case EMSGSIZE: return 10040;
        case EPROTOTYPE: return 10041;
        case ENOPROTOOPT: return 10042;
        case EPROTONOSUPPORT: return 10043;
        case ESOCKTNOSUPPORT: return 10044;
        case EOPNOTSUPP: return 10045;
        case EPFNOSUPPORT: return 10046;
        case EAFNOSUPPORT: return 10047;
        case EADDRINUSE: return 10048;
        case EADDRNOTAVAIL: return 10049;
        case ENETDOWN: return 10050;
        case ENETUNREACH: return 10051;
        case ENETRESET: return 10052;
        case ECONNABORTED: return 10053;
        case ECONNRESET: return 10054;
        case ENOBUFS: return 10055;
        case ENOMEM: return 10055;
        case EISCONN: return 10056;
        case ENOTCONN: return 10057;
        // A send after the connection was shut down or lost.
        case ESHUTDOWN: return 10058;
        case EPIPE: return 10058;
        case ETOOMANYREFS: return 10059;
        case ETIMEDOUT: return 10060;
        case ECONNREFUSED: return 10061;
        case ELOOP: return 10062;
        case ENAMETOOLONG: return 10063;
        case EHOSTDOWN: return 10064;
        case EHOSTUNREACH: return 10065;
        case ENOTEMPTY: return 10066;
        case EUSERS: return 10068;
        case EDQUOT: return 10069;
        case ESTALE: return 10070;
        case EREMOTE: return 10071;
        default: return errnoValue;
    }
}

int lastSocketError() { return winsockErrorOf(errno); }

int winsockErrorOfResolve(int resolveResult) {
    switch (resolveResult) {
        case 0: return 0;
        case EAI_NONAME: return 11001;
        case EAI_AGAIN: return 11002;
        case EAI_FAIL: return 11003;
        case EAI_NODATA: return 11004;
        case EAI_SERVICE: return 10109;
        case EAI_FAMILY: return 10047;
        case EAI_SOCKTYPE: return 10044;
        case EAI_BADFLAGS: return 10022;
        case EAI_MEMORY: return 10055;
        case EAI_SYSTEM: return lastSocketError();
        default: return 11003;
    }
}

void Socket::adopt(SocketHandle handle) {
    SocketHandle old = fd_.exchange(handle);
    if (old != kInvalidSocket && old != handle) ::close(old);
}

void Socket::shutdown() {
    SocketHandle fd = fd_.load();
    if (fd != kInvalidSocket) ::shutdown(fd, SHUT_RDWR);
}

void Socket::close() {
    SocketHandle fd = fd_.exchange(kInvalidSocket);
    if (fd == kInvalidSocket) return;
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

namespace {

// Polls the sockets in slices, asking the stop test between them.
WaitResult lf_pollSliced(pollfd* polled, std::size_t count, const StopTest& stop, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    bool looked = false;  // a limit of 0 still looks once
    for (;;) {
        if (stop && stop()) return WaitResult::Stopped;
        int slice = kWaitSliceMs;
        if (timeoutMs >= 0) {
            auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            if (looked && spent >= timeoutMs) return WaitResult::TimedOut;
            if (timeoutMs - spent < slice) slice = static_cast<int>(std::max<long long>(0, timeoutMs - spent));
        }
        looked = true;
        for (std::size_t i = 0; i < count; ++i) polled[i].revents = 0;
        int n = ::poll(polled, count, slice);
        if (n < 0) {
            if (errno == EINTR) continue;
            return WaitResult::Failed;
        }
        if (n > 0) {
            // A shut-down socket reads as ready; let the stop test have the last word.
            if (stop && stop()) return WaitResult::Stopped;
            return WaitResult::Ready;
        }
    }
}

}  // namespace

WaitResult waitReadable(SocketHandle socket, const StopTest& stop, int timeoutMs) {
    pollfd p{};
    p.fd = socket;
    p.events = POLLIN;
    return lf_pollSliced(&p, 1, stop, timeoutMs);
}

WaitResult waitAnyReadable(const std::vector<SocketHandle>& sockets, std::vector<bool>& ready, const StopTest& stop,
                           int timeoutMs) {
    std::vector<pollfd> polled(sockets.size());
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        polled[i].fd = sockets[i];
        polled[i].events = POLLIN;
    }
    const WaitResult result = lf_pollSliced(polled.data(), polled.size(), stop, timeoutMs);
    ready.assign(sockets.size(), false);
    if (result == WaitResult::Ready)
        for (std::size_t i = 0; i < polled.size(); ++i) ready[i] = polled[i].revents != 0;
    return result;
}

SocketHandle openUdpSocket() { return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP); }

bool bindIpv4(SocketHandle socket, bool loopbackOnly, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    return ::bind(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

std::uint16_t localPort(SocketHandle socket) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (socket == kInvalidSocket || ::getsockname(socket, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    if (a.sin_family != AF_INET) return 0;
    return ntohs(a.sin_port);
}

std::string localAddress(SocketHandle socket) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (socket == kInvalidSocket || ::getsockname(socket, reinterpret_cast<sockaddr*>(&a), &len) != 0) return {};
    if (a.sin_family != AF_INET) return {};
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text) == nullptr) return {};
    return text;
}

long receiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity) {
    for (;;) {
        ssize_t n = ::recv(socket, buffer, capacity, MSG_TRUNC);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

bool sendDatagram(SocketHandle socket, const std::string& host, std::uint16_t port, std::string_view bytes) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &a.sin_addr) != 1) {
        errno = EINVAL;
        return false;
    }
    ssize_t n = ::sendto(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&a),
                         sizeof a);
    return n == static_cast<ssize_t>(bytes.size());
}

ResolvedAddress::~ResolvedAddress() { reset(); }

void ResolvedAddress::reset() {
    if (info_ != nullptr) ::freeaddrinfo(info_);
    info_ = nullptr;
}

int ResolvedAddress::family() const { return info_ ? info_->ai_family : AF_UNSPEC; }
int ResolvedAddress::type() const { return info_ ? info_->ai_socktype : 0; }
int ResolvedAddress::protocol() const { return info_ ? info_->ai_protocol : 0; }

namespace {

int lf_resolve(const char* host, const std::string& port, int flags, addrinfo** out) {
    addrinfo hints{};
    hints.ai_flags = flags;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    return winsockErrorOfResolve(::getaddrinfo(host, port.c_str(), &hints, out));
}

}  // namespace

int resolvePassiveTcp(const std::string& port, ResolvedAddress& out) {
    out.reset();
    return lf_resolve(nullptr, port, AI_PASSIVE, &out.info_);
}

int resolveTcp(const std::string& host, const std::string& port, ResolvedAddress& out) {
    out.reset();
    return lf_resolve(host.c_str(), port, 0, &out.info_);
}

SocketHandle openSocket(int family, int type, int protocol) {
    return ::socket(family, type | SOCK_CLOEXEC, protocol);
}

bool setBlocking(SocketHandle socket, bool blocking) {
    int flags = ::fcntl(socket, F_GETFL, 0);
    if (flags < 0) return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(socket, F_SETFL, flags) == 0;
}

int setReceiveBuffer(SocketHandle socket, int bytes) {
    // Linux caps SO_RCVBUF at net.core.rmem_max; the forced form passes the cap
    // where the process may, the plain one is the fallback.
    if (::setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0 &&
        ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0)
        return -1;
    return receiveBufferSize(socket);
}

int receiveBufferSize(SocketHandle socket) {
    int given = 0;
    socklen_t length = sizeof given;
    if (::getsockopt(socket, SOL_SOCKET, SO_RCVBUF, &given, &length) != 0) return -1;
    return given;
}

bool setReuseAddress(SocketHandle socket) {
    int one = 1;
    return ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0;
}

bool bindAddress(SocketHandle socket, const ResolvedAddress& address) {
    const addrinfo* a = address.get();
    if (a == nullptr) {
        errno = EINVAL;
        return false;
    }
    return ::bind(socket, a->ai_addr, a->ai_addrlen) == 0;
}

bool listenOn(SocketHandle socket) { return ::listen(socket, SOMAXCONN) == 0; }

SocketHandle acceptClient(SocketHandle listenSocket) {
    for (;;) {
        int fd = ::accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0 && errno == EINTR) continue;
        return fd;
    }
}

bool setNoDelay(SocketHandle socket) {
    int one = 1;
    return ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0;
}

SocketHandle connectTo(const ResolvedAddress& address) {
    for (const addrinfo* a = address.get(); a != nullptr; a = a->ai_next) {
        int fd = openSocket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd < 0) continue;
        int r;
        do {
            r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        } while (r != 0 && errno == EINTR);
        if (r == 0) return fd;
        int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return kInvalidSocket;
}

bool sendAll(SocketHandle socket, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(socket, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

long receiveSome(SocketHandle socket, char* buffer, std::size_t capacity) {
    for (;;) {
        ssize_t n = ::recv(socket, buffer, capacity, 0);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

}  // namespace clv::platform
