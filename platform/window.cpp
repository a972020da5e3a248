#include "platform/window.h"

#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace clv::platform {
namespace {

constexpr int kFontSize = 12;
constexpr int kControlFontSize = 12;
// The options panel's colour, behind the text of the edits as well.
constexpr Rgb kEditBackground{153, 204, 255};

WindowHandlers g_handlers;
Fl_Double_Window* g_window = nullptr;

std::mutex g_reporterMutex;
std::function<void(const std::string&)> g_reporter;

// The controls of the open window; a control's id is its index + 1.
struct ControlEntry {
    Fl_Widget* widget = nullptr;
    ControlKind kind = ControlKind::CheckBox;
    std::function<void()> action;
};
std::vector<std::unique_ptr<ControlEntry>> g_controls;

std::mutex g_queueMutex;
std::deque<std::function<void()>> g_queue;
// One wake-up of the loop is enough however many calls are queued; it also keeps
// the toolkit's wake-up pipe from filling while the UI thread is busy.
std::atomic<bool> g_wakePending{false};
std::atomic<bool> g_repaintPending{false};

bool g_quit = false;
int g_exitCode = 0;

// Reads the close signals, which every thread holds blocked (holdCloseSignals).
int g_signalFd = -1;

// The connection to the X server broke (the server ended). From then on the UI
// thread makes no X call; the program closes as after the close button.
std::atomic<bool> g_displayLost{false};
bool g_displayLossHandled = false;

class FltkPainter final : public Painter {
public:
    void fillRect(int left, int top, int right, int bottom, Rgb c) override {
        if (right <= left || bottom <= top) return;
        fl_rectf(left, top, right - left, bottom - top, c.r, c.g, c.b);
    }
    void line(int x1, int y1, int x2, int y2, Rgb c) override {
        fl_color(c.r, c.g, c.b);
        fl_line(x1, y1, x2, y2);
    }
    void text(int x, int y, std::string_view utf8, Rgb c) override {
        fl_color(c.r, c.g, c.b);
        fl_font(FL_HELVETICA, kFontSize);
        fl_draw(utf8.data(), static_cast<int>(utf8.size()), x, y + fl_height() - fl_descent());
    }
};

class DesktopWindow final : public Fl_Double_Window {
public:
    explicit DesktopWindow(const WindowGeometry& geometry) : Fl_Double_Window(geometry.x, geometry.y, geometry.width, geometry.height) {
        copy_label(geometry.title.c_str());
        size_range(geometry.width, geometry.height, geometry.width, geometry.height);
    }

    void draw() override {
        // A change of a control alone redraws that control over what the back
        // buffer holds; anything else repaints the panels under all controls.
        if ((damage() & ~FL_DAMAGE_CHILD) != 0) {
            FltkPainter painter;
            if (g_handlers.paint) g_handlers.paint(painter);
        }
        draw_children();
    }
};

Fl_Color lf_colour(Rgb c) { return fl_rgb_color(c.r, c.g, c.b); }

// A plain square check box the size of the widget, with no label.
class SquareCheckBox final : public Fl_Check_Button {
public:
    SquareCheckBox(int x, int y, int w, int h) : Fl_Check_Button(x, y, w, h) {
        clear_visible_focus();
        box(FL_NO_BOX);
    }

    void draw() override {
        const bool active = active_r() != 0;
        fl_rectf(x(), y(), w(), h(), active ? FL_WHITE : fl_rgb_color(230, 230, 230));
        fl_color(active ? fl_rgb_color(51, 51, 51) : fl_rgb_color(160, 160, 160));
        fl_rect(x(), y(), w(), h());
        if (value() == 0) return;
        fl_line_style(FL_SOLID, 2);
        fl_line(x() + 3, y() + h() / 2, x() + w() / 2 - 1, y() + h() - 4, x() + w() - 3, y() + 3);
        fl_line_style(0);
    }
};

ControlEntry* lf_entry(ControlId control) {
    if (control == 0 || control > g_controls.size()) return nullptr;
    return g_controls[control - 1].get();
}

void lf_onControl(Fl_Widget*, void* data) {
    auto* entry = static_cast<ControlEntry*>(data);
    if (entry->action) entry->action();
}

void lf_report(const std::string& text) {
    std::function<void(const std::string&)> reporter;
    {
        std::lock_guard lock(g_reporterMutex);
        reporter = g_reporter;
    }
    if (reporter) reporter(text);
}

// Whether the running window manager offers the EWMH "above" state.
bool lf_windowManagerKeepsAbove() {
    const Atom supported = XInternAtom(fl_display, "_NET_SUPPORTED", False);
    const Atom above = XInternAtom(fl_display, "_NET_WM_STATE_ABOVE", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(fl_display, DefaultRootWindow(fl_display), supported, 0, 4096, False,
                                          XA_ATOM, &type, &format, &count, &after, &data);
    bool found = false;
    if (status == Success && data != nullptr && type == XA_ATOM && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count && !found; ++i) found = atoms[i] == above;
    }
    if (data != nullptr) XFree(data);
    return found;
}

void lf_onCloseRequest(Fl_Widget*, void*) {
    // The toolkit closes a window on Escape by default; only the close button
    // and the session's close request count.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    if (g_handlers.close) g_handlers.close();
}

void lf_drainQueue() {
    g_wakePending.store(false);
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(g_queueMutex);
        calls.swap(g_queue);
    }
    for (auto& call : calls) {
        if (g_quit) return;
        if (call) call();
    }
}

sigset_t lf_closeSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
    return signals;
}

// Signals that came together ask to close once.
void lf_onCloseSignals(int fd, void*) {
    bool received = false;
    signalfd_siginfo info{};
    while (::read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) received = true;
    if (received && g_handlers.close) g_handlers.close();
}

// A short wait for posted calls or a signal that needs no X call.
void lf_waitWithoutDisplay() {
    if (g_signalFd >= 0) {
        pollfd p{g_signalFd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) lf_onCloseSignals(g_signalFd, nullptr);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Xlib calls this once the connection is broken. The toolkit's own handler ends
// the process with exit() from inside Xlib, under running threads; this one only
// marks the loss, and the UI loop closes the program in order.
int lf_onDisplayLost(Display*) {
    g_displayLost.store(true);
    return 0;
}

// Called by Xlib after the handler above; returning keeps the process alive, and
// every later call on the broken connection returns without effect.
void lf_stayAfterDisplayLost(Display*, void*) {}

// Once per loss, on the UI thread: the close request of a lost window.
void lf_handleDisplayLoss() {
    if (g_displayLossHandled) return;
    g_displayLossHandled = true;
    lf_report("The display was lost; Calvorinth closes");
    if (g_handlers.close) g_handlers.close();
}

}  // namespace

bool displayLost() { return g_displayLost.load(); }

bool openDisplay(std::string& reason) {
    // The toolkit ends the process when it cannot open the display, so the
    // connection is opened here and handed to it: a display that goes away
    // between a probe and the toolkit's own open would end the program without
    // its closing. Once open, a loss is the lost display the UI loop closes on.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        const char* name = XDisplayName(nullptr);
        reason = std::string("cannot open display \"") + (name != nullptr ? name : "") + "\"";
        return false;
    }
    XSetIOErrorHandler(lf_onDisplayLost);
    XSetIOErrorExitHandler(display, lf_stayAfterDisplayLost, nullptr);
    Fl::lock();  // enables the wake-up of the loop from other threads
    fl_open_display(display);
    return true;
}

bool openMainWindow(const WindowGeometry& geometry, WindowHandlers handlers) {
    g_handlers = std::move(handlers);
    auto window = std::make_unique<DesktopWindow>(geometry);
    window->callback(lf_onCloseRequest);
    window->end();
    window->color(FL_BLACK);
    window->show();
    // A display lost while the window opened is no failed start: the UI loop
    // closes the program in order, as for any lost display.
    if (!window->shown() && !g_displayLost.load()) return false;
    g_window = window.release();
    Fl::flush();
    return true;
}

void closeMainWindow() {
    if (g_window == nullptr) return;
    const bool lost = g_displayLost.load();
    if (!lost) g_window->hide();
    delete g_window;  // and its controls
    g_window = nullptr;
    g_controls.clear();
    if (!lost) Fl::flush();
}

bool mainWindowOpen() { return g_window != nullptr; }

void setWindowErrorReporter(std::function<void(const std::string&)> reporter) {
    std::lock_guard lock(g_reporterMutex);
    g_reporter = std::move(reporter);
}

std::optional<WindowPosition> mainWindowPosition() {
    if (g_window == nullptr) return std::nullopt;
    return WindowPosition{g_window->x(), g_window->y()};
}

void setMainWindowOnTop(bool onTop) {
    if (g_window == nullptr || !g_window->shown() || g_displayLost.load()) return;
    if (onTop && !lf_windowManagerKeepsAbove()) {
        lf_report("Stay on top: the window manager offers no way to keep a window above others");
        return;
    }
    const Window xid = fl_xid(g_window);
    const Atom state = XInternAtom(fl_display, "_NET_WM_STATE", False);
    Atom above = XInternAtom(fl_display, "_NET_WM_STATE_ABOVE", False);
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(fl_display, xid, &attributes) != 0 && attributes.map_state == IsUnmapped) {
        // Not mapped yet: the window manager reads the state when it maps the window.
        if (onTop) {
            XChangeProperty(fl_display, xid, state, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&above), 1);
        } else {
            XDeleteProperty(fl_display, xid, state);
        }
        XFlush(fl_display);
        return;
    }
    // A mapped window asks the window manager (EWMH).
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = xid;
    event.xclient.message_type = state;
    event.xclient.format = 32;
    event.xclient.data.l[0] = onTop ? 1 : 0;  // add or remove
    event.xclient.data.l[1] = static_cast<long>(above);
    event.xclient.data.l[2] = 0;
    event.xclient.data.l[3] = 1;  // asked by an application
    const Status sent = XSendEvent(fl_display, DefaultRootWindow(fl_display), False,
                                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(fl_display);
    if (sent == 0) lf_report("Stay on top: the request could not be sent to the window manager");
}

void redrawMainWindow() {
    if (g_window != nullptr) g_window->redraw();
}

ControlId addControl(const ControlDescription& description, std::function<void()> action) {
    if (g_window == nullptr) return 0;
    auto entry = std::make_unique<ControlEntry>();
    entry->kind = description.kind;
    entry->action = std::move(action);
    Fl_Widget* widget = nullptr;
    switch (description.kind) {
        case ControlKind::CheckBox: {
            widget = new SquareCheckBox(description.x, description.y, description.width, description.height);
            break;
        }
        case ControlKind::Edit: {
            auto* input = new Fl_Input(description.x, description.y, description.width, description.height);
            input->box(FL_BORDER_BOX);
            input->color(lf_colour(kEditBackground));
            input->textsize(kControlFontSize);
            input->when(FL_WHEN_ENTER_KEY_ALWAYS);  // Enter commits, also an unchanged text
            input->deactivate();
            widget = input;
            break;
        }
        case ControlKind::Button: {
            auto* button = new Fl_Button(description.x, description.y, description.width, description.height);
            button->copy_label(description.caption.c_str());
            button->labelsize(kControlFontSize);
            button->clear_visible_focus();
            button->deactivate();
            widget = button;
            break;
        }
    }
    widget->callback(lf_onControl, entry.get());
    g_window->add(widget);
    widget->redraw();
    entry->widget = widget;
    g_controls.push_back(std::move(entry));
    return g_controls.size();
}

void setControlChecked(ControlId control, bool checked) {
    ControlEntry* entry = lf_entry(control);
    if (entry == nullptr || entry->kind != ControlKind::CheckBox) return;
    static_cast<Fl_Button*>(entry->widget)->value(checked ? 1 : 0);  // redraws when it changes
}

std::optional<bool> controlChecked(ControlId control) {
    ControlEntry* entry = lf_entry(control);
    if (entry == nullptr) return std::nullopt;
    if (entry->kind != ControlKind::CheckBox) return false;
    return static_cast<Fl_Button*>(entry->widget)->value() != 0;
}

void setControlEnabled(ControlId control, bool enabled) {
    ControlEntry* entry = lf_entry(control);
    if (entry == nullptr) return;
    if (enabled) {
        entry->widget->activate();
    } else {
        entry->widget->deactivate();
    }
}

std::optional<bool> controlEnabled(ControlId control) {
    ControlEntry* entry = lf_entry(control);
    if (entry == nullptr) return std::nullopt;
    return entry->widget->active() != 0;
}

void setControlText(ControlId control, std::string_view utf8) {
    ControlEntry* entry = lf_entry(control);
    if (entry == nullptr || entry->kind != ControlKind::Edit) return;
    static_cast<Fl_Input*>(entry->widget)->value(utf8.data(), static_cast<int>(utf8.size()));
}

std::optional<std::string> controlText(ControlId control) {
    ControlEntry* entry = lf_entry(control);
    if (entry == nullptr) return std::nullopt;
    if (entry->kind != ControlKind::Edit) return std::string();
    const auto* input = static_cast<Fl_Input*>(entry->widget);
    return std::string(input->value(), static_cast<std::size_t>(input->size()));
}

void postToUiThread(std::function<void()> call) {
    {
        std::lock_guard lock(g_queueMutex);
        g_queue.push_back(std::move(call));
    }
    if (!g_wakePending.exchange(true)) Fl::awake();
}

void requestMainWindowRepaint() {
    if (g_repaintPending.exchange(true)) return;
    postToUiThread([] {
        g_repaintPending.store(false);
        redrawMainWindow();
    });
}

void holdCloseSignals() {
    const sigset_t signals = lf_closeSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void stopAtStartStage(std::string_view stage) {
    const char* wanted = std::getenv("CLV_STOP_AT_START_STAGE");
    if (wanted != nullptr && stage == wanted) ::raise(SIGSTOP);
}

bool routeCloseSignals() {
    if (g_signalFd >= 0) return true;
    // Held here as well, should the start have skipped holdCloseSignals.
    holdCloseSignals();
    const sigset_t signals = lf_closeSignals();
    g_signalFd = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (g_signalFd < 0) {
        // Unread they would never end the program: they end it as untouched ones do.
        const int saved = errno;
        pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
        errno = saved;
        return false;
    }
    // Signals that came while they were held are waiting on it already.
    Fl::add_fd(g_signalFd, FL_READ, lf_onCloseSignals, nullptr);
    return true;
}

int runUiLoop() {
    g_quit = false;
    while (!g_quit) {
        lf_drainQueue();
        if (g_quit) break;
        if (g_displayLost.load()) {
            // Without a display the loop only carries out posted calls and signals
            // until the run has closed down.
            lf_handleDisplayLoss();
            lf_waitWithoutDisplay();
            continue;
        }
        // Wakes for window events, a posted call or a signal; the timeout only
        // bounds the wait should a wake-up ever be missed.
        Fl::wait(0.5);
    }
    return g_exitCode;
}

bool runUiLoopUntil(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        lf_drainQueue();
        Fl::flush();
        if (done()) return true;
        Fl::wait(0.02);
    }
    lf_drainQueue();
    return done();
}

void quitUiLoop(int code) {
    g_exitCode = code;
    g_quit = true;
}

}  // namespace clv::platform
