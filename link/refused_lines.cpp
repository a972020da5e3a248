#include "link/refused_lines.h"

#include <fmt/format.h>

#include "core/log.h"
#include "core/text.h"

namespace clv {

namespace {

constexpr std::array<std::string_view, kRefusalKinds> kKindNames{"text bytes", "impossible value", "stamp"};

}  // namespace

void RefusedLines::note(Refusal kind, std::string_view reason, std::string_view line) {
    const Clock::time_point at = now();
    flushAt(at);
    if (!open_) {
        gf_log("traffic line refused ({}): {}", reason, gf_escapedExcerpt(line));
        open_ = true;
        minuteEnd_ = at + interval_;
        return;
    }
    const auto k = static_cast<std::size_t>(kind);
    if (counts_[k]++ == 0) firstReasons_[k].assign(reason);
}

void RefusedLines::flush() {
    if (open_) flushAt(now());
}

void RefusedLines::flushAt(Clock::time_point at) {
    if (!open_ || at < minuteEnd_) return;
    std::string kinds;
    for (std::size_t k = 0; k < kRefusalKinds; ++k) {
        if (counts_[k] == 0) continue;
        if (!kinds.empty()) kinds += ", ";
        kinds += fmt::format("{} {} (first: {})", kKindNames[k], counts_[k], firstReasons_[k]);
        counts_[k] = 0;
        firstReasons_[k].clear();
    }
    if (kinds.empty()) {
        // A quiet minute: the next refusal is written at once.
        open_ = false;
        return;
    }
    gf_log("traffic lines refused in the last minute: {}", kinds);
    minuteEnd_ = at + interval_;
}

}  // namespace clv
