#pragma once
// The user aircraft as the simulator reports it: one 96-byte block that the
// SimConnect side fills and the RealTraffic link reports from.
#include <cstddef>
#include <cstdint>

namespace clv {

struct UserAcData {
    double latitude = 0.0;         // degrees; 0 until the first data has come
    double longitude = 0.0;        // degrees
    double pitch = 0.0;            // radians, negative is nose up
    double bank = 0.0;             // radians
    double trueHeading = 0.0;      // radians
    double altitude = 0.0;         // feet
    double altAboveGround = 0.0;   // feet
    double groundVelocity = 0.0;   // knots
    std::int64_t zuluTime = 0;     // seconds of the UTC day
    std::int64_t zuluDayOfYear = 0;  // 1 for 1 January
    std::int64_t zuluYear = 0;
    std::int64_t lightStates = 0;  // bit mask
};

// The block is copied byte for byte from the simulator's reply.
inline constexpr std::size_t kUserAcDataSize = 96;
static_assert(sizeof(UserAcData) == kUserAcDataSize);
static_assert(offsetof(UserAcData, groundVelocity) == 56);
static_assert(offsetof(UserAcData, zuluTime) == 64);
static_assert(offsetof(UserAcData, lightStates) == 88);

}  // namespace clv

// No position yet: the box near 0/0 (bounds included) that stands for "not known".
inline constexpr bool gf_isNullPosition(double latitude, double longitude) {
    return latitude >= 0.0 && latitude <= 0.0009 && longitude >= 0.0 && longitude <= 0.05;
}
