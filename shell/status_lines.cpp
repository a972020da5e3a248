#include "shell/status_lines.h"

#include <algorithm>
#include <utility>

#include "core/log.h"
#include "platform/window.h"
#include "shell/main_window.h"

namespace clv {

ShellUiPort::ShellUiPort(ShellWindow window) : window_(std::move(window)) {
    if (platform::mainWindowOpen()) gf_createControls(*this);
}

void ShellUiPort::setStatusLine(const std::string& text, bool log) {
    std::lock_guard lock(mainWindow.statusMutex);
    if (!mainWindow.errorText.empty()) return;
    mainWindow.statusText = text;
    mainWindow.statusSetStep = text.empty() ? 0 : std::max(mainWindow.displayStep.load(), 1);
    if (log && !text.empty()) gf_logIfRunning(text);
    requestRepaint();
}

void ShellUiPort::showError(const std::string& text) {
    std::lock_guard lock(mainWindow.statusMutex);
    mainWindow.statusText.clear();
    mainWindow.statusSetStep = 0;
    mainWindow.errorText = text;
    gf_logIfRunning(fmt::format("Error {}", text));
    requestRepaint();
}

void ShellUiPort::showLater(std::function<void(Board&)> apply) {
    if (!window_.post) return;
    window_.post([board = board_, apply = std::move(apply)] { apply(*board); });
}

void ShellUiPort::setChecked(ControlHandle control, bool checked) {
    if (control == 0) return;
    {
        std::lock_guard lock(board_->mutex);
        board_->controls[control].checked = checked;
    }
    showLater([control](Board& board) {
        bool latest = false;
        {
            std::lock_guard lock(board.mutex);
            latest = board.controls[control].checked;
        }
        platform::setControlChecked(control, latest);
    });
    requestRepaint();  // labels follow some of the boxes
}

void ShellUiPort::setEnabled(ControlHandle control, bool enabled) {
    if (control == 0) return;
    {
        std::lock_guard lock(board_->mutex);
        board_->controls[control].enabled = enabled;
    }
    showLater([control](Board& board) {
        bool latest = false;
        {
            std::lock_guard lock(board.mutex);
            latest = board.controls[control].enabled;
        }
        platform::setControlEnabled(control, latest);
    });
    requestRepaint();  // labels of disabled boxes turn grey
}

void ShellUiPort::setText(ControlHandle control, const std::string& text) {
    if (control == 0) return;
    {
        std::lock_guard lock(board_->mutex);
        ControlState& state = board_->controls[control];
        state.text = text;
        ++state.textsPending;
    }
    showLater([control](Board& board) {
        std::string latest;
        {
            std::lock_guard lock(board.mutex);
            ControlState& state = board.controls[control];
            latest = state.text;
            state.textsPending = std::max(state.textsPending - 1, 0);
        }
        platform::setControlText(control, latest);
    });
}

bool ShellUiPort::isChecked(ControlHandle control) {
    if (control == 0) return false;
    std::lock_guard lock(board_->mutex);
    auto found = board_->controls.find(control);
    return found != board_->controls.end() && found->second.checked;
}

bool ShellUiPort::isEnabled(ControlHandle control) {
    if (control == 0) return false;
    std::lock_guard lock(board_->mutex);
    auto found = board_->controls.find(control);
    return found == board_->controls.end() || found->second.enabled;
}

std::string ShellUiPort::getText(ControlHandle control) {
    if (control == 0) return {};
    std::string kept;
    {
        std::lock_guard lock(board_->mutex);
        auto found = board_->controls.find(control);
        if (found != board_->controls.end()) {
            if (found->second.textsPending > 0) return found->second.text;
            kept = found->second.text;
        }
    }
    // The field itself holds what the user typed.
    if (auto shown = platform::controlText(control)) return *shown;
    return kept;
}

void ShellUiPort::requestRepaint() {
    if (window_.repaint) window_.repaint();
}

void ShellUiPort::postToUi(std::function<void()> call) {
    if (window_.post) window_.post(std::move(call));
}

}  // namespace clv

void gf_clearStatusLine() { gf_setStatusLine(std::string(), true); }

void gf_clearErrorText() {
    {
        std::lock_guard lock(mainWindow.statusMutex);
        mainWindow.errorText.clear();
    }
    gf_uiPort().requestRepaint();
}

void gf_statusDataStep() {
    {
        // Under the mutex, so that a message set meanwhile is not the one cleared.
        std::lock_guard lock(mainWindow.statusMutex);
        const std::int32_t step = mainWindow.displayStep.fetch_add(1) + 1;
        if (mainWindow.statusSetStep < 1 || step - mainWindow.statusSetStep < clv::kStatusSteps) return;
        mainWindow.statusText.clear();
        mainWindow.statusSetStep = 0;
    }
    gf_uiPort().requestRepaint();
}
