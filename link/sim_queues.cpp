#include "link/sim_queues.h"

#include <fmt/format.h>

#include <limits>

#include "core/clock.h"
#include "core/log.h"
#include "core/run_meter.h"
#include "core/ui_port.h"
#include "link/sim_client.h"

std::mutex simQueueMutex;
std::vector<clv::AcCreateRequest> createAcQueue;
std::vector<clv::ClientEventCmd> clientEventQueue;
std::vector<std::uint32_t> removeAcQueue;
std::vector<clv::AiPositionUpdate> positionBufferA;
std::vector<clv::AiPositionUpdate> positionBufferB;
std::vector<clv::AiPositionUpdate>* fillPositions = &positionBufferA;
std::vector<clv::AiPositionUpdate>* sendPositions = &positionBufferB;
std::vector<clv::PendingCreation> pendingCreations;
std::vector<std::uint32_t> objectAddedQueue;

namespace {

constexpr std::size_t kReserved = 256;

// SimConnect thread only.
std::uint32_t nextCreationRequestId = clv::kFirstCreationRequestId;

std::uint32_t lf_takeCreationRequestId() {
    const std::uint32_t id = nextCreationRequestId;
    nextCreationRequestId = id == std::numeric_limits<std::uint32_t>::max() ? clv::kFirstCreationRequestId : id + 1;
    return id;
}

// Under load measuring: the time from taking the queue lock to letting it go.
class LockTimer {
public:
    explicit LockTimer(std::size_t blocks)
        : blocks_(blocks),
          on_(clv::gf_measuring() && blocks > 0),
          start_(on_ ? clv::MeterClock::now() : clv::MeterClock::time_point{}) {}
    ~LockTimer() {
        if (on_) clv::gf_noteFrameLock(clv::g_frameLockMeter, clv::MeterClock::now() - start_, blocks_);
    }
    LockTimer(const LockTimer&) = delete;
    LockTimer& operator=(const LockTimer&) = delete;

private:
    std::size_t blocks_;
    bool on_;
    clv::MeterClock::time_point start_;
};

template <class V>
void lf_reserve(V& v) {
    if (v.capacity() < kReserved) v.reserve(kReserved);
}

}  // namespace

void gf_reserveSimQueues() {
    gf_waitForSimClientEnd();
    {
        std::lock_guard lock(simQueueMutex);
        lf_reserve(positionBufferA);
        lf_reserve(positionBufferB);
        lf_reserve(createAcQueue);
        lf_reserve(removeAcQueue);
    }
    lf_reserve(pendingCreations);
    lf_reserve(objectAddedQueue);
    simConnectFailed = false;
}

void gf_queueCreateAc(clv::AcCreateRequest request) {
    std::lock_guard lock(simQueueMutex);
    createAcQueue.push_back(std::move(request));
}

void gf_queueClientEvent(const clv::ClientEventCmd& command) {
    std::lock_guard lock(simQueueMutex);
    clientEventQueue.push_back(command);
}

void gf_queueClientEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data) {
    gf_queueClientEvent(clv::ClientEventCmd{objectId, eventId, data});
}

void gf_queueNavLights(std::uint32_t objectId, std::uint32_t value) {
    gf_queueClientEvent(objectId, clv::NAV_LIGHTS_SET, value);
}

void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t value) {
    gf_queueClientEvent(objectId, clv::CABIN_LIGHTS_SET, value);
}

void gf_queueRemoveAc(std::uint32_t objectId) {
    std::lock_guard lock(simQueueMutex);
    removeAcQueue.push_back(objectId);
}

void gf_clearPositionBuffers() {
    std::lock_guard lock(simQueueMutex);
    positionBufferA.clear();
    positionBufferB.clear();
}

void gf_createAiAc(const clv::AcCreateRequest& request) {
    const clv::SimConnectHandle handle = simConnectHandle;
    // Titles and tail numbers go out as the UTF-8 bytes of the aircraft.cfg they came
    // from, which is how the simulator reads its titles. A text that does not fit
    // the simulator's array would be cut into another title (or a wrong tail
    // number): such an aircraft is not created at all.
    const auto fits = [](const std::string& text, std::size_t max) {
        return text.size() <= max && text.find('\0') == std::string::npos;
    };
    if (!fits(request.title, clv::kScTitleMax) || !fits(request.callsign, clv::kScTailNumberMax)) {
        gf_logMarked("! Not created: the simulator takes titles of at most {} bytes and tail numbers of at most {}, "
                     "hexid:{}, liv: \"{}\" ({} bytes), callsign: {} ({} bytes)",
                     clv::kScTitleMax, clv::kScTailNumberMax, request.hexid, request.title, request.title.size(),
                     request.callsign, request.callsign.size());
        return;
    }
    const std::uint32_t requestId = lf_takeCreationRequestId();
    if (SimConnect_AICreateNonATCAircraft(handle, request.title.c_str(), request.callsign.c_str(), request.position,
                                          requestId) != clv::kScOk) {
        gf_logMarked("! Simcon call to create ac in sim failed, hexid:{}, liv: \"{}\", callsign: {}", request.hexid,
                     request.title, request.callsign);
        gf_simConnectRequestError();
        return;
    }
    std::uint32_t packetId = 0;
    if (SimConnect_GetLastSentPacketID(handle, &packetId) != clv::kScOk) {
        gf_logMarked("GetLastSentPacketID");
        packetId = 0;
    }
    pendingCreations.push_back(clv::PendingCreation{packetId, request.hexid, request.callsign, requestId, 0});
}

void gf_onFrame() {
    // Producers append under the lock, also after a failure, so even discarding
    // takes it; a busy lock only costs this frame.
    std::unique_lock lock(simQueueMutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    if (simConnectFailed) {
        sendPositions->clear();
        clientEventQueue.clear();
        createAcQueue.clear();
        removeAcQueue.clear();
        return;
    }
    // Declared after the lock: it ends before the lock is let go.
    const LockTimer timer(sendPositions->size());
    const clv::SimConnectHandle handle = simConnectHandle;
    const std::uint32_t user = userObjectId;

    for (const clv::AiPositionUpdate& update : *sendPositions) {
        if (update.objectId <= user) continue;
        SimConnect_SetDataOnSimObject(handle, clv::DEF_AI_POSITION, update.objectId, 0, 0, clv::kAiPositionDataSize,
                                      &update.block);
    }
    sendPositions->clear();

    for (const clv::ClientEventCmd& e : clientEventQueue) {
        const bool flaps = e.eventId == clv::FLAPS_SET;
        if (flaps) SimConnect_AIReleaseControl(handle, e.objectId, clv::REQUEST_RELEASE_CONTROL);
        if (SimConnect_TransmitClientEvent(handle, e.objectId, e.eventId, e.data, clv::kNotificationGroup, 0) !=
            clv::kScOk) {
            gf_setStatusLine(fmt::format("SimConnect TransmitClientEvent: {} fails", e.eventId), true);
        } else if (flaps) {
            SimConnect_AIReleaseControl(handle, e.objectId, clv::REQUEST_RELEASE_CONTROL);
        }
    }
    clientEventQueue.clear();

    for (const clv::AcCreateRequest& request : createAcQueue) gf_createAiAc(request);
    createAcQueue.clear();

    for (std::uint32_t id : removeAcQueue) {
        if (id <= user) {
            gf_logMarked("Simconnect call to remove ac with objectid {}", id);
            continue;
        }
        if (SimConnect_AIRemoveObject(handle, id, clv::REQUEST_REMOVE_AC) != clv::kScOk) {
            gf_logMarked("{}!Simconnect call to remove AI ac from sim failed, id {}?", gf_timeOfDay(), id);
            gf_simConnectRequestError();
        }
    }
    removeAcQueue.clear();
}
