// Static parking and ground traffic end to end, with the demo's data: the user
// aircraft stands at the demo airport, which becomes the park airport; its stands
// fill with static aircraft in the stand-in simulator, one per half second, each
// on its stand and in a livery of its option; the demo's ground traffic moves
// along its scripted path half a minute behind the feed; and when the user
// aircraft is moved far away, the airport's aircraft leave the simulator.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "core/geodesy.h"
#include "product_run_support.h"
#include "support/eventually.h"
#include "traffic/end_to_end_support.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double kParkingPlayedLate = 30.0;
// The feed's lines of a ground aircraft come every 2 s (the demo script's "every").
constexpr double kParkingLineEvery = 2.0;
// A played aircraft comes to a stop at the feed's last position of it within this (metres).
constexpr double kAtEnd = 10.0;

double lf_metres(LatLon a, LatLon b) { return gf_distanceNm(a, b) * kMetresPerNm; }

// ---- the demo airport's stands, read from its listing ------------------------------

struct ListedOption {
    std::string airline;
    std::string type;
    std::string registration;
    std::vector<std::string> callsigns;
};

struct ListedStand {
    std::string name;
    LatLon at;
    double headingDeg = 0.0;
    std::vector<ListedOption> options;
};

// "key=value" of a listing line, "" when absent.
std::string lf_field(const std::string& line, const std::string& key) {
    std::istringstream words(line);
    for (std::string w; words >> w;) {
        if (w.starts_with(key + "=")) return w.substr(key.size() + 1);
    }
    return {};
}

std::vector<ListedStand> lf_demoStands() {
    std::ifstream in(gf_demoFolder() / "airports" / "LSZH_stands.txt");
    std::vector<ListedStand> stands;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "stand") {
            ListedStand s;
            double radius = 0.0;
            std::string kinds;
            words >> s.at.lat >> s.at.lon >> s.headingDeg >> radius >> kinds >> s.name;
            stands.push_back(s);
        } else if (kind == "opt" && !stands.empty()) {
            ListedOption o;
            o.airline = lf_field(line, "airl");
            o.type = lf_field(line, "type");
            o.registration = lf_field(line, "reg");
            std::string cs = lf_field(line, "cs");
            for (std::size_t colon; (colon = cs.find(':')) != std::string::npos; cs.erase(0, colon + 1)) {
                o.callsigns.push_back(cs.substr(0, colon));
            }
            if (!cs.empty()) o.callsigns.push_back(cs);
            stands.back().options.push_back(o);
        }
    }
    return stands;
}

// Airline and type of a registration, from the demo's reference data listing.
std::map<std::string, std::pair<std::string, std::string>> lf_demoRegistrations() {
    std::ifstream in(gf_demoFolder() / "dbase_listing.txt");
    std::map<std::string, std::pair<std::string, std::string>> records;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind;
        std::string record;
        if (!(words >> kind >> record) || kind != "dbase") continue;
        const auto a = record.find(';');
        const auto b = record.find(';', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        records[record.substr(0, a)] = {record.substr(a + 1, b - a - 1), record.substr(b + 1)};
    }
    return records;
}

// The installed demo liveries by airline and type: every [fltsim.N] title of the
// demo's aircraft.cfg files with the file's type designator.
std::map<std::pair<std::string, std::string>, std::set<std::string>> lf_demoLiveries() {
    std::map<std::pair<std::string, std::string>, std::set<std::string>> liveries;
    const auto unquoted = [](std::string v) {
        v.erase(0, v.find_first_not_of(" \t="));
        if (v.size() >= 2 && v.front() == '"') v = v.substr(1, v.find('"', 1) - 1);
        return v;
    };
    for (const auto& entry : fs::recursive_directory_iterator(gf_demoFolder() / "Community")) {
        if (entry.path().filename() != "aircraft.cfg") continue;
        std::ifstream in(entry.path());
        std::string type;
        std::vector<std::pair<std::string, std::string>> titles;  // title, airline
        for (std::string line; std::getline(in, line);) {
            if (line.starts_with("icao_type_designator")) type = unquoted(line.substr(line.find('=')));
            if (line.starts_with("title")) titles.push_back({unquoted(line.substr(line.find('='))), ""});
            if (line.starts_with("icao_airline") && !titles.empty()) {
                titles.back().second = unquoted(line.substr(line.find('=')));
            }
        }
        for (const auto& [title, airline] : titles) liveries[{airline, type}].insert(title);
    }
    return liveries;
}

// ---- the demo's ground traffic ----------------------------------------------------

struct GroundTrack {
    std::string callsign;
    std::string aircraftLine;
    std::vector<std::pair<double, LatLon>> points;  // feed seconds from the script's start
};

// The ground movements of three aircraft of the demo's track script, each over a
// stretch of its own (script seconds): push back and taxi-out, a taxi with a
// stop, a taxi-in after landing.
const std::map<std::string, std::pair<double, double>>& lf_stretches() {
    static const std::map<std::string, std::pair<double, double>> stretches{
        {"SWR282", {60.0, 187.0}}, {"EZY39QF", {150.0, 259.0}}, {"SWR143", {643.0, 724.0}}};
    return stretches;
}

// Those stretches from the demo's track script, each moved to begin at the feed's start.
std::vector<GroundTrack> lf_demoGroundTracks() {
    const auto& stretches = lf_stretches();
    std::ifstream in(gf_demoFolder() / "traffic.trk");
    std::vector<GroundTrack> tracks;
    GroundTrack* current = nullptr;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("aircraft ")) {
            current = nullptr;
            const std::string callsign = lf_field(line, "callsign");
            if (stretches.contains(callsign)) {
                tracks.push_back(GroundTrack{callsign, line, {}});
                current = &tracks.back();
            }
            continue;
        }
        if (current == nullptr || line.empty() || line.front() != ' ') continue;
        std::istringstream words(line);
        double t = 0.0;
        LatLon p;
        if (!(words >> t >> p.lat >> p.lon)) continue;
        const auto [from, to] = stretches.at(current->callsign);
        if (t >= from && t <= to) current->points.push_back({t - from, p});
    }
    return tracks;
}

// The script for the feed: the stretches above, every point line as the demo has it
// but with the moved time.
std::string lf_groundScript(const std::vector<GroundTrack>& tracks) {
    std::ifstream in(gf_demoFolder() / "traffic.trk");
    std::map<std::string, const GroundTrack*> byCallsign;
    for (const GroundTrack& t : tracks) byCallsign[t.callsign] = &t;
    const auto& stretches = lf_stretches();
    std::string script = fmt::format("every {}\n", kParkingLineEvery);
    std::string callsign;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("aircraft ")) {
            callsign = lf_field(line, "callsign");
            if (byCallsign.contains(callsign)) script += line + "\n";
            continue;
        }
        if (!byCallsign.contains(callsign) || line.empty() || line.front() != ' ') continue;
        std::istringstream words(line);
        double t = 0.0;
        if (!(words >> t)) continue;
        const auto [from, to] = stretches.at(callsign);
        if (t < from || t > to) continue;
        std::string rest;
        std::getline(words, rest);
        script += fmt::format("  {:.0f}{}\n", t - from, rest.substr(0, rest.find('#')));
    }
    return script;
}

// Where the script has the aircraft at feed time t: straight between its points.
LatLon lf_positionAt(const GroundTrack& track, double t) {
    for (std::size_t i = 1; i < track.points.size(); ++i) {
        const auto& [t0, p0] = track.points[i - 1];
        const auto& [t1, p1] = track.points[i];
        if (t > t1) continue;
        const double f = t1 > t0 ? (t - t0) / (t1 - t0) : 1.0;
        return LatLon{p0.lat + (p1.lat - p0.lat) * f, p0.lon + (p1.lon - p0.lon) * f};
    }
    return track.points.back().second;
}

std::vector<LatLon> lf_corners(const GroundTrack& track) {
    std::vector<LatLon> corners;
    for (const auto& [t, p] : track.points) corners.push_back(p);
    return corners;
}

class ParkingEndToEnd : public DemoDataRun {
protected:
    // The demo airport as the demo run has it: its file in the download folder's
    // stock archive, and the handmade learned file that overrules it. The learned
    // file's parking settings come with it; here its week setting is on, so that
    // the options of every weekday count and the plan does not hang on the day.
    void installDemoAirport() {
        const fs::path demoFile = gf_demoFolder() / "airports" / "learned" / "stock" / "LSZH.xml";
        fs::create_directories(folder / "server" / "MSFS" / "archive" / "stock");
        fs::copy_file(demoFile, folder / "server" / "MSFS" / "archive" / "stock" / "LSZH.xml");
        for (const char* sub : {"ra_vudovodo", "my_thirdparty", "learned/stock", "learned/simaddon", "learned/thirdparty"}) {
            fs::create_directories(work / "airports" / sub);
        }
        std::string text = gf_readIfThere(demoFile);
        const std::string week = "<parameter name=\"WEEK\" value=\"false\" />";
        const auto at = text.find(week);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, week.size(), "<parameter name=\"WEEK\" value=\"true\" />");
        std::ofstream(work / "airports" / "learned" / "stock" / "LSZH.xml") << text;
    }
};

TEST_F(ParkingEndToEnd, TheDemoAirportFillsWithStaticAircraftTakesItsGroundTrafficAndEmptiesWhenTheUserLeaves) {
    installDemoAirport();
    ASSERT_FALSE(HasFatalFailure());
    const json scenario = json::parse(gf_readIfThere(gf_demoFolder() / "simstandin_scenario.json"));
    const LatLon user{scenario["user"]["lat"].get<double>(), scenario["user"]["lon"].get<double>()};
    const Clock::time_point beforeStandIn = Clock::now();
    ChildProcess sim;
    startDemoSimStandIn(sim, gf_demoFolder() / "simstandin_scenario.json");
    ASSERT_FALSE(HasFatalFailure());

    const FeedPorts ports = freeFeedPorts();
    ASSERT_TRUE(ports.complete());
    ChildProcess link;
    startFeedLink(link, ports, true);
    writeDemoParameters(ports.tcp);
    ChildProcess program;
    startProgram(program, ports.traffic, ports.qnh);
    ChildProcess traffic;
    const auto everything = [&] {
        return report({{"program", &program}, {"simstandin", &sim}, {"feedstandin traffic", &traffic}});
    };
    ControlLink control(simControlPort);
    ASSERT_TRUE(control.connected());

    // The demo airport becomes the park airport, its file is read and planned.
    ASSERT_TRUE(gf_waitUntil([&] { return logHas("The park airport is") || !program.running(); }, 2 * kStepLimit))
        << everything();
    EXPECT_TRUE(logHas("The park airport is LSZH")) << everything();
    // Its ground traffic is taken from now on: the demo's ground movements begin.
    const std::vector<GroundTrack> tracks = lf_demoGroundTracks();
    ASSERT_EQ(tracks.size(), 3u);
    folder.write("ground.trk", lf_groundScript(tracks));
    const Clock::time_point feedStart = Clock::now();
    traffic.start(gf_toolPath("feedstandin"),
                  {"--script", (folder / "ground.trk").string(), "--traffic-port", std::to_string(ports.traffic)},
                  folder.path(), {}, folder / "logs" / "feedstandin_traffic.txt");

    std::size_t planned = 0;
    ASSERT_TRUE(gf_waitUntil(
        [&] {
            const std::string text = log();
            const auto at = text.find(" positions (");
            if (at == std::string::npos) return !program.running() || text.find("no parking positions found") != std::string::npos;
            const auto lineStart = text.rfind('\n', at);
            planned = std::stoul(text.substr(lineStart + 1, at - lineStart - 1));
            return true;
        },
        2 * kStepLimit))
        << everything();
    // The file's figures as the panel gets them (the window of another process is
    // not read here; the panel's figures are the reader's report in the log).
    EXPECT_TRUE(logHas("for Zurich")) << everything();
    // The stands of the demo airport's listing, from which its file is made.
    std::size_t standCount = 0;
    std::istringstream listing(gf_readIfThere(gf_demoFolder() / "airports" / "LSZH_stands.txt"));
    for (std::string line; std::getline(listing, line);) standCount += line.starts_with("stand ") ? 1 : 0;
    ASSERT_GE(standCount, 40u);
    EXPECT_TRUE(logHas(fmt::format("{:24}: {}", "num_parkpos", standCount))) << everything();
    // 30 % of the stands (rounded down), each with a real option in the last 24 hours of the week.
    EXPECT_EQ(planned, standCount * 3 / 10) << everything();

    // The static aircraft in the stand-in: callsigns marked with '*'.
    const auto statics = [&] {
        std::vector<json> found;
        const json answer = control.command({{"cmd", "objects"}, {"ai_only", true}});
        if (!answer.is_object() || !answer.value("ok", false)) return found;
        for (const json& o : answer["objects"]) {
            if (o.value("atc_id", std::string()).ends_with("*")) found.push_back(o);
        }
        return found;
    };
    // Each planned aircraft is placed ("<stand> : <callsign> parked"), or passed
    // over when no livery of its airline and type is installed.
    const auto countAfterPlan = [&](const std::string& text) {
        const std::string all = log();
        std::size_t n = 0;
        auto at = all.find(" positions (");
        while (at != std::string::npos && (at = all.find(text, at + 1)) != std::string::npos) ++n;
        return n;
    };
    std::size_t parked = 0;
    std::size_t passedOver = 0;
    ASSERT_TRUE(gf_waitUntil(
        [&] {
            parked = countAfterPlan(" parked\n");
            passedOver = countAfterPlan("no livery match");
            return parked + passedOver >= planned || !program.running();
        },
        kStepLimit))
        << everything();
    // The demo has no A330 and no 777 freighter: the options of E20 and W1 find no livery.
    EXPECT_EQ(passedOver, 2u) << everything();
    std::vector<json> placed;
    ASSERT_TRUE(gf_waitUntil(
        [&] {
            placed = statics();
            return placed.size() >= parked || !program.running();
        },
        kStepLimit))
        << placed.size() << everything();
    ASSERT_EQ(placed.size(), parked) << everything();

    // One per half second: the times the stand-in took their creations.
    const json creations = control.command({{"cmd", "log"}, {"call", "SimConnect_AICreateNonATCAircraft"}});
    std::vector<double> createdAt;
    for (const json& e : creations["entries"]) {
        if (e.value("tail_number", std::string()).ends_with("*")) createdAt.push_back(e["t"].get<double>());
    }
    ASSERT_EQ(createdAt.size(), parked) << creations.dump();
    std::sort(createdAt.begin(), createdAt.end());
    for (std::size_t i = 1; i < createdAt.size(); ++i) {
        // 50 ticks of 10 ms; a tick may come a little late or early on a busy machine.
        EXPECT_GE(createdAt[i] - createdAt[i - 1], 0.4) << "creations " << i - 1 << " and " << i;
    }
    const double meanGap = (createdAt.back() - createdAt.front()) / static_cast<double>(createdAt.size() - 1);
    EXPECT_GE(meanGap, 0.45);
    EXPECT_LE(meanGap, 1.0);

    // Each on a stand of the file, within 1 m of it and on its heading, one per
    // stand, in a livery of its option's airline and type where one is installed.
    const std::vector<ListedStand> stands = lf_demoStands();
    const auto registrations = lf_demoRegistrations();
    const auto liveries = lf_demoLiveries();
    std::set<std::string> standsUsed;
    for (const json& o : placed) {
        const LatLon at{o["lat"].get<double>(), o["lon"].get<double>()};
        const std::string callsign = o["atc_id"].get<std::string>();
        SCOPED_TRACE(callsign);
        const auto nearest = std::min_element(stands.begin(), stands.end(), [&](const ListedStand& a, const ListedStand& b) {
            return lf_metres(a.at, at) < lf_metres(b.at, at);
        });
        ASSERT_NE(nearest, stands.end());
        EXPECT_LE(lf_metres(nearest->at, at), 1.0) << nearest->name;
        EXPECT_LE(std::abs(std::remainder(o["heading_deg"].get<double>() - nearest->headingDeg, 360.0)), 1.0)
            << nearest->name;
        EXPECT_TRUE(standsUsed.insert(nearest->name).second) << nearest->name << " twice";
        // Its option: the one whose callsign it carries, or, without one, whose airline begins it.
        const std::string bare = callsign.substr(0, callsign.size() - 1);
        std::set<std::string> titles;
        bool matched = false;
        for (const ListedOption& option : nearest->options) {
            std::string airline = option.airline;
            std::string type = option.type;
            if (const auto r = registrations.find(option.registration); r != registrations.end()) {
                std::tie(airline, type) = r->second;
            }
            const bool byCallsign = std::find(option.callsigns.begin(), option.callsigns.end(), bare) != option.callsigns.end();
            const bool bySerial = option.callsigns.empty() && !airline.empty() && bare.starts_with(airline);
            if (!byCallsign && !bySerial) continue;
            matched = true;
            if (const auto l = liveries.find({airline, type}); l != liveries.end()) titles.insert(l->second.begin(), l->second.end());
        }
        EXPECT_TRUE(matched) << "no option of " << nearest->name << " for it";
        if (!titles.empty()) {
            EXPECT_TRUE(titles.contains(o["title"].get<std::string>())) << o["title"];
        }
    }

    // The ground traffic: each aircraft along its scripted path, reaching its end
    // half a minute after the feed had it there.
    const auto historyOf = [&](const std::string& callsign) -> json {
        const json answer = control.command({{"cmd", "history"}});
        if (!answer.is_object() || !answer.value("ok", false)) return json();
        for (const json& track : answer["tracks"]) {
            if (track.value("atc_id", std::string()) == callsign) return track;
        }
        return json();
    };
    const double standInOffset = std::chrono::duration<double>(feedStart - beforeStandIn).count();
    for (const GroundTrack& track : tracks) {
        SCOPED_TRACE(track.callsign);
        const std::vector<LatLon> corners = lf_corners(track);
        // The feed's last line of it and where it had it then (interpolated as the feed does).
        const double lastLineSeconds = std::floor(track.points.back().first / kParkingLineEvery) * kParkingLineEvery;
        const LatLon lastLine = lf_positionAt(track, lastLineSeconds);
        // When the feed first had it there (a track may end standing).
        double endFeedSeconds = lastLineSeconds;
        for (double t = 0.0; t <= lastLineSeconds; t += 0.5) {
            if (lf_metres(lf_positionAt(track, t), lastLine) < kAtEnd) {
                endFeedSeconds = t;
                break;
            }
        }
        // The feed time (since feedStart) at which the stand-in first had it at the end.
        std::optional<double> reachedEnd;
        json history;
        gf_waitUntil(
            [&] {
                history = historyOf(track.callsign);
                if (history.is_object()) {
                    for (const json& p : history["points"]) {
                        if (lf_metres(lastLine, LatLon{p["lat"].get<double>(), p["lon"].get<double>()}) < kAtEnd) {
                            reachedEnd = p["t"].get<double>() - standInOffset;
                            break;
                        }
                    }
                }
                return reachedEnd.has_value() || !program.running();
            },
            std::chrono::seconds(static_cast<int>(endFeedSeconds + kParkingPlayedLate + 60.0)));
        ASSERT_TRUE(history.is_object()) << "never in the simulator" << everything();
        const auto sampled = [&] {
            std::string text;
            const json& points = history["points"];
            for (std::size_t i = 0; i < points.size(); i += std::max<std::size_t>(1, points.size() / 40)) {
                const json& p = points[i];
                text += fmt::format("t={:.1f} {:.6f},{:.6f} hdg {:.0f}; ", p["t"].get<double>() - standInOffset,
                                    p["lat"].get<double>(), p["lon"].get<double>(), p["heading_deg"].get<double>());
            }
            return text;
        };
        ASSERT_TRUE(reachedEnd.has_value()) << sampled() << everything();
        double worst = 0.0;
        for (const json& p : history["points"]) {
            worst = std::max(worst, gf_metresOffPath(corners, LatLon{p["lat"].get<double>(), p["lon"].get<double>()}));
            EXPECT_TRUE(p["on_ground"].get<bool>());
        }
        EXPECT_LE(worst, 15.0);
        EXPECT_GE(*reachedEnd, endFeedSeconds + kParkingPlayedLate - kParkingLineEvery) << "ahead of the 30 s delay";
        EXPECT_LE(*reachedEnd, endFeedSeconds + kParkingPlayedLate + kParkingPlayedLate + kParkingLineEvery) << "far behind it";
    }

    // The map of the run, kept as an artifact of the test.
    const fs::path artifacts = fs::current_path() / "artifacts";
    fs::create_directories(artifacts);
    const fs::path map = artifacts / "parking_end_to_end_map.svg";
    const std::string drawMap = fmt::format("'{}' map --out '{}' --control-port {} --lat {} --lon {} --radius-nm 1.5",
                                            gf_toolPath("simstandin").string(), map.string(), simControlPort,
                                            user.lat, user.lon);
    EXPECT_EQ(std::system(drawMap.c_str()), 0) << drawMap;
    EXPECT_TRUE(fs::exists(map) && fs::file_size(map) > 0);

    // The user aircraft flies off, 100 nm north, in steps of 8 nm, one per data
    // request (a jump of more than 10 nm is a new flight to the program, which
    // ends the run): the airport falls out of sight and its aircraft go.
    for (int step = 1; step <= 13; ++step) {
        const double nm = std::min(100.0, 8.0 * step);
        const json moved = control.command({{"cmd", "set_user"},
                                            {"lat", user.lat + nm / 60.0},
                                            {"lon", user.lon},
                                            {"agl_ft", 5000},
                                            {"on_ground", false}});
        ASSERT_TRUE(moved.value("ok", false)) << moved.dump();
        std::this_thread::sleep_for(2s);
    }
    const bool emptied = gf_waitUntil(
        [&] {
            const json answer = control.command({{"cmd", "objects"}, {"ai_only", true}});
            if (!answer.is_object() || !answer.value("ok", false)) return !program.running();
            return answer["objects"].empty() || !program.running();
        },
        kStepLimit);
    EXPECT_TRUE(emptied) << control.command({{"cmd", "objects"}, {"ai_only", true}}).dump() << everything();
    EXPECT_TRUE(logHas("LSZH (ZRH) is out of sight")) << everything();
    EXPECT_TRUE(program.running()) << everything();

    for (ChildProcess* child : {&traffic, &program, &link, &sim}) {
        child->signal(SIGTERM);
        EXPECT_TRUE(child->waitForExit(kExitLimit).has_value()) << everything();
    }
}

}  // namespace
}  // namespace clv::test
