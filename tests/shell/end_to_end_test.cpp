// The main road of a run, end to end: live traffic from the stand-in RealTraffic
// becomes AI aircraft in the stand-in simulator, one after the other, each where
// the feed had it half a minute earlier, counted on the status panel, and leaves
// it when the feed falls silent.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "core/geodesy.h"
#include "core/parameters.h"
#include "product_run_support.h"
#include "support/eventually.h"
#include "window_capture.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double kEndToEndFeetPerNm = 1852.0 / 0.3048;
constexpr double kUserLat = kZurichUserLat;
constexpr double kUserLon = kZurichUserLon;

// Each aircraft flies a straight line at constant speed; the feed sends a line
// for it every kLineEvery seconds, interpolated between the two ends.
constexpr double kTrackSeconds = 240.0;
constexpr double kGroundSpeedKt = 180.0;
constexpr double kLineEvery = 1.0;
// The program plays the feed this much behind it.
constexpr double kPlayedLate = 30.0;
// The design creates one aircraft per 50 ticks of 10 ms; where the stand-in takes
// the calls, a tick that came a little late or early may show a little less.
constexpr double kMinCreationGap = 0.4;


struct Aircraft {
    std::string line;   // the aircraft line of the track script
    std::string title;  // the demo livery its identity matches
    LatLon start;
    LatLon end;
    double altitudeFt = 0.0;
};

// Five demo airframes, each bound to its livery by its registration. They fly
// tangents to a circle of 8 nm around the user aircraft: 8 to 14.4 nm away.
std::vector<Aircraft> lf_aircraft() {
    const std::vector<std::pair<std::string, std::string>> identities{
        {"hexid=9005612 callsign=UAE87 type=A388 reg=A6-EOT airline=UAE from=OMDB to=LSZH category=A5",
         "Demo A380-800 Emirates A6-EOT"},
        {"hexid=4221107 callsign=EZY85YJ type=A320 reg=G-EZTH airline=EZY from=LSZH to=EGKK category=A3",
         "Demo A320 easyJet"},
        {"hexid=4934004 callsign=SWR143 type=A320 reg=HB-JLT airline=SWR from=LFPG to=LSZH category=A3",
         "Demo A320 Swiss HB-JLT"},
        {"hexid=4213189 callsign=BAW713 type=A321 reg=G-EUXC airline=BAW from=LSZH to=EGLL category=A3",
         "Demo A321 British Airways"},
        {"hexid=3959317 callsign=DLH1186 type=A321 reg=D-AIDA airline=DLH from=EDDF to=LSZH category=A3",
         "Demo A321 Lufthansa D-AIDA"},
    };
    const double flownNm = kGroundSpeedKt * kTrackSeconds / 3600.0;
    std::vector<Aircraft> aircraft;
    for (std::size_t i = 0; i < identities.size(); ++i) {
        const double out = static_cast<double>(i) * 2.0 * std::numbers::pi / static_cast<double>(identities.size());
        Aircraft a;
        a.line = "aircraft " + identities[i].first;
        a.title = identities[i].second;
        a.start = gf_destination(LatLon{kUserLat, kUserLon}, out, 8.0 * kEndToEndFeetPerNm);
        a.end = gf_destination(a.start, out + std::numbers::pi / 2.0, flownNm * kEndToEndFeetPerNm);
        a.altitudeFt = 4000.0 + 1000.0 * static_cast<double>(i);
        aircraft.push_back(a);
    }
    return aircraft;
}

std::string lf_trackScript(const std::vector<Aircraft>& aircraft) {
    std::string text = fmt::format("every {}\n", kLineEvery);
    for (const Aircraft& a : aircraft) {
        const double track = gf_bearing(a.start, a.end) * 180.0 / std::numbers::pi;
        const double trackDeg = track < 0 ? track + 360.0 : track;
        text += a.line + "\n";
        for (const auto& [time, at] : {std::pair{0.0, a.start}, std::pair{kTrackSeconds, a.end}}) {
            text += fmt::format("  {:.0f} {:.6f} {:.6f} {:.0f} {:.0f} {:.1f} 0 air\n", time, at.lat, at.lon, a.altitudeFt,
                                kGroundSpeedKt, trackDeg);
        }
    }
    return text;
}

// Where the feed had the aircraft `t` seconds after its start (as the feed
// interpolates: straight in latitude and longitude).
LatLon lf_feedPosition(const Aircraft& a, double t) {
    const double f = t / kTrackSeconds;
    return LatLon{a.start.lat + (a.end.lat - a.start.lat) * f, a.start.lon + (a.end.lon - a.start.lon) * f};
}

// An AI object as first seen in the stand-in.
struct Seen {
    Clock::time_point at;
    nlohmann::json object;
};

// ---- the status panel's live count, read off the screen ------------------------------

// One glyph of a text line: its columns of ink (the green level of each pixel).
using Glyph = std::vector<std::vector<int>>;

// The glyphs of the band (x0..x1, y0..y1) of green text on black, left to right,
// split at the columns without ink.
std::vector<Glyph> lf_glyphs(const Image& image, int x0, int x1, int y0, int y1) {
    std::vector<Glyph> glyphs;
    Glyph current;
    for (int x = x0; x < x1 && x < image.width; ++x) {
        std::vector<int> column;
        bool ink = false;
        for (int y = y0; y < y1; ++y) {
            const platform::Rgb c = image.at(x, y);
            const int level = c.r < 100 && c.b < 100 ? c.g : 0;
            column.push_back(level);
            ink = ink || level > 30;
        }
        if (ink) {
            current.push_back(column);
        } else if (!current.empty()) {
            glyphs.push_back(current);
            current.clear();
        }
    }
    if (!current.empty()) glyphs.push_back(current);
    return glyphs;
}

// The status panel shows "qnh: {:4}" (row 63) and "live: {:3}" (row 91), both at
// x 642 in the same font: the live count's last digit is read by comparing it with
// the digits of the known QNH. Nothing while the live text is not shown or its
// digit is none of the QNH's.
std::optional<int> lf_shownLiveCount(const Image& image, const std::string& qnhDigits) {
    if (image.width < 880 || image.height < 112) return std::nullopt;
    const std::vector<Glyph> qnh = lf_glyphs(image, 640, 879, 63, 84);
    const std::vector<Glyph> live = lf_glyphs(image, 640, 879, 91, 112);
    // The labels come first ("qnh:" and "live:", whose letters may touch).
    if (qnh.size() < qnhDigits.size() + 1 || live.size() < 2) return std::nullopt;
    const std::size_t first = qnh.size() - qnhDigits.size();
    for (std::size_t i = 0; i < qnhDigits.size(); ++i) {
        if (qnh[first + i] == live.back()) return qnhDigits[i] - '0';
    }
    return std::nullopt;
}

class EndToEnd : public DemoDataRun {};

// One run shows the main road and the status panel's count of it: the panel reads
// 0 before any traffic, the number of aircraft in the simulator once they are
// created, and 0 again when they have left.
TEST_F(EndToEnd, LiveTrafficBecomesAiAircraftOneAfterTheOtherShownOnThePanelAndLeavesWhenTheFeedStops) {
    ChildProcess sim;
    startDemoSimStandIn(sim, writeZurichScenario());
    ASSERT_FALSE(HasFatalFailure());

    const FeedPorts ports = freeFeedPorts();
    ASSERT_TRUE(ports.complete());
    // RealTraffic's link and weather in one stand-in, its traffic in another that can be stopped alone.
    // A QNH whose digits are every count the panel shows here: 0 and the five aircraft.
    const std::string qnhDigits = "1025";
    ChildProcess link;
    startFeedLink(link, ports, true, qnhDigits);

    writeDemoParameters(ports.tcp);
    ChildProcess program;
    startProgram(program, ports.traffic, ports.qnh);
    ChildProcess traffic;
    const auto everything = [&] {
        return report({{"program", &program}, {"simstandin", &sim},
                       {"feedstandin link", &link}, {"feedstandin traffic", &traffic}});
    };

    ControlLink control(simControlPort);
    ASSERT_TRUE(control.connected());
    const auto aiObjects = [&] { return control.command({{"cmd", "objects"}, {"ai_only", true}}); };
    const auto inSimulator = [&]() -> std::optional<int> {
        const nlohmann::json answer = aiObjects();
        if (!answer.is_object() || !answer.value("ok", false)) return std::nullopt;
        return static_cast<int>(answer["objects"].size());
    };
    gf_ignoreXErrors();
    Display* screen = XOpenDisplay(display.c_str());
    ASSERT_NE(screen, nullptr) << display;
    const auto shown = [&]() -> std::optional<int> {
        const auto window = gf_findWindowNamed(screen, "Calvorinth", program.pid());
        if (!window) return std::nullopt;
        return lf_shownLiveCount(gf_captureWindow(screen, *window), qnhDigits);
    };
    // The panel and the simulator agree on `n` (the simulator's count read before and after the screen).
    const auto agreeOn = [&](int n) {
        return gf_waitUntil(
            [&] {
                if (!program.running()) return true;
                const auto before = inSimulator();
                const auto onScreen = shown();
                return before == n && onScreen == n && inSimulator() == n;
            },
            kStepLimit);
    };

    // Connected and receiving, before any traffic: 0.
    ASSERT_TRUE(agreeOn(0)) << "shown: " << shown().value_or(-1) << everything();
    ASSERT_TRUE(program.running()) << everything();

    const std::vector<Aircraft> aircraft = lf_aircraft();
    folder.write("traffic.trk", lf_trackScript(aircraft));
    // The feed stamps its lines from its start.
    const Clock::time_point feedStart = Clock::now();
    traffic.start(gf_toolPath("feedstandin"),
                  {"--script", (folder / "traffic.trk").string(), "--traffic-port", std::to_string(ports.traffic)},
                  folder.path(), {}, folder / "logs" / "feedstandin_traffic.txt");

    // Each object as the stand-in first shows it; polled often, so that the time
    // of first sight is the time of creation within a few milliseconds.
    std::map<std::uint32_t, Seen> seen;
    const bool allCreated = eventually(
        [&] {
            const nlohmann::json answer = aiObjects();
            if (answer.is_object() && answer.value("ok", false)) {
                const auto now = Clock::now();
                for (const auto& object : answer["objects"]) seen.try_emplace(object["id"].get<std::uint32_t>(), Seen{now, object});
            }
            return seen.size() >= aircraft.size() || !program.running() || !sim.running();
        },
        kStepLimit, 5ms);
    ASSERT_TRUE(allCreated) << "created: " << seen.size() << everything();
    ASSERT_EQ(seen.size(), aircraft.size()) << everything();

    // The five liveries, one each.
    std::map<std::string, const Seen*> byTitle;
    for (const auto& [id, s] : seen) byTitle[s.object.value("title", std::string())] = &s;
    for (const Aircraft& a : aircraft) EXPECT_TRUE(byTitle.contains(a.title)) << "no object with " << a.title << everything();
    ASSERT_EQ(byTitle.size(), aircraft.size()) << everything();

    // One after the other, not in a burst: the times the stand-in took their
    // creations, so that how often this test polls does not enter the verdict.
    const nlohmann::json creations = control.command({{"cmd", "log"}, {"call", "SimConnect_AICreateNonATCAircraft"}});
    std::vector<double> created;
    for (const nlohmann::json& e : creations["entries"]) created.push_back(e["t"].get<double>());
    ASSERT_EQ(created.size(), aircraft.size()) << creations.dump();
    std::sort(created.begin(), created.end());
    for (std::size_t i = 1; i < created.size(); ++i) {
        EXPECT_GE(created[i] - created[i - 1], kMinCreationGap) << "creations " << i - 1 << " and " << i;
    }

    // Each where the feed had it when one of its lines came, and that line
    // came half a minute before the creation. The lines of a track are
    // kLineEvery apart, so the line is the one of the nearest whole second; it
    // must lie well within half the distance flown between two lines.
    const double lineSpacingNm = kGroundSpeedKt * kLineEvery / 3600.0;
    for (const Aircraft& a : aircraft) {
        SCOPED_TRACE(a.title);
        const auto found = byTitle.find(a.title);
        if (found == byTitle.end()) continue;
        const Seen& s = *found->second;
        const LatLon at{s.object["lat"].get<double>(), s.object["lon"].get<double>()};
        double lineTime = 0.0;
        double bestNm = 1e9;
        for (double t = 0.0; t <= kTrackSeconds; t += kLineEvery) {
            const double nm = gf_distanceNm(at, lf_feedPosition(a, t));
            if (nm < bestNm) {
                bestNm = nm;
                lineTime = t;
            }
        }
        EXPECT_LT(bestNm, lineSpacingNm / 4.0) << fmt::format("at {:.6f},{:.6f}, nearest line at {} s", at.lat, at.lon, lineTime);
        // The line was sent at feedStart + lineTime (the feed started a moment
        // after feedStart). It is due kPlayedLate later, counted in engine ticks
        // of nominally 10 ms, so give or take a line interval; the creation may
        // also wait up to five creation gaps behind the others, with some room
        // for a loaded machine.
        const double late = std::chrono::duration<double>(s.at - feedStart).count() - lineTime;
        EXPECT_GE(late, kPlayedLate - 2.0 * kLineEvery) << "created long before its line was due";
        EXPECT_LE(late, kPlayedLate + 10.0) << "created from a line long past";
        EXPECT_NEAR(s.object["alt_ft"].get<double>(), a.altitudeFt, 500.0);
        EXPECT_FALSE(s.object.value("on_ground", true));
    }

    // The panel counts them as the simulator has them.
    EXPECT_TRUE(agreeOn(static_cast<int>(aircraft.size())))
        << "in the simulator: " << inSimulator().value_or(-1) << ", shown: " << shown().value_or(-1) << everything();

    // The feed falls silent: once the last lines are played, the aircraft leave,
    // and the panel's count goes back to 0 with them.
    traffic.signal(SIGTERM);
    EXPECT_TRUE(traffic.waitForExit(kExitLimit).has_value());
    const bool allRemoved = gf_waitUntil(
        [&] {
            const nlohmann::json answer = aiObjects();
            return (answer.is_object() && answer.value("ok", false) && answer["objects"].empty()) || !program.running();
        },
        kStepLimit);
    EXPECT_TRUE(allRemoved) << aiObjects().dump() << everything();
    EXPECT_TRUE(agreeOn(0)) << "in the simulator: " << inSimulator().value_or(-1)
                            << ", shown: " << shown().value_or(-1) << everything();
    EXPECT_TRUE(program.running()) << everything();
    XCloseDisplay(screen);
    const nlohmann::json removals = control.command({{"cmd", "log"}, {"call", "SimConnect_AIRemoveObject"}});
    EXPECT_NE(removals.dump().find("SimConnect_AIRemoveObject"), std::string::npos) << removals;

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(kExitLimit), std::optional<int>(0)) << everything();

    for (ChildProcess* standIn : {&link, &sim}) {
        standIn->signal(SIGTERM);
        EXPECT_EQ(standIn->waitForExit(kExitLimit), std::optional<int>(0));
    }
}

// A user may tick every box of the options panel; none of them may end a run.
// "objectids" in MSFS 2020 mode has the main loop write the object-id listing
// every 62nd data step, a minute into the run.
TEST_F(EndToEnd, EveryBoxOfTheOptionsPanelTickedKeepsTheRunGoing) {
    ChildProcess sim;
    startDemoSimStandIn(sim, writeZurichScenario());
    ASSERT_FALSE(HasFatalFailure());
    const FeedPorts ports = freeFeedPorts();
    ASSERT_TRUE(ports.complete());

    std::map<std::string, std::string> settings{{"MSFS_INSTALL_PATH", (folder / "demo_sim").string()},
                                                {"PORT_NUMBER", std::to_string(ports.tcp)},
                                                {"LATERAL_RANGE", "30"},
                                                {"RANDOM", "false"}};
    int boxes = 0;
    for (const ControlPlacement& placement : gf_controlLayout()) {
        if (const auto* box = std::get_if<ControlParameter<bool>*>(&placement.target)) {
            settings[(*box)->name] = "true";
            ++boxes;
        }
    }
    ASSERT_EQ(boxes, 25);
    ASSERT_EQ(settings.at("CALLSIGN_OBJECTIDS"), "true");
    ASSERT_EQ(settings.at("MSFS_2020"), "true");
    writeParameters(settings);
    ChildProcess program;
    startProgram(program, ports.traffic, ports.qnh);

    // With AEROWINX on there is no TCP link: weather and traffic come over UDP only.
    const std::vector<Aircraft> aircraft = lf_aircraft();
    folder.write("traffic.trk", lf_trackScript(aircraft));
    ChildProcess traffic;
    traffic.start(gf_toolPath("feedstandin"),
                  {"--script", (folder / "traffic.trk").string(), "--traffic-port", std::to_string(ports.traffic),
                   "--qnh", "1013", "--qnh-every", "1", "--qnh-port", std::to_string(ports.qnh)},
                  folder.path(), {}, folder / "logs" / "feedstandin_traffic.txt");
    const auto everything = [&] {
        return report({{"program", &program}, {"simstandin", &sim}, {"feedstandin", &traffic}});
    };

    const fs::path listing = work / "Callsign2ObjectId.txt";
    ASSERT_TRUE(gf_waitUntil([&] { return fs::exists(listing) || !program.running() || logHas("Exiting: "); },
                             2 * kStepLimit))
        << everything();
    ASSERT_TRUE(fs::exists(listing)) << everything();
    EXPECT_TRUE(program.running());
    EXPECT_FALSE(logHas("Exiting: ")) << everything();
    EXPECT_FALSE(logHas("SYSTEM ERROR")) << everything();

    // The aircraft in the simulator then, each with its object id; none parked.
    const std::string text = gf_readIfThere(listing);
    std::istringstream lines(text);
    int listed = 0;
    for (std::string line; std::getline(lines, line);) {
        ++listed;
        EXPECT_TRUE(line.starts_with("Air ")) << line;
        EXPECT_EQ(line.find("Parked at"), std::string::npos) << line;
        const bool known = std::any_of(aircraft.begin(), aircraft.end(), [&](const Aircraft& a) {
            const auto callsign = a.line.find("callsign=");
            const std::string name = a.line.substr(callsign + 9, a.line.find(' ', callsign) - callsign - 9);
            return line.find(" " + name + " ") != std::string::npos;
        });
        EXPECT_TRUE(known) << line;
    }
    EXPECT_GE(listed, 1) << text << everything();

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(kExitLimit), std::optional<int>(0)) << everything();
    EXPECT_TRUE(logHas("Exiting: NOT YET SET")) << everything();
    for (ChildProcess* standIn : {&traffic, &sim}) {
        standIn->signal(SIGTERM);
        EXPECT_TRUE(standIn->waitForExit(kExitLimit).has_value());
    }
}

}  // namespace
}  // namespace clv::test
