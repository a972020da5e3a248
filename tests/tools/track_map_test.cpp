// The stand-in's map: every AI aircraft is drawn, also one that never moved
// (a static parked aircraft), and labels of aircraft that end at one point stay
// apart.
#include "tools/simstandin/track_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/temp_folder.h"

namespace clv::test {
namespace {

using nlohmann::json;

constexpr double kLat = 47.458;
constexpr double kLon = 8.548;
constexpr double kMetresPerDegreeLat = 1852.0 * 60.0;

json lf_point(double lat, double lon, double heading) {
    return json{{"t", 0.0},         {"lat", lat},         {"lon", lon},         {"alt_ft", 1416.0},
                {"heading_deg", heading}, {"pitch_deg", 0.0}, {"bank_deg", 0.0}, {"on_ground", true}};
}

json lf_object(std::uint32_t id, const std::string& origin, const std::string& tail, double lat, double lon) {
    return json{{"id", id}, {"origin", origin}, {"atc_id", tail}, {"lat", lat}, {"lon", lon}, {"heading_deg", 90.0}};
}

struct Label {
    double x, y;
    std::string text;
};

std::vector<Label> lf_labels(const std::string& svg) {
    std::vector<Label> out;
    const std::regex text(R"re(<text x="([-0-9.]+)" y="([-0-9.]+)"[^>]*>([^<]*)</text>)re");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), text); it != std::sregex_iterator(); ++it)
        out.push_back(Label{std::stod((*it)[1]), std::stod((*it)[2]), (*it)[3]});
    return out;
}

TEST(TrackMap, DrawsAiAircraftThatNeverMovedWithTheirTailNumbers) {
    json history;
    history["user"] = lf_object(1, "user", "HB-USR", kLat, kLon);
    // One arrival that moved (its object is still there), two static parked
    // aircraft that never did, the user and an object of another client.
    history["tracks"] = json::array({json{{"id", 1001},
                                          {"atc_id", "SWR143"},
                                          {"removed", false},
                                          {"points", json::array({lf_point(kLat + 0.01, kLon, 180.0),
                                                                  lf_point(kLat + 0.005, kLon, 180.0)})}}});
    // The far parked aircraft stands 2 nm north: the fitted map reaches it
    // (2.2 nm with its margin), which makes a scale bar of 1 nm.
    history["objects"] = json::array({lf_object(1001, "ai", "SWR143", kLat + 0.005, kLon),
                                      lf_object(1002, "ai", "HB-JXA*", kLat - 300.0 / kMetresPerDegreeLat, kLon),
                                      lf_object(1003, "ai", "D-AIBB*", kLat + 2.0 / 60.0, kLon),
                                      lf_object(1, "user", "HB-USR", kLat, kLon),
                                      lf_object(7, "foreign", "N123", kLat, kLon + 0.01)});
    const std::string svg = standin::gf_trackMapSvg(history);
    EXPECT_EQ(standin::gf_mapAircraftCount(history), 3u);
    for (const char* label : {">SWR143</text>", ">HB-JXA*</text>", ">D-AIBB*</text>", ">you</text>"}) {
        EXPECT_EQ(occurrences(svg, label), 1) << label << "\n" << svg;
    }
    EXPECT_EQ(svg.find(">N123</text>"), std::string::npos);
    EXPECT_EQ(svg.find(">HB-USR</text>"), std::string::npos);
    // A symbol for each AI aircraft and the user; one track.
    EXPECT_EQ(occurrences(svg, "<polygon"), 4);
    EXPECT_EQ(occurrences(svg, "<polyline"), 1);
    EXPECT_NE(svg.find(">1 nm</text>"), std::string::npos) << svg;

    // Without the objects, only the aircraft that moved.
    history.erase("objects");
    EXPECT_EQ(standin::gf_mapAircraftCount(history), 1u);
    EXPECT_EQ(standin::gf_trackMapSvg(history).find(">HB-JXA*</text>"), std::string::npos);
}

TEST(TrackMap, LabelsOfAircraftThatEndAtOnePointStayApart) {
    json history;
    history["user"] = lf_object(1, "user", "HB-USR", kLat + 0.02, kLon);
    history["tracks"] = json::array();
    // Four arrivals whose feeds end at one point on the runway, and a row of
    // parked aircraft on stands 40 m apart, all seen from 1.5 nm.
    const std::vector<std::string> arrivals{"SWR143", "DLH5AB", "EZY12", "BAW710K"};
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        history["tracks"].push_back(json{{"id", 1001 + i},
                                         {"atc_id", arrivals[i]},
                                         {"removed", true},
                                         {"points", json::array({lf_point(kLat + 0.02, kLon - 0.02, 280.0),
                                                                 lf_point(kLat, kLon, 280.0)})}});
    }
    history["objects"] = json::array();
    const double metresPerDegreeLon = kMetresPerDegreeLat * std::cos(kLat * M_PI / 180.0);
    for (int i = 0; i < 8; ++i)
        history["objects"].push_back(
            lf_object(2001 + i, "ai", "HB-J" + std::string(1, static_cast<char>('A' + i)) + "X*", kLat - 0.003,
                      kLon + 40.0 * i / metresPerDegreeLon));
    const std::string svg = standin::gf_trackMapSvg(history, standin::MapView{kLat, kLon, 1.5});
    std::vector<Label> labels;
    for (const Label& l : lf_labels(svg))
        if (l.text != "you" && l.text.find(" nm") == std::string::npos && l.text.find(" m") == std::string::npos)
            labels.push_back(l);
    ASSERT_EQ(labels.size(), arrivals.size() + 8);
    // 12 px text: two labels do not cover each other when their baselines are a
    // text height apart, or when one ends (at 5 px per glyph at the least) before the other starts.
    for (std::size_t a = 0; a < labels.size(); ++a) {
        for (std::size_t b = a + 1; b < labels.size(); ++b) {
            const Label& left = labels[a].x <= labels[b].x ? labels[a] : labels[b];
            const Label& right = labels[a].x <= labels[b].x ? labels[b] : labels[a];
            const bool apartVertically = std::abs(labels[a].y - labels[b].y) >= 12.0;
            const bool apartSideways = right.x - left.x >= 5.0 * static_cast<double>(left.text.size());
            EXPECT_TRUE(apartVertically || apartSideways) << labels[a].text << " and " << labels[b].text;
        }
    }
}

}  // namespace
}  // namespace clv::test
