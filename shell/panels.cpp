#include "shell/panels.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "core/encoding.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/product.h"
#include "core/stop_flags.h"
#include "core/text.h"
#include "core/ui_port.h"
#include "core/version.h"
#include "link/realtraffic_state.h"
#include "link/sim_client.h"
#include "liveries/livery_index.h"
#include "traffic/traffic_service.h"

namespace clv {
namespace {

constexpr int kWidth = kMainWindowWidth;
constexpr int kOptionsRight = 642;  // the short separators end here, the right column starts

// Status panel rows.
constexpr int kRow1 = 35;
constexpr int kRow2 = 63;
constexpr int kRow3 = 91;

// One text of the panels. A text that is no valid UTF-8 is not drawn.
void lf_textOut(DrawList& list, int x, int y, std::string text, Rgb colour) {
    try {
        (void)gf_utf8ToUtf16(text);
    } catch (const win32::Utf8ConversionException& e) {
        gf_logIfRunning("{} conversion exception {}, error code: {}", text, e.what(), e.errorCode());
        return;
    }
    list.text(x, y, std::move(text), colour);
}

// A label of the options panel: black, or grey while what it names is off.
void lf_labelOut(DrawList& list, int x, int y, std::string text, bool enabled) {
    lf_textOut(list, x, y, std::move(text), enabled ? kBlack : kGrey);
}

Rgb lf_yellowWhenOn(bool on) { return on ? kYellow : kBlack; }

void lf_paintBands(DrawList& list) {
    list.fill(0, 0, kWidth, 28, kBlack);          // title
    list.fill(0, 28, kWidth, 112, kBlack);        // status panel
    list.fill(0, 112, kWidth, 392, kLightBlue);   // options panel
    list.fill(0, 392, kWidth, 448, kBlack);       // parking panel
    list.fill(0, kStatusStripTop, kWidth, kStatusStripBottom, kGreen);  // status strip
    for (int y : {28, 113, 449, 392}) list.line(0, y, kWidth, y, kWhite);
}

void lf_paintTitle(DrawList& list, const PanelSnapshot& s) {
    lf_textOut(list, 3, 7, fmt::format("Version {}", s.versionText), kGreen);
    lf_textOut(list, 390, 7, kProductName, kGreen);
    lf_textOut(list, 632, 7, "live traffic for MSFS", kGreen);
}

void lf_paintSeparators(DrawList& list) {
    list.line(0, 140, kWidth, 140, kBlack);
    for (int y : {168, 196, 224, 252, 280}) list.line(0, y, kOptionsRight, y, kBlack);
    list.line(0, 308, kWidth, 308, kBlack);
    list.line(kOptionsRight, 140, kOptionsRight, 308, kBlack);
}

// "# {}: {}" with the count, or with "..." in the warning colour while it is 0.
void lf_countOut(DrawList& list, int x, std::string_view what, std::uint64_t count, Rgb none) {
    if (count == 0) {
        lf_textOut(list, x, kRow3, fmt::format("# {}: ...", what), none);
    } else {
        lf_textOut(list, x, kRow3, fmt::format("# {}: {}", what, count), kGreen);
    }
}

void lf_paintStatusPanel(DrawList& list, const PanelSnapshot& s) {
    // The simulator lamp; its colour is also that of the first two rows.
    Rgb lamp = kRed;
    if (s.simConnected) lamp = s.flightRunning && !s.userTitle.empty() ? kGreen : kYellow;
    list.fill(397, 30, 425, 112, lamp);
    lf_textOut(list, 398, kRow2, "Sim", kBlack);
    if (s.simConnected) {
        std::string first = s.simVersionText;
        if (!s.userStand.empty()) first += ", user stand " + s.userStand;
        lf_textOut(list, 5, kRow1, std::move(first), lamp);
        lf_textOut(list, 5, kRow2, s.userTitle, s.userTitleValid ? lamp : kYellow);
    } else {
        lf_textOut(list, 5, kRow1, fmt::format("MSFS 20{} mode", s.msfs2020 ? "20" : "24"), kGreen);
    }

    lf_countOut(list, 5, "liveries", s.liveryCount, kRed);
    lf_countOut(list, 141, "simaddon", s.simaddonCount, kYellow);
    lf_countOut(list, 278, "thirdp", s.thirdpartyCount, kYellow);

    // The RealTraffic lamp.
    Rgb feed = kRed;
    if (s.feedLampsHidden) {
        feed = kBlack;
    } else if (s.realTrafficConnected) {
        feed = s.trafficLamp == kLampReceiving ? kGreen : kYellow;
    }
    list.fill(425, 30, 453, 112, feed);
    lf_textOut(list, 430, kRow2, "RT", kBlack);
    if (s.realTrafficConnected) {
        lf_textOut(list, 458, kRow1, s.rtVersionText, kGreen);
        if (s.weatherLamp != kLampStopped) {
            lf_textOut(list, 458, kRow2, "Weather", s.weatherLamp == kLampReceiving ? kGreen : kYellow);
        }
        if (s.trafficLamp != kLampStopped) {
            lf_textOut(list, 458, kRow3, "Traffic", s.trafficLamp == kLampReceiving ? kGreen : kYellow);
        }
    }
    list.line(425, 29, 425, 112, kBlack);
}

bool lf_lampLit(std::uint32_t lamp) { return lamp == kLampReceiving || lamp == kLampSilent; }

void lf_paintQnh(DrawList& list, const PanelSnapshot& s) {
    if (!s.realTrafficConnected || !lf_lampLit(s.weatherLamp) || s.qnhDisplay < 1) return;
    lf_textOut(list, kOptionsRight, kRow2, fmt::format("qnh: {:4}", s.qnhDisplay), kGreen);
}

void lf_paintLiveCount(DrawList& list, const PanelSnapshot& s) {
    if (!s.realTrafficConnected || !lf_lampLit(s.trafficLamp)) return;
    lf_textOut(list, kOptionsRight, kRow3, fmt::format("live: {:3}", s.liveCount), kGreen);
}

void lf_paintOptionsPanel(DrawList& list, const PanelSnapshot& s) {
    auto black = [&list](int x, const ParameterControl& row, std::string text) {
        lf_textOut(list, x, row.y, std::move(text), kBlack);
    };
    auto coloured = [&list](int x, const ParameterControl& row, std::string text, Rgb colour) {
        lf_textOut(list, x, row.y, std::move(text), colour);
    };

    black(25, ALL_INSTALL_PATH, "Install path:");

    coloured(25, LIG_AUTOMATIC, "Scan for liveries", lf_yellowWhenOn(s.scanLiveries));
    black(237, LIG_AUTOMATIC, "Automatic, selector:");
    black(450, LIG_PRIORITIZE, "Prioritize");
    black(556, SUPPRESS_STUB, "Stub");
    black(672, LOG, "Log");
    coloured(768, ALWAYS_ON_TOP, "Stay on top", lf_yellowWhenOn(s.alwaysOnTop));

    coloured(25, SCAN_AIRPORTS, "Scan for addon airports", lf_yellowWhenOn(s.scanAirports));
    if (s.addonAirportCount > 0) {
        coloured(217, SCAN_AIRPORTS,
                 fmt::format("{} airport{} in {} folder", s.addonAirportCount, gf_plural(s.addonAirportCount),
                             s.addonFolder),
                 kYellow);
    }
    black(672, NAV_LIGHTS_WHILE_PARKED, "Nav lights");
    black(768, LEARN_SOFT, "Learn Soft");

    black(5, MATCHING_DEPTH, "Max aircraft matching depth");
    black(253, LIGHT_AIRCRAFT, "Optional:");
    lf_labelOut(list, 343, LIGHT_AIRCRAFT.y, "Light aircraft", s.lightAircraftEnabled);
    lf_labelOut(list, 450, HELICOPTERS.y, "Helicopters", s.helicoptersEnabled);
    lf_labelOut(list, 556, HIGH_PERF_AIRCRAFT.y, "FighterJets", s.highPerfEnabled);
    coloured(672, AEROWINX, "Aerowinx", lf_yellowWhenOn(s.aerowinx));
    coloured(768, GUID_CHANGES, "GUID changes", s.guidChanges ? kBlack : kYellow);

    black(5, LATERAL_RANGE, "Traffic injection");
    black(167, LATERAL_RANGE, "radius:");
    black(260, LATERAL_RANGE, "nm,  or");
    black(343, AUTO_RANGE, "auto range");
    lf_labelOut(list, 430, AUTO_RANGE_ABOVE_HEIGHT.y, "ah:", s.autoRange);
    lf_labelOut(list, 510, AUTO_RANGE_ABOVE_HEIGHT.y, "ft", s.autoRange);
    lf_labelOut(list, 768, CALLSIGN_OBJECTIDS.y, "objectids", s.msfs2020);

    black(5, BLOCK_CALLSIGN, "Callsigns");
    black(172, BLOCK_CALLSIGN, "block:");
    black(430, CALLSIGN_2_OBJECTID, "oid:");
    if (!s.objectIdText.empty()) black(561, CALLSIGN_2_OBJECTID, s.objectIdText);

    black(5, COLLISION_USER_GND, "Collision avoidance");
    black(237, COLLISION_USER_GND, "User ground");
    black(343, COLLISION_USER_AIR, "User air");
    black(450, COLLISION_LIVE_PARKED_GND, "Live X parked");

    const bool busy = s.parkingBusy > 0;
    coloured(5, CUSTOM_MAX_PARK, fmt::format("Airport parking{}", busy ? " active" : ""), busy ? kYellow : kBlack);
    coloured(217, CUSTOM_MAX_PARK, "generic max park:", s.customMaxParkSet ? kYellow : kGrey);
    coloured(536, MAX_LIVE, "max live:", s.maxLiveSet ? kYellow : kGrey);
    lf_labelOut(list, 672, STRAIGHT_PBS_ONLY.y, "Straight push backs only", s.straightPushBacksOnly);

    black(139, DESTINATION, "destination:");
    black(303, AIRPORT_RANGE, "range:");
    black(393, AIRPORT_RANGE, "nm");
    black(440, AIRPORT_HEIGHT, "height above gnd:");
    black(621, AIRPORT_HEIGHT, "ft");
    if (s.parkingActive && !busy && !s.initialLoadOnly && s.minutesToNext >= 1 && s.minutesToNext <= 19) {
        black(5, AIRPORT_RANGE, fmt::format("(next in {} min)", s.minutesToNext));
    }

    black(25, PARK_FAKE, "Fake");
    black(91, WEEK, "Week");
    black(171, PARK_SOFT, "Soft");
    black(264, parking_percentage, "wanted: ");
    black(363, parking_percentage, "%");
    coloured(450, INITIAL_LOAD_ONLY, "ILO", lf_yellowWhenOn(s.initialLoadOnly));
    black(506, MAX_FIT_FL, "Max fit:");
}

// "{:.0f}" for a whole number of hours, else "{:.1F}".
std::string lf_hoursText(float hours) {
    if (std::trunc(hours) == hours) return fmt::format("{:.0f}", hours);
    return fmt::format("{:.1F}", hours);
}

void lf_paintParkingStats(DrawList& list, const PanelSnapshot& s) {
    const ParkingPanel& p = s.parking;
    if (p.airportName.empty()) return;
    const int y1 = kParkingRowY;
    const int y2 = y1 + 28;
    lf_textOut(list, 5, y1, p.airportName, p.ready ? kGreen : kYellow);
    if (!p.ready) return;
    lf_textOut(list, 85, y1, fmt::format(" {}, {}{}, wk={}", p.text1, p.text2, p.handmade ? " (h)" : "", p.weekNumber),
               kGreen);
    if (p.staticPlanMark) lf_textOut(list, 370, y1, "*S*", kGreen);
    lf_textOut(list, 430, y1, fmt::format("qf: {}", p.quality), kGreen);
    if (!p.reservedStand.empty()) {
        lf_textOut(list, 571, y1, fmt::format("reserved stand: {}", p.reservedStand),
                   p.reservedStandValid ? kGreen : kRed);
    }
    lf_textOut(list, 748, y1, fmt::format("# updates: {:4}", p.fileUpdateCount), kGreen);

    lf_textOut(list, 5, y2, fmt::format("# stands: {:3}", p.standCount), kGreen);
    lf_textOut(list, 111, y2, fmt::format("parked live: {:3}", s.parkedLiveCount), kGreen);
    if (s.liveAverageFit > 0) {
        lf_textOut(list, 249, y2, fmt::format("average fit: {}", lf_hoursText(s.liveAverageFit)), kGreen);
    }
    if (p.maxPark > 0) {
        lf_textOut(list, 430, y2, fmt::format("parked static: {:3}", s.parkedStaticCount), kGreen);
        if (!s.week && s.staticAverageFit > 0) {
            lf_textOut(list, 571, y2, fmt::format("average fit: {:.1F}", s.staticAverageFit), kGreen);
        }
    }
    if (p.maxPark == 0) {
        lf_textOut(list, 708, y2, "no max park live", kGreen);
    } else {
        lf_textOut(list, 708, y2, fmt::format("max park: {:3} (={} %)", p.maxPark, p.maxParkPercentage), kGreen);
    }
}

void lf_paintStatusStrip(DrawList& list, const PanelSnapshot& s) {
    const bool error = !s.errorText.empty();
    const std::string& text = error ? s.errorText : s.statusText;
    const std::vector<std::string> lines = gf_statusStripLines(text);
    if (lines.size() <= 1) {
        list.fill(0, kStatusStripTop, kWidth, kStatusStripBottom, error ? kRed : kGreen);
        if (!text.empty()) lf_textOut(list, kStatusTextX, kStatusTextY, text, kYellow);
        return;
    }
    // The whole message stays readable: the lines end at the strip's foot.
    const int count = static_cast<int>(lines.size());
    const int firstY = kStatusLastLineY - (count - 1) * kStatusLineStep;
    list.fill(0, std::min(kStatusStripTop, firstY - 1), kWidth, kStatusStripBottom, error ? kRed : kGreen);
    for (int i = 0; i < count; ++i) {
        lf_textOut(list, kStatusTextX, firstY + i * kStatusLineStep, lines[static_cast<std::size_t>(i)], kYellow);
    }
}

bool lf_enabled(const ParameterControl& control) {
    const ControlHandle handle = control.handle.load();
    // Before the window made its controls they stand as created: enabled.
    return handle == 0 || gf_uiPort().isEnabled(handle);
}

}  // namespace

std::vector<std::string> gf_statusStripLines(const std::string& text, std::size_t maxChars) {
    std::vector<std::string> lines;
    if (text.empty()) return lines;
    maxChars = std::max<std::size_t>(maxChars, 1);
    auto continuation = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    std::size_t start = 0;
    while (start < text.size()) {
        // The byte after the line's last whole character, and the last blank in it.
        std::size_t end = start;
        std::size_t chars = 0;
        std::size_t blank = std::string::npos;
        while (end < text.size() && chars < maxChars) {
            if (text[end] == ' ') blank = end;
            ++end;
            while (end < text.size() && continuation(static_cast<unsigned char>(text[end]))) ++end;
            ++chars;
        }
        if (end >= text.size()) {
            lines.push_back(text.substr(start));
            break;
        }
        if (text[end] == ' ') blank = end;  // the line ends just before a blank
        if (blank != std::string::npos && blank > start) {
            lines.push_back(text.substr(start, blank - start));
            start = blank + 1;
        } else {
            lines.push_back(text.substr(start, end - start));
            start = end;
        }
    }
    return lines;
}

PanelSnapshot gf_panelSnapshot() {
    PanelSnapshot s;
    s.versionText = g_programVersion.toString();

    s.simConnected = simConnected.load();
    s.flightRunning = simRunningDisplay.load();
    s.userTitleValid = userSpanKnownDisplay.load();
    SimDisplayTexts texts = gf_simDisplayTexts();
    s.simVersionText = std::move(texts.simulator);
    s.userTitle = std::move(texts.userTitle);
    s.userStand = std::move(texts.userStand);
    s.msfs2020 = MSFS_2020.value;

    s.liveryCount = liveryCount.load();
    s.simaddonCount = mainWindow.simaddonCount.load();
    s.thirdpartyCount = mainWindow.thirdpartyCount.load();

    s.feedLampsHidden = mainWindow.feedLampsHidden.load();
    s.realTrafficConnected = realTrafficConnected.load();
    s.trafficLamp = trafficLamp.load();
    s.weatherLamp = weatherLamp.load();
    s.qnhDisplay = qnhDisplay.load();
    s.rtVersionText = gf_rtEditionText();
    s.liveCount = mainWindow.liveCount.load();

    s.scanLiveries = SCAN_LIVERIES.value;
    s.alwaysOnTop = ALWAYS_ON_TOP.value;
    s.scanAirports = SCAN_AIRPORTS.value;
    s.aerowinx = AEROWINX.value;
    s.guidChanges = GUID_CHANGES.value;
    s.autoRange = AUTO_RANGE.value;
    s.straightPushBacksOnly = STRAIGHT_PBS_ONLY.value;
    s.initialLoadOnly = INITIAL_LOAD_ONLY.value;
    s.week = WEEK.value;
    s.customMaxParkSet = CUSTOM_MAX_PARK.value != CUSTOM_MAX_PARK.def;
    s.maxLiveSet = MAX_LIVE.value != MAX_LIVE.def;
    s.lightAircraftEnabled = lf_enabled(LIGHT_AIRCRAFT);
    s.helicoptersEnabled = lf_enabled(HELICOPTERS);
    s.highPerfEnabled = lf_enabled(HIGH_PERF_AIRCRAFT);
    s.addonAirportCount = mainWindow.addonAirportCount.load();
    s.addonFolder = mainWindow.addonAirportFolder();
    s.objectIdText = gf_objectIdText();
    s.parkingBusy = mainWindow.parkingBusy.load();
    s.parkingActive = mainWindow.parkingActive.load();
    s.minutesToNext = mainWindow.minutesToNext.load();

    s.parking = mainWindow.parkingPanel();
    s.parkedLiveCount = mainWindow.parkedLiveCount.load();
    s.parkedStaticCount = mainWindow.parkedStaticCount.load();
    s.liveAverageFit = mainWindow.liveAverageFit.load();
    s.staticAverageFit = mainWindow.staticAverageFit.load();

    {
        std::lock_guard lock(mainWindow.statusMutex);
        s.statusText = mainWindow.statusText;
        s.errorText = mainWindow.errorText;
    }
    return s;
}

DrawList gf_buildDrawList(const PanelSnapshot& snapshot) {
    DrawList list;
    lf_paintBands(list);
    lf_paintTitle(list, snapshot);
    lf_paintSeparators(list);
    lf_paintStatusPanel(list, snapshot);
    lf_paintQnh(list, snapshot);
    lf_paintLiveCount(list, snapshot);
    lf_paintOptionsPanel(list, snapshot);
    lf_paintParkingStats(list, snapshot);
    lf_paintStatusStrip(list, snapshot);
    return list;
}

}  // namespace clv
