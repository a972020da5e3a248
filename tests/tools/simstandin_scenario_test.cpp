// The stand-in's scenario: its keys, and the installed titles read from
// aircraft.cfg files and a Community folder.
#include "tools/simstandin/scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "simstandin_fixture.h"
#include "support/temp_folder.h"

using namespace clv;
using namespace clv::test::simstandin;
using clv::test::TempFolder;

TEST(StandInTitles, ReadsTheTitlesOfFltsimSectionsOnly) {
    const std::string cfg =
        "[VERSION]\r\ntitle=Not a livery\r\n"
        "[FLTSIM.0]\r\ntitle = \"Airbus A320 Neo Lufthansa\" ; quoted\r\nmodel=\r\n"
        "[fltsim.1]\ntitle=Airbus A320 Neo Condor ; with a comment\n"
        "[fltsim.2]\n; title=commented out\nTITLE=  Airbus A320 Neo Eurowings  \n"
        "[GENERAL]\ntitle=Also not\n";
    EXPECT_EQ(standin::gf_aircraftCfgTitles(cfg),
              (std::vector<std::string>{"Airbus A320 Neo Lufthansa", "Airbus A320 Neo Condor",
                                        "Airbus A320 Neo Eurowings"}));
}

TEST_F(StandIn, InstallsTheTitlesOfACommunityFolder) {
    TempFolder dir;
    dir.write("Community/pkg-a/SimObjects/Airplanes/a320/aircraft.cfg", "[FLTSIM.0]\ntitle=Community A320\n");
    dir.write("Community/pkg-b/deep/er/Aircraft.CFG", "[fltsim.0]\ntitle=Community B738\n");
    dir.write("Community/pkg-b/notes.txt", "[fltsim.0]\ntitle=Not a config\n");
    auto titles = standin::gf_scanCommunityTitles(dir / "Community");
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"Community A320", "Community B738"}));
    EXPECT_THROW(standin::gf_scanCommunityTitles(dir / "NoSuchFolder"), std::runtime_error);

    standin::Scenario s = baseScenario();
    s.communityFolder = (dir / "Community").string();
    start(s);
    SimConnectHandle h = connect();
    EXPECT_NE(createAi(h, "Community B738", "EWG1", onGroundAt(50.0, 8.5)), 0u);
    SimConnect_Close(h);
}

TEST(StandInScenario, RefusesUnknownKeysAndValuesOfTheWrongKindByName) {
    struct Case {
        const char* json;
        const char* named;
    };
    for (const Case& c : {Case{R"({"simulatr": "SunRise"})", "simulatr"},
                          Case{R"({"frame_rate": "fast"})", "frame_rate"},
                          Case{R"({"user": {"heading": 3}})", "heading"},
                          Case{R"({"zulu": "yesterday"})", "zulu"},
                          Case{R"({"version": [1, 2]})", "version"},
                          Case{R"({"installed_titles": [{"name": "x"}]})", "name"},
                          Case{R"({"flight_loaded_as": "pigeon"})", "flight_loaded_as"}}) {
        standin::Scenario s;
        try {
            standin::gf_applyScenarioJson(json::parse(c.json), s);
            ADD_FAILURE() << c.json << " was accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        }
    }
    TempFolder dir;
    EXPECT_THROW(standin::gf_readScenarioFile(dir / "missing.json"), std::runtime_error);
    dir.write("bad.json", "{ not json");
    EXPECT_THROW(standin::gf_readScenarioFile(dir / "bad.json"), std::runtime_error);
}
