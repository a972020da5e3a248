#include "traffic/link_ports.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "link/realtraffic_link.h"
#include "link/sim_client.h"
#include "link/sim_flight_plan.h"
#include "link/sim_ids.h"
#include "link/sim_queues.h"
#include "liveries/dbase_queries.h"
#include "liveries/livery_match.h"
#include "liveries/match_summary.h"

namespace clv {

namespace {

SimConnectHandle lf_handle() { return simConnectHandle.load(); }

std::filesystem::path lf_planFile(std::uint32_t objectId) { return flightPlanFolder / gf_plnPath(objectId); }

}  // namespace

void LinkSimPort::lockQueues() { simQueueMutex.lock(); }
bool LinkSimPort::tryLockQueues() { return simQueueMutex.try_lock(); }
void LinkSimPort::unlockQueues() { simQueueMutex.unlock(); }

void LinkSimPort::queueCreateAc(AcCreateRequest request) { gf_queueCreateAc(std::move(request)); }
void LinkSimPort::queueClientEvent(const ClientEventCmd& command) { gf_queueClientEvent(command); }

void LinkSimPort::appendRemovalLocked(std::uint32_t objectId) { removeAcQueue.push_back(objectId); }
void LinkSimPort::appendClientEventLocked(const ClientEventCmd& command) { clientEventQueue.push_back(command); }

void LinkSimPort::swapPositionsLocked() {
    std::swap(fillPositions, sendPositions);
    fillPositions->clear();
}

bool LinkSimPort::requestAcInRangeLocked(std::uint32_t radiusMeters) {
    return SimConnect_RequestDataOnSimObjectType(lf_handle(), REQUEST_AC_IN_RANGE, DEF_AC_IN_RANGE, radiusMeters,
                                                 ScObjectType::Aircraft) == kScOk;
}

bool LinkSimPort::requestStaticCgLocked(std::uint32_t objectId) {
    return SimConnect_RequestDataOnSimObject(lf_handle(), REQUEST_STATIC_CG, DEF_STATIC_CG, objectId, ScPeriod::Once) ==
           kScOk;
}

bool LinkSimPort::allLightsToggleLocked(std::uint32_t objectId) {
    return SimConnect_TransmitClientEvent(lf_handle(), objectId, ALL_LIGHTS_TOGGLE, 0, kNotificationGroup, 0) == kScOk;
}

bool LinkSimPort::setFlightPlanLocked(std::uint32_t objectId, const std::string& path) {
    return gf_setFlightPlanLocked(objectId, path);
}

bool LinkSimPort::setAiControlsLocked(std::uint32_t objectId, const AiControlsData& controls) {
    return SimConnect_SetDataOnSimObject(lf_handle(), DEF_AI_CONTROLS, objectId, 0, 0, kAiControlsDataSize,
                                         &controls) == kScOk;
}

std::vector<AiPositionUpdate>& LinkSimPort::positionFill() { return *fillPositions; }

bool LinkSimPort::simConnectFailed() { return ::simConnectFailed.load(); }
float LinkSimPort::frameRate() { return simFrameRate.load(); }
bool LinkSimPort::userOnGround() { return ::userOnGround.load(); }
void LinkSimPort::reportRequestError() { gf_simConnectRequestError(); }

std::optional<std::string> LinkSimPort::writeFlightPlan(std::uint32_t objectId, AcCategory category,
                                                        const std::string& origin, const std::string& destination) {
    const std::filesystem::path path = lf_planFile(objectId);
    if (!gf_writePln(path, static_cast<std::uint32_t>(category), origin, destination)) return std::nullopt;
    return path.string();
}

void LinkSimPort::deleteFlightPlan(std::uint32_t objectId) {
    std::error_code ignored;  // a file already gone is fine
    std::filesystem::remove(lf_planFile(objectId), ignored);
}

void LinkSimPort::takeSimEvents(std::vector<SimEvent>& out) { gf_takeSimEvents(out); }
UserAcData LinkSimPort::requestUserAcData() { return gf_requestUserAcData(); }
void LinkSimPort::sendQs121(const UserAcData& user) { gf_sendQs121(user); }

AcCategory LiveryDataPort::category(std::string_view type) { return gf_type2Category(type); }
bool LiveryDataPort::isValidModel(std::string_view type) { return gf_isValidModel(type); }
std::string LiveryDataPort::reg2Type(std::string_view registration) { return gf_reg2Type(registration); }
std::optional<RegRecord> LiveryDataPort::regRecord(std::string_view registration) {
    return gf_regRecordOf(registration);
}
std::string_view LiveryDataPort::reg2Title(std::string_view registration) { return gf_reg2Title(registration); }
AcData LiveryDataPort::acData(const AcIdentity& identity) { return AcData(identity); }
void LiveryDataPort::matchLivery(AcData& ac) { gf_matchLivery(ac); }
bool LiveryDataPort::isExcludedTitle(std::string_view title) { return gf_isExcludedTitle(title); }
void LiveryDataPort::liveryNotCreated(const AcData& ac) { gf_liveryNotCreated(ac); }

}  // namespace clv
