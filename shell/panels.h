#pragma once
// The painted contents of the main window: the title band, the status panel
// with the simulator and RealTraffic lamps, the labels of the options panel,
// the parking panel and the status strip. A snapshot gathers what they show
// (race-free: atomics and copies taken under their locks); the builder turns
// it into a draw list and reads nothing else.
#include <cstdint>
#include <string>
#include <vector>

#include "shell/draw_list.h"
#include "shell/main_window.h"

namespace clv {

struct PanelSnapshot {
    std::string versionText;  // the running version, "{}.{}.{}"

    // The simulator link.
    bool simConnected = false;
    bool flightRunning = false;
    bool userTitleValid = true;
    std::string simVersionText;
    std::string userTitle;
    std::string userStand;
    bool msfs2020 = true;

    // Liveries found.
    std::uint64_t liveryCount = 0;
    std::uint64_t simaddonCount = 0;
    std::uint64_t thirdpartyCount = 0;

    // The RealTraffic feed.
    bool feedLampsHidden = true;
    bool realTrafficConnected = false;
    std::uint32_t trafficLamp = 3;
    std::uint32_t weatherLamp = 3;
    std::int32_t qnhDisplay = 0;
    std::string rtVersionText;
    std::uint64_t liveCount = 0;

    // The options panel: settings and states its labels follow.
    bool scanLiveries = false;
    bool alwaysOnTop = false;
    bool scanAirports = false;
    bool aerowinx = false;
    bool guidChanges = true;
    bool autoRange = true;
    bool straightPushBacksOnly = false;
    bool initialLoadOnly = false;
    bool week = false;
    bool customMaxParkSet = false;  // CUSTOM_MAX_PARK differs from its default
    bool maxLiveSet = false;        // MAX_LIVE differs from its default
    bool lightAircraftEnabled = true;  // the category check boxes
    bool helicoptersEnabled = true;
    bool highPerfEnabled = true;
    std::uint64_t addonAirportCount = 0;
    std::string addonFolder;
    std::string objectIdText;
    std::int32_t parkingBusy = 0;
    bool parkingActive = false;
    std::int32_t minutesToNext = 0;

    // The parking panel.
    ParkingPanel parking;
    std::uint64_t parkedLiveCount = 0;
    std::uint64_t parkedStaticCount = 0;
    float liveAverageFit = -1.0f;
    float staticAverageFit = -1.0f;

    // The status strip.
    std::string statusText;
    std::string errorText;
};

// The status strip's text as the lines it is drawn in: broken at blanks (the
// blank dropped) so that no line holds more than `maxChars` characters; a word
// longer than a line is broken inside, never inside a character.
std::vector<std::string> gf_statusStripLines(const std::string& text, std::size_t maxChars = kStatusLineChars);

// Everything the panels show, now. UI thread (it asks the controls' states).
PanelSnapshot gf_panelSnapshot();

// The whole client area: bands, lines, panels, status strip.
DrawList gf_buildDrawList(const PanelSnapshot& snapshot);

}  // namespace clv
