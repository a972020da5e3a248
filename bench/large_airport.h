#pragma once
// The park airport of the parking benchmarks: 450 stands with 100 options each.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "stands/stand.h"

namespace clv::bench {

inline constexpr int kStands = 450;
inline constexpr int kOptionsPerStand = 100;

// 450 stands on about 1.5 by 1.5 km; each option stands two or three half-hours
// of one weekday, as the archived files of a large airport hold them; a quarter
// has a second callsign.
inline std::vector<clv::Stand> gf_largeAirportStands() {
    std::mt19937 random(450);
    std::uniform_real_distribution<double> lat(47.44, 47.455);
    std::uniform_real_distribution<double> lon(8.54, 8.565);
    std::uniform_real_distribution<double> radius(10.0, 40.0);
    std::uniform_int_distribution<std::uint32_t> hour(0, 45);
    const char* airlines[] = {"SWR", "EDW", "DLH", "BAW", "AFR", "KLM", "UAE", "EZY", "AUA", "THY"};
    const char* types[] = {"A320", "A20N", "A319", "B738", "B77W", "A359", "A333", "E190", "BCS3", "A21N"};
    std::vector<clv::Stand> stands;
    for (int s = 0; s < kStands; ++s) {
        std::vector<clv::StandOption> options;
        for (int k = 0; k < kOptionsPerStand; ++k) {
            clv::StandOption o;
            o.airline = airlines[(s + k) % 10];
            o.type = types[(s * 3 + k) % 10];
            o.registration = fmt::format("HB-{:03}{}", (s * 7 + k) % 1000, static_cast<char>('A' + k % 26));
            o.callsign = fmt::format("{}{}", o.airline, 100 + (s * 13 + k) % 900);
            o.secondCallsign = k % 4 == 0 ? o.callsign + "A" : "";
            const std::uint32_t h = hour(random);
            for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(2 + k % 2); ++i) o.hours.set(h + i);
            o.id = static_cast<std::uint32_t>(k + 1);
            o.weekday = static_cast<std::uint32_t>(1 + k % 7);
            o.real = k % 5 == 0 ? 0 : 1;
            options.push_back(std::move(o));
        }
        stands.emplace_back(fmt::format("G{}", s), std::move(options), lat(random), lon(random), 1.0, radius(random),
                            clv::StandKinds{.ramp = s % 3 == 0});
    }
    return stands;
}

}  // namespace clv::bench
