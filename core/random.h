#pragma once
// One Mersenne twister per thread, seeded once from the random device.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

std::mt19937& gf_threadRandom();  // the calling thread's engine
void gf_seedRandom(std::uint32_t seed);  // tests: reseed the calling thread's engine

// 0 when RANDOM is off or n < 2 (nothing drawn); else a draw modulo n.
std::int32_t gf_randomIndex(std::int32_t n);

// Shuffles in place while RANDOM is on and the list has two or more items.
void gf_shuffle(std::vector<std::string>& items);

// value plus or minus value * percent / 100 by one draw's lowest bit; always draws,
// whatever RANDOM says; returns value itself for a percent of 0 or less.
double gf_randomPercent(double value, double percent);
