#pragma once
// The engine's ports onto the program's real subsystems: the SimConnect queues,
// requests and inbox of link/, and the reference data and livery matching of
// liveries/.
#include "traffic/engine_ports.h"

namespace clv {

class LinkSimPort : public SimLinkPort {
public:
    void lockQueues() override;
    bool tryLockQueues() override;
    void unlockQueues() override;
    void queueCreateAc(AcCreateRequest request) override;
    void queueClientEvent(const ClientEventCmd& command) override;
    void appendRemovalLocked(std::uint32_t objectId) override;
    void appendClientEventLocked(const ClientEventCmd& command) override;
    void swapPositionsLocked() override;
    bool requestAcInRangeLocked(std::uint32_t radiusMeters) override;
    bool requestStaticCgLocked(std::uint32_t objectId) override;
    bool allLightsToggleLocked(std::uint32_t objectId) override;
    bool setFlightPlanLocked(std::uint32_t objectId, const std::string& path) override;
    bool setAiControlsLocked(std::uint32_t objectId, const AiControlsData& controls) override;
    std::vector<AiPositionUpdate>& positionFill() override;
    bool simConnectFailed() override;
    float frameRate() override;
    bool userOnGround() override;
    void reportRequestError() override;
    std::optional<std::string> writeFlightPlan(std::uint32_t objectId, AcCategory category, const std::string& origin,
                                               const std::string& destination) override;
    void deleteFlightPlan(std::uint32_t objectId) override;
    void takeSimEvents(std::vector<SimEvent>& out) override;
    UserAcData requestUserAcData() override;
    void sendQs121(const UserAcData& user) override;
};

class LiveryDataPort : public AircraftDataPort {
public:
    AcCategory category(std::string_view type) override;
    bool isValidModel(std::string_view type) override;
    std::string reg2Type(std::string_view registration) override;
    std::optional<RegRecord> regRecord(std::string_view registration) override;
    std::string_view reg2Title(std::string_view registration) override;
    AcData acData(const AcIdentity& identity) override;
    void matchLivery(AcData& ac) override;
    bool isExcludedTitle(std::string_view title) override;
    void liveryNotCreated(const AcData& ac) override;
};

}  // namespace clv
