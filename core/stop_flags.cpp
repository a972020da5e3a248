#include "core/stop_flags.h"

std::atomic<bool> stopRequested{false};
std::atomic<bool> userClosedWindow{false};
std::atomic<clv::ExitReason> exitReason{clv::ExitReason::NotYetSet};
std::atomic<std::int32_t> restartDelay{0};

namespace clv {

const char* exitReasonName(ExitReason reason) {
    switch (reason) {
        case ExitReason::NotYetSet: return "NOT YET SET";
        case ExitReason::SimWasClosed: return "SIM WAS CLOSED";
        case ExitReason::NewFlight: return "NEW FLIGHT";
        case ExitReason::NewSettings: return "NEW SETTINGS";
        case ExitReason::UserClosedSim: return "USER CLOSED SIM";
        case ExitReason::SimConnectError: return "SIMCONNECT ERROR";
        case ExitReason::ReaderError: return "READER ERROR";
        case ExitReason::SystemError: return "SYSTEM ERROR";
    }
    return "NOT YET SET";
}

bool exitReasonRestarts(ExitReason reason) {
    return reason == ExitReason::NewSettings || reason == ExitReason::SimConnectError ||
           reason == ExitReason::ReaderError;
}

}  // namespace clv

bool gf_requestStop(clv::ExitReason reason, std::int32_t delaySeconds) {
    if (stopRequested.exchange(true)) return false;
    exitReason.store(reason);
    restartDelay.store(delaySeconds);
    return true;
}
