#pragma once
// A small HTTP/1.1 server on a free loopback port for download tests: it serves
// the files of one folder (404 for anything else), or misbehaves on purpose.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace clv::test {

class HttpServer {
public:
    enum class Mode {
        Serve,      // files below the folder, 404 for the rest
        Silent,     // accepts connections and never answers
        Truncated,  // promises a file's length, sends half of it and hangs up
    };

    // Binds 127.0.0.1 on a port the system picks and starts serving; throws
    // std::runtime_error when no socket can be had.
    explicit HttpServer(std::filesystem::path folder, Mode mode = Mode::Serve);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Stops the thread and closes every socket; safe to call twice.
    void stop();

    std::uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>/" followed by the path.
    std::string url(const std::string& path) const;

    int requestCount() const { return requests_.load(); }
    std::string lastUserAgent() const;

private:
    void run();
    // Reads a request head; false when the peer went away or a stop came first.
    bool readHead(int fd, std::string& head);
    void answer(int fd, const std::string& head);

    std::filesystem::path folder_;
    Mode mode_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    mutable std::mutex mutex_;
    std::string lastUserAgent_;
    std::vector<int> heldOpen_;  // silent mode's connections; only the server thread touches them
    std::thread thread_;
};

}  // namespace clv::test
