#include "airports/addons/addon_publisher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "airports/addons/airport_scan_report.h"
#include "liveries/dbase.h"
#include <nlohmann/json.hpp>

#include "support/temp_folder.h"

using clv::test::TempFolder;

namespace {

constexpr const char* kBgl = "Sim/Community/abc-airport-efgh/scenery/world/efgh.bgl";
constexpr const char* kPackage = "Sim/Community/abc-airport-efgh/";
constexpr const char* kWorld = "Sim/Community/abc-airport-efgh/scenery/world/";

class PublisherTest : public ::testing::Test {
protected:
    void SetUp() override {
        dbase.publisherGroups = {{"Skyforge Scenery", "skyforge-", "Skyforge Team"}, {"Orbital Works"}};
        gf_clearScanReport();
    }
    void TearDown() override {
        dbase.publisherGroups.clear();
        gf_clearScanReport();
    }
    bool reported(std::string_view text) const {
        const auto lines = gf_scanReportLines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
};

}  // namespace

// Where the manifest is looked for, and what each kind of manifest decides.
TEST_F(PublisherTest, FolderTreeTable) {
    struct Case {
        const char* what;
        std::map<std::string, std::string> files;
        const char* publisher;
        clv::ManifestInfo texts;
        std::vector<std::string> reports;
    };
    const Case cases[] = {
        {"the package folder's manifest wins",
         {{std::string(kPackage) + "manifest.json",
           R"({"manufacturer":"Skyforge Scenery","creator":"SF","title":"EFGH Airport","version":"1.0"})"},
          {std::string(kWorld) + "manifest.json", R"({"creator":"Orbital Works"})"}},
         "Skyforge Scenery",
         {"Skyforge Scenery", "SF", "EFGH Airport"},
         {"abc-airport-efgh/manifest.json found",
          "from manifest.json: manufacturer \"Skyforge Scenery\" => publisher \"Skyforge Scenery\""}},
        {"outward from the file's folder; a manifest that is no object is passed by; null reads as empty",
         {{"Sim/Community/abc-airport-efgh/scenery/manifest.json", "[1, 2]"},
          {"Sim/manifest.json", R"({"manufacturer":null,"creator":"Orbital Works","title":{}})"}},
         "Orbital Works",
         {"", "Orbital Works", ""},
         {"scenery/manifest.json found", "Sim/manifest.json found",
          "from manifest.json creator \"Orbital Works\" => publisher \"Orbital Works\""}},
        {"a package manifest that is not an object stops the search",
         {{std::string(kPackage) + "manifest.json", R"("just text")"},
          {std::string(kWorld) + "manifest.json", R"({"creator":"Orbital Works"})"}},
         "unknown",
         {},
         {"===> No publisher found"}},
        {"a number value is an error",
         {{std::string(kPackage) + "manifest.json", R"({"manufacturer":5,"creator":"Orbital Works"})"}},
         "unknown",
         {},
         {"exception in lf_searchManifest: ", "===> No publisher found"}},
        {"only manifest.json is a manifest",
         {{std::string(kPackage) + "Manifest.json", R"({"creator":"Orbital Works"})"},
          {std::string(kWorld) + "manifest.JSON", R"({"creator":"Orbital Works"})"}},
         "unknown",
         {},
         {"===> No publisher found"}},
        {"an unknown maker keeps the manifest's texts",
         {{std::string(kPackage) + "manifest.json",
           R"({"manufacturer":"Tiny Dev","creator":"Tiny Dev Team","title":"EFGH International"})"}},
         "unknown",
         {"Tiny Dev", "Tiny Dev Team", "EFGH International"},
         {"no valid info found in manifest about publisher, manufacturer:\"Tiny Dev\", creator:\"Tiny Dev Team\" "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gf_clearScanReport();
        TempFolder folder;
        for (const auto& [relative, text] : c.files) folder.write(relative, text);
        const std::string path = (folder / kBgl).string();
        const clv::PublisherInfo info = gf_findPublisher(path);
        EXPECT_EQ(info.publisher, c.publisher);
        EXPECT_EQ(info.manufacturer, c.texts.manufacturer);
        EXPECT_EQ(info.creator, c.texts.creator);
        EXPECT_EQ(info.title, c.texts.title);
        const auto lines = gf_scanReportLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), "\nTry find publisher in: " + path);
        for (const std::string& text : c.reports) EXPECT_TRUE(reported(text)) << text;
    }
}

TEST_F(PublisherTest, ThePathAloneDecidesForTheSimulatorsAndKnownPublishersAirports) {
    struct Case {
        const char* path;
        const char* publisher;
        const char* report;
    };
    const Case cases[] = {
        {"MICROSOFT-AIRPORT-EGLL/scenery/egll.bgl", "simaddon", "from filename => publisher simaddon"},
        {"asobo-airport-lszh/scenery/lszh.bgl", "simaddon", "from filename => publisher simaddon"},
        {"Community/skyforge-egll/scenery/egll.bgl", "Skyforge Scenery", "publisher \"Skyforge Scenery\" found"},
        {"Community/other-egll/scenery/egll.bgl", "unknown", "===> No publisher found"},
    };
    for (const Case& c : cases) {
        gf_clearScanReport();
        const clv::PublisherInfo info = gf_findPublisher(c.path);
        EXPECT_EQ(info.publisher, c.publisher) << c.path;
        EXPECT_TRUE(info.manufacturer.empty() && info.creator.empty() && info.title.empty()) << c.path;
        EXPECT_TRUE(reported(c.report)) << c.path;
    }
}

TEST_F(PublisherTest, EmptyAndOddJsonValues) {
    const nlohmann::json value = nlohmann::json::parse(
        R"({"a":"text","b":null,"c":{},"d":[],"e":"","f":true,"g":[1],"h":{"x":1}})");
    EXPECT_EQ(lf_jsonText(value, "a"), "text");
    for (const char* key : {"b", "c", "d", "e", "missing"}) EXPECT_EQ(lf_jsonText(value, key), "") << key;
    for (const char* key : {"f", "g", "h"}) EXPECT_THROW(lf_jsonText(value, key), nlohmann::json::type_error) << key;

    TempFolder folder;
    EXPECT_FALSE(lf_readManifestJson(folder.write("empty/manifest.json", "")));
    EXPECT_FALSE(lf_readManifestJson(folder / "none/manifest.json"));
    EXPECT_THROW(lf_readManifestJson(folder.write("broken/manifest.json", "{\"title\":")), nlohmann::json::parse_error);
    EXPECT_TRUE(lf_findManifestJson(folder / "none").empty());
}
