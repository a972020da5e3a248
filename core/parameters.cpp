#include "core/parameters.h"

Parameter<bool> LOG("LOG", true);
Parameter<bool> RANDOM("RANDOM", true);
