#pragma once
// Why a run ended, as the shell shows it and decides on a restart.
#include <cstdint>

namespace clv {

enum class ExitReason : std::uint32_t {
    NotYetSet = 0,
    SimWasClosed = 1,
    NewFlight = 2,
    NewSettings = 3,
    UserClosedSim = 4,
    SimConnectError = 5,
    ReaderError = 6,
    SystemError = 7,
};

// "NOT YET SET", "SIM WAS CLOSED", ... as shown in "Exiting: {}".
const char* exitReasonName(ExitReason reason);

// NEW SETTINGS, SIMCONNECT ERROR and READER ERROR restart the run.
bool exitReasonRestarts(ExitReason reason);

}  // namespace clv
