#include "link/traffic_update.h"

std::mutex runMutex;
std::atomic<bool> flightRunning{false};
std::deque<clv::TrafficUpdate> trafficUpdateQueue;
std::atomic<std::uint32_t> trafficTickCount{0};
