#include "shell/main_window.h"

#include <fmt/format.h>

#include "core/stop_flags.h"
#include "core/version.h"

clv::MainWindow mainWindow;

namespace clv {

std::string MainWindow::status() const {
    std::lock_guard lock(statusMutex);
    return statusText;
}

std::string MainWindow::error() const {
    std::lock_guard lock(statusMutex);
    return errorText;
}

std::int32_t MainWindow::statusStep() const {
    std::lock_guard lock(statusMutex);
    return statusSetStep;
}

}  // namespace clv

namespace {

using clv::platform::Rgb;

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kGreen{50, 205, 50};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kLightBlue{153, 204, 255};

constexpr int kWidth = clv::kMainWindowWidth;

void lf_paintBands(clv::platform::Painter& p) {
    p.fillRect(0, 0, kWidth, 28, kBlack);      // title
    p.fillRect(0, 28, kWidth, 112, kBlack);    // status panel
    p.fillRect(0, 112, kWidth, 392, kLightBlue);  // options panel
    p.fillRect(0, 392, kWidth, 448, kBlack);   // parking panel
    for (int y : {28, 113, 449, 392}) p.line(0, y, kWidth, y, kWhite);
}

void lf_paintTitle(clv::platform::Painter& p) {
    p.text(3, 7, fmt::format("Version {}", g_programVersion.toString()), kGreen);
    p.text(390, 7, clv::kProductName, kGreen);
    p.text(632, 7, "live traffic for MSFS", kGreen);
}

void lf_paintStatusStrip(clv::platform::Painter& p) {
    std::lock_guard lock(mainWindow.statusMutex);
    const bool error = !mainWindow.errorText.empty();
    p.fillRect(0, clv::kStatusStripTop, kWidth, clv::kStatusStripBottom, error ? kRed : kGreen);
    const std::string& text = error ? mainWindow.errorText : mainWindow.statusText;
    if (!text.empty()) p.text(clv::kStatusTextX, clv::kStatusTextY, text, kYellow);
}

}  // namespace

void gf_paintMainWindow(clv::platform::Painter& painter) {
    lf_paintBands(painter);
    lf_paintTitle(painter);
    lf_paintStatusStrip(painter);
}

void gf_resetMainWindowState() {
    {
        std::lock_guard lock(mainWindow.statusMutex);
        mainWindow.statusText.clear();
        mainWindow.errorText.clear();
        mainWindow.statusSetStep = 0;
    }
    mainWindow.displayStep = 0;
    mainWindow.minutesToNext = 0;
    mainWindow.feedLampsHidden = true;
}
