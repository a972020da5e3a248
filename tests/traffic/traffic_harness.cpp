#include "traffic_harness.h"

#include <fmt/format.h>

#include <algorithm>

#include "core/geodesy.h"
#include "link/pos_sample.h"
#include "link/user_aircraft.h"

namespace clv::test {

std::uint32_t currentTick() { return trafficTickCount.load(); }

// ---- FakeSimLink -------------------------------------------------------------------------

namespace {
constexpr double kGroundDataMaxAglFeet = 2500.0;
}  // namespace

void FakeSimLink::post(const SimEvent& event) { postAt(currentTick(), event); }

void FakeSimLink::postAt(std::uint32_t tick, const SimEvent& event) {
    std::lock_guard lock(inboxMutex_);
    inbox_.emplace_back(tick, event);
}

std::vector<TickedEvent> FakeSimLink::eventsOf(std::uint32_t objectId) const {
    std::vector<TickedEvent> out;
    for (const TickedEvent& e : clientEvents)
        if (e.command.objectId == objectId) out.push_back(e);
    return out;
}

std::size_t FakeSimLink::frame() {
    std::lock_guard lock(mutex_);
    const std::size_t n = send_.size();
    send_.clear();
    return n;
}

void FakeSimLink::lockQueues() {
    if (scriptedBusy_) {
        // The tick chose to wait for the lock rather than drop its positions.
        scriptedBusy_ = false;
        droppedPositionTicks.pop_back();
        waitedTicks.push_back(currentTick());
    }
    mutex_.lock();
}

bool FakeSimLink::tryLockQueues() {
    if (busyTicks.contains(currentTick())) {
        scriptedBusy_ = true;
        droppedPositionTicks.push_back(currentTick());
        return false;
    }
    return mutex_.try_lock();
}

std::vector<AiPositionUpdate>& FakeSimLink::positionFill() {
    // Reached after a busy try only when the tick drops its positions.
    scriptedBusy_ = false;
    return fill_;
}

void FakeSimLink::unlockQueues() {
    scriptedBusy_ = false;
    mutex_.unlock();
}

void FakeSimLink::queueCreateAc(AcCreateRequest request) {
    std::lock_guard lock(mutex_);
    const std::uint32_t now = currentTick();
    if (responder.on) {
        if (refusedTitles.contains(request.title)) {
            postAt(now + 1, SimEvent{0, request.hexid, 0, SimEventKind::CreationFailed, 0.0, 0.0});
        } else {
            const std::uint32_t id = nextObjectId_++;
            objectOf[request.hexid] = id;
            simObjects.insert(id);
            postAt(now + 1, SimEvent{id, request.hexid, 0, SimEventKind::ObjectAssigned, 0.0, 0.0});
            pending_.push_back(Pending{now, request, id});
        }
    }
    creations.push_back(TickedCreation{now, std::move(request)});
}

void FakeSimLink::queueClientEvent(const ClientEventCmd& command) {
    std::lock_guard lock(mutex_);
    clientEvents.push_back(TickedEvent{currentTick(), command});
}

void FakeSimLink::appendRemovalLocked(std::uint32_t objectId) {
    const std::uint32_t now = currentTick();
    removals.push_back(TickedId{now, objectId});
    if (responder.answerRemovals) {
        objects_.erase(objectId);
        simObjects.erase(objectId);
        std::erase_if(pending_, [objectId](const Pending& p) { return p.objectId == objectId; });
    }
    if (responder.on && responder.answerRemovals)
        postAt(now + responder.removeDelay, SimEvent{objectId, 0, 0, SimEventKind::ObjectRemoved, 0.0, 0.0});
}

void FakeSimLink::appendClientEventLocked(const ClientEventCmd& command) {
    clientEvents.push_back(TickedEvent{currentTick(), command});
}

void FakeSimLink::swapPositionsLocked() {
    sentPositions.push_back(TickedPositions{currentTick(), fill_});
    for (const AiPositionUpdate& u : fill_) {
        if (auto it = objects_.find(u.objectId); it != objects_.end()) it->second = u.block;
    }
    std::swap(fill_, send_);
    fill_.clear();
}

bool FakeSimLink::requestAcInRangeLocked(std::uint32_t radiusMeters) {
    const std::uint32_t now = currentTick();
    acInRangeRequests.push_back(TickedId{now, radiusMeters});
    if (refuseAcInRange) return false;
    if (responder.on && responder.bindCreations) {
        // As the simulator: only aircraft within the radius of the user aircraft are reported.
        const bool userKnown = !gf_isNullPosition(user.latitude, user.longitude);
        auto inRange = [&](const Pending& p) {
            return !userKnown || gf_distanceNm(user.latitude, user.longitude, p.request.position.latitude,
                                               p.request.position.longitude) *
                                         kMetresPerNm <=
                                     static_cast<double>(radiusMeters);
        };
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->tick + responder.bindDelay > now || !inRange(*it)) {
                ++it;
                continue;
            }
            const std::uint32_t hexid = it->request.hexid;
            const std::uint32_t id = it->objectId;
            AiPositionData& where = objects_[id];
            where.latitude = it->request.position.latitude;
            where.longitude = it->request.position.longitude;
            where.altitude = it->request.position.altitude;
            const bool live = hexid > 10000;
            // With a terrain the binding reports the height above it, as the simulator does;
            // nothing is created below the ground.
            double aboveGround = responder.heightAboveGround;
            if (responder.terrain) {
                const double ground = responder.terrain(where.latitude, where.longitude);
                where.altitude = std::max(where.altitude, ground + responder.staticCg);
                aboveGround = where.altitude - ground;
            }
            postAt(now, SimEvent{id, hexid, 0, live ? SimEventKind::LiveObjectBound : SimEventKind::StaticObjectBound,
                                 0.0, live ? aboveGround : 0.0});
            it = pending_.erase(it);
        }
    }
    if (responder.on && responder.terrain) reportGround(now);
    return true;
}

void FakeSimLink::reportGround(std::uint32_t now) {
    for (auto& [id, where] : objects_) {
        const double ground = responder.terrain(where.latitude, where.longitude);
        // As the simulator: nothing stands below the ground, the height above ground is
        // the reference point's (the static CG height when standing), and an object at
        // most 1 ft above its standing height is on the ground.
        where.altitude = std::max(where.altitude, ground + responder.staticCg);
        const double aboveGround = where.altitude - ground;
        const std::uint32_t onGround = aboveGround <= responder.staticCg + 1.0 ? 1 : 0;
        // The link passes on ground data only of aircraft at most 2500 ft above the ground.
        if (aboveGround > kGroundDataMaxAglFeet) continue;
        groundReports.push_back(GroundReport{now, id, ground});
        postAt(now, SimEvent{id, onGround, 0, SimEventKind::GroundData, ground, aboveGround});
    }
}

bool FakeSimLink::requestStaticCgLocked(std::uint32_t objectId) {
    staticCgRequests.push_back(TickedId{currentTick(), objectId});
    if (responder.on && responder.staticCg > 0.0 && !refuseStaticCg)
        postAt(currentTick(),
               SimEvent{objectId, 0, 0, SimEventKind::StaticCg, responder.staticCg, responder.staticPitch});
    return !refuseStaticCg;
}

bool FakeSimLink::allLightsToggleLocked(std::uint32_t objectId) {
    lightToggles.push_back(TickedId{currentTick(), objectId});
    return !refuseLightToggle;
}

bool FakeSimLink::setFlightPlanLocked(std::uint32_t objectId, const std::string&) {
    flightPlansHanded.push_back(TickedId{currentTick(), objectId});
    return planAccepted;
}

bool FakeSimLink::setAiControlsLocked(std::uint32_t objectId, const AiControlsData& controls) {
    aiControls.emplace_back(objectId, controls);
    return true;
}

std::optional<std::string> FakeSimLink::writeFlightPlan(std::uint32_t objectId, AcCategory, const std::string&,
                                                        const std::string&) {
    if (!planWritable) return std::nullopt;
    return fmt::format("orig_dest/{}.pln", objectId);
}

void FakeSimLink::deleteFlightPlan(std::uint32_t objectId) {
    flightPlansDeleted.push_back(TickedId{currentTick(), objectId});
}

void FakeSimLink::takeSimEvents(std::vector<SimEvent>& out) {
    std::lock_guard lock(inboxMutex_);
    const std::uint32_t now = currentTick();
    auto due =
        std::stable_partition(inbox_.begin(), inbox_.end(), [now](const auto& entry) { return entry.first <= now; });
    for (auto it = inbox_.begin(); it != due; ++it) out.push_back(it->second);
    inbox_.erase(inbox_.begin(), due);
}

UserAcData FakeSimLink::requestUserAcData() {
    ++userDataRequests;
    return user;
}

void FakeSimLink::sendQs121(const UserAcData& user) {
    qs121Ticks.push_back(currentTick());
    if (onQs121) onQs121(user);
}

// ---- FakeAircraftData ----------------------------------------------------------------------

FakeAircraftData FakeAircraftData::standard() {
    FakeAircraftData d;
    d.types = {{"A320", {AcCategory::Large, 0.0097}},     {"A319", {AcCategory::Large, 0.0097}},
               {"B738", {AcCategory::Large, 0.0097}},     {"B744", {AcCategory::Heavy, 0.0173}},
               {"C172", {AcCategory::Light, 0.0030}},     {"F16", {AcCategory::HighPerf, 0.0026}},
               {"EC35", {AcCategory::Rotorcraft, 0.0028}}};
    d.registrations = {{"D-AIAB", RegRecord{"DLH", "A320", "", false}},
                       {"D-AIXX", RegRecord{"DLH", "A320", "CLH", false}},
                       {"G-EUPA", RegRecord{"BAW", "A319", "", false}},
                       {"G-NEWR", RegRecord{"BAW", "A320", "", false}},
                       {"N738AA", RegRecord{"AAL", "B738", "", true}}};
    d.regTitles = {{"G-NEWR", "British Airways A320 G-NEWR"}};
    d.addLivery("DLH", "A320", "Lufthansa A320");
    d.addLivery("DLH", "A320", "Lufthansa A320 Star Alliance");
    d.addLivery("CLH", "A320", "Lufthansa CityLine A320");
    d.addLivery("DLH", "B738", "Lufthansa B738");
    d.addLivery("BAW", "A320", "British Airways A320");
    d.addLivery("BAW", "A319", "British Airways A319");
    d.addLivery("AAL", "B738", "American B738");
    d.addLivery("PVT", "C172", "Cessna 172 white");
    d.addLivery("PVT", "EC35", "EC135 police");
    d.addLivery("USF", "F16", "F-16 USAF");
    d.addLivery("KLM", "B744", "KLM B744");
    d.addLivery("ZZZ", "A320", "Generic A320");
    return d;
}

void FakeAircraftData::addLivery(std::string airline, std::string type, std::string title) {
    liveries.push_back(Livery{std::move(airline), std::move(type), std::move(title)});
}

AcCategory FakeAircraftData::category(std::string_view type) {
    auto it = types.find(std::string(type));
    return it == types.end() ? AcCategory::Light : it->second.category;
}

bool FakeAircraftData::isValidModel(std::string_view type) { return types.contains(std::string(type)); }

std::string FakeAircraftData::reg2Type(std::string_view registration) {
    auto it = registrations.find(std::string(registration));
    return it == registrations.end() ? std::string() : it->second.type;
}

std::optional<RegRecord> FakeAircraftData::regRecord(std::string_view registration) {
    auto it = registrations.find(std::string(registration));
    if (it == registrations.end()) return std::nullopt;
    return it->second;
}

std::string_view FakeAircraftData::reg2Title(std::string_view registration) {
    auto it = regTitles.find(std::string(registration));
    return it == regTitles.end() ? std::string_view() : std::string_view(it->second);
}

AcData FakeAircraftData::acData(const AcIdentity& identity) {
    AcData d;
    static_cast<AcIdentity&>(d) = identity;
    auto it = types.find(identity.type);
    d.category = it == types.end() ? AcCategory::Light : it->second.category;
    d.radius = it == types.end() ? 0.005 : it->second.radius;
    d.angleStep = gf_categoryAngleStepDegrees(d.category) * kDegToRad;
    d.rotationPitch = gf_categoryRotationPitchDegrees(d.category) * kDegToRad;
    d.climbPitch = gf_categoryClimbPitchDegrees(d.category) * kDegToRad;
    d.flareTicks = gf_categoryFlareTicks(d.category);
    d.deRotationTicks = gf_categoryDeRotationTicks(d.category);
    d.rotationTicks = gf_categoryRotationTicks(d.category);
    d.climbPitchTicks = gf_categoryClimbPitchTicks(d.category);
    return d;
}

void FakeAircraftData::matchLivery(AcData& ac) {
    ++matchCalls;
    ac.liveryTitle = {};
    auto usable = [this](std::string_view title) { return !title.empty() && !excluded.contains(std::string(title)); };
    auto firstOf = [&](std::string_view airline, std::string_view type) {
        for (const Livery& l : liveries) {
            if ((airline.empty() || l.airline == airline) && l.type == type && usable(l.title)) {
                ac.liveryTitle = l.title;
                return true;
            }
        }
        return false;
    };
    // As the real matcher: the registration's title, the airline and type, the
    // generic airline and type, and any livery of the type only for the loose categories.
    const AcCategory typeCategory = category(ac.type);
    const bool loose = typeCategory == AcCategory::Light || typeCategory == AcCategory::Buzjets ||
                       typeCategory == AcCategory::Rotorcraft;
    if (std::string_view bound = reg2Title(ac.registration); usable(bound)) {
        ac.liveryTitle = bound;
    } else {
        bool found = !ac.airline.empty() && firstOf(ac.airline, ac.type);
        if (!found) found = firstOf("ZZZ", ac.type);
        if (!found && loose) firstOf("", ac.type);
    }
    ac.specialLivery = ac.liveryTitle.find("FSLTL_") != std::string_view::npos;
}

bool FakeAircraftData::isExcludedTitle(std::string_view title) { return excluded.contains(std::string(title)); }

void FakeAircraftData::liveryNotCreated(const AcData& ac) {
    excluded.insert(std::string(ac.liveryTitle));
    refusedAircraft.push_back(ac);
}

// ---- FakeParking -----------------------------------------------------------------------------

StandPlacement FakeParking::placeAtSpawn(TrafficEngine&, LiveAc& ac) {
    if (placement == StandPlacement::Placed) {
        ac.standId = placementStand;
        ac.standHeading = placementHeading;
        ac.standLatitude = ac.samples.front().latitude;
        ac.standLongitude = ac.samples.front().longitude;
        ac.samples.resize(1);
        ac.samples.front().holdMark = true;
    }
    return placement;
}

std::string FakeParking::standName(std::uint32_t standId) { return fmt::format("S{}", standId); }

std::uint32_t FakeParking::findStandByName(const std::string& name) {
    auto it = std::find_if(stands.begin(), stands.end(), [&](const Stand& s) { return s.name == name; });
    return it == stands.end() ? 0 : it->id;
}

const Stand* FakeParking::findStand(std::uint32_t standId) {
    auto it = std::find_if(stands.begin(), stands.end(), [&](const Stand& s) { return s.id == standId; });
    return it == stands.end() ? nullptr : &*it;
}

bool FakeParking::checkStandSample(TrafficEngine&, LiveAc& ac, PosSample& s) {
    const double d = gf_distanceNm(ac.standLatitude, ac.standLongitude, s.latitude, s.longitude);
    if (d <= leaveBeyondNm) return false;
    // It leaves: the week-long hold it stood on ends now.
    s.holdMark = false;
    ac.leavingStand = true;
    if (ac.extensionCount >= 1) {
        ac.samples.front().dueTick = currentTick() + 1;
        ac.extensionCount = 0;
        lf_startPhaseSlack(ac);
    }
    return true;
}

void FakeParking::placeNextStaticAc(TrafficEngine&) {
    staticPlacementTicks.push_back(currentTick());
    --planEntries;
}

// ---- the feed --------------------------------------------------------------------------------

TrafficUpdate makeUpdate(std::uint32_t hexid, const std::string& callsign, const std::string& type, double latitude,
                         double longitude, double altitude, double groundSpeed, double track, double timestamp,
                         const std::string& registration) {
    TrafficUpdate u;
    u.hexid = hexid;
    u.timestamp = timestamp;
    u.sample.feedTime = timestamp;  // as the line reader stamps every sample
    u.identity.callsign = callsign;
    u.identity.type = type;
    u.identity.registration = registration;
    u.sample.latitude = latitude;
    u.sample.longitude = longitude;
    u.sample.altitude = altitude;
    u.sample.airborne = altitude > 0.0;
    u.sample.groundSpeed = groundSpeed;
    u.sample.track = track;
    u.sample.trueAirspeed = groundSpeed;
    return u;
}

void ScriptedFeed::at(std::uint32_t tick, TrafficUpdate update) {
    auto pos = std::upper_bound(script_.begin() + static_cast<std::ptrdiff_t>(next_), script_.end(), tick,
                                [](std::uint32_t t, const auto& entry) { return t < entry.first; });
    script_.insert(pos, {tick, std::move(update)});
}

void ScriptedFeed::pump() {
    const std::uint32_t now = currentTick();
    while (next_ < script_.size() && script_[next_].first <= now) {
        TrafficUpdate u = script_[next_].second;
        u.sample.dueTick = now + kSampleDelayTicks;
        pushed_.emplace_back(u.hexid, u.sample);
        {
            std::lock_guard lock(runMutex);
            trafficUpdateQueue.push_back(std::move(u));
        }
        ++next_;
    }
}

// ---- settings ----------------------------------------------------------------------------------

SettingsGuard::SettingsGuard() : rangeMeters_(lateralRangeMeters.load()), rangeNm_(lateralRangeNm.load()) {
    for (Parameter<bool>* p : std::initializer_list<Parameter<bool>*>{
             &LOG, &RANDOM, &GUID_CHANGES, &COLLISION_USER_AIR, &COLLISION_USER_GND, &LIGHT_AIRCRAFT,
             &HIGH_PERF_AIRCRAFT, &HELICOPTERS, &NAV_LIGHTS_WHILE_PARKED, &MSFS_2020, &STRAIGHT_PBS_ONLY})
        bools_[p] = p->value;
    for (Parameter<int>* p : std::initializer_list<Parameter<int>*>{&MAX_LIVE, &LATERAL_RANGE, &MAX_HOLDING_MINUTES,
                                                                    &HOLDING_THRESHOLD_METERS}) ints_[p] = p->value;
    for (Parameter<std::string>* p :
         std::initializer_list<Parameter<std::string>*>{&BLOCK_CALLSIGN, &CALLSIGN_2_OBJECTID})
        strings_[p] = p->value.get();
    // Every test starts from the defaults.
    for (auto& [p, v] : bools_) p->value = p->def;
    for (auto& [p, v] : ints_) p->value = p->def;
    for (auto& [p, v] : strings_) p->value = p->def;
    gf_refreshLateralRangeCopies();
}

SettingsGuard::~SettingsGuard() {
    for (auto& [p, v] : bools_) p->value = v;
    for (auto& [p, v] : ints_) p->value = v;
    for (auto& [p, v] : strings_) p->value = v;
    lateralRangeMeters = rangeMeters_;
    lateralRangeNm = rangeNm_;
}

// ---- the rig -------------------------------------------------------------------------------------

EngineRig::EngineRig() {
    trafficTickCount = 0;
    {
        std::lock_guard lock(runMutex);
        trafficUpdateQueue.clear();
    }
    // High in the air, its position not known yet (as before the simulator's first
    // answer): the engine's rules of distance from the user and of the range leave
    // every aircraft of the tests alone, and the simulator double reports every
    // object. Tests of those rules place the user.
    sim.user.latitude = 0.0;
    sim.user.longitude = 0.0;
    sim.user.altitude = 35000.0;
    sim.user.altAboveGround = 35000.0;
    engine.userAcData = sim.user;
    gf_startTraffic(engine);
}

EngineRig::~EngineRig() {
    std::lock_guard lock(runMutex);
    trafficUpdateQueue.clear();
}

void EngineRig::tick() {
    feed.pump();
    TrafficTick{engine}();
    if (afterTick) afterTick();
}

void EngineRig::run(std::uint32_t ticks) {
    for (std::uint32_t i = 0; i < ticks; ++i) tick();
}

LiveAc& EngineRig::addLive(std::uint32_t hexid, const std::string& callsign, const std::string& type,
                           const std::vector<PosSample>& samples, AcSimState state, double newestTimestamp) {
    AcIdentity id;
    id.callsign = callsign;
    id.callsignCopy = callsign;
    id.type = type;
    AcData d = data.acData(id);
    d.hexid = hexid;
    d.acAngleStep = d.angleStep;
    LiveAc& ac = engine.liveAc.emplace_back(samples.at(0), std::move(d), newestTimestamp);
    for (std::size_t i = 1; i < samples.size(); ++i) ac.samples.push_back(samples[i]);
    ac.simState = state;
    return ac;
}

void EngineRig::pushUpdate(TrafficUpdate update) {
    update.sample.dueTick = currentTick() + kSampleDelayTicks;
    std::lock_guard lock(runMutex);
    trafficUpdateQueue.push_back(std::move(update));
}

PosSample groundSample(double latitude, double longitude, double groundSpeed, double track, std::uint32_t due) {
    PosSample s;
    s.latitude = latitude;
    s.longitude = longitude;
    s.groundSpeed = groundSpeed;
    s.track = track;
    s.dueTick = due;
    return s;
}

PosSample airSample(double latitude, double longitude, double altitude, double groundSpeed, double track,
                    std::uint32_t due) {
    PosSample s = groundSample(latitude, longitude, groundSpeed, track, due);
    s.altitude = altitude;
    s.airborne = altitude > 0.0;
    s.trueAirspeed = groundSpeed;
    return s;
}

}  // namespace clv::test
