// The feed's parsers: the traffic line and the QNH datagram (UDP) and RealTraffic's
// reply on the TCP link. Their contract is that nothing escapes them.
#include <mutex>

#include "fuzz/fuzz_target.h"
#include "link/qnh_receiver.h"
#include "link/realtraffic_link.h"
#include "link/traffic_receiver.h"
#include "link/traffic_update.h"

namespace {

// Lines are queued only while a flight runs: let them be, and keep the queue short.
void lf_flightRunningWithEmptyQueue() {
    std::lock_guard lock(runMutex);
    flightRunning = true;
    trafficUpdateQueue.clear();
}

}  // namespace

CLV_FUZZ_TARGET(traffic_line) {
    static clv::TrafficReceiver receiver;
    receiver.setRangeCentre(clv::LatLon{47.46, 8.55});
    lf_flightRunningWithEmptyQueue();
    receiver.acceptDatagram(input);
}

CLV_FUZZ_TARGET(qnh_datagram) {
    static clv::QnhReceiver receiver;
    receiver.acceptDatagram(input);
}

CLV_FUZZ_TARGET(tcp_version_reply) { gf_readVersionReply(std::string(input)); }
