// The packet codec on its own: headers, sizes, fixed text arrays and the bounds
// every reader keeps.
#include "platform/simconnect_wire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace clv;

namespace {

std::uint32_t u32At(const std::string& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}

struct CallCase {
    const char* name;
    std::function<bool(ScWriter&)> write;
    std::uint32_t function;
    std::size_t size;  // header 16 plus the fields, counted by hand
};

}  // namespace

TEST(SimConnectWire, EveryCallHasItsFunctionIdSendIdAndSize) {
    const double block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const std::string_view data(reinterpret_cast<const char*>(block), sizeof block);
    ScOpenCall open;
    ASSERT_TRUE(gf_scOpenCallFor(kScProtocol2024, "Calvorinth", open));
    const std::vector<CallCase> cases = {
        {"Open", [&](ScWriter& w) { return w.call(6, ScCallKind::Open, 9, open); }, 0x01, 16 + 256 + 4 + 4 + 16},
        {"MapClientEventToSimEvent",
         [](ScWriter& w) { return w.call(6, ScCallKind::MapClientEventToSimEvent, 9, ScMapEventCall{206, "GEAR_SET"}); },
         0x04, 16 + 4 + 256},
        {"TransmitClientEvent",
         [](ScWriter& w) {
             return w.call(6, ScCallKind::TransmitClientEvent, 9, ScTransmitEventCall{1001, 206, 1, 301, 0});
         },
         0x05, 16 + 20},
        {"AddClientEventToNotificationGroup",
         [](ScWriter& w) {
             return w.call(6, ScCallKind::AddClientEventToNotificationGroup, 9, ScAddToGroupCall{301, 206, 1});
         },
         0x07, 16 + 12},
        {"SetNotificationGroupPriority",
         [](ScWriter& w) { return w.call(6, ScCallKind::SetNotificationGroupPriority, 9, ScGroupPriorityCall{301, 1}); },
         0x09, 16 + 8},
        {"AddToDataDefinition",
         [](ScWriter& w) {
             return w.call(6, ScCallKind::AddToDataDefinition, 9,
                           ScAddToDefinitionCall{401, "PLANE LATITUDE", "degrees", ScDataType::Float64, 0.0f, kScUnused});
         },
         0x0C, 16 + 4 + 256 + 256 + 12},
        {"RequestDataOnSimObject",
         [](ScWriter& w) {
             return w.call(6, ScCallKind::RequestDataOnSimObject, 9, ScRequestDataCall{108, 409, 0, ScPeriod::Second});
         },
         0x0E, 16 + 32},
        {"RequestDataOnSimObjectType",
         [](ScWriter& w) {
             return w.call(6, ScCallKind::RequestDataOnSimObjectType, 9,
                           ScRequestByTypeCall{101, 404, 20000, ScObjectType::Aircraft});
         },
         0x0F, 16 + 16},
        {"SetDataOnSimObject",
         [&](ScWriter& w) {
             return w.call(6, ScCallKind::SetDataOnSimObject, 9, ScSetDataCall{402, 1001, 0, 1, sizeof block, data});
         },
         0x10, 16 + 20 + sizeof block},
        {"SubscribeToSystemEvent",
         [](ScWriter& w) { return w.call(6, ScCallKind::SubscribeToSystemEvent, 9, ScSubscribeCall{201, "SimStart"}); },
         0x17, 16 + 4 + 256},
        {"AICreateNonATCAircraft",
         [](ScWriter& w) {
             return w.call(6, ScCallKind::AICreateNonATCAircraft, 9,
                           ScCreateAircraftCall{"Airbus A320 Neo", "DLH4AB", ScInitPosition{}, 104});
         },
         0x29, 16 + 256 + 12 + 6 * 8 + 8 + 4},
        {"AIReleaseControl",
         [](ScWriter& w) { return w.call(6, ScCallKind::AIReleaseControl, 9, ScObjectCall{1001, 103}); }, 0x2B, 16 + 8},
        {"AIRemoveObject",
         [](ScWriter& w) { return w.call(6, ScCallKind::AIRemoveObject, 9, ScObjectCall{1001, 105}); }, 0x2C, 16 + 8},
        {"AISetAircraftFlightPlan",
         [](ScWriter& w) {
             return w.call(6, ScCallKind::AISetAircraftFlightPlan, 9, ScFlightPlanCall{1001, "C:\\plans\\1001.pln", 110});
         },
         0x2D, 16 + 4 + 260 + 4},
    };
    for (const CallCase& c : cases) {
        std::string out = "xy";  // packets are appended
        ScWriter w(out);
        ASSERT_TRUE(c.write(w)) << c.name;
        const std::string packet = out.substr(2);
        ASSERT_EQ(packet.size(), c.size) << c.name;
        EXPECT_EQ(u32At(packet, 0), c.size) << c.name;
        EXPECT_EQ(u32At(packet, 4), 6u) << c.name;
        EXPECT_EQ(u32At(packet, 8), 0xF0000000u | c.function) << c.name;
        EXPECT_EQ(u32At(packet, 12), 9u) << c.name;
        ScPacket p;
        ASSERT_EQ(gf_scNextCall(packet, p), ScPacketStatus::Complete) << c.name;
        EXPECT_EQ(p.kind, c.function) << c.name;
        EXPECT_EQ(p.sendId, 9u) << c.name;
        EXPECT_EQ(p.payload.size(), c.size - 16) << c.name;
    }
}

TEST(SimConnectWire, TextsAreNulPaddedArraysAndReadBackUpToTheirNul) {
    std::string out;
    ScCreateAircraftCall create{"Boeing 737-800 Ryanair", "EI-DCL", ScInitPosition{50.5, 8.25, 364, 1, 2, 270, 1, 0}, 104};
    ASSERT_TRUE(ScWriter(out).call(5, ScCallKind::AICreateNonATCAircraft, 3, create));
    // The title fills its 256 bytes with NULs after the text, the tail number its 12.
    EXPECT_EQ(out.substr(16, 23), std::string("Boeing 737-800 Ryanair") + '\0');
    EXPECT_EQ(out.substr(16 + 22, 256 - 22), std::string(256 - 22, '\0'));
    EXPECT_EQ(out.substr(16 + 256, 12), std::string("EI-DCL") + std::string(6, '\0'));
    double latitude = 0;
    std::memcpy(&latitude, out.data() + 16 + 256 + 12, sizeof latitude);
    EXPECT_EQ(latitude, 50.5);

    ScPacket p;
    ASSERT_EQ(gf_scNextCall(out, p), ScPacketStatus::Complete);
    ScCreateAircraftCall back;
    ASSERT_TRUE(ScReader(p.payload).read(back));
    EXPECT_EQ(back.title, "Boeing 737-800 Ryanair");
    EXPECT_EQ(back.tailNumber, "EI-DCL");
    EXPECT_EQ(back.position.heading, 270.0);
    EXPECT_EQ(back.requestId, 104u);
}

TEST(SimConnectWire, ATextThatDoesNotFitItsArraySpoilsThePacketAndNothingIsWritten) {
    struct Case {
        std::string title;
        std::string tail;
        bool fits;
    };
    const std::vector<Case> cases = {
        {std::string(kScNameSize - 1, 'T'), std::string(kScTailNumberSize - 1, 'N'), true},
        {std::string(kScNameSize, 'T'), "DLH1", false},
        {"A320", std::string(kScTailNumberSize, 'N'), false},
        {std::string("A320\0Lufthansa", 14), "DLH1", false},  // a NUL would cut it short over there
        {"A320", std::string("D\0LH", 4), false},
        {"", "", true},
    };
    for (const Case& c : cases) {
        std::string out = "kept";
        const bool written =
            ScWriter(out).call(5, ScCallKind::AICreateNonATCAircraft, 1, ScCreateAircraftCall{c.title, c.tail, {}, 1});
        EXPECT_EQ(written, c.fits) << c.title.size() << " " << c.tail.size();
        EXPECT_EQ(out.size(), c.fits ? 4u + 344u : 4u);
    }
    EXPECT_TRUE(gf_scTextFits(std::string(kScTitleMax, 'x'), kScNameSize));
    EXPECT_FALSE(gf_scTextFits(std::string(kScTitleMax + 1, 'x'), kScNameSize));
    EXPECT_TRUE(gf_scTextFits(std::string(kScTailNumberMax, 'x'), kScTailNumberSize));
    EXPECT_TRUE(gf_scTextFits(std::string(kScPathMax, 'x'), kScPathSize));
}

TEST(SimConnectWire, RepliesHaveA12ByteHeaderAndTheSizeOfTheirKind) {
    struct Case {
        ScRecvId id;
        std::function<bool(ScWriter&)> write;
        std::size_t size;
    };
    ScRecvOpen open;
    open.applicationName = "KittyHawk";
    const std::string block(24, '\x7f');
    ScRecvSimObjectData data;
    data.data = reinterpret_cast<const std::byte*>(block.data());
    data.dataSize = static_cast<std::uint32_t>(block.size());
    const std::vector<Case> cases = {
        {ScRecvId::Exception, [](ScWriter& w) { return w.reply(5, ScRecvId::Exception, ScRecvException{}); }, 12 + 12},
        {ScRecvId::Open, [&](ScWriter& w) { return w.reply(5, ScRecvId::Open, open); }, 12 + 256 + 40},
        {ScRecvId::Quit, [](ScWriter& w) { return w.reply(5, ScRecvId::Quit, ScRecvQuit{}); }, 12},
        {ScRecvId::Event, [](ScWriter& w) { return w.reply(5, ScRecvId::Event, ScRecvEvent{}); }, 12 + 12},
        {ScRecvId::EventObjectAddRemove,
         [](ScWriter& w) { return w.reply(5, ScRecvId::EventObjectAddRemove, ScRecvEventObjectAddRemove{}); }, 12 + 16},
        {ScRecvId::EventFilename,
         [](ScWriter& w) { return w.reply(5, ScRecvId::EventFilename, ScRecvEventFilename{}); }, 12 + 12 + 260 + 4},
        {ScRecvId::EventFrame, [](ScWriter& w) { return w.reply(5, ScRecvId::EventFrame, ScRecvEventFrame{}); },
         12 + 20},
        {ScRecvId::SimObjectData, [&](ScWriter& w) { return w.reply(5, ScRecvId::SimObjectData, data); },
         12 + 28 + block.size()},
        {ScRecvId::AssignedObjectId,
         [](ScWriter& w) { return w.reply(5, ScRecvId::AssignedObjectId, ScRecvAssignedObjectId{}); }, 12 + 8},
    };
    for (const Case& c : cases) {
        std::string out;
        ScWriter w(out);
        ASSERT_TRUE(c.write(w));
        ASSERT_EQ(out.size(), c.size) << static_cast<int>(c.id);
        EXPECT_EQ(u32At(out, 0), c.size);
        EXPECT_EQ(u32At(out, 4), 5u);
        EXPECT_EQ(u32At(out, 8), static_cast<std::uint32_t>(c.id));
        ScPacket p;
        ASSERT_EQ(gf_scNextReply(out, p), ScPacketStatus::Complete);
        EXPECT_EQ(p.payload.size(), c.size - 12);
    }
}

TEST(SimConnectWire, ReadersRefuseShortLongAndUnterminatedPayloads) {
    std::string out;
    ScWriter(out).call(5, ScCallKind::SubscribeToSystemEvent, 1, ScSubscribeCall{201, "Sim"});
    const std::string payload = out.substr(16);
    ScSubscribeCall r;
    EXPECT_TRUE(ScReader(payload).read(r));
    EXPECT_EQ(r.name, "Sim");
    for (std::size_t cut : {std::size_t{0}, std::size_t{3}, std::size_t{4}, payload.size() - 1}) {
        EXPECT_FALSE(ScReader(std::string_view(payload).substr(0, cut)).read(r)) << cut;
    }
    EXPECT_FALSE(ScReader(payload + "x").read(r));
    std::string unterminated = payload;
    std::fill(unterminated.begin() + 4, unterminated.end(), 'A');
    EXPECT_FALSE(ScReader(unterminated).read(r));
    // The bytes after a text's NUL are padding, whatever they hold.
    std::string padded = payload;
    padded.back() = 'Z';
    EXPECT_TRUE(ScReader(padded).read(r));
    EXPECT_EQ(r.name, "Sim");
}

TEST(SimConnectWire, HeadersThatNoPacketCanHaveAreInvalidAndPartsAreIncomplete) {
    auto header = [](std::uint32_t size, std::uint32_t function) {
        std::string h(16, '\0');
        std::memcpy(h.data(), &size, 4);
        const std::uint32_t protocol = 5;
        std::memcpy(h.data() + 4, &protocol, 4);
        std::memcpy(h.data() + 8, &function, 4);
        return h;
    };
    ScPacket p;
    EXPECT_EQ(gf_scNextCall(header(15, 0xF0000017u), p), ScPacketStatus::Invalid);  // smaller than its header
    EXPECT_EQ(gf_scNextCall(header(0, 0xF0000017u), p), ScPacketStatus::Invalid);
    EXPECT_EQ(gf_scNextCall(header(kScMaxPacketSize + 1, 0xF0000017u), p), ScPacketStatus::Invalid);
    EXPECT_EQ(gf_scNextCall(header(16u << 20, 0xF0000017u), p), ScPacketStatus::Invalid);
    EXPECT_EQ(gf_scNextCall(header(16, 0x17u), p), ScPacketStatus::Invalid);  // not a function id
    EXPECT_EQ(gf_scNextCall(header(16, 0xF0000017u), p), ScPacketStatus::Complete);
    EXPECT_EQ(gf_scNextCall(header(17, 0xF0000017u), p), ScPacketStatus::Incomplete);
    EXPECT_EQ(gf_scNextCall(header(16, 0xF0000017u).substr(0, 15), p), ScPacketStatus::Incomplete);
    EXPECT_EQ(gf_scNextReply(header(11, 3).substr(0, 12), p), ScPacketStatus::Invalid);
    EXPECT_EQ(gf_scNextReply(header(12, 3).substr(0, 12), p), ScPacketStatus::Complete);
    EXPECT_EQ(p.kind, 3u);
    EXPECT_EQ(gf_scNextReply(header(kScMaxPacketSize, 3), p), ScPacketStatus::Incomplete);
    EXPECT_EQ(gf_scNextReply(header(kScMaxPacketSize + 1, 3), p), ScPacketStatus::Invalid);
}

TEST(SimConnectWire, OpenTellsTheProtocolsClientVersion) {
    struct Case {
        std::uint32_t protocol;
        bool known;
        const char tag[4];
        std::uint32_t major;
    };
    for (const Case& c : {Case{5, true, {0, 'H', 'K', 0}, 11}, Case{6, true, {0, 'R', 'S', 0}, 12},
                          Case{4, false, {}, 0}, Case{7, false, {}, 0}}) {
        ScOpenCall open;
        ASSERT_EQ(gf_scOpenCallFor(c.protocol, "Calvorinth", open), c.known) << c.protocol;
        if (!c.known) continue;
        std::string out;
        ASSERT_TRUE(ScWriter(out).call(c.protocol, ScCallKind::Open, 1, open));
        EXPECT_EQ(out.substr(16, 11), std::string("Calvorinth") + '\0');
        EXPECT_EQ(out.substr(16 + 256 + 4, 4), std::string(c.tag, 4));
        EXPECT_EQ(u32At(out, 16 + 256 + 8), c.major);
    }
}

namespace {

// One reply as the test writes it: its kind and the bytes of a record of it.
struct KnownReply {
    const char* name;
    std::string bytes;
    std::string fields;  // what the dispatch procedure must see, as replySummary writes it
};

template <class R>
std::string replyOf(ScRecvId id, const R& record) {
    std::string out;
    EXPECT_TRUE(ScWriter(out).reply(kScProtocol2024, id, record));
    return out;
}

// The packet with `extra` bytes after its fields, its size field grown by as many.
std::string lengthened(std::string packet, std::size_t extra) {
    for (std::size_t i = 0; i < extra; ++i) packet += static_cast<char>(0xA0 + i);
    const auto size = static_cast<std::uint32_t>(packet.size());
    std::memcpy(packet.data(), &size, sizeof size);
    return packet;
}

// The fields of a dispatched record, in wire order, as one line.
std::string replySummary(const ScRecv& m) {
    std::string s = std::to_string(static_cast<std::uint32_t>(m.id)) + ":";
    auto add = [&s](auto v) { s += " " + std::to_string(v); };
    switch (m.id) {
        case ScRecvId::Exception: {
            const auto& r = static_cast<const ScRecvException&>(m);
            add(r.exception), add(r.sendId), add(r.index);
            break;
        }
        case ScRecvId::Open: {
            const auto& r = static_cast<const ScRecvOpen&>(m);
            s += " " + r.applicationName;
            for (auto v : {r.applicationVersionMajor, r.applicationVersionMinor, r.applicationBuildMajor,
                           r.applicationBuildMinor, r.simConnectVersionMajor, r.simConnectVersionMinor,
                           r.simConnectBuildMajor, r.simConnectBuildMinor}) {
                add(v);
            }
            break;
        }
        case ScRecvId::Event:
        case ScRecvId::EventObjectAddRemove:
        case ScRecvId::EventFilename:
        case ScRecvId::EventFrame: {
            const auto& r = static_cast<const ScRecvEvent&>(m);
            add(r.groupId), add(r.eventId), add(r.data);
            if (m.id == ScRecvId::EventObjectAddRemove) {
                add(static_cast<std::uint32_t>(static_cast<const ScRecvEventObjectAddRemove&>(m).objectType));
            } else if (m.id == ScRecvId::EventFilename) {
                const auto& f = static_cast<const ScRecvEventFilename&>(m);
                s += " " + f.fileName;
                add(f.flags);
            } else if (m.id == ScRecvId::EventFrame) {
                const auto& f = static_cast<const ScRecvEventFrame&>(m);
                add(static_cast<double>(f.frameRate)), add(static_cast<double>(f.simSpeed));
            }
            break;
        }
        case ScRecvId::SimObjectData:
        case ScRecvId::SimObjectDataByType: {
            const auto& r = static_cast<const ScRecvSimObjectData&>(m);
            for (auto v : {r.requestId, r.objectId, r.defineId, r.flags, r.entryNumber, r.outOf, r.defineCount}) add(v);
            s += " [" + std::string(reinterpret_cast<const char*>(r.data), std::min<std::uint32_t>(r.dataSize, 8)) + "]";
            break;
        }
        case ScRecvId::AssignedObjectId: {
            const auto& r = static_cast<const ScRecvAssignedObjectId&>(m);
            add(r.requestId), add(r.objectId);
            break;
        }
        default: break;
    }
    return s;
}

struct DispatchedReplies {
    std::vector<std::string> summaries;
    std::vector<std::uint32_t> sizes;
};

void collectReplies(const ScRecv* m, std::uint32_t size, void* context) {
    auto& d = *static_cast<DispatchedReplies*>(context);
    d.summaries.push_back(replySummary(*m));
    d.sizes.push_back(size);
}

// Every fixed-size kind (and a data reply's numbers) with values of its own.
std::vector<KnownReply> knownReplies() {
    ScRecvException exception;
    exception.exception = 22, exception.sendId = 17, exception.index = 3;
    ScRecvOpen open;
    open.applicationName = "SunRise";
    open.applicationVersionMajor = 12, open.applicationVersionMinor = 1, open.applicationBuildMajor = 282174;
    open.applicationBuildMinor = 999, open.simConnectVersionMajor = 12, open.simConnectVersionMinor = 2;
    open.simConnectBuildMajor = 62651, open.simConnectBuildMinor = 3;
    ScRecvEvent event;
    event.groupId = 301, event.eventId = 201, event.data = 1;
    ScRecvEventObjectAddRemove added;
    added.groupId = kScUnused, added.eventId = 202, added.data = 1234, added.objectType = ScObjectType::Aircraft;
    ScRecvEventFilename file;
    file.groupId = kScUnused, file.eventId = 205, file.data = 0, file.fileName = "flights\\custom.FLT", file.flags = 4;
    ScRecvEventFrame frame;
    frame.groupId = kScUnused, frame.eventId = 204, frame.data = 0, frame.frameRate = 42.5f, frame.simSpeed = 2.0f;
    static const std::string block = "ABCDEFGH";
    ScRecvSimObjectData data;
    data.requestId = 109, data.objectId = 1, data.defineId = 403, data.flags = 0, data.entryNumber = 0;
    data.outOf = 0, data.defineCount = 1;
    data.data = reinterpret_cast<const std::byte*>(block.data());
    data.dataSize = static_cast<std::uint32_t>(block.size());
    ScRecvSimObjectDataByType byType;
    static_cast<ScRecvSimObjectData&>(byType) = data;
    byType.requestId = 101, byType.objectId = 1001, byType.defineId = 404, byType.entryNumber = 2, byType.outOf = 3;
    ScRecvAssignedObjectId assigned;
    assigned.requestId = 1000001, assigned.objectId = 1001;
    std::string ex1 = replyOf(ScRecvId::Event, event);  // a kind without a record: its numbers do not matter
    const auto ex1Id = static_cast<std::uint32_t>(ScRecvId::EventEx1);
    std::memcpy(ex1.data() + 8, &ex1Id, sizeof ex1Id);
    return {
        {"Exception", replyOf(ScRecvId::Exception, exception), "1: 22 17 3"},
        {"Open", replyOf(ScRecvId::Open, open), "2: SunRise 12 1 282174 999 12 2 62651 3"},
        {"Quit", replyOf(ScRecvId::Quit, ScRecvQuit{}), "3:"},
        {"Event", replyOf(ScRecvId::Event, event), "4: 301 201 1"},
        {"EventObjectAddRemove", replyOf(ScRecvId::EventObjectAddRemove, added), "5: 4294967295 202 1234 2"},
        {"EventFilename", replyOf(ScRecvId::EventFilename, file), "6: 4294967295 205 0 flights\\custom.FLT 4"},
        {"EventFrame", replyOf(ScRecvId::EventFrame, frame), "7: 4294967295 204 0 42.500000 2.000000"},
        {"SimObjectData", replyOf(ScRecvId::SimObjectData, data), "8: 109 1 403 0 0 0 1 [ABCDEFGH]"},
        {"SimObjectDataByType", replyOf(ScRecvId::SimObjectDataByType, byType), "9: 101 1001 404 0 2 3 1 [ABCDEFGH]"},
        {"AssignedObjectId", replyOf(ScRecvId::AssignedObjectId, assigned), "12: 1000001 1001"},
        {"EventEx1", ex1, "27:"},
    };
}

}  // namespace

TEST(SimConnectWire, RepliesLongerThanTheirKindAreReadUpToTheirFieldsAndTheRestIsSkippedBySize) {
    ScRecvEvent after;
    after.eventId = 777;
    const std::string next = replyOf(ScRecvId::Event, after);
    for (std::size_t extra : {std::size_t{0}, std::size_t{1}, std::size_t{4}, std::size_t{8}, std::size_t{300}}) {
        for (const KnownReply& r : knownReplies()) {
            SCOPED_TRACE(std::string(r.name) + " +" + std::to_string(extra));
            // The reply, then one more: the second is found where the first one's size says.
            const std::string stream = lengthened(r.bytes, extra) + next;
            DispatchedReplies seen;
            ScStreamBreak broken;
            EXPECT_EQ(gf_scDispatchReplies(stream, collectReplies, &seen, broken), stream.size());
            EXPECT_EQ(broken.fault, ScStreamFault::None);
            ASSERT_EQ(seen.summaries.size(), 2u);
            EXPECT_EQ(seen.summaries[0], r.fields);
            EXPECT_EQ(seen.sizes[0], r.bytes.size() + extra);
            EXPECT_EQ(seen.summaries[1], "4: 4294967295 777 0");
        }
    }
}

TEST(SimConnectWire, RepliesShorterThanTheirKindsFieldsAreRefusedAndNamed) {
    // The fields a handler would act on are not there: handing zeros over would
    // pass for values the simulator never sent, so the stream ends at the reply.
    struct Case {
        ScRecvId id;
        std::size_t fields;  // header and fields, counted by hand
    };
    const Case cases[] = {{ScRecvId::Exception, 24},     {ScRecvId::Open, 308},
                          {ScRecvId::Event, 24},         {ScRecvId::EventObjectAddRemove, 28},
                          {ScRecvId::EventFilename, 288}, {ScRecvId::EventFrame, 32},
                          {ScRecvId::SimObjectData, 40}, {ScRecvId::SimObjectDataByType, 40},
                          {ScRecvId::AssignedObjectId, 20}};
    const std::vector<KnownReply> replies = knownReplies();
    const std::string first = replies[3].bytes;  // an Event that goes through before the refused reply
    for (const Case& c : cases) {
        const auto kind = static_cast<std::uint32_t>(c.id);
        auto whole = std::find_if(replies.begin(), replies.end(), [&](const KnownReply& r) {
            return r.fields.starts_with(std::to_string(kind) + ":");
        });
        ASSERT_NE(whole, replies.end());
        for (std::size_t size : {c.fields - 1, c.fields}) {
            SCOPED_TRACE(std::string(whole->name) + " of " + std::to_string(size));
            std::string cut = whole->bytes.substr(0, size);
            const auto size32 = static_cast<std::uint32_t>(size);
            std::memcpy(cut.data(), &size32, sizeof size32);
            const std::string stream = first + cut;
            DispatchedReplies seen;
            ScStreamBreak broken;
            const std::size_t used = gf_scDispatchReplies(stream, collectReplies, &seen, broken);
            if (size == c.fields) {
                EXPECT_EQ(broken.fault, ScStreamFault::None);
                EXPECT_EQ(used, stream.size());
                EXPECT_EQ(seen.summaries.size(), 2u);
                continue;
            }
            EXPECT_EQ(used, first.size());
            ASSERT_EQ(seen.summaries.size(), 1u);  // what came before went through
            EXPECT_EQ(broken.fault, ScStreamFault::ShorterThanFields);
            EXPECT_EQ(broken.fields, c.fields);
            EXPECT_EQ(gf_scDescribeBreak(broken, 1000),
                      "the " + std::string(whole->name) + " reply (receive id " + std::to_string(kind) + ") at byte " +
                          std::to_string(1000 + first.size()) + " of the stream has the size " + std::to_string(size) +
                          ", fewer than the " + std::to_string(c.fields) + " bytes of its header and fields");
        }
    }
}

TEST(SimConnectWire, StreamsThatCannotBeFramedAreRefusedWithTheirCause) {
    auto header = [](std::uint32_t size, std::uint32_t kind) {
        std::string h(12, '\0');
        std::memcpy(h.data(), &size, 4);
        const std::uint32_t protocol = kScProtocol2024;
        std::memcpy(h.data() + 4, &protocol, 4);
        std::memcpy(h.data() + 8, &kind, 4);
        return h;
    };
    std::string unterminated = replyOf(ScRecvId::EventFilename, ScRecvEventFilename{});
    std::fill(unterminated.begin() + 24, unterminated.begin() + 24 + 260, 'F');
    const std::string http = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        ScStreamFault fault;
        std::string words;
    };
    const Case cases[] = {
        {"size 0", header(0, 1), ScStreamFault::SizeBelowHeader,
         "the Exception reply (receive id 1) at byte 0 of the stream has the size 0, below its 12-byte header"},
        {"size one below the header", header(11, 3), ScStreamFault::SizeBelowHeader,
         "the Quit reply (receive id 3) at byte 0 of the stream has the size 11, below its 12-byte header"},
        {"size one above the bound", header(kScMaxPacketSize + 1, 8), ScStreamFault::SizeAboveBound,
         "the SimObjectData reply (receive id 8) at byte 0 of the stream has the size 1048577, above the largest "
         "packet taken (1048576 bytes)"},
        {"size 2 GB", header(0x80000000u, 4711), ScStreamFault::SizeAboveBound,
         "the reply (receive id 4711) at byte 0 of the stream has the size 2147483648, above the largest packet "
         "taken (1048576 bytes)"},
        {"an HTTP answer", http, ScStreamFault::SizeAboveBound,
         "the reply (receive id 808465440) at byte 0 of the stream has the size 1347703880, above the largest "
         "packet taken (1048576 bytes); its bytes read as text: \"HTTP/1.1 400 Bad Request\""},
        {"a text without its NUL", unterminated, ScStreamFault::TextWithoutNul,
         "the EventFilename reply (receive id 6) at byte 0 of the stream (288 bytes) has a text without its closing "
         "NUL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DispatchedReplies seen;
        ScStreamBreak broken;
        EXPECT_EQ(gf_scDispatchReplies(c.bytes, collectReplies, &seen, broken), 0u);
        EXPECT_TRUE(seen.summaries.empty());
        EXPECT_EQ(broken.fault, c.fault);
        EXPECT_EQ(gf_scDescribeBreak(broken, 0), c.words);
    }
    // On the other side of the bounds the header frames a packet: the header alone,
    // and the largest packet, which waits for its bytes.
    for (const auto& [bytes, used] : {std::pair{header(12, 3), std::size_t{12}},
                                      std::pair{header(kScMaxPacketSize, 8), std::size_t{0}}}) {
        DispatchedReplies seen;
        ScStreamBreak broken;
        EXPECT_EQ(gf_scDispatchReplies(bytes, collectReplies, &seen, broken), used);
        EXPECT_EQ(broken.fault, ScStreamFault::None);
    }
}

TEST(SimConnectWire, APacketCutByTheCloseIsNamedWithWhatArrived) {
    const std::string open = replyOf(ScRecvId::Open, ScRecvOpen{});
    struct Case {
        std::string rest;
        std::string words;
    };
    const Case cases[] = {
        {open.substr(0, 5), "the connection closed 5 bytes into the 12-byte header of the reply at byte 700 of the stream"},
        {open.substr(0, 11), "the connection closed 11 bytes into the 12-byte header of the reply at byte 700 of the stream"},
        {open.substr(0, 12), "the connection closed 12 bytes into the Open reply (receive id 2) of 308 bytes at byte 700 "
                             "of the stream"},
        {open.substr(0, 307), "the connection closed 307 bytes into the Open reply (receive id 2) of 308 bytes at byte "
                              "700 of the stream"},
    };
    for (const Case& c : cases) {
        ScStreamBreak broken = gf_scCutByClose(c.rest);
        broken.offset = 200;
        EXPECT_EQ(broken.fault, ScStreamFault::CutByClose);
        EXPECT_EQ(gf_scDescribeBreak(broken, 500), c.words);
    }
}
