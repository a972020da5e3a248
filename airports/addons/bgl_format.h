#pragma once
// The parts of a compiled scenery file (BGL) that the add-on airport scan reads:
// ids, sizes and offsets of each record kind, and one reader per kind. All numbers
// are little-endian. Every reader takes the bytes of exactly one record (or header)
// and checks each field against them, so no read reaches past a record's end.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace clv::bgl {

// ---- file header -------------------------------------------------------------
inline constexpr std::uint32_t kHeaderSize = 56;
inline constexpr std::size_t kHeaderSizeOffset = 4;     // u32, must be kHeaderSize
inline constexpr std::size_t kSectionCountOffset = 20;  // u32
// The probe refuses files below this size before it reads the header.
inline constexpr std::uint64_t kMinimumFileSize = 15;
// The worker wants at least this many whole words (the header and a little more).
inline constexpr std::uint64_t kMinimumFileWords = 15;

// ---- section headers, from byte kHeaderSize on --------------------------------
inline constexpr std::size_t kSectionHeaderSize = 20;
inline constexpr std::size_t kSectionTypeOffset = 0;             // u32
inline constexpr std::size_t kSectionFlagsOffset = 4;            // u32
inline constexpr std::size_t kSectionSubsectionCountOffset = 8;  // u32
inline constexpr std::size_t kSectionFirstSubsectionOffset = 12; // u32, file offset
inline constexpr std::size_t kSectionTotalSizeOffset = 16;       // u32
inline constexpr std::uint32_t kSectionTypeAirport = 3;
// Subsection headers are 16 bytes when this flag bit is clear.
inline constexpr std::uint32_t kSectionFlagLongSubsections = 0x10000;
inline constexpr std::uint32_t kSectionFlagShortSubsections = 0x40000;

// ---- subsection header -------------------------------------------------------
inline constexpr std::size_t kSubsectionHeaderSize = 16;
inline constexpr std::size_t kSubsectionIdOffset = 0;            // u32
inline constexpr std::size_t kSubsectionRecordCountOffset = 4;   // u32
inline constexpr std::size_t kSubsectionFirstRecordOffset = 8;   // u32, file offset
inline constexpr std::size_t kSubsectionSizeOffset = 12;         // u32

// ---- record header, common to records and sub-records ---------------------------
inline constexpr std::size_t kRecordHeaderSize = 6;
inline constexpr std::size_t kRecordIdOffset = 0;    // u16
inline constexpr std::size_t kRecordSizeOffset = 2;  // u32, header included; read signed

inline constexpr std::uint16_t kRecordIdAirport = 86;
// Marks an airport whose contents cannot be decoded (newer simulator generation).
inline constexpr std::uint16_t kRecordIdUndecodableAirport = 275;
inline constexpr std::uint16_t kRecordIdAirportName = 25;
inline constexpr std::uint16_t kRecordIdHelipad = 38;
inline constexpr std::uint16_t kRecordIdParkingList = 231;

// ---- airport record (id 86) ------------------------------------------------------
inline constexpr std::size_t kAirportCountsOffset = 8;      // 4 x u8, counts of the airport's parts (not read)
inline constexpr std::size_t kAirportLongitudeOffset = 12;  // u32, the reference point
inline constexpr std::size_t kAirportLatitudeOffset = 16;   // u32
inline constexpr std::size_t kAirportAltitudeOffset = 20;   // i32, millimetres
inline constexpr std::size_t kAirportIdentOffset = 40;      // u32, packed ICAO identifier
inline constexpr std::size_t kAirportFirstChildOffset = 68; // sub-records up to the record's end

// ---- helipad sub-record (id 38) ----------------------------------------------------
inline constexpr std::size_t kHelipadLongitudeOffset = 12;  // u32
inline constexpr std::size_t kHelipadLatitudeOffset = 16;   // u32
inline constexpr std::size_t kHelipadSizeOffset = 28;       // float32, metres
inline constexpr std::size_t kHelipadMinimumSize = kHelipadSizeOffset + 4;
inline constexpr std::size_t kHelipadRecordSize = 36;  // as the builder writes it

// ---- parking list sub-record (id 231) and its entries --------------------------------
inline constexpr std::size_t kParkingCountOffset = 6;       // u16
inline constexpr std::size_t kParkingFirstEntryOffset = 8;
inline constexpr std::size_t kParkingEntrySize = 56;        // plus 4 per airline code
inline constexpr std::size_t kParkingAirlineCodeSize = 4;
inline constexpr std::size_t kParkingNameOffset = 0;        // u8, bits 0-5
inline constexpr std::size_t kParkingTypeOffset = 1;        // u8, bits 0-3
inline constexpr std::size_t kParkingNumberOffset = 1;      // u16, bits 4-15
inline constexpr std::size_t kParkingAirlineCountOffset = 3; // u8
inline constexpr std::size_t kParkingRadiusOffset = 4;      // float32, metres
inline constexpr std::size_t kParkingHeadingOffset = 8;     // float32, degrees
inline constexpr std::size_t kParkingLongitudeOffset = 28;  // u32
inline constexpr std::size_t kParkingLatitudeOffset = 32;   // u32
inline constexpr std::uint8_t kParkingNameMask = 0x3F;
inline constexpr std::uint8_t kParkingTypeMask = 0x0F;
inline constexpr unsigned kParkingNumberShift = 4;

// ---- coordinates -------------------------------------------------------------------
inline constexpr double kLongitudeUnits = 805306368.0;  // per 360 degrees
inline constexpr double kLatitudeUnits = 536870912.0;   // per 180 degrees

// A field or record that would reach past the bytes it was read from.
class BglRangeError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

// A view of the bytes of one record or header; every read is checked against it.
struct BglBytes {
    std::span<const std::byte> bytes;

    std::size_t size() const { return bytes.size(); }
    bool holds(std::size_t offset, std::size_t length) const {
        return offset <= bytes.size() && length <= bytes.size() - offset;
    }
    std::uint8_t u8(std::size_t offset) const;
    std::uint16_t u16(std::size_t offset) const;
    std::uint32_t u32(std::size_t offset) const;
    std::int32_t i32(std::size_t offset) const;
    float f32(std::size_t offset) const;
    // The bytes [offset, offset + length); throws BglRangeError when they are not all here.
    BglBytes sub(std::size_t offset, std::size_t length) const;
};

struct FileHeader {
    std::uint32_t headerSize = 0;
    std::uint32_t sectionCount = 0;
};

struct SectionHeader {
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    std::uint32_t subsectionCount = 0;
    std::uint32_t firstSubsectionOffset = 0;
    std::uint32_t totalSize = 0;
    // The subsection headers are the short (16-byte) ones this decoder reads.
    bool shortSubsections() const {
        return ((flags & kSectionFlagLongSubsections) | kSectionFlagShortSubsections) == kSectionFlagShortSubsections;
    }
};

struct SubsectionHeader {
    std::uint32_t firstRecordOffset = 0;
    std::uint32_t size = 0;  // bytes of its records
};

struct RecordHeader {
    std::uint16_t id = 0;
    std::int32_t size = 0;  // header included
    // How far the next record lies: whole words of the size, toward zero.
    std::int64_t step() const { return 4 * static_cast<std::int64_t>(size / 4); }
};

struct AirportRecord {
    std::uint32_t x = 0;  // the airport's reference point
    std::uint32_t y = 0;
    std::int32_t altitudeMm = 0;
    std::uint32_t ident = 0;
};

struct HelipadRecord {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    float sizeM = 0.0f;
};

struct ParkingEntry {
    std::uint8_t nameIndex = 0;
    std::uint8_t type = 0;
    std::uint16_t number = 0;
    std::uint8_t airlineCount = 0;
    float radiusM = 0.0f;
    float headingDeg = 0.0f;
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::size_t size() const { return kParkingEntrySize + kParkingAirlineCodeSize * airlineCount; }
};

// Each reader takes the bytes of its record from its first byte on.
FileHeader gf_readFileHeader(BglBytes bytes);
SectionHeader gf_readSectionHeader(BglBytes bytes);
SubsectionHeader gf_readSubsectionHeader(BglBytes bytes);
RecordHeader gf_readRecordHeader(BglBytes bytes);
AirportRecord gf_readAirportRecord(BglBytes record);
HelipadRecord gf_readHelipadRecord(BglBytes record);
std::uint16_t gf_readParkingCount(BglBytes record);
// The fixed part of one parking entry; the airline codes follow it.
ParkingEntry gf_readParkingEntry(BglBytes entry);

double gf_bglLongitude(std::uint32_t x);
double gf_bglLatitude(std::uint32_t y);

}  // namespace clv::bgl
