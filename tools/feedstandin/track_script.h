#pragma once
// Traffic lines in RealTraffic's comma-separated layout, made from a small track
// script (aircraft and their timed positions) or read from a recorded file.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace clv {

// Who the aircraft is; empty texts are sent as "null".
struct FeedIdentity {
    std::uint32_t hexid = 0;
    std::string callsign;
    std::string type;
    std::string registration;
    std::string airline;  // carried in a field the program does not read
    std::string origin;
    std::string destination;
    std::string category;             // ADS-B emitter category such as "A3"; empty allowed
    std::string source = "adsb_icao"; // the data source; "adsb_icao" carries a true heading
};

// One position of a track, `time` seconds after the script's start.
struct FeedPoint {
    double time = 0.0;
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;       // feet
    double groundSpeed = 0.0;    // knots
    std::optional<double> track; // degrees; none leaves the field empty
    double verticalSpeed = 0.0;  // feet per minute
    bool onGround = false;
    double trueAirspeed = -1.0;  // knots; -1 unknown
    double roll = 0.0;           // degrees, right wing down positive; 0 none
    std::optional<double> heading;  // true heading; the track when none
};

struct FeedTrack {
    FeedIdentity identity;
    std::vector<FeedPoint> points;
};

struct FeedScript {
    double every = 0.0;  // seconds between lines along a track; 0: one line per point
    std::vector<FeedTrack> tracks;
};

// A traffic line due `offset` seconds after the start of the replay.
struct TimedLine {
    double offset = 0.0;
    std::string text;
};

}  // namespace clv

// The field numbers of a traffic line the program reads.
inline constexpr std::size_t kFeedFieldCount = 29;
inline constexpr std::size_t kFeedTimestampField = 14;

// Reads a track script; throws std::runtime_error "line {}: {}" on a mistake.
clv::FeedScript gf_readTrackScript(std::string_view text);

// One traffic line of 29 fields for the aircraft at the point, stamped `timestamp`.
std::string gf_trafficLine(const clv::FeedIdentity& identity, const clv::FeedPoint& point, double timestamp);

// The lines of every track, in time order, stamped startTimestamp + their time.
std::vector<clv::TimedLine> gf_linesOfScript(const clv::FeedScript& script, double startTimestamp);

// The traffic lines of a recorded file (one per line; empty lines and lines that
// start with '#' are skipped), timed by their time stamps relative to the first.
// With restampFrom, every line gets restampFrom + its offset as its time stamp.
std::vector<clv::TimedLine> gf_readReplayLines(std::string_view text, std::optional<double> restampFrom = {});
