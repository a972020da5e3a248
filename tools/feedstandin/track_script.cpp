#include "tools/feedstandin/track_script.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>

#include "core/text.h"

namespace {

using clv::FeedPoint;

std::string lf_orNull(const std::string& text) { return text.empty() ? "null" : text; }

double lf_number(const std::string& text, const std::string& what) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        throw std::runtime_error(fmt::format("{} \"{}\" is not a number", what, text));
    return value;
}

std::vector<std::string> lf_words(std::string_view line) {
    std::istringstream in{std::string(line)};
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

void lf_setIdentityKey(clv::FeedIdentity& id, const std::string& key, const std::string& value) {
    if (key == "hexid") {
        std::uint32_t hexid = 0;
        auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), hexid, 10);
        if (ec != std::errc() || ptr != value.data() + value.size())
            throw std::runtime_error(fmt::format("hexid \"{}\" is not a decimal number", value));
        id.hexid = hexid;
    } else if (key == "callsign") {
        id.callsign = value;
    } else if (key == "type") {
        id.type = value;
    } else if (key == "reg") {
        id.registration = value;
    } else if (key == "airline") {
        id.airline = value;
    } else if (key == "from") {
        id.origin = value;
    } else if (key == "to") {
        id.destination = value;
    } else if (key == "category") {
        id.category = value;
    } else if (key == "source") {
        id.source = value;
    } else {
        throw std::runtime_error(fmt::format("unknown aircraft key \"{}\"", key));
    }
}

FeedPoint lf_readPoint(const std::vector<std::string>& words) {
    if (words.size() < 8)
        throw std::runtime_error("a point needs: time lat lon alt gs track vs ground|air");
    FeedPoint p;
    p.time = lf_number(words[0], "time");
    p.latitude = lf_number(words[1], "latitude");
    p.longitude = lf_number(words[2], "longitude");
    p.altitude = lf_number(words[3], "altitude");
    p.groundSpeed = lf_number(words[4], "ground speed");
    if (words[5] != "-") p.track = lf_number(words[5], "track");
    p.verticalSpeed = lf_number(words[6], "vertical speed");
    if (words[7] == "ground")
        p.onGround = true;
    else if (words[7] != "air")
        throw std::runtime_error(fmt::format("\"{}\" is neither ground nor air", words[7]));
    for (std::size_t i = 8; i < words.size(); ++i) {
        auto eq = words[i].find('=');
        if (eq == std::string::npos) throw std::runtime_error(fmt::format("\"{}\" is not key=value", words[i]));
        std::string key = words[i].substr(0, eq);
        std::string value = words[i].substr(eq + 1);
        if (key == "tas")
            p.trueAirspeed = lf_number(value, "tas");
        else if (key == "roll")
            p.roll = lf_number(value, "roll");
        else if (key == "heading")
            p.heading = lf_number(value, "heading");
        else
            throw std::runtime_error(fmt::format("unknown point key \"{}\"", key));
    }
    return p;
}

double lf_lerp(double a, double b, double f) { return a + (b - a) * f; }

// Along the shorter way round, in 0..360.
double lf_lerpAngle(double a, double b, double f) {
    double d = std::fmod(b - a + 540.0, 360.0) - 180.0;
    double r = std::fmod(a + d * f + 360.0, 360.0);
    return r;
}

std::optional<double> lf_lerpOptionalAngle(const std::optional<double>& a, const std::optional<double>& b, double f) {
    if (a && b) return lf_lerpAngle(*a, *b, f);
    return a;
}

FeedPoint lf_between(const FeedPoint& a, const FeedPoint& b, double t) {
    const double f = (t - a.time) / (b.time - a.time);
    FeedPoint p = a;
    p.time = t;
    p.latitude = lf_lerp(a.latitude, b.latitude, f);
    p.longitude = lf_lerp(a.longitude, b.longitude, f);
    p.altitude = lf_lerp(a.altitude, b.altitude, f);
    p.groundSpeed = lf_lerp(a.groundSpeed, b.groundSpeed, f);
    p.verticalSpeed = lf_lerp(a.verticalSpeed, b.verticalSpeed, f);
    p.track = lf_lerpOptionalAngle(a.track, b.track, f);
    p.heading = lf_lerpOptionalAngle(a.heading, b.heading, f);
    if (a.trueAirspeed >= 0 && b.trueAirspeed >= 0) p.trueAirspeed = lf_lerp(a.trueAirspeed, b.trueAirspeed, f);
    p.roll = lf_lerp(a.roll, b.roll, f);
    return p;
}

std::optional<double> lf_timestampOf(std::string_view line) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < kFeedTimestampField; ++i) {
        start = line.find(',', start);
        if (start == std::string_view::npos) return std::nullopt;
        ++start;
    }
    std::size_t end = line.find(',', start);
    std::string_view field = line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    double value = 0;
    auto [ptr, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string lf_withTimestamp(std::string_view line, double timestamp) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < kFeedTimestampField; ++i) start = line.find(',', start) + 1;
    std::size_t end = line.find(',', start);
    std::string out(line.substr(0, start));
    out += fmt::format("{:.2f}", timestamp);
    if (end != std::string_view::npos) out += line.substr(end);
    return out;
}

}  // namespace

clv::FeedScript gf_readTrackScript(std::string_view text) {
    clv::FeedScript script;
    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::string_view raw = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() + 1 : nl + 1;
        ++lineNumber;
        std::string_view line = raw;
        if (auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        std::vector<std::string> words = lf_words(line);
        if (words.empty()) continue;
        try {
            if (words[0] == "every") {
                if (words.size() != 2) throw std::runtime_error("every needs one number of seconds");
                script.every = lf_number(words[1], "every");
                if (script.every < 0) throw std::runtime_error("every must not be negative");
            } else if (words[0] == "aircraft") {
                clv::FeedTrack track;
                for (std::size_t i = 1; i < words.size(); ++i) {
                    auto eq = words[i].find('=');
                    if (eq == std::string::npos)
                        throw std::runtime_error(fmt::format("\"{}\" is not key=value", words[i]));
                    lf_setIdentityKey(track.identity, words[i].substr(0, eq), words[i].substr(eq + 1));
                }
                if (track.identity.hexid == 0) throw std::runtime_error("an aircraft needs a hexid");
                script.tracks.push_back(std::move(track));
            } else {
                if (script.tracks.empty()) throw std::runtime_error("a point before the first aircraft line");
                FeedPoint p = lf_readPoint(words);
                auto& points = script.tracks.back().points;
                if (!points.empty() && p.time <= points.back().time)
                    throw std::runtime_error("the times of a track must increase");
                points.push_back(p);
            }
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(fmt::format("line {}: {}", lineNumber, e.what()));
        }
    }
    return script;
}

std::string gf_trafficLine(const clv::FeedIdentity& id, const clv::FeedPoint& p, double timestamp) {
    const std::string track = p.track ? fmt::format("{:.1f}", *p.track) : std::string();
    const double heading = p.heading ? *p.heading : p.track.value_or(0.0);
    // Fields the program does not read carry "null" or a plain copy.
    return fmt::format(
        "TFC,{},{:.6f},{:.6f},{:.0f},{:.0f},{},{},{:.1f},{},{},{},{},{},{:.2f},null,{},{},{:.0f},null,{:.0f},null,null,"
        "{:.1f},null,{:.1f},null,null,{}",
        id.hexid, p.latitude, p.longitude, p.altitude, p.verticalSpeed, p.onGround ? 1 : 0, track, p.groundSpeed,
        lf_orNull(id.callsign), lf_orNull(id.type), lf_orNull(id.registration), lf_orNull(id.origin),
        lf_orNull(id.destination), timestamp, lf_orNull(id.airline), id.source, p.altitude, p.trueAirspeed,
        p.roll, heading, id.category);
}

std::vector<clv::TimedLine> gf_linesOfScript(const clv::FeedScript& script, double startTimestamp) {
    std::vector<clv::TimedLine> lines;
    for (const clv::FeedTrack& track : script.tracks) {
        const auto& pts = track.points;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            lines.push_back({pts[i].time, gf_trafficLine(track.identity, pts[i], startTimestamp + pts[i].time)});
            if (script.every <= 0 || i + 1 == pts.size()) continue;
            for (double t = pts[i].time + script.every; t < pts[i + 1].time - 1e-9; t += script.every) {
                FeedPoint mid = lf_between(pts[i], pts[i + 1], t);
                lines.push_back({t, gf_trafficLine(track.identity, mid, startTimestamp + t)});
            }
        }
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const clv::TimedLine& a, const clv::TimedLine& b) { return a.offset < b.offset; });
    return lines;
}

std::vector<clv::TimedLine> gf_readReplayLines(std::string_view text, std::optional<double> restampFrom) {
    std::vector<clv::TimedLine> lines;
    std::optional<double> first;
    double lastOffset = 0.0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        // A line without a readable time stamp keeps the time of the line before it.
        if (std::optional<double> stamp = lf_timestampOf(line)) {
            if (!first) first = *stamp;
            lastOffset = std::max(0.0, *stamp - *first);
        }
        std::string out(line);
        if (restampFrom && lf_timestampOf(line)) out = lf_withTimestamp(line, *restampFrom + lastOffset);
        lines.push_back({lastOffset, std::move(out)});
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const clv::TimedLine& a, const clv::TimedLine& b) { return a.offset < b.offset; });
    return lines;
}
