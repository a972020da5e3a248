#pragma once
// The status and error lines of the main window, as the UI port every
// subsystem reaches through gf_setStatusLine and gf_showError.
#include <functional>
#include <string>

#include "core/ui_port.h"
#include "shell/run_services.h"

namespace clv {

// Keeps the texts in the window's state and asks the window for a repaint; never
// draws. The control calls do nothing until the window has its controls.
class ShellUiPort final : public UiPort {
public:
    explicit ShellUiPort(ShellWindow window) : window_(std::move(window)) {}

    // Dropped while an error text stands; else shown, counted from the current
    // data step and, when `log` is set, written to Log.txt.
    void setStatusLine(const std::string& text, bool log) override;
    // Stands until cleared; empties the status text; logged as "Error {}".
    void showError(const std::string& text) override;

    void setChecked(ControlHandle, bool) override {}
    bool isChecked(ControlHandle) override { return false; }
    void setEnabled(ControlHandle, bool) override {}
    bool isEnabled(ControlHandle) override { return false; }
    void setText(ControlHandle, const std::string&) override {}
    std::string getText(ControlHandle) override { return {}; }
    void requestRepaint() override;
    void postToUi(std::function<void()> call) override;

private:
    ShellWindow window_;
};

}  // namespace clv

// An empty status line (nothing is logged).
void gf_clearStatusLine();
// Ends a standing error: the next status message is shown again.
void gf_clearErrorText();
// One data step for the status line: counts it and clears a status message
// that has stood for 25 steps.
void gf_statusDataStep();
