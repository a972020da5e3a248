#pragma once
// A small HTTP/1.1 server on a free loopback port for download tests: it serves
// the files of one folder (404 for anything else), or a table of replies by
// request target, or misbehaves on purpose. It records every request line.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
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

    // One entry of a reply table.
    struct Reply {
        enum class Kind {
            Answer,       // the status and the body
            Silent,       // accepts and never answers
            CloseMidBody, // promises the body's length, sends half of it and hangs up
        };
        int status = 200;
        std::string body;
        std::chrono::milliseconds delay{0};  // before the answer starts
        Kind kind = Kind::Answer;
    };
    // Request target as sent (still encoded, "/MSFS/a%20b.xml") -> reply.
    using Replies = std::map<std::string, Reply>;

    // Binds 127.0.0.1 on a port the system picks and starts serving; throws
    // std::runtime_error when no socket can be had.
    explicit HttpServer(std::filesystem::path folder, Mode mode = Mode::Serve);
    // Serves the table: a target not in it gets 404.
    explicit HttpServer(Replies replies);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Stops the thread and closes every socket; safe to call twice.
    void stop();

    std::uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>/" followed by the path.
    std::string url(const std::string& path) const;

    // Adds or replaces one entry of the table (table servers only).
    void setReply(const std::string& target, Reply reply);

    int requestCount() const { return requests_.load(); }
    std::string lastUserAgent() const;
    // Every request line received, as sent ("GET /x%20y HTTP/1.1"), in order.
    std::vector<std::string> requestLines() const;

private:
    void run();
    // Reads a request head; false when the peer went away or a stop came first.
    bool readHead(int fd, std::string& head);
    void answer(int fd, const std::string& head);
    // True when the connection is to be held open.
    bool answerFromTable(int fd, const std::string& head);
    void start();

    std::filesystem::path folder_;
    Mode mode_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    mutable std::mutex mutex_;
    std::string lastUserAgent_;
    std::vector<std::string> requestLines_;
    std::optional<Replies> replies_;  // set for a table server; under mutex_
    std::vector<int> heldOpen_;  // silent mode's connections; only the server thread touches them
    std::thread thread_;
};

}  // namespace clv::test
