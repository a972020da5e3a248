#pragma once
// One position sample of an aircraft, as the feed reports it and the engine plays it.
#include <cstdint>

namespace clv {

struct PosSample {
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double roll = 0.0;       // radians, the feed's bank with its sign inverted
    bool hasRoll = false;
    double heading = 0.0;  // true heading, radians
    bool hasHeading = false;
    double altitude = 0.0;       // feet; 0 means on the ground
    double groundSpeed = 0.0;    // knots
    double track = 0.0;          // degrees
    double verticalSpeed = 0.0;  // feet per minute
    double trueAirspeed = 0.0;   // knots
    std::uint32_t dueTick = 0;   // traffic tick of arrival plus kSampleDelayTicks
    bool airborne = false;       // altitude above 0
    bool holdMark = false;       // the aircraft stands still at this sample; never set by the feed
    bool headingFromAdsb = false;  // the true heading came from an "adsb_icao" line
    // On the ground the feed's position jumped here from its line before, farther
    // than any taxi goes in the feed's time between them; never set by the feed.
    bool jumpMark = false;
    // The feed line's time stamp, seconds since 1970 (UTC), for the playback lag;
    // 0 for a sample the engine made, and once the aircraft has reached it.
    double feedTime = 0.0;
};

// Samples are played back 30 seconds (of 10 ms ticks) behind their arrival.
inline constexpr std::uint32_t kSampleDelayTicks = 3000;

}  // namespace clv
