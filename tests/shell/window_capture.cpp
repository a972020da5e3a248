#include "window_capture.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <fstream>

namespace clv::test {
namespace {

std::optional<long> lf_processOf(Display* display, Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    std::optional<long> pid;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr && count == 1 && format == 32) {
        pid = *reinterpret_cast<long*>(data);
    }
    if (data != nullptr) XFree(data);
    return pid;
}

std::optional<Window> lf_search(Display* display, Window window, const std::string& title,
                                std::optional<long> processId, int depth) {
    char* name = nullptr;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        const bool same = title == name;
        XFree(name);
        if (same && (!processId || lf_processOf(display, window) == processId)) return window;
    }
    if (depth == 0) return std::nullopt;
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return std::nullopt;
    std::optional<Window> found;
    for (unsigned i = 0; i < count && !found; ++i) {
        found = lf_search(display, children[i], title, processId, depth - 1);
    }
    if (children != nullptr) XFree(children);
    return found;
}

// The position of the lowest set bit of a colour mask, and its width.
int lf_shift(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1UL) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

std::uint8_t lf_channel(unsigned long pixel, unsigned long mask) {
    const unsigned long value = (pixel & mask) >> lf_shift(mask);
    const unsigned long top = mask >> lf_shift(mask);
    return static_cast<std::uint8_t>(top == 0 ? 0 : value * 255 / top);
}

std::uint32_t lf_crc(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0xffffffffu) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xff] ^ (crc >> 8);
    return crc;
}

void lf_put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void lf_chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    lf_put32(out, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    lf_put32(out, lf_crc(body.data(), body.size()) ^ 0xffffffffu);
}

}  // namespace

PrivateDisplay::PrivateDisplay() {
    // Numbers that follow from the process id, so that processes running side by
    // side seldom meet; a server that finds its number taken ends at once, and
    // the next is tried.
    static int instances = 0;
    const long first = static_cast<long>(::getpid()) * 5 + 2L * instances++;
    for (long attempt = 0; attempt < 20 && name_.empty(); ++attempt) {
        const int number = 1000 + static_cast<int>((first + attempt * 7919) % 58000);
        int fds[2];
        if (::pipe(fds) != 0) return;
        const pid_t pid = ::fork();
        if (pid < 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            return;
        }
        if (pid == 0) {
            ::close(fds[0]);
            const std::string display = ":" + std::to_string(number);
            const std::string fd = std::to_string(fds[1]);
            // Xvfb writes the display number to the pipe once it serves. Without
            // -noreset it would start afresh whenever its last client leaves,
            // refusing clients for that moment.
            ::execlp("Xvfb", "Xvfb", display.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
                     "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string written;
        pollfd ready{fds[0], POLLIN, 0};
        char c = 0;
        // The limit only guards against a server that never starts.
        while (::poll(&ready, 1, 30000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') written += c;
        ::close(fds[0]);
        // Still running after it said it serves: the display is this server's.
        if (written == std::to_string(number) && ::waitpid(pid, nullptr, WNOHANG) == 0) {
            pid_ = pid;
            name_ = ":" + written;
            return;
        }
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
}

bool PrivateDisplay::running() const { return pid_ > 0 && ::waitpid(static_cast<pid_t>(pid_), nullptr, WNOHANG) == 0; }

void PrivateDisplay::kill() {
    if (pid_ <= 0) return;
    ::kill(static_cast<pid_t>(pid_), SIGKILL);
    ::waitpid(static_cast<pid_t>(pid_), nullptr, 0);
    pid_ = -1;
}

PrivateDisplay::~PrivateDisplay() {
    if (pid_ <= 0) return;
    ::kill(static_cast<pid_t>(pid_), SIGTERM);
    ::waitpid(static_cast<pid_t>(pid_), nullptr, 0);
}

std::optional<Window> gf_findWindowNamed(Display* display, const std::string& title,
                                         std::optional<long> processId) {
    return lf_search(display, DefaultRootWindow(display), title, processId, 3);
}

void gf_ignoreXErrors() {
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
}

Image gf_captureWindow(Display* display, Window window) {
    XWindowAttributes attributes{};
    Image image;
    if (XGetWindowAttributes(display, window, &attributes) == 0) return image;
    XImage* x = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                          static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (x == nullptr) return image;
    image.width = attributes.width;
    image.height = attributes.height;
    image.pixels.reserve(static_cast<std::size_t>(image.width * image.height));
    for (int y = 0; y < image.height; ++y) {
        for (int px = 0; px < image.width; ++px) {
            const unsigned long pixel = XGetPixel(x, px, y);
            image.pixels.push_back(platform::Rgb{lf_channel(pixel, x->red_mask), lf_channel(pixel, x->green_mask),
                                                 lf_channel(pixel, x->blue_mask)});
        }
    }
    XDestroyImage(x);
    return image;
}

bool gf_writePng(const Image& image, const std::filesystem::path& path) {
    // The rows, each after its filter byte (none), as stored deflate blocks.
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < image.width; ++x) {
            const platform::Rgb c = image.at(x, y);
            raw.insert(raw.end(), {c.r, c.g, c.b});
        }
    }
    std::vector<std::uint8_t> zlib{0x78, 0x01};
    constexpr std::size_t kBlock = 65535;
    for (std::size_t at = 0; at < raw.size() || at == 0; at += kBlock) {
        const std::size_t n = std::min(kBlock, raw.size() - at);
        const bool last = at + n >= raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<std::uint8_t>(n & 0xff));
        zlib.push_back(static_cast<std::uint8_t>(n >> 8));
        zlib.push_back(static_cast<std::uint8_t>(~n & 0xff));
        zlib.push_back(static_cast<std::uint8_t>((~n >> 8) & 0xff));
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                    raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        if (last) break;
    }
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    lf_put32(zlib, (b << 16) | a);

    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<std::uint8_t> header;
    lf_put32(header, static_cast<std::uint32_t>(image.width));
    lf_put32(header, static_cast<std::uint32_t>(image.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter method, no interlace
    lf_chunk(png, "IHDR", header);
    lf_chunk(png, "IDAT", zlib);
    lf_chunk(png, "IEND", {});
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(out);
}

void gf_sendClick(Display* display, Window window, int x, int y) {
    for (int type : {ButtonPress, ButtonRelease}) {
        XEvent event{};
        event.xbutton.type = type;
        event.xbutton.display = display;
        event.xbutton.window = window;
        event.xbutton.root = DefaultRootWindow(display);
        event.xbutton.subwindow = None;
        event.xbutton.time = CurrentTime;
        event.xbutton.x = x;
        event.xbutton.y = y;
        event.xbutton.button = Button1;
        event.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
        event.xbutton.same_screen = True;
        XSendEvent(display, window, True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
    }
    XFlush(display);
}

void gf_sendKey(Display* display, Window window, unsigned long keysym) {
    for (int type : {KeyPress, KeyRelease}) {
        XEvent event{};
        event.xkey.type = type;
        event.xkey.display = display;
        event.xkey.window = window;
        event.xkey.root = DefaultRootWindow(display);
        event.xkey.subwindow = None;
        event.xkey.time = CurrentTime;
        event.xkey.keycode = XKeysymToKeycode(display, static_cast<KeySym>(keysym));
        event.xkey.same_screen = True;
        XSendEvent(display, window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &event);
    }
    XFlush(display);
}

}  // namespace clv::test

// Read by the leak checker of sanitizer builds (unused otherwise): the shell's
// tests open windows in-process, and the font and display libraries under the
// window toolkit keep caches for the life of the process and never free them.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libX11.so\n"
           "leak:libXft.so\n"
           "leak:libfltk.so\n";
}
