#pragma once
// What the core reaches of the main window. The shell installs the real port;
// until then (and in tests) a recording null port stands in.
#include <mutex>
#include <string>
#include <vector>

namespace clv {

class UiPort {
public:
    virtual ~UiPort() = default;
    // The status line; logged when `log` is set. Dropped while an error text stands.
    virtual void setStatusLine(const std::string& text, bool log) = 0;
    // The error line, which stays; always logged.
    virtual void showError(const std::string& text) = 0;
};

// Keeps what it was asked to show, for tests and for the time before a window exists.
class NullUiPort : public UiPort {
public:
    void setStatusLine(const std::string& text, bool log) override;
    void showError(const std::string& text) override;

    std::vector<std::string> statusLines() const;
    std::vector<std::string> errorLines() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> status_;
    std::vector<std::string> errors_;
};

}  // namespace clv

// The status and error lines as every subsystem calls them; they forward to the
// installed port. A status text is dropped while an error text stands.
void gf_setStatusLine(const std::string& text, bool log = false);
void gf_showError(const std::string& text);

// The installed port; never null (the null port when none is installed).
clv::UiPort& gf_uiPort();
// Installs a port (nullptr reinstates the null port); the port must outlive its use.
void gf_setUiPort(clv::UiPort* port);
// The process-wide null port, so tests can read what was shown.
clv::NullUiPort& gf_nullUiPort();
