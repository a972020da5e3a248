#include "link/qnh_receiver.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "core/log.h"
#include "core/text.h"
#include "core/ui_port.h"

namespace {

// The datagram's top-level "QNH" value; null when there is none.
nlohmann::json lf_parseQnh(const nlohmann::json& datagram) {
    if (!datagram.is_object()) return nullptr;
    auto found = datagram.find("QNH");
    return found == datagram.end() ? nlohmann::json() : *found;
}

// Outside bytes in a log line: at most the first 200, escaped; a repeating error
// once a minute with its count.
void lf_logRepeating(clv::LogThrottle& throttle, bool marked, const std::string& line) {
    const auto count = throttle.note(clv::LogThrottle::Clock::now());
    if (!count) return;
    const std::string text = *count > 1 ? fmt::format("{} ({} times since the last report)", line, *count) : line;
    if (marked)
        gf_logMarked(text);
    else
        gf_log(text);
}

}  // namespace

namespace clv {

void QnhReceiver::processDatagram() {
    try {
        const nlohmann::json qnh = lf_parseQnh(nlohmann::json::parse(lastDatagram));
        double candidate = kStandardQnh;
        if (qnh.is_null()) {
            lf_logRepeating(noQnhLog, false, fmt::format("no QNH {}", gf_escapedExcerpt(lastDatagram)));
            return;
        }
        if (qnh.is_number_integer()) {
            candidate = qnh.is_number_unsigned() ? static_cast<double>(qnh.get<std::uint64_t>())
                                                 : static_cast<double>(qnh.get<std::int64_t>());
        } else if (qnh.is_number_float()) {
            candidate = std::round(static_cast<float>(qnh.get<double>()));
        } else if (qnh.is_string()) {
            try {
                candidate = std::stoi(qnh.get<std::string>());
            } catch (const std::invalid_argument& e) {
                lf_logRepeating(badStringLog, true, fmt::format("QNH string invalid arg: {}", e.what()));
            } catch (const std::out_of_range& e) {
                lf_logRepeating(badStringLog, true, fmt::format("QNH string out of range: {}", e.what()));
            }
        } else {
            lf_logRepeating(noQnhLog, false, fmt::format("no QNH {}", gf_escapedExcerpt(lastDatagram)));
        }
        if (candidate > kHighestQnh) candidate = std::round(candidate * kHpaPerHundredthInch);
        if (!(candidate >= kLowestQnh && candidate <= kHighestQnh)) {
            lf_logRepeating(strangeQnhLog, false,
                            fmt::format("? Strange QNH {} found in {}", candidate, gf_escapedExcerpt(lastDatagram)));
            return;
        }
        const auto value = static_cast<std::int32_t>(candidate);
        // After a feed reset lastQnh is 1013 while currentQnh may hold another value,
        // so 1013 is always stored.
        if (value == lastQnh.load() && value != kStandardQnh) return;
        lastQnh = value;
        currentQnh = value;
        qnhDisplay = value;
        std::uint32_t silent = kLampSilent;
        weatherLamp.compare_exchange_strong(silent, kLampReceiving);
        gf_uiPort().requestRepaint();
    } catch (const std::exception& e) {
        lf_logRepeating(exceptionLog, false,
                        fmt::format("Exception {}, in {}", gf_escapedText(e.what()), gf_escapedExcerpt(lastDatagram)));
    }
}

void QnhReceiver::stopped() { gf_log("QNH Reader has stopped"); }

}  // namespace clv
