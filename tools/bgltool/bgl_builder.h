#pragma once
// Writes airport BGL files from a plain description, for tests, benchmarks and the
// bgltool command: the file header, the section table, airport sections with one
// subsection of airport records (reference point, altitude, name, helipads, parking
// list, child records of other ids) and sections of other types with records of
// any id and size. Sizes of records of other ids are written as given, so a file
// with a record of size 0 or a negative size can be made too.
//
// Description text, one item a line ('#' starts a comment):
//   section <type> [flags]                 a new section; type 3 holds airports
//   airport <CODE> <lat> <lon> <alt_m>     an airport record in the current section
//   ident <number>                         the airport's packed identifier as a number
//   name <text...>                         the airport's name sub-record
//   helipad <lat> <lon> <size_m>
//   parking <name_index> <number> <type> <radius_m> <heading_deg> <lat> <lon> [airline...]
//                                          consecutive parking lines form one parking list
//   child <id> <size>                      a sub-record of another id in the current airport
//   record <id> <size>                     a record of its own in the current section
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace clv::bgltool {

struct HelipadDescription {
    double lat = 0.0;
    double lon = 0.0;
    float sizeM = 0.0f;
};

struct ParkingDescription {
    std::uint8_t nameIndex = 0;
    std::uint16_t number = 0;
    std::uint8_t type = 0;
    float radiusM = 0.0f;
    float headingDeg = 0.0f;
    double lat = 0.0;
    double lon = 0.0;
    std::vector<std::string> airlines;
};

struct ParkingListDescription {
    std::vector<ParkingDescription> entries;
};

// A record of any id: its header with `size` as given, then zero bytes up to
// `size` (at least the header, rounded up to whole words).
struct RawRecordDescription {
    std::uint16_t id = 0;
    std::int32_t size = 8;
};

struct NameDescription {
    std::string name;
};

using AirportChild = std::variant<HelipadDescription, ParkingListDescription, RawRecordDescription, NameDescription>;

struct AirportDescription {
    std::string code;                   // packed with gf_encodeIdentifier
    std::optional<std::uint32_t> ident; // written instead of the packed code
    double lat = 0.0;
    double lon = 0.0;
    double altitudeM = 0.0;
    std::vector<AirportChild> children;
};

using SectionRecord = std::variant<AirportDescription, RawRecordDescription>;

struct SectionDescription {
    std::uint32_t type = 3;
    std::uint32_t flags = 0;
    std::vector<SectionRecord> records;
};

struct BglDescription {
    std::vector<SectionDescription> sections;
};

// The identifier packing the decoder reads: base-38 digits (blank 0, "0"-"9" 2-11,
// "A"-"Z" 12-37), shifted left by 5 bits. Throws std::invalid_argument for other
// characters or a code too long for 32 bits.
std::uint32_t gf_encodeIdentifier(std::string_view code);

// The bytes of the file.
std::string gf_buildBgl(const BglDescription& blueprint);

// Throws std::runtime_error naming the line of a description it cannot read.
BglDescription gf_parseBglDescription(std::string_view text);

// The bgl coordinate units of a position (rounded to the nearest unit).
std::uint32_t gf_bglLongitudeUnits(double lon);
std::uint32_t gf_bglLatitudeUnits(double lat);

}  // namespace clv::bgltool

// What the program's decoder reads from a BGL file, as text: one line per airport
// (code, position, altitude, name) with its stands and helipads below it, then the
// decoder's report lines.
std::string gf_bglDumpText(const std::string& path, bool msfs2020);
// The same; `airportFile` is false for a file the decoder does not take for a BGL file
// at all (too short, no BGL header).
std::string gf_bglDumpText(const std::string& path, bool msfs2020, bool& airportFile);
