#pragma once
// Our client side of the simulator's SimConnect interface: the calls, records and
// numbers the program uses. It speaks to the simulator (or to tools/simstandin)
// over loopback TCP; platform/simconnect_protocol.md describes the wire format.
//
// Where to connect: SimConnect.cfg in the program's folder, as the simulator's own
// clients read it; the protocol version: the simulator generation of the settings.
//
// Every call returns at once: a request goes into the connection's send buffer,
// which is written without blocking (at the latest by the next CallDispatch;
// once the simulator lags and the socket is full, only CallDispatch tries again);
// CallDispatch hands over whatever has arrived. Calls may come from two threads
// at once. A null, unknown or closed handle makes a call return kScFail and do
// nothing else.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace clv {

using ScResult = std::int32_t;
inline constexpr ScResult kScOk = 0;
// Refused: null, unknown or closed handle, a missing text, a connection that is
// gone, a send buffer the simulator stopped reading, or a failure armed by the
// simulator for a test.
inline constexpr ScResult kScFail = -1;
// CallDispatch: the simulator closed the connection (everything that came
// before it has been dispatched).
inline constexpr ScResult kScConnectionLost = -2;
// CallDispatch: another thread is dispatching this connection right now.
inline constexpr ScResult kScBusy = -3;
// CallDispatch: the stream from the simulator cannot be framed (a size field no
// packet has, a reply shorter than its kind's fields, a packet cut by the close);
// everything before it has been dispatched and the connection is over.
// gf_simConnectRefusal says where and why.
inline constexpr ScResult kScDataNotUnderstood = -4;

// One connection; SimConnectHandle{} is the null handle. Handles are never reused
// within a process, so a closed one stays invalid.
enum class SimConnectHandle : std::uint64_t {};

// Protocol versions: the 2020 simulator speaks 5, the 2024 one 6.
inline constexpr std::uint32_t kScProtocol2020 = 5;
inline constexpr std::uint32_t kScProtocol2024 = 6;

// Where the simulator listens when there is no SimConnect.cfg. Without the file
// the port can be replaced by $CLV_SIMCONNECT_PORT (tests run their own stand-in);
// a file the user wrote always wins.
inline constexpr const char* kDefaultSimConnectAddress = "127.0.0.1";
inline constexpr std::uint16_t kDefaultSimConnectPort = 50500;
inline constexpr const char* kSimConnectPortVariable = "CLV_SIMCONNECT_PORT";
inline constexpr const char* kSimConnectCfgFile = "SimConnect.cfg";

struct ScEndpoint {
    std::string address = kDefaultSimConnectAddress;  // an IPv4 address
    std::uint16_t port = kDefaultSimConnectPort;
    // TCP_NODELAY: our calls are gathered into a few writes per frame already, so
    // only an explicit DisableNagle=0 in SimConnect.cfg turns Nagle's delay on.
    bool noDelay = true;
};

// The endpoint, or what is wrong with the file: `error` then names the file and
// the key ("SimConnect.cfg: Port=abc is not a port number from 1 to 65535").
struct ScEndpointResult {
    ScEndpoint endpoint;
    std::string error;
    // Where the endpoint came from, for the log: the file's full path and section
    // ("/home/ann/run/SimConnect.cfg [SimConnect.0]"), or the default and where
    // the file was looked for.
    std::string source;
};

// Calls are refused while more than this many bytes wait unsent: the simulator
// stopped reading.
inline constexpr std::size_t kScMaxUnsent = 8u << 20;

// What a connection's writing has done so far (tests and benchmarks).
struct ScSendCounters {
    std::uint64_t sends = 0;        // send() calls
    std::uint64_t failedSends = 0;  // of them, those refused because the socket was full
    std::uint64_t polls = 0;        // writability checks of a full socket
    std::size_t unsent = 0;         // bytes in the send buffer now
    bool socketFull = false;        // the last write found the socket full
};

// The longest texts the simulator takes, in bytes (UTF-8, no NUL inside).
inline constexpr std::size_t kScTitleMax = 255;
inline constexpr std::size_t kScTailNumberMax = 11;
inline constexpr std::size_t kScPathMax = 259;

// Object id that names the user aircraft in requests.
inline constexpr std::uint32_t kScObjectIdUser = 0;
// "None" for a datum id, and other unused ids.
inline constexpr std::uint32_t kScUnused = 0xFFFFFFFFu;
// The highest notification group priority.
inline constexpr std::uint32_t kScGroupPriorityHighest = 1;

enum class ScDataType : std::uint32_t {
    Invalid = 0,
    Int32 = 1,
    Int64 = 2,
    Float32 = 3,
    Float64 = 4,
    String8 = 5,
    String32 = 6,
    String64 = 7,
    String128 = 8,
    String256 = 9,
    String260 = 10,
    StringV = 11,  // NUL-terminated, of variable length
};

enum class ScPeriod : std::uint32_t {
    Never = 0,
    Once = 1,
    VisualFrame = 2,
    SimFrame = 3,
    Second = 4,
};

enum class ScObjectType : std::uint32_t {
    User = 0,
    All = 1,
    Aircraft = 2,
    Helicopter = 3,
    Boat = 4,
    Ground = 5,
};

// Exception codes the simulator reports (ScRecvException::exception).
inline constexpr std::uint32_t kScExceptionError = 1;
inline constexpr std::uint32_t kScExceptionUnrecognizedId = 3;
inline constexpr std::uint32_t kScExceptionVersionMismatch = 5;
inline constexpr std::uint32_t kScExceptionNameUnrecognized = 7;
inline constexpr std::uint32_t kScExceptionTooManyObjects = 11;
inline constexpr std::uint32_t kScExceptionInvalidDataSize = 19;
inline constexpr std::uint32_t kScExceptionCreateObjectFailed = 22;
inline constexpr std::uint32_t kScExceptionLoadFlightplanFailed = 23;
inline constexpr std::uint32_t kScExceptionOperationInvalidForObjectType = 24;

// Where and how an AI aircraft is created: degrees, feet and knots.
struct ScInitPosition {
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;
    double pitch = 0.0;
    double bank = 0.0;
    double heading = 0.0;
    std::uint32_t onGround = 0;
    std::uint32_t airspeed = 0;
};

// Kinds of received messages.
enum class ScRecvId : std::uint32_t {
    Null = 0,
    Exception = 1,
    Open = 2,
    Quit = 3,
    Event = 4,
    EventObjectAddRemove = 5,
    EventFilename = 6,
    EventFrame = 7,
    SimObjectData = 8,
    SimObjectDataByType = 9,
    AssignedObjectId = 12,
    ClientData = 16,
    EventEx1 = 27,
};

// A received message: the dispatch procedure gets the derived record named by `id`
// (ScRecvId::Event -> ScRecvEvent, ...), valid for the duration of the call.
struct ScRecv {
    std::uint32_t size = 0;     // bytes of the message on the wire
    std::uint32_t version = 0;  // wire protocol version
    ScRecvId id = ScRecvId::Null;
};

struct ScRecvException : ScRecv {
    std::uint32_t exception = 0;
    std::uint32_t sendId = 0;  // packet id of the call that caused it
    std::uint32_t index = 0;   // which argument of that call, 0 when none
};

struct ScRecvOpen : ScRecv {
    std::string applicationName;
    std::uint32_t applicationVersionMajor = 0;
    std::uint32_t applicationVersionMinor = 0;
    std::uint32_t applicationBuildMajor = 0;
    std::uint32_t applicationBuildMinor = 0;
    std::uint32_t simConnectVersionMajor = 0;
    std::uint32_t simConnectVersionMinor = 0;
    std::uint32_t simConnectBuildMajor = 0;
    std::uint32_t simConnectBuildMinor = 0;
};

struct ScRecvQuit : ScRecv {};

struct ScRecvEvent : ScRecv {
    std::uint32_t groupId = kScUnused;
    std::uint32_t eventId = 0;
    std::uint32_t data = 0;
};

// ObjectAdded / ObjectRemoved: `data` is the object id.
struct ScRecvEventObjectAddRemove : ScRecvEvent {
    ScObjectType objectType = ScObjectType::User;
};

struct ScRecvEventFilename : ScRecvEvent {
    std::string fileName;
    std::uint32_t flags = 0;
};

struct ScRecvEventFrame : ScRecvEvent {
    float frameRate = 0.0f;
    float simSpeed = 0.0f;
};

// The data block of one object, laid out as its data definition says.
struct ScRecvSimObjectData : ScRecv {
    std::uint32_t requestId = 0;
    std::uint32_t objectId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t flags = 0;
    std::uint32_t entryNumber = 0;  // 1-based within a reply by type
    std::uint32_t outOf = 0;
    std::uint32_t defineCount = 0;
    const std::byte* data = nullptr;
    std::uint32_t dataSize = 0;
};

struct ScRecvSimObjectDataByType : ScRecvSimObjectData {};

struct ScRecvAssignedObjectId : ScRecv {
    std::uint32_t requestId = 0;
    std::uint32_t objectId = 0;
};

using ScDispatchProc = void (*)(const ScRecv* message, std::uint32_t size, void* context);

}  // namespace clv

// $CLV_SIMCONNECT_PORT when it holds a port number, else kDefaultSimConnectPort.
std::uint16_t gf_simConnectPort();

// Reads configuration 0 of a SimConnect.cfg as the simulator SDK writes it: the
// section [SimConnect] or [SimConnect.0] (any case; other [SimConnect.N] are other
// configurations and ignored), keys and values in any case, Protocol=IPv4,
// Address=, Port=, DisableNagle=0|1; other keys (MaxReceiveSize, Comment, ...)
// are ignored. A missing file means the default endpoint, whose port
// $CLV_SIMCONNECT_PORT replaces when set.
clv::ScEndpointResult gf_simConnectEndpoint(const std::filesystem::path& cfgFile = clv::kSimConnectCfgFile);

// "192.168.1.20:500"
std::string gf_simConnectEndpointText(const clv::ScEndpoint& endpoint);

// The protocol version SimConnect_Open speaks from now on (kScProtocol2020 or
// kScProtocol2024; other values are ignored).
void gf_setSimConnectProtocol(std::uint32_t protocol);
std::uint32_t gf_simConnectProtocol();

// Test hook: the next call of `function` ("SimConnect_AIRemoveObject", ...) on the
// connection of this process whose local port is `localPort` fails without
// sending. False when no such connection is open.
bool gf_simConnectFailNext(std::uint16_t localPort, const std::string& function);

// The send counters of an open connection; false for a null, unknown or closed handle.
bool gf_simConnectSendCounters(clv::SimConnectHandle handle, clv::ScSendCounters& counters);

// Connects to the simulator at gf_simConnectEndpoint() and introduces the client
// by name in the protocol of gf_simConnectProtocol(). The window, user event,
// event handle and configuration index are not used on this platform. On failure
// (nothing listens, a bad SimConnect.cfg) *handle becomes null.
clv::ScResult SimConnect_Open(clv::SimConnectHandle* handle, const char* name, void* window,
                              std::uint32_t userEventWin32, void* eventHandle, std::uint32_t configIndex);
// Closes the connection (the protocol has no packet for it); the handle is
// invalid afterwards (also for other threads).
clv::ScResult SimConnect_Close(clv::SimConnectHandle handle);
// Sends what is waiting and calls `proc` once for every complete message received
// so far. The procedure may make further calls on the handle. A reply longer than
// its kind is read up to its known fields, the rest skipped by its size.
clv::ScResult SimConnect_CallDispatch(clv::SimConnectHandle handle, clv::ScDispatchProc proc, void* context);

// After CallDispatch returned kScDataNotUnderstood: where the stream broke and why,
// and the simulator's endpoint ("the reply (receive id 808465440) at byte 0 of the
// stream has the size 1347703880, above ... (from 127.0.0.1:50500)"). Empty for
// an unknown handle or a connection whose stream was read.
std::string gf_simConnectRefusal(clv::SimConnectHandle handle);

clv::ScResult SimConnect_SubscribeToSystemEvent(clv::SimConnectHandle handle, std::uint32_t eventId,
                                                const char* systemEventName);
clv::ScResult SimConnect_AddToDataDefinition(clv::SimConnectHandle handle, std::uint32_t defineId,
                                             const char* datumName, const char* unitsName,
                                             clv::ScDataType datumType = clv::ScDataType::Float64,
                                             float epsilon = 0.0f, std::uint32_t datumId = clv::kScUnused);
clv::ScResult SimConnect_MapClientEventToSimEvent(clv::SimConnectHandle handle, std::uint32_t eventId,
                                                  const char* eventName);
clv::ScResult SimConnect_AddClientEventToNotificationGroup(clv::SimConnectHandle handle, std::uint32_t groupId,
                                                           std::uint32_t eventId, bool maskable);
clv::ScResult SimConnect_SetNotificationGroupPriority(clv::SimConnectHandle handle, std::uint32_t groupId,
                                                      std::uint32_t priority);
clv::ScResult SimConnect_RequestDataOnSimObject(clv::SimConnectHandle handle, std::uint32_t requestId,
                                                std::uint32_t defineId, std::uint32_t objectId, clv::ScPeriod period,
                                                std::uint32_t flags = 0, std::uint32_t origin = 0,
                                                std::uint32_t interval = 0, std::uint32_t limit = 0);
clv::ScResult SimConnect_RequestDataOnSimObjectType(clv::SimConnectHandle handle, std::uint32_t requestId,
                                                    std::uint32_t defineId, std::uint32_t radiusMeters,
                                                    clv::ScObjectType objectType);
// `arrayCount` 0 means one block of `unitSize` bytes (sent as a count of 1).
clv::ScResult SimConnect_SetDataOnSimObject(clv::SimConnectHandle handle, std::uint32_t defineId,
                                            std::uint32_t objectId, std::uint32_t flags, std::uint32_t arrayCount,
                                            std::uint32_t unitSize, const void* data);
clv::ScResult SimConnect_TransmitClientEvent(clv::SimConnectHandle handle, std::uint32_t objectId,
                                             std::uint32_t eventId, std::uint32_t data, std::uint32_t groupId,
                                             std::uint32_t flags);
// Refused (kScFail, nothing sent) when the title does not fit kScTitleMax
// bytes or the tail number kScTailNumberMax bytes.
clv::ScResult SimConnect_AICreateNonATCAircraft(clv::SimConnectHandle handle, const char* containerTitle,
                                                const char* tailNumber, const clv::ScInitPosition& initPosition,
                                                std::uint32_t requestId);
// The packet id of the last call sent on this connection (counted from 1 per connection).
clv::ScResult SimConnect_GetLastSentPacketID(clv::SimConnectHandle handle, std::uint32_t* packetId);
clv::ScResult SimConnect_AIReleaseControl(clv::SimConnectHandle handle, std::uint32_t objectId,
                                          std::uint32_t requestId);
clv::ScResult SimConnect_AIRemoveObject(clv::SimConnectHandle handle, std::uint32_t objectId,
                                        std::uint32_t requestId);
clv::ScResult SimConnect_AISetAircraftFlightPlan(clv::SimConnectHandle handle, std::uint32_t objectId,
                                                 const char* flightPlanPath, std::uint32_t requestId);
