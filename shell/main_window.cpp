#include "shell/main_window.h"

#include <variant>

#include "core/log.h"
#include "core/parameters.h"
#include "link/realtraffic_state.h"
#include "shell/commands.h"
#include "shell/edit_handlers.h"
#include "shell/panels.h"

clv::MainWindow mainWindow;

namespace clv {

std::string MainWindow::status() const {
    std::lock_guard lock(statusMutex);
    return statusText;
}

std::string MainWindow::error() const {
    std::lock_guard lock(statusMutex);
    return errorText;
}

std::int32_t MainWindow::statusStep() const {
    std::lock_guard lock(statusMutex);
    return statusSetStep;
}

ParkingPanel MainWindow::parkingPanel() const {
    std::lock_guard lock(panelMutex);
    return parking;
}

std::string MainWindow::addonAirportFolder() const {
    std::lock_guard lock(panelMutex);
    return addonFolder;
}

}  // namespace clv

namespace {

void lf_repaint() { gf_uiPort().requestRepaint(); }

// Stores the value; true when it differs from the one before.
template <typename T>
bool lf_store(std::atomic<T>& field, T value) {
    return field.exchange(value) != value;
}

// A check box shows its new state when its click reaches the handler; the
// command toggles from the state before, so that the click counts once.
void lf_checkBoxClicked(std::uint16_t id, clv::ControlHandle handle) {
    const std::optional<bool> now = clv::platform::controlChecked(handle);
    if (!now) return;
    gf_uiPort().setChecked(handle, !*now);
    gf_handleCommand(id);
}

}  // namespace

void gf_paintMainWindow(clv::platform::Painter& painter) {
    clv::gf_renderDrawList(clv::gf_buildDrawList(clv::gf_panelSnapshot()), painter);
}

void gf_resetMainWindowState() {
    {
        std::lock_guard lock(mainWindow.statusMutex);
        mainWindow.statusText.clear();
        mainWindow.errorText.clear();
        mainWindow.statusSetStep = 0;
    }
    mainWindow.displayStep = 0;
    mainWindow.minutesToNext = 0;
    mainWindow.feedLampsHidden = true;
}

void gf_resetPanelFigures() {
    mainWindow.liveCount = 0;
    mainWindow.parkedLiveCount = 0;
    mainWindow.parkedStaticCount = 0;
    mainWindow.liveAverageFit = -1.0f;
    mainWindow.staticAverageFit = -1.0f;
    mainWindow.parkingBusy = 0;
    mainWindow.parkingActive = false;
    mainWindow.parkingChanged = false;
    {
        std::lock_guard lock(mainWindow.panelMutex);
        mainWindow.parking = clv::ParkingPanel{};
    }
    mainWindow.feedLampsHidden = true;
    trafficLamp = kLampStopped;
    weatherLamp = kLampStopped;
    lf_repaint();
}

void gf_createControls(clv::UiPort& port) {
    if (!clv::platform::mainWindowOpen()) return;
    if (clv::platform::controlChecked(MSFS_2020.handle.load())) return;  // made already
    clv::platform::setWindowErrorReporter([](const std::string& text) { gf_log(text); });
    for (const clv::ControlPlacement& placement : gf_controlLayout()) {
        ParameterControl& control = placement.control();
        const std::uint16_t id = control.controlId;
        clv::platform::ControlDescription description;
        description.x = placement.x;
        description.y = placement.top();
        description.width = placement.width;
        description.height = placement.height();
        std::function<void()> action;
        if (auto* box = std::get_if<ControlParameter<bool>*>(&placement.target)) {
            description.kind = clv::platform::ControlKind::CheckBox;
            const clv::ControlHandle handle =
                clv::platform::addControl(description, [id, &control] { lf_checkBoxClicked(id, control.handle.load()); });
            control.handle = handle;
            port.setChecked(handle, (*box)->value.get());
            port.setEnabled(handle, true);
            continue;
        }
        if (auto* button = std::get_if<ParameterButton*>(&placement.target)) {
            description.kind = clv::platform::ControlKind::Button;
            description.caption = (*button)->name;
            action = [id] { gf_handleCommand(id); };
        } else {
            description.kind = clv::platform::ControlKind::Edit;
            action = [id] { gf_editEnter(id); };
        }
        const clv::ControlHandle handle = clv::platform::addControl(description, std::move(action));
        control.handle = handle;
        port.setEnabled(handle, false);
    }
    lf_repaint();
}

// ---- setters ------------------------------------------------------------------------

void gf_setLiveCounts(std::uint64_t live, std::uint64_t parkedLive, std::uint64_t parkedStatic) {
    bool changed = lf_store(mainWindow.liveCount, live);
    changed |= lf_store(mainWindow.parkedLiveCount, parkedLive);
    changed |= lf_store(mainWindow.parkedStaticCount, parkedStatic);
    if (changed) lf_repaint();
}

void gf_setLiveAverageFit(float hours) {
    if (lf_store(mainWindow.liveAverageFit, hours)) lf_repaint();
}

void gf_setStaticAverageFit(float hours) {
    if (lf_store(mainWindow.staticAverageFit, hours)) lf_repaint();
}

void gf_setParkingPanel(const clv::ParkingPanel& panel) {
    {
        std::lock_guard lock(mainWindow.panelMutex);
        mainWindow.parking = panel;
    }
    lf_repaint();
}

void gf_setAddonAirports(std::uint64_t count, const std::string& folder) {
    {
        std::lock_guard lock(mainWindow.panelMutex);
        mainWindow.addonFolder = folder;
    }
    mainWindow.addonAirportCount = count;
    lf_repaint();
}

void gf_setParkingBusy(std::int32_t busy) {
    if (lf_store(mainWindow.parkingBusy, busy)) lf_repaint();
}

void gf_setParkingActive(bool active) {
    if (lf_store(mainWindow.parkingActive, active)) lf_repaint();
}
