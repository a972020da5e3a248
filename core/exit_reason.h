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
    // The simulator link's stream could not be framed: whatever answers there, a
    // new run would meet it again.
    SimDataNotUnderstood = 8,
};

// "NOT YET SET", "SIM WAS CLOSED", ... as shown in "Exiting: {}".
const char* exitReasonName(ExitReason reason);

// NEW SETTINGS, SIMCONNECT ERROR and READER ERROR restart the run; the others quit.
bool exitReasonRestarts(ExitReason reason);

}  // namespace clv
