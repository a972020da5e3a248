#pragma once
// Doubles for the shell's tests: the subsystems' hooks that record what the run
// asked of them, a window whose UI thread the test plays, timing without real
// time, and a fixture that gives each test a fresh working folder and state.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/ui_port.h"
#include "shell/run_services.h"
#include "shell/status_lines.h"
#include "support/temp_folder.h"

namespace clv::test {

// Every hook records its call with the data-step count at that moment.
// Behaviour a test needs is set through the members before the run starts.
class RecordingServices {
public:
    RecordingServices();

    RunServices services;

    // Called by every hook after it recorded itself (on the caller's thread).
    std::function<void(const std::string& hook)> onCall;

    std::function<bool()> simUsable = [] { return true; };
    std::function<bool()> dataStep = [] { return true; };
    std::optional<LatLon> userPosition = LatLon{50.03, 8.57};
    bool parkingActive = false;
    bool parkAirportSet = true;
    std::deque<std::uint32_t> coupledList;
    std::vector<std::uint32_t> liveHexids;

    int count(const std::string& hook) const;
    // The data-step counts at which the hook was called.
    std::vector<std::int32_t> steps(const std::string& hook) const;
    std::vector<std::uint32_t> coupledChecked() const;

private:
    void record(const std::string& hook);

    mutable std::mutex mutex_;
    std::map<std::string, std::vector<std::int32_t>> calls_;
    std::vector<std::uint32_t> coupledChecked_;
};

// Sleeps that take no time; each is recorded, and a test may wait for them.
class FakeTiming {
public:
    RunTiming timing();

    // Called on the sleeping thread with each sleep's length.
    std::function<void(std::chrono::milliseconds)> onSleep;

    std::chrono::milliseconds total() const;
    int count(std::chrono::milliseconds length) const;
    // Blocks until `n` sleeps of that length were made.
    void waitFor(std::chrono::milliseconds length, int n);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::chrono::milliseconds> sleeps_;
};

// The window as the shell sees it; the test plays its UI thread.
class TestWindow {
public:
    ShellWindow hooks();

    // Blocks until something was posted, then runs the posted calls in order
    // as the UI thread would, until one of them quits; returns the exit code.
    int pumpUntilQuit();
    // Runs what is queued now, as the UI thread would.
    void runPending();
    // The calls posted so far that are one of the shell's handlers.
    std::vector<void (*)()> handlersPosted() const;
    std::optional<int> quitCode() const;
    std::optional<bool> onTop() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
    std::vector<void (*)()> handlers_;
    std::optional<int> quitCode_;
    std::optional<bool> onTop_;
};

// Forwards to the shell's port and keeps every status text that was shown.
class RecordingPort final : public UiPort {
public:
    explicit RecordingPort(ShellWindow window) : inner_(std::move(window)) {}

    void setStatusLine(const std::string& text, bool log) override;
    void showError(const std::string& text) override;
    void setChecked(ControlHandle c, bool v) override { inner_.setChecked(c, v); }
    bool isChecked(ControlHandle c) override { return inner_.isChecked(c); }
    void setEnabled(ControlHandle c, bool v) override { inner_.setEnabled(c, v); }
    bool isEnabled(ControlHandle c) override { return inner_.isEnabled(c); }
    void setText(ControlHandle c, const std::string& t) override { inner_.setText(c, t); }
    std::string getText(ControlHandle c) override { return inner_.getText(c); }
    void requestRepaint() override { inner_.requestRepaint(); }
    void postToUi(std::function<void()> call) override { inner_.postToUi(std::move(call)); }

    std::vector<std::string> shown() const;
    std::vector<std::string> errors() const;

private:
    ShellUiPort inner_;
    mutable std::mutex mutex_;
    std::vector<std::string> shown_;
    std::vector<std::string> errors_;
};

// A working folder with "docs" as the current folder, the per-user folders in
// it, parameters.xml naming a simulator path, Log.txt open, the shell's port,
// window, doubles and timing installed, and every run flag at its start value.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Installs `services` and the fake timing (call again after changing the doubles' hooks).
    void install();
    // parameters.xml with these settings besides the simulator path and the version.
    void writeParameters(const std::map<std::string, std::string>& settings);
    std::string log() const;
    int logLines(const std::string& text) const;
    // A stored setting's value in parameters.xml.
    std::string storedValue(const std::string& key) const;

    TempFolder folder;
    std::unique_ptr<CurrentFolder> current;
    std::vector<std::unique_ptr<ScopedEnv>> env;
    RecordingServices doubles;
    FakeTiming fakeTiming;
    TestWindow window;
    std::unique_ptr<RecordingPort> port;
};

}  // namespace clv::test
