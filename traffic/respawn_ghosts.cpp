// The livery respawn of a live aircraft, its ghosts (the same callsign with "_"
// appended), and the erasing of one live record.
#include <algorithm>
#include <exception>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameter_store.h"
#include "core/parameters.h"
#include "core/ui_port.h"
#include "traffic/live_movement.h"
#include "traffic/traffic_engine.h"

namespace {

// Out of the simulator and back in at the first sample: the simulator's
// "ObjectRemoved" returns the record to the buffer, and the spawn gate creates it
// again.
void lf_removeToCreateAgain(clv::TrafficEngine& engine, clv::LiveAc& ac, const char* caller) {
    ac.simState = clv::AcSimState::LiveryRespawn;
    if (ac.objectId != 0 && ac.objectId == engine.selectedObjectId) {
        engine.reselectHexid = ac.hexid;
        // The selection binds again once the aircraft is created anew.
        gf_deselectObject(engine, ac.callsign);
    }
    if (ac.objectId != 0) {
        engine.removalQueue.push_back(ac.objectId);
    } else {
        gf_logMarked("{} removing act {} with objectid=0 ?", caller, ac.logLabel());
    }
}

}  // namespace

void liveryRespawn(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using clv::AcMoveState;
    try {
        clv::PosSample n = ac.samples.at(0);
        const clv::AiPositionData& p = ac.simPosition;
        if (ac.moveState != AcMoveState::Parked) {
            n.latitude = p.latitude;
            n.longitude = p.longitude;
            n.altitude = p.altitude;
            n.roll = p.bank;
            n.hasRoll = true;
            clv::PosSample& first = ac.samples.front();
            first.holdMark = first.latitude == p.latitude && first.longitude == p.longitude;
        } else {
            ac.samples.resize(1);
            clv::PosSample& first = ac.samples.front();
            first.holdMark = true;
            first.track = p.trueHeading * clv::kRadToDeg;
            n.holdMark = true;
        }
        n.dueTick = static_cast<std::uint32_t>(gf_tickNow() + 1);
        n.feedTime = 0.0;  // where the aircraft is, not a line of the feed
        ac.samples.push_front(n);
        ac.headingOverride = p.trueHeading;
        ac.hasHeadingOverride = true;
        lf_removeToCreateAgain(engine, ac, "liveryRespawn");
    } catch (const std::exception& x) {
        gf_logMarked("{}: {}", "liveryRespawn", x.what());
    }
}

void gf_respawnAtJump(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    if (ac.samples.size() < 2) return;
    // It comes back where its feed is now: at the jump, or at a later line already due.
    ac.samples.pop_front();
    const auto now = gf_tickNow();
    while (ac.samples.size() >= 2 && !ac.samples[1].holdMark && std::int64_t{ac.samples[1].dueTick} <= now)
        ac.samples.pop_front();
    ac.samples.front().jumpMark = false;
    ac.jumpAnchor.known = false;
    ac.samples.front().dueTick = static_cast<std::uint32_t>(now + 1);
    if (ac.samples.size() == 1) {
        // The feed's newest line: it stands there, as at the end of any stream.
        clv::PosSample hold = ac.samples.front();
        hold.dueTick += clv::kGroundHoldTicks;
        hold.groundSpeed = 0.0;
        hold.holdMark = true;
        hold.feedTime = 0.0;  // the line itself counts once
        ac.samples.push_back(hold);
    }
    // A new object: heading from its samples, movement from a standstill, a new phase.
    ac.hasHeadingOverride = false;
    ac.curve = clv::GroundCurve{};
    ac.curveParameter = 0.0;
    ac.latitudeStep = 0.0;
    ac.longitudeStep = 0.0;
    ac.turningInPlace = false;
    ac.holding = false;
    ac.extensionCount = 0;
    ac.firstFeedDue = 0;
    lf_startPhaseSlack(ac);
    if (LOG.value) gf_log("          {} jumped on the ground: created again where its feed went on", ac.shortLabel());
    lf_removeToCreateAgain(engine, ac, "gf_respawnAtJump");
}

void lf_removeGhost(clv::TrafficEngine& engine, const std::string& callsign) {
    const std::string ghostCallsign = callsign + "_";
    auto ghost = std::find_if(engine.liveAc.begin(), engine.liveAc.end(), [&](const clv::LiveAc& ac) {
        return ac.callsign == ghostCallsign && ac.simState != clv::AcSimState::RemovingFromSim;
    });
    if (ghost == engine.liveAc.end()) return;
    if (LOG.value) {
        if (ghost->moveState == clv::AcMoveState::Parked) {
            gf_log("{:8}: {:8} is a ghost and will be removed, continue with {}",
                   engine.parking().standName(ghost->standId), ghost->callsign, callsign);
        } else {
            gf_log("          {:8} is a ghost and will be removed, continue with {}", ghost->callsign, callsign);
        }
    }
    engine.blockedCallsigns.push_back(ghost->callsign);
    removeAircraftFromSim(engine, *ghost);
}

bool lf_originalOfGhostExists(const clv::TrafficEngine& engine, const std::string& callsign) {
    if (callsign.empty()) return false;
    const std::string_view original(callsign.data(), callsign.size() - 1);
    return std::any_of(engine.liveAc.begin(), engine.liveAc.end(), [&](const clv::LiveAc& ac) {
        return ac.simState != clv::AcSimState::RemovingFromSim && ac.callsign == original;
    });
}

void gf_deselectObject(clv::TrafficEngine& engine, const std::string& callsignKept) {
    engine.selectedObjectId = 0;
    engine.setShownObjectIdText({});
    gf_uiPort().requestRepaint();
    if (CALLSIGN_2_OBJECTID.value.get() != callsignKept) {
        CALLSIGN_2_OBJECTID.value = callsignKept;
        gf_setStringEdit(CALLSIGN_2_OBJECTID);
    }
}

namespace {

// An empty text names nothing: it never makes two aircraft the same.
bool lf_sameText(const std::string& a, const std::string& b) { return !a.empty() && a == b; }

const char* lf_flightWord(bool onGround) { return onGround ? "on ground" : "airborne"; }

}  // namespace

bool gf_removeDuplicateAc(clv::TrafficEngine& engine, const DuplicateContext& context, const clv::StaticAc& s) {
    if (s.simState != clv::AcSimState::Active) return false;
    const clv::AcIdentity& live = context.live;
    if (lf_sameText(live.registration, s.registration)) {
        if (LOG.value) {
            gf_log("{:8}: {:8} {} removed, new {} {} has same regcode {}", engine.parking().standName(s.standId),
                   s.callsign, s.registration, lf_flightWord(context.onGround), live.callsign, live.registration);
        }
        return true;
    }
    const auto copyOrFurther = [&s](const std::string& text) {
        return lf_sameText(text, s.callsignCopy) || lf_sameText(text, s.furtherText);
    };
    const bool sameCallsign = lf_sameText(live.callsign, s.callsignCopy);
    const bool coupled = copyOrFurther(live.callsign) || copyOrFurther(live.furtherText) ||
                         (clv::gf_endsWithUnderscore(live.callsign) && copyOrFurther(context.callsign));
    if (!coupled) return false;
    if (LOG.value) {
        gf_log("{:8}: {:8} \"{} {}\" removed, new {} {} \"{} {}\" has {} callsign",
               engine.parking().standName(s.standId), s.callsign, s.callsignCopy, s.furtherText,
               lf_flightWord(context.onGround), live.callsign, live.callsignCopy, live.furtherText,
               sameCallsign ? "same" : "coupled");
    }
    return true;
}

bool gf_removeStaticDuplicateOf(clv::TrafficEngine& engine, std::uint32_t hexid) {
    const clv::LiveAc* ac = gf_findLiveByHexid(engine, hexid);
    if (ac == nullptr) return false;
    if (ac->callsign.empty()) return true;
    std::string callsign = ac->callsign;
    if (clv::gf_endsWithUnderscore(callsign)) callsign.pop_back();
    const DuplicateContext context{*ac, std::move(callsign), ac->onGround};
    for (clv::StaticAc& s : engine.staticAc) {
        if (gf_removeDuplicateAc(engine, context, s)) {
            removeAircraftFromSim(engine, s);
            break;
        }
    }
    return true;
}

void gf_removeStaticDuplicatesOfLive(clv::TrafficEngine& engine) {
    if (engine.staticAc.empty()) return;
    for (const clv::LiveAc& ac : engine.liveAc) {
        if (!ac.onGround || ac.simState != clv::AcSimState::Active) continue;
        const std::string starred = ac.callsign + "*";
        for (clv::StaticAc& s : engine.staticAc) {
            if (s.simState != clv::AcSimState::Active) continue;
            if (s.callsign == starred || lf_sameText(ac.registration, s.registration)) {
                removeAircraftFromSim(engine, s);
                break;
            }
        }
    }
}

void gf_removeAllStatic(clv::TrafficEngine& engine) {
    using clv::AcSimState;
    for (clv::StaticAc& s : engine.staticAc) {
        if (s.simState == AcSimState::Active || (s.simState == AcSimState::Adding2Sim && !s.removalPending)) {
            removeAircraftFromSim(engine, s);
        }
    }
    std::erase_if(engine.staticAc, [](const clv::StaticAc& s) { return s.erase || s.eraseFromBuffer; });
}

void gf_removeAcAtStand(clv::TrafficEngine& engine, const std::string& standName) {
    const std::uint32_t id = engine.parking().findStandByName(standName);
    // No stand of that name: id 0 is the mark of every aircraft that stands on none.
    if (id == 0) return;
    for (clv::StaticAc& s : engine.staticAc) {
        if (s.simState == clv::AcSimState::Active && s.standId == id) {
            removeAircraftFromSim(engine, s);
            return;
        }
    }
    for (clv::LiveAc& ac : engine.liveAc) {
        if (lf_isParkedLive(ac) && ac.standId == id) {
            removeAircraftFromSim(engine, ac);
            return;
        }
    }
}

bool lf_isParkedLive(const clv::LiveAc& ac) {
    return ac.simState == clv::AcSimState::Active && ac.moveState == clv::AcMoveState::Parked;
}

std::int32_t gf_countParkedLive(const clv::TrafficEngine& engine, clv::Slot now, float* mean) {
    std::int32_t count = 0;
    std::int64_t sum = 0;
    for (const clv::LiveAc& ac : engine.liveAc) {
        if (!lf_isParkedLive(ac)) continue;
        ++count;
        if (mean != nullptr) sum += gf_halfHoursBetween(clv::Slot::fromBits(ac.parkedAt), now);
    }
    if (mean != nullptr) {
        *mean = count > 0 ? static_cast<float>(static_cast<double>(sum) / (2.0 * count) + 0.5) : 0.0f;
    }
    return count;
}
