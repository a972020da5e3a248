#include "core/version.h"

#include <exception>
#include <regex>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace clv {

Version::Version(const std::string& text) {
    if (text.empty()) return;
    try {
        static const std::regex kDotted("(\\d+).(\\d+).(\\d+)");
        std::smatch m;
        if (std::regex_match(text, m, kDotted)) {
            major = std::stoi(m[1].str());
            minor = std::stoi(m[2].str());
            patch = std::stoi(m[3].str());
            return;
        }
        auto json = nlohmann::json::parse(text);
        major = json.at("major").get<std::int32_t>();
        minor = json.at("minor").get<std::int32_t>();
        patch = json.at("patch").get<std::int32_t>();
    } catch (const std::exception&) {
        // Keep what was read so far; the rest stays 0.
    }
}

std::string Version::toString() const { return fmt::format("{}.{}.{}", major, minor, patch); }

}  // namespace clv
