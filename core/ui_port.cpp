#include "core/ui_port.h"

#include <atomic>

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

std::vector<std::string> NullUiPort::statusLines() const {
    std::lock_guard lock(mutex_);
    return status_;
}

std::vector<std::string> NullUiPort::errorLines() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

void NullUiPort::clear() {
    std::lock_guard lock(mutex_);
    status_.clear();
    errors_.clear();
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
