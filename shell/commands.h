#pragma once
// The check boxes and push buttons of the options panel. A click toggles a box,
// stores and saves its setting; some settings act at once (staying on top, the
// parked aircraft's navigation lights, the automatic range) or end the run so
// that it restarts with them (the simulator switch, the rescans); the buttons
// raise requests that the run thread carries out. UI thread.
#include <cstdint>

// A click of the control with this id. A check box is read from the state it
// had before the click (the port's), so a click toggles it exactly once.
// Returns true when the id belongs to none of these controls (nothing done);
// no exception leaves it (a failure is logged and the rest of that action skipped).
bool gf_handleCommand(std::uint16_t controlId);
