#pragma once
// Decoding of add-on airport BGL files: the probe that tells whether a file holds
// an airport section, and the walk that finds the airport records and decodes
// their code, altitude, helipads and parking positions. The file is read through
// a window of bounded size, never as a whole, so several workers can decode large
// all-in-one files at once. Every anomaly of the file ends in a report line.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "airports/parking/addon_reference.h"

namespace clv {

// One stand decoded from a helipad or a parking entry, in the file's units.
struct BglStand {
    std::string name;
    double lat = 0.0;         // degrees
    double lon = 0.0;         // degrees
    double headingRad = 0.0;  // a parking heading of 0 is kept as 2 pi
    double radiusM = 0.0;     // metres
    std::uint8_t parkingType = 0;  // 0 for a helipad
    bool cargo = false;
    bool ramp = false;
    bool heli = false;
    bool group = false;  // the name got a letter because another stand had it
};

struct BglAirport {
    std::string code;
    std::string airportName;          // from the reference data; "" when unknown
    std::uint64_t recordOffset = 0;   // where the airport record starts in the file
    double lat = 0.0;                 // the record's reference point
    double lon = 0.0;
    std::int32_t altitudeMm = 0;      // as the record gives it
    std::int32_t altitudeFt = 0;      // the altitude to use
    bool altitudeFromReference = false;
    std::vector<BglStand> stands;     // in decoding order
    std::int32_t helipadCounter = 1;  // minus 1: the number of helipads
    bool duplicateName = false;       // some parking names got a letter
};

// Receives what one file's walk finds. One sink serves one worker.
class BglAirportSink {
public:
    virtual ~BglAirportSink() = default;
    // An airport record with a clean code; false leaves its contents undecoded.
    virtual bool beginAirport(const std::string& code) {
        (void)code;
        return true;
    }
    virtual void airportDecoded(BglAirport& airport) = 0;
    // The file holds an airport of the newer simulator generation that cannot be
    // decoded; nothing more of the file is decoded.
    virtual void notRecognised(const std::filesystem::path& path) { (void)path; }
};

struct BglDecodeSetup {
    bool msfs2020 = true;  // off: the undecodable-airport marker sends the file to notRecognised
    // Where report lines go; gf_addScanReport when empty.
    std::function<void(std::string_view line)> report;
    AddonReference reference;
};

enum class BglFileKind {
    NotAirportFile,  // cannot be opened, too short, wrong header size
    Walked,          // its airport sections were walked (anomalies reported)
    NotRecognised,   // sent to the sink's notRecognised
};

// Accepted altitudes of an airport record, feet; outside, the reference data's.
inline constexpr std::int32_t kLowestAirportFt = -1500;
inline constexpr std::int32_t kHighestAirportFt = 15000;

// Stand radius limits, metres: a parking entry must lie strictly between them.
inline constexpr float kSmallestStandRadiusM = 1.0f;
inline constexpr float kLargestStandRadiusM = 200.0f;

}  // namespace clv

// Whether the file holds an airport section (type 3). False for a file that cannot
// be opened, is below 15 bytes, names no section or is too short for its section table.
bool lf_probeBgl(const std::filesystem::path& path);

// The packed identifier as text: base-38 digits of code >> 5, blank, 0-9, A-Z.
// ok is true only for exactly four characters without a blank.
std::string lf_decodeIdentifierOrRegionCode(std::uint32_t code, bool& ok);

// The text of a parking name index (0 to 63): "", "r", "p", ... "g", "", then one
// character from "A" on. An index above 63 gives "".
std::string gf_parkingNameText(std::uint32_t index);

// Walks every airport section of the file and hands each decoded airport to the sink.
clv::BglFileKind gf_decodeBglFile(const std::filesystem::path& path, const clv::BglDecodeSetup& setup,
                                  clv::BglAirportSink& sink);

// The scan worker's body for one file: decodes it and, however it ends, lowers the
// running-worker count exactly once. An exception is logged as a marked line and
// passed on to whoever waits for the worker.
void lf_toParkingPositions(const std::filesystem::path& path, const clv::BglDecodeSetup& setup,
                           clv::BglAirportSink& sink);

// Gives the names of every group of stands that had to share one id anew, largest
// radius first: B, B+"a", B+"b", ... in that order; the stands keep their places.
void lf_renameStandGroup(clv::BglAirport& airport);
