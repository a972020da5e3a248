#pragma once
// The desktop window layer: one main window on FLTK, painted by the shell's
// paint routine, and the UI thread's loop. Calls run on the UI thread (the
// thread that opened the display) unless their comment says "any thread".
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace clv::platform {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;

    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Drawing inside one paint, in client pixels of the window.
class Painter {
public:
    virtual ~Painter() = default;
    // The rectangle from (left, top) up to, not including, (right, bottom).
    virtual void fillRect(int left, int top, int right, int bottom, Rgb colour) = 0;
    virtual void line(int x1, int y1, int x2, int y2, Rgb colour) = 0;
    // UTF-8 text whose top-left corner is (x, y).
    virtual void text(int x, int y, std::string_view utf8, Rgb colour) = 0;
};

struct WindowGeometry {
    std::string title;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct WindowHandlers {
    std::function<void(Painter&)> paint;
    // The close button or a close request of the session: the window stays
    // open; the handler decides when the program ends.
    std::function<void()> close;
};

struct WindowPosition {
    int x = 0;
    int y = 0;
};

// Connects to the display; false with the reason when there is none.
bool openDisplay(std::string& reason);

// Creates and shows the main window (fixed size, no minimise or maximise box).
bool openMainWindow(const WindowGeometry& geometry, WindowHandlers handlers);
void closeMainWindow();

std::optional<WindowPosition> mainWindowPosition();
bool mainWindowOpen();
// Asks the window manager to keep the window above all others, or no longer.
// Best effort: a window manager without that state ignores it; the reporter
// (setWindowErrorReporter) then hears why.
void setMainWindowOnTop(bool onTop);
void redrawMainWindow();

// Where the window layer reports what it could not do (any thread may hold the
// reporter; it is called on the UI thread). Without one the reports are dropped.
void setWindowErrorReporter(std::function<void(const std::string&)> reporter);

// ---- child controls of the main window ---------------------------------------
// Named by a handle, 0 for none; a handle of a closed window, or one never made,
// names nothing, and calls with it do nothing.
using ControlId = std::uintptr_t;

enum class ControlKind { CheckBox, Edit, Button };

struct ControlDescription {
    ControlKind kind = ControlKind::CheckBox;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::string caption;  // buttons only
};

// Creates a control in the main window. `action` runs on the UI thread when the
// user clicks a check box (it already shows its new state) or a button, or presses
// Enter in an edit. Check boxes start enabled, edits and buttons disabled.
ControlId addControl(const ControlDescription& description, std::function<void()> action);
void setControlChecked(ControlId control, bool checked);
std::optional<bool> controlChecked(ControlId control);  // nothing: no such control
void setControlEnabled(ControlId control, bool enabled);
std::optional<bool> controlEnabled(ControlId control);
void setControlText(ControlId control, std::string_view utf8);
std::optional<std::string> controlText(ControlId control);

// Any thread: runs the call on the UI thread, in posting order, once the loop
// gets to it. Calls still queued when the loop has ended are dropped.
void postToUiThread(std::function<void()> call);
// Any thread: the main window is repainted once, however often this is asked
// before the UI thread gets to it.
void requestMainWindowRepaint();

// First thing in main, before any thread starts (each thread inherits the
// mask of the one that starts it): SIGTERM, SIGINT and SIGHUP are blocked, so
// that one sent during the start waits for routeCloseSignals instead of ending
// the process. They stay blocked for good; a child process started later would
// have to unblock them before its exec.
void holdCloseSignals();

// From now on SIGTERM, SIGINT and SIGHUP, and those that came while they were
// held, act like the window's close button: the close handler runs on the UI
// thread once the loop runs. False (with errno) when they cannot be read; they
// then take their default action again and end the process.
bool routeCloseSignals();

// For tests of the start: when the environment variable CLV_STOP_AT_START_STAGE
// names `stage`, the process stops itself here (SIGSTOP) until it is continued.
void stopAtStartStage(std::string_view stage);

// Runs the UI loop until quitUiLoop; returns the code given to it.
// When the display is lost (the X server ended), the loop makes no further X
// call: it asks the window's close handler once, then carries out posted calls
// and signals until quitUiLoop.
int runUiLoop();
// The connection to the display broke; any thread.
bool displayLost();
void quitUiLoop(int code);
// Runs the UI loop, posted calls included, until `done` holds (true) or the
// seconds have passed (false); for tests that play the user.
bool runUiLoopUntil(const std::function<bool()>& done, double seconds);

}  // namespace clv::platform
