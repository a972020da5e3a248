// aircraft.cfg files of the IVAO model packages: model type from the folder,
// airline from the title, and the section rules that differ from the general ones.
#include "liveries/ivao_cfg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fmt/format.h>

#include "core/files.h"
#include "core/workers.h"
#include "liveries/livery_check.h"
#include "liveries/livery_scan.h"
#include "liveries/regcodes.h"
#include "scan_fixture.h"

namespace fs = std::filesystem;
using clv::LiveryData;
using clv::test::ScanEnvironment;

TEST(IvaoModelType, FromTheModelFolder) {
    ScanEnvironment environment;
    struct Case {
        std::string path;
        std::string type;
        std::string invalidModel;  // the InvalidAircraftCodes line, if any
        std::string fix;
    };
    const Case cases[] = {
        {"/c/IVAO_MTL/SimObjects/Airplanes/IVAO_B738WLfa/aircraft.cfg", "B738", "", ""},
        {"/c/ivao_mtl/simobjects/airplanes/ivao_A320wCFM/Aircraft.cfg", "A320", "", ""},
        {"C:\\c\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_A319\\aircraft.cfg", "A319", "", ""},
        {"/c/ivao_x-csl/SimObjects/Airplanes/IVAO_B77W/aircraft.cfg", "B77W", "", ""},
        {"/c/IVAO_MTL/SimObjects/Airplanes/IVAO_A32Nsharklets/aircraft.cfg", "A20N", "",
         "Model fix: A32N found in /c/IVAO_MTL/SimObjects/Airplanes/IVAO_A32Nsharklets/aircraft.cfg changed into A20N"},
        {"/c/IVAO_MTL/SimObjects/Airplanes/IVAO_b738/aircraft.cfg", "",
         "b738             in /c/IVAO_MTL/SimObjects/Airplanes/IVAO_b738/aircraft.cfg", ""},
        {"/c/IVAO_MTL/SimObjects/Airplanes/Model_Extra/aircraft.cfg", "",
         "                 in /c/IVAO_MTL/SimObjects/Airplanes/Model_Extra/aircraft.cfg", ""},
        {"/c/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/sub/aircraft.cfg", "",
         "                 in /c/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/sub/aircraft.cfg", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        lf_clearScanLists();
        EXPECT_EQ(lf_ivaoModelType(c.path), c.type);
        EXPECT_EQ(invalidModelList.lines(),
                  c.invalidModel.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.invalidModel});
        EXPECT_EQ(fixesList.lines(), c.fix.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.fix});
    }
}

TEST(IvaoTitles, AirlineAfterTheType) {
    struct Case {
        std::string title;
        std::string type;
        bool winglets;
        bool matches;
        std::string airline;
    };
    const Case cases[] = {
        {"B738 DLH Lufthansa", "B738", false, true, "DLH"},
        {"b738dlh", "B738", false, true, "dlh"},
        {"B738W DLH Lufthansa", "B738", true, true, "DLH"},
        {"B738w  KLM", "B738", true, true, "KLM"},
        {"B738 DLH Lufthansa", "B738", true, false, ""},
        {"A320W AFR", "A320", false, false, ""},
        {"B738 D-ABCD", "B738", false, false, ""},
        {"B738 DL", "B738", false, false, ""},
        {"Lufthansa B738", "B738", false, false, ""},
        {"B738 DLH\rx", "B738", false, false, ""},
    };
    for (const auto& c : cases) {
        std::string airline;
        EXPECT_EQ(lf_ivaoTitleAirline(c.title, c.type, c.winglets, airline), c.matches) << c.title;
        if (c.matches) {
            EXPECT_EQ(airline, c.airline) << c.title;
        }
    }
}

TEST(IvaoSections, RulesOfAnIvaoSection) {
    ScanEnvironment environment;
    const fs::path folder = environment.root() / "IVAO_MTL/SimObjects/Airplanes/IVAO_A320wCFM";
    fs::create_directories(folder / "texture.DLH");
    fs::create_directories(folder / "Texture.afr");
    const fs::path path = folder / "aircraft.cfg";
    const std::string f = folder.string();
    const std::string h = "[fltsim.0]";
    struct Case {
        std::string name;
        std::vector<std::string> body;
        LiveryData livery;  // airl empty: none
        std::vector<std::string> incomplete;
        std::vector<std::string> invalidAirline;
        std::string log;
    };
    const Case cases[] = {
        {"winglet title", {"title = A320W DLH One", "texture = DLH"}, {"DLH", "A320", "A320W DLH One", "", 4, false}, {}, {}, ""},
        {"texture folder in another case", {"title = A320W AFR One", "texture = AFR", "atc_parking_types = CARGO"},
         {"AFR", "A320", "A320W AFR One", "", 4, false}, {}, {}, ""},
        {"trimmed title", {"title = \"  A320W DLH Two  \"", "texture = DLH"}, {"DLH", "A320", "A320W DLH Two", "", 4, false},
         {}, {}, "removed spaces around title \"  A320W DLH Two  \" --> \"A320W DLH Two\""},
        {"generic", {"title = A320W ZZZ Three", "texture = DLH", "atc_id = D-AXXX"}, {"ZZZ", "A320", "A320W ZZZ Three", "", 4, false},
         {}, {}, ""},
        {"missing texture folder", {"title = A320W DLH Four", "texture = SWR"}, {}, {(folder / "texture.SWR").string() + " " + h + " does not exist"}, {}, ""},
        {"no texture line", {"title = A320W DLH Five"}, {}, {(folder / "texture.").string() + " " + h + " does not exist"}, {}, ""},
        {"no title", {"texture = DLH"}, {}, {f + " " + h + " misses title"}, {}, ""},
        {"two titles", {"title = A", "title = B", "texture = DLH"}, {}, {f + " " + h + " has more than one title key"}, {}, ""},
        {"unknown airline", {"title = A320W XYZ Six", "texture = DLH"}, {}, {}, {fmt::format("{:12} in {} {}", "XYZ", path.string(), h)}, ""},
        {"no airline no registration", {"title = A320 DLH Seven", "texture = DLH"}, {},
         {f + " " + h + " misses airlinecode in title: A320 DLH Seven, and no regcode"}, {}, ""},
        {"airline by registration", {"title = Lufthansa Eight", "texture = DLH", "atc_id = D-AIZZ"},
         {"DLH", "A320", "Lufthansa Eight", "D-AIZZ", 4, false}, {}, {}, ""},
        {"unknown registration", {"title = Lufthansa Nine", "texture = DLH", "atc_id = D-AQQQ"}, {},
         {f + " " + h + " misses airlinecode in title: Lufthansa Nine, and regcode unknown D-AQQQ"}, {}, ""},
        {"G-BAFM", {"title = Lufthansa Ten", "texture = DLH", "atc_id = G-BAFM"}, {},
         {f + " " + h + " misses airlinecode in title: Lufthansa Ten, and no regcode"}, {}, ""},
        {"atc_id not cut at semicolon", {"title = A320W DLH Eleven", "texture = DLH", "atc_id = D-ABCD;x"},
         {"DLH", "A320", "A320W DLH Eleven", "D-ABCD;x", 4, false}, {}, {}, ""},
        {"long registration", {"title = A320W DLH Twelve", "texture = DLH", "atc_id = D-ABCDEFGHIJKL"},
         {"DLH", "A320", "A320W DLH Twelve", "", 4, false}, {}, {}, "regcode: D-ABCDEFGHIJKL, has more than 12 chars in title: A320W DLH Twelve"},
        {"two atc_id keys", {"title = A320W DLH 13", "texture = DLH", "atc_id = D-ABCD", "atc_id=D-ABCE"}, {},
         {f + ", " + h + ", has more than one atc_id key"}, {}, ""},
        {"two parking keys", {"title = A320W DLH 14", "texture = DLH", "atc_parking_types = GATE", "atc_parking_types = RAMP"}, {},
         {f + " " + h + " has more than one atc_parking_types key"}, {}, ""},
        {"stub titles are kept", {"title = A320W DLH 15-STUB", "texture = DLH"}, {"DLH", "A320", "A320W DLH 15-STUB", "", 4, false}, {}, {}, ""},
        {"dont use", {"title = A320W DLH Never", "texture = DLH"}, {}, {}, {}, ""},
        {"duplicate", {"title = A320W DLH One", "texture = DLH"}, {}, {f + " " + h + " title already exists: A320W DLH One"}, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        incompleteSectionList.clear();
        invalidAirlineList.clear();
        dontUseTitles = {"A320W DLH Never"};
        clv::CfgLines section{h};
        section.insert(section.end(), c.body.begin(), c.body.end());
        LiveryData livery = lf_parseIvaoFltsim(4, section, "A320", path, folder);
        if (c.livery.airl.empty()) {
            EXPECT_TRUE(livery.airl.empty()) << livery.title;
        } else {
            EXPECT_TRUE(lf_sameLivery(livery, c.livery)) << livery.airl << " " << livery.title << " " << livery.atcid;
        }
        EXPECT_EQ(incompleteSectionList.lines(), c.incomplete);
        EXPECT_EQ(invalidAirlineList.lines(), c.invalidAirline);
        if (!c.log.empty()) {
            EXPECT_TRUE(environment.logged(c.log)) << c.log;
        }
    }
}

TEST(IvaoFiles, AnyBracketEndsASection) {
    ScanEnvironment environment;
    const fs::path folder = environment.root() / "IVAO_MTL/SimObjects/Airplanes/IVAO_B738";
    fs::create_directories(folder / "texture.DLH");
    const fs::path path = folder / "aircraft.cfg";
    gf_writeTextFile("[fltsim.0]\ntitle = B738 DLH One\nui_variation = x [y]\ntexture = DLH\n"
                     "[fltsim.1]\ntitle = B738 DLH Two\ntexture = DLH\n",
                     path, false);
    runningTasks.fetch_add(1);
    auto liveries = lf_parseIvaoAircraftCfg(1, path);
    EXPECT_EQ(runningTasks.load(), 0);
    ASSERT_EQ(liveries.size(), 1u);
    EXPECT_EQ(liveries[0].title, "B738 DLH Two");
    // The first section lost its texture line to the bracket.
    EXPECT_EQ(incompleteSectionList.lines(),
              std::vector<std::string>{(folder / "texture.").string() + " [fltsim.0] does not exist"});

    // A model folder that names no type: the file is not read at all.
    const fs::path other = environment.root() / "IVAO_MTL/SimObjects/Airplanes/Extra/aircraft.cfg";
    fs::create_directories(other.parent_path());
    gf_writeTextFile("[fltsim.0]\ntitle = B738 DLH Three\n", other, false);
    runningTasks.fetch_add(1);
    EXPECT_TRUE(lf_parseIvaoAircraftCfg(1, other).empty());
    EXPECT_EQ(runningTasks.load(), 0);

    // A file that cannot be opened.
    const fs::path missing = environment.root() / "IVAO_MTL/SimObjects/Airplanes/IVAO_A319/aircraft.cfg";
    runningTasks.fetch_add(1);
    EXPECT_TRUE(lf_parseIvaoAircraftCfg(1, missing).empty());
    EXPECT_EQ(runningTasks.load(), 0);
    EXPECT_TRUE(environment.logged("===> no character set found for " + missing.string()));
}
