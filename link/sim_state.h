#pragma once
// State shared by the SimConnect thread's files (thread body and dispatch); the
// rest of the program reads it through link/sim_client.h.
#include <mutex>
#include <string>

#include "link/sim_client.h"
#include "link/user_aircraft.h"

// The last user aircraft block. The SimConnect thread writes it and run-thread
// callers copy it, each under this lock (held for the copy only).
extern std::mutex userAcMutex;
extern clv::UserAcData lastUserAcData;

// The display texts and the stored user title, under this lock.
extern std::mutex simDisplayMutex;
extern SimDisplayTexts simDisplayTexts;
extern std::string userAcTitle;

namespace clv {

// Kept by the SimConnect thread alone; the reset clears it once the thread ended.
struct SimThreadState {
    double previousLatitude = 0.0;  // the user position of the previous reply
    double previousLongitude = 0.0;
    std::string lastStand;  // the stand name of the previous reply
    int frameCounter = 0;   // "Frame" events, 0 to 30
};

}  // namespace clv

extern clv::SimThreadState simThreadState;
