#pragma once
// Log.txt: whole lines from every thread, each written and flushed under one mutex.
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

void gf_log(std::string_view text);
void gf_logMarked(std::string_view text);    // "===> " before the text
void gf_logIndented(std::string_view text);  // ten blanks before the text
void gf_logIfRunning(std::string_view text); // nothing while a run is stopping

// Formatting variants; the line is built before the log mutex is taken.
template <typename A0, typename... A>
void gf_log(fmt::format_string<A0, A...> f, A0&& a0, A&&... a) {
    gf_log(std::string_view(fmt::format(f, std::forward<A0>(a0), std::forward<A>(a)...)));
}
template <typename A0, typename... A>
void gf_logMarked(fmt::format_string<A0, A...> f, A0&& a0, A&&... a) {
    gf_logMarked(std::string_view(fmt::format(f, std::forward<A0>(a0), std::forward<A>(a)...)));
}
template <typename A0, typename... A>
void gf_logIndented(fmt::format_string<A0, A...> f, A0&& a0, A&&... a) {
    gf_logIndented(std::string_view(fmt::format(f, std::forward<A0>(a0), std::forward<A>(a)...)));
}
template <typename A0, typename... A>
void gf_logIfRunning(fmt::format_string<A0, A...> f, A0&& a0, A&&... a) {
    gf_logIfRunning(std::string_view(fmt::format(f, std::forward<A0>(a0), std::forward<A>(a)...)));
}

// While it lives, the lines logged on its thread are kept in `lines` (prefix
// included) instead of written: a worker's lines that belong at a later point of
// the log, written there with gf_logLines.
namespace clv {
class LogHold {
public:
    explicit LogHold(std::vector<std::string>& lines);
    ~LogHold();
    LogHold(const LogHold&) = delete;
    LogHold& operator=(const LogHold&) = delete;

private:
    std::vector<std::string>* previous_;
};
}  // namespace clv

// Captured lines, written as they are.
void gf_logLines(const std::vector<std::string>& lines);

// Keeps two previous copies of a file: X0 takes X, X00 takes X0 (copies, not moves).
void gf_rotateFile(const std::filesystem::path& path);

// Rotates Log.txt in `folder` (the current folder by default), opens it afresh
// and writes the header line. Throws std::runtime_error or a filesystem error.
void gf_openLog(const std::filesystem::path& folder = {});

// Writes the closing date line and closes the log; writers do nothing afterwards.
void gf_closeLog();

bool gf_logIsOpen();
