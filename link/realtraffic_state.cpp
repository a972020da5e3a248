#include "link/realtraffic_state.h"

#include <mutex>

#include <fmt/format.h>

#include "core/ui_port.h"

std::atomic<bool> realTrafficOnThisPc{false};
std::atomic<bool> realTrafficConnected{false};
std::atomic<bool> clientConnected{false};
std::atomic<bool> awaitingRealTraffic{true};

std::atomic<std::uint32_t> trafficLamp{kLampStopped};
std::atomic<std::uint32_t> weatherLamp{kLampStopped};
std::atomic<bool> trafficLampLit{true};
std::atomic<bool> weatherLampLit{true};

std::atomic<std::int32_t> currentQnh{kStandardQnh};
std::atomic<std::int32_t> qnhDisplay{kStandardQnh};

std::atomic<bool> readerError{false};

namespace {

std::mutex g_editionMutex;
std::string g_editionText;

}  // namespace

std::string gf_rtEditionText() {
    std::lock_guard lock(g_editionMutex);
    return g_editionText;
}

void gf_setRtEditionText(std::string text) {
    std::lock_guard lock(g_editionMutex);
    g_editionText = std::move(text);
}

void gf_readerStopped(bool trafficReader, const std::string& errorText) {
    // The names are the ones users know from earlier versions, blank included.
    const char* name = trafficReader ? "TrafficReader " : "WeatherReader";
    gf_setStatusLine(fmt::format("The {} has stopped with an error: {}", name, errorText), true);
    readerError = true;
}
