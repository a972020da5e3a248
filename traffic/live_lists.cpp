// The live aircraft as the window counts them and as the object-id listing shows them.
#include <algorithm>
#include <fstream>

#include <fmt/format.h>

#include "traffic/traffic_engine.h"
#include "traffic/traffic_service.h"

std::uint64_t gf_countLiveNotParked(const clv::TrafficEngine& engine) {
    return static_cast<std::uint64_t>(std::count_if(engine.liveAc.begin(), engine.liveAc.end(), [](const clv::LiveAc& ac) {
        return ac.simState == clv::AcSimState::Active && ac.moveState != clv::AcMoveState::Parked;
    }));
}

std::vector<std::string> gf_parkedListLines(clv::TrafficEngine& engine) {
    std::vector<std::string> lines;
    for (const clv::LiveAc& ac : engine.liveAc) {
        if (ac.simState != clv::AcSimState::Active) continue;
        const std::string parkedAt = ac.moveState == clv::AcMoveState::Parked
                                         ? fmt::format("Parked at {}", engine.parking().standName(ac.standId))
                                         : std::string();
        lines.push_back(fmt::format("{} {:9} {} {}: {} {}", ac.onGround ? "Gnd" : "Air", ac.callsign, ac.airline, ac.type,
                                    ac.objectId, parkedAt));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::uint64_t gf_countLiveNotParked() { return gf_countLiveNotParked(gf_trafficEngine()); }

void gf_logParkedList() {
    const std::vector<std::string> lines = gf_parkedListLines(gf_trafficEngine());
    // Written afresh each time; a file that cannot be opened is left as it is.
    std::ofstream file(kParkedListFile, std::ios::trunc);
    if (!file) return;
    for (const std::string& line : lines) file << line << '\n';
}
