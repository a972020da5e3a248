// The window layer with its controls on the test display: a click on a check
// box toggles its setting once, Enter in an edit commits what was typed, a
// disabled control ignores the user, and staying on top is asked of the window
// manager (or its absence is logged).
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "core/parameters.h"
#include "link/realtraffic_state.h"
#include "liveries/livery_index.h"
#include "platform/window.h"
#include "shell/draw_list.h"
#include "shell/main_window.h"
#include "shell/run_controller.h"
#include "shell/status_lines.h"
#include "shell/window_services.h"
#include "shell_support.h"
#include "window_capture.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTitle = "Calvorinth controls under test";
// Only guards against a hang.
constexpr double kControlsLimit = 30.0;

// One display for the process: the window toolkit keeps its connection to the
// first display it opened.
const PrivateDisplay& lf_screen() {
    static const PrivateDisplay screen;
    return screen;
}

class WindowControlsTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        const std::string& screen = lf_screen().name();
        if (screen.empty()) GTEST_SKIP() << "needs Xvfb (scripts/deps installs it)";
        env.push_back(std::make_unique<ScopedEnv>("DISPLAY", screen.c_str()));
        std::string reason;
        ASSERT_TRUE(platform::openDisplay(reason)) << reason;
        ASSERT_TRUE(platform::openMainWindow(
            platform::WindowGeometry{kTitle, 0, 0, kMainWindowWidth, kMainWindowHeight}, {gf_paintMainWindow, {}}));
        ShellWindow desktop;
        desktop.post = platform::postToUiThread;
        desktop.repaint = platform::requestMainWindowRepaint;
        desktopPort = std::make_unique<ShellUiPort>(desktop);  // makes the controls
        gf_setUiPort(desktopPort.get());
        gf_installWindowHooks(gf_productWindowHooks());
        display = XOpenDisplay(screen.c_str());
        ASSERT_NE(display, nullptr);
        ASSERT_TRUE(pump([this] { return (window = gf_findWindowNamed(display, kTitle)).has_value(); }));
    }

    void TearDown() override {
        gf_setUiPort(nullptr);
        platform::closeMainWindow();
        for (const ControlPlacement& placement : gf_controlLayout()) placement.control().handle = 0;
        desktopPort.reset();
        if (display != nullptr) XCloseDisplay(display);
        ShellTest::TearDown();
    }

    bool pump(const std::function<bool()>& done) { return platform::runUiLoopUntil(done, kControlsLimit); }

    void click(const ParameterControl& control) {
        const ControlPlacement* placement = gf_controlPlacement(control.controlId);
        ASSERT_NE(placement, nullptr);
        gf_sendClick(display, *window, placement->x + placement->width / 2,
                     placement->top() + placement->height() / 2);
    }

    std::unique_ptr<ShellUiPort> desktopPort;
    Display* display = nullptr;
    std::optional<Window> window;
};

TEST_F(WindowControlsTest, EveryControlIsMadeWithItsFirstState) {
    for (const ControlPlacement& placement : gf_controlLayout()) {
        const ControlHandle handle = placement.control().handle.load();
        ASSERT_NE(handle, 0u) << placement.control().controlId;
        const bool checkBox = std::holds_alternative<ControlParameter<bool>*>(placement.target);
        pump([&] { return platform::controlEnabled(handle) == std::optional<bool>(checkBox); });
        EXPECT_EQ(platform::controlEnabled(handle), std::optional<bool>(checkBox)) << placement.control().controlId;
        if (checkBox) {
            const bool value = std::get<ControlParameter<bool>*>(placement.target)->value;
            EXPECT_EQ(platform::controlChecked(handle), std::optional<bool>(value)) << placement.control().controlId;
        }
    }
}

TEST_F(WindowControlsTest, ClickOnCheckBoxTogglesItsSettingOnce) {
    const ControlHandle box = LOG.handle.load();
    for (int round = 0; round < 2; ++round) {
        const bool before = LOG.value;
        click(LOG);
        ASSERT_TRUE(pump([&] { return LOG.value != before; })) << "round " << round;
        // The box, the port and the file agree with the setting once the UI thread has caught up.
        ASSERT_TRUE(pump([&] { return platform::controlChecked(box) == std::optional<bool>(!before); }));
        EXPECT_EQ(desktopPort->isChecked(box), !before);
        EXPECT_EQ(storedValue("LOG"), before ? "false" : "true");
    }
}

TEST_F(WindowControlsTest, EnterInAnEditCommitsWhatWasTyped) {
    const ControlHandle field = LATERAL_RANGE.handle.load();
    desktopPort->setEnabled(field, true);
    ASSERT_TRUE(pump([&] { return platform::controlEnabled(field) == std::optional<bool>(true); }));
    click(LATERAL_RANGE);  // the field takes the keyboard
    platform::setControlText(field, "250");
    gf_sendKey(display, *window, XK_Return);
    ASSERT_TRUE(pump([] { return mainWindow.status() == "The new LATERAL_RANGE is 100"; }));
    ASSERT_TRUE(pump([&] { return platform::controlText(field) == std::optional<std::string>("100"); }));
    EXPECT_EQ(storedValue("LATERAL_RANGE"), "100");
    EXPECT_EQ(lateralRangeNm.load(), 100.0);
}

TEST_F(WindowControlsTest, DisabledButtonIgnoresAClick) {
    // The buttons are made disabled; the run enables them when they apply.
    click(REREAD_BUTTON);
    desktopPort->setEnabled(FLUSH_STATIC_BUTTON.handle.load(), true);
    ASSERT_TRUE(pump([] { return platform::controlEnabled(FLUSH_STATIC_BUTTON.handle.load()) == true; }));
    click(FLUSH_STATIC_BUTTON);
    ASSERT_TRUE(pump([] { return flushStaticRequested.load(); }));
    EXPECT_FALSE(rereadRequested.load()) << "the disabled Re-read button acted";
    EXPECT_EQ(platform::controlEnabled(FLUSH_STATIC_BUTTON.handle.load()), std::optional<bool>(false))
        << "Flush static is disabled by its own click";
}

// Whether the window manager on the display offers the "above" state.
bool lf_keepsAbove(Display* display) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, DefaultRootWindow(display), XInternAtom(display, "_NET_SUPPORTED", False), 0, 4096,
                       False, XA_ATOM, &type, &format, &count, &after, &data);
    bool found = false;
    const Atom above = XInternAtom(display, "_NET_WM_STATE_ABOVE", False);
    for (unsigned long i = 0; data != nullptr && i < count; ++i) found |= reinterpret_cast<Atom*>(data)[i] == above;
    if (data != nullptr) XFree(data);
    return found;
}

TEST_F(WindowControlsTest, StayOnTopAsksTheWindowManagerOrLogsWhyNot) {
    const bool before = ALWAYS_ON_TOP.value;
    if (before) {
        click(ALWAYS_ON_TOP);
        ASSERT_TRUE(pump([] { return !ALWAYS_ON_TOP.value; }));
    }
    click(ALWAYS_ON_TOP);
    ASSERT_TRUE(pump([] { return ALWAYS_ON_TOP.value.get(); }));
    EXPECT_EQ(mainWindow.status(), "Calvorinth's window will remain visible");
    if (lf_keepsAbove(display)) {
        SUCCEED() << "a window manager runs; it keeps the window above";
    } else {
        EXPECT_EQ(logLines("Stay on top: the window manager offers no way to keep a window above others"), 1);
    }
}

TEST_F(WindowControlsTest, PanelsShowTheFiguresOfTheRun) {
    mainWindow.feedLampsHidden = false;
    realTrafficConnected = true;
    trafficLamp = 1;
    weatherLamp = 2;
    qnhDisplay = 1017;
    liveryCount = 5230;
    mainWindow.simaddonCount = 12;
    mainWindow.thirdpartyCount = 3;
    gf_setRtEditionText("RT prof edition: 9.0.1");
    gf_setLiveCounts(37, 4, 21);
    gf_setLiveAverageFit(1.5f);
    gf_setStaticAverageFit(2.0f);
    ParkingPanel panel;
    panel.airportName = "EDDF (FRA)";
    panel.ready = true;
    panel.text1 = "stock";
    panel.text2 = "learned";
    panel.weekNumber = 23;
    panel.quality = "0.82";
    panel.reservedStand = "V155";
    panel.reservedStandValid = true;
    panel.fileUpdateCount = 3;
    panel.standCount = 250;
    panel.maxPark = 25;
    panel.maxParkPercentage = 30;
    gf_setParkingPanel(panel);
    gf_setStatusLine("Parking adjustments: 2 to be removed, 3 to be added", false);

    Image image;
    // The lamp bars once the UI thread has painted them.
    ASSERT_TRUE(pump([&] {
        image = gf_captureWindow(display, *window);
        return image.width == kMainWindowWidth && image.at(440, 40) == kGreen;
    }));
    fs::create_directories("/tmp/clv_screens");
    EXPECT_TRUE(gf_writePng(image, "/tmp/clv_screens/main_window_figures.png"));
    EXPECT_EQ(image.at(410, 40), kRed) << "no simulator connected";
    EXPECT_EQ(image.at(875, 470), kGreen) << "a status message, no error";

    gf_resetPanelFigures();
    realTrafficConnected = false;
    qnhDisplay = 0;
    liveryCount = 0;
    gf_setRtEditionText("");
}

}  // namespace
}  // namespace clv::test
