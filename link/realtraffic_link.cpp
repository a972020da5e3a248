#include "link/realtraffic_link.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/product.h"
#include "core/stop_flags.h"
#include "core/text.h"
#include "core/ui_port.h"
#include "link/realtraffic_state.h"
#include "link/udp_readers.h"
#include "link/udp_receiver.h"
#include "platform/sockets.h"

namespace {

namespace platform = clv::platform;

constexpr std::string_view kVersionRequest = "Qs999=version\r\n";
constexpr std::string_view kExitMessage = "exit\r\n";
constexpr std::size_t kReplyBufferSize = 16384;
constexpr int kProfessionalLevel = 2;

platform::Socket g_listenSocket;
platform::Socket g_clientSocket;
std::atomic<RealTrafficGoneFn> g_goneHandler{nullptr};
std::atomic<std::int64_t> g_replyTimeoutMs{5000};

bool lf_stopTest() { return stopRequested.load() || userClosedWindow.load() || !g_listenSocket.isOpen(); }

[[noreturn]] void lf_setupFailed(const std::string& text) {
    g_listenSocket.close();
    throw std::runtime_error(text);
}

// Whether the bytes so far can still become one JSON value: a parse that fails
// only because the input ended is incomplete, any other failure is final.
enum class ReplyState { Complete, Incomplete, Invalid };

ReplyState lf_replyState(const std::string& reply) {
    try {
        const nlohmann::json parsed = nlohmann::json::parse(reply);
        return parsed.is_discarded() ? ReplyState::Invalid : ReplyState::Complete;
    } catch (const nlohmann::json::parse_error& e) {
        return e.byte > reply.size() ? ReplyState::Incomplete : ReplyState::Invalid;
    } catch (const nlohmann::json::exception&) {
        // A number beyond every range ("1e999"): no version reply either.
        return ReplyState::Invalid;
    }
}

void lf_readRtVersion(const std::string& reply) {
    if (reply.empty()) {
        gf_setStatusLine("No RealTraffic version received?", true);
        rtProfessional = false;
        return;
    }
    // The caller has checked that the reply is JSON.
    const nlohmann::json j = nlohmann::json::parse(reply);
    if (!j.is_object()) {
        rtProfessional = false;
        gf_setRtEditionText({});
        gf_uiPort().requestRepaint();
        return;
    }
    std::int64_t level = 1;
    if (auto found = j.find("level"); found != j.end() && found->is_number_integer()) level = found->get<std::int64_t>();
    std::string version;
    if (auto found = j.find("version"); found != j.end())
        version = found->is_string() ? found->get<std::string>() : found->dump();
    rtProfessional = level == kProfessionalLevel;
    gf_setRtEditionText(fmt::format("RT{} edition: {}", level == kProfessionalLevel ? " prof" : " stnd", version));
    gf_uiPort().requestRepaint();
}

// The client is not RealTraffic, or not in a state to serve: its connection is
// closed and the link waits for the next one.
void lf_refuseClient(const std::string& reason) {
    clientConnected = false;
    g_clientSocket.close();
    gf_setStatusLine(fmt::format("{} RealTraffic connection closed: {}; waiting for RealTraffic to connect ...",
                                 gf_timeOfDay(), reason),
                     true);
}

// Asks a new client for its version. A client that does not answer in time, or
// answers with something that is not JSON, is refused: anything that connects
// first must not take the link, nor end the run.
bool lf_versionExchange() {
    if (!sendDataPacket(kVersionRequest)) return false;
    const std::string reply = receive();
    if (reply.empty()) {
        lf_refuseClient(fmt::format("no version reply within {} s", g_replyTimeoutMs.load() / 1000.0));
        return false;
    }
    if (!gf_readVersionReply(reply)) {
        lf_refuseClient(fmt::format("not a version reply: {}", gf_escapedExcerpt(reply)));
        return false;
    }
    return true;
}

// Waits for a client that answers the version question; false when the wait
// ended without one (a stop, a closed listen socket, or `timeoutMs` passed).
bool lf_acceptRealTraffic(int timeoutMs = -1) {
    while (waitForClient(timeoutMs)) {
        if (lf_versionExchange()) return true;
    }
    return false;
}

}  // namespace

bool gf_readVersionReply(const std::string& reply) {
    if (lf_replyState(reply) != ReplyState::Complete) return false;
    lf_readRtVersion(reply);
    return true;
}

void gf_setupTcpServer(const std::string& port) {
    g_listenSocket.close();
    platform::ResolvedAddress address;
    // RealTraffic runs on this PC: nothing else on the network may reach the link.
    if (int error = platform::resolveTcp("127.0.0.1", port, address); error != 0)
        lf_setupFailed(fmt::format("getaddrinfo failed with error {}", error));
    g_listenSocket.adopt(platform::openSocket(address.family(), address.type(), address.protocol()));
    if (!g_listenSocket.isOpen())
        lf_setupFailed("socket failed with error " + gf_wsaErrorText(platform::lastSocketError()));
    const platform::SocketHandle fd = g_listenSocket.handle();
    if (!platform::setBlocking(fd, true))
        lf_setupFailed("ioctlsocket failed with error " + gf_wsaErrorText(platform::lastSocketError()));
    if (!platform::setReuseAddress(fd)) lf_setupFailed("setsockopt(SO_REUSEADDR) failed");
    if (!platform::bindAddress(fd, address))
        lf_setupFailed("Bind failed at port " + port + " with error " + gf_wsaErrorText(platform::lastSocketError()));
    address.reset();
    if (!platform::listenOn(fd))
        lf_setupFailed("listen failed with error " + gf_wsaErrorText(platform::lastSocketError()));
}

std::uint16_t gf_tcpServerPort() { return platform::localPort(g_listenSocket.handle()); }

std::string gf_tcpServerAddress() { return platform::localAddress(g_listenSocket.handle()); }

bool waitForClient(int timeoutMs) {
    if (clientConnected.load()) return false;
    if (!g_listenSocket.isOpen()) return false;
    // Polled, so that closing the program is never stuck behind a RealTraffic that does not come.
    if (platform::waitReadable(g_listenSocket.handle(), lf_stopTest, timeoutMs) != platform::WaitResult::Ready)
        return false;
    const platform::SocketHandle fd = platform::acceptClient(g_listenSocket.handle());
    if (fd == platform::kInvalidSocket) return false;
    g_clientSocket.adopt(fd);
    if (!platform::setNoDelay(fd)) {
        const int error = platform::lastSocketError();
        g_clientSocket.close();
        gf_logIfRunning("waitForClient interrupted: {}",
                        fmt::format("{} setsockopt failed with error {}", gf_timeOfDay(), gf_wsaErrorText(error)));
        return false;
    }
    clientConnected = true;
    return true;
}

bool sendDataPacket(std::string_view text) {
    if (g_clientSocket.isOpen() && platform::sendAll(g_clientSocket.handle(), text)) return true;
    const int error = g_clientSocket.isOpen() ? platform::lastSocketError() : platform::winsockErrorOf(EBADF);
    gf_logIfRunning("sendDataPacket to RealTraffic failed: {}", gf_wsaErrorText(error));
    clientConnected = false;
    g_clientSocket.close();
    gf_logIfRunning("RealTraffic client socket closed");
    return false;
}

std::string receive() {
    std::string reply;
    if (!g_clientSocket.isOpen()) return reply;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(g_replyTimeoutMs.load());
    std::array<char, kReplyBufferSize> buffer;
    const platform::StopTest stop = [] { return stopRequested.load() || userClosedWindow.load(); };
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        if (platform::waitReadable(g_clientSocket.handle(), stop, static_cast<int>(left)) !=
            platform::WaitResult::Ready)
            break;
        const long n = platform::receiveSome(g_clientSocket.handle(), buffer.data(), buffer.size());
        if (n < 0) {
            gf_logIfRunning("receive: {}", gf_wsaErrorText(platform::lastSocketError()));
            return {};
        }
        if (n == 0) break;
        reply.append(buffer.data(), static_cast<std::size_t>(n));
        if (reply.size() >= kReplyBufferSize) {
            gf_logIfRunning("receive: buffer overrun: {}", reply.size());
            return {};
        }
        if (lf_replyState(reply) != ReplyState::Incomplete) return reply;
    }
    // Cut off by the time limit or the peer: no reply, rather than a broken one.
    if (!reply.empty() && lf_replyState(reply) == ReplyState::Incomplete) {
        gf_logIfRunning("receive: incomplete reply: {}", gf_escapedExcerpt(reply));
        return {};
    }
    return reply;
}

void gf_connectRealTraffic() {
    if (!realTrafficOnThisPc.load()) return;
    gf_setStatusLine(fmt::format("Waiting for RealTraffic to connect to {} ...", clv::kProductName), true);
    gf_resetTrafficFeed();
    if (lf_acceptRealTraffic()) {
        realTrafficConnected = true;
        gf_uiPort().requestRepaint();
        awaitingRealTraffic = false;
        gf_log("RealTraffic connected");
    }
    gf_setStatusLine("");
}

void gf_sendQs121(const clv::UserAcData& user) {
    if (!realTrafficOnThisPc.load()) return;
    if (gf_isNullPosition(user.latitude, user.longitude)) return;
    if (clientConnected.load()) {
        // Whole numbers: RealTraffic reads the scaled values as integers.
        const std::string message = fmt::format(
            "Qs121={:.0f};{:.0f};{:.6f};{:.0f};{};{:.6f};{:.6f}\r\n", user.pitch * 100000, user.bank * 100000,
            user.trueHeading, user.altitude * 1000, user.groundVelocity * 1000, user.latitude * clv::kDegToRad,
            user.longitude * clv::kDegToRad);
        if (!sendDataPacket(message)) {
            realTrafficConnected = false;
            gf_uiPort().requestRepaint();
            if (!userClosedWindow.load()) {
                if (RealTrafficGoneFn handler = g_goneHandler.load()) handler();
            }
            gf_resetTrafficFeed();
            gf_setStatusLine(fmt::format("{} RealTraffic gone? Wait for RealTraffic to re-connect ...", gf_timeOfDay()),
                             true);
        }
    }
    // Only a look for a client that is already waiting: the run thread's ticks go
    // on while RealTraffic is away, so the aircraft taken out really leave the
    // simulator and the feed's lines keep their time.
    if (!clientConnected.load() && exitReason.load() == clv::ExitReason::NotYetSet) {
        if (lf_acceptRealTraffic(0)) {
            realTrafficConnected = true;
            gf_uiPort().requestRepaint();
            gf_setStatusLine(fmt::format("{} RealTraffic re-connected", gf_timeOfDay()), true);
            gf_setStatusLine("");
        }
    }
}

void gf_sendQs123(std::int64_t utcSeconds) {
    if (!clientConnected.load() || utcSeconds < 1) return;
    sendDataPacket(fmt::format("Qs123={}\r\n", utcSeconds * 1000));
}

void gf_closeRealTrafficLink() {
    if (clientConnected.load()) sendDataPacket(kExitMessage);
    // A new run accepts a new client.
    clientConnected = false;
    g_clientSocket.close();
    g_listenSocket.close();
}

void gf_setRealTrafficGoneHandler(RealTrafficGoneFn handler) { g_goneHandler.store(handler); }

void gf_setVersionReplyTimeout(std::chrono::milliseconds timeout) { g_replyTimeoutMs = timeout.count(); }
