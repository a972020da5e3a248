#include "airports/parking/parking_port.h"

#include <algorithm>

#include "airports/files/apf_file.h"
#include "airports/parking/live_placement.h"
#include "airports/parking/live_stands.h"
#include "airports/parking/stand_arrival.h"
#include "airports/parking/static_parking.h"

namespace {

constexpr std::size_t kStandRoom = 512;
constexpr std::size_t kPlanRoom = 512;
constexpr std::size_t kLiveParkedRoom = 128;

}  // namespace

namespace clv {

StandPlacement AirportParkingPort::placeAtSpawn(TrafficEngine& engine, LiveAc& ac) {
    return gf_placeAtSpawn(engine, ac);
}

void AirportParkingPort::try2Park(TrafficEngine& engine, LiveAc& ac, bool hold) { ::try2Park(engine, ac, hold); }

void AirportParkingPort::arriveAtStand(TrafficEngine& engine, LiveAc& ac) { lf_arriveAtStand(engine, ac); }

bool AirportParkingPort::checkStandSample(TrafficEngine& engine, LiveAc& ac, PosSample& s) {
    return lf_checkStandSample(engine, ac, s);
}

std::uint32_t AirportParkingPort::findStandByName(const std::string& name) {
    auto it = gf_findStandByName(name);
    return it == standList.end() ? 0 : it->id;
}

const Stand* AirportParkingPort::findStand(std::uint32_t standId) {
    return gf_standWithId(standId);
}

void AirportParkingPort::learnSoftOption(TrafficEngine& engine, LiveAc& ac, bool forced) {
    lf_learnSoftOption(engine, ac, forced);
}

void AirportParkingPort::freeStand(std::uint32_t standId, std::uint32_t hexid) {
    if (Stand* stand = gf_standWithId(standId)) gf_releaseStand(*stand, hexid);
}

std::string AirportParkingPort::standName(std::uint32_t standId) { return gf_standName(standId); }

void AirportParkingPort::liveParkedOnStand(std::uint32_t standId) {
    std::erase_if(parkPlan, [standId](const ParkPlanEntry& e) { return e.standId == standId; });
}

std::optional<double> AirportParkingPort::parkAirportElevation() {
    if (::parkingActive.load()) return static_cast<double>(parkApfInfo.altitude);
    const ParkSite park = gf_parkAirport();
    if (park.code.empty()) return std::nullopt;
    return park.alt;
}

std::optional<LatLon> AirportParkingPort::parkAirportPosition() {
    const ParkSite park = gf_parkAirport();
    if (park.code.empty()) return std::nullopt;
    return LatLon{park.lat, park.lon};
}

std::string AirportParkingPort::parkAirportIata() { return gf_parkAirport().iata; }

bool AirportParkingPort::staticPlanEmpty() { return parkPlan.empty(); }

void AirportParkingPort::placeNextStaticAc(TrafficEngine& engine) { gf_placeNextStaticAc(engine); }

void AirportParkingPort::reserveCapacities() {
    standList.reserve(kStandRoom);
    parkPlan.reserve(kPlanRoom);
    liveParkedList.reserve(kLiveParkedRoom);
}

void AirportParkingPort::resetParking() { gf_resetParkAirportState(); }

bool AirportParkingPort::parkingActive() { return ::parkingActive.load(); }

std::optional<double> AirportParkingPort::standRadiusNm(std::uint32_t standId) {
    const Stand* stand = gf_standWithId(standId);
    if (stand == nullptr) return std::nullopt;
    return stand->radius;
}

}  // namespace clv
