#pragma once
// Static parking in the program: the engine's parking port, the parking hooks
// onto the window, the feed and the simulator link, and the run's airport
// services that the main loop calls.
#include "shell/run_services.h"

void gf_wireParking(clv::RunServices& services);
