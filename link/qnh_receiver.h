#pragma once
// The "QNH Reader"'s receiver: the local air pressure from RealTraffic's JSON datagrams.
#include <atomic>
#include <cstdint>

#include <nlohmann/json_fwd.hpp>

#include "core/log_throttle.h"
#include "link/realtraffic_state.h"
#include "link/udp_receiver.h"

namespace clv {

class QnhReceiver : public UdpReceiver {
public:
    void processDatagram() override;
    void stopped() override;

    std::atomic<std::int32_t> lastQnh{kStandardQnh};  // hPa, the QNH last accepted

    // A bad datagram that repeats is logged once a minute with its count (reader thread only).
    LogThrottle noQnhLog;
    LogThrottle strangeQnhLog;
    LogThrottle badStringLog;
    LogThrottle exceptionLog;
};

// Plausible QNH values in hPa; a larger number is taken as inches of mercury times 100.
inline constexpr std::int32_t kLowestQnh = 930;
inline constexpr std::int32_t kHighestQnh = 1080;
inline constexpr double kHpaPerHundredthInch = 0.33865307;

}  // namespace clv

extern clv::QnhReceiver qnhReceiver;
