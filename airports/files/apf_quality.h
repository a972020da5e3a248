#pragma once
// Quality factors: how well the stand options describe an airport's traffic,
// one whole percentage for the real options and one for the soft ones.
#include <string>
#include <vector>

#include "airports/files/apf_file.h"

// Over the stands (the stand list by default): (-1, -1) when there is no stand or
// no stand has any option entry. Options with id 0 count for nothing.
clv::QualityFactors gf_qualityFactor(const std::vector<clv::Stand>& stands);
clv::QualityFactors gf_qualityFactor();

// For the log and the main window: two blanks when both are negative; "44/ 7"
// while the real factor is below 45; else the real factor alone ("45").
std::string gf_qualityText(clv::QualityFactors quality);
