#pragma once
// The SimConnect network protocol as the simulator speaks it over TCP (see
// platform/simconnect_protocol.md): little-endian packets, a 16-byte header on
// calls and a 12-byte header on replies, texts as fixed-size NUL-padded arrays.
// Every record kind has one field list, used for writing and for reading alike,
// so the client and the stand-in cannot drift apart.
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

// Calls: size, protocol, function id (kScFunctionIdBase | function), send id.
inline constexpr std::size_t kScCallHeaderSize = 16;
// Replies: size, protocol, receive id (ScRecvId).
inline constexpr std::size_t kScRecvHeaderSize = 12;
// Where the header's fields lie (calls and replies alike), and a call's send id.
inline constexpr std::size_t kScSizeOffset = 0;
inline constexpr std::size_t kScProtocolOffset = 4;
inline constexpr std::size_t kScKindOffset = 8;
inline constexpr std::size_t kScSendIdOffset = 12;
inline constexpr std::uint32_t kScFunctionIdBase = 0xF0000000u;
// No packet we send or expect comes near this; a larger size field means a
// broken or hostile peer, and the connection ends before anything is buffered.
inline constexpr std::uint32_t kScMaxPacketSize = 1u << 20;

// Sizes of the fixed text arrays, terminating NUL included.
inline constexpr std::size_t kScNameSize = 256;  // names, units, event names, titles
inline constexpr std::size_t kScTailNumberSize = 12;
inline constexpr std::size_t kScPathSize = 260;

// The functions we call, by their number in the function id.
enum class ScCallKind : std::uint32_t {
    Open = 0x01,
    MapClientEventToSimEvent = 0x04,
    TransmitClientEvent = 0x05,
    AddClientEventToNotificationGroup = 0x07,
    SetNotificationGroupPriority = 0x09,
    AddToDataDefinition = 0x0C,
    RequestDataOnSimObject = 0x0E,
    RequestDataOnSimObjectType = 0x0F,
    SetDataOnSimObject = 0x10,
    SubscribeToSystemEvent = 0x17,
    AICreateNonATCAircraft = 0x29,
    AIReleaseControl = 0x2B,
    AIRemoveObject = 0x2C,
    AISetAircraftFlightPlan = 0x2D,
};

// A text fits a fixed array of `size` bytes when it leaves room for the NUL and
// holds none itself (an inner NUL would cut it short on the other side).
inline bool gf_scTextFits(std::string_view text, std::size_t size) {
    return text.size() < size && text.find('\0') == std::string_view::npos;
}

// Records of the client's calls. Texts and byte blocks are views: into the
// caller's arguments when written, into the received packet when read.

// Open introduces the client: its name, then a tag and the version numbers of the
// client library that the protocol version stands for.
struct ScOpenCall {
    std::string_view name;
    std::uint32_t reserved = 0;
    std::uint32_t tag = 0;  // four bytes: NUL and a two-letter alias, NUL-padded
    std::uint32_t versionMajor = 0;
    std::uint32_t versionMinor = 0;
    std::uint32_t buildMajor = 0;
    std::uint32_t buildMinor = 0;
};
// The Open call of a protocol version; false for a version we do not speak.
bool gf_scOpenCallFor(std::uint32_t protocol, std::string_view name, ScOpenCall& call);

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
// The data blocks fill the rest of the packet: arrayCount blocks of unitSize bytes.
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

// Field lists. A visitor is called with each field in wire order; `text` names
// the size of a fixed text array, `rest` takes the remainder of the packet.
template <class V> void gf_scFields(V& v, ScOpenCall& r) {
    v.text(r.name, kScNameSize); v(r.reserved); v(r.tag);
    v(r.versionMajor); v(r.versionMinor); v(r.buildMajor); v(r.buildMinor);
}
template <class V> void gf_scFields(V& v, ScSubscribeCall& r) { v(r.eventId); v.text(r.name, kScNameSize); }
template <class V> void gf_scFields(V& v, ScAddToDefinitionCall& r) {
    v(r.defineId); v.text(r.datumName, kScNameSize); v.text(r.unitsName, kScNameSize);
    v(r.datumType); v(r.epsilon); v(r.datumId);
}
template <class V> void gf_scFields(V& v, ScMapEventCall& r) { v(r.eventId); v.text(r.name, kScNameSize); }
template <class V> void gf_scFields(V& v, ScAddToGroupCall& r) { v(r.groupId); v(r.eventId); v(r.maskable); }
template <class V> void gf_scFields(V& v, ScGroupPriorityCall& r) { v(r.groupId); v(r.priority); }
template <class V> void gf_scFields(V& v, ScRequestDataCall& r) {
    v(r.requestId); v(r.defineId); v(r.objectId); v(r.period); v(r.flags); v(r.origin); v(r.interval); v(r.limit);
}
template <class V> void gf_scFields(V& v, ScRequestByTypeCall& r) {
    v(r.requestId); v(r.defineId); v(r.radiusMeters); v(r.objectType);
}
template <class V> void gf_scFields(V& v, ScSetDataCall& r) {
    v(r.defineId); v(r.objectId); v(r.flags); v(r.arrayCount); v(r.unitSize); v.rest(r.data);
}
template <class V> void gf_scFields(V& v, ScTransmitEventCall& r) {
    v(r.objectId); v(r.eventId); v(r.data); v(r.groupId); v(r.flags);
}
template <class V> void gf_scFields(V& v, ScInitPosition& r) {
    v(r.latitude); v(r.longitude); v(r.altitude); v(r.pitch); v(r.bank); v(r.heading); v(r.onGround); v(r.airspeed);
}
template <class V> void gf_scFields(V& v, ScCreateAircraftCall& r) {
    v.text(r.title, kScNameSize); v.text(r.tailNumber, kScTailNumberSize); gf_scFields(v, r.position); v(r.requestId);
}
template <class V> void gf_scFields(V& v, ScObjectCall& r) { v(r.objectId); v(r.requestId); }
template <class V> void gf_scFields(V& v, ScFlightPlanCall& r) {
    v(r.objectId); v.text(r.path, kScPathSize); v(r.requestId);
}

// Replies. Open ends with two reserved numbers that carry nothing for us.
struct ScOpenReserved {
    std::uint32_t reserved1 = 0;
    std::uint32_t reserved2 = 0;
};
template <class V> void gf_scFields(V& v, ScRecvException& r) { v(r.exception); v(r.sendId); v(r.index); }
template <class V> void gf_scFields(V& v, ScRecvOpen& r) {
    v.text(r.applicationName, kScNameSize);
    v(r.applicationVersionMajor); v(r.applicationVersionMinor); v(r.applicationBuildMajor); v(r.applicationBuildMinor);
    v(r.simConnectVersionMajor); v(r.simConnectVersionMinor); v(r.simConnectBuildMajor); v(r.simConnectBuildMinor);
    ScOpenReserved reserved;
    v(reserved.reserved1); v(reserved.reserved2);
}
template <class V> void gf_scFields(V&, ScRecvQuit&) {}
template <class V> void gf_scFields(V& v, ScRecvEvent& r) { v(r.groupId); v(r.eventId); v(r.data); }
template <class V> void gf_scFields(V& v, ScRecvEventObjectAddRemove& r) {
    gf_scFields(v, static_cast<ScRecvEvent&>(r)); v(r.objectType);
}
template <class V> void gf_scFields(V& v, ScRecvEventFilename& r) {
    gf_scFields(v, static_cast<ScRecvEvent&>(r)); v.text(r.fileName, kScPathSize); v(r.flags);
}
template <class V> void gf_scFields(V& v, ScRecvEventFrame& r) {
    gf_scFields(v, static_cast<ScRecvEvent&>(r)); v(r.frameRate); v(r.simSpeed);
}
template <class V> void gf_scFields(V& v, ScRecvSimObjectData& r) {
    v(r.requestId); v(r.objectId); v(r.defineId); v(r.flags); v(r.entryNumber); v(r.outOf); v(r.defineCount);
    v.rest(r.data, r.dataSize);
}
template <class V> void gf_scFields(V& v, ScRecvAssignedObjectId& r) { v(r.requestId); v(r.objectId); }

// Appends packets to a byte string. A text that does not fit its array spoils the
// packet: nothing is appended and the call says so.
class ScWriter {
public:
    explicit ScWriter(std::string& out) : out_(out) {}

    // A call of the client: 16-byte header, then the record's fields.
    template <class R>
    bool call(std::uint32_t protocol, ScCallKind function, std::uint32_t sendId, const R& record) {
        return packet(record, {protocol, kScFunctionIdBase | static_cast<std::uint32_t>(function), sendId}, 3);
    }
    // A reply of the simulator: 12-byte header, then the record's fields.
    template <class R>
    bool reply(std::uint32_t protocol, ScRecvId id, const R& record) {
        return packet(record, {protocol, static_cast<std::uint32_t>(id), 0}, 2);
    }

    void operator()(const std::uint32_t& v) { raw(&v, sizeof v); }
    void operator()(const float& v) { raw(&v, sizeof v); }
    void operator()(const double& v) { raw(&v, sizeof v); }
    template <class E>
        requires std::is_enum_v<E>
    void operator()(const E& v) {
        const auto x = static_cast<std::uint32_t>(v);
        raw(&x, sizeof x);
    }
    template <class S>
    void text(const S& v, std::size_t size) {
        const std::string_view s(v);
        if (!gf_scTextFits(s, size)) {
            ok_ = false;
            return;
        }
        raw(s.data(), s.size());
        out_.append(size - s.size(), '\0');
    }
    void rest(const std::string_view& data) { raw(data.data(), data.size()); }
    void rest(const std::byte* const& data, const std::uint32_t& size) { raw(data, size); }

private:
    template <class R>
    bool packet(const R& record, std::initializer_list<std::uint32_t> header, std::size_t words) {
        const std::size_t start = out_.size();
        const std::uint32_t size = 0;
        raw(&size, sizeof size);
        std::size_t n = 0;
        for (std::uint32_t word : header) {
            if (n++ < words) raw(&word, sizeof word);
        }
        ok_ = true;
        // The field lists take mutable records so that the reader can share them;
        // writing only reads the fields.
        gf_scFields(*this, const_cast<R&>(record));
        const std::size_t total = out_.size() - start;
        if (!ok_ || total > kScMaxPacketSize) {
            out_.resize(start);
            return false;
        }
        const auto size32 = static_cast<std::uint32_t>(total);
        std::memcpy(out_.data() + start, &size32, sizeof size32);
        return true;
    }
    void raw(const void* p, std::size_t n) {
        if (n != 0) out_.append(static_cast<const char*>(p), n);
    }

    std::string& out_;
    bool ok_ = true;
};

// Why the fields of a payload could not be read.
enum class ScFieldFault { None, Short, TextWithoutNul };

// Reads the fields of one packet's payload; nothing is read past it. `read` takes
// a payload of exactly its kind (the stand-in reads our calls so); `readKnown`
// takes the fields it knows and skips the bytes after them, as the simulator's
// own client library reads a reply a newer simulator may have lengthened. Both
// refuse a payload shorter than its fields and a text array without its NUL.
class ScReader {
public:
    explicit ScReader(std::string_view payload) : p_(payload) {}

    template <class R>
    bool read(R& record) {
        gf_scFields(*this, record);
        return ok_ && pos_ == p_.size();
    }
    template <class R>
    bool readKnown(R& record) {
        gf_scFields(*this, record);
        return ok_;
    }
    ScFieldFault fault() const { return fault_; }

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
    void text(std::string_view& v, std::size_t size) { v = array(size); }
    void text(std::string& v, std::size_t size) { v = std::string(array(size)); }
    void rest(std::string_view& data) {
        data = ok_ ? p_.substr(pos_) : std::string_view();
        pos_ = p_.size();
    }
    void rest(const std::byte*& data, std::uint32_t& size) {
        std::string_view s;
        rest(s);
        data = reinterpret_cast<const std::byte*>(s.data());
        size = static_cast<std::uint32_t>(s.size());
    }

private:
    void fail(ScFieldFault why) {
        if (ok_) fault_ = why;
        ok_ = false;
    }
    void raw(void* out, std::size_t n) {
        if (!ok_ || p_.size() - pos_ < n) {
            fail(ScFieldFault::Short);
            std::memset(out, 0, n);
            return;
        }
        std::memcpy(out, p_.data() + pos_, n);
        pos_ += n;
    }
    // The text of a fixed array: up to its first NUL, which must be inside it.
    std::string_view array(std::size_t size) {
        if (!ok_ || p_.size() - pos_ < size) {
            fail(ScFieldFault::Short);
            return {};
        }
        std::string_view a = p_.substr(pos_, size);
        pos_ += size;
        const std::size_t end = a.find('\0');
        if (end == std::string_view::npos) {
            fail(ScFieldFault::TextWithoutNul);
            return {};
        }
        return a.substr(0, end);
    }

    std::string_view p_;
    std::size_t pos_ = 0;
    bool ok_ = true;
    ScFieldFault fault_ = ScFieldFault::None;
};

// The bytes the field list of a record kind takes (a trailing data block: none).
class ScFieldCounter {
public:
    // Numbers and enumerations go on the wire as they are in memory (u32, f32, f64).
    template <class T>
        requires std::is_arithmetic_v<T> || std::is_enum_v<T>
    void operator()(T&) { bytes += sizeof(T); }
    template <class S>
    void text(S&, std::size_t size) { bytes += size; }
    template <class... A>
    void rest(A&...) {}

    std::size_t bytes = 0;
};
template <class R>
std::size_t gf_scFieldBytes() {
    R record;
    ScFieldCounter counter;
    gf_scFields(counter, record);
    return counter.bytes;
}

// One packet found at the front of a receive buffer.
struct ScPacket {
    std::uint32_t size = 0;
    std::uint32_t protocol = 0;
    std::uint32_t kind = 0;    // calls: the function number (without kScFunctionIdBase); replies: the receive id
    std::uint32_t sendId = 0;  // calls only
    std::string_view payload;
};

enum class ScPacketStatus { Complete, Incomplete, Invalid };

// Looks at the front of `buffer` for a call (the simulator's side) or a reply (the
// client's side): a whole packet, not yet a whole packet, or a header that no
// packet can have (the connection is then beyond repair). A call whose function id
// lacks kScFunctionIdBase is invalid.
ScPacketStatus gf_scNextCall(std::string_view buffer, ScPacket& packet);
ScPacketStatus gf_scNextReply(std::string_view buffer, ScPacket& packet);

// Where and why a stream of replies could not be read on.
enum class ScStreamFault { None, SizeBelowHeader, SizeAboveBound, ShorterThanFields, TextWithoutNul, CutByClose };
struct ScStreamBreak {
    ScStreamFault fault = ScStreamFault::None;
    std::size_t offset = 0;   // where the packet starts in the buffer looked at
    std::uint32_t size = 0;   // its size field (0 when its header did not arrive)
    std::uint32_t kind = 0;   // its receive id (0 when its header did not arrive)
    std::size_t fields = 0;   // ShorterThanFields: header and fields of its kind
    std::size_t arrived = 0;  // CutByClose: the bytes of it that came
    std::string start;        // its first bytes when they read as text (an HTTP answer, ...)
};

// Hands every whole reply at the front of `buffer` to `proc` as its record, valid
// for the call; returns the bytes used. Bytes after the fields of a kind are
// skipped within the packet's size. A header that frames no packet, or a payload
// shorter than its kind's fields, fills `broken` and ends the walk before the
// packet is handed over. Kinds without a record here go over bare (ScRecv).
std::size_t gf_scDispatchReplies(std::string_view buffer, ScDispatchProc proc, void* context, ScStreamBreak& broken);

// The break of a stream the peer closed while `rest` (not a whole packet) waited.
ScStreamBreak gf_scCutByClose(std::string_view rest);

// The break in words, with `streamOffset` added to its offset: "the Exception
// reply (receive id 1) at byte 312 of the stream has the size 16, fewer than the
// 24 bytes of its header and fields".
std::string gf_scDescribeBreak(const ScStreamBreak& broken, std::uint64_t streamOffset);

}  // namespace clv
