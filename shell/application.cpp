#include "shell/application.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <pugixml.hpp>

#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/product.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "platform/window.h"
#include "shell/main_window.h"
#include "shell/run_controller.h"
#include "shell/status_lines.h"

namespace {

constexpr int kStartFailed = 1;

// The stored position; one left at a limit (a window lost off screen) comes
// back at the default.
void lf_loadWindowPosition() {
    pugi::xml_document document;
    if (!document.load_file(g_parametersXmlPath.c_str())) return;
    for (Parameter<int>* p : {&MAIN_WINDOW_X, &MAIN_WINDOW_Y}) {
        p->read(document);
        if (p->value != p->min && p->value != p->max) continue;
        p->value = p->def < p->min ? p->min : std::min(p->def, p->max);
        p->save();
    }
}

bool initInstance() {
    std::string reason;
    if (!clv::platform::openDisplay(reason)) {
        gf_log("No display: {}", reason);
        std::fprintf(stderr, "%s: %s\n", clv::kProductName, reason.c_str());
        return false;
    }
    clv::platform::stopAtStartStage("display");
    lf_loadWindowPosition();
    const clv::platform::WindowGeometry geometry{clv::kProductName, MAIN_WINDOW_X.value, MAIN_WINDOW_Y.value,
                                         clv::kMainWindowWidth, clv::kMainWindowHeight};
    return clv::platform::openMainWindow(geometry, {gf_paintMainWindow, gf_closeButton});
}

}  // namespace

clv::ShellWindow gf_desktopShellWindow() {
    clv::ShellWindow window;
    window.post = clv::platform::postToUiThread;
    window.repaint = clv::platform::requestMainWindowRepaint;
    window.position = []() -> std::optional<std::pair<int, int>> {
        const auto p = clv::platform::mainWindowPosition();
        if (!p) return std::nullopt;
        return std::pair{p->x, p->y};
    };
    window.setOnTop = clv::platform::setMainWindowOnTop;
    window.quit = clv::platform::quitUiLoop;
    return window;
}

int gf_runApplication(clv::RunServices services) {
    if (!initInstance()) {
        gf_log("initInstance failed");
        return kStartFailed;
    }
    std::error_code ec;
    if (!std::filesystem::exists(g_programDataFolder, ec) && !ec) {
        std::filesystem::create_directories(g_programDataFolder, ec);
    }
    if (ec) {
        gf_log("Failed to create directory: {}", ec.message());
        std::fprintf(stderr, "%s: cannot create %s: %s\n", clv::kProductName, g_programDataFolder.c_str(),
                     ec.message().c_str());
        clv::platform::closeMainWindow();
        return kStartFailed;
    }

    const clv::ShellWindow window = gf_desktopShellWindow();
    clv::ShellUiPort port(window);
    gf_setUiPort(&port);
    gf_installShellWindow(window);
    gf_installRunServices(std::move(services), gf_realTiming());
    clv::platform::stopAtStartStage("window");
    // The close signals held since the start (a close asked for meanwhile
    // included) reach the loop from here on; the run is posted first, so that a
    // close is a stop of that run and closes down in order.
    if (!clv::platform::routeCloseSignals()) {
        gf_logMarked("Close signals cannot be read ({}); they end the program without its closing down",
                     std::strerror(errno));
    }
    clv::platform::stopAtStartStage("routed");

    window.post(&gf_startRun);
    const int code = clv::platform::runUiLoop();

    gf_stopRunThreads();
    gf_setUiPort(nullptr);
    clv::platform::closeMainWindow();
    return code;
}
