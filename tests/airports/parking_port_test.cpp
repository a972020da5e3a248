#include <gtest/gtest.h>

#include "airports/parking_hooks.h"
#include "airports/parking_port.h"

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

}  // namespace
