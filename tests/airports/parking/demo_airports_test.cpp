// The demo's airport data: the reference files of the region around Zurich and
// the stock archive's file of the airport next to it, as scripts/run offers them.
#include <gtest/gtest.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "airports/airport_world.h"
#include "airports/parking/airport_data.h"
#include "airports/parking/apf_locate.h"

using namespace clv::test;
namespace fs = std::filesystem;

namespace {

fs::path demoAirports() { return fs::path(CLV_TESTS_SOURCE_DIR).parent_path() / "demo" / "airports"; }

class DemoAirportsTest : public AirportsTest {
protected:
    void SetUp() override {
        AirportsTest::SetUp();
        for (const char* name : {"airports_msfs.xml", "airports_msfs_names.xml"})
            fs::copy_file(demoAirports() / name, work / "input" / name);
        server.setReply("/MSFS/archive/stock/LSMD.xml", {200, readFile(demoAirports() / "stock/LSMD.xml")});
    }
};

TEST_F(DemoAirportsTest, TheRegionsAirportsLieWhereThePublishedChartsPutThem) {
    ASSERT_TRUE(gf_readAirports());
    ASSERT_TRUE(gf_readAirportNames());
    struct Case {
        const char* code;
        const char* iata;
        double lat, lon;  // aerodrome reference points of the national AIPs, rounded
    };
    const Case cases[] = {
        {"LSZH", "ZRH", 47.4581, 8.5492}, {"LSGG", "GVA", 46.2381, 6.1089},
        {"LSZB", "BRN", 46.9141, 7.4972}, {"LFSB", "BSL", 47.5896, 7.5299},
        {"LSMD", "", 47.3986, 8.6482},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const auto airport = gf_findAirport(c.code);
        ASSERT_TRUE(airport);
        EXPECT_EQ(airport->iata, c.iata);
        // Within half a nautical mile of the chart's point.
        EXPECT_LT(gf_distanceNm(clv::LatLon{airport->lat, airport->lon}, clv::LatLon{c.lat, c.lon}), 0.5);
        EXPECT_FALSE(g_airportNames[c.code].empty());
    }
}

TEST_F(DemoAirportsTest, TheNeighboursStockFileIsServedWithStandsOnTheAirport) {
    ASSERT_TRUE(gf_readAirports());
    EXPECT_EQ(gf_apfPath("LSMD"), "archive/stock/LSMD.xml");
    const auto airport = gf_findAirport("LSMD");
    ASSERT_TRUE(airport);
    std::string stand;
    const double d = gf_readDestApfForClosestStand("LSMD", clv::LatLon{airport->lat, airport->lon}, stand);
    EXPECT_LT(d, 0.5);
    EXPECT_FALSE(stand.empty());
}

// The user aircraft of the demo stands at Zurich, within 5 nm of Dübendorf too:
// Zurich's stand is the nearer, so Zurich is the airport it stands at.
TEST_F(DemoAirportsTest, TheDemoUserStandsAtZurichNotAtItsNeighbour) {
    ASSERT_TRUE(gf_readAirports());
    server.setReply("/MSFS/archive/stock/LSZH.xml", {200, readFile(demoAirports() / "learned/stock/LSZH.xml")});
    const auto scenario = nlohmann::json::parse(readFile(demoAirports().parent_path() / "simstandin_scenario.json"));
    const clv::LatLon user{scenario["user"]["lat"].get<double>(), scenario["user"]["lon"].get<double>()};
    const auto airport = gf_nearestAirport(user);
    ASSERT_TRUE(airport);
    EXPECT_EQ(airport->code, "LSZH");
    EXPECT_TRUE(logHas("Airport LSZH is closest, neighbour is LSMD")) << log();
}

}  // namespace
