#pragma once
// The engine's parking port at the park airport: its stands, its elevation and
// the plan of static parked aircraft.
#include "traffic/engine_ports.h"

namespace clv {

class AirportParkingPort : public ParkingPort {
public:
    StandPlacement placeAtSpawn(TrafficEngine& engine, LiveAc& ac) override;
    void try2Park(TrafficEngine& engine, LiveAc& ac, bool hold) override;
    void arriveAtStand(TrafficEngine& engine, LiveAc& ac) override;
    bool checkStandSample(TrafficEngine& engine, LiveAc& ac, PosSample& s) override;
    std::uint32_t findStandByName(const std::string& name) override;
    const Stand* findStand(std::uint32_t standId) override;
    void learnSoftOption(TrafficEngine& engine, LiveAc& ac, bool forced) override;
    void freeStand(std::uint32_t standId, std::uint32_t hexid) override;
    std::string standName(std::uint32_t standId) override;
    void liveParkedOnStand(std::uint32_t standId) override;
    std::optional<double> parkAirportElevation() override;
    std::optional<LatLon> parkAirportPosition() override;
    std::string parkAirportIata() override;
    bool staticPlanEmpty() override;
    void placeNextStaticAc(TrafficEngine& engine) override;
    void reserveCapacities() override;
    void resetParking() override;
    bool parkingActive() override;
    std::optional<double> standRadiusNm(std::uint32_t standId) override;
};

}  // namespace clv
