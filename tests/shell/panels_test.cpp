// What the panels draw from the window's state: lamps, counters, labels and
// the parking statistics, with their places and colours.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/parameters.h"
#include "link/realtraffic_state.h"
#include "liveries/livery_index.h"
#include "shell/draw_list.h"
#include "shell/main_window.h"
#include "shell/panels.h"
#include "shell/window_services.h"
#include "shell_support.h"

namespace clv::test {
namespace {

// The colour of the text drawn at the place; fails when there is none.
testing::AssertionResult lf_textIs(const DrawList& list, int x, int y, const std::string& text, Rgb colour) {
    const DrawOp* op = list.textAt(x, y);
    if (op == nullptr) return testing::AssertionFailure() << "no text at " << x << "," << y;
    if (op->text != text) return testing::AssertionFailure() << "\"" << op->text << "\" at " << x << "," << y;
    if (!(op->colour == colour)) {
        return testing::AssertionFailure() << "\"" << text << "\" in " << int(op->colour.r) << "," << int(op->colour.g)
                                           << "," << int(op->colour.b);
    }
    return testing::AssertionSuccess();
}

Rgb lf_fill(const DrawList& list, int x, int y) {
    const DrawOp* op = list.fillAt(x, y);
    return op != nullptr ? op->colour : Rgb{1, 2, 3};
}

// The lamp bars, tested half way down.
constexpr int kSimLampX = 410;
constexpr int kRtLampX = 440;
constexpr int kLampY = 70;

TEST(Panels, BandsTitleAndSeparators) {
    PanelSnapshot s;
    s.versionText = "10.10.9";
    const DrawList list = gf_buildDrawList(s);
    EXPECT_EQ(lf_fill(list, 10, 10), kBlack);
    EXPECT_EQ(lf_fill(list, 10, 50), kBlack);
    EXPECT_EQ(lf_fill(list, 870, 200), kLightBlue);
    EXPECT_EQ(lf_fill(list, 870, 420), kBlack);
    EXPECT_EQ(lf_fill(list, 870, 460), kGreen);
    EXPECT_TRUE(lf_textIs(list, 3, 7, "Version 10.10.9", kGreen));
    EXPECT_TRUE(lf_textIs(list, 390, 7, "Calvorinth", kGreen));
    int separators = 0;
    for (const DrawOp& op : list.ops()) {
        if (op.kind == DrawOp::Kind::Line && op.colour == kBlack && op.y1 == op.y2 && op.y1 >= 140 && op.y1 <= 308) {
            EXPECT_EQ(op.x2, op.y1 == 140 || op.y1 == 308 ? 880 : 642) << "separator at y " << op.y1;
            ++separators;
        }
    }
    EXPECT_EQ(separators, 7);
}

TEST(Panels, SimulatorLampAndItsRows) {
    struct Case {
        const char* what;
        bool connected;
        bool running;
        std::string title;
        bool titleValid;
        Rgb lamp;
        Rgb titleColour;
    };
    const std::vector<Case> cases{
        {"connected, flight running, title", true, true, "A320neo Lufthansa", true, kGreen, kGreen},
        {"title not valid", true, true, "A320neo Lufthansa", false, kGreen, kYellow},
        {"no title yet", true, true, "", true, kYellow, kYellow},
        {"flight not running", true, false, "A320neo Lufthansa", true, kYellow, kYellow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PanelSnapshot s;
        s.simConnected = c.connected;
        s.flightRunning = c.running;
        s.userTitle = c.title;
        s.userTitleValid = c.titleValid;
        s.simVersionText = "MSFS 2020 (11.0.282174.999)";
        s.userStand = "A12";
        const DrawList list = gf_buildDrawList(s);
        EXPECT_EQ(lf_fill(list, kSimLampX, kLampY), c.lamp);
        EXPECT_TRUE(lf_textIs(list, 5, 35, "MSFS 2020 (11.0.282174.999), user stand A12", c.lamp));
        if (!c.title.empty()) {
            EXPECT_TRUE(lf_textIs(list, 5, 63, c.title, c.titleColour));
        }
        EXPECT_TRUE(lf_textIs(list, 398, 63, "Sim", kBlack));
    }
}

TEST(Panels, BeforeTheSimulatorConnectsTheModeIsShown) {
    PanelSnapshot s;
    s.msfs2020 = false;
    const DrawList list = gf_buildDrawList(s);
    EXPECT_TRUE(lf_textIs(list, 5, 35, "MSFS 2024 mode", kGreen));
    EXPECT_EQ(lf_fill(list, kSimLampX, kLampY), kRed);
    EXPECT_EQ(lf_fill(list, kRtLampX, kLampY), kBlack) << "the feed lamps are hidden until the run shows them";
    EXPECT_EQ(list.textAt(5, 63), nullptr);
}

TEST(Panels, LiveryCountsWarnWhileNothingWasFound) {
    PanelSnapshot none;
    DrawList list = gf_buildDrawList(none);
    EXPECT_TRUE(lf_textIs(list, 5, 91, "# liveries: ...", kRed));
    EXPECT_TRUE(lf_textIs(list, 141, 91, "# simaddon: ...", kYellow));
    EXPECT_TRUE(lf_textIs(list, 278, 91, "# thirdp: ...", kYellow));

    PanelSnapshot some;
    some.liveryCount = 1234;
    some.simaddonCount = 7;
    some.thirdpartyCount = 1;
    list = gf_buildDrawList(some);
    EXPECT_TRUE(lf_textIs(list, 5, 91, "# liveries: 1234", kGreen));
    EXPECT_TRUE(lf_textIs(list, 141, 91, "# simaddon: 7", kGreen));
    EXPECT_TRUE(lf_textIs(list, 278, 91, "# thirdp: 1", kGreen));
}

TEST(Panels, RealTrafficLampWeatherTrafficQnhAndLiveCount) {
    struct Case {
        const char* what;
        bool connected;
        std::uint32_t traffic;
        std::uint32_t weather;
        std::int32_t qnh;
        Rgb lamp;
        const char* weatherText;  // nullptr: not drawn
        Rgb weatherColour;
        const char* trafficText;
        Rgb trafficColour;
        const char* qnhText;
        const char* liveText;
    };
    const std::vector<Case> cases{
        {"receiving both", true, 1, 1, 1013, kGreen, "Weather", kGreen, "Traffic", kGreen, "qnh: 1013", "live:   7"},
        {"both silent", true, 2, 2, 998, kYellow, "Weather", kYellow, "Traffic", kYellow, "qnh:  998", "live:   7"},
        {"weather without QNH yet", true, 1, 1, 0, kGreen, "Weather", kGreen, "Traffic", kGreen, nullptr, "live:   7"},
        {"readers stopped", true, 3, 3, 1013, kYellow, nullptr, kBlack, nullptr, kBlack, nullptr, nullptr},
        {"not connected", false, 1, 1, 1013, kRed, nullptr, kBlack, nullptr, kBlack, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PanelSnapshot s;
        s.feedLampsHidden = false;
        s.realTrafficConnected = c.connected;
        s.trafficLamp = c.traffic;
        s.weatherLamp = c.weather;
        s.qnhDisplay = c.qnh;
        s.rtVersionText = "RT prof edition: 9.0.1";
        s.liveCount = 7;
        const DrawList list = gf_buildDrawList(s);
        EXPECT_EQ(lf_fill(list, kRtLampX, kLampY), c.lamp);
        EXPECT_TRUE(lf_textIs(list, 430, 63, "RT", kBlack));
        if (c.connected) {
            EXPECT_TRUE(lf_textIs(list, 458, 35, "RT prof edition: 9.0.1", kGreen));
        } else {
            EXPECT_EQ(list.textAt(458, 35), nullptr);
        }
        if (c.weatherText != nullptr) {
            EXPECT_TRUE(lf_textIs(list, 458, 63, c.weatherText, c.weatherColour));
        } else {
            EXPECT_EQ(list.textAt(458, 63), nullptr);
        }
        if (c.trafficText != nullptr) {
            EXPECT_TRUE(lf_textIs(list, 458, 91, c.trafficText, c.trafficColour));
        } else {
            EXPECT_EQ(list.textAt(458, 91), nullptr);
        }
        if (c.qnhText != nullptr) {
            EXPECT_TRUE(lf_textIs(list, 642, 63, c.qnhText, kGreen));
        } else {
            EXPECT_EQ(list.textAt(642, 63), nullptr);
        }
        if (c.liveText != nullptr) {
            EXPECT_TRUE(lf_textIs(list, 642, 91, c.liveText, kGreen));
        } else {
            EXPECT_EQ(list.textAt(642, 91), nullptr);
        }
    }
}

TEST(Panels, OptionLabelsFollowTheirSettings) {
    PanelSnapshot s;
    DrawList list = gf_buildDrawList(s);
    // Everything off, at its default or enabled.
    EXPECT_TRUE(lf_textIs(list, 25, 147, "Scan for liveries", kBlack));
    EXPECT_TRUE(lf_textIs(list, 768, 147, "Stay on top", kBlack));
    EXPECT_TRUE(lf_textIs(list, 25, 175, "Scan for addon airports", kBlack));
    EXPECT_TRUE(lf_textIs(list, 768, 203, "GUID changes", kBlack));
    EXPECT_TRUE(lf_textIs(list, 343, 203, "Light aircraft", kBlack));
    EXPECT_TRUE(lf_textIs(list, 430, 231, "ah:", kBlack));
    EXPECT_TRUE(lf_textIs(list, 768, 231, "objectids", kBlack));
    EXPECT_TRUE(lf_textIs(list, 5, 315, "Airport parking", kBlack));
    EXPECT_TRUE(lf_textIs(list, 217, 315, "generic max park:", kGrey));
    EXPECT_TRUE(lf_textIs(list, 536, 315, "max live:", kGrey));
    EXPECT_TRUE(lf_textIs(list, 672, 315, "Straight push backs only", kGrey));
    EXPECT_TRUE(lf_textIs(list, 450, 371, "ILO", kBlack));
    EXPECT_EQ(list.textAt(217, 175), nullptr) << "no add-on airports found";
    EXPECT_EQ(list.textAt(5, 343), nullptr) << "no countdown without static parking";

    s.scanLiveries = true;
    s.alwaysOnTop = true;
    s.scanAirports = true;
    s.guidChanges = false;
    s.lightAircraftEnabled = false;
    s.autoRange = false;
    s.msfs2020 = false;
    s.parkingBusy = 1;
    s.customMaxParkSet = true;
    s.maxLiveSet = true;
    s.straightPushBacksOnly = true;
    s.initialLoadOnly = true;
    s.addonAirportCount = 1;
    s.addonFolder = "Community";
    s.objectIdText = "= 1234";
    list = gf_buildDrawList(s);
    EXPECT_TRUE(lf_textIs(list, 25, 147, "Scan for liveries", kYellow));
    EXPECT_TRUE(lf_textIs(list, 768, 147, "Stay on top", kYellow));
    EXPECT_TRUE(lf_textIs(list, 25, 175, "Scan for addon airports", kYellow));
    EXPECT_TRUE(lf_textIs(list, 217, 175, "1 airport in Community folder", kYellow));
    EXPECT_TRUE(lf_textIs(list, 768, 203, "GUID changes", kYellow));
    EXPECT_TRUE(lf_textIs(list, 343, 203, "Light aircraft", kGrey));
    EXPECT_TRUE(lf_textIs(list, 430, 231, "ah:", kGrey));
    EXPECT_TRUE(lf_textIs(list, 510, 231, "ft", kGrey));
    EXPECT_TRUE(lf_textIs(list, 768, 231, "objectids", kGrey));
    EXPECT_TRUE(lf_textIs(list, 561, 259, "= 1234", kBlack));
    EXPECT_TRUE(lf_textIs(list, 5, 315, "Airport parking active", kYellow));
    EXPECT_TRUE(lf_textIs(list, 217, 315, "generic max park:", kYellow));
    EXPECT_TRUE(lf_textIs(list, 536, 315, "max live:", kYellow));
    EXPECT_TRUE(lf_textIs(list, 672, 315, "Straight push backs only", kBlack));
    EXPECT_TRUE(lf_textIs(list, 450, 371, "ILO", kYellow));

    s.addonAirportCount = 3;
    list = gf_buildDrawList(s);
    EXPECT_TRUE(lf_textIs(list, 217, 175, "3 airports in Community folder", kYellow));
}

TEST(Panels, CountdownToTheNextRenewal) {
    struct Case {
        bool active;
        std::int32_t busy;
        bool initialLoadOnly;
        std::int32_t minutes;
        bool shown;
    };
    for (const Case& c : {Case{true, 0, false, 7, true}, Case{true, 0, false, 1, true}, Case{true, 0, false, 19, true},
                          Case{true, 0, false, 20, false}, Case{true, 0, false, 0, false},
                          Case{false, 0, false, 7, false}, Case{true, 1, false, 7, false},
                          Case{true, 0, true, 7, false}}) {
        PanelSnapshot s;
        s.parkingActive = c.active;
        s.parkingBusy = c.busy;
        s.initialLoadOnly = c.initialLoadOnly;
        s.minutesToNext = c.minutes;
        const DrawList list = gf_buildDrawList(s);
        const std::string text = "(next in " + std::to_string(c.minutes) + " min)";
        EXPECT_EQ(list.findText(text) != nullptr, c.shown) << text << " active " << c.active << " busy " << c.busy
                                                           << " ILO " << c.initialLoadOnly;
    }
}

TEST(Panels, ParkingPanelIsEmptyWithoutAParkAirport) {
    PanelSnapshot s;
    s.parking.ready = true;
    const DrawList list = gf_buildDrawList(s);
    for (const DrawOp& op : list.ops()) {
        if (op.kind == DrawOp::Kind::Text) {
            EXPECT_FALSE(op.y1 > 392 && op.y1 < 448) << op.text;
        }
    }
}

TEST(Panels, ParkingStatisticsOfTheParkAirport) {
    PanelSnapshot s;
    s.parking.airportName = "EDDF (FRA)";
    const DrawList waiting = gf_buildDrawList(s);
    EXPECT_TRUE(lf_textIs(waiting, 5, 399, "EDDF (FRA)", kYellow));
    EXPECT_EQ(waiting.textAt(748, 399), nullptr) << "the rest waits for the stands";

    s.parking.ready = true;
    s.parking.text1 = "stock";
    s.parking.text2 = "learned";
    s.parking.handmade = true;
    s.parking.weekNumber = 23;
    s.parking.staticPlanMark = true;
    s.parking.quality = "0.82";
    s.parking.reservedStand = "V155";
    s.parking.reservedStandValid = false;
    s.parking.fileUpdateCount = 3;
    s.parking.standCount = 250;
    s.parking.maxPark = 25;
    s.parking.maxParkPercentage = 30;
    s.parkedLiveCount = 4;
    s.parkedStaticCount = 21;
    s.liveAverageFit = 2.0f;
    s.staticAverageFit = 1.3f;
    DrawList list = gf_buildDrawList(s);
    EXPECT_TRUE(lf_textIs(list, 5, 399, "EDDF (FRA)", kGreen));
    EXPECT_TRUE(lf_textIs(list, 85, 399, " stock, learned (h), wk=23", kGreen));
    EXPECT_TRUE(lf_textIs(list, 370, 399, "*S*", kGreen));
    EXPECT_TRUE(lf_textIs(list, 430, 399, "qf: 0.82", kGreen));
    EXPECT_TRUE(lf_textIs(list, 571, 399, "reserved stand: V155", kRed));
    EXPECT_TRUE(lf_textIs(list, 748, 399, "# updates:    3", kGreen));
    EXPECT_TRUE(lf_textIs(list, 5, 427, "# stands: 250", kGreen));
    EXPECT_TRUE(lf_textIs(list, 111, 427, "parked live:   4", kGreen));
    EXPECT_TRUE(lf_textIs(list, 249, 427, "average fit: 2", kGreen));
    EXPECT_TRUE(lf_textIs(list, 430, 427, "parked static:  21", kGreen));
    EXPECT_TRUE(lf_textIs(list, 571, 427, "average fit: 1.3", kGreen));
    EXPECT_TRUE(lf_textIs(list, 708, 427, "max park:  25 (=30 %)", kGreen));

    s.liveAverageFit = 2.5f;
    s.week = true;  // the static fit means nothing by week
    s.parking.reservedStandValid = true;
    s.parking.maxPark = 0;
    list = gf_buildDrawList(s);
    EXPECT_TRUE(lf_textIs(list, 249, 427, "average fit: 2.5", kGreen));
    EXPECT_TRUE(lf_textIs(list, 571, 399, "reserved stand: V155", kGreen));
    EXPECT_EQ(list.textAt(430, 427), nullptr);
    EXPECT_EQ(list.textAt(571, 427), nullptr);
    EXPECT_TRUE(lf_textIs(list, 708, 427, "no max park live", kGreen));
}

TEST(Panels, StatusStripShowsTheErrorOverTheStatus) {
    PanelSnapshot s;
    s.statusText = "RealTraffic detected at this PC";
    DrawList list = gf_buildDrawList(s);
    EXPECT_EQ(lf_fill(list, 870, 460), kGreen);
    EXPECT_TRUE(lf_textIs(list, 3, 455, "RealTraffic detected at this PC", kYellow));

    s.errorText = "1001: RT error";
    list = gf_buildDrawList(s);
    EXPECT_EQ(lf_fill(list, 870, 460), kRed);
    EXPECT_TRUE(lf_textIs(list, 3, 455, "1001: RT error", kYellow));
}

// The texts drawn in the strip and below the parking panel's top, top to bottom.
std::vector<const DrawOp*> lf_stripTexts(const DrawList& list) {
    std::vector<const DrawOp*> out;
    for (const DrawOp& op : list.ops())
        if (op.kind == DrawOp::Kind::Text && op.x1 == 3 && op.y1 > 399) out.push_back(&op);
    return out;
}

TEST(Panels, AnErrorTooLongForOneLineIsWrappedAndStaysWholeInTheWindow) {
    // A message of the size the program gives when it has no download server.
    const std::string noServer =
        "1016: data base could not be read from on-line? No download server is configured: set "
        "CALVORINTH_SERVER_URL to the address (or file:// folder) that offers dbase.zip, then start Calvorinth again.";
    PanelSnapshot s;
    s.errorText = noServer;
    DrawList list = gf_buildDrawList(s);
    std::vector<const DrawOp*> lines = lf_stripTexts(list);
    ASSERT_EQ(lines.size(), 2u);
    // Both lines inside the strip (448 to 476, 12-pixel text), on red.
    EXPECT_EQ(lines[0]->y1, 449);
    EXPECT_EQ(lines[1]->y1, 462);
    EXPECT_LE(lines[1]->y1 + 14, 476);
    EXPECT_EQ(lines[0]->text + " " + lines[1]->text, noServer);
    for (const DrawOp* l : lines) EXPECT_LE(l->text.size(), kStatusLineChars);
    EXPECT_EQ(lf_fill(list, 870, 450), kRed);
    EXPECT_EQ(lf_fill(list, 870, 475), kRed);
    EXPECT_EQ(lf_fill(list, 870, 440), kBlack);  // the parking panel stays

    // Longer still: the red reaches up into the parking panel, line by line.
    s.errorText = noServer + " " + noServer.substr(0, 100);
    list = gf_buildDrawList(s);
    lines = lf_stripTexts(list);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]->y1, 436);
    EXPECT_EQ(lines[0]->text + " " + lines[1]->text + " " + lines[2]->text, s.errorText);
    EXPECT_EQ(lf_fill(list, 870, 436), kRed);
    EXPECT_EQ(lf_fill(list, 870, 430), kBlack);

    // A status text that fits stays one line at its place.
    s.errorText.clear();
    s.statusText = std::string(kStatusLineChars, 'x');
    list = gf_buildDrawList(s);
    EXPECT_TRUE(lf_textIs(list, 3, 455, s.statusText, kYellow));
    EXPECT_EQ(lf_fill(list, 870, 449), kGreen);
}

TEST(Panels, StatusStripLinesBreakAtBlanksAndNeverInsideACharacter) {
    struct Case {
        std::string text;
        std::size_t maxChars;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases{
        {"", 10, {}},
        {"abc def", 7, {"abc def"}},
        {"abc defg", 7, {"abc", "defg"}},
        {"abcdefg hij", 7, {"abcdefg", "hij"}},  // the line ends just before a blank
        {"abcdefghij", 4, {"abcd", "efgh", "ij"}},
        {"/a/very/long/path/without/blanks x", 10, {"/a/very/lo", "ng/path/wi", "thout/blan", "ks x"}},
        // Characters, not bytes: "ü" is two bytes, "€" three.
        {"Zürich Zürich", 6, {"Zürich", "Zürich"}},
        {"€€€€€", 2, {"€€", "€€", "€"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(gf_statusStripLines(c.text, c.maxChars), c.lines);
    }
}

TEST_F(ShellTest, TextThatIsNoUtf8IsLoggedAndNotDrawn) {
    PanelSnapshot s;
    s.statusText = "bad \xff byte";
    const DrawList list = gf_buildDrawList(s);
    EXPECT_EQ(list.textAt(3, 455), nullptr);
    EXPECT_EQ(logLines("bad \xff byte conversion exception "), 1);
}

TEST_F(ShellTest, SnapshotReadsTheFiguresWhereTheyAreKept) {
    gf_setUiPort(nullptr);
    gf_resetPanelFigures();
    gf_nullUiPort().clear();
    realTrafficConnected = true;
    trafficLamp = kLampSilent;
    qnhDisplay = 1021;
    liveryCount = 4321;
    gf_setLiveCounts(9, 2, 5);
    gf_setLiveCounts(9, 2, 5);  // no change, no repaint
    ParkingPanel panel;
    panel.airportName = "LSZH";
    panel.ready = true;
    panel.maxPark = 10;
    gf_setParkingPanel(panel);
    gf_setAddonAirports(2, "Community");
    gf_setParkingBusy(1);
    gf_setLiveAverageFit(3.0f);

    const PanelSnapshot s = gf_panelSnapshot();
    EXPECT_TRUE(s.realTrafficConnected);
    EXPECT_EQ(s.trafficLamp, kLampSilent);
    EXPECT_EQ(s.qnhDisplay, 1021);
    EXPECT_EQ(s.liveryCount, 4321u);
    EXPECT_EQ(s.liveCount, 9u);
    EXPECT_EQ(s.parkedLiveCount, 2u);
    EXPECT_EQ(s.parkedStaticCount, 5u);
    EXPECT_EQ(s.parking.airportName, "LSZH");
    EXPECT_EQ(s.addonAirportCount, 2u);
    EXPECT_EQ(s.addonFolder, "Community");
    EXPECT_EQ(s.parkingBusy, 1);
    EXPECT_EQ(s.liveAverageFit, 3.0f);
    EXPECT_EQ(gf_nullUiPort().repaintRequests(), 5) << "one repaint per change";

    // The reset before a restart takes the figures back to where a run starts.
    gf_windowServices().resetDisplay();
    const PanelSnapshot reset = gf_panelSnapshot();
    EXPECT_EQ(reset.liveCount, 0u);
    EXPECT_EQ(reset.parking.airportName, "");
    EXPECT_EQ(reset.parkingBusy, 0);
    EXPECT_EQ(reset.liveAverageFit, -1.0f);
    EXPECT_EQ(reset.staticAverageFit, -1.0f);
    EXPECT_EQ(reset.trafficLamp, kLampStopped);
    EXPECT_EQ(reset.weatherLamp, kLampStopped);
    EXPECT_TRUE(reset.feedLampsHidden);
    realTrafficConnected = false;
    qnhDisplay = 0;
    liveryCount = 0;
}

}  // namespace
}  // namespace clv::test
