#pragma once
// What the in-process end-to-end runs of the engine share: a free loopback UDP
// port for the reader, and how far a point of the stand-in's history lies off
// the scripted path.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/geodesy.h"

namespace clv::test {

inline std::uint16_t gf_freeUdpPort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    std::uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

// Metres from the point to the polyline.
inline double gf_metresOffPath(const std::vector<LatLon>& path, LatLon p) {
    if (path.empty()) return 1e12;
    double best = gf_distanceNm(path.front(), p) * kMetresPerNm;  // a path of one point is that point
    for (std::size_t i = 1; i < path.size(); ++i) {
        // On a local flat earth around the segment's start.
        const double k = std::cos(path[i - 1].lat * kDegToRad);
        const double bx = (path[i].lon - path[i - 1].lon) * k, by = path[i].lat - path[i - 1].lat;
        const double px = (p.lon - path[i - 1].lon) * k, py = p.lat - path[i - 1].lat;
        const double len2 = bx * bx + by * by;
        const double u = len2 > 0 ? std::clamp((px * bx + py * by) / len2, 0.0, 1.0) : 0.0;
        const double dx = px - u * bx, dy = py - u * by;
        best = std::min(best, std::hypot(dx, dy) * 60.0 * kMetresPerNm);
    }
    return best;
}

}  // namespace clv::test
