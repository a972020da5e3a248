#include "tools/simstandin/track_map.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace clv::standin {

namespace {

constexpr double kSize = 800.0;    // pixels, square
constexpr double kMargin = 40.0;   // around the drawing area
constexpr double kNmPerDegree = 60.0;
constexpr double kDegToRad = 0.017453292519943295;
constexpr double kMinRadiusNm = 0.2;
constexpr double kFitMargin = 1.1;

// A local flat projection around the centre, north up.
struct Projection {
    double latitude, longitude, radiusNm;
    double scale() const { return (kSize / 2.0 - kMargin) / radiusNm; }  // pixels per nm
    double x(double lon) const {
        return kSize / 2.0 + (lon - longitude) * kNmPerDegree * std::cos(latitude * kDegToRad) * scale();
    }
    double y(double lat) const { return kSize / 2.0 - (lat - latitude) * kNmPerDegree * scale(); }
    double distanceNm(double lat, double lon) const {
        const double north = (lat - latitude) * kNmPerDegree;
        const double east = (lon - longitude) * kNmPerDegree * std::cos(latitude * kDegToRad);
        return std::hypot(north, east);
    }
};

std::string lf_escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// An aircraft symbol: a triangle pointing along the heading.
std::string lf_aircraft(double x, double y, double headingDeg, const char* colour) {
    return fmt::format(R"svg(<polygon points="0,-9 6,7 0,3 -6,7" fill="{}" transform="translate({:.1f},{:.1f}) rotate({:.1f})"/>)svg"
                       "\n",
                       colour, x, y, headingDeg);
}

// A round number (1, 2 or 5 times a power of ten) at most `target`.
double lf_roundDown(double target) {
    const double power = std::pow(10.0, std::floor(std::log10(target)));
    for (double f : {5.0, 2.0, 1.0})
        if (f * power <= target) return f * power;
    return power;
}

}  // namespace

std::string gf_trackMapSvg(const nlohmann::json& history, const MapView& view) {
    const nlohmann::json& user = history.at("user");
    const double userLat = user.at("lat").get<double>();
    const double userLon = user.at("lon").get<double>();
    Projection p{view.latitude.value_or(userLat), view.longitude.value_or(userLon), kMinRadiusNm};
    if (view.radiusNm) {
        p.radiusNm = std::max(*view.radiusNm, 1e-6);
    } else {
        double far = 0.0;
        for (const auto& track : history.at("tracks"))
            for (const auto& pt : track.at("points"))
                far = std::max(far, p.distanceNm(pt.at("lat").get<double>(), pt.at("lon").get<double>()));
        p.radiusNm = std::max(kMinRadiusNm, far * kFitMargin);
    }

    std::string svg = fmt::format(
        R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="{0}" height="{0}" viewBox="0 0 {0} {0}" font-family="sans-serif" font-size="12">)svg"
        "\n<rect width=\"100%\" height=\"100%\" fill=\"#f4f2ec\"/>\n",
        kSize);
    svg += fmt::format(R"svg(<circle cx="{0}" cy="{0}" r="{1:.1f}" fill="none" stroke="#c8c4b8" stroke-dasharray="4 4"/>)svg" "\n",
                       kSize / 2.0, kSize / 2.0 - kMargin);

    for (const auto& track : history.at("tracks")) {
        const auto& points = track.at("points");
        if (points.empty()) continue;
        std::string line;
        for (const auto& pt : points)
            line += fmt::format("{:.1f},{:.1f} ", p.x(pt.at("lon").get<double>()), p.y(pt.at("lat").get<double>()));
        const bool removed = track.value("removed", false);
        svg += fmt::format(R"svg(<polyline points="{}" fill="none" stroke="{}" stroke-width="1.5"/>)svg" "\n", line,
                           removed ? "#9a9a9a" : "#1f5fa8");
        const auto& last = points.back();
        const double x = p.x(last.at("lon").get<double>());
        const double y = p.y(last.at("lat").get<double>());
        svg += lf_aircraft(x, y, last.at("heading_deg").get<double>(), removed ? "#9a9a9a" : "#1f5fa8");
        svg += fmt::format(R"svg(<text x="{:.1f}" y="{:.1f}">{}</text>)svg" "\n", x + 10.0, y - 6.0,
                           lf_escape(track.value("atc_id", std::string())));
    }

    svg += lf_aircraft(p.x(userLon), p.y(userLat), user.value("heading_deg", 0.0), "#c0392b");
    svg += fmt::format(R"svg(<text x="{:.1f}" y="{:.1f}" fill="#c0392b">you</text>)svg" "\n", p.x(userLon) + 10.0,
                       p.y(userLat) + 16.0);

    // About half the radius, round in nautical miles, or in metres below one mile.
    const double halfNm = p.radiusNm / 2.0;
    const bool inMiles = halfNm >= 1.0;
    const double barNm = inMiles ? lf_roundDown(halfNm) : lf_roundDown(halfNm * 1852.0) / 1852.0;
    const double barPx = barNm * p.scale();
    const double y = kSize - kMargin / 2.0;
    svg += fmt::format(R"svg(<line x1="{0:.1f}" y1="{1:.1f}" x2="{2:.1f}" y2="{1:.1f}" stroke="black" stroke-width="3"/>)svg" "\n",
                       kMargin, y, kMargin + barPx);
    const std::string label = inMiles ? fmt::format("{:g} nm", barNm) : fmt::format("{:g} m", std::round(barNm * 1852.0));
    svg += fmt::format(R"svg(<text x="{:.1f}" y="{:.1f}">{}</text>)svg" "\n", kMargin + barPx + 8.0, y + 4.0, label);
    svg += "</svg>\n";
    return svg;
}

}  // namespace clv::standin
