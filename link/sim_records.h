#pragma once
// The data blocks the program sends to and receives from the simulator, the
// command records that carry SimConnect work from other threads to the
// SimConnect thread, and one reader per received block.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "link/user_aircraft.h"
#include "platform/simconnect.h"

namespace clv {

// Definition 402: the position block set on a moving AI aircraft.
struct AiPositionData {
    double latitude = 0.0;       // degrees
    double longitude = 0.0;      // degrees
    double pitch = 0.0;          // radians
    double bank = 0.0;           // radians
    double trueHeading = 0.0;    // radians
    double altitude = 0.0;       // feet
    double verticalSpeed = 0.0;  // feet per second
    double trueAirspeed = 0.0;   // knots
};
inline constexpr std::size_t kAiPositionDataSize = 64;
static_assert(sizeof(AiPositionData) == kAiPositionDataSize);

// Definition 401: spoilers and throttles in percent.
struct AiControlsData {
    double spoilersHandle = 0.0;
    double throttle1 = 0.0;
    double throttle2 = 0.0;
};
inline constexpr std::size_t kAiControlsDataSize = 24;
static_assert(sizeof(AiControlsData) == kAiControlsDataSize);

// Definition 404: one aircraft of a reply by type.
struct AcInRangeData {
    double altAboveGround = 0.0;  // feet
    double groundAltitude = 0.0;  // feet
    std::uint32_t onGround = 0;   // the low 32 bits of the block's 64-bit value
    std::string atcId;            // up to the first NUL of its 32 characters
};
inline constexpr std::size_t kAcInRangeDataSize = 56;
inline constexpr std::size_t kAcInRangeAltAboveGroundOffset = 0;
inline constexpr std::size_t kAcInRangeGroundAltitudeOffset = 8;
inline constexpr std::size_t kAcInRangeOnGroundOffset = 16;
inline constexpr std::size_t kAcInRangeAtcIdOffset = 24;
inline constexpr std::size_t kAtcIdSize = 32;

// Definition 405.
struct StaticCgData {
    double staticCgToGround = 0.0;  // feet
    double staticPitch = 0.0;       // radians
};
inline constexpr std::size_t kStaticCgDataSize = 16;
static_assert(sizeof(StaticCgData) == kStaticCgDataSize);

inline constexpr std::size_t kOnGroundDataSize = 8;  // definition 409
inline constexpr std::size_t kAtcModelSize = 32;     // definition 408

// One queued client event.
struct ClientEventCmd {
    std::uint32_t objectId = 0;
    std::uint32_t eventId = 0;  // a ClientEventId
    std::uint32_t data = 0;
};

// One queued position block and the object it moves.
struct AiPositionUpdate {
    AiPositionData block;
    std::uint32_t objectId = 0;
};

// Hexids up to this one are the static parked aircraft's serials; the feed's
// live aircraft have larger ones.
inline constexpr std::uint32_t kLastStaticHexid = 10000;

// One queued AI creation. The request owns its texts: the livery index they may
// come from can be cleared by the window while the request waits for a frame.
struct AcCreateRequest {
    ScInitPosition position;  // degrees, feet, knots
    std::string callsign;     // sent as the tail number, comes back as the ATC ID
    std::string title;        // the livery title
    std::uint32_t hexid = 0;  // up to kLastStaticHexid: a static parked aircraft; above: live traffic
};

// A creation that was sent and waits for its object to show up.
struct alignas(64) PendingCreation {
    std::uint32_t packetId = 0;  // 0 when it could not be read
    std::uint32_t hexid = 0;
    std::string callsign;
    std::uint32_t requestId = 0;  // the creation's own request id
    std::uint32_t objectId = 0;   // the object the simulator made for it; 0 while not told
};

}  // namespace clv

// Readers of the received blocks; nothing when the block is too short.
std::optional<clv::UserAcData> gf_readUserAcData(const clv::ScRecvSimObjectData& message);
std::optional<clv::AcInRangeData> gf_readAcInRange(const clv::ScRecvSimObjectData& message);
std::optional<clv::StaticCgData> gf_readStaticCg(const clv::ScRecvSimObjectData& message);
// Definition 409: whether the low 32 bits are nonzero.
std::optional<bool> gf_readOnGround(const clv::ScRecvSimObjectData& message);
// A NUL-terminated text of at most `capacity` bytes (definitions 407 and 408).
std::string gf_readText(const clv::ScRecvSimObjectData& message, std::size_t capacity);
