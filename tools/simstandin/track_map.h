#pragma once
// A map of the stand-in's sky and ground as an SVG picture: the user aircraft and
// every AI aircraft with the track it was moved along, its callsign and a scale bar.
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace clv::standin {

struct MapView {
    // The centre (degrees); none: the user aircraft.
    std::optional<double> latitude;
    std::optional<double> longitude;
    // The radius shown (nautical miles); none: enough for every track, at least 0.2 nm.
    std::optional<double> radiusNm;
};

// The picture of a "history" answer (its "user" and "tracks").
std::string gf_trackMapSvg(const nlohmann::json& history, const MapView& view = {});

}  // namespace clv::standin
