#include "airports/files/stand_adjacency.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

#include "core/geodesy.h"

namespace {

constexpr double kAdjacencyFactor = 1.1;
// One degree of latitude in nautical miles on the program's earth, and a margin
// that keeps every rounding of the distance on the safe side of the cut-off.
constexpr double kNmPerDegree = 60.0;
constexpr double kSafety = 1.0 - 1e-9;

bool lf_adjacent(const clv::Stand& a, const clv::Stand& b) {
    return a.radius + b.radius > kAdjacencyFactor * gf_distanceNm(a.latitude, a.longitude, b.latitude, b.longitude);
}

// Positions for which the great-circle distance is at least the difference in
// latitude, so that pairs far apart in latitude need no distance at all.
bool lf_regular(const clv::Stand& s) {
    return std::isfinite(s.latitude) && std::isfinite(s.longitude) && std::abs(s.latitude) <= 90.0;
}

}  // namespace

void gf_computeAdjacency(std::vector<clv::Stand>& stands) {
    const std::size_t n = stands.size();
    std::vector<std::vector<std::uint32_t>> found(n);
    auto test = [&](std::size_t i, std::size_t j) {  // both orders of one pair
        if (lf_adjacent(stands[i], stands[j])) found[i].push_back(stands[j].id);
        if (lf_adjacent(stands[j], stands[i])) found[j].push_back(stands[i].id);
    };

    std::vector<std::size_t> regular;
    std::vector<std::size_t> irregular;
    regular.reserve(n);
    for (std::size_t i = 0; i < n; ++i) (lf_regular(stands[i]) ? regular : irregular).push_back(i);

    // Regular stands by latitude: a pair can only be adjacent while its latitude
    // difference stays within the largest radius sum.
    std::sort(regular.begin(), regular.end(),
              [&](std::size_t a, std::size_t b) { return stands[a].latitude < stands[b].latitude; });
    double maxRadius = 0.0;
    for (std::size_t i : regular) maxRadius = std::max(maxRadius, stands[i].radius);
    for (std::size_t k = 0; k < regular.size(); ++k) {
        const clv::Stand& a = stands[regular[k]];
        const double reach = a.radius + maxRadius;
        for (std::size_t m = k + 1; m < regular.size(); ++m) {
            const double latitudeGap = (stands[regular[m]].latitude - a.latitude) * kNmPerDegree;
            if (!(kAdjacencyFactor * latitudeGap * kSafety < reach)) break;
            test(regular[k], regular[m]);
        }
    }
    // Anything else against every stand, as the plain rule says.
    for (std::size_t x = 0; x < irregular.size(); ++x) {
        for (std::size_t i : regular) test(irregular[x], i);
        for (std::size_t y = x + 1; y < irregular.size(); ++y) test(irregular[x], irregular[y]);
    }

    for (std::size_t i = 0; i < n; ++i) {
        std::sort(found[i].begin(), found[i].end());
        std::vector<std::uint32_t>& adjacent = stands[i].adjacent;
        adjacent.insert(adjacent.end(), found[i].begin(), found[i].end());
        adjacent.shrink_to_fit();
    }
}
