#pragma once
// The "Traffic Reader"'s receiver: splits each traffic datagram into fields and
// turns an acceptable line into a TrafficUpdate for the engine.
#include <atomic>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/geodesy.h"
#include "link/ac_identity.h"
#include "link/refused_lines.h"
#include "link/udp_receiver.h"

namespace clv {

// Room for the fields of one line without growing.
inline constexpr std::size_t kFieldCapacity = 64;

class TrafficReceiver : public UdpReceiver {
public:
    TrafficReceiver() { fields.reserve(kFieldCapacity); }

    void processDatagram() override;
    void stopped() override;
    void idle() override;

    // The centre of the lateral range (written by the run thread).
    void setRangeCentre(LatLon centre);
    LatLon rangeCentre() const;

    // The park airport's elevation in feet, which the ground rules compare with.
    void setRefElevation(double feet);
    void clearRefElevation();
    std::optional<double> refElevation() const;

    // Starts a collection of the callsigns seen in the feed (empties the set first).
    void startCollectingCallsigns();
    // Ends the collection and hands the callsigns over, leaving the set empty.
    std::set<std::string> takeSeenCallsigns();
    // Adds a callsign while collecting; false when it was not added (not a
    // callsign, or no collection runs).
    bool noteCallsign(std::string_view callsign);
    void clearSeenCallsigns();

    // Views into the received datagram, field 0 first; the reader thread's alone.
    std::vector<std::string_view> fields;
    std::atomic<bool> collectCallsigns{false};
    // Time stamp of the latest traffic line, seconds since 1970 (UTC).
    std::atomic<double> dataTimestamp{0.0};

    // Refused lines: the first at once, then counts by kind once a minute (reader thread only).
    RefusedLines refusedLines;

    std::set<std::string> seenCallsigns;  // guarded by seenCallsignsMutex
    std::mutex seenCallsignsMutex;

private:
    mutable std::mutex geoMutex_;
    LatLon rangeCentre_{};
    double refElevation_ = 0.0;
    bool hasRefElevation_ = false;
};

}  // namespace clv

extern clv::TrafficReceiver trafficReceiver;

// Turns the receiver's fields into one TrafficUpdate and queues it while the
// flight runs. A line that fails a test is dropped; nothing escapes.
void processLine(clv::TrafficReceiver& receiver);

// The ADS-B category and type filter: false drops the line.
bool gf_categoryFilter(const clv::AcIdentity& identity, std::string_view category);

// The park airport as the feed's ground rule sees it: aircraft on the ground are
// only taken within 5 nm of it, and none while there is no park airport. The
// airports side publishes it whenever the park airport changes.
void gf_setFeedParkAirport(clv::LatLon position);
void gf_clearFeedParkAirport();
std::optional<clv::LatLon> gf_feedParkAirport();
