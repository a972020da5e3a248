#pragma once
// Watches every tick of an engine rig and records what no aircraft may ever do:
// values that are not numbers or out of range, jumps, heading flips or turns the
// long way round, altitudes that leave the terrain on the ground, position blocks
// of objects not ready for them, feed samples played far from their time, engine
// and flaps events that repeat a stage, records stuck waiting for the simulator,
// and in the air vertical speeds beyond what the phase allows and a pitch that
// does not match a sustained level flight, climb or descent.
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
    // Vertical speeds in the air, feet per minute: climbing out, on a landing, and
    // any other flight (twice that for a high-performance aircraft).
    static constexpr double kTakeOffLowestFpm = -500.0;
    static constexpr double kTakeOffHighestFpm = 6000.0;
    static constexpr double kLandingLowestFpm = -2500.0;
    static constexpr double kLandingHighestFpm = 1000.0;
    static constexpr double kFlightFpm = 6000.0;
    // Pitch (degrees nose up) in the air outside take-off, flare and de-rotation:
    // always within these; after a level flight (within 300 ft/min), a climb (1000
    // ft/min or more) or a descent (500 ft/min or more) held for 30 s, within the
    // band of that flight (the slowest pitch change needs about 20 s to get there).
    static constexpr double kLowestNoseUp = -5.0;
    static constexpr double kHighestNoseUp = 30.0;
    static constexpr std::uint32_t kSustainedTicks = 3000;
    static constexpr double kLevelFpm = 300.0;
    static constexpr double kLevelLowestNoseUp = 0.0;
    static constexpr double kLevelHighestNoseUp = 6.0;
    static constexpr double kClimbFpm = 1000.0;
    static constexpr double kClimbLowestNoseUp = 3.5;
    static constexpr double kDescentFpm = -500.0;
    static constexpr double kDescentHighestNoseUp = 2.5;

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
        // Ticks since which the aircraft has flown level, climbed or descended (0: not).
        std::uint32_t levelSince = 0;
        std::uint32_t climbSince = 0;
        std::uint32_t descentSince = 0;
    };

    void afterTick();
    void fault(std::uint32_t hexid, const std::string& what);
    void checkBlock(const LiveAc& ac, Seen& seen, const AiPositionData& b, std::uint32_t tick);
    void checkVertical(const LiveAc& ac, Seen& seen, const AiPositionData& b, std::uint32_t tick);
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
