// The packet codec on its own: headers, sizes, fixed text arrays and the bounds
// every reader keeps.
#include "platform/simconnect_wire.h"

#include <gtest/gtest.h>

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
