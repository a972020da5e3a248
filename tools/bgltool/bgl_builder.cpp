#include "tools/bgltool/bgl_builder.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>

#include "airports/addons/bgl_format.h"

namespace clv::bgltool {

using namespace clv::bgl;

namespace {

class ByteWriter {
public:
    std::string bytes;

    std::size_t size() const { return bytes.size(); }
    void u8(std::uint8_t v) { bytes.push_back(static_cast<char>(v)); }
    void u16(std::uint16_t v) {
        for (int i = 0; i < 2; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }
    void zeros(std::size_t n) { bytes.append(n, '\0'); }
    void padTo(std::size_t length) {
        if (bytes.size() < length) zeros(length - bytes.size());
    }
    void put32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    // Writes a record header whose size is filled in by finish().
    std::size_t begin(std::uint16_t id) {
        const std::size_t at = size();
        u16(id);
        u32(0);
        return at;
    }
    void finish(std::size_t at) {
        padTo(at + ((size() - at + 3) / 4) * 4);
        put32(at + kRecordSizeOffset, static_cast<std::uint32_t>(size() - at));
    }
};

void lf_writeRaw(ByteWriter& out, const RawRecordDescription& raw) {
    const std::size_t at = out.size();
    out.u16(raw.id);
    out.i32(raw.size);
    std::size_t length = 8;
    if (raw.size >= static_cast<std::int32_t>(kRecordHeaderSize)) length = (static_cast<std::size_t>(raw.size) + 3) / 4 * 4;
    out.padTo(at + length);
}

void lf_writeHelipad(ByteWriter& out, const HelipadDescription& helipad) {
    const std::size_t at = out.begin(kRecordIdHelipad);
    out.padTo(at + kHelipadLongitudeOffset);
    out.u32(gf_bglLongitudeUnits(helipad.lon));
    out.u32(gf_bglLatitudeUnits(helipad.lat));
    out.padTo(at + kHelipadSizeOffset);
    out.f32(helipad.sizeM);
    out.padTo(at + kHelipadRecordSize);
    out.finish(at);
}

void lf_writeParkingList(ByteWriter& out, const ParkingListDescription& list) {
    const std::size_t at = out.begin(kRecordIdParkingList);
    out.u16(static_cast<std::uint16_t>(list.entries.size()));
    for (const ParkingDescription& p : list.entries) {
        if (p.airlines.size() > 255) throw std::invalid_argument("more than 255 airline codes");
        const std::size_t entry = out.size();
        const std::uint16_t typeAndNumber =
            static_cast<std::uint16_t>((p.type & kParkingTypeMask) | (p.number << kParkingNumberShift));
        out.u8(p.nameIndex & kParkingNameMask);
        out.u16(typeAndNumber);
        out.u8(static_cast<std::uint8_t>(p.airlines.size()));
        out.f32(p.radiusM);
        out.f32(p.headingDeg);
        out.padTo(entry + kParkingLongitudeOffset);
        out.u32(gf_bglLongitudeUnits(p.lon));
        out.u32(gf_bglLatitudeUnits(p.lat));
        out.padTo(entry + kParkingEntrySize);
        for (const std::string& airline : p.airlines) {
            std::string code = airline.substr(0, kParkingAirlineCodeSize);
            code.resize(kParkingAirlineCodeSize, '\0');
            out.bytes += code;
        }
    }
    out.finish(at);
}

void lf_writeName(ByteWriter& out, const NameDescription& name) {
    const std::size_t at = out.begin(kRecordIdAirportName);
    out.bytes += name.name;
    out.finish(at);
}

void lf_writeAirport(ByteWriter& out, const AirportDescription& airport) {
    const std::size_t at = out.begin(kRecordIdAirport);
    out.padTo(at + kAirportLongitudeOffset);  // the counts before it stay 0
    out.u32(gf_bglLongitudeUnits(airport.lon));
    out.padTo(at + kAirportLatitudeOffset);
    out.u32(gf_bglLatitudeUnits(airport.lat));
    out.padTo(at + kAirportAltitudeOffset);
    out.i32(static_cast<std::int32_t>(std::lround(airport.altitudeM * 1000.0)));
    out.padTo(at + kAirportIdentOffset);
    out.u32(airport.ident ? *airport.ident : gf_encodeIdentifier(airport.code));
    out.padTo(at + kAirportFirstChildOffset);
    for (const AirportChild& child : airport.children) {
        std::visit(
            [&](const auto& c) {
                using T = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<T, HelipadDescription>) lf_writeHelipad(out, c);
                if constexpr (std::is_same_v<T, ParkingListDescription>) lf_writeParkingList(out, c);
                if constexpr (std::is_same_v<T, RawRecordDescription>) lf_writeRaw(out, c);
                if constexpr (std::is_same_v<T, NameDescription>) lf_writeName(out, c);
            },
            child);
    }
    out.finish(at);
}

}  // namespace

std::uint32_t gf_encodeIdentifier(std::string_view code) {
    std::uint64_t v = 0;
    for (const char c : code) {
        std::uint64_t digit = 0;
        if (c == ' ') {
            digit = 0;
        } else if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint64_t>(c - '0') + 2;
        } else if (c >= 'A' && c <= 'Z') {
            digit = static_cast<std::uint64_t>(c - 'A') + 12;
        } else {
            throw std::invalid_argument(fmt::format("character '{}' cannot be packed in an identifier", c));
        }
        v = v * 38 + digit;
        if ((v << 5) > 0xFFFFFFFFu) throw std::invalid_argument(fmt::format("identifier {} too long", code));
    }
    return static_cast<std::uint32_t>(v << 5);
}

std::uint32_t gf_bglLongitudeUnits(double lon) {
    return static_cast<std::uint32_t>(std::llround((lon + 180.0) * kLongitudeUnits / 360.0));
}

std::uint32_t gf_bglLatitudeUnits(double lat) {
    return static_cast<std::uint32_t>(std::llround((90.0 - lat) * kLatitudeUnits / 180.0));
}

std::string gf_buildBgl(const BglDescription& blueprint) {
    ByteWriter out;
    out.u32(0x19920201);  // the magic word of the format; not read by the decoder
    out.u32(kHeaderSize);
    out.padTo(kSectionCountOffset);
    out.u32(static_cast<std::uint32_t>(blueprint.sections.size()));
    out.padTo(kHeaderSize);
    const std::size_t table = out.size();
    out.zeros(kSectionHeaderSize * blueprint.sections.size());
    for (std::size_t i = 0; i < blueprint.sections.size(); ++i) {
        const SectionDescription& section = blueprint.sections[i];
        const std::size_t subsection = out.size();
        out.zeros(kSubsectionHeaderSize);
        const std::size_t first = out.size();
        for (const SectionRecord& record : section.records) {
            if (const auto* airport = std::get_if<AirportDescription>(&record)) {
                lf_writeAirport(out, *airport);
            } else {
                lf_writeRaw(out, std::get<RawRecordDescription>(record));
            }
        }
        out.put32(subsection + kSubsectionRecordCountOffset, static_cast<std::uint32_t>(section.records.size()));
        out.put32(subsection + kSubsectionFirstRecordOffset, static_cast<std::uint32_t>(first));
        out.put32(subsection + kSubsectionSizeOffset, static_cast<std::uint32_t>(out.size() - first));
        const std::size_t header = table + kSectionHeaderSize * i;
        out.put32(header + kSectionTypeOffset, section.type);
        out.put32(header + kSectionFlagsOffset, section.flags);
        out.put32(header + kSectionSubsectionCountOffset, 1);
        out.put32(header + kSectionFirstSubsectionOffset, static_cast<std::uint32_t>(subsection));
        out.put32(header + kSectionTotalSizeOffset, static_cast<std::uint32_t>(out.size() - subsection));
    }
    return out.bytes;
}

namespace {

template <typename T>
T lf_number(std::istringstream& in, int line, const char* what) {
    T value{};
    if (!(in >> value)) throw std::runtime_error(fmt::format("line {}: {} expected", line, what));
    return value;
}

AirportDescription& lf_currentAirport(BglDescription& blueprint, int line) {
    if (!blueprint.sections.empty() && !blueprint.sections.back().records.empty()) {
        if (auto* airport = std::get_if<AirportDescription>(&blueprint.sections.back().records.back())) return *airport;
    }
    throw std::runtime_error(fmt::format("line {}: no airport to add to", line));
}

}  // namespace

BglDescription gf_parseBglDescription(std::string_view text) {
    BglDescription blueprint;
    std::istringstream lines{std::string(text)};
    std::string raw;
    int line = 0;
    bool inParking = false;
    while (std::getline(lines, raw)) {
        ++line;
        if (const auto hash = raw.find('#'); hash != std::string::npos) raw.erase(hash);
        std::istringstream in(raw);
        std::string word;
        if (!(in >> word)) continue;
        const bool parking = word == "parking";
        if (word == "section") {
            SectionDescription section;
            section.type = lf_number<std::uint32_t>(in, line, "section type");
            in >> section.flags;
            blueprint.sections.push_back(std::move(section));
        } else if (word == "airport" || word == "record") {
            if (blueprint.sections.empty()) throw std::runtime_error(fmt::format("line {}: no section yet", line));
            if (word == "record") {
                RawRecordDescription record;
                record.id = lf_number<std::uint16_t>(in, line, "record id");
                record.size = lf_number<std::int32_t>(in, line, "record size");
                blueprint.sections.back().records.emplace_back(record);
            } else {
                AirportDescription airport;
                airport.code = lf_number<std::string>(in, line, "airport code");
                airport.lat = lf_number<double>(in, line, "latitude");
                airport.lon = lf_number<double>(in, line, "longitude");
                airport.altitudeM = lf_number<double>(in, line, "altitude");
                blueprint.sections.back().records.emplace_back(std::move(airport));
            }
        } else if (word == "ident") {
            lf_currentAirport(blueprint, line).ident = lf_number<std::uint32_t>(in, line, "identifier");
        } else if (word == "name") {
            std::string name;
            std::getline(in >> std::ws, name);
            lf_currentAirport(blueprint, line).children.emplace_back(NameDescription{name});
        } else if (word == "helipad") {
            HelipadDescription helipad;
            helipad.lat = lf_number<double>(in, line, "latitude");
            helipad.lon = lf_number<double>(in, line, "longitude");
            helipad.sizeM = lf_number<float>(in, line, "size");
            lf_currentAirport(blueprint, line).children.emplace_back(helipad);
        } else if (parking) {
            ParkingDescription p;
            p.nameIndex = static_cast<std::uint8_t>(lf_number<unsigned>(in, line, "name index"));
            p.number = static_cast<std::uint16_t>(lf_number<unsigned>(in, line, "number"));
            p.type = static_cast<std::uint8_t>(lf_number<unsigned>(in, line, "type"));
            p.radiusM = lf_number<float>(in, line, "radius");
            p.headingDeg = lf_number<float>(in, line, "heading");
            p.lat = lf_number<double>(in, line, "latitude");
            p.lon = lf_number<double>(in, line, "longitude");
            for (std::string airline; in >> airline;) p.airlines.push_back(airline);
            AirportDescription& airport = lf_currentAirport(blueprint, line);
            if (!inParking) airport.children.emplace_back(ParkingListDescription{});
            std::get<ParkingListDescription>(airport.children.back()).entries.push_back(std::move(p));
        } else if (word == "child") {
            RawRecordDescription child;
            child.id = lf_number<std::uint16_t>(in, line, "record id");
            child.size = lf_number<std::int32_t>(in, line, "record size");
            lf_currentAirport(blueprint, line).children.emplace_back(child);
        } else {
            throw std::runtime_error(fmt::format("line {}: unknown item \"{}\"", line, word));
        }
        inParking = parking;
    }
    return blueprint;
}

}  // namespace clv::bgltool
