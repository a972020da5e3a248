#include "core/exit_reason.h"

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
        case ExitReason::SimDataNotUnderstood: return "SIM DATA NOT UNDERSTOOD";
    }
    return "NOT YET SET";
}

bool exitReasonRestarts(ExitReason reason) {
    return reason == ExitReason::NewSettings || reason == ExitReason::SimConnectError ||
           reason == ExitReason::ReaderError;
}

}  // namespace clv
