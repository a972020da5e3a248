#pragma once
// The main window's state, kept apart from the window itself: the threads
// change it (texts under the status mutex, numbers and marks as atomics) and ask
// for a repaint; the UI thread paints from it. Tests read it without a display.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

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

// A status message is cleared once this many data steps have passed.
inline constexpr std::int32_t kStatusSteps = 25;

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

    // Copies under the status mutex, for tests and for painting.
    std::string status() const;
    std::string error() const;
    std::int32_t statusStep() const;
};

}  // namespace clv

extern clv::MainWindow mainWindow;

// The whole client area from the window's state (UI thread, inside a paint).
void gf_paintMainWindow(clv::platform::Painter& painter);

// Back to the start of a run: texts empty, steps 0, the feed lamps hidden.
void gf_resetMainWindowState();
