#include "handler_support.h"

#include <variant>

#include "core/parameter_store.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "core/stop_flags.h"
#include "shell/commands.h"
#include "shell/edit_handlers.h"
#include "shell/main_window.h"

namespace clv::test {

namespace {
// Far from any handle a window would give, so that no widget is ever reached.
constexpr ControlHandle kFirstHandle = 7001;
}  // namespace

void HandlerTest::SetUp() {
    ShellTest::SetUp();
    // Every setting from the fresh file (or its default), the rest as a run starts them.
    gf_readParametersXml();
    parking_percentage.value = 30;
    MAX_FIT_FL.value = static_cast<float>(MAX_FIT.value) * 0.5f + 0.5f;
    ALL_INSTALL_PATH.value = "";
    CALLSIGN_2_OBJECTID.value = "";
    gf_refreshLateralRangeCopies();
    maxLiveInUse = MAX_LIVE.value.get();
    lateralRangeInUse = LATERAL_RANGE.value.get();
    gf_resetPanelFigures();

    ControlHandle next = kFirstHandle;
    for (const ControlPlacement& placement : gf_controlLayout()) {
        const ControlHandle handle = next++;
        placement.control().handle = handle;
        if (auto* box = std::get_if<ControlParameter<bool>*>(&placement.target)) {
            port->setChecked(handle, (*box)->value);
        } else {
            port->setEnabled(handle, false);
        }
    }
    gf_setIntEdit(LATERAL_RANGE);

    WindowHooks recording;
    recording.findAirport = [this](const std::string& code) -> std::optional<LatLon> {
        auto found = hooks.airports.find(code);
        if (found == hooks.airports.end()) return std::nullopt;
        return found->second;
    };
    recording.setParkAirport = [this](const std::string& code, LatLon at) { hooks.parkAirportsSet.emplace_back(code, at); };
    recording.firstParkAirport = [this] { return hooks.firstParkAirport; };
    recording.enforceMaxLive = [this] { ++hooks.enforceMaxLive; };
    recording.parkedNavLights = [this](bool on) { hooks.navLights.push_back(on); };
    recording.clearLiveryIndex = [this] { ++hooks.liveryIndexClears; };
    recording.resetAddonScan = [this] { ++hooks.addonScanResets; };
    recording.userAircraft = [this] { return hooks.user; };
    recording.setOnTop = [this](bool on) { hooks.onTop.push_back(on); };
    gf_installWindowHooks(recording);
    gf_clearStatusLine();
}

void HandlerTest::TearDown() {
    for (const ControlPlacement& placement : gf_controlLayout()) placement.control().handle = 0;
    gf_installWindowHooks(gf_productWindowHooks());
    gf_resetPanelFigures();
    ShellTest::TearDown();
}

void HandlerTest::type(const ParameterControl& field, const std::string& text) {
    port->setText(field.handle.load(), text);
    gf_editEnter(field.controlId);
}

bool HandlerTest::click(const ParameterControl& control) { return gf_handleCommand(control.controlId); }

bool HandlerTest::checked(const ParameterControl& control) const { return port->isChecked(control.handle.load()); }

bool HandlerTest::enabled(const ParameterControl& control) const { return port->isEnabled(control.handle.load()); }

std::string HandlerTest::fieldText(const ParameterControl& control) const {
    return port->getText(control.handle.load());
}

}  // namespace clv::test
