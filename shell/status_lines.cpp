#include "shell/status_lines.h"

#include "core/log.h"
#include "shell/main_window.h"

namespace clv {

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
