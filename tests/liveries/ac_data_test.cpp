#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "core/geodesy.h"
#include "dbase_fixture.h"
#include "liveries/ac_data.h"
#include "liveries/dbase.h"

namespace {

constexpr double kTolerance = 1e-12;

class AcDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        dbase = clv::Dbase{};
        gf_readDbaseFile(clv::test::dbaseFixture(), dbase);
    }
    void TearDown() override { dbase = clv::Dbase{}; }
};

clv::AcIdentity identityOf(const std::string& type) {
    clv::AcIdentity identity;
    identity.airline = "DLH";
    identity.type = type;
    identity.callsign = "DLH400";
    identity.registration = "D-ABYA";
    return identity;
}

// The value varied by the percentage either way.
void expectVaried(double actual, double degrees, double percent) {
    const double up = degrees * (1.0 + percent / 100.0) * clv::kDegToRad;
    const double down = degrees * (1.0 - percent / 100.0) * clv::kDegToRad;
    EXPECT_TRUE(std::abs(actual - up) < kTolerance || std::abs(actual - down) < kTolerance)
        << actual << " is neither " << up << " nor " << down;
}

TEST_F(AcDataTest, BuiltFromAHeavyType) {
    const clv::AcData ac(identityOf("B744"));
    EXPECT_EQ(ac.callsign, "DLH400");
    EXPECT_EQ(ac.registration, "D-ABYA");
    EXPECT_EQ(ac.category, clv::AcCategory::Heavy);
    EXPECT_NEAR(ac.radius, 64.4 / 2.0 / 1852.0, kTolerance);
    EXPECT_NEAR(ac.angleStep, 0.05 * std::acos(-1.0) / 180.0, kTolerance);
    expectVaried(ac.rotationPitch, -5.0, 2.5);
    expectVaried(ac.climbPitch, -12.5, 5.0);
    EXPECT_EQ(ac.flareTicks, 450);
    EXPECT_EQ(ac.deRotationTicks, 450);
    EXPECT_EQ(ac.rotationTicks, 250);
    EXPECT_EQ(ac.climbPitchTicks, 400);
    // Filled later, by the engine and the matcher.
    EXPECT_EQ(ac.acAngleStep, 0.0);
    EXPECT_EQ(ac.groundValueA, 0.0);
    EXPECT_EQ(ac.hexid, 0u);
    EXPECT_TRUE(ac.liveryTitle.empty());
    EXPECT_FALSE(ac.cargo);
    EXPECT_FALSE(ac.specialLivery);
}

TEST_F(AcDataTest, CategoryValuesByType) {
    struct Case {
        const char* type;
        clv::AcCategory category;
        int flare;
        int deRotation;
        int rotation;
        int climb;
        double groundA;
        double groundB;
    };
    const Case cases[]{
        {"C172", clv::AcCategory::Light, 250, 250, 100, 200, 0.5, 5.0},
        {"", clv::AcCategory::Light, 250, 250, 100, 200, 0.5, 5.0},
        {"C56X", clv::AcCategory::Buzjets, 300, 300, 200, 250, 0.75, 4.5},
        {"A320", clv::AcCategory::Large, 400, 350, 200, 300, 0.6, 4.0},
        {"F16", clv::AcCategory::HighPerf, 150, 150, 100, 200, 1.0, 4.5},
        {"EC35", clv::AcCategory::Rotorcraft, 100, 100, 100, 100, 0.75, 5.0},
    };
    for (const auto& c : cases) {
        const clv::AcData ac(identityOf(c.type));
        EXPECT_EQ(ac.category, c.category) << c.type;
        EXPECT_EQ(ac.flareTicks, c.flare) << c.type;
        EXPECT_EQ(ac.deRotationTicks, c.deRotation) << c.type;
        EXPECT_EQ(ac.rotationTicks, c.rotation) << c.type;
        EXPECT_EQ(ac.climbPitchTicks, c.climb) << c.type;
        EXPECT_EQ(gf_categoryGroundValueA(ac.category), c.groundA) << c.type;
        EXPECT_EQ(gf_categoryGroundValueB(ac.category), c.groundB) << c.type;
    }
}

TEST_F(AcDataTest, DefaultIsLargeAndUnknownCategoriesAreRefused) {
    const clv::AcData ac;
    EXPECT_EQ(ac.category, clv::AcCategory::Large);
    EXPECT_THROW(gf_categoryFlareTicks(static_cast<clv::AcCategory>(6)), std::out_of_range);
    EXPECT_THROW(gf_categoryAngleStepDegrees(static_cast<clv::AcCategory>(99)), std::out_of_range);
}

}  // namespace
