#include "airports/parking/airport_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "airports/airport_world.h"
#include "airports/parking/apf_locate.h"
#include "core/geodesy.h"
#include "core/user_error.h"
#include "exact_distance.h"

using namespace clv::test;
using clv::Airport;

namespace {

std::string airportsXml(const std::string& elements) {
    return "<?xml version=\"1.0\"?>\n<airports>\n" + elements + "</airports>\n";
}

class AirportDataTest : public AirportsTest {
protected:
    void writeAirports(const std::string& elements) const {
        work.write("input/airports_msfs.xml", airportsXml(elements));
    }
    // The text of the error gf_readAirports throws; "" when it throws none.
    std::string readError() {
        try {
            gf_readAirports();
        } catch (const clv::UserErrorException& e) {
            return e.what();
        }
        return {};
    }
};

TEST_F(AirportDataTest, ReadsSortsByteWiseAndKeepsEveryField) {
    writeAirports(
        "  <airport code=\"KATL\" lat=\"33.6367\" lon=\"-84.428101\" alt=\"1026\" iata=\"ATL\" />\n"
        "  <runway code=\"XXXX\" />\n"
        "  <airport code=\"K1G4\" lat=\"35.8\" lon=\"-114.0\" alt=\"5000\" />\n"
        "  <airport code=\"LSZH\" lat=\"47.458056\" lon=\"8.548056\" alt=\"1416\" iata=\"ZRH\" />\n"
        "  <airport code=\"KAT\" lat=\"1\" lon=\"2\" alt=\"3\" iata=\"\" />\n");
    ASSERT_TRUE(gf_readAirports());
    std::vector<std::string> codes;
    for (const Airport& a : g_airports) codes.push_back(a.code);
    // Digits before letters, a shorter code before a longer one with its beginning.
    EXPECT_EQ(codes, (std::vector<std::string>{"K1G4", "KAT", "KATL", "LSZH"}));
    EXPECT_EQ(g_airports.capacity(), g_airports.size());
    const auto zurich = gf_findAirport("LSZH");
    ASSERT_TRUE(zurich);
    EXPECT_EQ(zurich->iata, "ZRH");
    EXPECT_DOUBLE_EQ(zurich->lat, 47.458056);
    EXPECT_DOUBLE_EQ(zurich->lon, 8.548056);
    EXPECT_DOUBLE_EQ(zurich->alt, 1416.0);
    EXPECT_EQ(gf_findAirport("K1G4")->iata, "");
    EXPECT_FALSE(gf_findAirport("lszh"));
    EXPECT_FALSE(gf_findAirport("LSZ"));
    EXPECT_TRUE(logHas("4 airports read from \"input/airports_msfs.xml\""));
}

TEST_F(AirportDataTest, ReadsOncePerProcessEvenWhenTheFileChanges) {
    writeAirports("  <airport code=\"LSZH\" lat=\"47.45\" lon=\"8.54\" alt=\"1416\" iata=\"ZRH\" />\n");
    ASSERT_TRUE(gf_readAirports());
    writeAirports("  <airport code=\"LSGG\" lat=\"46.23\" lon=\"6.10\" alt=\"1411\" iata=\"GVA\" />\n");
    EXPECT_TRUE(gf_readAirports());
    EXPECT_TRUE(gf_findAirport("LSZH"));
    EXPECT_FALSE(gf_findAirport("LSGG"));
}

TEST_F(AirportDataTest, AnEmptyListIsReadButAnswersFalse) {
    writeAirports("");
    EXPECT_FALSE(gf_readAirports());
    EXPECT_FALSE(gf_readAirports());
}

TEST_F(AirportDataTest, BadFilesStopTheReadWithErrorAndReadAgainLater) {
    struct Case {
        const char* name;
        std::string file;  // "" for no file at all
        std::string error;
    };
    const std::string good = "  <airport code=\"LSZH\" lat=\"47.45\" lon=\"8.54\" alt=\"1416\" iata=\"ZRH\" />\n";
    const Case cases[] = {
        {"bad latitude", airportsXml(good + "  <airport code=\"EDDF\" lat=\"abc\" lon=\"8.5\" alt=\"364\" />\n"),
         "88: invalid stod argument"},
        {"number with a tail", airportsXml("  <airport code=\"EDDF\" lat=\"50.03x\" lon=\"8.5\" alt=\"364\" />\n"),
         "88: invalid stod argument"},
        {"missing altitude", airportsXml("  <airport code=\"EDDF\" lat=\"50.0\" lon=\"8.5\" />\n"),
         "88: invalid stod argument"},
        {"empty longitude", airportsXml("  <airport code=\"EDDF\" lat=\"50.0\" lon=\"\" alt=\"1\" />\n"),
         "88: invalid stod argument"},
        {"out of range", airportsXml("  <airport code=\"EDDF\" lat=\"1e999\" lon=\"8.5\" alt=\"1\" />\n"),
         "88: stod argument out of range"},
        {"no airports element", "<?xml version=\"1.0\"?>\n<places />\n", "88: input/airports_msfs.xml not found"},
        {"no file", "", "88: input/airports_msfs.xml not loaded File was not found"},
        {"broken xml", "<airports><airport", "88: input/airports_msfs.xml not loaded "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(work / "input/airports_msfs.xml");
        if (!c.file.empty()) work.write("input/airports_msfs.xml", c.file);
        const std::string error = readError();
        EXPECT_EQ(error.substr(0, c.error.size()), c.error) << error;
        // Nothing half-read stands for the world's airports.
        EXPECT_TRUE(g_airports.empty());
    }
    writeAirports(good);
    EXPECT_TRUE(gf_readAirports());
    EXPECT_TRUE(gf_findAirport("LSZH"));
}

TEST_F(AirportDataTest, NamesKeepTheFirstNameOfACodeAndAMissingFileIsNoError) {
    EXPECT_FALSE(gf_readAirportNames());
    EXPECT_TRUE(logHas("0 airport names read from \"input/airports_msfs_names.xml\""));
    work.write("input/airports_msfs_names.xml",
               "<?xml version=\"1.0\"?>\n<AirportNames>\n"
               "  <airport ICAO=\"LSZH\" name=\"Zurich\" />\n"
               "  <airport ICAO=\"LSZH\" name=\"Kloten\" />\n"
               "  <airport ICAO=\"LSGG\" />\n"
               "</AirportNames>\n");
    EXPECT_TRUE(gf_readAirportNames());
    EXPECT_EQ(g_airportNames.size(), 2u);
    EXPECT_EQ(g_airportNames["LSZH"], "Zurich");
    EXPECT_EQ(g_airportNames["LSGG"], "");
    EXPECT_TRUE(logHas("2 airport names read from \"input/airports_msfs_names.xml\""));
}

TEST_F(AirportDataTest, TheAddonScansViewOfTheReferenceData) {
    g_airports = {Airport{"EDDF", "FRA", 50.03, 8.57, 364}, Airport{"EDDM", "MUC", 48.35, 11.78, 1487},
                  Airport{"EDDN", "NUE", 49.49, 11.08, 1046}};
    g_airportNames = {{"EDDM", "Munich"}};
    const clv::AddonReference reference = gf_airportReference();
    EXPECT_EQ(reference.airportName("EDDM"), "Munich");
    EXPECT_EQ(reference.airportName("EDDF"), "");
    EXPECT_EQ(reference.altitudeFt("EDDN"), 1046.0);
    EXPECT_FALSE(reference.altitudeFt("XXXX"));
    // The first in list order that passes.
    EXPECT_EQ(reference.firstCode([](std::string_view code) { return code.starts_with("EDD") && code != "EDDF"; }),
              "EDDM");
    EXPECT_FALSE(reference.firstCode([](std::string_view) { return false; }));
}

TEST_F(AirportDataTest, DisplayNames) {
    EXPECT_EQ(gf_airportDisplayName(Airport{"EDDF", "FRA", 0, 0, 0}), "EDDF (FRA)");
    EXPECT_EQ(gf_airportDisplayName(Airport{"EDDF", "", 0, 0, 0}), "EDDF");
    EXPECT_EQ(gf_airportDisplayName(Airport{"", "", 0, 0, 0}), "?");
    EXPECT_EQ(gf_airportDisplayName(Airport{"", "FRA", 0, 0, 0}), "? (FRA)");
}

// Positions due north of the user, whose distances are whole arc minutes.
clv::LatLon northOf(clv::LatLon from, double nm) { return {from.lat + nm / 60.0, from.lon}; }

class NearestAirportTest : public AirportsTest {
protected:
    const clv::LatLon user{47.0, 8.0};
    void addAirport(const std::string& code, double nm) {
        const clv::LatLon at = northOf(user, nm);
        g_airports.push_back(Airport{code, "", at.lat, at.lon, 0.0});
    }
};

TEST_F(NearestAirportTest, FiveNauticalMilesCountAndABitMoreDoesNot) {
    // 5 nm as closely as the arithmetic allows: the last latitude not beyond it.
    clv::LatLon edge = northOf(user, 5.0);
    while (gf_distanceNm(user, edge) > 5.0) edge.lat = std::nextafter(edge.lat, user.lat);
    ASSERT_NEAR(gf_distanceNm(user, edge), 5.0, 1e-12);
    g_airports.push_back(Airport{"AAAA", "", edge.lat, edge.lon, 0.0});
    EXPECT_EQ(gf_nearestAirport(user)->code, "AAAA");
    g_airports.clear();
    addAirport("AAAA", 5.01);
    EXPECT_FALSE(gf_nearestAirport(user));
    g_airports.clear();
    EXPECT_FALSE(gf_nearestAirport(user));

    // Exactly 5.0 nm counts; the next representable step beyond does not.
    const std::optional<clv::LatLon> exact = exactlyNmFrom(user, 5.0);
    ASSERT_TRUE(exact.has_value());
    ASSERT_EQ(gf_distanceNm(user, *exact), 5.0);
    clv::LatLon beyond = *exact;
    while (gf_distanceNm(user, beyond) <= 5.0) beyond.lon = std::nextafter(beyond.lon, 180.0);
    g_airports = {Airport{"EDGE", "", exact->lat, exact->lon, 0.0}};
    ASSERT_TRUE(gf_nearestAirport(user).has_value());
    EXPECT_EQ(gf_nearestAirport(user)->code, "EDGE");
    g_airports = {Airport{"EDGE", "", beyond.lat, beyond.lon, 0.0}};
    EXPECT_FALSE(gf_nearestAirport(user));
    g_airports.clear();
}

TEST_F(NearestAirportTest, NoNeighbourWhenTheNearestComesFirst) {
    addAirport("NEAR", 3.0);
    addAirport("FARR", 4.0);
    EXPECT_EQ(gf_nearestAirport(user)->code, "NEAR");
    EXPECT_FALSE(logHas("is closest, neighbour is"));
    EXPECT_TRUE(server.requestLines().empty());
}

TEST_F(NearestAirportTest, TheNeighboursCloserStandWins) {
    // FARR comes first in the list and becomes the neighbour of NEAR.
    addAirport("FARR", 4.0);
    addAirport("NEAR", 3.0);
    // NEAR's own file: its closest stand lies 0.5 nm from the user.
    const clv::LatLon nearStand = northOf(user, 0.5);
    work.write("airports/ra_vudovodo/NEAR.xml", apfWithStands({{"N1", nearStand.lat, nearStand.lon}}));
    // FARR's file comes from the stock archive with a stand 0.1 nm away.
    const clv::LatLon farStand = northOf(user, 0.1);
    const std::string farFile = apfWithStands({{"F7", farStand.lat, farStand.lon}, {"F8", 47.5, 8.5}});
    server.setReply("/MSFS/archive/stock/FARR.xml", {200, farFile});

    const auto found = gf_nearestAirport(user);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->code, "FARR");
    EXPECT_TRUE(logHas("Airport NEAR is closest, neighbour is FARR")) << log();
    EXPECT_TRUE(logHas("Airport NEAR is closest, but stand F7 at neighbouring airport FARR is closest at 185 meters ..."))
        << log();
}

TEST_F(NearestAirportTest, TheNearestStaysWhenItsStandIsAsClose) {
    addAirport("FARR", 4.0);
    addAirport("NEAR", 3.0);
    const clv::LatLon stand = northOf(user, 0.2);
    work.write("airports/ra_vudovodo/NEAR.xml", apfWithStands({{"N1", stand.lat, stand.lon}}));
    server.setReply("/MSFS/archive/stock/FARR.xml", {200, apfWithStands({{"F7", stand.lat, stand.lon}})});
    EXPECT_EQ(gf_nearestAirport(user)->code, "NEAR");
    // Neither airport has a file: both are 100 nm away, and the nearest stays.
    std::filesystem::remove(work / "airports/ra_vudovodo/NEAR.xml");
    server.setReply("/MSFS/archive/stock/FARR.xml", {404, "missing"});
    EXPECT_EQ(gf_nearestAirport(user)->code, "NEAR");
}

}  // namespace
