#pragma once
// Positions at exactly a given distance, as gf_distanceNm computes it, so that a
// boundary test stands on the boundary itself and not merely near it.
#include <cmath>
#include <optional>

#include "core/geodesy.h"

namespace clv::test {

// A position about `nm` south of `from` whose distance from it is exactly `nm`:
// for each latitude a little inside the distance, a bisection eastwards finds the
// first longitude not below it. Nothing when the arithmetic never gives that value.
inline std::optional<LatLon> exactlyNmFrom(LatLon from, double nm) {
    double lat = from.lat - nm / 60.0;
    for (int tries = 0; tries < 1000; ++tries, lat = std::nextafter(lat, from.lat)) {
        double low = from.lon;
        double high = from.lon + 0.05;
        if (gf_distanceNm(LatLon{lat, low}, from) > nm || gf_distanceNm(LatLon{lat, high}, from) < nm) continue;
        for (;;) {
            const double mid = low + (high - low) / 2;
            if (mid == low || mid == high) break;
            (gf_distanceNm(LatLon{lat, mid}, from) < nm ? low : high) = mid;
        }
        if (gf_distanceNm(LatLon{lat, high}, from) == nm) return LatLon{lat, high};
    }
    return std::nullopt;
}

}  // namespace clv::test
