#include "link/sim_flight_plan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/folders.h"
#include "support/temp_folder.h"

using clv::test::readFile;
using clv::test::TempFolder;
namespace fs = std::filesystem;

namespace {

class FlightPlans : public ::testing::Test {
protected:
    void SetUp() override {
        previous = g_programDataFolder;
        g_programDataFolder = dir / "Calvorinth";
    }
    void TearDown() override {
        g_programDataFolder = previous;
        flightPlanFolder.clear();
    }
    TempFolder dir;
    Path previous;
};

}  // namespace

TEST_F(FlightPlans, TheFolderIsMadeBelowTheProgramDataFolderAndRemovedWithItsFiles) {
    ASSERT_TRUE(gf_createPlnFolder());
    EXPECT_EQ(flightPlanFolder, dir / "Calvorinth" / "orig_dest");
    EXPECT_TRUE(fs::is_directory(flightPlanFolder));
    EXPECT_TRUE(gf_createPlnFolder());  // a second time finds it
    ASSERT_TRUE(gf_writePln(flightPlanFolder / gf_plnPath(7), 2, "EDDF", "LEPA"));
    EXPECT_TRUE(gf_removeFlightPlanFolder());
    EXPECT_FALSE(fs::exists(flightPlanFolder));
    EXPECT_TRUE(fs::exists(g_programDataFolder));
    EXPECT_TRUE(gf_removeFlightPlanFolder());  // nothing left to remove
}

TEST_F(FlightPlans, AFolderThatCannotBeMadeIsThrownNamingTheStep) {
    dir.write("Calvorinth", "a file where the folder should be");
    try {
        gf_createPlnFolder();
        ADD_FAILURE() << "no error";
    } catch (const fs::filesystem_error& e) {
        EXPECT_NE(std::string(e.what()).find("create_directory"), std::string::npos) << e.what();
    }
}

TEST_F(FlightPlans, FileHoldsTheRouteWithTheFlightRulesOfTheCategory) {
    EXPECT_EQ(gf_plnPath(12345), "12345.pln");
    ASSERT_TRUE(gf_createPlnFolder());
    const fs::path path = flightPlanFolder / gf_plnPath(12345);
    ASSERT_TRUE(gf_writePln(path, 3, "EGLL", "KJFK"));
    EXPECT_EQ(readFile(path),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
              "<FlightPlan.FlightPlan>\n"
              "<FPType>IFR</FPType>\n"
              "<DepartureID>EGLL</DepartureID>\n"
              "<DestinationID>KJFK</DestinationID>\n"
              "</FlightPlan.FlightPlan>\n"
              "</SimBase.Document>\n");
    const char* rules[] = {"VFR", "IFR", "IFR", "IFR", "VFR", "VFR"};  // Light .. Rotorcraft
    for (std::uint32_t category = 0; category < 6; ++category) {
        EXPECT_STREQ(gf_flightRules(category), rules[category]) << category;
    }
}

TEST_F(FlightPlans, RouteTextsAreEscapedSoTheFileStaysXml) {
    ASSERT_TRUE(gf_createPlnFolder());
    const fs::path path = flightPlanFolder / gf_plnPath(1);
    ASSERT_TRUE(gf_writePln(path, 5, "A<B", "C&D \xC3\xA9"));
    const std::string text = readFile(path);
    EXPECT_NE(text.find("<FPType>VFR</FPType>"), std::string::npos);
    EXPECT_NE(text.find("<DepartureID>A&lt;B</DepartureID>"), std::string::npos) << text;
    EXPECT_NE(text.find("<DestinationID>C&amp;D \xC3\xA9</DestinationID>"), std::string::npos) << text;
}

TEST_F(FlightPlans, AFileThatCannotBeOpenedWritesNothing) {
    EXPECT_FALSE(gf_writePln(dir / "no" / "such" / "folder" / "1.pln", 2, "EDDF", "LEPA"));
    EXPECT_FALSE(fs::exists(dir / "no"));
}

TEST(SimPcPaths, LoopbackAddressesAreThisPcAndAnyOtherIsAnotherPc) {
    struct Case {
        const char* address;
        bool local;
    };
    const Case cases[] = {
        {"127.0.0.1", true},     {"127.1.2.3", true},     {"::1", true},          {"localhost", true},
        {"LocalHost", true},     {"192.168.1.20", false}, {"10.0.0.7", false},    {"172.16.0.1", false},
        {"128.0.0.1", false},    {"12.7.0.0", false},     {"localhost.lan", false},
    };
    for (const Case& c : cases) EXPECT_EQ(gf_isLocalSimAddress(c.address), c.local) << c.address;
}

TEST(SimPcPaths, AnotherPcGetsTheFileInTheShareWithTheSharesSeparator) {
    using Outcome = clv::SimPlanPath::Outcome;
    const std::string local = "/home/u/.config/Calvorinth/orig_dest/1001.pln";
    // "\1001.pln" takes 9 bytes: a folder of 250 bytes fills the 259 of the call's
    // path field exactly, one of 251 leaves the path a byte too long.
    const std::string fits = "D:\\" + std::string(250 - 3, 'f');
    const std::string tooLong = "D:\\" + std::string(251 - 3, 'f');
    struct Case {
        bool otherPc;
        std::string folder;
        Outcome outcome;
        std::string path;
    };
    const Case cases[] = {
        // This PC: the local path as it is, whatever the setting says.
        {false, "", Outcome::Send, local},
        {false, "\\\\MYPC\\calvorinth\\orig_dest", Outcome::Send, local},
        // Another PC: the share, with the separator it is written with.
        {true, "\\\\MYPC\\calvorinth\\orig_dest", Outcome::Send, "\\\\MYPC\\calvorinth\\orig_dest\\1001.pln"},
        {true, "D:\\shared\\orig_dest\\", Outcome::Send, "D:\\shared\\orig_dest\\1001.pln"},
        {true, "D:", Outcome::Send, "D:\\1001.pln"},
        {true, "//mypc/calvorinth/orig_dest", Outcome::Send, "//mypc/calvorinth/orig_dest/1001.pln"},
        {true, "//mypc/calvorinth/orig_dest/", Outcome::Send, "//mypc/calvorinth/orig_dest/1001.pln"},
        {true, "\\\\mypc/mixed", Outcome::Send, "\\\\mypc/mixed\\1001.pln"},
        {true, "  \\\\MYPC\\share \t", Outcome::Send, "\\\\MYPC\\share\\1001.pln"},
        // No share named: nothing to send.
        {true, "", Outcome::NoFolder, ""},
        {true, " \t ", Outcome::NoFolder, ""},
        // The call's path field holds 259 bytes: refused whole, never cut.
        {true, fits, Outcome::Send, fits + "\\1001.pln"},
        {true, tooLong, Outcome::TooLong, tooLong + "\\1001.pln"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder + (c.otherPc ? " on another PC" : " on this PC"));
        const clv::SimPlanPath plan = gf_simPlanPath(1001, local, c.otherPc, c.folder);
        EXPECT_EQ(plan.outcome, c.outcome);
        EXPECT_EQ(plan.path, c.path);
    }
    EXPECT_EQ((fits + "\\1001.pln").size(), 259u);
}
