#pragma once
// A fixture for the window's handlers without a display: every control of the
// options panel has a handle of its own (the port keeps its state), the
// settings start from a fresh parameters.xml, and the hooks to the other
// subsystems record what the handlers asked of them.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/geodesy.h"
#include "core/parameter.h"
#include "shell/window_services.h"
#include "shell_support.h"

namespace clv::test {

struct RecordedHooks {
    std::map<std::string, LatLon> airports{{"EDDF", {50.0333, 8.5706}}, {"LSZH", {47.4647, 8.5492}}};
    std::vector<std::pair<std::string, LatLon>> parkAirportsSet;
    std::optional<LatLon> firstParkAirport;
    int enforceMaxLive = 0;
    std::vector<bool> navLights;
    int liveryIndexClears = 0;
    int addonScanResets = 0;
    UserAcFix user;
    std::vector<bool> onTop;
};

class HandlerTest : public ShellTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // What the user typed into the field, then Enter.
    void type(const ParameterControl& field, const std::string& text);
    // A click on a check box or button; returns the handler's "not mine".
    bool click(const ParameterControl& control);

    bool checked(const ParameterControl& control) const;
    bool enabled(const ParameterControl& control) const;
    std::string fieldText(const ParameterControl& control) const;

    RecordedHooks hooks;
};

}  // namespace clv::test
