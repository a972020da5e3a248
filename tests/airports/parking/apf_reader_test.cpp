// Reading the park airport's park-position file: stands, options, adjacency,
// the error texts and user errors, and a write-read round trip.
#include "airports/parking/apf_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "airports/airports_fixture.h"
#include "airports/files/apf_quality.h"
#include "airports/files/apf_writer.h"
#include "core/parameters.h"
#include "core/user_error.h"

using clv::ApfInfo;
using clv::QualityFactors;
using clv::Stand;
using clv::StandOption;
using clv::test::AirportLog;
using clv::test::CurrentFolder;
using clv::test::option;
using clv::test::ParkFileState;
using clv::test::RegRecords;
using clv::test::TempFolder;
namespace fs = std::filesystem;

namespace {

constexpr double kReaderNmPerMetre = 1.0 / 1852.0;

const char* kMeta =
    "<?xml version=\"1.0\"?>\n"
    "<meta><info name=\"author\" value=\"Calvorinth\" /><info name=\"version\" value=\"10.10.9\" />"
    "<info name=\"date\" value=\"Dec 09, 2026\" /></meta>\n";

// A file of our own making: the meta header, the parameters and the parkpositions.
std::string readerApfText(const std::string& parameters, const std::string& parkpositions) {
    return std::string(kMeta) + "<parameters>" + parameters + "</parameters>\n<parkpositions>" + parkpositions +
           "</parkpositions>\n";
}
const std::string kAltitude = "<parameter name=\"altitude\" value=\"1416\" />";
const std::string kOneStand = "<parkpos id=\"A1\" latitude=\"47.45\" longitude=\"8.55\" radius=\"20\" />";

class ApfReaderTest : public ::testing::Test {
protected:
    ApfReaderTest() : cwd(dir.path()) {
        apfReadHooks.parkAirportCode = [] { return std::string("TEST"); };
        apfReadHooks.fileRead = [this](const clv::ApfReadReport& r) { reports.push_back(r); };
        parking_percentage.value = 55;
    }
    ~ApfReaderTest() override { parking_percentage.value = parking_percentage.def; }

    // Places a file as the park airport's local file and reads it.
    std::string read(const std::string& text, const std::string& name = "airports/TEST.xml") {
        dir.write(name, text);
        return gf_readApf(name, summary, quality);
    }
    std::string readFixture() {
        fs::create_directories(dir / "airports");
        fs::copy_file(clv::test::airportsDataFolder() / "reader.xml", dir / "airports" / "TEST.xml");
        return gf_readApf("airports/TEST.xml", summary, quality);
    }

    ParkFileState state;
    TempFolder dir;
    CurrentFolder cwd;
    AirportLog log;
    ApfInfo summary;
    QualityFactors quality;
    std::vector<clv::ApfReadReport> reports;
};

}  // namespace

TEST_F(ApfReaderTest, ReadsStandsOptionsAndTheSummary) {
    RegRecords records;
    records.add("HB-JLT", {"SWR", "A320", "EDW", false});  // the operator becomes the airline
    ASSERT_EQ(readFixture(), "");
    EXPECT_EQ(summary.airport_name, "Test Field");
    EXPECT_EQ(summary.publisher, "stock");
    EXPECT_EQ(summary.altitude, 1416);
    ASSERT_EQ(standList.size(), 4u);

    const Stand& a1 = standList[0];
    EXPECT_EQ(a1.name, "A1");
    EXPECT_EQ(a1.id, 1u);
    EXPECT_DOUBLE_EQ(a1.latitude, 47.45);
    EXPECT_DOUBLE_EQ(a1.longitude, 8.55);
    EXPECT_NEAR(a1.heading, M_PI / 2, 1e-12);
    EXPECT_NEAR(a1.radius, 27.8 * kReaderNmPerMetre, 1e-12);
    EXPECT_FALSE(a1.cargo || a1.ramp || a1.heli || a1.manual);
    ASSERT_EQ(a1.options.size(), 3u);
    const StandOption& o1 = a1.options[0];
    EXPECT_EQ(o1.id, 1u);
    EXPECT_EQ(o1.registration, "HB-JLT");
    EXPECT_EQ(o1.airline, "EDW");  // from the record, not the file's XXX
    EXPECT_EQ(o1.type, "A320");
    EXPECT_EQ(o1.callsign, "SWR100");
    EXPECT_EQ(o1.secondCallsign, "SWR100A");
    EXPECT_EQ(o1.weekday, 1u);
    EXPECT_EQ(gf_bitset2hours(o1.hours), "16,17");
    EXPECT_EQ(o1.real, 1u);
    EXPECT_EQ(o1.fixed, 1u);
    const StandOption& o2 = a1.options[1];
    EXPECT_EQ(o2.id, 2u);
    EXPECT_EQ(o2.real, 0u);
    EXPECT_EQ(o2.airline, "EZY");
    EXPECT_EQ(o2.registration, "");
    EXPECT_EQ(o2.callsign, "");
    EXPECT_EQ(a1.options[2].airline, "RYR");  // no record: the file's airline and type
    EXPECT_EQ(a1.options[2].type, "B738");

    EXPECT_TRUE(standList[1].ramp);
    EXPECT_FALSE(standList[1].cargo);
    EXPECT_TRUE(standList[2].cargo && standList[2].ramp);
    EXPECT_EQ(standList[3].name, "H 1");
    EXPECT_TRUE(standList[3].heli);
    EXPECT_EQ(standList[3].id, 4u);

    // A1 and A2: 0.02 nm apart, radii 0.015 + 0.01 > 0.022; A1 and A3: 0.025 nm, not.
    EXPECT_EQ(standList[0].adjacent, std::vector<std::uint32_t>{2});
    EXPECT_EQ(standList[1].adjacent, std::vector<std::uint32_t>{1});
    EXPECT_TRUE(standList[2].adjacent.empty());
    EXPECT_TRUE(standList[3].adjacent.empty());

    EXPECT_EQ(quality, (QualityFactors{32, 16}));  // the file's own, without a learned file
    EXPECT_TRUE(parkingActive);
    EXPECT_EQ(parking_percentage.value, 30);  // no learned file
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].standCount, 4u);
    EXPECT_EQ(reports[0].qualityText, "32/16");
    EXPECT_EQ(reports[0].altitude, 1416);
    EXPECT_FALSE(reports[0].handmade);
    EXPECT_TRUE(log.contains("Airport file read from \"airports/TEST.xml\" for Test Field"));
    EXPECT_TRUE(log.contains("          parking_percentage      : 30%"));
    EXPECT_TRUE(log.contains("          num_parkpos             : 4"));
    EXPECT_TRUE(log.contains("          quality factor          : 32/16"));
}

TEST_F(ApfReaderTest, DefaultsOfMissingParametersAndAttributes) {
    rtTrafficWeek = 9;
    const std::string text = readerApfText(kAltitude,
                                     "<parkpos id=\"A1\" latitude=\"47.45\" longitude=\"8.55\">"
                                     "<opt day=\"x\" hh=\"3,99\" /><opt /></parkpos>"
                                     "<parkpos id=\"B\" latitude=\"12.5abc\" />"
                                     "<parkpos id=\"gone\" latitude=\"0\" longitude=\"0.0\"><opt day=\"1\" /></parkpos>"
                                     "<parkpos id=\"nan\" latitude=\"nan\" longitude=\"inf\" />");
    ASSERT_EQ(read(text), "");
    EXPECT_EQ(summary.airport_name, "");
    EXPECT_EQ(summary.publisher, "");
    EXPECT_EQ(rtTrafficWeek, 0);
    EXPECT_EQ(quality, (QualityFactors{-1, -1}));
    ASSERT_EQ(standList.size(), 2u);  // "gone" and "nan" have no position
    const Stand& a1 = standList[0];
    EXPECT_EQ(a1.radius, 0.0);
    EXPECT_EQ(a1.heading, 0.0);
    ASSERT_EQ(a1.options.size(), 2u);
    EXPECT_EQ(a1.options[0].weekday, 0u);
    EXPECT_EQ(gf_bitset2hours(a1.options[0].hours), "3");
    EXPECT_EQ(a1.options[1].id, 2u);
    EXPECT_EQ(a1.options[1].real, 1u);
    EXPECT_TRUE(a1.options[1].hours.none());
    EXPECT_DOUBLE_EQ(standList[1].latitude, 12.5);
    EXPECT_EQ(standList[1].longitude, 0.0);
    EXPECT_TRUE(log.contains("gf_hours2bitset invalid hour \"99\" in 3,99"));
}

// A stand on the equator or on the prime meridian is a stand; only the position
// 0,0 (or none at all) marks one without a position.
TEST_F(ApfReaderTest, AStandIsLeftOutOnlyWhenBothLatitudeAndLongitudeAreZero) {
    struct Case {
        const char* attributes;
        bool kept;
    };
    for (const Case& c : {Case{"latitude=\"0\" longitude=\"9.5\"", true},
                          Case{"latitude=\"51.48\" longitude=\"0\"", true},
                          Case{"longitude=\"-78.36\"", true},
                          Case{"latitude=\"-0.13\"", true},
                          Case{"latitude=\"0\" longitude=\"0\"", false},
                          Case{"latitude=\"-0.0\" longitude=\"0.000\"", false},
                          Case{"", false}}) {
        standList.clear();
        const std::string stand = std::string("<parkpos id=\"S\" ") + c.attributes + "><opt hh=\"1\" /></parkpos>";
        read(readerApfText(kAltitude, kOneStand + stand));
        ASSERT_GE(standList.size(), 1u) << c.attributes;
        EXPECT_EQ(standList.size(), c.kept ? 2u : 1u) << c.attributes;
        EXPECT_EQ(standList.back().name, c.kept ? "S" : "A1") << c.attributes;
    }
}

TEST_F(ApfReaderTest, ErrorTexts) {
    EXPECT_EQ(gf_readApf("", summary, quality), "gf_readApf xml is empty...");
    EXPECT_EQ(read("<?xml version=\"1.0\"?>\n<meta>", "airports/BAD.xml"),
              "airports/BAD.xml could not be loaded: Start-end tags mismatch");
    EXPECT_EQ(gf_readApf("airports/NONE.xml", summary, quality),
              "airports/NONE.xml could not be loaded: File was not found");
    std::string noVersion = readerApfText(kAltitude, kOneStand);
    noVersion.replace(noVersion.find("<info name=\"version\" value=\"10.10.9\" />"), 40, "");
    EXPECT_EQ(read(noVersion), "airports/TEST.xml but refused to load, copyright problem");
    EXPECT_TRUE(log.contains("===> meta data incorrect?"));
    EXPECT_TRUE(standList.empty());

    apfReadHooks.parkAirportCode = [] { return std::string(); };
    EXPECT_EQ(read(readerApfText(kAltitude, kOneStand)), "gf_readApf no park airport set");
    EXPECT_TRUE(standList.empty());
    EXPECT_FALSE(parkingActive);
}

TEST_F(ApfReaderTest, NoStandsFoundStillActivatesParking) {
    EXPECT_EQ(read(readerApfText(kAltitude + "<parameter name=\"airport_name\" value=\"Nowhere\" />",
                           "<parkpos id=\"A1\" /><parkpos id=\"A2\" radius=\"30\" />")),
              "no stands found");
    EXPECT_EQ(summary.airport_name, "Nowhere");
    EXPECT_TRUE(parkingActive);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].standCount, 0u);
    // No parkpositions element at all: the same.
    EXPECT_EQ(read(std::string(kMeta) + "<parameters>" + kAltitude + "</parameters>"), "no stands found");
}

TEST_F(ApfReaderTest, UserErrorsPassThrough) {
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {readerApfText("", kOneStand), "65: Parameter altitude not found"},
        {readerApfText(kAltitude, kOneStand + "<parkpos id=\"A12\" latitude=\"1\" /><parkpos id=\"A12\" latitude=\"2\" />"),
         "94: Parking position A12 appears more than once?"},
        {readerApfText(kAltitude, "<parkpos latitude=\"1\" /><parkpos latitude=\"2\" />"),
         "94: Parking position  appears more than once?"},
        // A stand without position still takes its id.
        {readerApfText(kAltitude, "<parkpos id=\"X\" /><parkpos id=\"X\" latitude=\"2\" />"),
         "94: Parking position X appears more than once?"},
    };
    for (const Case& c : cases) {
        standList.clear();
        try {
            read(c.text);
            ADD_FAILURE() << "no user error for " << c.message;
        } catch (const clv::UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

TEST_F(ApfReaderTest, ArchivedFilesAreFetchedIntoTheLocalCopy) {
    const std::string file = readerApfText(kAltitude, kOneStand);
    EXPECT_EQ(gf_readApf("MSFS/archive/stock/TEST.zip", summary, quality),
              "gf_readApf cannot fetch MSFS/archive/stock/TEST.zip: no download server");
    std::vector<std::string> fetched;
    apfReadHooks.downloadApf = [&](const std::string& name) {
        fetched.push_back(name);
        return std::string("download of ") + name + " failed";
    };
    EXPECT_EQ(gf_readApf("MSFS/archive/stock/TEST.zip", summary, quality),
              "download of MSFS/archive/stock/TEST.zip failed");
    EXPECT_TRUE(standList.empty());
    apfReadHooks.downloadApf = [&](const std::string& name) {
        fetched.push_back(name);
        dir.write("airports/park_airport.xml", file);
        return std::string();
    };
    EXPECT_EQ(gf_readApf("MSFS/archive/stock/TEST.zip", summary, quality), "");
    EXPECT_EQ(fetched.size(), 2u);
    EXPECT_EQ(standList.size(), 1u);
    EXPECT_TRUE(log.contains("Airport file read from \"MSFS/archive/stock/TEST.zip\" for "));
}

TEST_F(ApfReaderTest, LearnedFileDecidesTheQualityAndMayOverruleTheFile) {
    dir.write("airports/learned/stock/TEST.xml", "learned");
    std::vector<std::string> asked;
    apfReadHooks.archivePath = [&](const std::string& name, const std::string& publisher) {
        asked.push_back(name + "|" + publisher);
        return fs::path("airports/learned/stock/TEST.xml");
    };
    apfReadHooks.readLearned = [](const fs::path&, ApfInfo&) {
        // The merge taught the stand one real option on weekday 3, half-hours 10 and 11.
        standList.at(0).options.push_back(option(1, 3, {10, 11}));
        handmadeFile = true;
    };
    ASSERT_EQ(read(readerApfText(kAltitude + "<parameter name=\"publisher\" value=\"stock\" />"
                                       "<parameter name=\"Qf_real\" value=\"90\" /><parameter name=\"Qf_soft\" value=\"80\" />",
                           kOneStand)),
              "");
    EXPECT_EQ(asked, std::vector<std::string>{"airports/TEST.xml|stock"});
    EXPECT_EQ(quality, (QualityFactors{63, 0}));  // computed: 10124 x 0.00625 = 63.275
    EXPECT_EQ(parking_percentage.value, 55);      // a learned file keeps the setting
    EXPECT_TRUE(log.contains("A handmade airport file overruled the archived file!"));
    EXPECT_TRUE(log.contains("Airport file read from \"airports/learned/stock/TEST.xml\" for "));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].handmade);
}

TEST_F(ApfReaderTest, OtherErrorsBecomeTheReadersText) {
    apfReadHooks.archivePath = [](const std::string&, const std::string&) { return fs::path("learned.xml"); };
    dir.write("learned.xml", "x");
    apfReadHooks.readLearned = [](const fs::path&, ApfInfo&) { throw std::runtime_error("merge failed"); };
    EXPECT_EQ(read(readerApfText(kAltitude, kOneStand)), "gf_readApf: merge failed");
    EXPECT_EQ(standList.size(), 1u);  // what was read stays
    EXPECT_FALSE(parkingActive);
}

TEST_F(ApfReaderTest, WriteReadRoundTripKeepsStandsAndOptions) {
    RegRecords records;
    records.add("HB-JLT", {"SWR", "A320", "", false});
    clv::ApfData data;
    data.airport_name = "Round Trip";
    data.publisher = "stock";
    data.altitude = -12;
    Stand gate("G 1", {}, 47.123456, -8.654321, 1.2345, 40.5, {.cargo = true});
    // 300 options with ids that are neither 1..n nor unique, an empty entry among them.
    for (std::uint32_t k = 0; k < 300; ++k) {
        StandOption o = option(k % 7 == 0 ? 0 : 1000 - k, 1 + k % 7, {k % 48, (k * 5) % 48}, k % 3 == 0 ? 0 : 1);
        o.airline = k % 2 ? "SWR" : "";
        o.type = "A320";
        o.registration = k % 5 == 0 ? "HB-JLT" : "";
        o.callsign = k % 4 ? "SWR" + std::to_string(k) : "";
        o.secondCallsign = k % 8 == 1 ? "SWR" + std::to_string(k) + "A" : "";
        o.planSkip = k % 11 == 0;  // skipped by the current plan: saved all the same
        gate.options.push_back(o);
    }
    data.stands.push_back(gate);
    data.stands.emplace_back("H", std::vector<StandOption>{}, -47.5, 170.25, 6.2, 9.9, clv::StandKinds{.heli = true});
    data.stands.emplace_back("R", std::vector<StandOption>{}, 10.0, 20.0, 0.0, 0.5, clv::StandKinds{.ramp = true});
    handmadeFile = true;
    fs::create_directories(dir / "airports");
    ASSERT_TRUE(gf_writeApf(data, dir / "airports" / "TEST.xml", kApfLearnedMode));

    ASSERT_EQ(gf_readApf("airports/TEST.xml", summary, quality), "");
    EXPECT_EQ(summary.airport_name, "Round Trip");
    EXPECT_EQ(summary.altitude, -12);
    ASSERT_EQ(standList.size(), data.stands.size());
    for (std::size_t s = 0; s < data.stands.size(); ++s) {
        const Stand& in = data.stands[s];
        const Stand& out = standList[s];
        EXPECT_EQ(out.name, in.name);
        EXPECT_NEAR(out.latitude, in.latitude, 0.5e-6);    // six decimals
        EXPECT_NEAR(out.longitude, in.longitude, 0.5e-6);
        EXPECT_NEAR(out.heading, in.heading, 0.05 * M_PI / 180);  // a tenth of a degree
        EXPECT_NEAR(out.radius, in.radius, 0.05 * kReaderNmPerMetre);   // a tenth of a metre
        EXPECT_EQ(out.ramp, in.ramp);
        EXPECT_EQ(out.heli, in.heli);
        EXPECT_EQ(out.cargo, in.heli ? false : in.cargo);  // a helipad is written without its cargo kind
        std::vector<StandOption> kept;
        for (const StandOption& o : in.options)
            if (o.id != 0) kept.push_back(o);
        ASSERT_EQ(out.options.size(), kept.size());
        for (std::size_t k = 0; k < kept.size(); ++k) {
            const StandOption& a = kept[k];
            const StandOption& b = out.options[k];
            EXPECT_EQ(b.id, k + 1);  // renumbered in file order
            EXPECT_EQ(b.registration, a.registration);
            // A known registration is written without airline and type; the record gives them back.
            EXPECT_EQ(b.airline, a.registration.empty() ? a.airline : "SWR");
            EXPECT_EQ(b.type, a.type);
            EXPECT_EQ(b.callsign, a.callsign);
            EXPECT_EQ(b.secondCallsign, a.secondCallsign);
            EXPECT_EQ(b.hours, a.hours);
            EXPECT_EQ(b.weekday, a.weekday);
            EXPECT_EQ(b.real, a.real);
            EXPECT_EQ(b.fixed, 1u);
            EXPECT_FALSE(b.planSkip);
        }
    }
    EXPECT_EQ(standList[0].options.size(), 257u);  // 300 less the 43 empty entries
}

TEST(OptIdentityTest, CallsignsOfTheCsAttribute) {
    struct Case {
        const char* cs;
        const char* callsign;
        const char* second;
    };
    const std::vector<Case> cases = {
        {"ABC12", "ABC12", ""}, {"ABC12:ABC12A", "ABC12", "ABC12A"}, {"A:B:C", "A", ""},
        {":B", "", "B"},        {"A:", "A", ""},                     {"", "", ""},
    };
    for (const Case& c : cases) {
        pugi::xml_document document;
        pugi::xml_node opt = document.append_child("opt");
        opt.append_attribute("cs").set_value(c.cs);
        opt.append_attribute("airl").set_value("SWR");
        const clv::OptIdentity identity = lf_readOptIdentity(opt);
        EXPECT_EQ(identity.callsign, c.callsign) << c.cs;
        EXPECT_EQ(identity.secondCallsign, c.second) << c.cs;
        EXPECT_EQ(identity.airline, "SWR") << c.cs;
        EXPECT_EQ(identity.type, "") << c.cs;
    }
}
