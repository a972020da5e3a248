#pragma once
// A load scenario: N live aircraft around one airport, each on a realistic road
// (approach, landing, roll-out, taxi-in, parked, push back, taxi-out, take-off,
// climb, cruise out of range), one traffic line per aircraft every 1 to 3 s. An
// aircraft that has flown out of range is followed by a new one coming in, so N
// aircraft are in the feed at every moment.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/feedstandin/track_script.h"

namespace clv {

struct LoadOptions {
    int aircraft = 50;
    double seconds = 1800.0;  // the length of the scenario
    double latitude = 47.4581;  // the airport's reference point (Zurich)
    double longitude = 8.5481;
    double elevation = 1417.0;  // feet
    double runwayHeading = 280.0;  // degrees
    std::uint32_t seed = 1;
};

// The phases of the road, as the lines' comments name them.
enum class LoadPhase { Approach, Landing, RollOut, TaxiIn, Parked, PushBack, TaxiOut, TakeOff, Climb, Cruise };

// One line of the scenario with its aircraft and phase (for tests and the summary).
struct LoadLine {
    TimedLine line;
    std::uint32_t hexid = 0;
    LoadPhase phase = LoadPhase::Parked;
};

}  // namespace clv

std::string_view gf_loadPhaseName(clv::LoadPhase phase);

// The scenario's lines in time order, stamped startTimestamp + their offset.
std::vector<clv::LoadLine> gf_loadScenario(const clv::LoadOptions& options, double startTimestamp);
