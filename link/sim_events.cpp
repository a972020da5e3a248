#include "link/sim_events.h"

std::mutex simEventInboxMutex;
std::vector<clv::SimEvent> simEventInbox;

void gf_postSimEvent(const clv::SimEvent& event) {
    std::lock_guard lock(simEventInboxMutex);
    simEventInbox.push_back(event);
}

void gf_takeSimEvents(std::vector<clv::SimEvent>& out) {
    std::lock_guard lock(simEventInboxMutex);
    out.insert(out.end(), simEventInbox.begin(), simEventInbox.end());
    simEventInbox.clear();
}
