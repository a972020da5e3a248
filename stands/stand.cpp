#include "stands/stand.h"

#include <algorithm>

std::vector<clv::Stand> standList;

clv::Stand* gf_standWithId(std::uint32_t id) {
    // The reader numbers the stands by their place; a list changed since is searched.
    if (id != 0 && id <= standList.size() && standList[id - 1].id == id) return &standList[id - 1];
    auto it = std::find_if(standList.begin(), standList.end(), [id](const clv::Stand& s) { return s.id == id; });
    return it == standList.end() ? nullptr : &*it;
}

void gf_occupyStand(clv::Stand& stand, std::uint32_t hexid) {
    stand.occupied = true;
    stand.holder = hexid;
}

bool gf_releaseStand(clv::Stand& stand, std::uint32_t hexid) {
    if (!stand.occupied || stand.holder != hexid) return false;
    stand.occupied = false;
    stand.holder = 0;
    return true;
}
