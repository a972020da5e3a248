// The simulated world of the stand-in: the user aircraft and the other objects,
// the ground, the UTC clock, the installed titles and the position history of
// the AI aircraft.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <iterator>

#include "tools/simstandin/standin_internal.h"

namespace clv::standin {

bool gf_equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}

WorldView SimStandIn::Impl::world() const {
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - zuluSetAt).count();
    return WorldView{scenario.groundElevationFt, zuluBase + elapsed, scenario.slope};
}

void SimStandIn::Impl::setZulu(std::int64_t secondsSince1970) {
    zuluBase = secondsSince1970 != 0
                   ? secondsSince1970
                   : std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    zuluSetAt = Clock::now();
}

void SimStandIn::Impl::placeUser(const UserAircraft& u) {
    SimObject& o = objects[u.objectId];
    o.id = u.objectId;
    o.origin = ObjectOrigin::User;
    o.type = ScObjectType::Aircraft;
    o.latitude = u.latitude;
    o.longitude = u.longitude;
    o.altitudeFt = u.altitudeFt;
    o.pitchDeg = u.pitchDeg;
    o.bankDeg = u.bankDeg;
    o.headingDeg = u.headingDeg;
    o.groundSpeedKt = u.groundSpeedKt;
    o.onGround = u.onGround;
    o.lights = u.lights;
    o.title = u.title;
    o.atcModel = u.atcModel;
    o.atcId = u.atcId;
}

UserAircraft SimStandIn::Impl::userAircraft() {
    const SimObject& o = user();
    UserAircraft u;
    u.objectId = o.id;
    u.latitude = o.latitude;
    u.longitude = o.longitude;
    u.altitudeFt = o.altitudeFt;
    u.pitchDeg = o.pitchDeg;
    u.bankDeg = o.bankDeg;
    u.headingDeg = o.headingDeg;
    u.groundSpeedKt = o.groundSpeedKt;
    u.onGround = o.onGround;
    u.lights = o.lights;
    u.title = o.title;
    u.atcModel = o.atcModel;
    u.atcId = o.atcId;
    return u;
}

const InstalledTitle* SimStandIn::Impl::findInstalled(std::string_view title) const {
    for (const auto& t : installed) {
        if (gf_equalsNoCase(t.title, title)) return &t;
    }
    return nullptr;
}

std::size_t SimStandIn::Impl::aiCount() const {
    return static_cast<std::size_t>(std::count_if(objects.begin(), objects.end(), [](const auto& entry) {
        return entry.second.origin == ObjectOrigin::Ai;
    }));
}

SimObject* SimStandIn::Impl::findObject(std::uint32_t objectId) {
    if (objectId == kScObjectIdUser) objectId = scenario.user.objectId;
    auto found = objects.find(objectId);
    return found != objects.end() ? &found->second : nullptr;
}

// ----- the position history of the AI aircraft -----

void SimStandIn::Impl::recordHistory(const SimObject& o) {
    TrackHistory& h = histories[o.id];
    h.atcId = o.atcId;
    h.title = o.title;
    if (h.points.size() >= kHistoryLimit) {
        // Long runs keep their newest points; the oldest tenth goes at once.
        const std::size_t drop = kHistoryLimit / 10;
        h.points.erase(h.points.begin(), h.points.begin() + static_cast<std::ptrdiff_t>(drop));
        h.dropped += drop;
    }
    const double t = std::chrono::duration<double>(Clock::now() - startedAt).count();
    h.points.push_back(
        HistoryPoint{t, o.latitude, o.longitude, o.altitudeFt, o.headingDeg, o.pitchDeg, o.bankDeg, o.onGround});
}

void SimStandIn::Impl::removeObject(std::uint32_t id) {
    auto found = objects.find(id);
    if (found == objects.end()) return;
    SimObject removed = std::move(found->second);
    objects.erase(found);
    if (auto h = histories.find(id); h != histories.end()) h->second.removed = true;
    sendAddRemove(removed, false);
}

}  // namespace clv::standin
