#pragma once
// Small helpers of the movement tests: places around a point and an active live
// aircraft standing or taxiing there.
#include "core/geodesy.h"
#include "link/realtraffic_state.h"
#include "traffic_harness.h"

namespace clv::test {

inline constexpr double kFeetPerMetre = 1.0 / 0.3048;
inline const LatLon kHome{47.45, 8.55};

// The point `metres` from `from` along `bearingDegrees`.
inline LatLon offset(LatLon from, double bearingDegrees, double metres) {
    return gf_destination(from, bearingDegrees * kDegToRad, metres * kFeetPerMetre);
}

inline double metresBetween(LatLon a, LatLon b) { return gf_distanceNm(a, b) * kMetresPerNm; }

inline PosSample sampleAt(LatLon p, double groundSpeed, std::uint32_t due) {
    return groundSample(p.lat, p.lon, groundSpeed, 0.0, due);
}

// An active aircraft on the ground, bound to object 500, at its first sample,
// heading `headingDegrees`.
inline LiveAc& activeOnGround(EngineRig& rig, const std::vector<PosSample>& samples, double headingDegrees,
                              AcMoveState state = AcMoveState::Taxi, std::uint32_t hexid = 40001,
                              const std::string& type = "A320") {
    LiveAc& ac = rig.addLive(hexid, "DLH" + std::to_string(hexid), type, samples, AcSimState::Active);
    ac.objectId = 500 + (hexid - 40001);
    ac.onGround = true;
    ac.moveState = state;
    ac.previousMoveState = AcMoveState::Taxi;
    ac.groundValueA = gf_categoryGroundValueA(ac.category);
    ac.groundValueB = gf_categoryGroundValueB(ac.category);
    ac.simPosition.latitude = samples.at(0).latitude;
    ac.simPosition.longitude = samples.at(0).longitude;
    ac.simPosition.trueHeading = headingDegrees * kDegToRad;
    ac.targetHeading = ac.simPosition.trueHeading;
    ac.throttleStage = 0;
    ac.flapsStage = 1;
    return ac;
}

// An active aircraft in the air at its first sample, bound to object 500,
// heading `headingDegrees`, at the first sample's altitude.
inline LiveAc& activeInAir(EngineRig& rig, const std::vector<PosSample>& samples, double headingDegrees,
                           const std::string& type = "A320", std::uint32_t hexid = 40001) {
    LiveAc& ac = activeOnGround(rig, samples, headingDegrees, AcMoveState::Flying, hexid, type);
    ac.onGround = false;
    ac.previousMoveState = AcMoveState::Flying;
    ac.simPosition.altitude = samples.at(0).altitude;
    ac.targetHeading = 0.0;
    ac.throttleStage = 3;
    ac.flapsStage = 0;
    return ac;
}

// Sets the QNH the engine uses for the life of the guard.
class QnhGuard {
public:
    explicit QnhGuard(std::int32_t qnh) : saved_(currentQnh.load()) { currentQnh = qnh; }
    ~QnhGuard() { currentQnh = saved_; }

private:
    std::int32_t saved_;
};

inline LatLon positionOf(const LiveAc& ac) { return LatLon{ac.simPosition.latitude, ac.simPosition.longitude}; }
inline LatLon positionOf(const PosSample& s) { return LatLon{s.latitude, s.longitude}; }
inline double headingDegrees(const LiveAc& ac) { return ac.simPosition.trueHeading * kRadToDeg; }

}  // namespace clv::test
