#pragma once
// The SimConnect command queues. Other threads (the engine's traffic tick, the
// window's commands) queue creations, removals, client events and position
// blocks under simQueueMutex; only the SimConnect thread sends them, on the
// simulator's "Frame" event, and it only tries the lock: a busy lock costs a
// frame, never a command.
#include <cstdint>
#include <mutex>
#include <vector>

#include "link/sim_ids.h"
#include "link/sim_records.h"

// Guards every container below but pendingCreations and objectAddedQueue, the
// position buffer pointers, and the SimConnect calls the run thread makes itself.
extern std::mutex simQueueMutex;

extern std::vector<clv::AcCreateRequest> createAcQueue;
extern std::vector<clv::ClientEventCmd> clientEventQueue;
extern std::vector<std::uint32_t> removeAcQueue;  // object ids

// The position double buffer: the engine appends to *fillPositions during a tick
// and swaps the two pointers under simQueueMutex; the frame handler sends
// *sendPositions.
extern std::vector<clv::AiPositionUpdate> positionBufferA;
extern std::vector<clv::AiPositionUpdate> positionBufferB;
extern std::vector<clv::AiPositionUpdate>* fillPositions;
extern std::vector<clv::AiPositionUpdate>* sendPositions;

// Touched only by the SimConnect thread (and by the reset when it has ended).
extern std::vector<clv::PendingCreation> pendingCreations;
extern std::vector<std::uint32_t> objectAddedQueue;

// Before the SimConnect thread starts: room for 256 entries in each container,
// and simConnectFailed cleared. Nothing is emptied.
void gf_reserveSimQueues();

// Each appends under simQueueMutex.
void gf_queueCreateAc(clv::AcCreateRequest request);
void gf_queueClientEvent(const clv::ClientEventCmd& command);
void gf_queueClientEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data);
void gf_queueNavLights(std::uint32_t objectId, std::uint32_t value);
void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t value);
void gf_queueRemoveAc(std::uint32_t objectId);

// Empties both position buffers under simQueueMutex (a paused flight drops them).
void gf_clearPositionBuffers();

// The "Frame" handler: sends the queued positions, client events, creations and
// removals, in this order, when simQueueMutex is free; discards them all while
// simConnectFailed is set.
void gf_onFrame();

// Sends one creation and remembers it as pending; called by gf_onFrame with
// simQueueMutex held.
void gf_createAiAc(const clv::AcCreateRequest& request);
