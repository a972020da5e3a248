#pragma once
// RealTraffic's side of the program's TCP link: connects, answers the version
// question, and reports every line the program sends.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sockets.h"

namespace clv {

struct RtClientOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 10747;
    std::string version = "9.0.1";  // answered to "Qs999=version"
    int level = 2;                  // 2: professional
    int dropAfterQs121 = 0;         // drop the first link after this many Qs121 lines; 0 never
    int reconnectDelayMs = 1000;    // wait before connecting again
    bool reconnect = true;          // connect again after a drop, an "exit" or a lost link
};

class RtClient {
public:
    // onLine gets every line the program sends (without its line end) and the
    // tool's own notes, each starting with "# ".
    RtClient(RtClientOptions options, std::function<void(const std::string&)> onLine);
    ~RtClient();
    RtClient(const RtClient&) = delete;
    RtClient& operator=(const RtClient&) = delete;

    void start();
    void stop();  // ends the connection and the thread

    int connections() const { return connections_.load(); }
    int qs121Count() const { return qs121Count_.load(); }
    int exitCount() const { return exitCount_.load(); }
    std::vector<std::string> lines() const;  // every line received, in order

private:
    void run();
    bool serve(platform::SocketHandle fd);  // false: do not connect again
    void handleLine(platform::SocketHandle fd, const std::string& line, int& qs121OnLink, bool& drop);

    RtClientOptions options_;
    std::function<void(const std::string&)> onLine_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> qs121Count_{0};
    std::atomic<int> exitCount_{0};
    mutable std::mutex linesMutex_;
    std::vector<std::string> lines_;
    std::thread thread_;
};

}  // namespace clv

// The answer to "Qs999=version": {"version": ..., "level": ...}.
std::string gf_versionReply(const std::string& version, int level);
