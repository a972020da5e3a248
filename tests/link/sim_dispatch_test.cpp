// The handlers of received messages, fed with messages built here.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <map>

#include "core/geodesy.h"
#include "core/user_error.h"
#include "link/sim_client.h"
#include "link/sim_events.h"
#include "link/sim_hooks.h"
#include "link/sim_ids.h"
#include "link/sim_queues.h"
#include "sim_test_support.h"

using namespace clv;
using clv::test::SimLinkTest;

namespace {

void dispatch(const ScRecv& m) { gf_dispatch(&m, m.size, nullptr); }

template <class M>
M message(ScRecvId id) {
    M m;
    m.id = id;
    return m;
}

template <class T>
void put(std::string& block, std::size_t offset, T value) {
    if (block.size() < offset + sizeof value) block.resize(offset + sizeof value, '\0');
    std::memcpy(block.data() + offset, &value, sizeof value);
}

// A reply to a request; the block must outlive the dispatch.
ScRecvSimObjectData reply(std::uint32_t request, std::uint32_t object, const std::string& block) {
    auto m = message<ScRecvSimObjectData>(ScRecvId::SimObjectData);
    m.requestId = request;
    m.objectId = object;
    m.data = reinterpret_cast<const std::byte*>(block.data());
    m.dataSize = static_cast<std::uint32_t>(block.size());
    return m;
}

// The user aircraft block (definition 403), laid out by its byte offsets.
std::string userBlock(double lat, double lon, double alt, std::int64_t year = 2024, std::int64_t dayOfYear = 1,
                      std::int64_t seconds = 0) {
    std::string b(96, '\0');
    put(b, 0, lat);
    put(b, 8, lon);
    put(b, 40, alt);
    put(b, 64, seconds);
    put(b, 72, dayOfYear);
    put(b, 80, year);
    return b;
}

void userReply(std::uint32_t objectId, const std::string& block) { dispatch(reply(109, objectId, block)); }

// One aircraft of a reply by type (definition 404).
std::string inRangeBlock(double agl, double ground, std::uint64_t onGround, const std::string& atcId) {
    std::string b(56, '\0');
    put(b, 0, agl);
    put(b, 8, ground);
    put(b, 16, onGround);
    std::memcpy(b.data() + 24, atcId.data(), std::min<std::size_t>(atcId.size(), 31));
    return b;
}

void inRange(std::uint32_t objectId, const std::string& block) {
    auto m = message<ScRecvSimObjectDataByType>(ScRecvId::SimObjectDataByType);
    m.requestId = 101;
    m.objectId = objectId;
    m.data = reinterpret_cast<const std::byte*>(block.data());
    m.dataSize = static_cast<std::uint32_t>(block.size());
    dispatch(m);
}

void addRemove(std::uint32_t eventId, std::uint32_t objectId, ScObjectType type = ScObjectType::Aircraft) {
    auto m = message<ScRecvEventObjectAddRemove>(ScRecvId::EventObjectAddRemove);
    m.eventId = eventId;
    m.data = objectId;
    m.objectType = type;
    dispatch(m);
}

void exception(std::uint32_t code, std::uint32_t sendId = 0, std::uint32_t index = 0) {
    auto m = message<ScRecvException>(ScRecvId::Exception);
    m.exception = code;
    m.sendId = sendId;
    m.index = index;
    dispatch(m);
}

void text(std::uint32_t request, const std::string& value) {
    const std::string block = value + '\0';
    dispatch(reply(request, 1, block));
}

std::string openFailure(const std::string& name, bool msfs2020) {
    MSFS_2020.value = msfs2020;
    auto m = message<ScRecvOpen>(ScRecvId::Open);
    m.applicationName = name;
    try {
        dispatch(m);
    } catch (const UserErrorException& e) {
        return e.what();
    }
    return {};
}

// Seconds since 1970 of a UTC date and time, by the C library.
std::int64_t utc(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return static_cast<std::int64_t>(timegm(&t));
}

}  // namespace

class SimDispatch : public SimLinkTest {};

TEST_F(SimDispatch, OpenAcceptsTheSelectedSimulatorOnlyAndShowsItsName) {
    auto m = message<ScRecvOpen>(ScRecvId::Open);
    m.applicationName = "KittyHawk";
    m.applicationVersionMajor = 11;
    m.applicationBuildMajor = 282174;
    m.applicationBuildMinor = 999;
    MSFS_2020.value = true;
    dispatch(m);
    EXPECT_TRUE(simConnected);
    EXPECT_EQ(gf_simDisplayTexts().simulator, "MSFS 2020 (11.0.282174.999)");
    EXPECT_TRUE(logged("MSFS 2020 (11.0.282174.999) connected"));

    MSFS_2020.value = false;
    m.applicationName = "SunRise";
    dispatch(m);
    EXPECT_EQ(gf_simDisplayTexts().simulator, "MSFS 2024");

    EXPECT_EQ(openFailure("KittyHawk", false),
              "71: MSFS 2020 is running ..., switch Sim or toggle the Install path checkbox of Calvorinth");
    EXPECT_EQ(openFailure("SunRise", true),
              "71: MSFS 2024 is running ..., switch Sim or toggle the Install path checkbox of Calvorinth");
    EXPECT_EQ(openFailure("Prepar3D v5!", false),
              "77: \"Prepar3D v5\" not being MSFS 2020 or MSFS 2024 connects ... ? ");

    simConnected = false;
    EXPECT_EQ(openFailure("", false), "");
    EXPECT_FALSE(simConnected);
    EXPECT_TRUE(logged("! Simulator name empty?"));
}

TEST_F(SimDispatch, UserAircraftRepliesTeleportOnlyBeyondTenNauticalMiles) {
    const double tenNmOfLatitude = 10.0 / 60.0;
    ASSERT_LE(gf_distanceNm(50.0, 8.0, 50.0 + tenNmOfLatitude, 8.0), 10.0);
    ASSERT_GT(gf_distanceNm(50.0, 8.0, 50.0 + 10.01 / 60.0, 8.0), 10.0);

    userReply(5, userBlock(50.0, 8.0, 300.0));  // the first after a null position never counts
    userReply(5, userBlock(50.0 + tenNmOfLatitude, 8.0, 300.0));
    EXPECT_FALSE(stopRequested);
    EXPECT_EQ(userObjectId, 5u);
    EXPECT_TRUE(userAcDataReceived);

    userReply(5, userBlock(50.0 + tenNmOfLatitude + 10.01 / 60.0, 8.0, -20.0));
    EXPECT_TRUE(stopRequested);
    EXPECT_EQ(exitReason, ExitReason::NewFlight);
    EXPECT_EQ(restartDelay, 45);
    EXPECT_TRUE(logged("Teleport"));
    EXPECT_EQ(gf_requestUserAcData().altitude, 0.0);  // a negative altitude is kept as 0
}

TEST_F(SimDispatch, SimulatorTimeFollowsTheUserBlockWhileTheProfessionalEditionIsConnected) {
    struct Case {
        std::int64_t year, dayOfYear, seconds, expected;
    };
    for (const Case& c : {Case{2024, 61, 0, utc(2024, 3, 1, 0, 0, 0)},
                          Case{2023, 365, 86399, utc(2023, 12, 31, 23, 59, 59)},
                          Case{2024, 366, 43200, utc(2024, 12, 31, 12, 0, 0)},
                          Case{2000, 60, 3600, utc(2000, 2, 29, 1, 0, 0)},
                          Case{2100, 60, 0, utc(2100, 3, 1, 0, 0, 0)}}) {
        rtProfessional = true;
        userReply(5, userBlock(50.0, 8.0, 300.0, c.year, c.dayOfYear, c.seconds));
        EXPECT_EQ(simulatorTime, c.expected) << c.year << " day " << c.dayOfYear;
    }
    rtProfessional = false;
    userReply(5, userBlock(50.0, 8.0, 300.0, 1999, 1, 0));
    EXPECT_EQ(simulatorTime, utc(2100, 3, 1, 0, 0, 0));
}

TEST_F(SimDispatch, OnGroundRepliesMakeDataStepsAndCountOnlyOnceThePositionIsKnown) {
    std::string onGround(8, '\0');
    put(onGround, 0, std::uint64_t{1});
    dispatch(reply(108, 1, onGround));
    EXPECT_TRUE(newDataStep.exchange(false));
    EXPECT_FALSE(userOnGroundKnown);

    userReply(1, userBlock(50.0, 8.0, 300.0));
    dispatch(reply(108, 1, onGround));
    EXPECT_TRUE(newDataStep.exchange(false));
    EXPECT_TRUE(userOnGroundKnown);
    EXPECT_TRUE(userOnGround);

    put(onGround, 0, std::uint64_t{1} << 32);  // only the low 32 bits count
    dispatch(reply(108, 1, onGround));
    EXPECT_FALSE(userOnGround);
}

TEST_F(SimDispatch, OnlyAddedAircraftAboveTheUserAwaitBindingAndRemovalsReachTheEngine) {
    userReply(5, userBlock(50.0, 8.0, 300.0));
    addRemove(202, 5);
    addRemove(202, 6, ScObjectType::Helicopter);
    addRemove(202, 7);
    EXPECT_EQ(objectAddedQueue, std::vector<std::uint32_t>{7});

    addRemove(203, 9, ScObjectType::Helicopter);
    addRemove(203, 8);
    auto events = clv::test::takeSimEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].objectId, 8u);
    EXPECT_EQ(events[0].kind, SimEventKind::ObjectRemoved);
}

TEST_F(SimDispatch, AddedAircraftAreBoundToTheFirstPendingCreationOfTheirCallsign) {
    userReply(5, userBlock(50.0, 8.0, 300.0));
    pendingCreations = {{11, 20001, "DLH4AB"}, {12, 20002, "DLH4AB"}, {0, 500, "STATIC1*"}};
    for (std::uint32_t id : {100u, 101u, 102u}) addRemove(202, id);

    inRange(100, inRangeBlock(2.5, 360.0, 1, "DLH4AB"));
    inRange(101, inRangeBlock(0.0, 360.0, 1, "STATIC1*"));  // recorded without a packet id, bound all the same
    inRange(102, inRangeBlock(0.0, 360.0, 1, ""));

    ASSERT_EQ(pendingCreations.size(), 1u);
    EXPECT_EQ(pendingCreations[0].hexid, 20002u);
    EXPECT_TRUE(objectAddedQueue.empty());
    auto events = clv::test::takeSimEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].objectId, 100u);
    EXPECT_EQ(events[0].hexidOrFlag, 20001u);
    EXPECT_EQ(events[0].kind, SimEventKind::LiveObjectBound);
    EXPECT_EQ(events[0].value2, 2.5);
    EXPECT_EQ(events[1].objectId, 101u);
    EXPECT_EQ(events[1].hexidOrFlag, 500u);
    EXPECT_EQ(events[1].kind, SimEventKind::StaticObjectBound);
    EXPECT_EQ(events[1].value2, 0.0);
    EXPECT_TRUE(logged("just spawned, but not by Calvorinth, oid: 102, callsign \"\", altaboveGnd:0 ft, onground:1, "
                       "gnd_alt:360 ft "));

    std::vector<std::pair<std::uint32_t, std::uint32_t>> freezes;
    {
        std::lock_guard lock(simQueueMutex);
        for (const auto& e : clientEventQueue) {
            EXPECT_EQ(e.data, 1u);
            freezes.emplace_back(e.objectId, e.eventId);
        }
        clientEventQueue.clear();
    }
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected{
        {100, 214}, {100, 215}, {100, 216}, {101, 214}, {101, 215}, {101, 216}};
    EXPECT_EQ(freezes, expected);
}

void assigned(std::uint32_t requestId, std::uint32_t objectId) {
    auto m = message<ScRecvAssignedObjectId>(ScRecvId::AssignedObjectId);
    m.requestId = requestId;
    m.objectId = objectId;
    dispatch(m);
}

// The simulator names the object of each creation by the creation's own request
// id; the engine hears of it, and the object binds to its own creation even when
// an older creation of the same callsign still waits.
TEST_F(SimDispatch, NamedObjectsReachTheEngineAndBindToTheirOwnCreation) {
    userReply(5, userBlock(50.0, 8.0, 300.0));
    const std::uint32_t first = kFirstCreationRequestId;
    pendingCreations = {{11, 20001, "UAE87", first, 0}, {12, 20001, "UAE87", first + 1, 0}};
    assigned(first, 100);      // far away: it never shows up in a reply
    assigned(first + 1, 101);
    assigned(first + 7, 102);  // no such creation (bound already): nothing
    assigned(104, 103);        // not a creation's request id: nothing
    auto events = clv::test::takeSimEvents();
    ASSERT_EQ(events.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(events[i].kind, SimEventKind::ObjectAssigned);
        EXPECT_EQ(events[i].objectId, 100u + i);
        EXPECT_EQ(events[i].hexidOrFlag, 20001u);
    }

    addRemove(202, 101);
    inRange(101, inRangeBlock(1500.0, 360.0, 0, "UAE87"));
    events = clv::test::takeSimEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, SimEventKind::LiveObjectBound);
    EXPECT_EQ(events[0].objectId, 101u);
    ASSERT_EQ(pendingCreations.size(), 1u);
    EXPECT_EQ(pendingCreations[0].objectId, 100u);  // the far one still waits

    // Its removal takes the creation with it.
    addRemove(202, 100);
    addRemove(203, 100);
    EXPECT_TRUE(pendingCreations.empty());
    EXPECT_TRUE(objectAddedQueue.empty());
    {
        std::lock_guard lock(simQueueMutex);
        clientEventQueue.clear();
    }
}

TEST_F(SimDispatch, KnownObjectsReportGroundDataUpToTwentyFiveHundredFeet) {
    userReply(5, userBlock(50.0, 8.0, 300.0));
    inRange(5, inRangeBlock(10.0, 360.0, 1, "USER"));        // the user aircraft itself
    inRange(200, inRangeBlock(2500.0, 360.0, 0, "DLH1"));
    inRange(201, inRangeBlock(2500.1, 360.0, 0, "DLH2"));
    inRange(202, inRangeBlock(3.0, 360.0, 1, "STATIC*"));
    inRange(203, inRangeBlock(3.0, 360.0, 1, ""));
    auto events = clv::test::takeSimEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].objectId, 200u);
    EXPECT_EQ(events[0].kind, SimEventKind::GroundData);
    EXPECT_EQ(events[0].hexidOrFlag, 0u);
    EXPECT_EQ(events[0].value1, 360.0);
    EXPECT_EQ(events[0].value2, 2500.0);
}

TEST_F(SimDispatch, RefusedCreationsReachTheEngineByTheirPacketId) {
    pendingCreations = {{7, 30000, "BAW1"}, {8, 0, "BAW2"}, {9, 30003, "BAW3"}};
    exception(22, 7);
    exception(22, 8);
    exception(22, 42);
    ASSERT_EQ(pendingCreations.size(), 1u);
    EXPECT_EQ(pendingCreations[0].packetId, 9u);
    auto events = clv::test::takeSimEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].objectId, 0u);
    EXPECT_EQ(events[0].hexidOrFlag, 30000u);
    EXPECT_EQ(events[0].kind, SimEventKind::CreationFailed);
}

TEST_F(SimDispatch, ExceptionsAreLoggedByTheirCode) {
    exception(3);  // ignored while the user position is not known
    userReply(5, userBlock(50.0, 8.0, 300.0));
    exception(3);
    exception(11);
    exception(19);
    exception(23);
    exception(24);
    exception(31);
    const auto log = clv::test::lines(logText());
    const std::vector<std::string> expected{"===> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID",
                                            "SimConnect: too many objects (max 1000)",
                                            "SIMCON EXCEP 19",
                                            "===> Simconnect exception: load flight plan failed",
                                            "SIMCON EXCEP 24",
                                            "===> SIMCON EXCEP 31"};
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(log.end() - static_cast<long>(expected.size()), log.end()), expected);
    EXPECT_EQ(statusLines(), std::vector<std::string>{"SimConnect: too many objects (max 1000)"});
    try {
        exception(5, 0, 4);
        ADD_FAILURE() << "a version mismatch went unnoticed";
    } catch (const UserErrorException& e) {
        EXPECT_STREQ(e.what(), "95: Simconnect Version Mismatch, dwindex: 4 ");
    }
}

TEST_F(SimDispatch, UserTitleIsCutToFortyEightBytesWithoutSplittingACharacter) {
    struct Case {
        std::string received;
        std::string stored;
    };
    const std::string a47(47, 'A');
    const std::string a46(46, 'B');
    for (const Case& c : {Case{std::string(60, 'x'), std::string(48, 'x')},
                          Case{a47 + "\xC3\xA9" "xyz", a47},          // e-acute would straddle byte 48
                          Case{a46 + "\xE2\x82\xAC" "!", a46},        // so would the euro sign
                          Case{"Airbus A320 \xC3\xA9", "Airbus A320 \xC3\xA9"}}) {
        text(106, c.received);
        EXPECT_EQ(gf_userAcTitle(), c.stored);
        EXPECT_EQ(gf_simDisplayTexts().userTitle, c.stored);
        EXPECT_TRUE(logged("          SimConnect: User aircraft title: " + c.stored));
    }
    const std::size_t before = clv::test::lines(logText()).size();
    text(106, "Airbus A320 \xC3\xA9");  // the same title again
    EXPECT_EQ(clv::test::lines(logText()).size(), before);
    text(106, "");
    EXPECT_TRUE(logged("! title of your ac is empty?"));
    EXPECT_EQ(gf_userAcTitle(), "Airbus A320 \xC3\xA9");
}

namespace {

const std::map<std::string, double> kSpans{{"CRJ7", 0.00627}, {"E190", 0.00777}, {"A359", 0.01749},
                                           {"B38M", 0.00970}, {"772", 0.01640},  {"B738", 0.00926},
                                           {"C172", 0.00298}, {"A320", 0.00965}, {"A388", 0.02160}};
const std::map<std::string, std::uint32_t> kCategories{{"A359", 3}, {"B38M", 2}, {"772", 3}, {"B738", 2},
                                                       {"A320", 2}, {"A388", 3}, {"E190", 2}};
constexpr double kMaxSpan = 0.02160;

SimLinkHooks typeHooks() {
    SimLinkHooks h;
    h.halfWingspan = [](const std::string& type) {
        auto found = kSpans.find(type);
        return found != kSpans.end() ? found->second : 0.0;
    };
    h.maxHalfWingspan = [] { return kMaxSpan; };
    h.type2Category = [](const std::string& type) {
        auto found = kCategories.find(type);
        return found != kCategories.end() ? found->second : 0u;
    };
    return h;
}

}  // namespace

TEST_F(SimDispatch, UserAircraftTypeFollowsTheModelAndTitleRules) {
    gf_setSimLinkHooks(typeHooks());
    struct Case {
        std::string title;
        std::string model;
        std::string line;  // the logged type line, "" for none
        double span;
        std::uint32_t category;
        bool spanKnown;
        bool unknownReported;
    };
    const std::string known = "SimConnect: User aircraft model: ";
    const Case cases[] = {
        {"Airbus A350 Lufthansa", "A350-900", known + "A359, half wing span: 32.4 meter, category: Heavy", 0.01749, 3,
         true, false},
        {"Boeing 737 MAX 8", "N738B", known + "B38M, half wing span: 18.0 meter, category: Large", 0.00970, 2, true,
         false},
        {"Boeing 777", "777", known + "772, half wing span: 30.4 meter, category: Heavy", 0.01640, 3, true, false},
        {"Any", "$$:B738", known + "B738, half wing span: 17.1 meter, category: Large", 0.00926, 2, true, false},
        {"Any", "$$:AB", known + "AB, half wing span: 0.0 meter, category: Light", 0.0, 0, true, false},
        {"Any", "$$:A", known + "$$:A, half wing span: 0.0 meter, category: Light", 0.0, 0, true, false},
        {"PMDG 737-800 Ryanair", "737", known + "B738, half wing span: 17.1 meter, category: Large", 0.00926, 2, true,
         false},
        {"Boeing 737 classic", "737", known + "737, half wing span: 0.0 meter, category: Light", 0.0, 0, true, false},
        {"Any", "ATCCOM.AC_MODEL_C172.0.text", known + "C172, half wing span: 5.5 meter, category: Light", 0.00298, 0,
         true, false},
        {"Any", "ATCCOM.AC_MODEL_X772.0.text", known + "772, half wing span: 30.4 meter, category: Heavy", 0.01640, 3,
         true, false},
        {"Any", "Asobo camerapod", "", 0.00777, 0, true, false},
        {"Aerosoft A320 Lufthansa", "AEROSOFT_A320_PRO",
         "SimConnect: User aircraft model deduced from title: A320, category: Large", 0.00965, 2, false, false},
        {"Some add-on", "UNKNOWNTYPE", known + "UNKNOWNTYPE, category: Light", kMaxSpan, 0, false, true},
        {"Airbus A380", "A388", known + "A388, category: Heavy", kMaxSpan, 3, false, true},
        {"Aerosoft A31", "XXXXXXX", known + "XXXXXXX, category: Light", kMaxSpan, 0, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title + " / " + c.model);
        text(106, c.title);
        userSpanKnownDisplay = false;
        userAcCategory = 99;
        gf_nullUiPort().clear();
        const std::size_t before = clv::test::lines(logText()).size();
        text(107, c.model);
        const auto log = clv::test::lines(logText());
        std::vector<std::string> added(log.begin() + static_cast<long>(before), log.end());
        std::vector<std::string> expected{"          model raw: " + c.model + " "};
        if (c.unknownReported) {
            expected.push_back("User aircraft wing span unknown, max is taken instead, please report in my Forum!");
        }
        if (!c.line.empty()) expected.push_back("          " + c.line);
        EXPECT_EQ(added, expected);
        EXPECT_EQ(userHalfWingspan, c.span);
        EXPECT_TRUE(userHalfWingspanKnown);
        EXPECT_EQ(userAcCategory, c.category);
        EXPECT_EQ(userSpanKnownDisplay, c.spanKnown);
    }
}

TEST_F(SimDispatch, AMissingModelTakesTheCrj7AndAShortTextModelIsAUserError) {
    gf_setSimLinkHooks(typeHooks());
    text(107, "");
    EXPECT_EQ(statusLines(), std::vector<std::string>{
                                 "171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead"});
    EXPECT_EQ(gf_simDisplayTexts().userTitle, "Unknown (encrypted?) aircraft");
    EXPECT_EQ(userHalfWingspan, 0.00627);
    EXPECT_TRUE(userHalfWingspanKnown);
    try {
        text(107, "A1.0.text");
        ADD_FAILURE() << "a model text without room for a type went through";
    } catch (const UserErrorException& e) {
        EXPECT_STREQ(e.what(), "73: It looks like you have not selected an aircraft as user vehicle");
    }
}

TEST_F(SimDispatch, FlightLoadedAndNewFilesEndTheRunWithNewFlightOnce) {
    std::atomic<int> reserved{0};
    SimLinkHooks hooks;
    hooks.reserveUserStand = [&] { ++reserved; };
    gf_setSimLinkHooks(hooks);

    auto loaded = message<ScRecvEvent>(ScRecvId::Event);
    loaded.eventId = 205;
    dispatch(loaded);
    EXPECT_EQ(exitReason, ExitReason::NewFlight);
    EXPECT_EQ(restartDelay, 45);
    EXPECT_TRUE(logged("Simconnect: flight loaded event"));

    gf_clearStopFlags();
    gf_requestStop(ExitReason::SimWasClosed, 0);
    auto file = message<ScRecvEventFilename>(ScRecvId::EventFilename);
    file.eventId = 205;
    file.fileName = "flights\\custom.FLT";
    dispatch(file);
    EXPECT_EQ(exitReason, ExitReason::SimWasClosed);  // the first reason of a run holds
    EXPECT_EQ(restartDelay, 0);
    EXPECT_TRUE(logged("===> SimConnect: New file event"));
    EXPECT_EQ(reserved, 2);
}

TEST_F(SimDispatch, SimStateQuitFrameRateAndUnknownMessages) {
    auto sim = message<ScRecvEvent>(ScRecvId::Event);
    sim.eventId = 201;
    sim.data = 1;
    dispatch(sim);
    EXPECT_TRUE(simRunning);
    EXPECT_TRUE(simRunningDisplay);
    dispatch(message<ScRecvQuit>(ScRecvId::Quit));
    EXPECT_FALSE(simRunning);

    auto frame = message<ScRecvEventFrame>(ScRecvId::EventFrame);
    frame.eventId = 204;
    for (int i = 1; i <= 29; ++i) {
        frame.frameRate = static_cast<float>(i);
        dispatch(frame);
    }
    EXPECT_EQ(simFrameRate, 0.0f);
    frame.frameRate = 47.5f;
    dispatch(frame);
    EXPECT_EQ(simFrameRate, 47.5f);

    const std::size_t before = clv::test::lines(logText()).size();
    for (ScRecvId ignored : {ScRecvId::ClientData, ScRecvId::EventEx1}) {
        dispatch(message<ScRecv>(ignored));
    }
    EXPECT_EQ(clv::test::lines(logText()).size(), before);
    dispatch(message<ScRecv>(static_cast<ScRecvId>(99)));
    EXPECT_TRUE(logged("! Unknown Dispatch dwID 99"));
    gf_dispatch(nullptr, 0, nullptr);
}
