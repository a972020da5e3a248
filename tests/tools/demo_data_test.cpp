// The demo of scripts/run: its traffic passes the program's line checks around the
// user aircraft of its scenario, and its liveries, data base and registration codes,
// offered the way the script offers them, give every aircraft of the traffic a
// livery of its own airline and type that the stand-in simulator has installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/stop_flags.h"
#include "core/workers.h"
#include "link/realtraffic_state.h"
#include "link/traffic_receiver.h"
#include "link/traffic_update.h"
#include "liveries/ac_data.h"
#include "liveries/dbase.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_index.h"
#include "liveries/livery_match.h"
#include "liveries/livery_scan.h"
#include "liveries/similar_types.h"
#include "support/temp_folder.h"
#include "tools/dbasetool/dbase_listing.h"
#include "tools/feedstandin/track_script.h"
#include "tools/simstandin/scenario.h"

namespace fs = std::filesystem;
using clv::test::CurrentFolder;
using clv::test::readFile;
using clv::test::ScopedEnv;
using clv::test::TempFolder;

namespace {

// Start of the replay: any time; the line checks do not compare it with the clock.
constexpr double kStartTimestamp = 1760000000.0;
constexpr std::size_t kOnGroundField = 6;

fs::path demoDataFolder() { return fs::path(__FILE__).parent_path().parent_path().parent_path() / "demo"; }

std::string field(const std::string& line, std::size_t index) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) start = line.find(',', start) + 1;
    return line.substr(start, line.find(',', start) - start);
}

// The value of one setting of demo/parameters.xml.
std::string demoSetting(const std::string& key) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_file((demoDataFolder() / "parameters.xml").c_str());
    EXPECT_TRUE(parsed) << parsed.description();
    const pugi::xpath_node node = document.select_node(("/parameters/parameter[@name='" + key + "']").c_str());
    EXPECT_TRUE(node) << key << " is not in demo/parameters.xml";
    return node.node().attribute("value").value();
}

clv::FeedScript demoScript() { return gf_readTrackScript(readFile(demoDataFolder() / "traffic.trk")); }

clv::standin::Scenario demoScenario() {
    return clv::standin::gf_readScenarioFile(demoDataFolder() / "simstandin_scenario.json");
}

// The receiver as a run sets it up around the scenario's user aircraft, with the
// demo's lateral range; the flight runs, so accepted lines are queued.
class DemoFeed {
public:
    DemoFeed() {
        const clv::standin::Scenario scenario = demoScenario();
        user_ = clv::LatLon{scenario.user.latitude, scenario.user.longitude};
        elevation_ = scenario.groundElevationFt;
        savedRange_ = lateralRangeNm.load();
        realTrafficOnThisPc = true;
        lateralRangeNm = std::stod(demoSetting("LATERAL_RANGE"));
        receiver.setRangeCentre(user_);
        receiver.clearRefElevation();
        gf_clearFeedParkAirport();
        trafficTickCount = 0;
        std::lock_guard lock(runMutex);
        flightRunning = true;
        trafficUpdateQueue.clear();
    }
    ~DemoFeed() {
        gf_clearFeedParkAirport();
        realTrafficOnThisPc = false;
        lateralRangeNm = savedRange_;
        std::lock_guard lock(runMutex);
        flightRunning = false;
        trafficUpdateQueue.clear();
    }
    DemoFeed(const DemoFeed&) = delete;
    DemoFeed& operator=(const DemoFeed&) = delete;

    // The user's airport as the park airport, as the parking side sets it once it
    // knows the airport: ground lines near it count, and the ground rule compares
    // altitudes with its elevation.
    void parkAtUserAirport() {
        gf_setFeedParkAirport(user_);
        receiver.setRefElevation(elevation_);
    }

    std::optional<clv::TrafficUpdate> feed(const std::string& line) {
        {
            std::lock_guard lock(runMutex);
            trafficUpdateQueue.clear();
        }
        receiver.acceptDatagram(line);
        std::lock_guard lock(runMutex);
        if (trafficUpdateQueue.empty()) return std::nullopt;
        return trafficUpdateQueue.back();
    }

    clv::TrafficReceiver receiver;

private:
    clv::LatLon user_{};
    double elevation_ = 0.0;
    double savedRange_ = 0.0;
};

}  // namespace

TEST(DemoData, ScenarioAndSettingsAgree) {
    const clv::standin::Scenario scenario = demoScenario();
    // The program refuses a simulator other than the one its settings name.
    EXPECT_EQ(scenario.simulator == "KittyHawk", demoSetting("MSFS_2020") == "true");
    EXPECT_TRUE(scenario.user.onGround);
    EXPECT_EQ(demoSetting("MSFS_INSTALL_PATH"), "@DEMO_FOLDER@");
    EXPECT_TRUE(fs::is_directory(demoDataFolder() / "Community"));
    // The range the program uses is the stored one only while it does not choose its own.
    EXPECT_EQ(demoSetting("AUTO_RANGE"), "false");
    EXPECT_EQ(demoSetting("AEROWINX"), "false");
}

// Every line of the demo traffic is taken, with the identity of its track, and in
// the air exactly where the script flies it.
TEST(DemoData, TrafficPassesTheLineChecks) {
    const clv::FeedScript script = demoScript();
    ASSERT_GE(script.tracks.size(), 5u);
    std::map<std::uint32_t, const clv::FeedIdentity*> identities;
    for (const auto& track : script.tracks) identities[track.identity.hexid] = &track.identity;
    ASSERT_EQ(identities.size(), script.tracks.size()) << "two aircraft share a hexid";
    const std::vector<clv::TimedLine> lines = gf_linesOfScript(script, kStartTimestamp);

    struct Case {
        const char* name;
        bool parkAirport;  // with it, also the ground lines count
    };
    for (const Case c : {Case{"no park airport", false}, Case{"park airport at the user's airport", true}}) {
        SCOPED_TRACE(c.name);
        DemoFeed demo;
        if (c.parkAirport) demo.parkAtUserAirport();
        std::map<std::uint32_t, int> airborneLines;
        for (const auto& line : lines) {
            const bool inTheAir = field(line.text, kOnGroundField) == "0";
            if (!inTheAir && !c.parkAirport) continue;
            const std::optional<clv::TrafficUpdate> update = demo.feed(line.text);
            ASSERT_TRUE(update.has_value()) << "dropped: " << line.text;
            EXPECT_EQ(update->sample.airborne, inTheAir) << line.text;
            const clv::FeedIdentity& id = *identities.at(update->hexid);
            EXPECT_EQ(update->identity.callsign, id.callsign);
            EXPECT_EQ(update->identity.type, id.type);
            EXPECT_EQ(update->identity.registration, id.registration);
            if (inTheAir) ++airborneLines[update->hexid];
        }
        std::size_t flying = 0;  // aircraft with a point in the air
        for (const auto& track : script.tracks)
            flying += std::any_of(track.points.begin(), track.points.end(), [](const auto& p) { return !p.onGround; });
        EXPECT_EQ(airborneLines.size(), flying) << "an aircraft is never in the air";
    }
}

// A user parked at Zurich sees a whole departure: an aircraft of the traffic starts
// standing on a stand of the demo's Zurich file, moves off it on the ground and
// ends in the air.
TEST(DemoData, ADepartureStartsAtAStandOfTheZurichFile) {
    pugi::xml_document zurich;
    ASSERT_TRUE(zurich.load_file((demoDataFolder() / "airports" / "learned" / "stock" / "LSZH.xml").c_str()));
    struct Stand {
        std::string id;
        double latitude, longitude, radiusMetres;
    };
    std::vector<Stand> stands;
    for (const pugi::xml_node pos : zurich.child("parkpositions").children("parkpos"))
        stands.push_back({pos.attribute("id").as_string(), pos.attribute("latitude").as_double(),
                          pos.attribute("longitude").as_double(), pos.attribute("radius").as_double()});
    ASSERT_FALSE(stands.empty());
    const auto metres = [](double lat1, double lon1, double lat2, double lon2) {
        const double north = (lat2 - lat1) * 111132.95;
        const double east = (lon2 - lon1) * 111132.95 * std::cos(lat1 * 3.14159265358979 / 180.0);
        return std::hypot(north, east);
    };
    std::vector<std::string> fromStands;
    for (const auto& track : demoScript().tracks) {
        const clv::FeedPoint& first = track.points.front();
        const bool flies = std::any_of(track.points.begin(), track.points.end(), [](const auto& p) { return !p.onGround; });
        if (!first.onGround || !flies || first.groundSpeed != 0.0) continue;
        for (const Stand& stand : stands) {
            // On the stand's point (the file's and the script's rounding), then away from it.
            if (metres(first.latitude, first.longitude, stand.latitude, stand.longitude) > 1.0) continue;
            const bool leaves = std::any_of(track.points.begin(), track.points.end(), [&](const auto& p) {
                return p.onGround && metres(p.latitude, p.longitude, stand.latitude, stand.longitude) > stand.radiusMetres;
            });
            if (leaves) fromStands.push_back(track.identity.callsign + " at " + stand.id);
        }
    }
    EXPECT_EQ(fromStands, std::vector<std::string>{"DLH1191 at E28"});
}

namespace {

// The settings, flags and lists a scan and a match touch, restored afterwards.
struct SavedScanState {
    bool scanLiveries = SCAN_LIVERIES.value;
    bool automatic = LIG_AUTOMATIC.value;
    bool prioritize = LIG_PRIORITIZE.value;
    int packageOrder = AI_PACKAGE_ORDER.value;
    int depth = MATCHING_DEPTH.value;
    bool random = RANDOM.value;
    bool msfs2020 = MSFS_2020.value;
    std::string install2020 = MSFS_INSTALL_PATH.value.get();
    std::string parametersPath = g_parametersXmlPath;
    bool light = LIGHT_AIRCRAFT.value;
    bool highPerf = HIGH_PERF_AIRCRAFT.value;
    bool helicopters = HELICOPTERS.value;
    std::array<std::string, 10> lfolders;

    static std::array<Parameter<std::string>*, 10> lfolderSettings() {
        return {&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
                &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9};
    }
    SavedScanState() {
        auto settings = lfolderSettings();
        for (std::size_t i = 0; i < settings.size(); ++i) lfolders[i] = settings[i]->value.get();
    }
    ~SavedScanState() {
        liveryList.clear();
        lf_clearScanLists();
        gf_clearLiveryIndex();
        similarModels.clear();
        airlineSimilarTypes.clear();
        dbase = clv::Dbase{};
        SCAN_LIVERIES.value = scanLiveries;
        LIG_AUTOMATIC.value = automatic;
        LIG_PRIORITIZE.value = prioritize;
        AI_PACKAGE_ORDER.value = packageOrder;
        MATCHING_DEPTH.value = depth;
        RANDOM.value = random;
        MSFS_2020.value = msfs2020;
        MSFS_INSTALL_PATH.value = install2020;
        g_parametersXmlPath = parametersPath;
        LIGHT_AIRCRAFT.value = light;
        HIGH_PERF_AIRCRAFT.value = highPerf;
        HELICOPTERS.value = helicopters;
        auto settings = lfolderSettings();
        for (std::size_t i = 0; i < settings.size(); ++i) settings[i]->value = lfolders[i];
        stopRequested = false;
    }
};

// The log of one test, closed before its folder goes.
struct ScopedLog {
    explicit ScopedLog(const fs::path& folder) { gf_openLog(folder); }
    ~ScopedLog() { gf_closeLog(); }
    ScopedLog(const ScopedLog&) = delete;
    ScopedLog& operator=(const ScopedLog&) = delete;
};

}  // namespace

// The data base and registration codes come from a download folder as scripts/run
// makes it; the scan walks a copy of the demo's Community folder.
TEST(DemoData, LiveriesScanAndMatchEveryAircraft) {
    SavedScanState saved;
    TempFolder root;
    CurrentFolder current(root.path());
    ScopedLog log(root.path());
    for (const fs::path* folder : gf_foldersCreatedAtStart()) fs::create_directories(*folder);
    g_parametersXmlPath = (root / "parameters.xml").string();

    const fs::path server = root / "server";
    fs::create_directories(server);
    gf_writeZipFile(server / "dbase.zip", "dbase.xml", gf_dbaseListingToXml(readFile(demoDataFolder() / "dbase_listing.txt")));
    gf_writeZipFile(server / "AIG-regcodes.zip", "AIG-regcodes.xml",
                    gf_aigListingToXml(readFile(demoDataFolder() / "aig_listing.txt")));
    ScopedEnv serverUrl("CALVORINTH_SERVER_URL", ("file://" + server.string() + "/").c_str());

    const fs::path install = root / "sim";
    fs::create_directories(install);
    fs::copy(demoDataFolder() / "Community", install / "Community", fs::copy_options::recursive);
    MSFS_2020.value = demoSetting("MSFS_2020") == "true";
    MSFS_INSTALL_PATH.value = install.string();
    SCAN_LIVERIES.value = true;
    LIG_AUTOMATIC.value = demoSetting("LIG_AUTOMATIC") == "true";
    LIG_PRIORITIZE.value = false;
    AI_PACKAGE_ORDER.value = 1;
    for (auto* setting : SavedScanState::lfolderSettings()) setting->value = std::string();
    MATCHING_DEPTH.value = 4;
    RANDOM.value = false;

    dbase = clv::Dbase{};
    ASSERT_TRUE(gf_readDbase());
    gf_initWorkerThrottle();
    ASSERT_EQ(gf_scanLiveries(), clv::LiveryScanResult::Scanned);

    // Every [fltsim] section became a livery, and the stand-in simulator, started
    // on the same folder, can create each of them.
    const std::vector<std::string> installed = clv::standin::gf_scanCommunityTitles(demoDataFolder() / "Community");
    lf_readLiveriesScanned();
    std::set<std::string> scanned;
    for (const auto& livery : liveryList) scanned.insert(livery.title);
    liveryList.clear();
    EXPECT_EQ(scanned, std::set<std::string>(installed.begin(), installed.end()));
    if (fs::exists(root / "output" / "errors")) {
        for (const auto& entry : fs::directory_iterator(root / "output" / "errors"))
            ADD_FAILURE() << "the scan reported " << entry.path().filename() << ":\n" << readFile(entry.path());
    }

    // The livery each aircraft of the traffic gets, and by which step: the demo's
    // airframes are bound to their liveries by atc_id or by the registration codes,
    // but for two that show the airline-and-type step.
    struct Expected {
        std::string title;
        clv::LivMatchStep step;
    };
    const std::map<std::string, Expected> expected{
        {"UAE87", {"Demo A380-800 Emirates A6-EOT", clv::LivMatchStep::Registration}},
        {"EZY85YJ", {"Demo A320 easyJet", clv::LivMatchStep::Registration}},
        {"SWR143", {"Demo A320 Swiss HB-JLT", clv::LivMatchStep::Registration}},
        {"RYR4CW", {"Demo B737-800 Ryanair", clv::LivMatchStep::AirlineType}},
        {"BAW713", {"Demo A321 British Airways", clv::LivMatchStep::Registration}},
        {"DLH1186", {"Demo A321 Lufthansa D-AIDA", clv::LivMatchStep::Registration}},
        {"DLH2370", {"Demo CRJ-900 Lufthansa CityLine D-ACNK", clv::LivMatchStep::Registration}},
        {"SWR14", {"Demo 777-300ER Swiss HB-JNB", clv::LivMatchStep::AirlineType}},
        {"SWR282", {"Demo A321 Swiss", clv::LivMatchStep::AirlineType}},
        {"EZY39QF", {"Demo A320 easyJet", clv::LivMatchStep::AirlineType}},
        {"DLH1191", {"Demo A320 Lufthansa", clv::LivMatchStep::AirlineType}},
    };
    const clv::FeedScript script = demoScript();
    ASSERT_EQ(script.tracks.size(), expected.size());
    DemoFeed demo;
    DemoFeed atAirport;  // ground traffic comes only with a park airport
    atAirport.parkAtUserAirport();
    for (const auto& track : script.tracks) {
        const std::string& callsign = track.identity.callsign;
        SCOPED_TRACE(callsign);
        ASSERT_TRUE(expected.contains(callsign)) << "no expectation for this aircraft";
        const clv::FeedPoint& first = track.points.front();
        const std::optional<clv::TrafficUpdate> update = (first.onGround ? atAirport : demo)
                                                             .feed(gf_trafficLine(track.identity, first, kStartTimestamp + first.time));
        ASSERT_TRUE(update.has_value());
        clv::AcData ac(update->identity);
        ac.airlineFromCallsign();
        const auto before = livMatchCounters;
        gf_matchLivery(ac);
        EXPECT_EQ(ac.liveryTitle, expected.at(callsign).title);
        const auto step = static_cast<std::size_t>(expected.at(callsign).step);
        EXPECT_EQ(livMatchCounters[step - 1], before[step - 1] + 1) << "matched by another step";
    }
}
