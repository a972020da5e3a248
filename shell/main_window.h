#pragma once
// The main window's state, kept apart from the window itself: the threads
// change it (texts under a mutex, numbers and marks as atomics) and ask for a
// repaint; the UI thread paints from it. Tests read it without a display.
//
// The figures of the other subsystems that the panels show are read where
// those subsystems keep them (the simulator link, the RealTraffic state, the
// livery index); the ones below are set through the setters at the end.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/ui_port.h"
#include "platform/window.h"

namespace clv {

// The client area. The window is 880 by 516 with its caption and frame, which
// the window manager adds around the client area; the status strip closes it.
inline constexpr int kMainWindowWidth = 880;
inline constexpr int kMainWindowHeight = 476;

// The status strip at the bottom of the client area, and where its text starts.
inline constexpr int kStatusStripTop = 448;
inline constexpr int kStatusStripBottom = 476;
inline constexpr int kStatusTextX = 3;
inline constexpr int kStatusTextY = 455;
// A text too long for one line of the strip is wrapped: its last line starts at
// kStatusLastLineY, each line before it one step higher, so that two lines fill
// the strip and more reach up into the parking panel. A line holds at most
// kStatusLineChars characters: the strip's width over the widest mean glyph
// width of the 12-pixel font (about 7 pixels in text with many capitals).
inline constexpr int kStatusLastLineY = 462;
inline constexpr int kStatusLineStep = 13;
inline constexpr std::size_t kStatusLineChars = 125;

// A status message is cleared once this many data steps have passed.
inline constexpr std::int32_t kStatusSteps = 25;

// The y of the parking panel's first text row.
inline constexpr std::int32_t kParkingRowY = 399;

// What the parking panel shows of the park airport; set as a whole by the
// parking planner (gf_setParkingPanel).
struct ParkingPanel {
    std::string airportName;  // the park airport's display name; empty: no park airport
    std::string text1;        // the two texts after the name, " {}, {}{}, wk={}"
    std::string text2;
    std::string quality;        // "qf: {}"
    std::string reservedStand;  // "" for none
    bool ready = false;         // the park airport's stands are loaded
    bool handmade = false;      // its file was made by hand: " (h)"
    bool staticPlanMark = false;  // "*S*"
    bool reservedStandValid = false;
    std::int32_t weekNumber = 0;
    std::uint64_t standCount = 0;
    std::int32_t fileUpdateCount = 0;  // updates of the learned file
    std::int32_t maxPark = 0;          // 0: no max park
    std::int32_t maxParkPercentage = 0;
};

struct MainWindow {
    // Guards statusText, errorText and statusSetStep; taken before the log mutex.
    mutable std::mutex statusMutex;
    std::string statusText;
    std::string errorText;
    std::int32_t statusSetStep = 0;  // displayStep when the status text was set (>= 1); 0: nothing to clear

    std::atomic<std::int32_t> displayStep{0};  // data steps, for clearing the status text
    std::atomic<std::int32_t> minutesToNext{0};  // to the next 20-minute mark
    std::atomic<std::uint64_t> simaddonCount{0};
    std::atomic<std::uint64_t> thirdpartyCount{0};
    std::atomic<bool> feedLampsHidden{true};  // until the run has connected the feed

    // The engine's counts (gf_setLiveCounts) and average fits in hours (-1: none yet).
    std::atomic<std::uint64_t> liveCount{0};  // active live aircraft not parked
    std::atomic<std::uint64_t> parkedLiveCount{0};
    std::atomic<std::uint64_t> parkedStaticCount{0};
    std::atomic<float> liveAverageFit{-1.0f};
    std::atomic<float> staticAverageFit{-1.0f};

    // The parking planner's state as the window and its handlers use it.
    std::atomic<std::int32_t> parkingBusy{0};  // above 0 while static parked aircraft are calculated
    std::atomic<bool> parkingActive{false};    // static parking is active
    // Set by the handlers when a parking setting changed; the planner clears it.
    std::atomic<bool> parkingChanged{false};
    std::atomic<std::uint64_t> addonAirportCount{0};

    // Guards the panel texts below (never held with statusMutex).
    mutable std::mutex panelMutex;
    ParkingPanel parking;
    std::string addonFolder;  // the folder of the add-on airport scan

    // Copies under the status mutex, for tests and for painting.
    std::string status() const;
    std::string error() const;
    std::int32_t statusStep() const;
    // Copies under the panel mutex.
    ParkingPanel parkingPanel() const;
    std::string addonAirportFolder() const;
};

}  // namespace clv

extern clv::MainWindow mainWindow;

// The whole client area from the window's state (UI thread, inside a paint).
void gf_paintMainWindow(clv::platform::Painter& painter);

// Back to the start of a run: texts empty, steps 0, the feed lamps hidden.
void gf_resetMainWindowState();
// The rest of the display state a run reset goes back to: the counters 0, the
// marks at their start values, the average fits -1, both feed lamps stopped.
void gf_resetPanelFigures();

// UI thread, once the main window is open: creates its controls, one per setting
// of the options panel, at their places, binds them to their handlers and gives
// the port their first states. Does nothing when there is no window or the
// controls exist already.
void gf_createControls(clv::UiPort& port);

// ---- setters for the figures of other subsystems (any thread) --------------------
// Each stores and, when something changed, has the window repainted.

// The recount of the live aircraft (the engine's, on each data step).
void gf_setLiveCounts(std::uint64_t live, std::uint64_t parkedLive, std::uint64_t parkedStatic);
void gf_setLiveAverageFit(float hours);
void gf_setStaticAverageFit(float hours);
void gf_setParkingPanel(const clv::ParkingPanel& panel);
// The add-on airports found by the scan and the folder it scanned.
void gf_setAddonAirports(std::uint64_t count, const std::string& folder);
void gf_setParkingBusy(std::int32_t busy);
void gf_setParkingActive(bool active);
