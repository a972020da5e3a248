#pragma once
// HTTP(S) downloads into files through libcurl's easy interface, the version
// files of the download server, and the server's base URL.
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <curl/curl.h>

#include "core/version.h"

namespace clv {

// Owns one libcurl easy handle; libcurl's global set-up runs once, on first use.
// get() is null when libcurl could not make a handle.
class CurlHandle {
public:
    CurlHandle();
    ~CurlHandle();
    CurlHandle(const CurlHandle&) = delete;
    CurlHandle& operator=(const CurlHandle&) = delete;
    CurlHandle(CurlHandle&& other) noexcept;
    CurlHandle& operator=(CurlHandle&& other) noexcept;

    CURL* get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    CURL* handle_ = nullptr;
};

// Limits that keep a server that never answers, or stalls, from holding a run.
struct DownloadTimeouts {
    std::chrono::milliseconds connect{10'000};
    // The transfer is aborted when it stays below lowSpeedBytes per second for lowSpeedTime.
    long lowSpeedBytes = 1;
    std::chrono::seconds lowSpeedTime{20};
};

}  // namespace clv

// The limits every new Downloader starts with; tests shorten them.
clv::DownloadTimeouts gf_downloadTimeouts();
void gf_setDownloadTimeouts(const clv::DownloadTimeouts& timeouts);

namespace clv {

// Fetches URLs into files. One Downloader is used by one thread at a time.
class Downloader {
public:
    // With a handle of its own.
    Downloader();
    // With the caller's handle, which must outlive the Downloader; null downloads nothing.
    explicit Downloader(CURL* handle);
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // Fetches the URL into `target`: the data goes to a ".part" temporary of its
    // own (gf_temporaryPath), which replaces the target only when the whole
    // transfer succeeded, so a failed download leaves an existing target as it
    // was. HTTP answers of 400 and above fail. A transfer is aborted when a stop is requested.
    bool download(const std::string& url, const std::filesystem::path& target, bool binary);

    // The version file at the URL (through "version.json" in the current
    // folder, removed afterwards); 0.0.0 when it cannot be fetched or read.
    Version downloadVersion(const std::string& url);

    // libcurl's text for the last failed transfer; empty after a success.
    const std::string& lastError() const { return lastError_; }

    DownloadTimeouts timeouts = gf_downloadTimeouts();

private:
    std::optional<CurlHandle> owned_;
    CURL* handle_ = nullptr;
    std::string lastError_;
};

}  // namespace clv

// The download server's base folder URL, ending in "/": the environment variable
// CALVORINTH_SERVER_URL when it is set (set but empty means no server), else the
// build setting CLV_SERVER_URL. Empty when there is no server.
std::string gf_serverBaseUrl();

// Whether a download server is configured.
bool gf_serverConfigured();

// For a check that needs the server: true when one is configured, else logs
// "No download server configured, {} skipped" with `what` and returns false.
bool gf_requireServer(std::string_view what);
