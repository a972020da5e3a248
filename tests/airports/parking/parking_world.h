#pragma once
// The world of the static parking tests: an engine on the traffic doubles with
// the airport's parking port, parking hooks that record what the window was
// shown and answer from small tables, a stand list built stand by stand, and
// the parking settings restored afterwards.
#include <fmt/format.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "airports/airports_fixture.h"
#include "airports/parking/parking_hooks.h"
#include "airports/parking/parking_port.h"
#include "airports/parking/static_parking.h"
#include "core/parameters.h"
#include "core/random.h"
#include "core/ui_port.h"
#include "support/temp_folder.h"
#include "traffic/traffic_harness.h"

namespace clv::test {

// The parking settings back to their defaults for the test, and to the user's after.
class ParkingSettings {
public:
    ParkingSettings() {
        for (auto* p : bools()) bools_[p] = p->value, p->value = p->def;
        for (auto* p : ints()) ints_[p] = p->value, p->value = p->def;
        destination_ = DESTINATION.value.get();
        DESTINATION.value = "";
        parking_percentage.value = 30;
        // Handles of their own, so the null port keeps the controls' states.
        ControlHandle handle = 9001;
        for (ParameterControl* c : controls()) handles_[c] = c->handle.exchange(handle++);
    }
    ~ParkingSettings() {
        for (auto& [c, h] : handles_) c->handle = h;
        for (auto& [p, v] : bools_) p->value = v;
        for (auto& [p, v] : ints_) p->value = v;
        DESTINATION.value = destination_;
    }

private:
    static std::vector<Parameter<bool>*> bools() {
        return {&PARK_SOFT, &PARK_FAKE, &WEEK, &LEARN_SOFT, &INITIAL_LOAD_ONLY, &HELICOPTERS, &RANDOM, &LOG};
    }
    static std::vector<Parameter<int>*> ints() {
        return {&parking_percentage, &CUSTOM_PARKING_PERCENTAGE, &CUSTOM_MAX_PARK, &MAX_FIT,
                &AIRPORT_RANGE,      &AIRPORT_HEIGHT,            &MAX_LIVE};
    }
    static std::vector<ParameterControl*> controls() {
        return {&parking_percentage, &INITIAL_LOAD_ONLY, &PARK_FAKE, &PARK_SOFT,   &CUSTOM_MAX_PARK, &MAX_FIT_FL,
                &WEEK,               &FLUSH_STATIC_BUTTON, &REREAD_BUTTON, &LEARN_SOFT, &DESTINATION, &MAX_LIVE};
    }
    std::map<ParameterControl*, ControlHandle> handles_;
    std::map<Parameter<bool>*, bool> bools_;
    std::map<Parameter<int>*, int> ints_;
    std::string destination_;
};

struct ParkingWorld {
    ParkingSettings settings;
    ParkFileState fileState;
    EngineRig rig;
    AirportParkingPort port;
    TrafficEngine& engine = rig.engine;

    // ---- what the hooks answer ----
    std::map<std::string, ParkSite> airports;  // findAirport
    std::optional<ParkSite> nearest;
    std::map<std::string, std::string> apfPaths;  // code -> file; apfExists when present
    std::vector<ParkSite> parkList;
    UserAcView user;
    std::string userStand;
    std::set<std::string> heardCallsigns;
    Slot now{3, 20};
    std::int64_t systemTime = 0;  // 100 ns units
    std::uint32_t draw = 50;
    std::int32_t savedMaxLive = -1;
    bool liveryFound = true;

    // ---- what was shown or asked ----
    ParkingFigures figures;
    std::vector<float> staticFits;
    std::vector<float> liveFits;
    std::vector<std::int32_t> minutesShown;
    int sorts = 0;
    int callsignCollections = 0;
    int saves = 0;

    ParkingWorld() {
        rig.engine.ports.parking = &port;
        gf_resetParkAirportState();
        gf_setParkingHooks(hooks());
        apfReadHooks.parkAirportCode = [] { return gf_parkAirport().code; };
        staticSerial = 0;
        gf_seedRandom(7);
        gf_nullUiPort().clear();
    }
    ~ParkingWorld() {
        gf_resetParkAirportState();
        gf_setParkingHooks({});
        plannerCallsigns.clear();
    }

    // Waits out the read of the park airport's file that a refresh began, as the
    // ticks do: looked at every millisecond; the number of looks.
    int finishParkRead() {
        int looks = 0;
        while (gf_parkReadPending()) {
            gf_continueParkRead(engine);
            if (!gf_parkReadPending()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++looks;
        }
        return looks;
    }

    ParkingHooks hooks() {
        ParkingHooks h;
        h.findAirport = [this](const std::string& code) -> std::optional<ParkSite> {
            auto it = airports.find(code);
            if (it == airports.end()) return std::nullopt;
            return it->second;
        };
        h.nearestAirport = [this](LatLon) { return nearest; };
        h.apfExists = [this](const std::string& code) { return apfPaths.contains(code); };
        h.apfPath = [this](const std::string& code) {
            auto it = apfPaths.find(code);
            return it == apfPaths.end() ? std::string() : it->second;
        };
        h.firstParkAirport = [this]() -> std::optional<ParkSite> {
            if (parkList.empty()) return std::nullopt;
            return parkList.front();
        };
        h.parkAirportListEmpty = [this] { return parkList.empty(); };
        h.sortParkAirports = [this](LatLon p) {
            ++sorts;
            std::stable_sort(parkList.begin(), parkList.end(), [p](const ParkSite& a, const ParkSite& b) {
                return gf_distanceNm(p, LatLon{a.lat, a.lon}) < gf_distanceNm(p, LatLon{b.lat, b.lon});
            });
        };
        h.putParkAirportFirst = [this](const ParkSite& e) { parkList.insert(parkList.begin(), e); };
        h.reserveStandOfFirst = [this](const std::string& s) { parkList.front().reservedStand = s; };
        h.startCallsignCollection = [this] { ++callsignCollections; };
        h.takeLiveCallsigns = [this] { return heardCallsigns; };
        h.saveLearnedFile = [this] { ++saves; };
        h.userAircraft = [this] { return user; };
        h.userStandName = [this] { return userStand; };
        h.halfWingspan = [this](std::string_view type) {
            auto it = rig.data.types.find(std::string(type));
            return it == rig.data.types.end() ? 0.0 : it->second.radius;
        };
        h.matchStaticLivery = [this](AcData& ac, std::string_view, bool) {
            if (!liveryFound) return false;
            rig.data.matchLivery(ac);
            return !ac.liveryTitle.empty();
        };
        h.showFigures = [this](const ParkingFigures& f) { figures = f; };
        h.showStaticAverageFit = [this](float f) { staticFits.push_back(f); };
        h.showLiveAverageFit = [this](float f) { liveFits.push_back(f); };
        h.showMinutesToNext = [this](std::int32_t m) { minutesShown.push_back(m); };
        h.savedMaxLive = [this] { return savedMaxLive; };
        h.now = [this] { return now; };
        h.systemTime100ns = [this] { return systemTime; };
        h.drawPercent = [this] { return draw; };
        return h;
    }

    // A stand appended to the list, numbered by its place, with its options.
    Stand& addStand(const std::string& name, std::vector<StandOption> options, double lat = 47.0,
                    double lon = 8.0, double radiusMetres = 30.0, StandKinds kinds = {}) {
        standList.emplace_back(name, std::move(options), lat, lon, 0.5, radiusMetres, kinds);
        standList.back().id = static_cast<std::uint32_t>(standList.size());
        return standList.back();
    }

    void addAirport(const std::string& code, double lat, double lon, bool inList = true) {
        ParkSite a;
        a.code = code;
        a.lat = lat;
        a.lon = lon;
        a.alt = 1400;
        airports[code] = a;
        if (inList) parkList.push_back(a);
    }

    // A static aircraft on a stand, active.
    StaticAc& addStatic(std::uint32_t standId, const std::string& callsign, const std::string& airline,
                        const std::string& type, Slot planned = {}) {
        AcIdentity id;
        id.callsign = callsign;
        id.airline = airline;
        id.type = type;
        AcData data = rig.data.acData(id);
        const Stand* s = nullptr;
        for (const Stand& st : standList)
            if (st.id == standId) s = &st;
        engine.staticAc.emplace_back(std::move(data), standId, s ? s->latitude : 0.0, s ? s->longitude : 0.0, 0.0,
                                     false);
        engine.staticAc.back().simState = AcSimState::Active;
        engine.staticAc.back().objectId = 500 + static_cast<std::uint32_t>(engine.staticAc.size());
        engine.staticAc.back().parkedAt = planned.toBits();
        return engine.staticAc.back();
    }

    // A live aircraft active in a move state, on a stand.
    LiveAc& addLive(std::uint32_t hexid, const std::string& callsign, const std::string& type, AcMoveState state,
                    std::uint32_t standId = 0) {
        LiveAc& ac = rig.addLive(hexid, callsign, type, {groundSample(47.0, 8.0, 0, 0, 0)}, AcSimState::Active);
        ac.objectId = hexid;
        ac.moveState = state;
        ac.standId = standId;
        return ac;
    }
};

// A park-position file of `stands` stands, each with one real option for Wednesday 10:00.
inline std::string apfText(int stands, int qualityReal) {
    std::string text = R"(<?xml version="1.0"?>
<meta>
	<info name="author" value="Calvorinth" />
	<info name="version" value="10.10.9" />
	<info name="date" value="Dec 10, 2026" />
	<info name="copyright" value="Copyright (c) Calvorinth developers" />
	<info name="MSFS" value="2020" />
</meta>
<parameters>
	<parameter name="airport_name" value="Test Field" />
	<parameter name="publisher" value="stock" />
	<parameter name="altitude" value="1416" />
)";
    text += fmt::format("\t<parameter name=\"Qf_real\" value=\"{}\" />\n</parameters>\n<parkpositions>\n", qualityReal);
    for (int i = 0; i < stands; ++i) {
        text += fmt::format(
            "\t<parkpos id=\"S{}\" latitude=\"{:.6f}\" longitude=\"8.550000\" heading=\"90.0\" radius=\"20\">\n"
            "\t\t<opt reg=\"HB-J{:02}\" airl=\"SWR\" type=\"A320\" day=\"3\" hh=\"20\" cs=\"SWR{}\" />\n\t</parkpos>\n",
            i + 1, 47.40 + i * 0.01, i, i + 1);
    }
    return text + "</parkpositions>\n";
}

struct FileWorld : ParkingWorld {
    TempFolder dir;
    CurrentFolder current{dir.path()};
    AirportLog log;

    // The airport TEST at 47.4/8.55 with its file.
    void writeFile(int stands, int quality) {
        dir.write("airports/my_thirdparty/TEST.xml", apfText(stands, quality));
        apfPaths["TEST"] = "airports/my_thirdparty/TEST.xml";
        addAirport("TEST", 47.4, 8.55, false);
    }
    // ... and the park airport.
    void parkAt(int stands, int quality) {
        writeFile(stands, quality);
        ASSERT_TRUE(lf_announceParkAirport("TEST"));
    }
};

// An option of a stand with its identity.
inline StandOption identOption(std::uint32_t id, std::uint32_t weekday, std::vector<std::uint32_t> hours,
                               std::string airline, std::string type, std::string callsign = {},
                               std::string second = {}, std::string registration = {}, std::uint32_t real = 1) {
    StandOption o = option(id, weekday, std::move(hours), real);
    o.airline = std::move(airline);
    o.type = std::move(type);
    o.callsign = std::move(callsign);
    o.secondCallsign = std::move(second);
    o.registration = std::move(registration);
    return o;
}

}  // namespace clv::test
