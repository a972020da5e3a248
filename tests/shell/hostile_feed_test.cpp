// The program as built (with the sanitizers of the test build) under hostile
// input from outside: a TCP peer that answers the version question with 10 MB of
// garbage, and a flood of malformed traffic and QNH datagrams. It neither ends
// nor loses its way: RealTraffic connects after the peer, and live traffic sent
// after the flood becomes AI aircraft as usual.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "product_run_support.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::size_t kGarbageBytes = 10u * 1024u * 1024u;
constexpr int kFloodDatagrams = 20000;


// Connects to the program's TCP link, reads its version question and answers
// with `bytes` of garbage; returns the bytes the program took before it closed.
std::size_t lf_garbagePeer(std::uint16_t port, std::size_t bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::size_t sent = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        char question[64];
        (void)::recv(fd, question, sizeof question, 0);
        std::mt19937 rng(7);
        std::string chunk(64 * 1024, '\0');
        while (sent < bytes) {
            for (char& c : chunk) c = static_cast<char>(rng());
            const ssize_t n = ::send(fd, chunk.data(), std::min(chunk.size(), bytes - sent), MSG_NOSIGNAL);
            if (n <= 0) break;  // the program closed the link: the rest is not wanted
            sent += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    return sent;
}

// Malformed datagrams of every kind to both readers.
void lf_flood(std::uint16_t trafficPort, std::uint16_t qnhPort) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    auto sendTo = [fd](std::uint16_t port, const std::string& bytes) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        (void)::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    };
    std::mt19937 rng(11);
    const std::string good =
        "TFC,4840123,47.5000,8.6000,12000,-800,0,270.0,280,SWR123,A320,HB-JLT,LSGG,LSZH,1760000000.50,null,null,"
        "adsb_icao,12000,null,300,null,null,-5,null,268.0,null,null,A3";
    for (int i = 0; i < kFloodDatagrams; ++i) {
        std::string d;
        switch (i % 5) {
            case 0:  // random bytes
                d.resize(1 + rng() % 1400);
                for (char& c : d) c = static_cast<char>(rng());
                break;
            case 1:  // a line cut anywhere
                d = good.substr(0, rng() % good.size());
                break;
            case 2:  // a line with a field made huge or hostile
                d = good;
                d.insert(rng() % d.size(), std::string(1 + rng() % 3000, "9,\"\xff\x80n"[rng() % 6]));
                break;
            case 3:  // commas only
                d.assign(1 + rng() % 200, ',');
                break;
            case 4:  // JSON-ish junk for the QNH reader
                d = fmt::format("{{\"QNH\": {}}}", std::vector<std::string>{"1e999", "-1", "\"x\"", "[", "null",
                                                                             "99999999999999999999"}[rng() % 6]);
                break;
        }
        sendTo(i % 5 == 4 ? qnhPort : trafficPort, d);
        if (i % 3 == 0) sendTo(qnhPort, d);
    }
    ::close(fd);
}

class HostileFeed : public DemoDataRun {};

TEST_F(HostileFeed, GarbageOnTheLinkAndAFloodOfBadDatagramsLeaveTheRunTakingTraffic) {
    ChildProcess sim;
    startDemoSimStandIn(sim, writeZurichScenario());
    ASSERT_FALSE(HasFatalFailure());
    const FeedPorts ports = freeFeedPorts();
    ASSERT_TRUE(ports.complete());
    writeDemoParameters(ports.tcp);
    ChildProcess program;
    startProgram(program, ports.traffic, ports.qnh);
    ChildProcess link;
    ChildProcess traffic;
    const auto everything = [&] {
        return report({{"program", &program}, {"feedstandin link", &link}, {"feedstandin traffic", &traffic}});
    };

    // The first peer on the link is no RealTraffic: 10 MB of garbage for a version.
    std::size_t taken = 0;
    ASSERT_TRUE(gf_waitUntil(
        [&] {
            taken = lf_garbagePeer(ports.tcp, kGarbageBytes);
            return taken > 0 || !program.running();
        },
        kStepLimit));
    ASSERT_TRUE(program.running()) << everything();
    // Refused as "not a version reply", or as no reply when the garbage filled the
    // reply buffer before it was looked at.
    ASSERT_TRUE(gf_waitUntil([&] { return logHas("RealTraffic connection closed: "); }, kStepLimit)) << everything();

    // RealTraffic itself comes next and is taken.
    startFeedLink(link, ports, false);
    ASSERT_TRUE(gf_waitUntil([&] { return logHas("Traffic Reader connected") || !program.running(); }, kStepLimit))
        << everything();
    EXPECT_TRUE(logHas("RealTraffic connected")) << everything();

    lf_flood(ports.traffic, ports.qnh);
    ASSERT_TRUE(program.running()) << everything();

    // Then good traffic: two demo airframes crossing near the user aircraft.
    folder.write("traffic.trk",
                 "every 1\n"
                 "aircraft hexid=4934004 callsign=SWR143 type=A320 reg=HB-JLT airline=SWR from=LFPG to=LSZH "
                 "category=A3\n"
                 "  0 47.5500 8.4000 5000 180 90.0 0 air\n"
                 "  180 47.5500 8.7000 5000 180 90.0 0 air\n"
                 "aircraft hexid=3959317 callsign=DLH1186 type=A321 reg=D-AIDA airline=DLH from=EDDF to=LSZH "
                 "category=A3\n"
                 "  0 47.3700 8.7000 6000 180 270.0 0 air\n"
                 "  180 47.3700 8.4000 6000 180 270.0 0 air\n");
    traffic.start(gf_toolPath("feedstandin"),
                  {"--script", (folder / "traffic.trk").string(), "--traffic-port", std::to_string(ports.traffic)},
                  folder.path(), {}, folder / "logs" / "feedstandin_traffic.txt");
    ControlLink control(simControlPort);
    ASSERT_TRUE(control.connected());
    std::size_t objects = 0;
    const bool created = gf_waitUntil(
        [&] {
            const nlohmann::json answer = control.command({{"cmd", "objects"}, {"ai_only", true}});
            if (answer.is_object() && answer.value("ok", false)) objects = answer["objects"].size();
            return objects >= 2 || !program.running();
        },
        kStepLimit);
    EXPECT_TRUE(created) << everything();
    EXPECT_EQ(objects, 2u) << everything();
    EXPECT_TRUE(program.running()) << everything();

    for (ChildProcess* child : {&traffic, &program, &link, &sim}) {
        child->signal(SIGTERM);
        EXPECT_EQ(child->waitForExit(kExitLimit), std::optional<int>(0)) << everything();
    }
}

}  // namespace
}  // namespace clv::test
