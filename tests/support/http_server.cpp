#include "support/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace clv::test {
namespace {

constexpr int kPollMs = 100;
constexpr size_t kMaxHead = 16 * 1024;

bool sendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The request's path below the folder, or nothing for anything that could leave it.
bool requestedFile(const std::string& head, std::filesystem::path& relative) {
    auto firstSpace = head.find(' ');
    if (firstSpace == std::string::npos || head.compare(0, firstSpace, "GET") != 0) return false;
    auto secondSpace = head.find(' ', firstSpace + 1);
    if (secondSpace == std::string::npos) return false;
    std::string target = head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    target = target.substr(0, target.find('?'));
    if (target.empty() || target.front() != '/') return false;
    relative = std::filesystem::path(target.substr(1)).lexically_normal();
    if (relative.empty()) return false;
    for (const auto& part : relative) {
        if (part == "..") return false;
    }
    return true;
}

std::string response(const std::string& status, size_t length) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(length) +
           "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
}

std::string statusText(int status) {
    switch (status) {
        case 200: return "200 OK";
        case 404: return "404 Not Found";
        case 500: return "500 Internal Server Error";
        default: return std::to_string(status) + " Status";
    }
}

// The request target exactly as sent, or "" for a malformed request line.
std::string rawTarget(const std::string& head) {
    auto firstSpace = head.find(' ');
    if (firstSpace == std::string::npos) return {};
    auto secondSpace = head.find(' ', firstSpace + 1);
    if (secondSpace == std::string::npos) return {};
    return head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
}

}  // namespace

HttpServer::HttpServer(std::filesystem::path folder, Mode mode) : folder_(std::move(folder)), mode_(mode) { start(); }

HttpServer::HttpServer(Replies replies) : mode_(Mode::Serve), replies_(std::move(replies)) { start(); }

void HttpServer::start() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("test server: no socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listenFd_, 16) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("test server: cannot listen on the loopback address");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

HttpServer::~HttpServer() { stop(); }

void HttpServer::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    for (int fd : heldOpen_) ::close(fd);
    heldOpen_.clear();
}

std::string HttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

std::string HttpServer::lastUserAgent() const {
    std::lock_guard lock(mutex_);
    return lastUserAgent_;
}

std::vector<std::string> HttpServer::requestLines() const {
    std::lock_guard lock(mutex_);
    return requestLines_;
}

void HttpServer::setReply(const std::string& target, Reply reply) {
    std::lock_guard lock(mutex_);
    if (!replies_) replies_.emplace();
    (*replies_)[target] = std::move(reply);
}

void HttpServer::run() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0 || (p.revents & POLLIN) == 0) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++requests_;
        if (mode_ == Mode::Silent) {
            heldOpen_.push_back(fd);
            continue;
        }
        std::string head;
        if (readHead(fd, head)) {
            bool table = false;
            {
                std::lock_guard lock(mutex_);
                table = replies_.has_value();
            }
            if (table && answerFromTable(fd, head)) {
                heldOpen_.push_back(fd);
                continue;
            }
            if (!table) answer(fd, head);
        }
        ::close(fd);
    }
}

bool HttpServer::readHead(int fd, std::string& head) {
    char buffer[1024];
    while (!stop_ && head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > kMaxHead) return false;
        pollfd p{fd, POLLIN, 0};
        int ready = ::poll(&p, 1, kPollMs);
        if (ready < 0) return false;
        if (ready == 0) continue;
        ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0) return false;
        head.append(buffer, static_cast<size_t>(n));
    }
    if (stop_) return false;
    {
        std::lock_guard lock(mutex_);
        requestLines_.push_back(head.substr(0, head.find("\r\n")));
    }
    auto lowered = lower(head);
    auto at = lowered.find("\r\nuser-agent:");
    if (at != std::string::npos) {
        auto start = at + 13;
        auto end = head.find("\r\n", start);
        std::string agent = head.substr(start, end - start);
        agent.erase(0, agent.find_first_not_of(' '));
        std::lock_guard lock(mutex_);
        lastUserAgent_ = agent;
    }
    return true;
}

bool HttpServer::answerFromTable(int fd, const std::string& head) {
    std::optional<Reply> reply;
    {
        std::lock_guard lock(mutex_);
        auto found = replies_->find(rawTarget(head));
        if (found != replies_->end()) reply = found->second;
    }
    if (!reply) {
        const std::string body = "not found";
        sendAll(fd, response(statusText(404), body.size()) + body);
        return false;
    }
    if (reply->kind == Reply::Kind::Silent) return true;
    // The delay ends early when the server stops.
    const auto until = std::chrono::steady_clock::now() + reply->delay;
    while (!stop_ && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long>(kPollMs, reply->delay.count())));
    }
    if (stop_) return false;
    const std::string prefix = response(statusText(reply->status), reply->body.size());
    if (reply->kind == Reply::Kind::CloseMidBody) {
        sendAll(fd, prefix + reply->body.substr(0, reply->body.size() / 2));
        return false;
    }
    sendAll(fd, prefix + reply->body);
    return false;
}

void HttpServer::answer(int fd, const std::string& head) {
    std::filesystem::path relative;
    std::error_code ec;
    if (!requestedFile(head, relative) || !std::filesystem::is_regular_file(folder_ / relative, ec)) {
        const std::string body = "not found";
        sendAll(fd, response("404 Not Found", body.size()) + body);
        return;
    }
    std::ifstream in(folder_ / relative, std::ios::binary);
    std::string body(std::istreambuf_iterator<char>(in), {});
    if (mode_ == Mode::Truncated) {
        sendAll(fd, response("200 OK", body.size()) + body.substr(0, body.size() / 2));
        return;
    }
    sendAll(fd, response("200 OK", body.size()) + body);
}

}  // namespace clv::test
