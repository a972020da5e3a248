// The program against a simulator whose replies are longer than the program knows
// them (as a newer simulator build that appends fields would send them): a proxy
// between the program and the stand-in simulator lengthens every fixed-size reply
// by 8 bytes. The program connects, creates the traffic's aircraft and stays.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "product_run_support.h"

namespace clv::test {
namespace {

// Demo airframes, each bound to a demo livery by its registration, flying east
// in a row north of the user aircraft.
const std::vector<std::string> kLongerRepliesAirframes{
    "hexid=9005612 callsign=UAE87 type=A388 reg=A6-EOT airline=UAE from=OMDB to=LSZH category=A5",
    "hexid=4221107 callsign=EZY85YJ type=A320 reg=G-EZTH airline=EZY from=LSZH to=EGKK category=A3",
    "hexid=4934004 callsign=SWR143 type=A320 reg=HB-JLT airline=SWR from=LFPG to=LSZH category=A3",
};

std::string longerRepliesTrack() {
    std::string text = "every 1\n";
    for (std::size_t i = 0; i < kLongerRepliesAirframes.size(); ++i) {
        const double lat = kZurichUserLat + 0.08 + 0.03 * static_cast<double>(i);
        const double alt = 4000.0 + 1000.0 * static_cast<double>(i);
        text += "aircraft " + kLongerRepliesAirframes[i] + "\n";
        text += fmt::format("  0 {:.6f} {:.6f} {:.0f} 180 90.0 0 air\n", lat, kZurichUserLon - 0.2, alt);
        text += fmt::format("  300 {:.6f} {:.6f} {:.0f} 180 90.0 0 air\n", lat, kZurichUserLon + 0.2, alt);
    }
    return text;
}

class LongerRepliesEndToEnd : public DemoDataRun {};

TEST_F(LongerRepliesEndToEnd, AProxyLengtheningEveryFixedSizeReplyLeavesTheProgramConnectedAndCreatingAircraft) {
    ChildProcess sim;
    startDemoSimStandIn(sim, writeZurichScenario());
    ASSERT_FALSE(HasFatalFailure());
    const std::uint16_t standInPort = simPort;

    ASSERT_TRUE(std::filesystem::exists(gf_toolPath("simproxy"))) << gf_toolPath("simproxy") << " is not built";
    const std::uint16_t proxyPort = gf_freePort(SOCK_STREAM);
    ASSERT_NE(proxyPort, 0);
    ChildProcess proxy;
    proxy.start(gf_toolPath("simproxy"),
                {"--port", std::to_string(proxyPort), "--to-port", std::to_string(standInPort), "--extra", "8"},
                folder.path(), {}, folder / "logs" / "simproxy.txt");
    ASSERT_TRUE(gf_waitUntil([&] { return proxy.output().find("simproxy: port") != std::string::npos; }, kStepLimit))
        << proxy.output();

    // The endpoint as the simulator's SDK writes the file: a byte-order mark, CR LF
    // line ends, a comment, configuration 0 as [SimConnect.0], the SDK's other keys.
    // The program's port variable still names the stand-in itself: the file wins, and
    // the proxy's tally below shows that the replies came through it.
    folder.write("work/SimConnect.cfg",
                 fmt::format("\xEF\xBB\xBF; the simulator, through the proxy\r\n[SimConnect.0]\r\nProtocol=Ipv4\r\n"
                             "Address=127.0.0.1\r\nPort={}\r\nMaxReceiveSize=41088\r\nDisableNagle=1\r\n",
                             proxyPort));

    const FeedPorts ports = freeFeedPorts();
    ASSERT_TRUE(ports.complete());
    ChildProcess link;
    startFeedLink(link, ports, true);
    writeDemoParameters(ports.tcp);
    ChildProcess program;
    startProgram(program, ports.traffic, ports.qnh);
    ChildProcess traffic;
    const auto everything = [&] {
        return report({{"program", &program}, {"simproxy", &proxy}, {"simstandin", &sim},
                       {"feedstandin link", &link}, {"feedstandin traffic", &traffic}});
    };
    ASSERT_TRUE(gf_waitUntil([&] { return logHas("MSFS 2020 (") || !program.running(); }, kStepLimit)) << everything();
    ASSERT_TRUE(program.running()) << everything();

    folder.write("traffic.trk", longerRepliesTrack());
    traffic.start(gf_toolPath("feedstandin"),
                  {"--script", (folder / "traffic.trk").string(), "--traffic-port", std::to_string(ports.traffic)},
                  folder.path(), {}, folder / "logs" / "feedstandin_traffic.txt");

    ControlLink control(simControlPort);
    ASSERT_TRUE(control.connected());
    std::optional<std::size_t> created;
    const bool allCreated = gf_waitUntil(
        [&] {
            const nlohmann::json answer = control.command({{"cmd", "objects"}, {"ai_only", true}});
            if (answer.is_object() && answer.value("ok", false)) created = answer["objects"].size();
            return created == kLongerRepliesAirframes.size() || !program.running();
        },
        kStepLimit);
    ASSERT_TRUE(allCreated) << "created: " << created.value_or(0) << everything();
    EXPECT_EQ(created, kLongerRepliesAirframes.size()) << everything();
    EXPECT_TRUE(program.running()) << everything();
    EXPECT_FALSE(logHas("not understood")) << everything();
    EXPECT_FALSE(logHas("no longer connected")) << everything();

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(kExitLimit), std::optional<int>(0)) << everything();
    proxy.signal(SIGTERM);
    EXPECT_EQ(proxy.waitForExit(kExitLimit), std::optional<int>(0)) << everything();
    // The replies the program read were the lengthened ones: its Open reply, the
    // frame events and the object ids of its creations among them.
    const std::string tally = proxy.output();
    for (const char* kind : {" id 2: 1", " id 7: ", " id 12: "}) {
        EXPECT_NE(tally.find(kind), std::string::npos) << kind << " in " << tally;
    }
    for (ChildProcess* standIn : {&traffic, &link, &sim}) {
        standIn->signal(SIGTERM);
        standIn->waitForExit(kExitLimit);
    }
}

}  // namespace
}  // namespace clv::test
