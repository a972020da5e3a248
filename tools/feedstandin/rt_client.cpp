#include "tools/feedstandin/rt_client.h"

#include <array>
#include <chrono>
#include <thread>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace clv {

namespace {

constexpr std::string_view kVersionQuestion = "Qs999=version";
constexpr std::string_view kQs121 = "Qs121=";
constexpr std::string_view kExit = "exit";

}  // namespace

RtClient::RtClient(RtClientOptions options, std::function<void(const std::string&)> onLine)
    : options_(std::move(options)), onLine_(std::move(onLine)) {}

RtClient::~RtClient() { stop(); }

void RtClient::start() {
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void RtClient::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::vector<std::string> RtClient::lines() const {
    std::lock_guard lock(linesMutex_);
    return lines_;
}

void RtClient::run() {
    bool waitedNote = false;
    while (!stop_.load()) {
        platform::ResolvedAddress address;
        platform::SocketHandle fd = platform::kInvalidSocket;
        if (platform::resolveTcp(options_.host, std::to_string(options_.port), address) == 0)
            fd = platform::connectTo(address);
        if (fd == platform::kInvalidSocket) {
            if (!waitedNote && onLine_) onLine_(fmt::format("# waiting for the program on port {}", options_.port));
            waitedNote = true;
            // The program opens its listener only when a run reaches that step.
            for (int i = 0; i < 5 && !stop_.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(40));
            continue;
        }
        waitedNote = false;
        platform::Socket socket(fd);
        ++connections_;
        if (onLine_) onLine_(fmt::format("# connected (connection {})", connections_.load()));
        bool again = serve(fd);
        socket.close();
        if (!again || !options_.reconnect) break;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.reconnectDelayMs);
        while (!stop_.load() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool RtClient::serve(platform::SocketHandle fd) {
    const platform::StopTest stopTest = [this] { return stop_.load(); };
    std::string pending;
    std::array<char, 4096> buffer;
    int qs121OnLink = 0;
    for (;;) {
        if (platform::waitReadable(fd, stopTest) != platform::WaitResult::Ready) return false;
        const long n = platform::receiveSome(fd, buffer.data(), buffer.size());
        if (n <= 0) {
            if (onLine_) onLine_("# the program closed the link");
            return true;
        }
        pending.append(buffer.data(), static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            bool drop = false;
            handleLine(fd, line, qs121OnLink, drop);
            if (drop) {
                if (onLine_) onLine_(fmt::format("# dropping the link after {} Qs121 lines", qs121OnLink));
                return true;
            }
        }
    }
}

void RtClient::handleLine(platform::SocketHandle fd, const std::string& line, int& qs121OnLink, bool& drop) {
    {
        std::lock_guard lock(linesMutex_);
        lines_.push_back(line);
    }
    if (onLine_) onLine_(line);
    if (line == kVersionQuestion) {
        platform::sendAll(fd, gf_versionReply(options_.version, options_.level));
    } else if (line.starts_with(kQs121)) {
        ++qs121Count_;
        ++qs121OnLink;
        drop = options_.dropAfterQs121 > 0 && connections_.load() == 1 && qs121OnLink >= options_.dropAfterQs121;
    } else if (line == kExit) {
        ++exitCount_;
    }
}

}  // namespace clv

std::string gf_versionReply(const std::string& version, int level) {
    return nlohmann::json{{"version", version}, {"level", level}}.dump() + "\r\n";
}
