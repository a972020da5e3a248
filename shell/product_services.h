#pragma once
// The run services of this build: every hook whose part the build has.
#include "link/sim_hooks.h"
#include "shell/run_services.h"

// Called once at start, before the first run. Also plugs the reference data
// into the simulator link's hooks and sets the feed readers' ports
// (CLV_TRAFFIC_PORT and CLV_QNH_PORT, RealTraffic's own ports when unset).
clv::RunServices gf_productRunServices();

// What the simulator link asks of the parking planner and the reference data:
// the user's stand reserved, the stand under the user aircraft, and the user
// aircraft's type.
clv::SimLinkHooks gf_productSimLinkHooks();
