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

struct WindowSpec {
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
bool openMainWindow(const WindowSpec& spec, WindowHandlers handlers);
void closeMainWindow();

std::optional<WindowPosition> mainWindowPosition();
void setMainWindowOnTop(bool onTop);
void redrawMainWindow();

// Any thread: runs the call on the UI thread, in posting order, once the loop
// gets to it. Calls still queued when the loop has ended are dropped.
void postToUiThread(std::function<void()> call);
// Any thread: the main window is repainted once, however often this is asked
// before the UI thread gets to it.
void requestMainWindowRepaint();

// From now on SIGTERM, SIGINT and SIGHUP act like the window's close button:
// the close handler runs on the UI thread.
void routeCloseSignals();

// Runs the UI loop until quitUiLoop; returns the code given to it.
int runUiLoop();
void quitUiLoop(int code);

}  // namespace clv::platform
