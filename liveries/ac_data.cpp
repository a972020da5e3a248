#include "liveries/ac_data.h"

#include <stdexcept>
#include <unordered_map>

#include "core/geodesy.h"
#include "core/random.h"
#include "liveries/dbase_queries.h"

namespace {

constexpr double kRotationPitchVariationPercent = 2.5;
constexpr double kClimbPitchVariationPercent = 5.0;

template <typename T>
using CategoryTable = std::unordered_map<std::uint32_t, T>;

// Keyed by the category's number, so a number outside the enumeration is refused
// rather than read past an array.
template <typename T>
T lf_lookup(const CategoryTable<T>& table, clv::AcCategory category) {
    const auto it = table.find(static_cast<std::uint32_t>(category));
    if (it == table.end()) throw std::out_of_range("invalid unordered_map<K, T> key");
    return it->second;
}

// Columns: Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft.
const CategoryTable<double>& lf_angleStep() {
    static const CategoryTable<double> table{{0, 0.15}, {1, 0.10}, {2, 0.07}, {3, 0.05}, {4, 0.10}, {5, 0.20}};
    return table;
}
const CategoryTable<double>& lf_rotationPitch() {
    static const CategoryTable<double> table{{0, -9.0}, {1, -8.0}, {2, -6.0}, {3, -5.0}, {4, -6.0}, {5, -20.0}};
    return table;
}
const CategoryTable<double>& lf_climbPitch() {
    static const CategoryTable<double> table{{0, -15.0}, {1, -18.0}, {2, -16.5}, {3, -12.5}, {4, -20.0}, {5, -30.0}};
    return table;
}
const CategoryTable<std::int32_t>& lf_flareTicks() {
    static const CategoryTable<std::int32_t> table{{0, 250}, {1, 300}, {2, 400}, {3, 450}, {4, 150}, {5, 100}};
    return table;
}
const CategoryTable<std::int32_t>& lf_deRotationTicks() {
    static const CategoryTable<std::int32_t> table{{0, 250}, {1, 300}, {2, 350}, {3, 450}, {4, 150}, {5, 100}};
    return table;
}
const CategoryTable<std::int32_t>& lf_rotationTicks() {
    static const CategoryTable<std::int32_t> table{{0, 100}, {1, 200}, {2, 200}, {3, 250}, {4, 100}, {5, 100}};
    return table;
}
const CategoryTable<std::int32_t>& lf_climbPitchTicks() {
    static const CategoryTable<std::int32_t> table{{0, 200}, {1, 250}, {2, 300}, {3, 400}, {4, 200}, {5, 100}};
    return table;
}
const CategoryTable<double>& lf_groundValueA() {
    static const CategoryTable<double> table{{0, 0.5}, {1, 0.75}, {2, 0.6}, {3, 0.5}, {4, 1.0}, {5, 0.75}};
    return table;
}
const CategoryTable<double>& lf_groundValueB() {
    static const CategoryTable<double> table{{0, 5.0}, {1, 4.5}, {2, 4.0}, {3, 3.0}, {4, 4.5}, {5, 5.0}};
    return table;
}

}  // namespace

double gf_categoryAngleStepDegrees(clv::AcCategory category) { return lf_lookup(lf_angleStep(), category); }
double gf_categoryRotationPitchDegrees(clv::AcCategory category) { return lf_lookup(lf_rotationPitch(), category); }
double gf_categoryClimbPitchDegrees(clv::AcCategory category) { return lf_lookup(lf_climbPitch(), category); }
std::int32_t gf_categoryFlareTicks(clv::AcCategory category) { return lf_lookup(lf_flareTicks(), category); }
std::int32_t gf_categoryDeRotationTicks(clv::AcCategory category) { return lf_lookup(lf_deRotationTicks(), category); }
std::int32_t gf_categoryRotationTicks(clv::AcCategory category) { return lf_lookup(lf_rotationTicks(), category); }
std::int32_t gf_categoryClimbPitchTicks(clv::AcCategory category) { return lf_lookup(lf_climbPitchTicks(), category); }
double gf_categoryGroundValueA(clv::AcCategory category) { return lf_lookup(lf_groundValueA(), category); }
double gf_categoryGroundValueB(clv::AcCategory category) { return lf_lookup(lf_groundValueB(), category); }

namespace clv {

AcData::AcData(const AcIdentity& identity) : AcIdentity(identity) {
    radius = gf_wingspan(type);
    category = gf_type2Category(type);
    flareTicks = gf_categoryFlareTicks(category);
    deRotationTicks = gf_categoryDeRotationTicks(category);
    rotationTicks = gf_categoryRotationTicks(category);
    climbPitchTicks = gf_categoryClimbPitchTicks(category);
    rotationPitch = gf_randomPercent(gf_categoryRotationPitchDegrees(category), kRotationPitchVariationPercent) * kDegToRad;
    climbPitch = gf_randomPercent(gf_categoryClimbPitchDegrees(category), kClimbPitchVariationPercent) * kDegToRad;
    angleStep = gf_categoryAngleStepDegrees(category) * kDegToRad;
}

}  // namespace clv
