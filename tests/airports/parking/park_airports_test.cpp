#include "airports/parking/park_airports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "airports/airport_world.h"
#include "airports/parking/park_state.h"
#include "core/ui_port.h"
#include "link/sim_client.h"
#include "link/sim_hooks.h"
#include "link/sim_state.h"

#include <thread>

using namespace clv::test;
using clv::Airport;
using clv::ParkAirport;
namespace fs = std::filesystem;

namespace {

class ParkAirportsTest : public AirportsTest {
protected:
    void SetUp() override {
        AirportsTest::SetUp();
        g_airports = {Airport{"EDDM", "MUC", 48.35, 11.78, 1487}, Airport{"EGLL", "LHR", 51.47, -0.46, 83},
                      Airport{"EHAM", "AMS", 52.31, 4.76, -11},  Airport{"LFPG", "CDG", 49.01, 2.55, 392},
                      Airport{"LSZH", "ZRH", 47.46, 8.55, 1416}};
        parkAirports.clear();
        gf_nullUiPort().clear();
    }
    void TearDown() override {
        parkAirports.clear();
        AirportsTest::TearDown();
    }
    void writeList(const std::string& text) const { work.write("airports/my_park_airports.txt", text); }
    std::string list() const { return readFile(work / "airports/my_park_airports.txt"); }
    std::vector<std::string> codes() const {
        std::vector<std::string> found;
        for (const ParkAirport& entry : parkAirports) found.push_back(entry.code + "|" + entry.reservedStand);
        return found;
    }
    bool statusHas(const std::string& text) const {
        const auto lines = gf_nullUiPort().statusLines();
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
};

TEST_F(ParkAirportsTest, ReadsEachLineOrSaysWhyNot) {
    writeList("EGLL\r\nEHAM,D4\nLFPG,K1,X\n\nXXXX\n   \nEGLL, B7\n LSZH , \n");
    EXPECT_FALSE(lf_readMyParkAirports());  // the unknown code
    EXPECT_EQ(codes(), (std::vector<std::string>{"EGLL|", "EHAM|D4", "LSZH|"}));
    EXPECT_DOUBLE_EQ(parkAirports[1].lat, 52.31);
    EXPECT_DOUBLE_EQ(parkAirports[1].lon, 4.76);
    EXPECT_EQ(parkAirports[1].distance, 0.0);
    EXPECT_TRUE(logHas("===> my_park_airports.txt:LFPG,K1,X wrong syntax, skipped"));
    EXPECT_TRUE(statusHas("airport XXXX is unknown"));
    EXPECT_TRUE(logHas("===> my_park_airports.txt:EGLL double, skipped"));
    EXPECT_TRUE(logHas("3 park airports read from \"my_park_airports.txt\""));
    EXPECT_FALSE(logHas("airport  is unknown"));  // the blank lines

    writeList("EHAM,D4\n");
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(codes(), (std::vector<std::string>{"EHAM|D4"}));
    EXPECT_TRUE(logHas("1 park airport read from \"my_park_airports.txt\""));
}

TEST_F(ParkAirportsTest, AMissingFileIsNoErrorAndAMissingFolderIs) {
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_TRUE(parkAirports.empty());
    EXPECT_TRUE(logHas("airports/my_park_airports.txt not found"));
    writeList("EGLL\n");
    fs::remove_all(work / "airports/my_thirdparty");
    EXPECT_FALSE(lf_readMyParkAirports());
    EXPECT_EQ(codes(), (std::vector<std::string>{"EGLL|"}));
    EXPECT_TRUE(logHas("===> lf_readMyParkAirports: "));
}

TEST_F(ParkAirportsTest, FoldersOfMyThirdpartyAreParkAirports) {
    writeList("EGLL\n");
    fs::create_directories(work / "airports/my_thirdparty/EDDM");
    fs::create_directories(work / "airports/my_thirdparty/EGLL");  // listed already
    fs::create_directories(work / "airports/my_thirdparty/ZZZZ");  // unknown
    work.write("airports/my_thirdparty/LSZH", "a file, not a folder");
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(codes(), (std::vector<std::string>{"EGLL|", "EDDM|"}));
    EXPECT_DOUBLE_EQ(parkAirports[1].lat, 48.35);
    EXPECT_TRUE(logHas("1 park airport added from my_thirdparty folder(-s) \n"));
}

TEST_F(ParkAirportsTest, WritingUpdatesTheFirstEntrysLineSortedAndOnce) {
    writeList("LSZH\nEGLL\nEHAM,D4\nEHAM,D4\nEDDM\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    std::rotate(parkAirports.begin(), parkAirports.begin() + 1, parkAirports.begin() + 2);  // EGLL first
    parkAirports.front().reservedStand = "B12";
    gf_writeMyParkAirports();
    EXPECT_EQ(list(), "EDDM\nEGLL,B12\nEHAM,D4\nLSZH\n");
    EXPECT_TRUE(logHas("my_park_airports.txt:EGLL,B12 updated stand"));
    // A stand given up is written as the code and a comma.
    parkAirports.front().reservedStand.clear();
    gf_writeMyParkAirports();
    EXPECT_EQ(list(), "EDDM\nEGLL,\nEHAM,D4\nLSZH\n");
    // Read back, the comma means no stand.
    ASSERT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(codes()[1], "EGLL|");
}

TEST_F(ParkAirportsTest, ADestinationComesFirst) {
    // Not listed and no file yet: the file is created.
    gf_setParkAirport("LFPG", clv::LatLon{49.0, 2.5});
    EXPECT_EQ(codes(), (std::vector<std::string>{"LFPG|"}));
    EXPECT_DOUBLE_EQ(parkAirports.front().lat, 49.0);
    EXPECT_EQ(list(), "LFPG\n");
    EXPECT_TRUE(logHas("my_park_airports.txt created with LFPG"));

    writeList("EHAM,D4\nEGLL\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    gf_setParkAirport("LSZH", clv::LatLon{47.5, 8.5});
    EXPECT_EQ(codes(), (std::vector<std::string>{"LSZH|", "EHAM|D4", "EGLL|"}));
    EXPECT_EQ(list(), "EGLL\nEHAM,D4\nLSZH\n");
    EXPECT_TRUE(logHas("my_park_airports.txt:LSZH new entry"));
    // A listed code only moves, with its stand; the file stays as it is.
    work.write("airports/my_park_airports.txt", "EHAM,D4\nEGLL\nLSZH\n");
    gf_setParkAirport("EGLL", clv::LatLon{0, 0});
    gf_setParkAirport("EHAM", clv::LatLon{0, 0});
    EXPECT_EQ(codes(), (std::vector<std::string>{"EHAM|D4", "EGLL|", "LSZH|"}));
    EXPECT_DOUBLE_EQ(parkAirports.front().lat, 52.31);
    EXPECT_EQ(list(), "EHAM,D4\nEGLL\nLSZH\n");
}

class ReserveUserStandTest : public ParkAirportsTest {
protected:
    void SetUp() override {
        ParkAirportsTest::SetUp();
        clv::SimLinkHooks hooks;
        hooks.standNameAtPosition = [this](double lat, double lon) {
            return lat == 51.47 && lon == -0.46 ? standUnderUser : std::string();
        };
        gf_setSimLinkHooks(hooks);
        gf_setCurrentParkAirport(Airport{"EGLL", "LHR", 51.47, -0.46, 83});
        userOnGroundKnown = true;
        setUser(0.0);
        writeList("EGLL\nEHAM,D4\n");
        ASSERT_TRUE(lf_readMyParkAirports());
    }
    void TearDown() override {
        gf_setSimLinkHooks({});
        gf_clearCurrentParkAirport();
        userOnGroundKnown = false;
        setUser(0.0, 0.0, 0.0);
        ParkAirportsTest::TearDown();
    }
    static void setUser(double knots, double lat = 51.47, double lon = -0.46) {
        std::lock_guard lock(userAcMutex);
        lastUserAcData.latitude = lat;
        lastUserAcData.longitude = lon;
        lastUserAcData.groundVelocity = knots;
    }
public:
    std::string standUnderUser = "B12";
};

TEST_F(ReserveUserStandTest, TheParkedUsersStandIsReservedUpToTwoKnots) {
    setUser(2.1);
    gf_reserveUserStand();
    EXPECT_EQ(list(), "EGLL\nEHAM,D4\n");
    setUser(2.0);
    gf_reserveUserStand();
    EXPECT_EQ(parkAirports.front().reservedStand, "B12");
    EXPECT_EQ(list(), "EGLL,B12\nEHAM,D4\n");
    EXPECT_TRUE(logHas("my_park_airports.txt:EGLL,B12 updated stand"));
}

TEST_F(ReserveUserStandTest, NothingIsReservedWithoutAStandOrAtAnotherAirport) {
    struct Case {
        const char* name;
        std::function<void(ReserveUserStandTest&)> arrange;
    };
    const Case cases[] = {
        {"on-ground state not known", [](ReserveUserStandTest&) { userOnGroundKnown = false; }},
        {"no stand under the user", [](ReserveUserStandTest& t) { t.standUnderUser.clear(); }},
        {"the first entry is not the park airport",
         [](ReserveUserStandTest&) { gf_setCurrentParkAirport(Airport{"EHAM", "", 52.31, 4.76, 0}); }},
        {"no park airport", [](ReserveUserStandTest&) { gf_clearCurrentParkAirport(); }},
        {"an empty list", [](ReserveUserStandTest&) { parkAirports.clear(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange(*this);
        gf_reserveUserStand();
        EXPECT_EQ(list(), "EGLL\nEHAM,D4\n");
        // Back to the set-up's state.
        userOnGroundKnown = true;
        standUnderUser = "B12";
        gf_setCurrentParkAirport(Airport{"EGLL", "LHR", 51.47, -0.46, 83});
        ASSERT_TRUE(lf_readMyParkAirports());
    }
}

// The SimConnect thread reserves while the run thread re-reads and moves entries.
TEST_F(ReserveUserStandTest, ReservingOnTheSimConnectThreadRacesNothing) {
    std::atomic<bool> done{false};
    std::thread simConnect([&] {
        for (int i = 0; i < 200; ++i) {
            standUnderUser = i % 2 == 0 ? "B12" : "C3";
            gf_reserveUserStand();
        }
        done = true;
    });
    while (!done.load()) {
        lf_readMyParkAirports();
        gf_setParkAirport("EHAM", clv::LatLon{});
        gf_setParkAirport("EGLL", clv::LatLon{});
    }
    simConnect.join();
    const std::string text = list();
    EXPECT_TRUE(text == "EGLL,B12\nEHAM,D4\n" || text == "EGLL,C3\nEHAM,D4\n" || text == "EGLL\nEHAM,D4\n") << text;
}

}  // namespace
