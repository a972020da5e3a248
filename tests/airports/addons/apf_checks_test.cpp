#include "airports/addons/apf_checks.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

#include <pugixml.hpp>

#include "airports/airport_world.h"
#include "airports/files/apf_parameters.h"

using namespace clv::test;
using Reply = HttpServer::Reply;

namespace {

// An airport file whose parameters are the given (name, value) pairs; a value
// of nullopt writes the element without "value".
std::string fileWithParameters(const std::vector<std::pair<std::string, std::optional<std::string>>>& parameters) {
    std::string text = "<?xml version=\"1.0\"?>\n<meta>\n  <info name=\"author\" value=\"CLVR\" />\n</meta>\n<parameters>\n";
    for (const auto& [name, value] : parameters) {
        text += "  <parameter name=\"" + name + "\"";
        if (value) text += " value=\"" + *value + "\"";
        text += " />\n";
    }
    return text + "</parameters>\n<parkpositions />\n";
}

TEST(ApfParameters, ReadByTheXmlLibrarysRules) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(fileWithParameters({{"none", std::nullopt},
                                                         {"hex", "0x1F"},
                                                         {"blank", "  42"},
                                                         {"huge", "99999999999"},
                                                         {"minus", "-7"},
                                                         {"yes", "yes"},
                                                         {"one", "1"},
                                                         {"false", "false"},
                                                         {"name", "Zürich Airport"}})
                                         .c_str()));
    EXPECT_FALSE(lf_readIntParameter(document, "missing"));
    EXPECT_FALSE(lf_readBoolParameter(document, "missing"));
    EXPECT_FALSE(lf_readTextParameter(document, "missing"));
    EXPECT_EQ(lf_readIntParameter(document, "none"), 0);
    EXPECT_EQ(lf_readBoolParameter(document, "none"), false);
    EXPECT_EQ(lf_readTextParameter(document, "none"), "");
    EXPECT_EQ(lf_readIntParameter(document, "hex"), 31);
    EXPECT_EQ(lf_readIntParameter(document, "blank"), 42);
    EXPECT_EQ(lf_readIntParameter(document, "huge"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(lf_readIntParameter(document, "minus"), -7);
    EXPECT_EQ(lf_readBoolParameter(document, "yes"), true);
    EXPECT_EQ(lf_readBoolParameter(document, "one"), true);
    EXPECT_EQ(lf_readBoolParameter(document, "false"), false);
    EXPECT_EQ(lf_readTextParameter(document, "name"), "Zürich Airport");
}

class OfflineLearningTest : public AirportsTest {};

TEST_F(OfflineLearningTest, StockFilesWithAFactorAndTwentyThreeWeeksAreSuitable) {
    MSFS_2020.value = false;  // stock files come from MSFS/ in either mode
    using P = std::vector<std::pair<std::string, std::optional<std::string>>>;
    struct Case {
        const char* name;
        P parameters;
        bool suitable;
    };
    const Case cases[] = {
        {"soft factor alone, 23 weeks", {{"Qf_real", "-1"}, {"Qf_soft", "12"}, {"RT_traffic_week", "23"}}, true},
        {"22 weeks", {{"Qf_real", "-1"}, {"Qf_soft", "12"}, {"RT_traffic_week", "22"}}, false},
        {"no week count", {{"Qf_real", "-1"}, {"Qf_soft", "12"}}, false},
        {"real factor 0 counts", {{"Qf_real", "0"}, {"RT_traffic_week", "40"}}, true},
        {"no factor at all", {{"RT_traffic_week", "40"}}, false},
        {"both factors -1", {{"Qf_real", "-1"}, {"Qf_soft", "-1"}, {"RT_traffic_week", "40"}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.setReply("/MSFS/archive/stock/LSZH.xml", {200, fileWithParameters(c.parameters)});
        EXPECT_EQ(gf_offlineLearningCheck("LSZH"), c.suitable);
        expectNothingLeftBehind();
    }
    // A loaded file is answered without the "not suitable" line.
    EXPECT_FALSE(logHas("Not suitable"));
    EXPECT_TRUE(logHas(server.url("MSFS/archive/stock/LSZH.xml") + "\n"));
}

TEST_F(OfflineLearningTest, AFileThatCannotBeHadIsNotSuitable) {
    server.setReply("/MSFS/archive/stock/E404.xml", {404, "missing"});
    server.setReply("/MSFS/archive/stock/BROK.xml", {200, "<parameters><parameter"});
    EXPECT_FALSE(gf_offlineLearningCheck("E404"));
    EXPECT_TRUE(logHas("===> Failed to download E404.xml"));
    EXPECT_TRUE(logHas("===> E404 Not suitable for offline learning"));
    EXPECT_FALSE(gf_offlineLearningCheck("BROK"));
    EXPECT_TRUE(logHas("===> Failed to load BROK.xml"));
    EXPECT_TRUE(logHas("===> BROK Not suitable for offline learning"));
    EXPECT_FALSE(gf_offlineLearningCheck("../x"));
    expectNothingLeftBehind();
}

TEST_F(OfflineLearningTest, PublisherAndItsData) {
    using P = std::vector<std::pair<std::string, std::optional<std::string>>>;
    struct Case {
        const char* name;
        P parameters;
        std::string publisher;
        std::string check;
    };
    const Case cases[] = {
        {"a known publisher", {{"publisher", "Abc Def"}}, "Abc Def", ""},
        {"unknown with a manufacturer", {{"publisher", "unknown"}, {"manufacturer", "Abcd"}}, "unknown", ""},
        {"unknown with a creator", {{"publisher", "unknown"}, {"manufacturer", "Ab"}, {"creator", "Wxyz"}},
         "unknown", ""},
        {"unknown with too short names", {{"publisher", "unknown"}, {"manufacturer", "Abc"}, {"creator", "X"}},
         "unknown", "manufacturer=Abc, creator=X"},
        {"unknown with no names", {{"publisher", "unknown"}}, "unknown", "manufacturer=, creator="},
        {"letter case counts", {{"publisher", "Unknown"}}, "Unknown", ""},
        {"no publisher", {}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = work.write("airports/my_thirdparty/LOWI.xml", fileWithParameters(c.parameters));
        EXPECT_EQ(gf_readApfPublisher(path), c.publisher);
        EXPECT_EQ(gf_checkApfPublisherInfo(path), c.check);
    }
    EXPECT_EQ(gf_readApfPublisher(work / "airports/none.xml"), "");
    EXPECT_EQ(gf_checkApfPublisherInfo(std::filesystem::path("airports") / "none.xml"),
              "\"airports/none.xml\" not found");
}

}  // namespace
