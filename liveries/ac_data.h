#pragma once
// An aircraft's identity with what follows from its type: size, category, the
// per-category movement values and the livery the matcher chose. Live and static
// aircraft records of the engine build on it.
#include <cstdint>
#include <string_view>

#include "link/ac_identity.h"
#include "liveries/ac_category.h"

namespace clv {

// The airline code of privately owned aircraft.
inline constexpr std::string_view kPrivateAirline = "PVT";

struct AcData : AcIdentity {
    double radius = 0.0;          // nautical miles, half the wing span
    double staticCgHeight = 0.0;  // feet, as the simulator reports it
    double staticPitch = 0.0;     // radians, as the simulator reports it
    double rotationPitch = 0.0;   // radians, negative is nose up
    double climbPitch = 0.0;      // radians
    double angleStep = 0.0;       // radians per movement tick
    double acAngleStep = 0.0;     // this aircraft's step; set when a live aircraft is created
    double groundValueA = 0.0;    // set when a live aircraft is created
    double groundValueB = 0.0;
    std::uint32_t hexid = 0;      // live: the feed's id; static: its static serial (up to kLastStaticHexid)
    AcCategory category = AcCategory::Large;
    // A view of the livery index's own text (liveries/livery_index.h); empty: no livery.
    // It is what the simulator creates the AI object by.
    std::string_view liveryTitle;
    std::int32_t flareTicks = 0;
    std::int32_t deRotationTicks = 0;
    std::int32_t rotationTicks = 0;
    std::int32_t climbPitchTicks = 0;
    bool cargo = false;
    bool specialLivery = false;   // the title holds "FSLTL_"

    AcData() = default;
    // Copies the identity and fills the values of its type: radius, category, tick
    // counts, angle step, and the two pitches varied at random (2.5 % and 5 %,
    // whatever RANDOM says).
    explicit AcData(const AcIdentity& identity);
};

}  // namespace clv

// The per-category values; each throws std::out_of_range for a category outside
// Light..Rotorcraft.
double gf_categoryAngleStepDegrees(clv::AcCategory category);
double gf_categoryRotationPitchDegrees(clv::AcCategory category);
double gf_categoryClimbPitchDegrees(clv::AcCategory category);
std::int32_t gf_categoryFlareTicks(clv::AcCategory category);
std::int32_t gf_categoryDeRotationTicks(clv::AcCategory category);
std::int32_t gf_categoryRotationTicks(clv::AcCategory category);
std::int32_t gf_categoryClimbPitchTicks(clv::AcCategory category);
// Ground values A and B, for live aircraft.
double gf_categoryGroundValueA(clv::AcCategory category);
double gf_categoryGroundValueB(clv::AcCategory category);
