#include <gtest/gtest.h>

#include "airports/parking/parking_hooks.h"
#include "airports/parking/parking_port.h"
#include "parking_world.h"

namespace {

// The engine's landing start asks the port where the park airport lies: the
// one in force, and none while no park airport is set.
TEST(AirportParkingPortTest, ParkAirportPositionIsTheOneInForce) {
    struct Case {
        clv::ParkSite site;
        std::optional<clv::LatLon> expected;
    };
    const Case cases[] = {
        {{"LSZH", "ZRH", 47.4581, 8.5481, 1416.0, ""}, clv::LatLon{47.4581, 8.5481}},
        {{"", "", 47.4581, 8.5481, 1416.0, ""}, std::nullopt},
    };
    for (const Case& c : cases) {
        clv::ParkingHooks hooks;
        hooks.currentParkAirport = [&] { return c.site; };
        gf_setParkingHooks(hooks);
        clv::AirportParkingPort port;
        const std::optional<clv::LatLon> position = port.parkAirportPosition();
        ASSERT_EQ(position.has_value(), c.expected.has_value()) << c.site.code;
        if (c.expected) {
            EXPECT_DOUBLE_EQ(position->lat, c.expected->lat);
            EXPECT_DOUBLE_EQ(position->lon, c.expected->lon);
        }
    }
    gf_setParkingHooks({});
}

// A ghost's stand is found again by its name, and the adjacent-stand test
// measures a neighbour by its id: both from the park airport's stand list.
TEST(AirportParkingPortTest, StandsAreFoundByNameAndId) {
    clv::test::ParkingWorld w;
    w.addStand("A1", {});
    w.addStand("A2", {}, 47.5, 8.5);
    clv::AirportParkingPort& port = w.port;
    EXPECT_EQ(port.findStandByName("A2"), 2u);
    EXPECT_EQ(port.findStandByName("B7"), 0u);
    const clv::Stand* a2 = port.findStand(2);
    ASSERT_NE(a2, nullptr);
    EXPECT_EQ(a2->name, "A2");
    EXPECT_DOUBLE_EQ(a2->latitude, 47.5);
    EXPECT_EQ(port.findStand(9), nullptr);
}

}  // namespace
