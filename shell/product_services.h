#pragma once
// The run services of this build: every hook whose part the build has.
#include "shell/run_services.h"

clv::RunServices gf_productRunServices();
