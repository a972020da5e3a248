#include "tools/simstandin/track_map.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

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

// The label's room, from the font size: a mean glyph width of about 0.6 em.
constexpr double kFontPx = 12.0;
constexpr double kGlyphWidth = 7.0;
constexpr double kLineHeight = 14.0;
constexpr double kLabelGap = 10.0;  // from the symbol's centre to the label
// Labels that find no free place beside their aircraft stand further up or down
// the column, with a line to their aircraft; after this many rows it gives up
// and draws over others.
constexpr int kLabelRows = 40;

struct Box {
    double left, top, right, bottom;
    bool overlaps(const Box& o) const { return left < o.right && o.left < right && top < o.bottom && o.top < bottom; }
};

// Places labels so that none covers another: a label tries the four places
// beside its aircraft, then rows further up and down; aircraft that end at one
// point (arrivals whose feed ends on the runway, neighbouring stands) thus keep
// readable labels.
class LabelPlacer {
public:
    // The text element (and a leader line when the label stands off its aircraft).
    std::string place(double x, double y, const std::string& text, const char* colour) {
        const double width = kGlyphWidth * static_cast<double>(text.size());
        auto boxAt = [&](double left, double baseline) {
            return Box{left, baseline - kFontPx, left + width, baseline + kLineHeight - kFontPx};
        };
        const double right = x + kLabelGap;
        const double left = x - kLabelGap - width;
        const double above = y - 6.0;
        const double below = y + 6.0 + kFontPx;
        std::vector<std::pair<double, double>> candidates{{right, above}, {right, below}, {left, above}, {left, below}};
        for (int row = 1; row <= kLabelRows; ++row) {
            candidates.emplace_back(right, above - row * kLineHeight);
            candidates.emplace_back(right, below + row * kLineHeight);
            candidates.emplace_back(left, above - row * kLineHeight);
            candidates.emplace_back(left, below + row * kLineHeight);
        }
        std::size_t chosen = 0;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const Box box = boxAt(candidates[i].first, candidates[i].second);
            if (std::none_of(placed_.begin(), placed_.end(), [&](const Box& b) { return b.overlaps(box); })) {
                chosen = i;
                break;
            }
        }
        const auto [lx, baseline] = candidates[chosen];
        placed_.push_back(boxAt(lx, baseline));
        std::string out;
        if (chosen >= 4) {
            const double endX = lx == right ? lx - 2.0 : lx + width + 2.0;
            out += fmt::format(R"svg(<line x1="{:.1f}" y1="{:.1f}" x2="{:.1f}" y2="{:.1f}" stroke="{}" stroke-width="0.5"/>)svg" "\n",
                               x, y, endX, baseline - kFontPx / 3.0, colour);
        }
        out += fmt::format(R"svg(<text x="{:.1f}" y="{:.1f}" fill="{}">{}</text>)svg" "\n", lx, baseline, colour,
                           lf_escape(text));
        return out;
    }

    // Room taken by something else than a label (the user's own).
    void reserve(const Box& box) { placed_.push_back(box); }

private:
    std::vector<Box> placed_;
};

constexpr const char* kMovedColour = "#1f5fa8";
constexpr const char* kRemovedColour = "#9a9a9a";
constexpr const char* kParkedColour = "#2e7d32";
constexpr const char* kUserColour = "#c0392b";

// An aircraft to draw: where it is (or was last), its heading, its label.
struct MapAircraft {
    double latitude, longitude, headingDeg;
    std::string label;
    const char* colour;
    const nlohmann::json* points;  // its track, or none for an aircraft that never moved
};

// Every aircraft of a "history" answer: those with a track, and the AI objects
// of its "objects" (when given) that have none: set where they were created and
// never moved, like the static parked aircraft.
std::vector<MapAircraft> lf_mapAircraft(const nlohmann::json& history) {
    std::vector<MapAircraft> out;
    std::set<std::uint32_t> tracked;
    for (const auto& track : history.at("tracks")) {
        const auto& points = track.at("points");
        if (points.empty()) continue;
        tracked.insert(track.value("id", 0u));
        const auto& last = points.back();
        out.push_back(MapAircraft{last.at("lat").get<double>(), last.at("lon").get<double>(),
                                  last.at("heading_deg").get<double>(), track.value("atc_id", std::string()),
                                  track.value("removed", false) ? kRemovedColour : kMovedColour, &points});
    }
    if (history.contains("objects")) {
        for (const auto& o : history.at("objects")) {
            if (o.value("origin", std::string("ai")) != "ai") continue;
            if (tracked.contains(o.value("id", 0u))) continue;
            out.push_back(MapAircraft{o.at("lat").get<double>(), o.at("lon").get<double>(), o.value("heading_deg", 0.0),
                                      o.value("atc_id", std::string()), kParkedColour, nullptr});
        }
    }
    return out;
}

}  // namespace

std::size_t gf_mapAircraftCount(const nlohmann::json& history) { return lf_mapAircraft(history).size(); }

std::string gf_trackMapSvg(const nlohmann::json& history, const MapView& view) {
    const nlohmann::json& user = history.at("user");
    const double userLat = user.at("lat").get<double>();
    const double userLon = user.at("lon").get<double>();
    const std::vector<MapAircraft> aircraft = lf_mapAircraft(history);
    Projection p{view.latitude.value_or(userLat), view.longitude.value_or(userLon), kMinRadiusNm};
    if (view.radiusNm) {
        p.radiusNm = std::max(*view.radiusNm, 1e-6);
    } else {
        double far = 0.0;
        for (const MapAircraft& a : aircraft) {
            far = std::max(far, p.distanceNm(a.latitude, a.longitude));
            if (a.points == nullptr) continue;
            for (const auto& pt : *a.points)
                far = std::max(far, p.distanceNm(pt.at("lat").get<double>(), pt.at("lon").get<double>()));
        }
        p.radiusNm = std::max(kMinRadiusNm, far * kFitMargin);
    }

    std::string svg = fmt::format(
        R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="{0}" height="{0}" viewBox="0 0 {0} {0}" font-family="sans-serif" font-size="{1}">)svg"
        "\n<rect width=\"100%\" height=\"100%\" fill=\"#f4f2ec\"/>\n",
        kSize, kFontPx);
    svg += fmt::format(R"svg(<circle cx="{0}" cy="{0}" r="{1:.1f}" fill="none" stroke="#c8c4b8" stroke-dasharray="4 4"/>)svg" "\n",
                       kSize / 2.0, kSize / 2.0 - kMargin);

    // Tracks first, then the symbols, then the labels over both.
    for (const MapAircraft& a : aircraft) {
        if (a.points == nullptr) continue;
        std::string line;
        for (const auto& pt : *a.points)
            line += fmt::format("{:.1f},{:.1f} ", p.x(pt.at("lon").get<double>()), p.y(pt.at("lat").get<double>()));
        svg += fmt::format(R"svg(<polyline points="{}" fill="none" stroke="{}" stroke-width="1.5"/>)svg" "\n", line,
                           a.colour);
    }
    for (const MapAircraft& a : aircraft) svg += lf_aircraft(p.x(a.longitude), p.y(a.latitude), a.headingDeg, a.colour);
    const double userX = p.x(userLon);
    const double userY = p.y(userLat);
    svg += lf_aircraft(userX, userY, user.value("heading_deg", 0.0), kUserColour);
    svg += fmt::format(R"svg(<text x="{:.1f}" y="{:.1f}" fill="{}">you</text>)svg" "\n", userX + kLabelGap, userY + 16.0,
                       kUserColour);
    LabelPlacer labels;
    labels.reserve(Box{userX + kLabelGap, userY + 16.0 - kFontPx, userX + kLabelGap + 3 * kGlyphWidth,
                       userY + 16.0 - kFontPx + kLineHeight});
    for (const MapAircraft& a : aircraft) svg += labels.place(p.x(a.longitude), p.y(a.latitude), a.label, a.colour);

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
