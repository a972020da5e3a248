#pragma once
// The status and error lines of the main window, and the window's controls, as
// the UI port every subsystem reaches through gf_setStatusLine, gf_showError and
// the control calls of core/ui_port.h.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "core/ui_port.h"
#include "shell/run_services.h"

namespace clv {

// Keeps the texts in the window's state and asks the window for a repaint; never
// draws. Keeps what every control was last given, so that callers on any thread
// set a control without waiting for the UI thread: the widget follows on the UI
// thread, always with the latest state.
class ShellUiPort final : public UiPort {
public:
    // When the desktop window is open, it gets its controls now.
    explicit ShellUiPort(ShellWindow window);

    // Dropped while an error text stands; else shown, counted from the current
    // data step and, when `log` is set, written to Log.txt.
    void setStatusLine(const std::string& text, bool log) override;
    // Stands until cleared; empties the status text; logged as "Error {}".
    void showError(const std::string& text) override;

    // Any thread.
    void setChecked(ControlHandle control, bool checked) override;
    void setEnabled(ControlHandle control, bool enabled) override;
    void setText(ControlHandle control, const std::string& text) override;
    // The state last set (a check box click sets it first); a control never set
    // stands as created: enabled, unchecked.
    bool isChecked(ControlHandle control) override;
    bool isEnabled(ControlHandle control) override;
    // UI thread: what the field shows, as the user typed it; a text set but not
    // yet shown is returned as set.
    std::string getText(ControlHandle control) override;
    void requestRepaint() override;
    void postToUi(std::function<void()> call) override;

private:
    struct ControlState {
        bool checked = false;
        bool enabled = true;
        std::string text;
        int textsPending = 0;  // texts set whose showing has not run yet
    };
    struct Board {
        std::mutex mutex;
        std::map<ControlHandle, ControlState> controls;
    };

    // Has the UI thread bring the widget in line with its latest state.
    void showLater(std::function<void(Board&)> apply);

    ShellWindow window_;
    std::shared_ptr<Board> board_ = std::make_shared<Board>();
};

}  // namespace clv

// An empty status line (nothing is logged).
void gf_clearStatusLine();
// Ends a standing error: the next status message is shown again.
void gf_clearErrorText();
// One data step for the status line: counts it and clears a status message
// that has stood for 25 steps.
void gf_statusDataStep();
