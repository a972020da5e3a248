#pragma once
// Every setting of the program as one global parameter object.
#include "core/parameter.h"

extern Parameter<bool> LOG;
extern Parameter<bool> RANDOM;
