#include "platform/window.h"

#include <fcntl.h>
#include <unistd.h>

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xlib.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

namespace clv::platform {
namespace {

constexpr int kFontSize = 14;

WindowHandlers g_handlers;
Fl_Double_Window* g_window = nullptr;

std::mutex g_queueMutex;
std::deque<std::function<void()>> g_queue;
// One wake-up of the loop is enough however many calls are queued; it also keeps
// the toolkit's wake-up pipe from filling while the UI thread is busy.
std::atomic<bool> g_wakePending{false};
std::atomic<bool> g_repaintPending{false};

bool g_quit = false;
int g_exitCode = 0;

int g_signalPipe[2] = {-1, -1};

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
    explicit DesktopWindow(const WindowSpec& spec) : Fl_Double_Window(spec.x, spec.y, spec.width, spec.height) {
        copy_label(spec.title.c_str());
        size_range(spec.width, spec.height, spec.width, spec.height);
    }

    void draw() override {
        FltkPainter painter;
        if (g_handlers.paint) g_handlers.paint(painter);
    }
};

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

void lf_onSignal(int) {
    const int saved = errno;
    const char byte = 'c';
    [[maybe_unused]] ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

void lf_onSignalPipe(int fd, void*) {
    char bytes[64];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
    if (g_handlers.close) g_handlers.close();
}

}  // namespace

bool openDisplay(std::string& reason) {
    // The toolkit ends the process when it cannot open the display; ask first.
    Display* probe = XOpenDisplay(nullptr);
    if (probe == nullptr) {
        const char* name = XDisplayName(nullptr);
        reason = std::string("cannot open display \"") + (name != nullptr ? name : "") + "\"";
        return false;
    }
    XCloseDisplay(probe);
    Fl::lock();  // enables the wake-up of the loop from other threads
    fl_open_display();
    return true;
}

bool openMainWindow(const WindowSpec& spec, WindowHandlers handlers) {
    g_handlers = std::move(handlers);
    auto window = std::make_unique<DesktopWindow>(spec);
    window->callback(lf_onCloseRequest);
    window->end();
    window->show();
    if (!window->shown()) return false;
    g_window = window.release();
    Fl::flush();
    return true;
}

void closeMainWindow() {
    if (g_window == nullptr) return;
    g_window->hide();
    delete g_window;
    g_window = nullptr;
    Fl::flush();
}

std::optional<WindowPosition> mainWindowPosition() {
    if (g_window == nullptr) return std::nullopt;
    return WindowPosition{g_window->x(), g_window->y()};
}

void setMainWindowOnTop(bool onTop) {
    if (g_window == nullptr || !g_window->shown()) return;
    // The window manager keeps windows above others on request (EWMH).
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = fl_xid(g_window);
    event.xclient.message_type = XInternAtom(fl_display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = onTop ? 1 : 0;  // add or remove
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(fl_display, "_NET_WM_STATE_ABOVE", False));
    event.xclient.data.l[2] = 0;
    event.xclient.data.l[3] = 1;  // asked by an application
    XSendEvent(fl_display, DefaultRootWindow(fl_display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(fl_display);
}

void redrawMainWindow() {
    if (g_window != nullptr) g_window->redraw();
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

void routeCloseSignals() {
    if (g_signalPipe[0] >= 0) return;
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    Fl::add_fd(g_signalPipe[0], FL_READ, lf_onSignalPipe, nullptr);
    struct sigaction action {};
    action.sa_handler = lf_onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

int runUiLoop() {
    g_quit = false;
    while (!g_quit) {
        lf_drainQueue();
        if (g_quit) break;
        // Wakes for window events, a posted call or a signal; the timeout only
        // bounds the wait should a wake-up ever be missed.
        Fl::wait(0.5);
    }
    return g_exitCode;
}

void quitUiLoop(int code) {
    g_exitCode = code;
    g_quit = true;
}

}  // namespace clv::platform
