#pragma once
// Watches every tick of an engine rig and records what no aircraft may ever do:
// values that are not numbers or out of range, jumps, heading flips or turns the
// long way round, altitudes that leave the terrain on the ground, position blocks
// of objects not ready for them, feed samples played far from their time, engine
// and flaps events that repeat a stage, and records stuck waiting for the simulator.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "traffic_harness.h"

namespace clv::test {

class TrajectoryChecker {
public:
    // Hooks itself into the rig's afterTick.
    explicit TrajectoryChecker(EngineRig& rig);

    // The faults found, each with its tick and hexid (the first 20 are kept in full).
    const std::vector<std::string>& faults() const { return faults_; }
    std::size_t faultCount() const { return faultCount_; }
    // Blocks checked so far (so a test can tell the checker saw something).
    std::size_t blocksChecked() const { return blocksChecked_; }
    std::size_t samplesReached() const { return samplesReached_; }
    // The positions sent for one object, in order (tick, block).
    const std::vector<std::pair<std::uint32_t, AiPositionData>>& track(std::uint32_t objectId) { return tracks_[objectId]; }

    // The fastest heading change per tick, in degrees.
    static constexpr double kMaxHeadingStepDegrees = 2.0;
    // Slack on the window of a feed sample, ticks.
    static constexpr std::int64_t kReachSlack = 25;

private:
    struct Seen {
        bool hasBlock = false;
        std::uint32_t lastTick = 0;
        AiPositionData block;
        PosSample front;
        bool hasFront = false;
        double legStartSpeed = 0.0;
        std::int32_t maxAdvance = 0;  // the widest seen over the current and the previous leg
        std::int32_t maxDelay = 0;
        std::int32_t prevLegAdvance = 0;
        std::int32_t prevLegDelay = 0;
        AcSimState state = AcSimState::Buffer;
        std::uint32_t stateSince = 0;
        std::uint32_t creationTick = 0;
        bool creationSeen = false;
        std::uint32_t objectId = 0;
    };

    void afterTick();
    void fault(std::uint32_t hexid, const std::string& what);
    void checkBlock(const LiveAc& ac, Seen& seen, const AiPositionData& b, std::uint32_t tick);
    void checkReached(const LiveAc& ac, Seen& seen, const PosSample& reached, std::uint32_t tick);
    void checkEvents();

    EngineRig& rig_;
    std::map<std::uint32_t, Seen> seen_;  // by hexid
    std::map<std::uint32_t, std::vector<std::pair<std::uint32_t, AiPositionData>>> tracks_;
    std::map<std::uint32_t, std::map<std::uint32_t, std::uint32_t>> lastStage_;  // object -> event -> data
    std::size_t positionsSeen_ = 0;
    std::size_t eventsSeen_ = 0;
    std::size_t creationsSeen_ = 0;
    std::vector<std::string> faults_;
    std::size_t faultCount_ = 0;
    std::size_t blocksChecked_ = 0;
    std::size_t samplesReached_ = 0;
};

}  // namespace clv::test
