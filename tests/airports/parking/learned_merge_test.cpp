// Learned airport files: the merge into the stands of the main file, the
// handmade replacement, the parking settings they restore, and the saving.
#include "airports/parking/learned_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "airports/airport_world.h"
#include "airports/airports_fixture.h"
#include "airports/parking/airport_file_hooks.h"
#include "airports/parking/apf_reader.h"
#include "airports/parking/park_state.h"
#include "core/clock.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "core/ui_port.h"

using namespace clv::test;
using clv::Stand;
using clv::StandOption;
namespace fs = std::filesystem;

namespace {

constexpr double kMergeNmPerMetre = 1.0 / 1852.0;
const char* kMergeMeta =
    "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"Calvorinth\" />"
    "<info name=\"version\" value=\"10.10.9\" /><info name=\"date\" value=\"Dec 10, 2026\" /></meta>\n";

std::string fileText(const std::string& parameters, const std::string& parkpositions) {
    return std::string(kMergeMeta) + "<parameters>" + parameters + "</parameters>\n<parkpositions>" + parkpositions +
           "</parkpositions>\n";
}
std::string parameter(const std::string& name, const std::string& value) {
    return "<parameter name=\"" + name + "\" value=\"" + value + "\" />";
}
const std::string kMainParameters = parameter("airport_name", "Zurich") + parameter("publisher", "stock") +
                                    parameter("altitude", "1416");
// Two stands; A1 with one option of the main file.
const std::string kMainStands =
    "<parkpos id=\"A1\" latitude=\"47.45\" longitude=\"8.55\" heading=\"90\" radius=\"20\" cargo=\"false\">"
    "<opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"3\" hh=\"16,17\" cs=\"SWR100\" /></parkpos>"
    "<parkpos id=\"B2\" latitude=\"47.46\" longitude=\"8.56\" heading=\"180\" radius=\"30\" cargo=\"false\" />";

// The settings a learned file restores, back to what they were around a test.
class SettingsKeeper {
public:
    SettingsKeeper()
        : maxLive_(MAX_LIVE.value), range_(LATERAL_RANGE.value), percentage_(parking_percentage.value),
          maxFit_(MAX_FIT.value), autoRange_(AUTO_RANGE.value), learnSoft_(LEARN_SOFT.value), week_(WEEK.value),
          inUse_(lateralRangeInUse.load()) {}
    ~SettingsKeeper() {
        MAX_LIVE.value = maxLive_;
        LATERAL_RANGE.value = range_;
        parking_percentage.value = percentage_;
        MAX_FIT.value = maxFit_;
        AUTO_RANGE.value = autoRange_;
        LEARN_SOFT.value = learnSoft_;
        WEEK.value = week_;
        lateralRangeInUse = inUse_;
    }

private:
    int maxLive_, range_, percentage_, maxFit_;
    bool autoRange_, learnSoft_, week_;
    std::int32_t inUse_;
};

class LearnedFileTest : public AirportsTest {
protected:
    void SetUp() override {
        AirportsTest::SetUp();
        gf_installAirportFileHooks();
        gf_setCurrentParkAirport(clv::Airport{"LSZH", "ZRH", 47.458, 8.548, 1416});
        learningUpdateCount = 0;
        apfParamsChanged = false;
        gf_nullUiPort().clear();
    }
    void TearDown() override {
        gf_clearCurrentParkAirport();
        learningUpdateCount = 0;
        apfParamsChanged = false;
        AirportsTest::TearDown();
    }
    // The main file as the user's own file, and the learned file beside it.
    std::string readWith(const std::string& learned, const std::string& publisher = "stock") {
        work.write("airports/my_thirdparty/LSZH.xml",
                   fileText(parameter("airport_name", "Zurich") + parameter("publisher", publisher) +
                                parameter("altitude", "1416"),
                            kMainStands));
        if (!learned.empty()) {
            work.write(gf_archivePath("airports/my_thirdparty/LSZH.xml", publisher).string(), learned);
        }
        standList.clear();
        clv::ApfInfo info;
        clv::QualityFactors quality;
        const std::string result = gf_readApf("airports/my_thirdparty/LSZH.xml", info, quality);
        parkApfInfo = info;
        return result;
    }
    const Stand& stand(const std::string& name) const {
        for (const Stand& s : standList)
            if (s.name == name) return s;
        throw std::out_of_range(name);
    }
    static std::vector<std::uint32_t> ids(const Stand& s) {
        std::vector<std::uint32_t> found;
        for (const StandOption& o : s.options) found.push_back(o.id);
        return found;
    }
    ParkFileState parkFile;
    SettingsKeeper settings;
};

TEST_F(LearnedFileTest, LearnedRadiusAndCargoOnlyWhereMarkedChanged) {
    ASSERT_EQ(readWith(fileText(parameter("airport_name", "Zurich"),
                                "<parkpos id=\"A1\" radius_change=\"true\" radius=\"45.0\" cargo_change=\"true\" "
                                "cargo=\"true\" />"
                                "<parkpos id=\"B2\" radius=\"99.0\" cargo=\"true\" />"
                                "<parkpos id=\"Z9\" radius_change=\"true\" radius=\"10\" />")),
              "");
    EXPECT_NEAR(stand("A1").radius, 45.0 * kMergeNmPerMetre, 1e-12);
    EXPECT_NEAR(stand("A1").radius, 0.0243, 0.0001);
    EXPECT_TRUE(stand("A1").radiusChanged);
    EXPECT_TRUE(stand("A1").cargo);
    EXPECT_TRUE(stand("A1").cargoChanged);
    EXPECT_NEAR(stand("B2").radius, 30.0 * kMergeNmPerMetre, 1e-12);
    EXPECT_FALSE(stand("B2").cargo);
    EXPECT_FALSE(stand("B2").radiusChanged);
    EXPECT_TRUE(logHas("learned stand Z9 in airports/learned/stock/LSZH.xml not found?")) << log();
}

TEST_F(LearnedFileTest, OptionsAreFoldedOrAppended) {
    const std::string learned = fileText(
        parameter("airport_name", "Zurich"),
        "<parkpos id=\"A1\">"
        // The main file's option with an overlapping half-hour: dropped.
        "<opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"3\" hh=\"17,18\" cs=\"SWR200\" />"
        // The same aircraft on another weekday: appended with the next id.
        "<opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"4\" hh=\"16\" cs=\"SWR100\" />"
        // Same weekday, hours apart: a second option.
        "<opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"3\" hh=\"30\" />"
        // A soft option equal in all else: not the same option.
        "<opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"3\" hh=\"16\" soft=\"true\" />"
        // Twice in the learned file: once.
        "<opt reg=\"\" airl=\"EZY\" type=\"A319\" day=\"3\" hh=\"20\" />"
        "<opt reg=\"\" airl=\"EZY\" type=\"A319\" day=\"3\" hh=\"20,21\" />"
        "</parkpos>");
    ASSERT_EQ(readWith(learned), "");
    const Stand& a1 = stand("A1");
    EXPECT_EQ(ids(a1), (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(a1.options[0].fixed, 1u);
    EXPECT_EQ(a1.options[1].weekday, 4u);
    EXPECT_EQ(a1.options[1].fixed, 0u);
    EXPECT_EQ(a1.options[2].hours, clv::HalfHourSet::single(30));
    EXPECT_EQ(a1.options[3].real, 0u);
    EXPECT_EQ(a1.options[4].airline, "EZY");
}

TEST_F(LearnedFileTest, ManualStands) {
    const std::string manual = " heading=\"10\" cargo=\"false\" ramp=\"true\" manual=\"true\"";
    const std::string learned = fileText(
        parameter("airport_name", "Zurich"),
        "<parkpos id=\"M1\" latitude=\"47.47\" longitude=\"8.57\" radius=\"15\"" + manual +
            "><opt reg=\"\" airl=\"SWR\" type=\"CRJ9\" day=\"1\" hh=\"2\" /></parkpos>"
            "<parkpos id=\"A1\" latitude=\"47.0\" longitude=\"8.0\" radius=\"15\"" + manual + " />"
            "<parkpos id=\"M2\" latitude=\"0.0005\" longitude=\"0.01\" radius=\"15\"" + manual + " />"
            "<parkpos id=\"M3\" latitude=\"47.48\" longitude=\"8.58\"" + manual + " />"
            "<parkpos id=\"M4\" latitude=\"-0.0005\" longitude=\"0.01\" radius=\"15\"" + manual + " />");
    ASSERT_EQ(readWith(learned), "");
    std::vector<std::string> names;
    for (const Stand& s : standList) names.push_back(s.name);
    EXPECT_EQ(names, (std::vector<std::string>{"A1", "B2", "M1", "M4"}));
    EXPECT_TRUE(stand("M1").manual);
    EXPECT_TRUE(stand("M1").ramp);
    EXPECT_EQ(stand("M1").options.at(0).fixed, 0u);
    EXPECT_DOUBLE_EQ(stand("A1").latitude, 47.45);
    const std::string path = "airports/learned/stock/LSZH.xml";
    EXPECT_TRUE(logHas("===> manually created standid A1 already exists in " + path));
    EXPECT_TRUE(logHas("===> manually created standid M2 misses correct attributes in " + path));
    EXPECT_TRUE(logHas("===> manually created standid M3 misses correct attributes in " + path));
}

TEST_F(LearnedFileTest, AHandmadeFileReplacesTheStands) {
    const std::string stands =
        "<parkpos id=\"H1\" latitude=\"47.40\" longitude=\"8.50\" radius=\"20\" cargo=\"true\" ramp=\"false\">"
        "<opt reg=\"\" airl=\"FDX\" type=\"B77F\" day=\"2\" hh=\"4\" /></parkpos>"
        "<parkpos id=\"H2\" latitude=\"47.41\" longitude=\"8.51\" radius=\"20\" />";
    // Its value is not consulted.
    ASSERT_EQ(readWith(fileText(parameter("airport_name", "Zurich") + parameter("handmade", "false"), stands)), "");
    EXPECT_TRUE(handmadeFile.load());
    ASSERT_EQ(standList.size(), 2u);
    EXPECT_EQ(standList[0].name, "H1");
    EXPECT_EQ(standList[0].options.at(0).fixed, 1u);
    EXPECT_TRUE(logHas("handmade                : false"));
    EXPECT_TRUE(logHas("A handmade airport file overruled the archived file!"));
}

TEST_F(LearnedFileTest, ARepeatedIdStopsAHandmadeFile) {
    const std::string stands =
        "<parkpos id=\"H1\" latitude=\"47.40\" longitude=\"8.50\" radius=\"20\" />"
        "<parkpos id=\"H1\" latitude=\"47.41\" longitude=\"8.51\" radius=\"20\" />"
        "<parkpos id=\"H3\" latitude=\"47.42\" longitude=\"8.52\" radius=\"20\" />";
    ASSERT_EQ(readWith(fileText(parameter("handmade", "true"), stands)), "");
    EXPECT_TRUE(handmadeFile.load());
    ASSERT_EQ(standList.size(), 1u);
    EXPECT_EQ(standList[0].name, "H1");
    EXPECT_TRUE(logHas("lf_readLearned: 94: Parking position H1 appears more than once?")) << log();
}

TEST_F(LearnedFileTest, AnUnloadableLearnedFileIsKeptAndCopied) {
    const std::string broken = "<parameters><parameter";
    ASSERT_EQ(readWith(broken), "");
    EXPECT_EQ(standList.size(), 2u);
    EXPECT_EQ(readFile(work / "airports/learned/stock/LSZH.xml"), broken);
    EXPECT_EQ(readFile(work / "airports/learned/stock/LSZH0.xml"), broken);
    EXPECT_TRUE(logHas("airports/learned/stock/LSZH.xml found, but could not be loaded, saved as *.0.xml: "));
}

TEST_F(LearnedFileTest, AnotherAirportNameIsAWarningOnly) {
    ASSERT_EQ(readWith(fileText(parameter("airport_name", "Kloten"), "<parkpos id=\"A1\" radius_change=\"true\" "
                                                                     "radius=\"45\" />")),
              "");
    const auto lines = gf_nullUiPort().statusLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Warning: learned file airport name: \"Kloten\" differs from archived file airport name: "
                        "\"Zurich\""),
              lines.end());
    EXPECT_TRUE(stand("A1").radiusChanged);
}

TEST_F(LearnedFileTest, SettingsAreRestoredWithinTheirLimits) {
    struct Case {
        const char* name;
        std::string parameters;
        int maxLive, range, percentage, maxFit;
        float maxFitHours;
    };
    MAX_FIT.value = 10;
    const Case cases[] = {
        {"within the limits",
         parameter("MAX_LIVE", "50") + parameter("LATERAL_RANGE", "25") + parameter("parking_percentage", "70") +
             parameter("MAX_FIT", "7") + parameter("AUTO_RANGE", "false"),
         50, 25, 70, 7, 4.0f},
        {"clamped, and a percentage as the file says",
         parameter("MAX_LIVE", "999") + parameter("LATERAL_RANGE", "500") + parameter("parking_percentage", "150") +
             parameter("MAX_FIT", "60") + parameter("AUTO_RANGE", "false"),
         300, 100, 150, 47, 24.0f},
        {"missing: no live limit, 30 percent, MAX_FIT kept", parameter("AUTO_RANGE", "false"), -1, 33, 30, 47, 24.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lateralRangeInUse = 33;  // the user's own range, which AUTO_RANGE off brings back
        LATERAL_RANGE.value = 33;
        ASSERT_EQ(readWith(fileText(c.parameters, "")), "");
        EXPECT_EQ(MAX_LIVE.value.get(), c.maxLive);
        EXPECT_EQ(parking_percentage.value.get(), c.percentage);
        EXPECT_EQ(MAX_FIT.value.get(), c.maxFit);
        EXPECT_FLOAT_EQ(MAX_FIT_FL.value.get(), c.maxFitHours);
        EXPECT_FALSE(AUTO_RANGE.value);
        // With the automatic range off, the user's own range is back in force.
        EXPECT_EQ(LATERAL_RANGE.value.get(), 33);
        EXPECT_DOUBLE_EQ(lateralRangeNm.load(), 33.0);
    }
    EXPECT_TRUE(logHas("MAX_FIT                 : 47 (max number of half hours, is 24 hrs decimal)"));
    EXPECT_TRUE(logHas("MAX_LIVE                : 999"));
}

TEST_F(LearnedFileTest, AutomaticRangeRemembersTheFilesRange) {
    int recomputed = 0;
    learnedFileHooks.updateRangeLimits = [&] { ++recomputed; };
    lateralRangeInUse = 33;
    ASSERT_EQ(readWith(fileText(parameter("LATERAL_RANGE", "25") + parameter("AUTO_RANGE", "true") +
                                    parameter("LEARN_SOFT", "true") + parameter("WEEK", "1"),
                                "")),
              "");
    learnedFileHooks = {};
    EXPECT_TRUE(AUTO_RANGE.value);
    EXPECT_EQ(lateralRangeInUse.load(), 25);
    EXPECT_EQ(recomputed, 1);
    EXPECT_TRUE(LEARN_SOFT.value);
    EXPECT_TRUE(WEEK.value);
}

}  // namespace
