#include "core/geodesy.h"

#include <cmath>

namespace {
constexpr double kDistanceFactor = 6875.493541569878;     // twice the earth radius in nm
constexpr double kRadiansPerFoot = 4.787404208238998e-8;  // one foot of arc
}  // namespace

using clv::kDegToRad;
using clv::kRadToDeg;

double gf_distanceNm(clv::LatLon a, clv::LatLon b) {
    double phi1 = a.lat * kDegToRad;
    double phi2 = b.lat * kDegToRad;
    double dphi = (b.lat - a.lat) * kDegToRad;
    double dlambda = (b.lon - a.lon) * kDegToRad;
    double s1 = std::sin(dphi / 2);
    double s2 = std::sin(dlambda / 2);
    double h = s1 * s1 + std::cos(phi1) * std::cos(phi2) * s2 * s2;
    return std::atan2(std::sqrt(h), std::sqrt(1 - h)) * kDistanceFactor;
}

double gf_bearing(clv::LatLon from, clv::LatLon to) {
    double phi1 = from.lat * kDegToRad;
    double phi2 = to.lat * kDegToRad;
    double dlambda = (to.lon - from.lon) * kDegToRad;
    double theta = std::atan2(std::sin(dlambda) * std::cos(phi2),
                              std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dlambda));
    if (theta < 0) theta += clv::kTwoPi;
    // atan2 of a tiny negative value plus 2 pi can round to exactly 2 pi.
    if (theta >= clv::kTwoPi) theta = 0.0;
    return theta;
}

clv::LatLon gf_destination(clv::LatLon start, double bearing, double feet) {
    double d = feet * kRadiansPerFoot;
    double phi1 = start.lat * kDegToRad;
    double lambda1 = start.lon * kDegToRad;
    double phi2 = std::asin(std::sin(phi1) * std::cos(d) + std::cos(phi1) * std::sin(d) * std::cos(bearing));
    double lambda2 = lambda1 + std::atan2(std::sin(bearing) * std::sin(d) * std::cos(phi1),
                                          std::cos(d) - std::sin(phi1) * std::sin(phi2));
    lambda2 = std::remainder(lambda2, clv::kTwoPi);
    return clv::LatLon{phi2 * kRadToDeg, lambda2 * kRadToDeg};
}

double gf_headingDiff(double a, double b) {
    if (b > a) {
        double d = b - a;
        return d > clv::kPi ? d - clv::kTwoPi : d;
    }
    if (a > b) return -gf_headingDiff(b, a);
    return 0.0;
}
