#pragma once
// A thin layer over POSIX sockets for the RealTraffic feed and link. Errors are
// reported with the Windows Sockets numbers (10048 "Address already in use" and
// so on), so every message of the feed keeps its familiar code. There is no
// start-up or clean-up step.
//
// Blocking waits poll in slices of at most 200 ms and ask a stop test between
// them, so a closing program never hangs in a socket call. Sends never raise
// SIGPIPE: a vanished peer is an error result, not the end of the process.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct addrinfo;

namespace clv::platform {

using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;

// The longest slice a blocking wait sleeps before it looks at its stop test.
inline constexpr int kWaitSliceMs = 200;

// True when the wait is to end early.
using StopTest = std::function<bool()>;

// The Windows Sockets number of an errno value; unknown values pass unchanged.
int winsockErrorOf(int errnoValue);
// The Windows Sockets number of the calling thread's last socket error.
int lastSocketError();
// The Windows Sockets number of a getaddrinfo result (0 stays 0).
int winsockErrorOfResolve(int resolveResult);

// A socket owned by one object, readable from several threads: one thread may
// block on it while another shuts it down to wake that thread.
class Socket {
public:
    Socket() = default;
    explicit Socket(SocketHandle handle) : fd_(handle) {}
    ~Socket() { close(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    SocketHandle handle() const { return fd_.load(); }
    bool isOpen() const { return fd_.load() != kInvalidSocket; }

    // Takes ownership of a handle, closing the one held before.
    void adopt(SocketHandle handle);
    // Gives the handle up without closing it.
    SocketHandle release() { return fd_.exchange(kInvalidSocket); }

    // Ends both directions; a thread waiting on the socket wakes up. The handle
    // stays valid, so a thread still using it never sees a reused descriptor.
    void shutdown();
    // Shuts down and closes; the handle becomes invalid.
    void close();

private:
    std::atomic<SocketHandle> fd_{kInvalidSocket};
};

enum class WaitResult {
    Ready,    // data, a connection, an end of stream or an error is waiting
    Stopped,  // the stop test said so
    TimedOut, // the time limit passed
    Failed,   // poll itself failed; see lastSocketError()
};

// Waits until the socket is readable. timeoutMs < 0 waits until the stop test
// ends the wait; the stop test may be empty.
WaitResult waitReadable(SocketHandle socket, const StopTest& stop, int timeoutMs = -1);
// The same wait over several sockets at once: Ready when at least one of them is
// readable; `ready` then marks which (one flag per socket, in their order).
WaitResult waitAnyReadable(const std::vector<SocketHandle>& sockets, std::vector<bool>& ready, const StopTest& stop,
                           int timeoutMs = -1);

// UDP ------------------------------------------------------------------------

SocketHandle openUdpSocket();
// Binds IPv4 127.0.0.1 (loopbackOnly) or any address to the port (0 picks a free one).
bool bindIpv4(SocketHandle socket, bool loopbackOnly, std::uint16_t port);
// The local port a socket is bound to; 0 when it is not bound or on failure.
std::uint16_t localPort(SocketHandle socket);
// The local IPv4 address a socket is bound to in dotted form; empty when unknown.
std::string localAddress(SocketHandle socket);
// Asks for a kernel receive buffer of `bytes`; returns the size the system gave
// (it may cap the request), or -1 on failure.
int setReceiveBuffer(SocketHandle socket, int bytes);
// The kernel receive buffer's size as the system reports it; -1 on failure.
int receiveBufferSize(SocketHandle socket);
// Receives one datagram into the buffer. Returns the datagram's full length,
// which exceeds the capacity when it was cut off, or -1 on failure.
long receiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity);
// Sends one datagram to an IPv4 address in dotted form.
bool sendDatagram(SocketHandle socket, const std::string& host, std::uint16_t port, std::string_view bytes);

// TCP ------------------------------------------------------------------------

// The result of resolving an address; frees it when it goes.
class ResolvedAddress {
public:
    ResolvedAddress() = default;
    ~ResolvedAddress();
    ResolvedAddress(const ResolvedAddress&) = delete;
    ResolvedAddress& operator=(const ResolvedAddress&) = delete;

    const addrinfo* get() const { return info_; }
    int family() const;
    int type() const;
    int protocol() const;
    void reset();

private:
    friend int resolvePassiveTcp(const std::string& port, ResolvedAddress& out);
    friend int resolveTcp(const std::string& host, const std::string& port, ResolvedAddress& out);
    addrinfo* info_ = nullptr;
};

// The local passive IPv4 TCP address of a port text. Returns the Windows Sockets
// number of a failure, 0 on success.
int resolvePassiveTcp(const std::string& port, ResolvedAddress& out);
// An IPv4 TCP address of a host and port text; same results.
int resolveTcp(const std::string& host, const std::string& port, ResolvedAddress& out);

SocketHandle openSocket(int family, int type, int protocol);
bool setBlocking(SocketHandle socket, bool blocking);
bool setReuseAddress(SocketHandle socket);
bool bindAddress(SocketHandle socket, const ResolvedAddress& address);
bool listenOn(SocketHandle socket);  // with the largest backlog
// Accepts a waiting connection (call after waitReadable); kInvalidSocket on failure.
SocketHandle acceptClient(SocketHandle listenSocket);
bool setNoDelay(SocketHandle socket);
// Connects to the address; kInvalidSocket on failure.
SocketHandle connectTo(const ResolvedAddress& address);
// Sends every byte; false when the peer is gone or the send failed.
bool sendAll(SocketHandle socket, std::string_view bytes);
// One receive of at most capacity bytes: the count, 0 at the end of the stream, -1 on failure.
long receiveSome(SocketHandle socket, char* buffer, std::size_t capacity);

}  // namespace clv::platform
