#include "airports/addons/bgl_decode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include <fmt/format.h>

#include "airports/addons/bgl_format.h"
#include "bgl_test_support.h"
#include "core/workers.h"

using namespace clv;
using namespace clv::test;
using clv::bgltool::AirportDescription;
using clv::bgltool::BglDescription;
using clv::bgltool::HelipadDescription;
using clv::bgltool::ParkingListDescription;
using clv::bgltool::RawRecordDescription;
using clv::bgltool::SectionDescription;

namespace {

constexpr double kPositionTolerance = 1e-6;  // degrees; one unit of the file is below 4.5e-7
constexpr double kBglTwoPi = 2.0 * std::numbers::pi;

bool anyReportContains(const BglDecoded& d, std::string_view text) {
    for (const auto& line : d.reports) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

std::string put32(std::string bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
    return bytes;
}

}  // namespace

// The probe and the worker's own header checks, on whole and spoilt files.
TEST(BglProbeTest, TellsAirportFilesFromOthers) {
    const std::string good = bgltool::gf_buildBgl(airportFile({airportWith("EGLL", {ParkingListDescription{{parking(10, 1)}}})}));
    BglDescription foreignOnly;
    foreignOnly.sections.push_back(SectionDescription{101, 0, {RawRecordDescription{7, 24}}});
    struct Case {
        const char* what;
        std::string bytes;
        bool probe;
        BglFileKind kind;
    };
    const Case cases[] = {
        {"an airport file", good, true, BglFileKind::Walked},
        {"14 bytes", good.substr(0, 14), false, BglFileKind::NotAirportFile},
        {"header only", good.substr(0, 56), false, BglFileKind::NotAirportFile},
        {"no section", put32(good, bgl::kSectionCountOffset, 0), false, BglFileKind::Walked},
        {"section table as long as the file", put32(good, bgl::kSectionCountOffset, (good.size() - 56) / 20 + 1), false,
         BglFileKind::Walked},
        {"wrong header size", put32(good, bgl::kHeaderSizeOffset, 60), true, BglFileKind::NotAirportFile},
        {"no airport section", bgltool::gf_buildBgl(foreignOnly), false, BglFileKind::Walked},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        const auto path = folder.write("probe.bgl", c.bytes);
        EXPECT_EQ(lf_probeBgl(path), c.probe) << c.what;
        const BglDecoded decoded = decodeFile(path);
        EXPECT_EQ(decoded.kind, c.kind) << c.what;
        if (c.kind == BglFileKind::NotAirportFile) {
            EXPECT_TRUE(decoded.reports.empty()) << c.what;
        }
    }
    EXPECT_FALSE(lf_probeBgl(folder / "missing.bgl"));
}

// Identifiers: known packings, and every code through the builder and back.
TEST(BglIdentifierTest, DecodesCodesAndRejectsUncleanOnes) {
    // E=16 G=18 L=23 L=23 in base 38, shifted left by 5 bits.
    const std::uint32_t egll = ((((16u * 38 + 18) * 38 + 23) * 38) + 23) << 5;
    EXPECT_EQ(bgltool::gf_encodeIdentifier("EGLL"), egll);
    struct Case {
        std::uint32_t code;
        std::string text;
        bool ok;
    };
    const Case cases[] = {
        {egll, "EGLL", true},
        {egll | 0x1F, "EGLL", true},  // the low five bits are not part of the code
        {bgltool::gf_encodeIdentifier("K2J9"), "K2J9", true},
        {bgltool::gf_encodeIdentifier("ZZZZ"), "ZZZZ", true},
        {bgltool::gf_encodeIdentifier("EG"), "EG", false},       // a region code
        {bgltool::gf_encodeIdentifier("LSZ"), "LSZ", false},     // three letters
        {bgltool::gf_encodeIdentifier("EDDFX"), "EDDFX", false}, // five
        {bgltool::gf_encodeIdentifier("E DF"), "E DF", false},   // a blank digit
        {37u << 5, "", false},                                    // 37 or less: empty
        {0, "", false},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(lf_decodeIdentifierOrRegionCode(c.code, ok), c.text) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
    // Only airports with a clean code are decoded.
    AirportDescription threeLetters = airportWith("LSZ", {ParkingListDescription{{parking(10, 1)}}});
    const BglDecoded d = decodeBlueprint(airportFile({threeLetters, airportWith("LSZH", {ParkingListDescription{{parking(10, 1)}}})}));
    ASSERT_EQ(d.airports.size(), 1u);
    EXPECT_EQ(d.airports[0].code, "LSZH");
}

TEST(BglParkingTest, NameTable) {
    const std::pair<std::uint32_t, const char*> table[] = {
        {0, ""},   {1, "r"},   {2, "p"},   {3, "np"},  {4, "ep"}, {5, "sep"}, {6, "sp"}, {7, "swp"},
        {8, "wp"}, {9, "nwp"}, {10, "g"},  {11, ""},   {12, "A"}, {37, "Z"},  {38, "["}, {63, "t"},
    };
    for (const auto& [index, text] : table) EXPECT_EQ(gf_parkingNameText(index), text) << index;
}

// Every field of a parking entry and a helipad reaches the stand.
TEST(BglParkingTest, EntriesBecomeStandsWithNamesKindsPositionsAndHeadings) {
    auto withAirlines = parking(12, 5, 30.0f, 5, 0.0f, 47.461, 8.551);
    withAirlines.airlines = {"SWR", "DLH", "EDW"};  // codes are skipped by their length
    const BglDecoded d = decodeBlueprint(airportFile({airportWith(
        "LSZH", {HelipadDescription{47.45, 8.56, 24.0f},
                 ParkingListDescription{{parking(10, 12, 20.0f, 4, 90.0f, 47.46, 8.55), withAirlines,
                                  parking(0, 7, 15.0f, 8, 360.0f, 47.462, 8.552),
                                  parking(10, 13, 15.0f, 0), parking(10, 14, 15.0f, 12), parking(10, 15, 15.0f, 13),
                                  parking(11, 3, 15.0f, 14, 45.0f), parking(10, 16, 15.0f, 15, 180.0f)}}})}));
    ASSERT_EQ(d.airports.size(), 1u);
    const BglAirport& a = d.airports[0];
    ASSERT_EQ(standNames(a), (std::vector<std::string>{"helipad1", "g12", "A5", "7", "3", "g16"}));
    EXPECT_TRUE(d.reports.empty());
    struct Expect {
        double lat, lon, headingRad, radiusM;
        bool cargo, ramp, heli;
    };
    const Expect expected[] = {
        {47.45, 8.56, 0.0, 12.0, false, false, true},
        {47.46, 8.55, std::numbers::pi / 2, 20.0, false, true, false},
        {47.461, 8.551, kBglTwoPi, 30.0, true, true, false},  // heading 0 is kept as a full circle
        {47.462, 8.552, kBglTwoPi, 15.0, false, false, false},
        {51.47, -0.45, std::numbers::pi / 4, 15.0, false, true, false},
        {51.47, -0.45, std::numbers::pi, 15.0, false, false, false},
    };
    for (std::size_t i = 0; i < a.stands.size(); ++i) {
        const BglStand& s = a.stands[i];
        const Expect& e = expected[i];
        EXPECT_NEAR(s.lat, e.lat, kPositionTolerance) << s.name;
        EXPECT_NEAR(s.lon, e.lon, kPositionTolerance) << s.name;
        EXPECT_NEAR(s.headingRad, e.headingRad, 1e-6) << s.name;  // the file holds float degrees
        EXPECT_FLOAT_EQ(s.radiusM, e.radiusM) << s.name;
        EXPECT_EQ(s.cargo, e.cargo) << s.name;
        EXPECT_EQ(s.ramp, e.ramp) << s.name;
        EXPECT_EQ(s.heli, e.heli) << s.name;
    }
    EXPECT_EQ(a.helipadCounter, 2);
}

// A file laid out byte by byte as the simulator's scenery files are, without the
// builder (which shares the decoder's offsets): the airport record holds counts of
// its parts in bytes 8-11, then the reference point, longitude before latitude, and
// the altitude. The reference point lies some way from the airport's one stand.
TEST(BglAirportTest, TheReferencePointIsReadWhereRealFilesHoldIt) {
    constexpr double kRefLat = 47.398602, kRefLon = 8.648230, kStandLat = 47.3965, kStandLon = 8.6410;
    constexpr std::int32_t kAltitudeMm = 448000;
    std::string b(92 + 68 + 8 + 56, '\0');
    const auto u16 = [&b](std::size_t at, std::uint16_t v) {
        b[at] = static_cast<char>(v & 0xFF);
        b[at + 1] = static_cast<char>(v >> 8);
    };
    const auto u32 = [&b](std::size_t at, std::uint32_t v) { b = put32(b, at, v); };
    const auto f32 = [&u32](std::size_t at, float v) { u32(at, std::bit_cast<std::uint32_t>(v)); };
    const auto lonUnits = [](double lon) { return static_cast<std::uint32_t>(std::llround((lon + 180.0) / 360.0 * 805306368.0)); };
    const auto latUnits = [](double lat) { return static_cast<std::uint32_t>(std::llround((90.0 - lat) / 180.0 * 536870912.0)); };
    u32(0, 0x19920201);       // magic
    u32(4, 56);               // header size
    u32(20, 1);               // one section
    u32(56, 3);               // section: airports, short subsection headers
    u32(56 + 8, 1);           // one subsection
    u32(56 + 12, 76);         // the subsection header
    u32(56 + 16, static_cast<std::uint32_t>(b.size() - 76));
    u32(76 + 4, 1);           // subsection: one record
    u32(76 + 8, 92);          // its first record
    u32(76 + 12, static_cast<std::uint32_t>(b.size() - 92));
    const std::size_t airport = 92;
    u16(airport, 86);
    u32(airport + 2, static_cast<std::uint32_t>(b.size() - airport));
    for (std::size_t k = 0; k < 4; ++k) b[airport + 8 + k] = static_cast<char>(k + 2);  // counts of runways, starts, ...
    u32(airport + 12, lonUnits(kRefLon));
    u32(airport + 16, latUnits(kRefLat));
    u32(airport + 20, static_cast<std::uint32_t>(kAltitudeMm));
    u32(airport + 40, bgltool::gf_encodeIdentifier("LSMD"));
    const std::size_t list = airport + 68;
    u16(list, 231);
    u32(list + 2, 8 + 56);
    u16(list + 6, 1);
    const std::size_t entry = list + 8;
    b[entry] = 12;                                          // name "A"
    u16(entry + 1, static_cast<std::uint16_t>(9 | (1 << 4)));  // a gate, number 1
    f32(entry + 4, 24.0f);
    f32(entry + 8, 200.0f);
    u32(entry + 28, lonUnits(kStandLon));
    u32(entry + 32, latUnits(kStandLat));

    const BglDecoded d = decodeBytes(b);
    EXPECT_TRUE(d.reports.empty()) << d.reports.front();
    ASSERT_EQ(d.airports.size(), 1u);
    const BglAirport& a = d.airports[0];
    EXPECT_EQ(a.code, "LSMD");
    EXPECT_NEAR(a.lat, kRefLat, kPositionTolerance);
    EXPECT_NEAR(a.lon, kRefLon, kPositionTolerance);
    EXPECT_EQ(a.altitudeMm, kAltitudeMm);
    EXPECT_EQ(a.altitudeFt, 1470);  // 448 m
    ASSERT_EQ(standNames(a), std::vector<std::string>{"A1"});
    EXPECT_NEAR(a.stands[0].lat, kStandLat, kPositionTolerance);
    EXPECT_NEAR(a.stands[0].lon, kStandLon, kPositionTolerance);

    // The builder lays an airport record out the same way.
    const std::string built = bgltool::gf_buildBgl(airportFile({[&] {
        AirportDescription described;
        described.code = "LSMD";
        described.lat = kRefLat;
        described.lon = kRefLon;
        described.altitudeM = kAltitudeMm / 1000.0;
        return described;
    }()}));
    ASSERT_GE(built.size(), airport + 68);
    EXPECT_EQ(built.substr(airport + 8, 4), std::string(4, '\0'));
    EXPECT_EQ(built.substr(airport + 12, 12), b.substr(airport + 12, 12));  // longitude, latitude, altitude
    EXPECT_EQ(built.substr(airport + 40, 4), b.substr(airport + 40, 4));
}

TEST(BglParkingTest, RadiusBounds) {
    const float radii[] = {1.0f, 1.01f, 199.9f, 200.0f, 0.0f, -5.0f, std::nanf("")};
    std::vector<bgltool::ParkingDescription> entries;
    for (std::uint16_t i = 0; i < std::size(radii); ++i) entries.push_back(parking(10, i, radii[i]));
    const BglDecoded d = decodeBlueprint(airportFile({airportWith("EGLL", {ParkingListDescription{entries}})}));
    ASSERT_EQ(d.airports.size(), 1u);
    EXPECT_EQ(standNames(d.airports[0]), (std::vector<std::string>{"g1", "g2"}));
    EXPECT_EQ(d.reports.size(), 5u);
    EXPECT_TRUE(anyReportContains(d, "skipped position with radius 1.0 meters, in "));
    EXPECT_TRUE(anyReportContains(d, "skipped position with radius 200.0 meters, in "));
}

// Up to seven stands share a name with its letters; the largest ends with the plain name.
TEST(BglParkingTest, DuplicateNamesGetLettersAndGroupsAreOrderedByRadius) {
    std::vector<bgltool::ParkingDescription> eight;
    for (int i = 0; i < 8; ++i) eight.push_back(parking(14, 3, 20.0f));
    const BglDecoded same = decodeBlueprint(airportFile({airportWith("EGLL", {ParkingListDescription{eight}})}));
    ASSERT_EQ(same.airports.size(), 1u);
    EXPECT_EQ(standNames(same.airports[0]),
              (std::vector<std::string>{"C3", "C3a", "C3b", "C3c", "C3d", "C3e", "C3f"}));
    ASSERT_EQ(same.reports.size(), 1u);
    EXPECT_EQ(same.reports[0].rfind("===> Warning more then 6 the same ids C3, in ", 0), 0u) << same.reports[0];
    EXPECT_FALSE(same.airports[0].stands[1].group);  // the reordering clears the marks

    // A1 20 m, A1 30 m, A1 25 m in file order; B2 alone keeps its name.
    const BglDecoded sized = decodeBlueprint(airportFile({airportWith(
        "EGLL", {ParkingListDescription{{parking(12, 1, 20.0f), parking(13, 2, 18.0f), parking(12, 1, 30.0f),
                                  parking(12, 1, 25.0f)}}})}));
    ASSERT_EQ(sized.airports.size(), 1u);
    EXPECT_EQ(standNames(sized.airports[0]), (std::vector<std::string>{"A1b", "B2", "A1", "A1a"}));
}

TEST(BglHelipadTest, DoubleAndUnsetPositionsAreSkippedAndNumbersStayWithoutGap) {
    RefTable ref;
    ref.airports["EGLL"] = {"London Heathrow", 83.0};
    const BglDecoded d = decodeBlueprint(airportFile({airportWith(
                                        "EGLL", {HelipadDescription{51.47, -0.45, 20.0f}, HelipadDescription{51.47, -0.45, 30.0f},
                                                 HelipadDescription{0.0005, 0.01, 20.0f}, HelipadDescription{51.48, -0.44, 16.0f}})}),
                                    true, &ref);
    ASSERT_EQ(d.airports.size(), 1u);
    EXPECT_EQ(standNames(d.airports[0]), (std::vector<std::string>{"helipad1", "helipad2"}));
    EXPECT_EQ(d.airports[0].helipadCounter, 3);
    EXPECT_EQ(d.airports[0].airportName, "London Heathrow");
    EXPECT_EQ(d.reports, (std::vector<std::string>{"double helipad London Heathrow (skipped) 51.470000,-0.450000",
                                                   "lat/lon helipad incorrect (skipped): 0.000500,0.010000"}));
}

// Real airports lie from about -1,300 ft to about 14,000 ft; outside a wider range
// the reference data's altitude is taken.
TEST(BglAirportTest, AltitudeRangeFallsBackToTheReferenceData) {
    RefTable ref;
    ref.airports["EGLL"] = {"London Heathrow", 83.0};
    struct Case {
        double metres;
        const char* code;
        std::int32_t feet;
        bool fromReference;
    };
    const Case cases[] = {
        {25.0, "EGLL", 82, false},       {4267.2, "EGLL", 14000, false}, {-396.24, "EGLL", -1300, false},
        {4572.0, "EGLL", 15000, false},  {-457.2, "EGLL", -1500, false}, {4572.3, "EGLL", 83, true},
        {-457.5, "EGLL", 83, true},      {9144.0, "KXYZ", 0, false},
    };
    for (const Case& c : cases) {
        const BglDecoded d = decodeBlueprint(airportFile({airportWith(c.code, {}, c.metres)}), true, &ref);
        ASSERT_EQ(d.airports.size(), 1u) << c.metres;
        EXPECT_EQ(d.airports[0].altitudeFt, c.feet) << c.metres;
        EXPECT_EQ(d.airports[0].altitudeFromReference, c.fromReference) << c.metres;
        EXPECT_EQ(d.reports.empty(), c.feet != 0 && !c.fromReference) << c.metres;
    }
}

// Foreign sections, records of other ids around the airports and child records of
// unknown ids are passed over by their sizes; every airport of the subsection is read.
TEST(BglWalkTest, ForeignSectionsAndUnknownRecordsAreSkippedBySize) {
    BglDescription blueprint;
    blueprint.sections.push_back(SectionDescription{101, 0, {RawRecordDescription{86, 24}, RawRecordDescription{7, 48}}});  // an 86 outside
    SectionDescription airports;
    airports.records.emplace_back(RawRecordDescription{19, 40});
    airports.records.emplace_back(airportWith(
        "EGLL", {bgltool::NameDescription{"London Heathrow"}, RawRecordDescription{999, 20}, HelipadDescription{51.47, -0.45, 20.0f},
                 RawRecordDescription{38, 12} /* a helipad too short to read */, ParkingListDescription{{parking(10, 1)}},
                 ParkingListDescription{{parking(10, 2)}} /* only the first list is read */}));
    airports.records.emplace_back(RawRecordDescription{1234, 12});
    airports.records.emplace_back(airportWith("LSZH", {ParkingListDescription{{parking(10, 3)}}}));
    blueprint.sections.push_back(std::move(airports));
    blueprint.sections.push_back(SectionDescription{3, 0x10000, {airportWith("EDDF", {})}});  // long subsection headers
    blueprint.sections.push_back(SectionDescription{102, 0, {RawRecordDescription{4, 16}}});
    const BglDecoded d = decodeBlueprint(blueprint);
    ASSERT_EQ(d.airports.size(), 2u);
    EXPECT_EQ(standNames(d.airports[0]), (std::vector<std::string>{"helipad1", "g1"}));
    EXPECT_EQ(standNames(d.airports[1]), (std::vector<std::string>{"g3"}));
    EXPECT_EQ(d.reports.size(), 1u);
    EXPECT_TRUE(anyReportContains(d, "helipad of 12 bytes too short (skipped), airport EGLL"));
}

// A size of 0 or a negative size would keep a walk in one place for ever.
TEST(BglWalkTest, RecordsThatDoNotMoveTheWalkEndItWithAReport) {
    for (const std::int32_t size : {0, -8, 3, -2147483647 - 1}) {
        const BglDecoded inner = decodeBlueprint(airportFile(
            {airportWith("EGLL", {HelipadDescription{51.47, -0.45, 20.0f}, RawRecordDescription{999, size},
                                  ParkingListDescription{{parking(10, 1)}}})}));
        ASSERT_EQ(inner.airports.size(), 1u) << size;
        EXPECT_EQ(standNames(inner.airports[0]), (std::vector<std::string>{"helipad1"})) << size;
        ASSERT_EQ(inner.reports.size(), 1u) << size;
        EXPECT_TRUE(anyReportContains(inner, fmt::format("sub-record of size {} at byte", size))) << size;

        BglDescription outerBlueprint = airportFile({airportWith("EGLL", {})});
        outerBlueprint.sections[0].records.emplace_back(RawRecordDescription{7, size});
        outerBlueprint.sections[0].records.emplace_back(airportWith("LSZH", {}));
        const BglDecoded outer = decodeBlueprint(outerBlueprint);
        ASSERT_EQ(outer.airports.size(), 1u) << size;
        EXPECT_EQ(outer.airports[0].code, "EGLL");
        ASSERT_EQ(outer.reports.size(), 1u) << size;
        EXPECT_TRUE(anyReportContains(outer, fmt::format("record of size {} at ", size))) << size;
    }
    // A child that claims more than its airport holds is not read.
    const std::string bytes = bgltool::gf_buildBgl(airportFile({airportWith("EGLL", {RawRecordDescription{999, 16}})}));
    const std::size_t child = bgl::kHeaderSize + bgl::kSectionHeaderSize + bgl::kSubsectionHeaderSize +
                              bgl::kAirportFirstChildOffset;
    const BglDecoded past = decodeBytes(put32(bytes, child + bgl::kRecordSizeOffset, 4096));
    ASSERT_EQ(past.airports.size(), 1u);
    EXPECT_TRUE(anyReportContains(past, "sub-record 999 of 4096 bytes at byte 68 reaches past the end of airport EGLL"));
}

// The walk goes on past the airport subsection into other sections' data, which
// need not be records: what it finds there is no damage and is not reported; the
// same bytes inside the subsection are.
TEST(BglWalkTest, BadRecordsAreReportedOnlyInsideTheAirportSubsection) {
    struct Case {
        std::uint16_t id;
        std::int32_t size;
        std::size_t bytes;  // how many bytes of the record the file holds
        std::string report;
    };
    const std::vector<Case> cases = {
        {7, -1434124288, 8, "record of size -1434124288 at "},
        {7, 0, 8, "record of size 0 at "},
        {bgl::kRecordIdAirport, 1 << 20, 8, "airport record of 1048576 bytes at "},
        {bgl::kRecordIdAirport, 24, 24, "airport record of 24 bytes at "},
    };
    const std::string healthy =
        bgltool::gf_buildBgl(airportFile({airportWith("EGLL", {ParkingListDescription{{parking(10, 1)}}})}));
    const std::size_t subsection = bgl::kHeaderSize + bgl::kSectionHeaderSize;
    const std::size_t firstRecord = subsection + bgl::kSubsectionHeaderSize;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.report);
        std::string record(c.bytes, '\0');
        record[0] = static_cast<char>(c.id & 0xFF);
        record[1] = static_cast<char>(c.id >> 8);
        record = put32(record, bgl::kRecordSizeOffset, static_cast<std::uint32_t>(c.size));
        const std::string outside = healthy + record;
        const BglDecoded past = decodeBytes(outside);
        ASSERT_EQ(past.airports.size(), 1u);
        EXPECT_EQ(standNames(past.airports[0]), std::vector<std::string>{"g1"});
        EXPECT_TRUE(past.reports.empty()) << past.reports.front();

        const std::string inside = put32(outside, subsection + bgl::kSubsectionSizeOffset,
                                         static_cast<std::uint32_t>(outside.size() - firstRecord));
        const BglDecoded within = decodeBytes(inside);
        ASSERT_EQ(within.airports.size(), 1u);
        EXPECT_TRUE(anyReportContains(within, c.report));
    }
}

TEST(BglWalkTest, TheNewerGenerationsMarkerDependsOnTheSimulator) {
    BglDescription blueprint = airportFile({airportWith("EGLL", {ParkingListDescription{{parking(10, 1)}}})});
    blueprint.sections[0].records.emplace_back(RawRecordDescription{bgl::kRecordIdUndecodableAirport, 16});
    blueprint.sections[0].records.emplace_back(airportWith("LSZH", {ParkingListDescription{{parking(10, 2)}}}));

    const BglDecoded msfs2020 = decodeBlueprint(blueprint, true);
    EXPECT_EQ(msfs2020.kind, BglFileKind::Walked);
    EXPECT_EQ(msfs2020.airports.size(), 2u);
    EXPECT_EQ(msfs2020.notRecognised, 0);

    const BglDecoded msfs2024 = decodeBlueprint(blueprint, false);
    EXPECT_EQ(msfs2024.kind, BglFileKind::NotRecognised);
    ASSERT_EQ(msfs2024.airports.size(), 1u);  // what came before the marker was handed on
    EXPECT_EQ(msfs2024.airports[0].code, "EGLL");
    EXPECT_EQ(msfs2024.notRecognised, 1);
}

// A sink that declines an airport (one that is linked) gets nothing decoded for it.
TEST(BglWalkTest, ADeclinedAirportIsNotDecoded) {
    struct Declining : BglAirportSink {
        std::vector<std::string> begun, decoded;
        bool beginAirport(const std::string& code) override {
            begun.push_back(code);
            return code != "EGLL";
        }
        void airportDecoded(BglAirport& a) override { decoded.push_back(a.code); }
    } sink;
    TempFolder folder;
    const auto path = folder.write("a.bgl", bgltool::gf_buildBgl(airportFile(
                                                {airportWith("EGLL", {ParkingListDescription{{parking(10, 1, 0.5f)}}}),
                                                 airportWith("LSZH", {})})));
    std::vector<std::string> reports;
    BglDecodeSetup setup;
    setup.report = [&](std::string_view line) { reports.emplace_back(line); };
    gf_decodeBglFile(path, setup, sink);
    EXPECT_EQ(sink.begun, (std::vector<std::string>{"EGLL", "LSZH"}));
    EXPECT_EQ(sink.decoded, (std::vector<std::string>{"LSZH"}));
    EXPECT_TRUE(reports.empty());  // the bad radius of EGLL was never looked at
}

// The worker lowers the running count once, also when it ends with an exception,
// which reaches whoever waits for it.
TEST(BglWorkerTest, LowersTheRunningCountOnceOnEveryPath) {
    struct Throwing : BglAirportSink {
        void airportDecoded(BglAirport&) override { throw std::runtime_error("disk full"); }
    } throwing;
    struct Quiet : BglAirportSink {
        void airportDecoded(BglAirport&) override {}
    } quiet;
    TempFolder folder;
    const auto path = folder.write("a.bgl", bgltool::gf_buildBgl(airportFile({airportWith("EGLL", {})})));
    BglDecodeSetup setup;
    setup.report = [](std::string_view) {};
    runningTasks = 2;
    lf_toParkingPositions(path, setup, quiet);
    EXPECT_EQ(runningTasks.load(), 1);
    EXPECT_THROW(lf_toParkingPositions(path, setup, throwing), std::runtime_error);
    EXPECT_EQ(runningTasks.load(), 0);
    runningTasks = 0;
}
