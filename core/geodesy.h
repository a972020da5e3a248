#pragma once
// A spherical earth on which one nautical mile is one minute of arc.

namespace clv {

// Degrees, north and east positive.
struct LatLon {
    double lat = 0.0;
    double lon = 0.0;
};

inline constexpr double kDegToRad = 0.017453292519943295;
inline constexpr double kRadToDeg = 57.29577951308232;
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kFeetPerNm = 6076.11549;
inline constexpr double kMetresPerNm = 1852.0;
inline constexpr double kNmPerMetre = 1.0 / kMetresPerNm;

}  // namespace clv

// Great-circle distance in nautical miles (haversine).
double gf_distanceNm(clv::LatLon a, clv::LatLon b);
inline double gf_distanceNm(double lat1, double lon1, double lat2, double lon2) {
    return gf_distanceNm(clv::LatLon{lat1, lon1}, clv::LatLon{lat2, lon2});
}

// Initial bearing from `from` to `to`, radians in [0, 2 pi).
double gf_bearing(clv::LatLon from, clv::LatLon to);

// The point `feet` away along `bearing` (radians); longitude folded into -180..180.
clv::LatLon gf_destination(clv::LatLon start, double bearing, double feet);

// Signed turn from a to b (radians within one turn of each other), in -pi..pi.
double gf_headingDiff(double a, double b);
