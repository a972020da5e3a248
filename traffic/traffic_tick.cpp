// The engine's state, its tick, the per-tick update of each live aircraft, and
// the start and end of a run.
#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <filesystem>

#include "core/clock.h"
#include "core/folders.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/run_meter.h"
#include "link/realtraffic_state.h"
#include "link/user_aircraft.h"
#include "traffic/live_movement.h"
#include "traffic/traffic_engine.h"

namespace {

using namespace clv;

constexpr std::uint32_t kRemovalEvery = 10;
constexpr std::uint32_t kCreationEvery = 50;
constexpr std::uint32_t kAcInRangeEvery = 20;
constexpr std::uint32_t kUserReportEvery = 100;
// The tick takes what the feed has queued, up to this many updates: five times
// a busy region's 500 lines a second, so the queue never builds up and a new
// aircraft's first sample is taken when it comes, while one tick stays short.
constexpr int kMaxUpdatesPerTick = 25;
// A spawned aircraft whose oldest sample is past due by more than this when its
// creation turn comes would appear where it was long ago: it is not created.
constexpr std::int64_t kLateCreationTicks = 800;
// Above this frame rate a busy queue lock is waited for; at or below it the
// tick's positions are dropped rather than holding up the run thread.
constexpr float kWaitAboveFrameRate = 50.0f;

constexpr std::size_t kLiveCapacity = 512;
constexpr std::size_t kStaticCapacity = 256;
constexpr std::size_t kHexidQueueCapacity = 64;
constexpr std::size_t kBlockedCapacity = 64;
constexpr std::size_t kInboxCapacity = 256;
constexpr std::size_t kNewObjectCapacity = 128;

// The creation request of a spawned aircraft, from its first simulator position.
AcCreateRequest lf_creationRequest(const LiveAc& ac) {
    AcCreateRequest request;
    request.position.latitude = ac.simPosition.latitude;
    request.position.longitude = ac.simPosition.longitude;
    request.position.altitude = ac.simPosition.altitude;
    request.position.pitch = ac.simPosition.pitch * kRadToDeg;
    request.position.bank = ac.simPosition.bank * kRadToDeg;
    request.position.heading = ac.simPosition.trueHeading * kRadToDeg;
    request.position.onGround = 0;
    request.position.airspeed = 0;
    request.callsign = ac.callsign;
    request.title = std::string(ac.liveryTitle);
    request.hexid = ac.hexid;
    return request;
}

bool lf_tooLateToCreate(const LiveAc& ac) {
    return !ac.samples.empty() &&
           gf_tickNow() > static_cast<std::int64_t>(ac.samples.front().dueTick) + kLateCreationTicks;
}

// Given up at its creation turn; its next line makes it anew from fresh samples.
void lf_giveUpCreation(TrafficEngine& e, LiveAc& ac, const std::string& why) {
    gf_logIfRunning("{} not created: {}", ac.logLabel(), why);
    if (ac.standId != 0) {
        e.parking().freeStand(ac.standId, ac.hexid);
        ac.standId = 0;
    }
    ac.erase = true;
}

void lf_giveUpLateCreation(TrafficEngine& e, LiveAc& ac) {
    lf_giveUpCreation(e, ac, fmt::format("{:.1f} s past due at its creation turn",
                                         static_cast<double>(gf_tickNow() -
                                                             static_cast<std::int64_t>(ac.samples.front().dueTick)) /
                                             100.0));
}

// Late ones are skipped without using up the turn.
void lf_buildNextCreation(TrafficEngine& e) {
    while (!e.hexidQueue.empty()) {
        const std::uint32_t hexid = e.hexidQueue.back();
        e.hexidQueue.pop_back();
        LiveAc* ac = gf_findLiveByHexid(e, hexid);
        if (ac == nullptr) return;  // erased before its request was made
        if (lf_tooLateToCreate(*ac)) {
            lf_giveUpLateCreation(e, *ac);
            continue;
        }
        if (ac->callsign.empty()) {
            gf_logMarked("{} {} objectid = 0?", "operator ()", ac->logLabel());
            return;
        }
        e.liveCreationQueue.push_back(lf_creationRequest(*ac));
        return;
    }
}

// The simulator reports aircraft only within the range, and a creation binds only
// through that report: one made outside would never bind and stay frozen.
bool lf_outsideRange(const TrafficEngine& e, const AcCreateRequest& request) {
    const UserAcData& user = e.userAcData;
    if (gf_isNullPosition(user.latitude, user.longitude)) return false;
    return gf_distanceNm(user.latitude, user.longitude, request.position.latitude, request.position.longitude) >
           lateralRangeNm.load();
}

// Given up like a late one; its next line inside the range makes it anew.
void lf_giveUpOutsideRange(TrafficEngine& e, LiveAc& ac, const AcCreateRequest& request) {
    const UserAcData& user = e.userAcData;
    lf_giveUpCreation(e, ac, fmt::format("{:.1f} nm away, outside the range of {:.0f} nm",
                                         gf_distanceNm(user.latitude, user.longitude, request.position.latitude,
                                                       request.position.longitude),
                                         lateralRangeNm.load()));
}

void lf_handOverCreation(TrafficEngine& e) {
    while (!e.liveCreationQueue.empty()) {
        AcCreateRequest& front = e.liveCreationQueue.front();
        LiveAc* ac = gf_findLiveByHexid(e, front.hexid);
        if (ac != nullptr && ac->simState == AcSimState::Adding2Sim && lf_tooLateToCreate(*ac)) {
            lf_giveUpLateCreation(e, *ac);
            e.liveCreationQueue.pop_front();
            continue;
        }
        if (ac != nullptr && ac->simState == AcSimState::Adding2Sim && lf_outsideRange(e, front)) {
            lf_giveUpOutsideRange(e, *ac, front);
            e.liveCreationQueue.pop_front();
            continue;
        }
        if (ac != nullptr) {
            // From here on the simulator owes a binding; the wait is bounded.
            ac->creationSent = true;
            ac->simStateSince = trafficTickCount.load();
        }
        e.sim().queueCreateAc(std::move(front));
        e.liveCreationQueue.pop_front();
        return;
    }
    if (!e.staticCreationQueue.empty()) {
        e.sim().queueCreateAc(std::move(e.staticCreationQueue.front()));
        e.staticCreationQueue.pop_front();
    }
    if (!e.parking().staticPlanEmpty()) e.parking().placeNextStaticAc(e);
}

void lf_swapPositionBuffers(TrafficEngine& e) {
    SimLinkPort& sim = e.sim();
    if (!sim.tryLockQueues()) {
        if (sim.frameRate() <= kWaitAboveFrameRate) {
            sim.positionFill().clear();
            return;
        }
        sim.lockQueues();
    }
    sim.swapPositionsLocked();
    sim.unlockQueues();
}

void lf_logStepException(const char* function, const std::exception& x, const LiveAc& ac) {
    gf_logMarked("{}: {} {}, sz:{}, fs:{}, st:{}", function, x.what(), ac.logLabel(), ac.samples.size(),
                 moveStateName(ac.moveState), simStateName(ac.simState));
}

template <class V>
void lf_reserve(V& v, std::size_t n) {
    if (v.capacity() < n) v.reserve(n);
}

// The playback lag: the aircraft reaches a position of the feed now. Each feed
// position counts once, so the holds and extensions made later from this
// sample, which are no feed positions, carry no feed time.
void lf_notePlayed(PosSample& s) {
    if (s.feedTime <= 0.0) return;
    gf_notePlaybackLag(g_playbackLagMeter, s.feedTime, gf_lagClockNow());
    s.feedTime = 0.0;
}

void lf_removeCallsignFile() {
    std::filesystem::remove(g_callsign2ObjectIdFile);  // throws its standard error on a failure
}

}  // namespace

namespace clv {

TrafficEngine::TrafficEngine(EnginePorts p, std::set<std::string>* unmatched)
    : ports(p), unmatchedSet(unmatched != nullptr ? *unmatched : ownUnmatchedSet_) {}

std::string TrafficEngine::shownObjectIdText() const {
    std::lock_guard lock(shownMutex_);
    return shownObjectIdText_;
}

void TrafficEngine::setShownObjectIdText(std::string text) {
    std::lock_guard lock(shownMutex_);
    shownObjectIdText_ = std::move(text);
}

void TrafficEngine::post(std::function<void(TrafficEngine&)> request) {
    std::lock_guard lock(requestMutex_);
    postedRequests_.push_back(std::move(request));
}

void TrafficEngine::runPostedRequests() {
    std::vector<std::function<void(TrafficEngine&)>> requests;
    {
        std::lock_guard lock(requestMutex_);
        requests.swap(postedRequests_);
    }
    for (auto& request : requests) request(*this);
}

void TrafficTick::operator()() {
    TrafficEngine& e = engine;
    const std::uint32_t n = trafficTickCount.load();

    gf_handleSimEvents(e);
    lf_updateAllLiveAc(e);

    if (n % kRemovalEvery == 0) {
        if (!e.removalQueue.empty()) {
            {
                QueueLock queueLock(e.sim());
                std::lock_guard lock(queueLock);
                e.sim().appendRemovalLocked(e.removalQueue.front());
            }
            e.removalQueue.pop_front();
        }
        if (n % kCreationEvery == 0) lf_handOverCreation(e);
    }

    {
        std::lock_guard lock(runMutex);
        for (int taken = 0; taken < kMaxUpdatesPerTick && lf_takeTrafficUpdate(e); ++taken) {
        }
    }

    lf_buildNextCreation(e);

    if (n % kAcInRangeEvery == 0) {
        QueueLock queueLock(e.sim());
        std::lock_guard lock(queueLock);
        if (!e.sim().simConnectFailed()) {
            const auto radius = static_cast<std::uint32_t>(std::max(0, lateralRangeMeters.load()));
            if (!e.sim().requestAcInRangeLocked(radius)) {
                gf_logMarked("SimConnect request ac within range fails");
                e.sim().reportRequestError();
            }
        }
    }

    if (n % kUserReportEvery == 0) {
        e.sim().sendQs121(e.userAcData);
        e.userAcData = e.sim().requestUserAcData();
    }

    trafficTickCount.fetch_add(1);
}

}  // namespace clv

std::int64_t gf_tickNow() { return static_cast<std::int64_t>(trafficTickCount.load()); }

clv::LiveAc* gf_findLiveByHexid(clv::TrafficEngine& engine, std::uint32_t hexid) {
    auto it = std::find_if(engine.liveAc.begin(), engine.liveAc.end(),
                           [hexid](const clv::LiveAc& ac) { return ac.hexid == hexid; });
    return it == engine.liveAc.end() ? nullptr : &*it;
}

clv::LiveAc* gf_findLiveByObjectId(clv::TrafficEngine& engine, std::uint32_t objectId) {
    auto it = std::find_if(engine.liveAc.begin(), engine.liveAc.end(),
                           [objectId](const clv::LiveAc& ac) { return ac.objectId == objectId; });
    return it == engine.liveAc.end() ? nullptr : &*it;
}

void lf_updateAllLiveAc(clv::TrafficEngine& engine) {
    bool compact = false;
    for (clv::LiveAc& ac : engine.liveAc) {
        if (updateLiveAc(engine, ac)) compact = true;
    }
    if (compact) {
        std::erase_if(engine.liveAc, [](const clv::LiveAc& ac) { return ac.eraseFromBuffer || ac.erase; });
    }
    lf_swapPositionBuffers(engine);
}

bool updateLiveAc(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using clv::AcSimState;
    try {
        if (ac.simState == AcSimState::Buffer) {
            lf_spawnGate(engine, ac);
            return ac.eraseFromBuffer || ac.erase;
        }
        if (ac.simState != AcSimState::Active) {
            lf_simStateExpired(engine, ac);
            return ac.eraseFromBuffer || ac.erase;
        }

        if (!ac.samples.empty()) {
            if (gf_tickNow() >= static_cast<std::int64_t>(ac.samples.front().dueTick)) {
                lf_notePlayed(ac.samples.front());
                engine.movement().nextPosMain(engine, ac);
            }
            ac.simPosition.verticalSpeed = ac.verticalSpeed / 60.0;
            ac.simPosition.trueAirspeed = (!ac.samples.empty() && ac.samples.front().holdMark) ? 0.0 : ac.trueAirspeed;
        }
        if (ac.simState != AcSimState::Active) return ac.eraseFromBuffer || ac.erase;

        if (ac.samples.empty()) {
            gf_logMarked("{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
                         "updateLiveAc", ac.logLabel(), ac.hexid, ac.objectId, ac.simPosition.altitude,
                         fmt::format("{:.6f},{:.6f}", ac.simPosition.latitude, ac.simPosition.longitude),
                         ac.simPosition.trueAirspeed);
            removeAircraftFromSim(engine, ac);
            return ac.eraseFromBuffer || ac.erase;
        }
        if (!ac.samples.front().holdMark) engine.movement().moveTick(engine, ac);
        if (ac.objectId != 0) {
            engine.sim().positionFill().push_back(clv::AiPositionUpdate{ac.simPosition, ac.objectId});
        } else {
            gf_logMarked("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc", ac.hexid, ac.callsign,
                         ac.registration, ac.airlTypeKey(), ac.samples.size());
            removeAircraftFromSim(engine, ac);
        }
        return ac.eraseFromBuffer || ac.erase;
    } catch (const std::exception& x) {
        lf_logStepException("updateLiveAc", x, ac);
        return ac.eraseFromBuffer;
    }
}

namespace clv {

void MovementPort::nextPosMain(TrafficEngine& engine, LiveAc& ac) {
    if (ac.samples.size() >= 2) {
        ac.samples.pop_front();
        return;
    }
    // A dry stream is not extended here: the aircraft leaves the simulator.
    removeAircraftFromSim(engine, ac);
}

void MovementPort::decodeExisting(TrafficEngine&, LiveAc& ac, const PosSample& sample) { ac.samples.push_back(sample); }

}  // namespace clv

void gf_startTraffic(clv::TrafficEngine& engine) {
    if (engine.firstStartDone) return;
    lf_reserve(engine.liveAc, kLiveCapacity);
    lf_reserve(engine.staticAc, kStaticCapacity);
    lf_reserve(engine.hexidQueue, kHexidQueueCapacity);
    lf_reserve(engine.blockedCallsigns, kBlockedCapacity);
    lf_reserve(engine.trafficInbox, kInboxCapacity);
    lf_reserve(engine.newObjectList, kNewObjectCapacity);
    engine.parking().reserveCapacities();
    engine.firstStartDone = true;
    lf_removeCallsignFile();
}

void gf_stopTraffic(clv::TrafficEngine& engine) {
    engine.parking().resetParking();
    {
        std::vector<clv::SimEvent> dropped;
        engine.sim().takeSimEvents(dropped);
    }
    engine.trafficInbox.clear();
    engine.newObjectList.clear();
    engine.blockedCallsigns.clear();
    engine.liveryMemory.clear();
    engine.hexidQueue.clear();
    engine.removalQueue.clear();
    engine.liveCreationQueue.clear();
    engine.staticCreationQueue.clear();
    engine.staticAc.clear();
    engine.spawnedList.clear();
    engine.arrivalsList.clear();
    {
        std::lock_guard lock(runMutex);
        trafficUpdateQueue.clear();
    }
    lf_removeCallsignFile();
    engine.selectedObjectId = 0;
    engine.reselectHexid = 0;
    engine.lastUserCheckLatitude = 0.0;
    engine.lastUserCheckLongitude = 0.0;
    engine.liveAc.clear();
    currentQnh = kStandardQnh;
    currentSlot.store(clv::Slot{});
    engine.unmatchedSet.clear();
}
