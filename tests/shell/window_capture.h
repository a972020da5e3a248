#pragma once
// The tests' view of a window on the X display: find it by its title, read its
// pixels, save them as PNG, and play the user's mouse and keyboard on it.
#include <X11/Xlib.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/window.h"

namespace clv::test {

// An X display of the test's own (an Xvfb server), so that windows of other
// tests running at the same time are neither found nor disturbed.
class PrivateDisplay {
public:
    PrivateDisplay();
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // ":N"; empty when no display server could be started.
    const std::string& name() const { return name_; }
    // The server still serves.
    bool running() const;
    // The server killed at once, as a crash or a closed virtual display would end it.
    void kill();

private:
    long pid_ = -1;
    std::string name_;
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<platform::Rgb> pixels;  // row by row

    platform::Rgb at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// The top-level window with this title, searched a few levels below the root;
// with a process id, only a window of that process (_NET_WM_PID) counts.
std::optional<Window> gf_findWindowNamed(Display* display, const std::string& title,
                                         std::optional<long> processId = std::nullopt);

// X errors (a window that went away meanwhile) no longer end the process; the
// call that met one just returns nothing useful.
void gf_ignoreXErrors();

// The window's client area as it is on the screen; an empty image when the
// window is gone.
Image gf_captureWindow(Display* display, Window window);

// An 8-bit RGB PNG (stored, not compressed); false when the file cannot be written.
bool gf_writePng(const Image& image, const std::filesystem::path& path);

// A left click at the window's client point; a key press and release (keysym).
void gf_sendClick(Display* display, Window window, int x, int y);
void gf_sendKey(Display* display, Window window, unsigned long keysym);

}  // namespace clv::test
