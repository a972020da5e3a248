#pragma once
#include "shell/run_services.h"

// Plugs the live traffic engine into the run: its tick, the data step's collision
// passes, duplicate checks and removals, and the window's mean parking time.
void gf_wireEngine(clv::RunServices& services);
