#pragma once
#include <compare>
#include <cstdint>
#include <string>

namespace clv {

// A three-part version; what cannot be read stays 0, so unreadable text is 0.0.0.
struct Version {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t patch = 0;

    constexpr Version() = default;
    constexpr Version(std::int32_t ma, std::int32_t mi, std::int32_t pa) : major(ma), minor(mi), patch(pa) {}
    // "10.10.9" or a JSON object with "major", "minor" and "patch".
    explicit Version(const std::string& text);

    std::string toString() const;
    std::string asString() const { return toString(); }

    friend constexpr auto operator<=>(const Version&, const Version&) = default;
};

}  // namespace clv

// The running program's version.
inline constexpr clv::Version g_programVersion{10, 10, 9};
