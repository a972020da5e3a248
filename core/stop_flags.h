#pragma once
#include <atomic>

// Raised when a run is to end; every loop of every thread polls them.
extern std::atomic<bool> stopRequested;
// Raised by the window's close button; always wins over a restart.
extern std::atomic<bool> userClosedWindow;
