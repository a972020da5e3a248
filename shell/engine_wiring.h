#pragma once
#include "shell/run_services.h"

// Plugs the live traffic engine into the run. The parts of the engine that
// depend on airports and parking, collision avoidance and the movement between
// samples are not in this build: their hooks do nothing, which is what the run
// does with no park airport.
void gf_wireEngine(clv::RunServices& services);
