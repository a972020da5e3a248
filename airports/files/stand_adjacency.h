#pragma once
// Which stands may not carry aircraft at the same time: a and b are adjacent when
// a.radius + b.radius > 1.1 x the distance between them. Worked out once per read
// of an airport file, for airports of up to some 1,500 stands.
#include <vector>

#include "stands/stand.h"

// Appends to every stand's adjacent list the ids of the stands adjacent to it,
// ascending (the order of a walk over all ordered pairs in list order), and trims
// the lists. The stands must be numbered (id = position + 1).
void gf_computeAdjacency(std::vector<clv::Stand>& stands);
