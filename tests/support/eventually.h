#pragma once
// Polls a condition until it holds or a time limit passes: the bounded wait of
// tests that watch other threads or processes.
#include <chrono>
#include <thread>

namespace clv::test {

template <typename F>
bool eventually(F condition, std::chrono::milliseconds limit = std::chrono::seconds(20),
                std::chrono::milliseconds poll = std::chrono::milliseconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(poll);
    }
    return true;
}

}  // namespace clv::test
