#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/parameters.h"
#include "link/realtraffic_state.h"
#include "link/traffic_receiver.h"
#include "link/traffic_update.h"

// The traffic reader handles every datagram of the feed on one thread: lines per
// second on one core, for a line that is queued and one dropped by the range.
namespace {

std::string line(const char* latitude) {
    return std::string("TFC,4840123,") + latitude +
           ",8.6000,12000,-800,0,270.0,280,SWR123,A320,HB-JLT,LSGG,LSZH,1760000000.50,null,null,adsb_icao,12000,"
           "null,300,null,null,-5,null,268.0,null,null,A3";
}

void prepare() {
    realTrafficOnThisPc = true;
    lateralRangeNm = 40.0;
    trafficReceiver.setRangeCentre({47.45, 8.56});
    std::lock_guard lock(runMutex);
    flightRunning = true;
}

void BM_ProcessLineAccepted(benchmark::State& state) {
    prepare();
    const std::string text = line("47.5000");
    for (auto _ : state) {
        trafficReceiver.acceptDatagram(text);
        std::lock_guard lock(runMutex);
        if (trafficUpdateQueue.size() > 4096) trafficUpdateQueue.clear();
    }
    state.SetItemsProcessed(state.iterations());
    std::lock_guard lock(runMutex);
    trafficUpdateQueue.clear();
    flightRunning = false;
}
BENCHMARK(BM_ProcessLineAccepted);

void BM_ProcessLineOutOfRange(benchmark::State& state) {
    prepare();
    const std::string text = line("52.0000");
    for (auto _ : state) trafficReceiver.acceptDatagram(text);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ProcessLineOutOfRange);

}  // namespace
