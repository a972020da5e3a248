#include "core/geodesy.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
constexpr double kDeg = M_PI / 180.0;
// A millimetre in nautical miles: the tolerance of a distance.
constexpr double kMmInNm = 0.001 / 1852.0;
// An arc second in radians and degrees.
constexpr double kArcSecRad = kDeg / 3600.0;
constexpr double kArcSecDeg = 1.0 / 3600.0;
}  // namespace

TEST(Geodesy, Distances) {
    EXPECT_EQ(gf_distanceNm({47.5, 8.5}, {47.5, 8.5}), 0.0);
    EXPECT_NEAR(gf_distanceNm({0, 0}, {1.0 / 60.0, 0}), 1.0, kMmInNm);
    EXPECT_NEAR(gf_distanceNm({50, 10}, {51, 10}), 60.0, kMmInNm);
    // Along the equator a degree is 60 nm too; across the 180th meridian the short way.
    EXPECT_NEAR(gf_distanceNm({0, 179.5}, {0, -179.5}), 60.0, kMmInNm);
    // Symmetric.
    EXPECT_DOUBLE_EQ(gf_distanceNm({40, -74}, {51.5, -0.1}), gf_distanceNm({51.5, -0.1}, {40, -74}));
    // Pole to pole is half the circumference: 180 * 60 nm.
    EXPECT_NEAR(gf_distanceNm({90, 0}, {-90, 0}), 10800.0, 1e-6);
}

TEST(Geodesy, Bearings) {
    struct Case {
        clv::LatLon from, to;
        double radians;
    };
    const Case cases[] = {
        {{0, 0}, {1, 0}, 0.0},
        {{0, 0}, {0, 1}, M_PI / 2},
        {{0, 0}, {-1, 0}, M_PI},
        {{0, 0}, {0, -1}, 3 * M_PI / 2},
        {{0, 179.5}, {0, -179.5}, M_PI / 2},  // east across the 180th meridian
    };
    for (const auto& c : cases) {
        double b = gf_bearing(c.from, c.to);
        EXPECT_NEAR(b, c.radians, kArcSecRad);
        EXPECT_GE(b, 0.0);
        EXPECT_LT(b, 2 * M_PI);
    }
}

TEST(Geodesy, Destinations) {
    clv::LatLon north = gf_destination({0, 0}, 0.0, 6076.11549);
    EXPECT_NEAR(north.lat, 1.0 / 60.0, 1e-12);
    EXPECT_NEAR(north.lon, 0.0, 1e-12);

    // 60 nm east from 179.5 E on the equator lands at 179.5 W.
    clv::LatLon across = gf_destination({0, 179.5}, M_PI / 2, 60 * 6076.11549);
    EXPECT_NEAR(across.lat, 0.0, kArcSecDeg / 100);
    EXPECT_NEAR(across.lon, -179.5, kArcSecDeg / 100);

    // Going there and measuring back gives the distance and bearing used.
    clv::LatLon start{47.45, 8.56};
    for (double bearingDeg : {10.0, 95.0, 200.0, 315.0}) {
        clv::LatLon p = gf_destination(start, bearingDeg * kDeg, 25 * 6076.11549);
        EXPECT_NEAR(gf_distanceNm(start, p), 25.0, kMmInNm * 10);
        EXPECT_NEAR(gf_bearing(start, p), bearingDeg * kDeg, kArcSecRad);
    }
}

TEST(Geodesy, HeadingDifferences) {
    struct Case {
        double aDeg, bDeg, diffDeg;
    };
    const Case cases[] = {
        {350, 10, 20}, {10, 350, -20}, {0, 180, 180}, {90, 90, 0}, {10, 100, 90}, {100, 10, -90}, {0, 359, -1},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(gf_headingDiff(c.aDeg * kDeg, c.bDeg * kDeg), c.diffDeg * kDeg, 1e-12) << c.aDeg << "->" << c.bDeg;
    }
    EXPECT_EQ(gf_headingDiff(0.0, M_PI), M_PI) << "exactly pi stays pi";
}
