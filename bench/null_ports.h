#pragma once
// Ports of the traffic engine that do nothing but what a benchmark of the tick
// needs: the simulator link keeps its position buffers, the aircraft data gives
// every type the values of a Large aircraft.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/geodesy.h"
#include "traffic/traffic_engine.h"

namespace clv::bench {

class NullSimLink : public SimLinkPort {
public:
    NullSimLink() {
        fill_.reserve(1024);
        send_.reserve(1024);
    }
    void lockQueues() override {}
    bool tryLockQueues() override { return true; }
    void unlockQueues() override {}
    void queueCreateAc(AcCreateRequest) override {}
    void queueClientEvent(const ClientEventCmd&) override {}
    void appendRemovalLocked(std::uint32_t) override {}
    void appendClientEventLocked(const ClientEventCmd&) override {}
    void swapPositionsLocked() override {
        std::swap(fill_, send_);
        fill_.clear();
    }
    bool requestAcInRangeLocked(std::uint32_t) override { return true; }
    bool requestStaticCgLocked(std::uint32_t) override { return true; }
    bool allLightsToggleLocked(std::uint32_t) override { return true; }
    bool setFlightPlanLocked(std::uint32_t, const std::string&) override { return true; }
    bool setAiControlsLocked(std::uint32_t, const AiControlsData&) override { return true; }
    std::vector<AiPositionUpdate>& positionFill() override { return fill_; }
    bool simConnectFailed() override { return false; }
    float frameRate() override { return 60.0f; }
    bool userOnGround() override { return true; }
    void reportRequestError() override {}
    std::optional<std::string> writeFlightPlan(std::uint32_t, AcCategory, const std::string&,
                                               const std::string&) override {
        return std::nullopt;
    }
    void deleteFlightPlan(std::uint32_t) override {}
    void takeSimEvents(std::vector<SimEvent>&) override {}
    UserAcData requestUserAcData() override { return UserAcData{}; }
    void sendQs121(const UserAcData&) override {}

private:
    std::vector<AiPositionUpdate> fill_;
    std::vector<AiPositionUpdate> send_;
};

class NullData : public AircraftDataPort {
public:
    AcCategory category(std::string_view) override { return AcCategory::Large; }
    bool isValidModel(std::string_view) override { return true; }
    std::string reg2Type(std::string_view) override { return {}; }
    std::optional<RegRecord> regRecord(std::string_view) override { return std::nullopt; }
    std::string_view reg2Title(std::string_view) override { return {}; }
    AcData acData(const AcIdentity& identity) override {
        AcData d;
        static_cast<AcIdentity&>(d) = identity;
        d.category = AcCategory::Large;
        d.radius = 0.0097;
        d.angleStep = gf_categoryAngleStepDegrees(d.category) * kDegToRad;
        d.acAngleStep = d.angleStep;
        d.groundValueB = gf_categoryGroundValueB(d.category);
        return d;
    }
    void matchLivery(AcData&) override {}
    bool isExcludedTitle(std::string_view) override { return false; }
    void liveryNotCreated(const AcData&) override {}
};

}  // namespace clv::bench
