// The feed stand-in's load scenario: N aircraft in the feed at every moment, each
// sending a line every 1 to 3 s along a road through every phase of a flight.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <stdexcept>
#include <set>
#include <string>
#include <vector>

#include "tools/feedstandin/load_scenario.h"

namespace {

std::vector<std::string> lf_fields(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const auto comma = line.find(',', start);
        out.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos) return out;
        start = comma + 1;
    }
}

TEST(LoadScenario, NAircraftAtEveryMomentEachALineEveryOneToThreeSeconds) {
    clv::LoadOptions o;
    o.aircraft = 40;
    o.seconds = 1800.0;
    const auto lines = gf_loadScenario(o, 1.76e9);
    ASSERT_FALSE(lines.empty());

    std::map<std::uint32_t, std::vector<double>> times;
    for (const auto& l : lines) times[l.hexid].push_back(l.line.offset);
    for (const auto& [hexid, t] : times) {
        for (std::size_t i = 1; i < t.size(); ++i) {
            const double gap = t[i] - t[i - 1];
            ASSERT_GE(gap, 1.0 - 1e-9) << hexid;
            ASSERT_LE(gap, 3.0 + 1e-9) << hexid;
        }
    }
    // In every window of 3 s, every one of the N roads has sent a line.
    for (double from = 0.0; from + 3.0 < o.seconds; from += 97.0) {
        std::set<std::uint32_t> seen;
        for (const auto& l : lines)
            if (l.line.offset >= from && l.line.offset <= from + 3.0) seen.insert(l.hexid);
        EXPECT_GE(seen.size(), 40u) << "at " << from << " s";
        EXPECT_LE(seen.size(), 44u) << "at " << from << " s";  // a few hand-overs at most
    }
    // Departed aircraft are followed by new ones.
    EXPECT_GT(times.size(), 40u);
}

TEST(LoadScenario, EveryPhaseWithItsGroundStateSpeedAndHeading) {
    clv::LoadOptions o;
    o.aircraft = 30;
    o.seconds = 1800.0;
    std::set<clv::LoadPhase> phases;
    for (const auto& l : gf_loadScenario(o, 1.76e9)) {
        phases.insert(l.phase);
        const auto f = lf_fields(l.line.text);
        ASSERT_EQ(f.size(), 29u);
        const double altitude = std::stod(f[4]);
        const bool onGround = f[6] == "1";
        const double groundSpeed = std::stod(f[8]);
        SCOPED_TRACE(std::string(gf_loadPhaseName(l.phase)) + ": " + l.line.text);
        switch (l.phase) {
            case clv::LoadPhase::Parked:
                EXPECT_TRUE(onGround);
                EXPECT_EQ(groundSpeed, 0.0);
                break;
            case clv::LoadPhase::PushBack:
                EXPECT_TRUE(onGround);
                // Moving tail first: the track is the reverse of the heading.
                EXPECT_NEAR(std::fmod(std::stod(f[7]) - std::stod(f[25]) + 360.0, 360.0), 180.0, 0.2);
                break;
            case clv::LoadPhase::TaxiIn:
            case clv::LoadPhase::TaxiOut:
            case clv::LoadPhase::RollOut:
            case clv::LoadPhase::TakeOff:
                EXPECT_TRUE(onGround);
                EXPECT_NEAR(altitude, o.elevation, 1.0);
                break;
            case clv::LoadPhase::Approach:
            case clv::LoadPhase::Climb:
            case clv::LoadPhase::Cruise:
                EXPECT_FALSE(onGround);
                EXPECT_GT(altitude, o.elevation);
                break;
            case clv::LoadPhase::Landing: EXPECT_FALSE(onGround); break;
        }
    }
    EXPECT_EQ(phases.size(), 10u);
}

TEST(LoadScenario, TheSameSeedGivesTheSameLines) {
    clv::LoadOptions o;
    o.aircraft = 5;
    o.seconds = 120.0;
    const auto a = gf_loadScenario(o, 1.76e9);
    const auto b = gf_loadScenario(o, 1.76e9);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].line.text, b[i].line.text);
    o.aircraft = 0;
    EXPECT_THROW(gf_loadScenario(o, 1.76e9), std::runtime_error);
}

}  // namespace
