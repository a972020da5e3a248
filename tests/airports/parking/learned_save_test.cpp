// Saving the park airport's learned file, and reading it back.
#include "airports/parking/learned_files.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include <pugixml.hpp>

#include "airports/airport_world.h"
#include "airports/airports_fixture.h"
#include "airports/parking/airport_file_hooks.h"
#include "airports/parking/apf_reader.h"
#include "airports/parking/park_state.h"
#include "core/clock.h"
#include "core/parameters.h"
#include "core/ui_port.h"

using namespace clv::test;
using clv::Stand;
using clv::StandOption;
namespace fs = std::filesystem;

namespace {

// 2026-12-10 17:05:09 UTC.
std::int64_t fixedClock() { return 1796922309; }

const char* kSaveMeta =
    "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"Calvorinth\" />"
    "<info name=\"version\" value=\"10.10.9\" /><info name=\"date\" value=\"Dec 10, 2026\" /></meta>\n";

std::string mainFile(const std::string& publisher) {
    return std::string(kSaveMeta) + "<parameters><parameter name=\"airport_name\" value=\"Zurich\" />" +
           "<parameter name=\"publisher\" value=\"" + publisher + "\" /><parameter name=\"altitude\" value=\"1416\" />" +
           "</parameters>\n<parkpositions>"
           "<parkpos id=\"A1\" latitude=\"47.45\" longitude=\"8.55\" heading=\"90\" radius=\"20\" cargo=\"false\">"
           "<opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"3\" hh=\"16,17\" cs=\"SWR100\" /></parkpos>"
           "<parkpos id=\"B2\" latitude=\"47.46\" longitude=\"8.56\" heading=\"180\" radius=\"30\" cargo=\"false\" />"
           "<parkpos id=\"C3\" latitude=\"47.47\" longitude=\"8.57\" heading=\"270\" radius=\"40\" cargo=\"false\" />"
           "</parkpositions>\n";
}

StandOption learnedOption(const std::string& airline, std::uint32_t weekday, std::uint32_t halfHour,
                          std::uint32_t id) {
    StandOption o;
    o.airline = airline;
    o.type = "A320";
    o.callsign = airline + "1";
    o.hours = clv::HalfHourSet::single(halfHour);
    o.id = id;
    o.weekday = weekday;
    return o;
}

// What two readings must agree on: every stand with its kinds, radius and options.
using StandView = std::tuple<std::string, double, bool, bool,
                             std::vector<std::tuple<std::string, std::string, std::uint32_t, std::uint64_t, std::uint32_t>>>;
std::vector<StandView> view() {
    std::vector<StandView> stands;
    for (const Stand& s : standList) {
        std::vector<std::tuple<std::string, std::string, std::uint32_t, std::uint64_t, std::uint32_t>> options;
        for (const StandOption& o : s.options) options.emplace_back(o.airline, o.type, o.weekday, o.hours.bits(), o.real);
        stands.emplace_back(s.name, std::round(s.radius * 1852.0 * 10.0) / 10.0, s.cargo, s.manual, options);
    }
    return stands;
}

class LearnedSaveTest : public AirportsTest {
protected:
    void SetUp() override {
        AirportsTest::SetUp();
        gf_installAirportFileHooks();
        gf_setCurrentParkAirport(clv::Airport{"LSZH", "ZRH", 47.458, 8.548, 1416});
        gf_setClock(&fixedClock);
        learningUpdateCount = 0;
        apfParamsChanged = false;
        gf_nullUiPort().clear();
    }
    void TearDown() override {
        gf_setClock(nullptr);
        gf_clearCurrentParkAirport();
        learningUpdateCount = 0;
        apfParamsChanged = false;
        AirportsTest::TearDown();
    }
    std::string read(const std::string& name) {
        standList.clear();
        clv::ApfInfo info;
        clv::QualityFactors quality;
        const std::string result = gf_readApf(name, info, quality);
        parkApfInfo = info;
        return result;
    }
    Stand& stand(const std::string& name) {
        for (Stand& s : standList)
            if (s.name == name) return s;
        throw std::out_of_range(name);
    }
    std::string lastStatus() const {
        const auto lines = gf_nullUiPort().statusLines();
        return lines.empty() ? std::string() : lines.back();
    }
    // Learning as the engine does it: an option, a radius, a stand made by hand.
    void learn() {
        Stand& a1 = stand("A1");
        a1.options.push_back(learnedOption("EZY", 5, 20, a1.options.back().id + 1));
        Stand& b2 = stand("B2");
        b2.radius = 35.0 / 1852.0;
        b2.radiusChanged = true;
        Stand manual("M1", {learnedOption("DLH", 1, 3, 1)}, 47.48, 8.58, 0.5, 15.0, clv::StandKinds{false, true, false});
        manual.manual = true;
        standList.push_back(manual);
        learningUpdateCount = 3;
    }
    ParkFileState parkFile;
};

TEST_F(LearnedSaveTest, OnlyWhatLearningChangedIsSaved) {
    work.write("airports/my_thirdparty/LSZH.xml", mainFile("Abc Def"));
    ASSERT_EQ(read("airports/my_thirdparty/LSZH.xml"), "");
    learn();
    learningUpdateCount = 1;
    gf_saveApf();
    const fs::path path = work / "airports/learned/thirdparty/Abc Def/LSZH.xml";
    EXPECT_EQ(lastStatus(), "17:05:09 \"airports/learned/thirdparty/Abc Def/LSZH.xml\" saved with 1 update ");
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(path.c_str()));
    std::vector<std::string> written;
    for (const auto parkpos : document.child("parkpositions").children("parkpos"))
        written.push_back(parkpos.attribute("id").value());
    // C3 has no change; A1 keeps only the learned option.
    EXPECT_EQ(written, (std::vector<std::string>{"A1", "B2", "M1"}));
    const auto a1 = document.child("parkpositions").child("parkpos");
    EXPECT_EQ(std::distance(a1.children("opt").begin(), a1.children("opt").end()), 1);
    EXPECT_STREQ(a1.child("opt").attribute("airl").value(), "EZY");
    EXPECT_EQ(stand("A1").options.size(), 1u);  // the main file's option left the stand too
    EXPECT_EQ(learningUpdateCount.load(), 0);
    EXPECT_FALSE(apfParamsChanged.load());
}

TEST_F(LearnedSaveTest, ReadingAFileStartsTheSettingChangesAfresh) {
    work.write("airports/my_thirdparty/LSZH.xml", mainFile("Abc"));
    apfParamsChanged = true;
    ASSERT_EQ(read("airports/my_thirdparty/LSZH.xml"), "");
    EXPECT_FALSE(apfParamsChanged.load());
}

TEST_F(LearnedSaveTest, TheMessageCountsUpdatesAndParameterChanges) {
    work.write("airports/my_thirdparty/LSZH.xml", mainFile("Abc"));
    ASSERT_EQ(read("airports/my_thirdparty/LSZH.xml"), "");
    apfParamsChanged = true;
    gf_saveApf();
    EXPECT_EQ(lastStatus(), "17:05:09 \"airports/learned/thirdparty/Abc/LSZH.xml\" saved with 0 updates and one or "
                            "more parameter changes");
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file((work / "airports/learned/thirdparty/Abc/LSZH.xml").c_str()));
    EXPECT_FALSE(document.child("parkpositions").child("parkpos"));
    EXPECT_TRUE(document.child("parameters").find_child_by_attribute("parameter", "name", "parking_percentage"));
    learningUpdateCount = 2;
    gf_saveApf();
    EXPECT_EQ(lastStatus(), "17:05:09 \"airports/learned/thirdparty/Abc/LSZH.xml\" saved with 2 updates ");
}

TEST_F(LearnedSaveTest, AFailedWriteIsReportedAndNotRetried) {
    work.write("airports/my_thirdparty/LSZH.xml", mainFile("Abc"));
    ASSERT_EQ(read("airports/my_thirdparty/LSZH.xml"), "");
    // A folder where the file should go.
    fs::create_directories(work / "airports/learned/thirdparty/Abc/LSZH.xml");
    learningUpdateCount = 4;
    gf_saveApf();
    EXPECT_EQ(lastStatus(), "17:05:09 saving \"airports/learned/thirdparty/Abc/LSZH.xml\" did not succeed");
    EXPECT_EQ(learningUpdateCount.load(), 0);
}

TEST_F(LearnedSaveTest, ReadLearnSaveReadGivesTheSameStands) {
    server.setReply("/MSFS/archive/stock/LSZH.xml", {200, mainFile("stock")});
    ASSERT_EQ(read("archive/stock/LSZH.xml"), "");
    learn();
    const auto learned = view();
    gf_saveApf();
    EXPECT_TRUE(fs::exists(work / "airports/learned/stock/LSZH.xml"));
    ASSERT_EQ(read("archive/stock/LSZH.xml"), "");
    EXPECT_EQ(view(), learned);
    // Saved again without a change, it reads back the same.
    gf_saveApf();
    ASSERT_EQ(read("archive/stock/LSZH.xml"), "");
    EXPECT_EQ(view(), learned);
}

// Wherever a local file lies and whoever publishes it, its learning is read back.
TEST_F(LearnedSaveTest, LearningAtALocalFileIsReadBack) {
    struct Case {
        std::string file;
        std::string publisher;
        std::string learned;
    };
    const Case cases[] = {
        {"airports/ra_vudovodo/LSZH.xml", "simaddon", "airports/learned/simaddon/LSZH.xml"},
        {"airports/ra_vudovodo/LSZH.xml", "Abc Def", "airports/learned/thirdparty/Abc Def/LSZH.xml"},
        {"airports/my_thirdparty/LSZH.xml", "stock", "airports/learned/stock/LSZH.xml"},
        {"airports/my_thirdparty/LSZH.xml", "Abc", "airports/learned/thirdparty/Abc/LSZH.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + " by " + c.publisher);
        fs::remove_all(work / "airports/learned");
        fs::remove_all(work / "airports/ra_vudovodo");
        fs::remove_all(work / "airports/my_thirdparty");
        for (const char* folder : {"airports/learned/stock", "airports/learned/simaddon", "airports/learned/thirdparty",
                                   "airports/ra_vudovodo", "airports/my_thirdparty"})
            fs::create_directories(work / folder);
        work.write(c.file, mainFile(c.publisher));
        ASSERT_EQ(read(c.file), "");
        learn();
        const auto learned = view();
        gf_saveApf();
        EXPECT_TRUE(fs::exists(work / c.learned));
        ASSERT_EQ(read(c.file), "");
        EXPECT_EQ(view(), learned);
        EXPECT_TRUE(logHas("Read from learned airport file: \"" + c.learned + "\""));
    }
}

TEST_F(LearnedSaveTest, AHandmadeFileIsSavedWhole) {
    server.setReply("/MSFS/archive/stock/LSZH.xml", {200, mainFile("stock")});
    work.write("airports/learned/stock/LSZH.xml",
               std::string(kSaveMeta) + "<parameters><parameter name=\"handmade\" value=\"true\" /></parameters>"
                                    "<parkpositions><parkpos id=\"H1\" latitude=\"47.4\" longitude=\"8.5\" radius=\"20\">"
                                    "<opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"2\" hh=\"3\" /></parkpos>"
                                    "<parkpos id=\"H2\" latitude=\"47.41\" longitude=\"8.51\" radius=\"20\" />"
                                    "</parkpositions>");
    ASSERT_EQ(read("archive/stock/LSZH.xml"), "");
    ASSERT_TRUE(handmadeFile.load());
    const auto before = view();
    gf_saveApf();
    EXPECT_EQ(lastStatus(), "17:05:09 handmade \"airports/learned/stock/LSZH.xml\" saved with 0 updates ");
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file((work / "airports/learned/stock/LSZH.xml").c_str()));
    const auto parameters = document.child("parameters");
    // One of two stands has a real option on a weekday: 10000 + 20 + 100 + 2, halved, x 0.00625 = 31.6.
    EXPECT_STREQ(parameters.find_child_by_attribute("parameter", "name", "Qf_real").attribute("value").value(), "32");
    ASSERT_EQ(read("archive/stock/LSZH.xml"), "");
    EXPECT_EQ(view(), before);
}

TEST_F(LearnedSaveTest, AnArchivedFileIsFetchedForEveryReadAndAFailedFetchReadsNothing) {
    MSFS_2020.value = false;  // stock files come from MSFS/ all the same
    server.setReply("/MSFS/archive/stock/LSZH.xml", {200, mainFile("stock")});
    ASSERT_EQ(read("archive/stock/LSZH.xml"), "");
    ASSERT_EQ(read("archive/stock/LSZH.xml"), "");
    EXPECT_EQ(server.requestCount(), 2);
    EXPECT_EQ(standList.size(), 3u);
    EXPECT_EQ(readFile(work / "airports/park_airport.xml"), mainFile("stock"));

    server.setReply("/MSFS/archive/stock/LSZH.xml", {404, "gone"});
    EXPECT_EQ(read("archive/stock/LSZH.xml"),
              "failed to download: \"" + server.url("MSFS/archive/stock/LSZH.xml") + "\"");
    EXPECT_TRUE(standList.empty());
    // The previous copy stays as it was; it is not read in place of the new one.
    EXPECT_EQ(readFile(work / "airports/park_airport.xml"), mainFile("stock"));
    // A third-party archive path goes below the simulator mode's folder, encoded as written.
    server.setReply("/MSFS2024/archive/thirdparty/Abc%20Def/LSZH.xml", {200, mainFile("Abc Def")});
    ASSERT_EQ(read("archive/thirdparty/Abc%20Def/LSZH.xml"), "");
    EXPECT_EQ(parkApfInfo.publisher, "Abc Def");
}

}  // namespace
