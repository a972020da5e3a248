#include "shell/run_controller.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <fmt/format.h>

#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/product.h"
#include "core/stop_flags.h"
#include "core/user_error.h"
#include "core/workers.h"
#include "shell/main_window.h"

#include "shell/run_support.h"

namespace fs = std::filesystem;
using clv::ExitReason;

namespace {

const clv::RunServices& S = g_runServices;

void lf_runFailed(const std::string& text) {
    gf_showError(text);
    gf_requestStop(ExitReason::SystemError, 0);
}

void lf_runThread() {
    try {
        std::error_code ec;
        const fs::file_status docs = fs::status(g_docsFolder, ec);
        if (ec && docs.type() != fs::file_type::not_found) throw fs::filesystem_error("status", g_docsFolder, ec);
        if (!fs::is_directory(docs)) {
            throw clv::UserErrorException(
                41, fmt::format("{} must be run from the {} folder!", clv::kProductName, clv::kProductName));
        }
        gf_installChecks();
        gf_initWorkerThrottle();
        std::error_code scannedEc;
        if (!fs::exists(g_liveriesScannedFile, scannedEc) && !SCAN_LIVERIES.value) {
            gf_setStatusLine(fmt::format("File {} is gone, rescan liveries", g_liveriesScannedFile.string()), true);
            gf_switchOnAndSave(SCAN_LIVERIES);
            gf_repaint();
        }
        gf_need(S.liveries.scanLiveries, kLiveriesMissing)();
        if (gf_stopSeen()) return;
        if (SCAN_AIRPORTS.value) {
            mainWindow.simaddonCount = 0;
            mainWindow.thirdpartyCount = 0;
            gf_repaint();
            gf_need(S.airports.scanAddonAirports, kAirportsMissing)();
        }
        mainWindow.simaddonCount = static_cast<std::uint64_t>(gf_countFolderEntries(g_raVudovodoFolder));
        mainWindow.thirdpartyCount = static_cast<std::uint64_t>(gf_countFolderEntries(g_myThirdpartyFolder));
        gf_repaint();
        if (gf_stopSeen()) {
            // Closing down then does not wait for the close button.
            userClosedWindow = true;
            stopRequested = true;
            return;
        }
        gf_need(S.sim.createPlnFolder, kSimLinkMissing)();
        gf_need(S.airports.readMyParkAirports, kAirportsMissing)();
        gf_enableControl(REREAD_BUTTON, true);
        const std::string destination = DESTINATION.value.get();
        if (!destination.empty()) {
            if (const auto airport = gf_need(S.airports.findAirport, kAirportsMissing)(destination)) {
                gf_callIfSet(S.window.newDestination, destination, airport->lat, airport->lon);
            }
        }
        const bool onTop = ALWAYS_ON_TOP.value;
        gf_postToUiThread([onTop] {
            if (g_shellWindow.setOnTop) g_shellWindow.setOnTop(onTop);
        });
        if (AUTO_RANGE.value) {
            gf_callIfSet(S.window.updateRangeLimits);
            gf_enableControl(LATERAL_RANGE, false);
        }
        gf_run();
    } catch (const clv::UserErrorException& e) {
        gf_showError(e.what());
        gf_forceSystemError();
    } catch (const fmt::format_error& e) {
        lf_runFailed(std::string("std::format error: ") + e.what());
    } catch (const std::bad_alloc& e) {
        lf_runFailed(e.what());
    } catch (const std::out_of_range& e) {
        lf_runFailed(e.what());
    } catch (const std::runtime_error& e) {
        lf_runFailed(e.what());
    } catch (const std::exception& e) {
        lf_runFailed(e.what());
    } catch (...) {
        gf_showError("Unknown exception");
        gf_forceSystemError();
    }
}

}  // namespace

void gf_installRunServices(clv::RunServices services, clv::RunTiming timing) {
    g_runServices = std::move(services);
    g_runTiming = std::move(timing);
}

void gf_installShellWindow(clv::ShellWindow window) { g_shellWindow = std::move(window); }

void gf_runThread() {
    try {
        lf_runThread();
        gf_closingDown();
    } catch (const std::exception& e) {
        // Closing down guards its own steps; this is the last resort, so that
        // the window never stays without a run.
        gf_logMarked("Exception in the run thread: {}", e.what());
        gf_postToUiThread(&gf_saveAndQuit);
    } catch (...) {
        gf_logMarked("Exception in the run thread");
        gf_postToUiThread(&gf_saveAndQuit);
    }
}

void gf_startRun() {
    if (closeButtonPressed) {
        gf_saveAndQuit();
        return;
    }
    if (runThreadSlot.joinable()) {
        runThreadSlot.request_stop();
        runThreadSlot.join();
    }
    runThreadSlot = std::jthread([] { gf_runThread(); });
}

namespace {

// A window left at a limit was lost off screen: the position it had before is kept.
void lf_clampWindowSize(int previousX, int previousY) {
    for (auto [p, previous] : {std::pair{&MAIN_WINDOW_X, previousX}, std::pair{&MAIN_WINDOW_Y, previousY}}) {
        if (p->value != p->min && p->value != p->max) continue;
        p->value = gf_clampToLimits(previous, *p);
        p->save();
    }
}

}  // namespace

void gf_saveAndQuit() {
    const auto position = g_shellWindow.position ? g_shellWindow.position() : std::nullopt;
    if (position) {
        const int previousX = MAIN_WINDOW_X.value;
        const int previousY = MAIN_WINDOW_Y.value;
        MAIN_WINDOW_X.value = gf_clampToLimits(position->first, MAIN_WINDOW_X);
        MAIN_WINDOW_X.save();
        MAIN_WINDOW_Y.value = gf_clampToLimits(position->second, MAIN_WINDOW_Y);
        MAIN_WINDOW_Y.save();
        lf_clampWindowSize(previousX, previousY);
    }
    gf_closeLog();
    if (g_shellWindow.quit) g_shellWindow.quit(0);
}

void gf_closeButton() {
    gf_setStatusLine(fmt::format("Close window button clicked, closing {} ...", clv::kProductName), false);
    gf_requestStopByUser();
}

void gf_stopRunThreads() {
    gf_requestStopByUser();  // anything still running ends
    if (runThreadSlot.joinable()) runThreadSlot.join();
    if (simConnectThreadSlot.joinable()) {
        simConnectThreadSlot.request_stop();
        simConnectThreadSlot.join();
    }
}
