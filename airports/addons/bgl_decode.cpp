#include "airports/addons/bgl_decode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <set>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "airports/addons/airport_scan_report.h"
#include "airports/addons/bgl_format.h"
#include "core/log.h"
#include "core/workers.h"

namespace fs = std::filesystem;
using namespace clv;
using namespace clv::bgl;

namespace {

constexpr double kFeetPerMetre = 3.2808399;
constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kFullCircle = 6.283185307179586;
constexpr const char* kMarker = "===> ";
constexpr std::size_t kGroupLetters = 6;  // "a" to "f"

// Most bytes the window holds for the walk; a larger airport record widens it for
// as long as it is decoded.
constexpr std::size_t kWindowBytes = std::size_t{1} << 20;

// Reads a file through one buffer that moves with the walk: the memory a worker
// holds is the window (or the largest airport record), whatever the file's size.
class BglFileWindow {
public:
    explicit BglFileWindow(const fs::path& path) : in_(path, std::ios::binary) {
        if (!in_) return;
        in_.seekg(0, std::ios::end);
        const auto end = in_.tellg();
        if (end < 0) {
            in_.close();
            return;
        }
        size_ = static_cast<std::uint64_t>(end);
    }

    bool isOpen() const { return in_.is_open(); }
    std::uint64_t size() const { return size_; }
    bool holds(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }

    // The bytes [offset, offset + length); valid until the next call.
    BglBytes view(std::uint64_t offset, std::size_t length) {
        if (!holds(offset, length)) {
            throw BglRangeError(fmt::format("read of {} bytes at {} past the end of the file", length, offset));
        }
        if (offset < start_ || offset + length > start_ + filled_) {
            const std::size_t want = static_cast<std::size_t>(
                std::min<std::uint64_t>(std::max(kWindowBytes, length), size_ - offset));
            if (buffer_.size() < want || (buffer_.size() > kWindowBytes && want <= kWindowBytes)) {
                buffer_.assign(want, std::byte{0});
                buffer_.shrink_to_fit();
            }
            in_.clear();
            in_.seekg(static_cast<std::streamoff>(offset));
            in_.read(reinterpret_cast<char*>(buffer_.data()), static_cast<std::streamsize>(want));
            if (static_cast<std::size_t>(in_.gcount()) != want) {
                throw std::runtime_error(fmt::format("read of {} bytes at {} failed", want, offset));
            }
            start_ = offset;
            filled_ = want;
        }
        return BglBytes{std::span<const std::byte>(buffer_.data() + (offset - start_), length)};
    }

private:
    std::ifstream in_;
    std::uint64_t size_ = 0;
    std::vector<std::byte> buffer_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
};

// What one worker decodes one file with.
struct WalkContext {
    const BglDecodeSetup& setup;
    BglAirportSink& sink;
    const fs::path& path;
    std::string pathText;

    void report(std::string_view line) const {
        if (setup.report) {
            setup.report(line);
        } else {
            gf_addScanReport(line);
        }
    }
};

// The state of the airport being decoded; it starts afresh at each airport record.
struct AirportState {
    std::set<std::string, std::less<>> usedNames;
    std::vector<std::pair<double, double>> helipadPositions;
};

std::uint64_t lf_wholeWord(std::uint64_t offset) { return offset & ~std::uint64_t{3}; }

// Outside the world, or in the small box at 0,0 that marks a position never set.
bool lf_incorrectPosition(double lat, double lon) {
    if (lat < -90.0 || lat > 90.0 || lon < -180.0 || lon > 180.0) return true;
    return lat >= 0.0 && lat <= 0.0009 && lon >= 0.0 && lon <= 0.05;
}

std::string lf_positionText(double lat, double lon) { return fmt::format("{:.6f},{:.6f}", lat, lon); }

std::int32_t lf_altitudeFt(std::int32_t altitudeMm) {
    return static_cast<std::int32_t>(std::lround(altitudeMm * kFeetPerMetre / 1000.0));
}

// Adds one helipad as a stand, unless its position is wrong or already taken.
void lf_bglHelipads(BglBytes record, BglAirport& airport, AirportState& state, const WalkContext& ctx) {
    if (!record.holds(0, kHelipadMinimumSize)) {
        ctx.report(fmt::format("helipad of {} bytes too short (skipped), airport {}, in {}", record.size(),
                               airport.code, ctx.pathText));
        return;
    }
    const HelipadRecord helipad = gf_readHelipadRecord(record);
    const double lat = gf_bglLatitude(helipad.y);
    const double lon = gf_bglLongitude(helipad.x);
    if (lf_incorrectPosition(lat, lon)) {
        ctx.report("lat/lon helipad incorrect (skipped): " + lf_positionText(lat, lon));
        return;
    }
    const auto position = std::make_pair(lat, lon);
    if (std::find(state.helipadPositions.begin(), state.helipadPositions.end(), position) !=
        state.helipadPositions.end()) {
        ctx.report("double helipad " + airport.airportName + " (skipped) " + lf_positionText(lat, lon));
        return;
    }
    state.helipadPositions.push_back(position);
    BglStand stand;
    stand.name = fmt::format("helipad{}", airport.helipadCounter);
    stand.lat = lat;
    stand.lon = lon;
    stand.radiusM = helipad.sizeM / 2.0;
    stand.heli = true;
    airport.stands.push_back(std::move(stand));
    ++airport.helipadCounter;
}

// The name itself when free, else the first free of name + "a" to "f"; empty when
// all seven are taken.
std::string lf_uniqueName(const std::string& name, AirportState& state, BglStand& stand, BglAirport& airport) {
    if (state.usedNames.insert(name).second) return name;
    airport.duplicateName = true;
    for (std::size_t i = 0; i < kGroupLetters; ++i) {
        std::string lettered = name + static_cast<char>('a' + i);
        if (state.usedNames.insert(lettered).second) {
            stand.group = true;
            return lettered;
        }
    }
    return {};
}

// Adds the parking positions of one parking list as stands.
void lf_bglStands(BglBytes record, BglAirport& airport, AirportState& state, const WalkContext& ctx) {
    if (!record.holds(0, kParkingFirstEntryOffset)) {
        ctx.report(fmt::format("parking list of {} bytes too short, airport {}, in {}", record.size(), airport.code,
                               ctx.pathText));
        return;
    }
    const std::uint16_t count = gf_readParkingCount(record);
    std::size_t at = kParkingFirstEntryOffset;
    for (std::uint32_t n = 0; n < count; ++n) {
        if (!record.holds(at, kParkingEntrySize)) {
            ctx.report(fmt::format("parking entry {} of {} crosses the end of its list, airport {}, in {}", n + 1,
                                   count, airport.code, ctx.pathText));
            return;
        }
        const ParkingEntry entry = gf_readParkingEntry(record.sub(at, kParkingEntrySize));
        if (!record.holds(at, entry.size())) {
            ctx.report(fmt::format("parking entry {} of {} crosses the end of its list, airport {}, in {}", n + 1,
                                   count, airport.code, ctx.pathText));
            return;
        }
        at += entry.size();

        // Written so that a radius that is not a number is skipped too.
        if (!(entry.radiusM > kSmallestStandRadiusM && entry.radiusM < kLargestStandRadiusM)) {
            ctx.report(fmt::format("skipped position with radius {:.1F} meters, in {}", entry.radiusM, ctx.pathText));
            continue;
        }
        const std::string name = gf_parkingNameText(entry.nameIndex) + std::to_string(entry.number);
        if (entry.type == 0 || entry.type == 12 || entry.type == 13) continue;
        const double lat = gf_bglLatitude(entry.y);
        const double lon = gf_bglLongitude(entry.x);
        if (lf_incorrectPosition(lat, lon)) {
            ctx.report(fmt::format("lat/lon: {}, incorrect (skipped) ", lf_positionText(lat, lon)));
            continue;
        }
        if (!std::isfinite(entry.headingDeg)) {
            ctx.report(fmt::format("skipped position {} with heading {}, in {}", name, entry.headingDeg, ctx.pathText));
            continue;
        }
        BglStand stand;
        stand.name = lf_uniqueName(name, state, stand, airport);
        if (stand.name.empty()) {
            ctx.report(fmt::format("{}Warning more then 6 the same ids {}, in {}", kMarker, name, ctx.pathText));
            continue;
        }
        stand.lat = lat;
        stand.lon = lon;
        stand.headingRad = entry.headingDeg == 0.0f ? kFullCircle : entry.headingDeg * kRadiansPerDegree;
        stand.radiusM = entry.radiusM;
        stand.parkingType = entry.type;
        stand.cargo = entry.type == 5;
        stand.ramp = (entry.type >= 1 && entry.type <= 7) || entry.type == 14;
        airport.stands.push_back(std::move(stand));
    }
}

// Decodes one airport record (the bytes of exactly that record) and hands it on.
void lf_decodeAirportRecord(BglBytes record, std::uint64_t offset, const std::string& code, const WalkContext& ctx) {
    if (!ctx.sink.beginAirport(code)) return;
    const AirportRecord fields = gf_readAirportRecord(record);
    BglAirport airport;
    airport.code = code;
    airport.recordOffset = offset;
    airport.lat = gf_bglLatitude(fields.y);
    airport.lon = gf_bglLongitude(fields.x);
    airport.altitudeMm = fields.altitudeMm;
    if (ctx.setup.reference.airportName) airport.airportName = ctx.setup.reference.airportName(code);

    const std::int32_t altitude = lf_altitudeFt(fields.altitudeMm);
    if (altitude >= kLowestAirportFt && altitude <= kHighestAirportFt) {
        airport.altitudeFt = altitude;
    } else {
        std::optional<double> known;
        if (ctx.setup.reference.altitudeFt) known = ctx.setup.reference.altitudeFt(code);
        airport.altitudeFt = known ? static_cast<std::int32_t>(std::lround(*known)) : 0;
        airport.altitudeFromReference = known.has_value();
        ctx.report(known ? fmt::format("altitude {} ft of {} out of range, reference altitude {} ft taken, in {}",
                                       altitude, code, airport.altitudeFt, ctx.pathText)
                         : fmt::format("altitude {} ft of {} out of range and no reference altitude, 0 ft taken, in {}",
                                       altitude, code, ctx.pathText));
    }

    AirportState state;
    // The record's own size bounds the walk; a size that does not move it on ends it.
    for (std::size_t at = kAirportFirstChildOffset; at < record.size();) {
        if (!record.holds(at, kRecordHeaderSize)) {
            ctx.report(fmt::format("sub-record at byte {} cut off by the end of airport {}, in {}", at, code,
                                   ctx.pathText));
            break;
        }
        const RecordHeader header = gf_readRecordHeader(record.sub(at, kRecordHeaderSize));
        if (header.step() <= 0) {
            ctx.report(fmt::format("sub-record of size {} at byte {} ends the walk of airport {}, in {}", header.size,
                                   at, code, ctx.pathText));
            break;
        }
        if (!record.holds(at, static_cast<std::size_t>(header.size))) {
            ctx.report(fmt::format("sub-record {} of {} bytes at byte {} reaches past the end of airport {}, in {}",
                                   header.id, header.size, at, code, ctx.pathText));
            break;
        }
        const BglBytes child = record.sub(at, static_cast<std::size_t>(header.size));
        if (header.id == kRecordIdHelipad) {
            lf_bglHelipads(child, airport, state, ctx);
        } else if (header.id == kRecordIdParkingList) {
            lf_bglStands(child, airport, state, ctx);
            break;  // only the first parking list is read
        }
        at += static_cast<std::size_t>(header.step());
    }
    if (airport.duplicateName) lf_renameStandGroup(airport);
    ctx.sink.airportDecoded(airport);
}

enum class WalkEnd { Done, NotRecognised };

// Walks the records from the first record of an airport section to the end of the
// file (the records of later subsections follow the first one). Past the end of the
// airport subsection the walk reads other sections' data, whose bytes need not be
// records at all: a bad record there ends the walk without a report, since it says
// nothing about the file's health.
WalkEnd lf_walkRecords(BglFileWindow& file, std::uint64_t first, std::uint64_t subsectionEnd,
                       std::set<std::uint64_t>& decoded, const WalkContext& ctx) {
    const std::uint64_t size = file.size();
    if (first >= size) {
        ctx.report(fmt::format("first airport record at {} lies at or past the end of the file ({} bytes), in {}",
                               first, size, ctx.pathText));
        return WalkEnd::Done;
    }
    for (std::uint64_t at = first; at < size;) {
        const bool inSubsection = at < subsectionEnd;
        // Where the walk runs out of the file, it just ends.
        if (!file.holds(at, kRecordHeaderSize)) break;
        const RecordHeader header = gf_readRecordHeader(file.view(at, kRecordHeaderSize));
        if (header.step() <= 0) {
            if (inSubsection) {
                ctx.report(fmt::format("record of size {} at {} ends the walk, in {}", header.size, at, ctx.pathText));
            }
            break;
        }
        if (!file.holds(at, static_cast<std::uint64_t>(header.size))) {
            if (header.id == kRecordIdAirport && inSubsection) {
                ctx.report(fmt::format("airport record of {} bytes at {} reaches past the end of the file, in {}",
                                       header.size, at, ctx.pathText));
            }
            break;
        }
        if (header.id == kRecordIdUndecodableAirport && !ctx.setup.msfs2020) {
            ctx.sink.notRecognised(ctx.path);
            return WalkEnd::NotRecognised;
        }
        if (header.id == kRecordIdAirport && decoded.insert(at).second) {
            if (static_cast<std::size_t>(header.size) < kAirportFirstChildOffset) {
                if (inSubsection) {
                    ctx.report(fmt::format("airport record of {} bytes at {} too short, in {}", header.size, at,
                                           ctx.pathText));
                }
            } else {
                const BglBytes record = file.view(at, static_cast<std::size_t>(header.size));
                bool ok = false;
                const std::string code = lf_decodeIdentifierOrRegionCode(gf_readAirportRecord(record).ident, ok);
                if (ok) lf_decodeAirportRecord(record, at, code, ctx);
            }
        }
        at += static_cast<std::uint64_t>(header.step());
    }
    return WalkEnd::Done;
}

}  // namespace

bool lf_probeBgl(const fs::path& path) {
    BglFileWindow file(path);
    if (!file.isOpen() || file.size() < kMinimumFileSize || !file.holds(0, kHeaderSize)) return false;
    const FileHeader header = gf_readFileHeader(file.view(0, kHeaderSize));
    if (header.sectionCount == 0) return false;
    const std::uint64_t table = kHeaderSize + std::uint64_t{kSectionHeaderSize} * header.sectionCount;
    if (file.size() <= table) return false;
    for (std::uint32_t i = 0; i < header.sectionCount; ++i) {
        const SectionHeader section =
            gf_readSectionHeader(file.view(kHeaderSize + std::uint64_t{kSectionHeaderSize} * i, kSectionHeaderSize));
        if (section.type == kSectionTypeAirport) return true;
    }
    return false;
}

std::string lf_decodeIdentifierOrRegionCode(std::uint32_t code, bool& ok) {
    constexpr std::uint32_t kBase = 38;
    std::uint32_t v = code >> 5;
    std::vector<std::uint32_t> digits;
    if (v > kBase - 1) {
        while (v >= kBase) {
            digits.insert(digits.begin(), v % kBase);
            v /= kBase;
        }
        digits.insert(digits.begin(), v);
    }
    std::string text;
    bool blank = false;
    for (const std::uint32_t d : digits) {
        if (d == 0) {
            blank = true;
            text += ' ';
        } else if (d >= 2 && d <= 11) {
            text += static_cast<char>('0' + (d - 2));
        } else {
            text += static_cast<char>(d + 53);
        }
    }
    ok = !blank && text.size() == 4;
    return text;
}

std::string gf_parkingNameText(std::uint32_t index) {
    static const std::array<const char*, 12> kNames{"", "r", "p", "np", "ep", "sep", "sp", "swp", "wp", "nwp", "g", ""};
    if (index < kNames.size()) return kNames[index];
    if (index <= kParkingNameMask) return std::string(1, static_cast<char>(index + 53));
    return {};
}

BglFileKind gf_decodeBglFile(const fs::path& path, const BglDecodeSetup& setup, BglAirportSink& sink) {
    BglFileWindow file(path);
    if (!file.isOpen() || !file.holds(0, kHeaderSize)) return BglFileKind::NotAirportFile;
    const FileHeader header = gf_readFileHeader(file.view(0, kHeaderSize));
    const std::uint64_t words = (file.size() + 3) / 4;
    if (header.headerSize != kHeaderSize || words < kMinimumFileWords) return BglFileKind::NotAirportFile;

    const WalkContext ctx{setup, sink, path, path.string()};
    std::uint64_t sections = header.sectionCount;
    const std::uint64_t fitting = (file.size() - kHeaderSize) / kSectionHeaderSize;
    if (sections > fitting) {
        ctx.report(fmt::format("section table of {} sections reaches past the end of the file, {} read, in {}",
                               sections, fitting, ctx.pathText));
        sections = fitting;
    }
    std::set<std::uint64_t> decoded;  // airport records already decoded by an earlier section's walk
    for (std::uint64_t i = 0; i < sections; ++i) {
        const SectionHeader section =
            gf_readSectionHeader(file.view(kHeaderSize + kSectionHeaderSize * i, kSectionHeaderSize));
        if (section.type != kSectionTypeAirport || !section.shortSubsections()) continue;
        const std::uint64_t subsection = lf_wholeWord(section.firstSubsectionOffset);
        if (!file.holds(subsection, kSubsectionHeaderSize)) {
            ctx.report(fmt::format("airport section {} has its subsection at {}, past the end of the file, in {}", i,
                                   subsection, ctx.pathText));
            continue;
        }
        const SubsectionHeader sub = gf_readSubsectionHeader(file.view(subsection, kSubsectionHeaderSize));
        if (!file.holds(sub.firstRecordOffset, sub.size)) {
            ctx.report(fmt::format("airport subsection of {} bytes at {} reaches past the end of the file, in {}",
                                   sub.size, sub.firstRecordOffset, ctx.pathText));
        }
        const std::uint64_t subsectionEnd = std::uint64_t{sub.firstRecordOffset} + sub.size;
        if (lf_walkRecords(file, lf_wholeWord(sub.firstRecordOffset), subsectionEnd, decoded, ctx) ==
            WalkEnd::NotRecognised) {
            return BglFileKind::NotRecognised;
        }
    }
    return BglFileKind::Walked;
}

void lf_toParkingPositions(const fs::path& path, const BglDecodeSetup& setup, BglAirportSink& sink) {
    try {
        gf_decodeBglFile(path, setup, sink);
    } catch (const std::exception& e) {
        gf_workerThreadDone();
        gf_logMarked("Exception in lf_toParkingPositions: {}: {}", path.string(), e.what());
        throw;
    } catch (...) {
        gf_workerThreadDone();
        gf_logMarked("Exception in lf_toParkingPositions: {}", path.string());
        throw;
    }
    gf_workerThreadDone();
}

void lf_renameStandGroup(BglAirport& airport) {
    auto& stands = airport.stands;
    for (;;) {
        const auto flagged = std::find_if(stands.begin(), stands.end(), [](const BglStand& s) { return s.group; });
        if (flagged == stands.end()) return;
        flagged->group = false;
        if (flagged->name.empty()) continue;
        const std::string base = flagged->name.substr(0, flagged->name.size() - 1);
        std::vector<std::string> names{base};
        for (std::size_t i = 0; i < kGroupLetters; ++i) names.push_back(base + static_cast<char>('a' + i));
        std::vector<BglStand*> group;
        for (auto& stand : stands) {
            if (std::find(names.begin(), names.end(), stand.name) != names.end()) {
                stand.group = false;
                group.push_back(&stand);
            }
        }
        std::stable_sort(group.begin(), group.end(),
                         [](const BglStand* a, const BglStand* b) { return a->radiusM > b->radiusM; });
        for (std::size_t i = 0; i < group.size() && i < names.size(); ++i) group[i]->name = names[i];
    }
}
