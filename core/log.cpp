#include "core/log.h"

#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/product.h"
#include "core/stop_flags.h"
#include "core/version.h"

namespace {

std::ofstream g_log;
std::mutex g_logMutex;

constexpr std::string_view kMarkPrefix = "===> ";
constexpr std::string_view kIndentPrefix = "          ";

thread_local std::vector<std::string>* t_capture = nullptr;

void writeLine(std::string_view prefix, std::string_view text) {
    if (t_capture) {
        std::string line(prefix);
        line += text;
        t_capture->push_back(std::move(line));
        return;
    }
    std::lock_guard lock(g_logMutex);
    if (!g_log.is_open()) return;
    g_log << prefix << text << '\n';
    g_log.flush();
}

}  // namespace

clv::LogHold::LogHold(std::vector<std::string>& lines) : previous_(t_capture) { t_capture = &lines; }

clv::LogHold::~LogHold() { t_capture = previous_; }

void gf_logLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) writeLine({}, line);
}

void gf_log(std::string_view text) { writeLine({}, text); }
void gf_logMarked(std::string_view text) { writeLine(kMarkPrefix, text); }
void gf_logIndented(std::string_view text) { writeLine(kIndentPrefix, text); }

void gf_logIfRunning(std::string_view text) {
    if (stopRequested.load() || userClosedWindow.load()) return;
    writeLine({}, text);
}

void gf_rotateFile(const std::filesystem::path& path) {
    const std::string text = path.string();
    const auto dot = text.find('.');
    if (text.empty() || dot == std::string::npos) return;
    // Log.txt -> Log0.txt -> Log00.txt. Composed, not inserted: an insert made g++ 12
    // warn of a copy bound it could not rule out (-Wstringop-overflow).
    const std::string_view name(text);
    const std::string first = fmt::format("{}0{}", name.substr(0, dot), name.substr(dot));
    const std::string second = fmt::format("{}00{}", name.substr(0, dot), name.substr(dot));
    namespace fs = std::filesystem;
    if (fs::exists(first)) fs::copy_file(first, second, fs::copy_options::overwrite_existing);
    if (fs::exists(path)) fs::copy_file(path, first, fs::copy_options::overwrite_existing);
}

void gf_openLog(const std::filesystem::path& folder) {
    const std::filesystem::path path = folder / "Log.txt";
    gf_rotateFile(path);
    std::string header = fmt::format("{} (utc) {} version {} for {}", gf_dateTimeString(gf_now()), clv::kProductName,
                                     g_programVersion.toString(), "MSFS 2020/2024");
    std::lock_guard lock(g_logMutex);
    if (g_log.is_open()) g_log.close();
    g_log.clear();
    g_log.open(path, std::ios::out | std::ios::trunc);
    if (!g_log.is_open()) {
        g_log.clear();
        throw std::runtime_error("Failed to write file " + path.string());
    }
    g_log << header << '\n';
    g_log.flush();
}

void gf_closeLog() {
    std::string last = gf_dateTimeString(gf_now());
    std::lock_guard lock(g_logMutex);
    if (!g_log.is_open()) return;
    g_log << last << '\n';
    g_log.close();
}

bool gf_logIsOpen() {
    std::lock_guard lock(g_logMutex);
    return g_log.is_open();
}
