#include "link/traffic_receiver.h"

#include "core/log.h"
#include "core/ui_port.h"
#include "link/realtraffic_state.h"

namespace {

std::mutex g_parkAirportMutex;
std::optional<clv::LatLon> g_parkAirport;

// Vehicles on the airport surface are not aircraft.
constexpr std::string_view kVehicleMark = " VEH";

}  // namespace

namespace clv {

void TrafficReceiver::processDatagram() {
    refusedLines.flush();
    if (lastDatagram.find(kVehicleMark) != std::string_view::npos) return;
    std::string_view text = lastDatagram;
    // A line end after the last field is not part of it.
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    fields.clear();
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            if (start < text.size()) fields.push_back(text.substr(start));
            break;
        }
        fields.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    processLine(*this);
}

void TrafficReceiver::stopped() {
    trafficLamp = kLampStopped;
    gf_uiPort().requestRepaint();
    gf_log("Traffic Reader has stopped");
}

void TrafficReceiver::idle() { refusedLines.flush(); }

void TrafficReceiver::setRangeCentre(LatLon centre) {
    std::lock_guard lock(geoMutex_);
    rangeCentre_ = centre;
}

LatLon TrafficReceiver::rangeCentre() const {
    std::lock_guard lock(geoMutex_);
    return rangeCentre_;
}

void TrafficReceiver::setRefElevation(double feet) {
    std::lock_guard lock(geoMutex_);
    refElevation_ = feet;
    hasRefElevation_ = true;
}

void TrafficReceiver::clearRefElevation() {
    std::lock_guard lock(geoMutex_);
    refElevation_ = 0.0;
    hasRefElevation_ = false;
}

std::optional<double> TrafficReceiver::refElevation() const {
    std::lock_guard lock(geoMutex_);
    if (!hasRefElevation_) return std::nullopt;
    return refElevation_;
}

void TrafficReceiver::startCollectingCallsigns() {
    std::lock_guard lock(seenCallsignsMutex);
    seenCallsigns.clear();
    collectCallsigns = true;
}

std::set<std::string> TrafficReceiver::takeSeenCallsigns() {
    collectCallsigns = false;
    std::lock_guard lock(seenCallsignsMutex);
    std::set<std::string> taken;
    taken.swap(seenCallsigns);
    return taken;
}

bool TrafficReceiver::noteCallsign(std::string_view callsign) {
    if (callsign.empty() || callsign == "null" || callsign.find('@') != std::string_view::npos) return false;
    std::lock_guard lock(seenCallsignsMutex);
    // The take-over may have ended the collection since the caller looked at the
    // flag: a callsign heard after it belongs to no collection.
    if (!collectCallsigns.load()) return false;
    seenCallsigns.emplace(callsign);
    return true;
}

void TrafficReceiver::clearSeenCallsigns() {
    std::lock_guard lock(seenCallsignsMutex);
    seenCallsigns.clear();
}

}  // namespace clv

void gf_setFeedParkAirport(clv::LatLon position) {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = position;
}

void gf_clearFeedParkAirport() {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport.reset();
}

std::optional<clv::LatLon> gf_feedParkAirport() {
    std::lock_guard lock(g_parkAirportMutex);
    return g_parkAirport;
}
