#include "airports/files/apf_file.h"

clv::ApfInfo parkApfInfo;
std::atomic<bool> handmadeFile{false};
std::atomic<std::int32_t> rtTrafficWeek{0};
std::atomic<bool> parkingActive{false};
