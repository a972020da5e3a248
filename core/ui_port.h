#pragma once
// What the core reaches of the main window. The shell installs the real port;
// until then (and in tests) a recording null port stands in.
//
// Controls are named by the opaque handle the window gave them (0: none; calls
// with it do nothing). The setters may be called from any thread: a real port
// hands them to the UI thread without waiting for it (the caller may hold a lock
// that the UI thread wants). The getters are called on the UI thread.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/parameter.h"

namespace clv {

class UiPort {
public:
    virtual ~UiPort() = default;
    // The status line; logged when `log` is set. Dropped while an error text stands.
    virtual void setStatusLine(const std::string& text, bool log) = 0;
    // The error line, which stays; always logged.
    virtual void showError(const std::string& text) = 0;

    virtual void setChecked(ControlHandle control, bool checked) = 0;
    virtual bool isChecked(ControlHandle control) = 0;
    virtual void setEnabled(ControlHandle control, bool enabled) = 0;
    virtual bool isEnabled(ControlHandle control) = 0;
    virtual void setText(ControlHandle control, const std::string& text) = 0;
    virtual std::string getText(ControlHandle control) = 0;
    // Redraws the window once the UI thread gets to it.
    virtual void requestRepaint() = 0;
    // Runs the call on the UI thread, later; the caller does not wait.
    virtual void postToUi(std::function<void()> call) = 0;
};

// Keeps what it was asked to show, for tests and for the time before a window
// exists. Posted calls run at once on the caller's thread (there is no UI thread).
class NullUiPort : public UiPort {
public:
    // What one control was last given.
    struct ControlState {
        bool checked = false;
        bool enabled = true;
        std::string text;
        int textWrites = 0;  // how often setText reached it
    };

    void setStatusLine(const std::string& text, bool log) override;
    void showError(const std::string& text) override;
    void setChecked(ControlHandle control, bool checked) override;
    bool isChecked(ControlHandle control) override;
    void setEnabled(ControlHandle control, bool enabled) override;
    bool isEnabled(ControlHandle control) override;
    void setText(ControlHandle control, const std::string& text) override;
    std::string getText(ControlHandle control) override;
    void requestRepaint() override;
    void postToUi(std::function<void()> call) override;

    std::vector<std::string> statusLines() const;
    std::vector<std::string> errorLines() const;
    // The state of a control; a default state when it was never touched.
    ControlState control(ControlHandle handle) const;
    int repaintRequests() const;
    int postedCalls() const;
    // Forgets lines, control states and counters.
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> status_;
    std::vector<std::string> errors_;
    std::map<ControlHandle, ControlState> controls_;
    int repaints_ = 0;
    int posted_ = 0;
};

}  // namespace clv

// The status and error lines as every subsystem calls them; they forward to the
// installed port. A status text is dropped while an error text stands.
void gf_setStatusLine(const std::string& text, bool log = false);
// The window control of a setting, enabled or greyed; ticked or not.
void gf_enableControl(const ParameterControl& control, bool enabled);
void gf_checkControl(const ParameterControl& control, bool checked);
// A check-box setting switched on, saved and its box ticked.
void gf_switchOnAndSave(ControlParameter<bool>& p);
void gf_showError(const std::string& text);

// The installed port; never null (the null port when none is installed).
clv::UiPort& gf_uiPort();
// Installs a port (nullptr reinstates the null port); the port must outlive its use.
void gf_setUiPort(clv::UiPort* port);
// The process-wide null port, so tests can read what was shown.
clv::NullUiPort& gf_nullUiPort();
