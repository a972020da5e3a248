// aircraft.cfg parsing: key syntax, section numbering and cutting, the section
// reader's rules, model types, airline codes and registrations.
#include "liveries/aircraft_cfg.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/parameters.h"
#include "core/workers.h"
#include "liveries/ivao_cfg.h"
#include "liveries/livery_check.h"
#include "liveries/livery_scan.h"
#include "liveries/regcodes.h"
#include "scan_fixture.h"

namespace fs = std::filesystem;
using clv::LiveryData;
using clv::test::ScanEnvironment;

namespace {

// The pattern the key syntax stands for, as the oracle of the hand-written matcher.
std::string regexKeyValue(const std::string& line, const std::string& key) {
    const std::regex pattern("\\s*(" + key + ")\\s*=\\s*(.*\\S)\\s*", std::regex::ECMAScript | std::regex::icase);
    std::smatch match;
    return std::regex_match(line, match, pattern) ? match[2].str() : std::string();
}

std::string regexFltsimNumber(const std::string& line) {
    if (line.rfind("//", 0) == 0) return {};
    static const std::regex pattern(R"(\s*(\[fltsim\.)(\d+)\]\s*)", std::regex::ECMAScript | std::regex::icase);
    std::smatch match;
    if (std::regex_match(line, match, pattern)) return match[2].str();
    if (line.find("[fltsim.") != std::string::npos || line.find("[FLTSIM.") != std::string::npos) return "10000";
    return {};
}

// Parses a file of the given text as a parser task started by the walk would.
std::vector<LiveryData> parseCfg(const ScanEnvironment& environment, const std::string& relative,
                                 const std::string& text) {
    const fs::path path = environment.root() / relative;
    fs::create_directories(path.parent_path());
    gf_writeTextFile(text, path, false);
    runningTasks.fetch_add(1);
    auto liveries = lf_searchLiveriesinFile(3, path);
    EXPECT_EQ(runningTasks.load(), 0) << "the task gives its worker slot back";
    return liveries;
}

std::vector<std::string> titlesOf(const std::vector<LiveryData>& liveries) {
    std::vector<std::string> titles;
    for (const auto& livery : liveries) titles.push_back(livery.title);
    return titles;
}

}  // namespace

TEST(CfgKeySyntax, MatchesThePatternForEveryKeyAndLine) {
    const std::vector<std::string> keys{"title",  "texture",      "base_container",   "icao_type_designator",
                                        "atc_id", "icao_airline", "atc_parking_types"};
    const std::vector<std::string> lines{
        "title=abc",
        "  Title  =  \"A B\" ; c  ",
        "TITLE=x",
        "title =",
        "title = \t ",
        "titles=abc",
        "title_x = a",
        "; title = a",
        "//title=a",
        "x title = a",
        "title = a\rb",
        "title = a\nb",
        "title = a\r",
        "\r\ntitle = a",
        "\ttitle\t=\tvalue\t",
        "title==x",
        "title = \xC3\xA9t\xC3\xA9",
        "title = \v x \f",
        "atc_id=D-ABCD",
        "ATC_ID = \"D-ABCD\" // comment",
        "atc_id_color = 0xffffffff",
        "atc_parking_types=GATE,RAMP",
        "icao_type_designator = \"B738-800\"",
        "base_container = \"..\\Asobo_A320_NEO\"",
        "icao_airline=",
        "texture = ",
        "texture=\"\"",
        "",
        "=",
    };
    for (const auto& key : keys) {
        for (const auto& line : lines) {
            EXPECT_EQ(lf_cfgKeyValue(line, key), regexKeyValue(line, key)) << "key " << key << ", line \"" << line << "\"";
        }
    }
}

TEST(CfgKeySyntax, ReadersApplyTheRulesOfTheirKey) {
    struct Case {
        std::string line;
        bool (*reader)(std::string_view, std::string&);
        bool found;
        std::string value;
    };
    const Case cases[] = {
        {"title = \"FAIB A320 Lufthansa\" ; comment", &lf_readTitle, true, "FAIB A320 Lufthansa"},
        {"title = FAIB A320 ; comment", &lf_readTitle, true, "FAIB A320 ; comment"},
        {"title = \"\"", &lf_readTitle, false, ""},
        {"; title = commented out", &lf_readTitle, false, ""},
        {"icao_airline = dlh", &lf_readIcaoAirline, true, "DLH"},
        {"icao_airline = ZZZZ", &lf_readIcaoAirline, true, "ZZZ"},
        {"icao_airline = \"\"", &lf_readIcaoAirline, true, "ZZZ"},
        {"icao_airline =", &lf_readIcaoAirline, false, ""},
        {"atc_id = D-AB", &lf_readAtcId, false, ""},
        {"atc_id = D-ABC", &lf_readAtcId, true, "D-ABC"},
        {"atc_id = D-ABCD", &lf_readAtcId, true, "D-ABCD"},
        {"atc_id = \"PHXR\"", &lf_readAtcId, false, ""},
        {"atc_parking_types = GATE, RAMP", &lf_readParkingTypes, true, "GATE, RAMP"},
        {"texture = \"DLH\"", &lf_readTexture, true, "DLH"},
    };
    for (const auto& c : cases) {
        std::string value;
        EXPECT_EQ(c.reader(c.line, value), c.found) << c.line;
        if (c.found) {
            EXPECT_EQ(value, c.value) << c.line;
        }
    }
    EXPECT_TRUE(lf_hasAtcIdKey("atc_id=D-ABCD"));
    EXPECT_FALSE(lf_hasAtcIdKey("atc_id = D-ABCD"));
    EXPECT_TRUE(lf_hasParkingTypesKey("atc_parking_types = GATE ; comment"));
    // A key commented out is no key line.
    EXPECT_FALSE(lf_hasParkingTypesKey("; atc_parking_types = GATE"));
    EXPECT_FALSE(lf_hasAtcIdKey("  //atc_id=D-ABCD"));
    EXPECT_FALSE(lf_hasIcaoAirlineKey("\t;icao_airline = DLH"));
    EXPECT_TRUE(lf_hasIcaoAirlineKey("icao_airline = DLH ; was KLM"));
}

TEST(CfgSections, HeaderNumbers) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"[fltsim.0]", "0"},
        {"  [FLTSIM.12]  ", "12"},
        {"[FltSim.3]", "3"},
        {"[fltsim.1] // comment", "10000"},
        {";[fltsim.1]", "10000"},
        {"//[fltsim.1]", ""},
        {"[Fltsim.]", ""},
        {"[fltsim.]", "10000"},
        {"[FLTSIM.x]", "10000"},
        {"[GENERAL]", ""},
        {"title = [fltsim.2]", "10000"},
    };
    for (const auto& [line, number] : cases) {
        EXPECT_EQ(lf_fltsimNumber(line), number) << line;
        EXPECT_EQ(lf_fltsimNumber(line), regexFltsimNumber(line)) << line;
    }
}

TEST(CfgSections, NumberingCheck) {
    ScanEnvironment environment;
    struct Case {
        std::vector<std::string> headers;
        bool ok;
        std::string report;  // the InvalidAircraftCfgFiles line, after the path
    };
    const Case cases[] = {
        {{"[fltsim.2]", "[fltsim.0]", "[fltsim.3]", "[fltsim.1]"}, true, ""},
        {{"[fltsim.0]", "[fltsim.0]"}, false, " contains non-consecutive [fltsim.x] numbers at .x=0"},
        {{"[fltsim.0]", "[fltsim.2]"}, false, " contains non-consecutive [fltsim.x] numbers at .x=2"},
        {{"[fltsim.1]"}, false, " contains non-consecutive [fltsim.x] numbers at .x=1"},
        {{"[fltsim.0]", "[fltsim.1] ; comment"}, false, " contains a [fltsim.] section without a number"},
        {{"[fltsim.0]", ";[fltsim.1]"}, false, " contains a [fltsim.] section without a number"},
        {{"[fltsim.0]", "//[fltsim.1]"}, true, ""},
        {{"[fltsim.0]", "[Fltsim.x]"}, true, ""},
    };
    for (const auto& c : cases) {
        invalidCfgList.clear();
        clv::CfgLines lines{"[GENERAL]", "icao_type_designator = A320"};
        for (const auto& header : c.headers) lines.insert(lines.end(), {header, "title = x"});
        EXPECT_EQ(lf_checkFltsimNumbers(lines, "/p/aircraft.cfg"), c.ok) << c.headers.front();
        if (c.ok)
            EXPECT_TRUE(invalidCfgList.empty());
        else
            EXPECT_EQ(invalidCfgList.lines(), std::vector<std::string>{"/p/aircraft.cfg" + c.report});
    }

    emptyCfgList.clear();
    EXPECT_TRUE(lf_checkFltsimNumbers({"[GENERAL]", "icao_type_designator = A320"}, "/p/empty/aircraft.cfg"));
    EXPECT_EQ(emptyCfgList.lines(), std::vector<std::string>{"/p/empty/aircraft.cfg"});

    EXPECT_FALSE(lf_checkFltsimNumbers({"[fltsim.0]", "[fltsim.2147483648]"}, "/p/aircraft.cfg"));
    EXPECT_TRUE(environment.logged("===> fltsim num [fltsim.2147483648] incorrect"));
}

TEST(CfgSections, CuttingKeepsLateBracketsAndReadsTheLastSection) {
    const clv::CfgLines lines{
        "[fltsim.0]", "title = A", "ui_variation = \"x [old]\"", "[GENERAL]", "title = ignored",
        "[fltsim.1]", "title = B", "  [x]",                      "title = ignored too", "[fltsim.2]",
        "title = C",
    };
    clv::SectionCut cut;
    clv::CfgLines completed;
    std::vector<clv::CfgLines> sections;
    for (const auto& line : lines) {
        if (lf_fltsimLineStep(line, cut, completed)) sections.push_back(completed);
    }
    if (cut.open) sections.push_back(cut.lines);
    const std::vector<clv::CfgLines> expected{
        {"[fltsim.0]", "title = A", "ui_variation = \"x [old]\""},
        {"[fltsim.1]", "title = B"},
        {"[fltsim.2]", "title = C"},
    };
    EXPECT_EQ(sections, expected);
}

// Each section with one fault, and what the scan reports of it.
TEST(CfgSectionReader, RulesOfAGeneralSection) {
    ScanEnvironment environment;
    const std::string folder = (environment.root() / "pkg/B738").string();
    const std::string path = folder + "/aircraft.cfg";
    struct Case {
        std::string name;
        std::vector<std::string> body;  // after the header "[fltsim.0]"
        std::vector<std::string> titles;
        std::vector<std::string> incomplete;   // IncompleFltsimSections lines
        std::vector<std::string> invalidAirline;
    };
    const std::string h = "[fltsim.0]";
    const Case cases[] = {
        {"plain", {"title = T1", "icao_airline = DLH", "atc_id = D-ABCD"}, {"T1"}, {}, {}},
        {"two titles", {"title = T1", "title = T2"}, {}, {folder + " " + h + " has more than one title key"}, {}},
        {"two airlines",
         {"title = T1", "icao_airline = DLH", "icao_airline = BAW"},
         {},
         {folder + " " + h + " has more than one icao_airline key"},
         {}},
        {"second airline with a comment after it",
         {"title = T1", "icao_airline = DLH", "icao_airline = BAW ; old"},
         {},
         {folder + " " + h + " has more than one icao_airline key"},
         {}},
        // A key commented out after the real one is no second key.
        {"commented keys after the real ones",
         {"title = T1", "icao_airline = DLH", "atc_parking_types = GATE", "atc_id=D-ABCD", ";icao_airline = BAW",
          "  // icao_airline = KLM", "\t;atc_parking_types = RAMP", "//atc_id=D-ABCE", "; title = T2"},
         {"T1"},
         {},
         {}},
        {"unknown airline read again",
         {"title = T1", "icao_airline = EZY", "icao_airline = XYZ", "icao_airline = KLM"},
         {"T1"},
         {},
         {fmt::format("{:12} in {} {}", "EZY", path, h), fmt::format("{:12} in {} {}", "XYZ", path, h)}},
        {"two parking types",
         {"title = T1", "icao_airline = DLH", "atc_parking_types = GATE", "atc_parking_types = RAMP"},
         {},
         {folder + " " + h + " has more than one atc_parking_types key"},
         {}},
        {"two registrations",
         {"title = T1", "icao_airline = DLH", "atc_id = D-ABCD", "atc_id=D-ABCE"},
         {},
         {folder + ", " + h + ", has more than one atc_id key"},
         {}},
        {"second atc_id with blanks", {"title = T1", "icao_airline = DLH", "atc_id = D-ABCD", "atc_id = D-ABCE"},
         {"T1"}, {}, {}},
        {"short atc_id then another", {"title = T1", "icao_airline = DLH", "atc_id = PHXR", "atc_id=PH-XRC"},
         {"T1"}, {}, {}},
        {"no title", {"icao_airline = DLH"}, {}, {folder + " " + h + " misses title"}, {}},
        {"RFO", {"title = T1", "icao_airline = RFO"}, {}, {}, {}},
        {"PMDG", {"title = PMDG 737-800 test", "icao_airline = DLH"}, {}, {}, {}},
        {"Fenix", {"title = FenixA320 test", "icao_airline = DLH"}, {}, {}, {}},
        {"stub", {"title = T1-STUB", "icao_airline = DLH"}, {}, {}, {}},
        {"large without airline",
         {"title = T1"},
         {},
         {"\"" + folder + "\" \"" + h + "\" has no airline and no regcode info"},
         {}},
        {"large with unknown registration",
         {"title = T1", "atc_id = D-AQQQ"},
         {},
         {"\"" + folder + "\" \"" + h + "\" has no airline and its regcode is not in my dbase (very old liv?)"},
         {}},
        {"dont use", {"title = Never Use Me", "icao_airline = DLH"}, {}, {}, {}},
    };
    dontUseTitles = {"Never Use Me"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        lf_clearScanLists();
        dontUseTitles = {"Never Use Me"};
        clv::CfgLines section{h};
        section.insert(section.end(), c.body.begin(), c.body.end());
        section.insert(section.end(), {"", "// trailing comment"});
        auto liveries = lf_procesFltSimSection(2, section, "B738", path, folder);
        EXPECT_EQ(titlesOf(liveries), c.titles);
        EXPECT_EQ(incompleteSectionList.lines(), c.incomplete);
        EXPECT_EQ(invalidAirlineList.lines(), c.invalidAirline);
    }
    SUPPRESS_STUB.value = false;
    lf_clearScanLists();
    clv::CfgLines stub{h, "title = T1-STUB", "icao_airline = DLH"};
    EXPECT_EQ(titlesOf(lf_procesFltSimSection(2, stub, "B738", path, folder)), std::vector<std::string>{"T1-STUB"});
}

TEST(CfgSectionReader, AirlineRegistrationAndCargoOfTheLivery) {
    ScanEnvironment environment;
    struct Case {
        std::vector<std::string> body;
        std::string type;
        LiveryData expected;  // priority 2
    };
    const Case cases[] = {
        {{"title = A", "icao_airline = DLHX", "atc_id = D-ABCD"}, "A320", {"DLH", "A320", "A", "D-ABCD", 2, false}},
        {{"title = B", "icao_airline = UPSC", "atc_parking_types = cargo, ramp"}, "B748", {"UPS", "B748", "B", "", 2, true}},
        {{"title = C", "icao_airline = GEC", "atc_parking_types = GATE,CARGO"}, "B748", {"GEC", "B748", "C", "", 2, false}},
        {{"title = D", "icao_airline = ZZZZ", "atc_id = D-AXXX"}, "A320", {"ZZZ", "A320", "D", "", 2, false}},
        {{"title = E", "atc_id = DAIBL"}, "A320", {"DLH", "A320", "E", "DAIBL", 2, false}},
        {{"title = F PH1 private"}, "C172", {"PVT", "C172", "F PH1 private", "PH1", 2, false}},
        {{"title = G private"}, "C172", {"PVT", "C172", "G private", "", 2, false}},
        {{"title = H", "atc_id = D-EXYZ"}, "C172", {"PVT", "C172", "H", "D-EXYZ", 2, false}},
        {{"title = I", "icao_airline = KLM", "atc_id = PH-XRA, PH-XRB"}, "AT76", {"KLM", "AT76", "I", "", 2, false}},
        {{"title = J", "icao_airline = KLM", "atc_id = PH-XRA ; note, more"}, "AT76", {"KLM", "AT76", "J", "PH-XRA", 2, false}},
        {{"title = \"  K  \" ; x", "icao_airline = KLM"}, "AT76", {"KLM", "AT76", "K", "", 2, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.title);
        clv::CfgLines section{"[fltsim.0]"};
        section.insert(section.end(), c.body.begin(), c.body.end());
        auto liveries = lf_procesFltSimSection(2, section, c.type, "/p/aircraft.cfg", "/p");
        ASSERT_EQ(liveries.size(), 1u);
        EXPECT_TRUE(lf_sameLivery(liveries[0], c.expected));
        EXPECT_EQ(liveries[0].priority, 2);
    }
    // A title already taken in this scan is a duplicate, whichever file took it.
    clv::CfgLines again{"[fltsim.4]", "title = A", "icao_airline = DLH"};
    EXPECT_TRUE(lf_procesFltSimSection(2, again, "A320", "/q/aircraft.cfg", "/q").empty());
    EXPECT_EQ(incompleteSectionList.lines(), std::vector<std::string>{"/q [fltsim.4] title \"A\" already exists"});
}

TEST(CfgRegistrations, AtcIdValues) {
    ScanEnvironment environment;
    const std::vector<std::tuple<std::string, std::string, std::string>> cases{
        // value, registration, log line
        {"D-ABCD", "D-ABCD", ""},
        {" D-ABCD ;comment", "D-ABCD", ""},
        {"D-ABCD,D-ABCE", "", ""},
        {";D-ABCD", "", "invalid atc_id=;D-ABCD ==> in: T"},
        {"D-ABCD,,D-ABCE", "", "empty regcode in T D-ABCD,,D-ABCE"},
        {"D-ABCD, ", "", "empty regcode in T D-ABCD, "},
        {"PH-XRD-TOOLONG", "", "regcode: PH-XRD-TOOLONG, has more than 12 chars or contains UTF16 chars in \"T\"?"},
        {"PH-XR*", "", "===> T PH-XR* wild cards no longer supported, atc_id skipped "},
    };
    for (const auto& [value, registration, log] : cases) {
        EXPECT_EQ(lf_registrationFromAtcId(value, "T"), registration) << value;
        if (!log.empty()) {
            EXPECT_TRUE(environment.logged(log)) << log;
        }
    }
}

TEST(CfgModelTypes, DesignatorBaseContainerAndFixes) {
    ScanEnvironment environment;
    struct Case {
        std::string path;
        std::vector<std::string> lines;
        std::string type;
        std::vector<std::string> invalidCfg;
        std::vector<std::string> invalidModel;
        std::vector<std::string> fixes;
    };
    const Case cases[] = {
        {"/a/aircraft.cfg", {"icao_type_designator = \"B738-800\""}, "B738", {}, {}, {}},
        {"/a/aircraft.cfg", {"icao_type_designator = b738"}, "B738", {}, {}, {}},
        {"/a/aircraft.cfg", {"base_container = \"..\\Asobo_A320_NEO\""}, "A20N", {}, {}, {}},
        {"/a/aircraft.cfg", {"base_container = \"../Asobo_A320_NEO\"", "icao_type_designator = A319"}, "A319", {}, {}, {}},
        {"/a/aircraft.cfg",
         {"base_container = \"..\\Vendor_X\""},
         "",
         {"Line icao_type_designator= is missing in [General] section of /a/aircraft.cfg"},
         {},
         {}},
        {"/c/PMDG-Aircraft-77W/aircraft.cfg", {"base_container = \"..\\Vendor_X\""}, "", {}, {}, {}},
        {"/c/fnx-aircraft-320/aircraft.cfg", {"title = x"}, "", {}, {}, {}},
        {"/a/aircraft.cfg", {"icao_type_designator = A32N"}, "A20N", {}, {},
         {"Model fix: A32N found in /a/aircraft.cfg changed into A20N"}},
        {"/a/aircraft.cfg", {"icao_type_designator = XYZ9"}, "", {}, {"XYZ9             in /a/aircraft.cfg"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.front());
        lf_clearScanLists();
        EXPECT_EQ(lf_cfgModelType(c.path, c.lines), c.type);
        EXPECT_EQ(invalidCfgList.lines(), c.invalidCfg);
        EXPECT_EQ(invalidModelList.lines(), c.invalidModel);
        EXPECT_EQ(fixesList.lines(), c.fixes);
    }
    // A value too short for the folder prefix ends the file's task.
    EXPECT_THROW(lf_cfgModelType("/a/aircraft.cfg", {"base_container = ab"}), std::out_of_range);
}

// Liveries of an aircraft that another package installs (no [GENERAL] of their
// own): the base aircraft's own aircraft.cfg names the type.
TEST(CfgModelTypes, BaseContainerOfAnotherPackagesAircraft) {
    ScanEnvironment environment;
    const fs::path community = environment.root() / "Base";
    auto write = [&](const std::string& relative, const std::string& text) {
        fs::create_directories((community / relative).parent_path());
        gf_writeTextFile(text, community / relative, false);
    };
    write("vendor-aircraft-c172/SimObjects/Airplanes/Vendor_C172/aircraft.cfg",
          "[GENERAL]\nicao_type_designator = \"C172\"\n[FLTSIM.0]\ntitle = Vendor C172\n");
    write("vendor-aircraft-c172/SimObjects/Airplanes/Vendor_NoType/aircraft.cfg", "[FLTSIM.0]\ntitle = No type\n");
    write("traffic-pkg/SimObjects/Airplanes/Own_Base/Aircraft.CFG", "[GENERAL]\nicao_type_designator = A320\n");
    const fs::path liveries = community / "traffic-pkg/SimObjects/Airplanes";
    struct Case {
        std::string container;
        std::string type;
        bool missingLine;
    };
    const Case cases[] = {
        {"..\\Vendor_C172", "C172", false},    // another package, Windows separators
        {"../vendor_c172", "C172", false},     // case ignored, as the simulator does
        {"..\\Own_Base", "A320", false},       // this package
        {"..\\Vendor_NoType", "", true},       // the base names no type
        {"..\\Not_Installed", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.container);
        lf_clearScanLists();
        const fs::path cfg = liveries / ("Livery_" + std::to_string(&c - cases)) / "aircraft.cfg";
        const clv::CfgLines lines{"[FLTSIM.0]", "title = x", "base_container = \"" + c.container + "\""};
        fs::create_directories(cfg.parent_path());
        EXPECT_EQ(lf_cfgModelType(cfg, lines), c.type);
        EXPECT_EQ(invalidCfgList.size(), c.missingLine ? 1u : 0u);
    }
    // The whole file: its liveries are usable.
    lf_clearScanLists();
    const std::string text = "[fltsim.0]\ntitle = Caravan Livery\nbase_container = \"..\\Vendor_C172\"\n";
    write("traffic-pkg/SimObjects/Airplanes/Caravan_Livery/aircraft.cfg", text);
    runningTasks.fetch_add(1);
    auto found = lf_searchLiveriesinFile(1, liveries / "Caravan_Livery/aircraft.cfg");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].type, "C172");
    EXPECT_EQ(found[0].airl, "PVT");
}

TEST(CfgAirlineCodes, Check) {
    ScanEnvironment environment;
    struct Case {
        std::string code;
        clv::AirlineCheck check;
        std::string result;
    };
    const Case cases[] = {
        {"DLH", clv::AirlineCheck::Accepted, "DLH"},   {"DLHX", clv::AirlineCheck::Accepted, "DLH"},
        {"UPSC", clv::AirlineCheck::Accepted, "UPS"},  {"ZZZ", clv::AirlineCheck::Accepted, "ZZZ"},
        {"RFO", clv::AirlineCheck::Rejected, "RFO"},   {"EZY", clv::AirlineCheck::Dropped, ""},
        {"DLHY", clv::AirlineCheck::Dropped, ""},      {"D L H", clv::AirlineCheck::Dropped, ""},
    };
    for (const auto& c : cases) {
        std::string code = c.code;
        EXPECT_EQ(lf_checkAirlineCode(code, "/a/aircraft.cfg", "[fltsim.0]"), c.check) << c.code;
        EXPECT_EQ(code, c.result) << c.code;
    }
    EXPECT_EQ(invalidAirlineList.size(), 3u);
}

// Every text form the simulator's files come in gives the same liveries.
TEST(CfgFiles, EveryEncodingReadsAlike) {
    ScanEnvironment environment;
    const std::string text =
        "[GENERAL]\nicao_type_designator = \"A320\"\n\n[FLTSIM.0]\ntitle = \"Caf\xC3\xA9 Air\"\nicao_airline = DLH\n"
        "atc_id = D-ABCD\n\n[FLTSIM.1]\ntitle = Second\nicao_airline = BAW\n";
    for (const std::string form : {"plain", "crlf", "utf8bom", "utf16le", "utf16be"}) {
        SCOPED_TRACE(form);
        lf_clearScanLists();
        const std::string bytes = form == "plain" ? text : clv::test::encodeCfgText(text, form);
        auto liveries = parseCfg(environment, form + "/aircraft.cfg", bytes);
        ASSERT_EQ(titlesOf(liveries), (std::vector<std::string>{"Caf\xC3\xA9 Air", "Second"}));
        EXPECT_EQ(liveries[0].atcid, "D-ABCD");
        EXPECT_EQ(liveries[0].priority, 3);
    }
}

TEST(CfgFiles, WholeFileOutcomes) {
    ScanEnvironment environment;
    // Missing file: nothing, and the slot is still given back.
    runningTasks.fetch_add(1);
    EXPECT_TRUE(lf_searchLiveriesinFile(1, environment.root() / "none/aircraft.cfg").empty());
    EXPECT_EQ(runningTasks.load(), 0);

    // Broken numbering: nothing from the file, however good its sections.
    EXPECT_TRUE(parseCfg(environment, "broken/aircraft.cfg",
                         "[GENERAL]\nicao_type_designator=A320\n[fltsim.0]\ntitle=X1\nicao_airline=DLH\n"
                         "[fltsim.2]\ntitle=X2\nicao_airline=DLH\n")
                    .empty());
    // No model type: nothing.
    EXPECT_TRUE(parseCfg(environment, "notype/aircraft.cfg", "[fltsim.0]\ntitle=X3\nicao_airline=DLH\n").empty());
    // A faulty section is dropped alone.
    auto liveries = parseCfg(environment, "mixed/aircraft.cfg",
                             "[GENERAL]\nicao_type_designator=A320\n[fltsim.0]\ntitle=X4\ntitle=X5\n"
                             "[fltsim.1]\ntitle=X6\nicao_airline=DLH\n");
    EXPECT_EQ(titlesOf(liveries), std::vector<std::string>{"X6"});

    // A failing task still gives its slot back.
    const fs::path shortBase = environment.root() / "short/aircraft.cfg";
    fs::create_directories(shortBase.parent_path());
    gf_writeTextFile("[fltsim.0]\ntitle=X7\nbase_container=ab\n", shortBase, false);
    runningTasks.fetch_add(1);
    EXPECT_THROW(lf_searchLiveriesinFile(1, shortBase), std::out_of_range);
    EXPECT_EQ(runningTasks.load(), 0);
}

// A file that cannot be decoded or opened is named in InvalidAircraftCfgFiles.txt
// with the reason in words, by both parsers.
TEST(CfgFiles, UnreadableFilesAreReportedWithTheReason) {
    ScanEnvironment environment;
    const std::string body = "[GENERAL]\nicao_type_designator = A320\n[fltsim.0]\ntitle = T\nicao_airline = DLH\n";
    // UTF-16LE with a byte-order mark, then an unpaired high surrogate; and one with an odd byte count.
    std::string unpaired = clv::test::encodeCfgText(body, "utf16le");
    unpaired += std::string("\x00\xD8", 2);
    std::string odd = clv::test::encodeCfgText(body, "utf16le") + "x";
    for (const auto& [relative, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"unpaired/aircraft.cfg", unpaired}, {"odd/aircraft.cfg", odd}, {"IVAO_MTL/SimObjects/Airplanes/IVAO_A320/aircraft.cfg", odd}}) {
        SCOPED_TRACE(relative);
        lf_clearScanLists();
        const fs::path path = environment.root() / relative;
        fs::create_directories(path.parent_path());
        gf_writeTextFile(bytes, path, false);
        runningTasks.fetch_add(1);
        const auto liveries = gf_isIvaoCfgPath(path.string()) ? lf_parseIvaoAircraftCfg(1, path)
                                                              : lf_searchLiveriesinFile(1, path);
        EXPECT_TRUE(liveries.empty());
        EXPECT_EQ(invalidCfgList.lines(),
                  std::vector<std::string>{path.string() +
                                           " cannot be decoded as UTF-16: Invalid UTF-16 sequence found in input string."});
    }

    const fs::path locked = environment.root() / "locked/aircraft.cfg";
    fs::create_directories(locked.parent_path());
    gf_writeTextFile(body, locked, false);
    fs::permissions(locked, fs::perms::none);
    {
        clv::test::FolderRightsDropped rights;
        if (std::ifstream(locked)) {
            fs::permissions(locked, fs::perms::owner_all);
            GTEST_SKIP() << "this user reads every file";
        }
        lf_clearScanLists();
        runningTasks.fetch_add(1);
        EXPECT_TRUE(lf_searchLiveriesinFile(1, locked).empty());
    }
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(invalidCfgList.lines(), std::vector<std::string>{locked.string() + " cannot be opened: Permission denied"});
}
