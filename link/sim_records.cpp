#include "link/sim_records.h"

#include <algorithm>
#include <cstring>

namespace {

template <class T>
T lf_at(const clv::ScRecvSimObjectData& m, std::size_t offset) {
    T value;
    std::memcpy(&value, m.data + offset, sizeof value);
    return value;
}

}  // namespace

std::optional<clv::UserAcData> gf_readUserAcData(const clv::ScRecvSimObjectData& m) {
    if (m.data == nullptr || m.dataSize < clv::kUserAcDataSize) return std::nullopt;
    return lf_at<clv::UserAcData>(m, 0);
}

std::optional<clv::AcInRangeData> gf_readAcInRange(const clv::ScRecvSimObjectData& m) {
    using namespace clv;
    if (m.data == nullptr || m.dataSize < kAcInRangeDataSize) return std::nullopt;
    AcInRangeData d;
    d.altAboveGround = lf_at<double>(m, kAcInRangeAltAboveGroundOffset);
    d.groundAltitude = lf_at<double>(m, kAcInRangeGroundAltitudeOffset);
    d.onGround = static_cast<std::uint32_t>(lf_at<std::uint64_t>(m, kAcInRangeOnGroundOffset));
    const char* id = reinterpret_cast<const char*>(m.data + kAcInRangeAtcIdOffset);
    d.atcId.assign(id, strnlen(id, kAtcIdSize));
    return d;
}

std::optional<clv::StaticCgData> gf_readStaticCg(const clv::ScRecvSimObjectData& m) {
    if (m.data == nullptr || m.dataSize < clv::kStaticCgDataSize) return std::nullopt;
    return lf_at<clv::StaticCgData>(m, 0);
}

std::optional<bool> gf_readOnGround(const clv::ScRecvSimObjectData& m) {
    if (m.data == nullptr || m.dataSize < clv::kOnGroundDataSize) return std::nullopt;
    return static_cast<std::uint32_t>(lf_at<std::uint64_t>(m, 0)) != 0;
}

std::string gf_readText(const clv::ScRecvSimObjectData& m, std::size_t capacity) {
    if (m.data == nullptr) return {};
    const char* text = reinterpret_cast<const char*>(m.data);
    return std::string(text, strnlen(text, std::min<std::size_t>(capacity, m.dataSize)));
}
