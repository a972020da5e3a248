#include "core/ui_port.h"

#include <atomic>
#include <utility>

#include "core/log.h"

namespace clv {

void NullUiPort::setStatusLine(const std::string& text, bool log) {
    {
        std::lock_guard lock(mutex_);
        status_.push_back(text);
    }
    if (log) gf_logIfRunning(text);
}

void NullUiPort::showError(const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        errors_.push_back(text);
    }
    gf_logIfRunning("Error " + text);
}

void NullUiPort::setChecked(ControlHandle control, bool checked) {
    if (control == 0) return;
    std::lock_guard lock(mutex_);
    controls_[control].checked = checked;
}

bool NullUiPort::isChecked(ControlHandle control) {
    if (control == 0) return false;
    std::lock_guard lock(mutex_);
    auto found = controls_.find(control);
    return found != controls_.end() && found->second.checked;
}

void NullUiPort::setEnabled(ControlHandle control, bool enabled) {
    if (control == 0) return;
    std::lock_guard lock(mutex_);
    controls_[control].enabled = enabled;
}

bool NullUiPort::isEnabled(ControlHandle control) {
    if (control == 0) return false;
    std::lock_guard lock(mutex_);
    auto found = controls_.find(control);
    return found == controls_.end() || found->second.enabled;
}

void NullUiPort::setText(ControlHandle control, const std::string& text) {
    if (control == 0) return;
    std::lock_guard lock(mutex_);
    ControlState& state = controls_[control];
    state.text = text;
    ++state.textWrites;
}

std::string NullUiPort::getText(ControlHandle control) {
    if (control == 0) return {};
    std::lock_guard lock(mutex_);
    auto found = controls_.find(control);
    return found != controls_.end() ? found->second.text : std::string();
}

void NullUiPort::requestRepaint() {
    std::lock_guard lock(mutex_);
    ++repaints_;
}

void NullUiPort::postToUi(std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        ++posted_;
    }
    if (call) call();
}

std::vector<std::string> NullUiPort::statusLines() const {
    std::lock_guard lock(mutex_);
    return status_;
}

std::vector<std::string> NullUiPort::errorLines() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

NullUiPort::ControlState NullUiPort::control(ControlHandle handle) const {
    std::lock_guard lock(mutex_);
    auto found = controls_.find(handle);
    return found != controls_.end() ? found->second : ControlState{};
}

int NullUiPort::repaintRequests() const {
    std::lock_guard lock(mutex_);
    return repaints_;
}

int NullUiPort::postedCalls() const {
    std::lock_guard lock(mutex_);
    return posted_;
}

void NullUiPort::clear() {
    std::lock_guard lock(mutex_);
    status_.clear();
    errors_.clear();
    controls_.clear();
    repaints_ = 0;
    posted_ = 0;
}

}  // namespace clv

namespace {
std::atomic<clv::UiPort*> g_port{nullptr};
}

clv::NullUiPort& gf_nullUiPort() {
    static clv::NullUiPort port;
    return port;
}

clv::UiPort& gf_uiPort() {
    clv::UiPort* port = g_port.load();
    return port != nullptr ? *port : gf_nullUiPort();
}

void gf_setUiPort(clv::UiPort* port) { g_port.store(port); }

void gf_setStatusLine(const std::string& text, bool log) { gf_uiPort().setStatusLine(text, log); }
void gf_showError(const std::string& text) { gf_uiPort().showError(text); }

void gf_enableControl(const ParameterControl& control, bool enabled) {
    gf_uiPort().setEnabled(control.handle.load(), enabled);
}

void gf_checkControl(const ParameterControl& control, bool checked) {
    gf_uiPort().setChecked(control.handle.load(), checked);
}

void gf_switchOnAndSave(ControlParameter<bool>& p) {
    p.value = true;
    p.save();
    gf_checkControl(p, true);
}
