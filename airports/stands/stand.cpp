#include "airports/stands/stand.h"

std::vector<clv::Stand> standList;
