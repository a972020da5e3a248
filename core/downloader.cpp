#include "core/downloader.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/stop_flags.h"
#include "core/text.h"

// The build's download server; the environment may override it.
#ifndef CLV_SERVER_URL
#define CLV_SERVER_URL ""
#endif

namespace fs = std::filesystem;

namespace {

constexpr const char* kUserAgent = "CLVR";
constexpr const char* kServerUrlVariable = "CALVORINTH_SERVER_URL";
constexpr const char* kPartSuffix = ".part";

std::mutex g_timeoutsMutex;
clv::DownloadTimeouts g_timeouts;

void lf_globalInitOnce() {
    // libcurl's global set-up is not thread-safe itself; do it exactly once.
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)result;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

size_t lf_writeBlock(char* data, size_t size, size_t count, void* user) {
    return std::fwrite(data, 1, size * count, static_cast<std::FILE*>(user));
}

// A transfer in progress ends when the run is asked to stop or the window closes.
int lf_abortOnStop(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return (stopRequested.load() || userClosedWindow.load()) ? 1 : 0;
}

}  // namespace

namespace clv {

CurlHandle::CurlHandle() {
    lf_globalInitOnce();
    handle_ = curl_easy_init();
}

CurlHandle::~CurlHandle() {
    if (handle_ != nullptr) curl_easy_cleanup(handle_);
}

CurlHandle::CurlHandle(CurlHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

CurlHandle& CurlHandle::operator=(CurlHandle&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) curl_easy_cleanup(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

Downloader::Downloader() : owned_(std::in_place), handle_(owned_->get()) {}

Downloader::Downloader(CURL* handle) : handle_(handle) {}

bool Downloader::download(const std::string& url, const fs::path& target, bool binary) {
    lastError_.clear();
    if (handle_ == nullptr) {
        lastError_ = "no download handle";
        return false;
    }
    const fs::path part = gf_temporaryPath(target, kPartSuffix);
    try {
        FilePtr file(std::fopen(part.c_str(), binary ? "wb" : "w"));
        if (!file) {
            gf_log("could not open output file: {}", target.string());
            lastError_ = "could not open output file";
            return false;
        }
        char errorText[CURL_ERROR_SIZE] = {};
        curl_easy_setopt(handle_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle_, CURLOPT_USERAGENT, kUserAgent);
        curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &lf_writeBlock);
        curl_easy_setopt(handle_, CURLOPT_WRITEDATA, file.get());
        curl_easy_setopt(handle_, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, errorText);
        // Time-outs would otherwise use signals, which threads must not.
        curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
        curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, timeouts.lowSpeedBytes);
        curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeouts.lowSpeedTime.count()));
        curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, &lf_abortOnStop);
        curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);

        const CURLcode result = curl_easy_perform(handle_);

        // The handle may be the caller's: leave no pointer to this frame in it.
        curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, nullptr);
        curl_easy_setopt(handle_, CURLOPT_WRITEDATA, nullptr);
        // A failed close (a full disk, say) loses data as surely as a failed transfer.
        const bool closed = std::fclose(file.release()) == 0;
        bool ok = result == CURLE_OK && closed;
        if (result != CURLE_OK) {
            lastError_ = errorText[0] != '\0' ? std::string(errorText) : std::string(curl_easy_strerror(result));
        } else if (!closed) {
            lastError_ = "could not write output file";
        }
        if (ok) {
            std::error_code ec;
            fs::rename(part, target, ec);
            if (ec) {
                lastError_ = ec.message();
                ok = false;
            }
        }
        if (!ok) {
            std::error_code ignored;
            fs::remove(part, ignored);
        }
        return ok;
    } catch (const std::exception& e) {
        gf_log("downloader exception: \"{}\", {} => {}", e.what(), url, target.string());
        lastError_ = e.what();
        std::error_code ignored;
        fs::remove(part, ignored);
        return false;
    }
}

Version Downloader::downloadVersion(const std::string& url) {
    if (!download(url, g_versionJsonFile, false)) {
        gf_log("downloading \"{}\" failed", url);
        return {};
    }
    std::vector<std::string> lines;
    {
        std::ifstream in(g_versionJsonFile, std::ios::binary);
        gf_readLines(in, lines);
    }
    // Throws a filesystem error naming "remove" and the path.
    if (fs::exists(g_versionJsonFile)) fs::remove(g_versionJsonFile);
    return lines.empty() ? Version{} : Version(lines.front());
}

}  // namespace clv

clv::DownloadTimeouts gf_downloadTimeouts() {
    std::lock_guard lock(g_timeoutsMutex);
    return g_timeouts;
}

void gf_setDownloadTimeouts(const clv::DownloadTimeouts& timeouts) {
    std::lock_guard lock(g_timeoutsMutex);
    g_timeouts = timeouts;
}

std::string gf_serverBaseUrl() {
    const char* fromEnvironment = std::getenv(kServerUrlVariable);
    std::string url = gf_trim(fromEnvironment != nullptr ? fromEnvironment : CLV_SERVER_URL);
    // Paths below the base are appended directly, so the base must end a folder.
    if (!url.empty() && url.back() != '/') url += '/';
    return url;
}

bool gf_serverConfigured() { return !gf_serverBaseUrl().empty(); }

bool gf_requireServer(std::string_view what) {
    if (gf_serverConfigured()) return true;
    gf_log("No download server configured, {} skipped", what);
    return false;
}
