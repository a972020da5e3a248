#pragma once
// A map of the stand-in's sky and ground as an SVG picture: the user aircraft and
// every AI aircraft with the track it was moved along (or, never moved, where it
// stands), its callsign or tail number and a scale bar.
#include <cstddef>
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

// The picture of a "history" answer (its "user" and "tracks"), with the AI
// aircraft of an "objects" list under "objects" that have no track.
std::string gf_trackMapSvg(const nlohmann::json& history, const MapView& view = {});
// The aircraft that picture draws.
std::size_t gf_mapAircraftCount(const nlohmann::json& history);

}  // namespace clv::standin
