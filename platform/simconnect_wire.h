#pragma once
// The wire format between our SimConnect client and the simulator (or its
// stand-in), as platform/simconnect_protocol.md describes it: length-prefixed,
// little-endian frames. Every record kind has one field list, used for writing
// and for reading alike, so the two sides cannot drift apart.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/simconnect.h"

namespace clv {

static_assert(std::endian::native == std::endian::little, "the wire format is written as in memory");

inline constexpr std::uint32_t kScProtocolVersion = 1;
inline constexpr std::size_t kScHeaderSize = 12;          // size, kind, packet id
inline constexpr std::size_t kScSizeOffset = 0;
inline constexpr std::size_t kScKindOffset = 4;
inline constexpr std::size_t kScPacketIdOffset = 8;
inline constexpr std::uint32_t kScMaxFrameSize = 16u << 20;

// Frames from the client to the simulator.
enum class ScCallKind : std::uint32_t {
    Open = 1,
    Close = 2,
    SubscribeToSystemEvent = 3,
    AddToDataDefinition = 4,
    MapClientEventToSimEvent = 5,
    AddClientEventToNotificationGroup = 6,
    SetNotificationGroupPriority = 7,
    RequestDataOnSimObject = 8,
    RequestDataOnSimObjectType = 9,
    SetDataOnSimObject = 10,
    TransmitClientEvent = 11,
    AICreateNonATCAircraft = 12,
    AIReleaseControl = 13,
    AIRemoveObject = 14,
    AISetAircraftFlightPlan = 15,
    FailNextAck = 100,
};

// Frames from the simulator carry the ScRecvId numbers as their kind, and this one:
// "make the next call of this function fail" (a test hook of the stand-in).
inline constexpr std::uint32_t kScFailNextKind = 100;

// Records of the client's calls. Texts and byte blocks are views: into the
// caller's arguments when written, into the received frame when read.
struct ScOpenCall {
    std::uint32_t protocolVersion = kScProtocolVersion;
    std::string_view name;
    std::uint32_t configIndex = 0;
};
struct ScCloseCall {};
struct ScSubscribeCall {
    std::uint32_t eventId = 0;
    std::string_view name;
};
struct ScAddToDefinitionCall {
    std::uint32_t defineId = 0;
    std::string_view datumName;
    std::string_view unitsName;
    ScDataType datumType = ScDataType::Float64;
    float epsilon = 0.0f;
    std::uint32_t datumId = kScUnused;
};
struct ScMapEventCall {
    std::uint32_t eventId = 0;
    std::string_view name;
};
struct ScAddToGroupCall {
    std::uint32_t groupId = 0;
    std::uint32_t eventId = 0;
    std::uint32_t maskable = 0;
};
struct ScGroupPriorityCall {
    std::uint32_t groupId = 0;
    std::uint32_t priority = 0;
};
struct ScRequestDataCall {
    std::uint32_t requestId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t objectId = 0;
    ScPeriod period = ScPeriod::Never;
    std::uint32_t flags = 0;
    std::uint32_t origin = 0;
    std::uint32_t interval = 0;
    std::uint32_t limit = 0;
};
struct ScRequestByTypeCall {
    std::uint32_t requestId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t radiusMeters = 0;
    ScObjectType objectType = ScObjectType::Aircraft;
};
struct ScSetDataCall {
    std::uint32_t defineId = 0;
    std::uint32_t objectId = 0;
    std::uint32_t flags = 0;
    std::uint32_t arrayCount = 0;
    std::uint32_t unitSize = 0;
    std::string_view data;
};
struct ScTransmitEventCall {
    std::uint32_t objectId = 0;
    std::uint32_t eventId = 0;
    std::uint32_t data = 0;
    std::uint32_t groupId = 0;
    std::uint32_t flags = 0;
};
struct ScCreateAircraftCall {
    std::string_view title;
    std::string_view tailNumber;
    ScInitPosition position;
    std::uint32_t requestId = 0;
};
// AIReleaseControl and AIRemoveObject.
struct ScObjectCall {
    std::uint32_t objectId = 0;
    std::uint32_t requestId = 0;
};
struct ScFlightPlanCall {
    std::uint32_t objectId = 0;
    std::string_view path;
    std::uint32_t requestId = 0;
};
// FailNext (simulator to client) and FailNextAck (client to simulator).
struct ScFailNext {
    std::string_view function;
};

// Field lists. A visitor is called with each field in wire order.
template <class V> void gf_scFields(V& v, ScOpenCall& r) { v(r.protocolVersion); v(r.name); v(r.configIndex); }
template <class V> void gf_scFields(V&, ScCloseCall&) {}
template <class V> void gf_scFields(V& v, ScSubscribeCall& r) { v(r.eventId); v(r.name); }
template <class V> void gf_scFields(V& v, ScAddToDefinitionCall& r) {
    v(r.defineId); v(r.datumName); v(r.unitsName); v(r.datumType); v(r.epsilon); v(r.datumId);
}
template <class V> void gf_scFields(V& v, ScMapEventCall& r) { v(r.eventId); v(r.name); }
template <class V> void gf_scFields(V& v, ScAddToGroupCall& r) { v(r.groupId); v(r.eventId); v(r.maskable); }
template <class V> void gf_scFields(V& v, ScGroupPriorityCall& r) { v(r.groupId); v(r.priority); }
template <class V> void gf_scFields(V& v, ScRequestDataCall& r) {
    v(r.requestId); v(r.defineId); v(r.objectId); v(r.period); v(r.flags); v(r.origin); v(r.interval); v(r.limit);
}
template <class V> void gf_scFields(V& v, ScRequestByTypeCall& r) {
    v(r.requestId); v(r.defineId); v(r.radiusMeters); v(r.objectType);
}
template <class V> void gf_scFields(V& v, ScSetDataCall& r) {
    v(r.defineId); v(r.objectId); v(r.flags); v(r.arrayCount); v(r.unitSize); v(r.data);
}
template <class V> void gf_scFields(V& v, ScTransmitEventCall& r) {
    v(r.objectId); v(r.eventId); v(r.data); v(r.groupId); v(r.flags);
}
template <class V> void gf_scFields(V& v, ScInitPosition& r) {
    v(r.latitude); v(r.longitude); v(r.altitude); v(r.pitch); v(r.bank); v(r.heading); v(r.onGround); v(r.airspeed);
}
template <class V> void gf_scFields(V& v, ScCreateAircraftCall& r) {
    v(r.title); v(r.tailNumber); gf_scFields(v, r.position); v(r.requestId);
}
template <class V> void gf_scFields(V& v, ScObjectCall& r) { v(r.objectId); v(r.requestId); }
template <class V> void gf_scFields(V& v, ScFlightPlanCall& r) { v(r.objectId); v(r.path); v(r.requestId); }
template <class V> void gf_scFields(V& v, ScFailNext& r) { v(r.function); }

template <class V> void gf_scFields(V& v, ScRecvException& r) { v(r.exception); v(r.sendId); v(r.index); }
template <class V> void gf_scFields(V& v, ScRecvOpen& r) {
    v(r.applicationName);
    v(r.applicationVersionMajor); v(r.applicationVersionMinor); v(r.applicationBuildMajor); v(r.applicationBuildMinor);
    v(r.simConnectVersionMajor); v(r.simConnectVersionMinor); v(r.simConnectBuildMajor); v(r.simConnectBuildMinor);
}
template <class V> void gf_scFields(V&, ScRecvQuit&) {}
template <class V> void gf_scFields(V& v, ScRecvEvent& r) { v(r.groupId); v(r.eventId); v(r.data); }
template <class V> void gf_scFields(V& v, ScRecvEventObjectAddRemove& r) {
    gf_scFields(v, static_cast<ScRecvEvent&>(r)); v(r.objectType);
}
template <class V> void gf_scFields(V& v, ScRecvEventFilename& r) {
    gf_scFields(v, static_cast<ScRecvEvent&>(r)); v(r.fileName); v(r.flags);
}
template <class V> void gf_scFields(V& v, ScRecvEventFrame& r) {
    gf_scFields(v, static_cast<ScRecvEvent&>(r)); v(r.frameRate); v(r.simSpeed);
}
template <class V> void gf_scFields(V& v, ScRecvSimObjectData& r) {
    v(r.requestId); v(r.objectId); v(r.defineId); v(r.flags); v(r.entryNumber); v(r.outOf); v(r.defineCount);
    v.bytes(r.data, r.dataSize);
}
template <class V> void gf_scFields(V& v, ScRecvAssignedObjectId& r) { v(r.requestId); v(r.objectId); }

// Appends frames to a byte string.
class ScWriter {
public:
    explicit ScWriter(std::string& out) : out_(out) {}

    // Writes one whole frame: header, then the record's fields.
    template <class R>
    void frame(std::uint32_t kind, std::uint32_t packetId, const R& record) {
        const std::size_t start = out_.size();
        u32(0);
        u32(kind);
        u32(packetId);
        // The field lists take mutable records so that the reader can share them;
        // writing only reads the fields.
        gf_scFields(*this, const_cast<R&>(record));
        const auto size = static_cast<std::uint32_t>(out_.size() - start);
        std::memcpy(out_.data() + start + kScSizeOffset, &size, sizeof size);
    }

    void operator()(const std::uint32_t& v) { u32(v); }
    void operator()(const float& v) { raw(&v, sizeof v); }
    void operator()(const double& v) { raw(&v, sizeof v); }
    template <class E>
        requires std::is_enum_v<E>
    void operator()(const E& v) {
        u32(static_cast<std::uint32_t>(v));
    }
    void operator()(const std::string_view& v) { text(v); }
    void operator()(const std::string& v) { text(v); }
    void bytes(const std::byte* const& data, const std::uint32_t& size) {
        u32(size);
        raw(data, size);
    }

private:
    void u32(std::uint32_t v) { raw(&v, sizeof v); }
    void text(std::string_view v) {
        u32(static_cast<std::uint32_t>(v.size()));
        raw(v.data(), v.size());
    }
    void raw(const void* p, std::size_t n) {
        if (n != 0) out_.append(static_cast<const char*>(p), n);
    }

    std::string& out_;
};

// Reads the fields of one frame's payload; a short or overlong payload is refused.
class ScReader {
public:
    explicit ScReader(std::string_view payload) : p_(payload) {}

    template <class R>
    bool read(R& record) {
        gf_scFields(*this, record);
        return ok_ && pos_ == p_.size();
    }

    void operator()(std::uint32_t& v) { raw(&v, sizeof v); }
    void operator()(float& v) { raw(&v, sizeof v); }
    void operator()(double& v) { raw(&v, sizeof v); }
    template <class E>
        requires std::is_enum_v<E>
    void operator()(E& v) {
        std::uint32_t x = 0;
        raw(&x, sizeof x);
        v = static_cast<E>(x);
    }
    void operator()(std::string_view& v) { v = span(); }
    void operator()(std::string& v) { v = std::string(span()); }
    void bytes(const std::byte*& data, std::uint32_t& size) {
        std::string_view s = span();
        data = reinterpret_cast<const std::byte*>(s.data());
        size = static_cast<std::uint32_t>(s.size());
    }

private:
    void raw(void* out, std::size_t n) {
        if (!ok_ || p_.size() - pos_ < n) {
            ok_ = false;
            std::memset(out, 0, n);
            return;
        }
        std::memcpy(out, p_.data() + pos_, n);
        pos_ += n;
    }
    std::string_view span() {
        std::uint32_t n = 0;
        raw(&n, sizeof n);
        if (!ok_ || p_.size() - pos_ < n) {
            ok_ = false;
            return {};
        }
        std::string_view s = p_.substr(pos_, n);
        pos_ += n;
        return s;
    }

    std::string_view p_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// One frame found at the front of a receive buffer.
struct ScFrame {
    std::uint32_t size = 0;
    std::uint32_t kind = 0;
    std::uint32_t packetId = 0;
    std::string_view payload;
};

enum class ScFrameStatus { Complete, Incomplete, Invalid };

// Looks at the front of `buffer`: a whole frame, not yet a whole frame, or a size
// that no frame can have (the connection is then beyond repair).
ScFrameStatus gf_scNextFrame(std::string_view buffer, ScFrame& frame);

}  // namespace clv
