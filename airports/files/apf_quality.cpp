#include "airports/files/apf_quality.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstdint>

#include <fmt/format.h>

namespace {

constexpr double kBaseScore = 10000.0;
constexpr std::uint32_t kPerOption = 20;
constexpr std::uint32_t kOptionCap = 4000;
constexpr std::uint32_t kPerDay = 100;
constexpr std::uint32_t kPerHalfHour = 2;
constexpr std::uint32_t kHalfHourCap = 600;
constexpr double kScoreToPercent = 0.00625;
constexpr std::int32_t kMaxFactor = 100;
constexpr std::int32_t kRealShownAloneFrom = 45;

struct KindCount {
    std::uint32_t n = 0;
    std::bitset<8> days;
    std::uint64_t halfHours = 0;

    double score() const {
        if (n == 0) return 0.0;
        return kBaseScore + std::min<std::uint64_t>(std::uint64_t{kPerOption} * n, kOptionCap) +
               kPerDay * days.count() + kPerHalfHour * std::min<std::uint64_t>(halfHours, kHalfHourCap);
    }
};

std::int32_t lf_factor(double scoreSum, std::size_t standCount) {
    const double f = std::round(scoreSum / static_cast<double>(standCount) * kScoreToPercent);
    if (f < 1.0) return 0;
    return static_cast<std::int32_t>(std::min(f, static_cast<double>(kMaxFactor)));
}

}  // namespace

clv::QualityFactors gf_qualityFactor(const std::vector<clv::Stand>& stands) {
    const bool anyOption = std::any_of(stands.begin(), stands.end(), [](const clv::Stand& s) { return !s.options.empty(); });
    if (!anyOption) return {};
    double realSum = 0.0;
    double softSum = 0.0;
    for (const clv::Stand& stand : stands) {
        KindCount real;
        KindCount soft;
        for (const clv::StandOption& option : stand.options) {
            if (option.id == 0) continue;
            KindCount& kind = option.real != 0 ? real : soft;
            ++kind.n;
            if (option.weekday >= 1 && option.weekday <= 7) kind.days.set(option.weekday);
            kind.halfHours += option.hours.count();
        }
        realSum += real.score();
        softSum += soft.score();
    }
    return {lf_factor(realSum, stands.size()), lf_factor(softSum, stands.size())};
}

clv::QualityFactors gf_qualityFactor() { return gf_qualityFactor(standList); }

std::string gf_qualityText(clv::QualityFactors quality) {
    if (quality.real < 0 && quality.soft < 0) return "  ";
    if (quality.real < kRealShownAloneFrom) return fmt::format("{:2}/{:2}", quality.real, quality.soft);
    return fmt::format("{:2}", quality.real);
}
