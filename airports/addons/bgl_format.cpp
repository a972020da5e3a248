#include "airports/addons/bgl_format.h"

#include <bit>
#include <cstring>

#include <fmt/format.h>

namespace clv::bgl {

namespace {

void lf_require(const BglBytes& b, std::size_t offset, std::size_t length) {
    if (!b.holds(offset, length)) {
        throw BglRangeError(fmt::format("BGL read of {} bytes at {} past the end of {} bytes", length, offset, b.size()));
    }
}

template <typename T>
T lf_little(const BglBytes& b, std::size_t offset) {
    lf_require(b, offset, sizeof(T));
    // Byte by byte, so neither alignment nor host byte order matter.
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        value |= static_cast<std::uint64_t>(std::to_integer<std::uint8_t>(b.bytes[offset + i])) << (8 * i);
    }
    return static_cast<T>(value);
}

}  // namespace

std::uint8_t BglBytes::u8(std::size_t offset) const { return lf_little<std::uint8_t>(*this, offset); }
std::uint16_t BglBytes::u16(std::size_t offset) const { return lf_little<std::uint16_t>(*this, offset); }
std::uint32_t BglBytes::u32(std::size_t offset) const { return lf_little<std::uint32_t>(*this, offset); }
std::int32_t BglBytes::i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
float BglBytes::f32(std::size_t offset) const { return std::bit_cast<float>(u32(offset)); }

BglBytes BglBytes::sub(std::size_t offset, std::size_t length) const {
    lf_require(*this, offset, length);
    return BglBytes{bytes.subspan(offset, length)};
}

FileHeader gf_readFileHeader(BglBytes bytes) {
    return FileHeader{bytes.u32(kHeaderSizeOffset), bytes.u32(kSectionCountOffset)};
}

SectionHeader gf_readSectionHeader(BglBytes bytes) {
    SectionHeader header;
    header.type = bytes.u32(kSectionTypeOffset);
    header.flags = bytes.u32(kSectionFlagsOffset);
    header.subsectionCount = bytes.u32(kSectionSubsectionCountOffset);
    header.firstSubsectionOffset = bytes.u32(kSectionFirstSubsectionOffset);
    header.totalSize = bytes.u32(kSectionTotalSizeOffset);
    return header;
}

SubsectionHeader gf_readSubsectionHeader(BglBytes bytes) {
    return SubsectionHeader{bytes.u32(kSubsectionFirstRecordOffset), bytes.u32(kSubsectionSizeOffset)};
}

RecordHeader gf_readRecordHeader(BglBytes bytes) {
    return RecordHeader{bytes.u16(kRecordIdOffset), bytes.i32(kRecordSizeOffset)};
}

AirportRecord gf_readAirportRecord(BglBytes record) {
    return AirportRecord{record.u32(kAirportLongitudeOffset), record.u32(kAirportLatitudeOffset),
                         record.i32(kAirportAltitudeOffset), record.u32(kAirportIdentOffset)};
}

HelipadRecord gf_readHelipadRecord(BglBytes record) {
    return HelipadRecord{record.u32(kHelipadLongitudeOffset), record.u32(kHelipadLatitudeOffset),
                         record.f32(kHelipadSizeOffset)};
}

std::uint16_t gf_readParkingCount(BglBytes record) { return record.u16(kParkingCountOffset); }

ParkingEntry gf_readParkingEntry(BglBytes entry) {
    ParkingEntry parking;
    parking.nameIndex = entry.u8(kParkingNameOffset) & kParkingNameMask;
    parking.type = entry.u8(kParkingTypeOffset) & kParkingTypeMask;
    parking.number = static_cast<std::uint16_t>(entry.u16(kParkingNumberOffset) >> kParkingNumberShift);
    parking.airlineCount = entry.u8(kParkingAirlineCountOffset);
    parking.radiusM = entry.f32(kParkingRadiusOffset);
    parking.headingDeg = entry.f32(kParkingHeadingOffset);
    parking.x = entry.u32(kParkingLongitudeOffset);
    parking.y = entry.u32(kParkingLatitudeOffset);
    // The fixed part must be whole even when the codes are not read.
    lf_require(entry, 0, kParkingEntrySize);
    return parking;
}

double gf_bglLongitude(std::uint32_t x) { return x * 360.0 / kLongitudeUnits - 180.0; }
double gf_bglLatitude(std::uint32_t y) { return 90.0 - y * 180.0 / kLatitudeUnits; }

}  // namespace clv::bgl
