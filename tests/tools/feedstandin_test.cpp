#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tools/feedstandin/feed_sender.h"
#include "tools/feedstandin/rt_client.h"
#include "tools/feedstandin/track_script.h"

namespace {

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
        out.push_back(line.substr(start, comma - start));
    out.push_back(line.substr(start));
    return out;
}

}  // namespace

TEST(FeedStandIn, TrafficLineHasTheFieldsTheProgramReads) {
    clv::FeedIdentity id;
    id.hexid = 4840123;
    id.callsign = "SWR123";
    id.type = "A320";
    id.registration = "HB-JLT";
    id.airline = "SWR";
    id.origin = "LSGG";
    id.destination = "LSZH";
    id.category = "A3";
    clv::FeedPoint p;
    p.latitude = 47.5;
    p.longitude = 8.6;
    p.altitude = 12000;
    p.groundSpeed = 280;
    p.track = 270;
    p.verticalSpeed = -800;
    p.trueAirspeed = 300;
    p.roll = -5;
    p.heading = 268;
    EXPECT_EQ(gf_trafficLine(id, p, 1760000000.5),
              "TFC,4840123,47.500000,8.600000,12000,-800,0,270.0,280.0,SWR123,A320,HB-JLT,LSGG,LSZH,1760000000.50,"
              "null,SWR,adsb_icao,12000,null,300,null,null,-5.0,null,268.0,null,null,A3");

    clv::FeedIdentity bare;
    bare.hexid = 10001;
    clv::FeedPoint ground;
    ground.latitude = 47.4581;
    ground.longitude = 8.5481;
    ground.altitude = 1416;
    ground.onGround = true;
    auto fields = split(gf_trafficLine(bare, ground, 5));
    ASSERT_EQ(fields.size(), kFeedFieldCount);
    EXPECT_EQ(fields[6], "1");
    EXPECT_EQ(fields[7], "");  // no track given
    EXPECT_EQ(fields[9], "null");
    EXPECT_EQ(fields[10], "null");
    EXPECT_EQ(fields[11], "null");
    EXPECT_EQ(fields[20], "-1");  // unknown true airspeed
    EXPECT_EQ(fields[25], "0.0");
    EXPECT_EQ(fields[28], "");    // no category: an empty last field
}

TEST(FeedStandIn, ScriptGivesTimedLinesOfEveryAircraft) {
    const char* script = R"(# two aircraft
aircraft hexid=4840123 callsign=SWR123 type=A320 reg=HB-JLT from=LSGG to=LSZH category=A3
  0  47.4800 8.5000 3000 160 270 -700 air tas=170 roll=-5
  5  47.4700 8.5200 2500 150 120 -700 air   # turning final
aircraft hexid=4510001 callsign=EZY45 type=A319
  2  47.4581 8.5481 1416  12   -    0 ground heading=280
)";
    clv::FeedScript s = gf_readTrackScript(script);
    ASSERT_EQ(s.tracks.size(), 2u);
    EXPECT_EQ(s.tracks[0].identity.registration, "HB-JLT");
    EXPECT_EQ(s.tracks[1].points[0].heading, 280.0);
    EXPECT_FALSE(s.tracks[1].points[0].track.has_value());
    auto lines = gf_linesOfScript(s, 1000);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].offset, 0);
    EXPECT_EQ(lines[1].offset, 2);
    EXPECT_EQ(lines[2].offset, 5);
    auto second = split(lines[1].text);
    EXPECT_EQ(second[1], "4510001");
    EXPECT_EQ(second[14], "1002.00");
    EXPECT_EQ(second[25], "280.0");
    auto first = split(lines[0].text);
    EXPECT_EQ(first[20], "170");
    EXPECT_EQ(first[23], "-5.0");
}

TEST(FeedStandIn, EveryInterpolatesBetweenPoints) {
    clv::FeedScript s = gf_readTrackScript(R"(every 4
aircraft hexid=20000 callsign=TEST1 type=C172
0  10.0 20.0 1000 100 350 500 air
10 11.0 21.0 2000 200  10 500 air
)");
    auto lines = gf_linesOfScript(s, 0);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].offset, 4);
    EXPECT_EQ(lines[2].offset, 8);
    EXPECT_EQ(lines[3].offset, 10);
    auto at4 = split(lines[1].text);
    EXPECT_EQ(at4[2], "10.400000");
    EXPECT_EQ(at4[3], "20.400000");
    EXPECT_EQ(at4[4], "1400");
    EXPECT_EQ(at4[7], "358.0");  // 350 -> 10 the short way round
    EXPECT_EQ(at4[8], "140.0");
}

TEST(FeedStandIn, ScriptMistakesNameTheirLine) {
    struct Case {
        const char* text;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"aircraft hexid=1\n0 1 2 three 4 5 6 air\n", "line 2: altitude \"three\" is not a number"},
        {"0 1 2 3 4 5 6 air\n", "line 1: a point before the first aircraft line"},
        {"aircraft callsign=X\n", "line 1: an aircraft needs a hexid"},
        {"aircraft hexid=1 wings=2\n", "line 1: unknown aircraft key \"wings\""},
        {"aircraft hexid=1\n5 1 2 3 4 5 6 air\n5 1 2 3 4 5 6 air\n", "line 3: the times of a track must increase"},
        {"aircraft hexid=1\n0 1 2 3 4 5 6 flying\n", "line 2: \"flying\" is neither ground nor air"},
        {"aircraft hexid=0x10\n", "line 1: hexid \"0x10\" is not a decimal number"},
        {"aircraft hexid=1\n0 1 2 3 4 5 6 air roll=nan\n", "line 2: roll \"nan\" is not a number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            gf_readTrackScript(c.text);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

TEST(FeedStandIn, ReplayLinesKeepTheirTimingAndCanLookLive) {
    std::vector<std::string> f(29, "null");
    auto line = [&](const char* stamp, const char* callsign) {
        f[14] = stamp;
        f[9] = callsign;
        std::string text;
        for (std::size_t i = 0; i < f.size(); ++i) text += (i ? "," : "") + f[i];
        return text;
    };
    const std::string file = "# recorded\r\n" + line("100", "A") + "\r\n\n" + line("102.5", "B") + "\n" +
                             line("101", "C") + "\n" + "broken line\n";
    auto lines = gf_readReplayLines(file);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].offset, 0);
    EXPECT_EQ(split(lines[0].text)[9], "A");
    EXPECT_EQ(lines[1].offset, 1);
    EXPECT_EQ(split(lines[1].text)[9], "C");
    EXPECT_EQ(lines[2].text, "broken line");  // sent as it is, at the time of the line before it
    EXPECT_EQ(lines[2].offset, 1);
    EXPECT_EQ(lines[3].offset, 2.5);
    EXPECT_EQ(split(lines[3].text)[9], "B");

    auto live = gf_readReplayLines(file, 5000.0);
    ASSERT_EQ(live.size(), 4u);
    EXPECT_EQ(split(live[0].text)[14], "5000.00");
    EXPECT_EQ(split(live[1].text)[14], "5001.00");
    EXPECT_EQ(live[2].text, "broken line");
    EXPECT_EQ(split(live[3].text)[14], "5002.50");
    EXPECT_EQ(split(live[3].text)[9], "B");
}

TEST(FeedStandIn, RealTrafficAnswersAndQnhDatagrams) {
    auto reply = nlohmann::json::parse(gf_versionReply("9.0.1", 2));
    EXPECT_EQ(reply["version"], "9.0.1");
    EXPECT_EQ(reply["level"], 2);
    EXPECT_EQ(gf_qnhDatagram("2992"), R"({"QNH": 2992})");
    EXPECT_EQ(gf_qnhDatagram(R"("1005")"), R"({"QNH": "1005"})");
}
