// The handlers of everything the simulator sends, run on the SimConnect thread.
#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/product.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "core/user_error.h"
#include "link/sim_client.h"
#include "link/sim_events.h"
#include "link/sim_hooks.h"
#include "link/sim_ids.h"
#include "link/sim_queues.h"
#include "link/sim_state.h"

namespace {

using namespace clv;

constexpr std::size_t kUserTitleMax = 48;  // bytes
constexpr double kGroundDataMaxAglFt = 2500.0;
constexpr double kTeleportNm = 10.0;
constexpr int kFramesPerRateUpdate = 30;
constexpr std::int32_t kNewFlightDelay = 45;

constexpr std::array<const char*, 6> kCategoryNames{"Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"};

void lf_raiseNewFlight() { gf_requestStop(ExitReason::NewFlight, kNewFlightDelay); }

bool lf_userPositionNull() {
    std::lock_guard lock(userAcMutex);
    return gf_isNullPosition(lastUserAcData.latitude, lastUserAcData.longitude);
}

// At most `limit` bytes, never ending inside a UTF-8 sequence.
std::string lf_cutUtf8(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    // Back up over continuation bytes to the start of the sequence that would be split.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::string lf_checkSimVersion() {
    return fmt::format("MSFS 20{} is running ..., switch Sim or toggle the Install path checkbox of {}",
                       MSFS_2020.value ? "24" : "20", kProductName);
}

void lf_onOpen(const ScRecvOpen& m) {
    if (m.applicationName.empty()) {
        gf_log("! Simulator name empty?");
        return;
    }
    simConnected = true;
    gf_uiPort().requestRepaint();
    std::string name;
    for (char c : m.applicationName) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || std::isspace(u)) name += c;
    }
    const bool msfs2020 = MSFS_2020.value;
    std::string word;
    if (name == "KittyHawk") {
        if (!msfs2020) throw UserErrorException(71, lf_checkSimVersion());
        word = "MSFS 2020";
    } else if (name == "SunRise") {
        if (msfs2020) throw UserErrorException(71, lf_checkSimVersion());
        word = "MSFS 2024";
    } else {
        throw UserErrorException(77, fmt::format("\"{}\" not being MSFS 2020 or MSFS 2024 connects ... ? ", name));
    }
    const std::string text = msfs2020 ? fmt::format("{} ({}.{}.{}.{})", word, m.applicationVersionMajor,
                                                    m.applicationVersionMinor, m.applicationBuildMajor,
                                                    m.applicationBuildMinor)
                                      : word;
    gf_log("{} connected", text);
    {
        std::lock_guard lock(simDisplayMutex);
        simDisplayTexts.simulator = text;
    }
    gf_uiPort().requestRepaint();
    gf_setStatusLine("");
}

void lf_onEvent(const ScRecvEvent& m) {
    if (m.eventId == EVENT_SIM) {
        simRunning = m.data == 1;
        simRunningDisplay = m.data == 1;
        gf_uiPort().requestRepaint();
    } else if (m.eventId == EVENT_FLIGHT_LOADED) {
        gf_log("Simconnect: flight loaded event");
        gf_simLinkHooks().reserveUserStand();
        lf_raiseNewFlight();
    }
}

void lf_onCreationRefused(std::uint32_t sendId) {
    auto found = std::find_if(pendingCreations.begin(), pendingCreations.end(),
                              [sendId](const PendingCreation& p) { return p.packetId == sendId; });
    if (found == pendingCreations.end()) return;
    const std::uint32_t hexid = found->hexid;
    *found = std::move(pendingCreations.back());
    pendingCreations.pop_back();
    if (hexid != 0) gf_postSimEvent(SimEvent{0, hexid, 0, SimEventKind::CreationFailed, 0.0, 0.0});
}

void lf_onException(const ScRecvException& m) {
    switch (m.exception) {
        case kScExceptionUnrecognizedId:
            if (lf_userPositionNull() || stopRequested || userClosedWindow) return;
            gf_logMarked("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
            return;
        case kScExceptionVersionMismatch:
            throw UserErrorException(95, fmt::format("Simconnect Version Mismatch, dwindex: {} ", m.index));
        case kScExceptionTooManyObjects: gf_setStatusLine("SimConnect: too many objects (max 1000)", true); return;
        case kScExceptionInvalidDataSize: gf_log("SIMCON EXCEP 19"); return;
        case kScExceptionCreateObjectFailed: lf_onCreationRefused(m.sendId); return;
        case kScExceptionLoadFlightplanFailed: gf_logMarked("Simconnect exception: load flight plan failed"); return;
        case kScExceptionOperationInvalidForObjectType: gf_log("SIMCON EXCEP 24"); return;
        default: gf_logMarked("SIMCON EXCEP {}", m.exception); return;
    }
}

void lf_onUserAcTitle(const std::string& received) {
    if (received.empty()) {
        gf_log("! title of your ac is empty?");
        return;
    }
    const std::string title = lf_cutUtf8(received, kUserTitleMax);
    {
        std::lock_guard lock(simDisplayMutex);
        if (title == userAcTitle) return;
        userAcTitle = title;
        simDisplayTexts.userTitle = title;
    }
    gf_uiPort().requestRepaint();
    gf_logIndented("SimConnect: User aircraft title: " + title);
}

// The type from the ATC model, with the title's help where the model says too little.
std::string lf_deriveModel(std::string m, const std::string& title, const SimLinkHooks& hooks) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kExact{{
        {"A350-900", "A359"}, {"N738B", "B38M"}, {"777", "772"}, {"A330-200 (RR)", "A332"}}};
    constexpr std::string_view kText = ".0.text";
    auto exact = std::find_if(kExact.begin(), kExact.end(), [&](const auto& e) { return e.first == m; });
    if (exact != kExact.end()) {
        m = exact->second;
    } else if (m.find(kText) == std::string::npos) {
        if (m.starts_with("$$:") && m.size() >= 5) {
            m = m.substr(3);
        } else if (m == "737") {
            if (title.find("DG 737-800") != std::string::npos) m = "B738";
            else if (title.find("DG 737-700") != std::string::npos) m = "B737";
            else if (title.find("DG 737-600") != std::string::npos) m = "B736";
            else if (title.find("DG 737-900") != std::string::npos) m = "B739";
        }
    }
    const std::size_t p = m.find(kText);
    if (p != std::string::npos) {
        if (p < 4) throw std::out_of_range("model text too short for its type");
        for (std::size_t n : {4, 3, 2}) {
            std::string candidate = m.substr(p - n, n);
            if (hooks.halfWingspan(candidate) != 0.0) {
                m = std::move(candidate);
                break;
            }
        }
    }
    return m;
}

void lf_onUserAcModel(const std::string& model) {
    const SimLinkHooks hooks = gf_simLinkHooks();
    if (model.empty()) {
        {
            std::lock_guard lock(simDisplayMutex);
            simDisplayTexts.userTitle = "Unknown (encrypted?) aircraft";
        }
        gf_uiPort().requestRepaint();
        gf_setStatusLine("171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead",
                         true);
        const double span = hooks.halfWingspan("CRJ7");
        userHalfWingspan = span != 0.0 ? span : hooks.maxHalfWingspan();
        userHalfWingspanKnown = true;
        return;
    }
    gf_logIndented("model raw: {} ", model);
    const std::string title = gf_userAcTitle();
    std::string m;
    try {
        m = lf_deriveModel(model, title, hooks);
    } catch (const std::exception&) {
        throw UserErrorException(73, "It looks like you have not selected an aircraft as user vehicle");
    }
    std::string line = "SimConnect: User aircraft model: " + m;
    if (m.find("camerapod") != std::string::npos || m.find("Crew Vessel") != std::string::npos) {
        userSpanKnownDisplay = true;
        gf_uiPort().requestRepaint();
        userHalfWingspan = hooks.halfWingspan("E190");
        userHalfWingspanKnown = true;
        userAcCategory = 0;
        return;
    }
    const double maxSpan = hooks.maxHalfWingspan();
    double span = m.size() < 5 ? hooks.halfWingspan(m) : maxSpan;
    if (span == maxSpan) {
        static constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kTitles{{
            {"Aerosoft A319", "A319"}, {"Aerosoft A320", "A320"}, {"Aerosoft A321", "A321"}}};
        constexpr std::size_t kCompared = 13;
        bool deduced = false;
        for (const auto& [prefix, type] : kTitles) {
            if (title.size() >= kCompared && title.compare(0, kCompared, prefix) == 0) {
                m = type;
                line = "SimConnect: User aircraft model deduced from title: " + m;
                const double deducedSpan = hooks.halfWingspan(m);
                deduced = deducedSpan != 0.0;
                span = deduced ? deducedSpan : maxSpan;
                break;
            }
        }
        if (!deduced) {
            userSpanKnownDisplay = false;
            gf_uiPort().requestRepaint();
            gf_setStatusLine("User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
        }
    } else {
        userSpanKnownDisplay = true;
        gf_uiPort().requestRepaint();
        line += fmt::format(", half wing span: {:.1F} meter", span * kMetresPerNm);
    }
    userHalfWingspan = span;
    userHalfWingspanKnown = true;
    const std::uint32_t category = hooks.type2Category(m);
    userAcCategory = category;
    line += fmt::format(", category: {}", category < kCategoryNames.size() ? kCategoryNames[category] : "?");
    gf_logIndented(line);
}

void lf_onUserAcData(const ScRecvSimObjectData& m) {
    auto read = gf_readUserAcData(m);
    if (!read) {
        gf_log("! user aircraft data too short ({} bytes)", m.dataSize);
        return;
    }
    UserAcData d = *read;
    if (d.altitude < 0.0) d.altitude = 0.0;
    {
        std::lock_guard lock(userAcMutex);
        lastUserAcData = d;
    }
    userAcDataReceived = true;
    SimThreadState& s = simThreadState;
    if (!gf_isNullPosition(s.previousLatitude, s.previousLongitude) &&
        gf_distanceNm(s.previousLatitude, s.previousLongitude, d.latitude, d.longitude) > kTeleportNm) {
        gf_log("Teleport");
        lf_raiseNewFlight();
    }
    s.previousLatitude = d.latitude;
    s.previousLongitude = d.longitude;
    std::string stand = gf_simLinkHooks().standNameAtPosition(d.latitude, d.longitude);
    if (stand != s.lastStand) {
        {
            std::lock_guard lock(simDisplayMutex);
            simDisplayTexts.userStand = stand;
        }
        gf_uiPort().requestRepaint();
        s.lastStand = std::move(stand);
    }
    if (rtProfessional) simulatorTime = gf_unixTimeOfDayOfYear(d.zuluYear, d.zuluDayOfYear, d.zuluTime);
    userObjectId = m.objectId;
}

void lf_onSimObjectData(const ScRecvSimObjectData& m) {
    switch (m.requestId) {
        case REQUEST_STATIC_CG:
            if (auto cg = gf_readStaticCg(m)) {
                gf_postSimEvent(SimEvent{m.objectId, 0, 0, SimEventKind::StaticCg, cg->staticCgToGround, cg->staticPitch});
            }
            return;
        case REQUEST_USER_TITLE: lf_onUserAcTitle(gf_readText(m, std::numeric_limits<std::size_t>::max())); return;
        case REQUEST_USER_MODEL: lf_onUserAcModel(gf_readText(m, kAtcModelSize)); return;
        case REQUEST_USER_ON_GROUND:
            if (!lf_userPositionNull()) {
                if (auto onGround = gf_readOnGround(m)) {
                    userOnGround = *onGround;
                    userOnGroundKnown = true;
                }
            }
            newDataStep = true;
            return;
        case REQUEST_USER_AC_DATA: lf_onUserAcData(m); return;
        default: return;
    }
}

void lf_onAcInRange(const ScRecvSimObjectDataByType& m) {
    if (m.objectId <= userObjectId) return;
    auto read = gf_readAcInRange(m);
    if (!read) return;
    const AcInRangeData& d = *read;
    auto added = std::find(objectAddedQueue.begin(), objectAddedQueue.end(), m.objectId);
    if (added == objectAddedQueue.end()) {
        if (d.altAboveGround > kGroundDataMaxAglFt || d.atcId.empty() || d.atcId.back() == '*') return;
        gf_postSimEvent(SimEvent{m.objectId, d.onGround, 0, SimEventKind::GroundData, d.groundAltitude, d.altAboveGround});
        return;
    }
    *added = objectAddedQueue.back();
    objectAddedQueue.pop_back();
    std::uint32_t hexid = 0;
    if (!d.atcId.empty()) {
        // The creation whose object this is, when the simulator named it; otherwise the
        // first by callsign whose object is not known yet.
        auto pending = std::find_if(pendingCreations.begin(), pendingCreations.end(),
                                    [&](const PendingCreation& p) { return p.objectId == m.objectId; });
        if (pending == pendingCreations.end()) {
            pending = std::find_if(pendingCreations.begin(), pendingCreations.end(), [&](const PendingCreation& p) {
                return p.objectId == 0 && p.callsign == d.atcId;
            });
        }
        if (pending != pendingCreations.end()) {
            hexid = pending->hexid;
            *pending = std::move(pendingCreations.back());
            pendingCreations.pop_back();
        }
    }
    if (hexid == 0) {
        gf_log("just spawned, but not by {}, oid: {}, callsign \"{}\", altaboveGnd:{:.0f} ft, onground:{}, gnd_alt:{:.0f} ft ",
               kProductName, m.objectId, d.atcId, d.altAboveGround, d.onGround, d.groundAltitude);
        return;
    }
    {
        std::lock_guard lock(simQueueMutex);
        SimConnect_AIReleaseControl(simConnectHandle, m.objectId, REQUEST_RELEASE_CONTROL);
        for (std::uint32_t freeze : {FREEZE_LATITUDE_LONGITUDE_SET, FREEZE_ALTITUDE_SET, FREEZE_ATTITUDE_SET}) {
            clientEventQueue.push_back(ClientEventCmd{m.objectId, freeze, 1});
        }
    }
    const bool staticAc = hexid <= kLastStaticHexid;
    gf_postSimEvent(SimEvent{m.objectId, hexid, 0,
                             staticAc ? SimEventKind::StaticObjectBound : SimEventKind::LiveObjectBound, 0.0,
                             staticAc ? 0.0 : d.altAboveGround});
}

// The simulator names the object a creation made. The engine decides whether its
// aircraft still waits for it; the binding itself stays with the in-range reply.
void lf_onAssignedObjectId(const ScRecvAssignedObjectId& m) {
    if (m.requestId < kFirstCreationRequestId || m.objectId <= userObjectId) return;
    auto pending = std::find_if(pendingCreations.begin(), pendingCreations.end(),
                                [&](const PendingCreation& p) { return p.requestId == m.requestId; });
    // None: bound already by the in-range reply, which came first.
    if (pending == pendingCreations.end()) return;
    pending->objectId = m.objectId;
    if (pending->hexid != 0) {
        gf_postSimEvent(SimEvent{m.objectId, pending->hexid, 0, SimEventKind::ObjectAssigned, 0.0, 0.0});
    }
}

// A removed object that never bound takes its creation and its wait with it.
void lf_forgetUnboundObject(std::uint32_t objectId) {
    std::erase_if(pendingCreations, [objectId](const PendingCreation& p) { return p.objectId == objectId; });
    std::erase(objectAddedQueue, objectId);
}

}  // namespace

void gf_dispatch(const ScRecv* message, std::uint32_t /*size*/, void* /*context*/) {
    if (message == nullptr) return;
    switch (message->id) {
        case ScRecvId::Exception: lf_onException(static_cast<const ScRecvException&>(*message)); return;
        case ScRecvId::Open: lf_onOpen(static_cast<const ScRecvOpen&>(*message)); return;
        case ScRecvId::Quit: simRunning = false; return;
        case ScRecvId::Event: lf_onEvent(static_cast<const ScRecvEvent&>(*message)); return;
        case ScRecvId::EventObjectAddRemove: {
            const auto& m = static_cast<const ScRecvEventObjectAddRemove&>(*message);
            if (m.objectType != ScObjectType::Aircraft) return;
            if (m.eventId == EVENT_OBJECT_ADDED && m.data > userObjectId) {
                objectAddedQueue.push_back(m.data);
            } else if (m.eventId == EVENT_OBJECT_REMOVED) {
                lf_forgetUnboundObject(m.data);
                gf_postSimEvent(SimEvent{m.data, 0, 0, SimEventKind::ObjectRemoved, 0.0, 0.0});
            }
            return;
        }
        case ScRecvId::EventFilename:
            gf_logMarked("SimConnect: New file event");
            gf_simLinkHooks().reserveUserStand();
            lf_raiseNewFlight();
            return;
        case ScRecvId::EventFrame: {
            gf_onFrame();
            if (++simThreadState.frameCounter >= kFramesPerRateUpdate) {
                simThreadState.frameCounter = 0;
                simFrameRate = static_cast<const ScRecvEventFrame&>(*message).frameRate;
            }
            return;
        }
        case ScRecvId::SimObjectData: lf_onSimObjectData(static_cast<const ScRecvSimObjectData&>(*message)); return;
        case ScRecvId::SimObjectDataByType: {
            const auto& m = static_cast<const ScRecvSimObjectDataByType&>(*message);
            if (m.requestId == REQUEST_AC_IN_RANGE) lf_onAcInRange(m);
            return;
        }
        case ScRecvId::AssignedObjectId:
            lf_onAssignedObjectId(static_cast<const ScRecvAssignedObjectId&>(*message));
            return;
        case ScRecvId::ClientData:
        case ScRecvId::EventEx1: return;
        default: gf_log("! Unknown Dispatch dwID {}", static_cast<std::uint32_t>(message->id)); return;
    }
}
