// Placing the plan's static parked aircraft one by one, and their count.
#include <fmt/format.h>

#include <algorithm>

#include "airports/parking/static_parking.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameters.h"

std::uint32_t staticSerial = 0;

namespace {

using clv::ParkPlanEntry;

// On the entry's stand or on one adjacent to it.
bool lf_onOrNextTo(const clv::Stand* stand, std::uint32_t entryStandId, std::uint32_t standId) {
    if (standId == entryStandId) return true;
    if (stand == nullptr || standId == 0) return false;
    return std::find(stand->adjacent.begin(), stand->adjacent.end(), standId) != stand->adjacent.end();
}

// A live parked or parking aircraft, or any static aircraft, on the stand or next to it.
bool lf_refused(const clv::TrafficEngine& engine, const ParkPlanEntry& entry) {
    const clv::Stand* stand = gf_standWithId(entry.standId);
    const std::string name = gf_standName(entry.standId);
    for (const clv::LiveAc& ac : engine.liveAc) {
        if (ac.moveState != clv::AcMoveState::Parked && ac.moveState != clv::AcMoveState::Parking) continue;
        if (!lf_onOrNextTo(stand, entry.standId, ac.standId)) continue;
        if (LOG.value) {
            if (ac.standId == entry.standId) {
                gf_log("{:8}: no static parking for {}, live aircraft {} standing here", name, entry.callsign,
                       ac.callsign);
            } else {
                gf_log("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly colliding", name,
                       entry.callsign, ac.callsign, gf_standName(ac.standId));
            }
        }
        return true;
    }
    for (const clv::StaticAc& s : engine.staticAc) {
        if (!lf_onOrNextTo(stand, entry.standId, s.standId)) continue;
        if (LOG.value) {
            gf_log("{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly colliding", name,
                   entry.callsign, s.callsign, gf_standName(s.standId));
        }
        return true;
    }
    return false;
}

}  // namespace

std::string lf_markStaticCs(std::string callsign) {
    while (!callsign.empty() && callsign.back() == '_') callsign.pop_back();
    if (!callsign.empty() && callsign.back() == '*') return callsign;
    return fmt::format("{}{}", callsign, '*');
}

std::string lf_detcs(const clv::ParkPlanEntry& entry) {
    const std::string& preferred = entry.stays ? entry.callsign : entry.secondCallsign;
    const std::string& other = entry.stays ? entry.secondCallsign : entry.callsign;
    const std::string& chosen = preferred.empty() ? other : preferred;
    if (chosen.empty()) {
        gf_logMarked("{} callsign is empty..", "lf_detcs");
        return {};
    }
    return lf_markStaticCs(chosen);
}

void gf_placeNextStaticAc(clv::TrafficEngine& engine) {
    if (parkPlan.empty() || standList.empty()) return;
    const ParkPlanEntry entry = std::move(parkPlan.back());
    parkPlan.pop_back();
    if (lf_refused(engine, entry)) return;
    const clv::Stand* stand = gf_standWithId(entry.standId);
    if (stand == nullptr) {
        gf_logMarked("stand with id {} not found", gf_standName(entry.standId));
        return;
    }
    staticSerial = (staticSerial + 1) % clv::kStaticSerialModulo;
    clv::AcIdentity identity;
    identity.airline = entry.airline;
    identity.type = entry.type;
    identity.callsign =
        entry.callsign.empty() ? fmt::format("{}{}{}", entry.airline, staticSerial, '*') : lf_detcs(entry);
    identity.callsignCopy = entry.callsign;
    identity.furtherText = entry.secondCallsign;
    identity.registration = entry.registration;
    clv::AcData data = engine.data().acData(identity);
    data.hexid = staticSerial;
    engine.staticAc.emplace_back(std::move(data), stand->id, stand->latitude, stand->longitude, stand->heading,
                                 stand->cargo);
    clv::StaticAc& ac = engine.staticAc.back();
    if (!gf_parkingHooks().matchStaticLivery(ac, stand->name, stand->cargo)) {
        engine.staticAc.pop_back();
        return;
    }
    ac.parkedAt = gf_slotBefore(gf_parkingHooks().now(), entry.fit).toBits();
    ac.simState = clv::AcSimState::Adding2Sim;
    clv::AcCreateRequest request;
    request.position.latitude = ac.latitude;
    request.position.longitude = ac.longitude;
    request.position.bank = 0.0;
    request.position.heading = ac.heading * clv::kRadToDeg;
    request.position.onGround = 1;
    request.callsign = ac.callsign;
    request.title = std::string(ac.liveryTitle);
    request.hexid = ac.hexid;
    engine.staticCreationQueue.push_back(std::move(request));
}

std::int32_t gf_countStaticAc(const clv::TrafficEngine& engine, bool show) {
    const clv::Slot now = gf_parkingHooks().now();
    std::int32_t count = 0;
    std::int64_t sum = 0;
    const bool withFit = show && !WEEK.value;
    for (const clv::StaticAc& s : engine.staticAc) {
        if (s.simState != clv::AcSimState::Active && s.simState != clv::AcSimState::RemovingFromSim) continue;
        ++count;
        if (withFit) sum += gf_fitHalfHours(s, now);
    }
    if (withFit) {
        const float fit = count == 0 ? 0.0f : static_cast<float>(static_cast<double>(sum) / (2.0 * count) + 0.5);
        gf_parkingHooks().showStaticAverageFit(fit);  // the window repaints when it changed
    }
    return count;
}
