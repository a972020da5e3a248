#include "link/realtraffic_link.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <memory>
#include <vector>
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

using ReplyClock = std::chrono::steady_clock;

std::string lf_noReplyText() { return fmt::format("no version reply within {} s", g_replyTimeoutMs.load() / 1000.0); }

// A connection that is not RealTraffic, or not in a state to serve, is closed and
// the link waits for the next one.
void lf_showRefused(const std::string& reason) {
    gf_setStatusLine(fmt::format("{} RealTraffic connection closed: {}; waiting for RealTraffic to connect ...",
                                 gf_timeOfDay(), reason),
                     true);
}

// The reply of one connection as its bytes come in.
enum class ReplyStep { Waiting, Answered, Refused };

struct ReplyReader {
    std::string reply;    // after a refusal: only a reply that is not JSON
    std::string refusal;  // why the connection is refused

    // Reads what is waiting on the socket (one receive).
    ReplyStep read(platform::SocketHandle socket) {
        std::array<char, kReplyBufferSize> buffer;
        const long n = platform::receiveSome(socket, buffer.data(), buffer.size());
        if (n < 0) {
            gf_logIfRunning("receive: {}", gf_wsaErrorText(platform::lastSocketError()));
            return refuse(lf_noReplyText());
        }
        if (n == 0) return end();
        reply.append(buffer.data(), static_cast<std::size_t>(n));
        if (reply.size() >= kReplyBufferSize) {
            gf_logIfRunning("receive: buffer overrun: {}", reply.size());
            return refuse(lf_noReplyText());
        }
        switch (lf_replyState(reply)) {
            case ReplyState::Complete: return ReplyStep::Answered;
            case ReplyState::Incomplete: return ReplyStep::Waiting;
            case ReplyState::Invalid: break;
        }
        refusal = fmt::format("not a version reply: {}", gf_escapedExcerpt(reply));
        return ReplyStep::Refused;
    }

    // The peer closed, or its time is up: no reply, rather than a broken one.
    ReplyStep end() {
        if (!reply.empty()) gf_logIfRunning("receive: incomplete reply: {}", gf_escapedExcerpt(reply));
        return refuse(lf_noReplyText());
    }

private:
    ReplyStep refuse(std::string reason) {
        reply.clear();
        refusal = std::move(reason);
        return ReplyStep::Refused;
    }
};

// A connection that was asked for its version and has not answered yet.
struct Candidate {
    explicit Candidate(platform::SocketHandle fd) : socket(fd) {}
    platform::Socket socket;
    ReplyClock::time_point deadline;
    ReplyReader reader;
};
using Candidates = std::vector<std::unique_ptr<Candidate>>;

// Asks a new connection for its version; a connection that cannot be asked is
// closed at once.
void lf_askVersion(Candidates& candidates, platform::SocketHandle fd) {
    auto candidate = std::make_unique<Candidate>(fd);
    if (!platform::sendAll(fd, kVersionRequest)) {
        gf_logIfRunning("sendDataPacket to RealTraffic failed: {}", gf_wsaErrorText(platform::lastSocketError()));
        gf_logIfRunning("RealTraffic client socket closed");
        return;
    }
    candidate->deadline = ReplyClock::now() + std::chrono::milliseconds(g_replyTimeoutMs.load());
    candidates.push_back(std::move(candidate));
}

// A connection that came while others wait for their reply, taken as waitForClient takes one.
void lf_acceptAnother(Candidates& candidates) {
    const platform::SocketHandle fd = platform::acceptClient(g_listenSocket.handle());
    if (fd == platform::kInvalidSocket) return;
    if (!platform::setNoDelay(fd)) {
        const int error = platform::lastSocketError();
        platform::Socket closing(fd);
        gf_logIfRunning("waitForClient interrupted: {}",
                        fmt::format("{} setsockopt failed with error {}", gf_timeOfDay(), gf_wsaErrorText(error)));
        return;
    }
    lf_askVersion(candidates, fd);
}

// Waits for a client that answers the version question, and serves it; false
// when the wait ended without one (a stop, a closed listen socket). Every
// connection is asked as soon as it is accepted and the first proper answer is
// served: a connection that never speaks does not keep RealTraffic waiting
// behind it. A connection that answers with something that is not JSON, or not
// within the reply time, is closed. `timeoutMs` limits the wait for a first
// connection (-1: no limit; 0: only one that is already waiting).
bool lf_acceptRealTraffic(int timeoutMs = -1) {
    Candidates candidates;
    std::vector<platform::SocketHandle> sockets;
    std::vector<bool> ready;
    for (;;) {
        if (candidates.empty()) {
            // Nobody to wait for but the next connection.
            if (!waitForClient(timeoutMs)) return false;
            clientConnected = false;  // not served before it answers
            lf_askVersion(candidates, g_clientSocket.release());
            continue;
        }
        auto earliest = candidates.front()->deadline;
        for (const auto& c : candidates) earliest = std::min(earliest, c->deadline);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(earliest - ReplyClock::now()).count();
        sockets.clear();
        for (const auto& c : candidates) sockets.push_back(c->socket.handle());
        sockets.push_back(g_listenSocket.handle());
        const platform::WaitResult wait =
            platform::waitAnyReadable(sockets, ready, lf_stopTest, static_cast<int>(std::max<std::int64_t>(0, left)));
        if (wait == platform::WaitResult::Stopped || wait == platform::WaitResult::Failed) return false;
        const auto now = ReplyClock::now();
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            Candidate& c = *candidates[i];
            ReplyStep step = ReplyStep::Waiting;
            if (ready[i]) step = c.reader.read(c.socket.handle());
            if (step == ReplyStep::Waiting && now >= c.deadline) step = c.reader.end();
            if (step == ReplyStep::Refused) {
                c.socket.close();
                lf_showRefused(c.reader.refusal);
                continue;
            }
            if (step != ReplyStep::Answered) continue;
            // The reply is complete JSON: this connection is RealTraffic.
            lf_readRtVersion(c.reader.reply);
            g_clientSocket.adopt(c.socket.release());
            clientConnected = true;
            for (const auto& other : candidates)
                if (other->socket.isOpen())
                    gf_log("RealTraffic connection closed: another connection answered the version question first");
            return true;
        }
        std::erase_if(candidates, [](const auto& c) { return !c->socket.isOpen(); });
        if (ready.back()) lf_acceptAnother(candidates);
    }
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
    if (!g_clientSocket.isOpen()) return {};
    const auto deadline = ReplyClock::now() + std::chrono::milliseconds(g_replyTimeoutMs.load());
    const platform::StopTest stop = [] { return stopRequested.load() || userClosedWindow.load(); };
    ReplyReader reader;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - ReplyClock::now()).count();
        ReplyStep step = ReplyStep::Waiting;
        if (left <= 0 || platform::waitReadable(g_clientSocket.handle(), stop, static_cast<int>(left)) !=
                             platform::WaitResult::Ready) {
            step = reader.end();
        } else {
            step = reader.read(g_clientSocket.handle());
        }
        // A reply that is not JSON is handed on as it came: the caller decides.
        if (step != ReplyStep::Waiting) return reader.reply;
    }
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
