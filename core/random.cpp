#include "core/random.h"

#include <algorithm>

#include "core/parameters.h"

std::mt19937& gf_threadRandom() {
    thread_local std::mt19937 engine{std::random_device{}()};
    return engine;
}

void gf_seedRandom(std::uint32_t seed) { gf_threadRandom().seed(seed); }

std::int32_t gf_randomIndex(std::int32_t n) {
    if (!RANDOM.value || n < 2) return 0;
    return static_cast<std::int32_t>(gf_threadRandom()() % static_cast<std::uint32_t>(n));
}

void gf_shuffle(std::vector<std::string>& items) {
    if (!RANDOM.value || items.size() < 2) return;
    std::shuffle(items.begin(), items.end(), gf_threadRandom());
}

double gf_randomPercent(double value, double percent) {
    std::uint32_t draw = gf_threadRandom()();
    if (percent <= 0) return value;
    double sign = (draw & 1u) == 0 ? 1.0 : -1.0;
    return value + sign * (value * percent / 100.0);
}
