// The program's main window as a user sees it: started in a prepared folder on
// a display of the test's own, its client area is captured and saved as a PNG
// under /tmp/clv_screens/, and the bands and every control are found at their places.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "core/parameters.h"
#include "shell/draw_list.h"
#include "product_run_support.h"
#include "support/temp_folder.h"
#include "window_capture.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Only guards against a hang.
constexpr auto kLimit = 90s;

const fs::path kScreensFolder = "/tmp/clv_screens";

// The program in a working folder with "docs", a simulator folder with its
// Community folder and stored settings that name it.
class PreparedProgram {
public:
    PreparedProgram(const TempFolder& folder, const std::string& display) {
        for (const char* sub : {"home", "config/Calvorinth", "data", "runtime", "work/docs", "sim/Community"}) {
            fs::create_directories(folder / sub);
        }
        work_ = folder / "work";
        output_ = folder / "program.txt";
        environment_ = {{"HOME", (folder / "home").string()},
                        {"XDG_CONFIG_HOME", (folder / "config").string()},
                        {"XDG_DATA_HOME", (folder / "data").string()},
                        {"XDG_RUNTIME_DIR", (folder / "runtime").string()},
                        {"DISPLAY", display},
                        {"CALVORINTH_SERVER_URL", ""}};  // no update check
        const std::string sim = (folder / "sim").string();
        folder.write("config/Calvorinth/parameters.xml",
                  "<?xml version=\"1.0\"?>\n<parameters>\n"
                  "  <parameter name=\"MSFS_INSTALL_PATH\" value=\"" + sim + "\" />\n"
                  "  <parameter name=\"PROGRAM_VERSION\" value=\"10.10.9\" />\n"
                  "  <parameter name=\"SCAN_LIVERIES\" value=\"false\" />\n"
                  "  <parameter name=\"SCAN_AIRPORTS\" value=\"false\" />\n"
                  "  <parameter name=\"MAX_LIVE\" value=\"40\" />\n"
                  "</parameters>\n");
    }
    void start() { child_.start(CLV_PROGRAM_PATH, {}, work_, environment_, output_); }
    std::optional<int> stop() {
        child_.signal(SIGTERM);
        return child_.waitForExit(std::chrono::duration_cast<std::chrono::seconds>(kLimit));
    }

    const fs::path& work() const { return work_; }
    pid_t pid() const { return child_.pid(); }

private:
    fs::path work_;
    fs::path output_;
    std::map<std::string, std::string> environment_;
    ChildProcess child_;
};

bool lf_same(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size()) return false;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        if (!(a.pixels[i] == b.pixels[i])) return false;
    }
    return true;
}

// Waits until the run has enabled the controls and the window stands still.
std::optional<Image> lf_settledWindow(Display* display, pid_t pid, const fs::path& log) {
    const auto end = std::chrono::steady_clock::now() + kLimit;
    std::optional<Window> window;
    while (std::chrono::steady_clock::now() < end) {
        if (!window) window = gf_findWindowNamed(display, "Calvorinth", pid);
        const std::string text = fs::exists(log) ? readFile(log) : std::string();
        // The run has passed the point where it enables the options' controls,
        // or has stopped with an error on the way.
        if (window && (text.find("detected at this PC") != std::string::npos ||
                       text.find("Error ") != std::string::npos)) {
            break;
        }
        std::this_thread::sleep_for(50ms);
    }
    if (!window) return std::nullopt;
    Image last = gf_captureWindow(display, *window);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(500ms);
        Image now = gf_captureWindow(display, *window);
        if (lf_same(now, last)) return now;
        last = std::move(now);
    }
    return last;
}

TEST(MainWindowScreen, ControlsAndPanelsSitAtTheirPlaces) {
    PrivateDisplay screen;
    if (screen.name().empty()) GTEST_SKIP() << "needs Xvfb (scripts/deps installs it)";
    TempFolder folder;
    PreparedProgram program(folder, screen.name());
    program.start();
    gf_ignoreXErrors();
    Display* display = XOpenDisplay(screen.name().c_str());
    ASSERT_NE(display, nullptr);
    const std::optional<Image> shot = lf_settledWindow(display, program.pid(), program.work() / "Log.txt");
    XCloseDisplay(display);
    ASSERT_TRUE(shot.has_value()) << "the main window did not appear";
    fs::create_directories(kScreensFolder);
    EXPECT_TRUE(gf_writePng(*shot, kScreensFolder / "main_window.png"));

    const Image& image = *shot;
    ASSERT_EQ(image.width, 880);
    ASSERT_EQ(image.height, 476);
    // The bands, at points where no text or control lies.
    EXPECT_EQ(image.at(300, 2), kBlack);        // title
    EXPECT_EQ(image.at(870, 160), kLightBlue);  // options panel
    EXPECT_EQ(image.at(870, 440), kBlack);      // parking panel
    const platform::Rgb strip = image.at(875, 470);
    EXPECT_TRUE(strip == kGreen || strip == kRed);
    EXPECT_EQ(image.at(100, 28), kWhite);  // band border
    EXPECT_EQ(image.at(100, 140), kBlack);  // option row separator

    // Every control covers the panel's light blue exactly from its place on: its
    // left edge and, unless it reaches past the window, its right edge, half way
    // down, and its top edge, with the panel showing just above it.
    int checked = 0;
    for (const ControlPlacement& placement : gf_controlLayout()) {
        const int x = placement.x;
        const int top = placement.top();
        const int y = top + placement.height() / 2;
        const int right = x + placement.width - 1;
        SCOPED_TRACE(testing::Message() << "control " << placement.control().controlId << " at " << x << "," << top);
        EXPECT_FALSE(image.at(x, y) == kLightBlue);
        if (right < image.width) {
            EXPECT_FALSE(image.at(right, y) == kLightBlue);
        }
        EXPECT_FALSE(image.at(x + 2, top) == kLightBlue);
        EXPECT_EQ(image.at(x + 2, top - 1), kLightBlue);
        ++checked;
    }
    EXPECT_EQ(checked, 42);

    EXPECT_EQ(program.stop(), std::optional<int>(0));
}

}  // namespace
}  // namespace clv::test
