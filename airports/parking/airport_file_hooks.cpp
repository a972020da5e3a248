#include "airports/parking/airport_file_hooks.h"

#include "airports/parking/apf_locate.h"
#include "airports/parking/apf_reader.h"
#include "airports/parking/learned_files.h"
#include "airports/parking/park_state.h"

void gf_installAirportFileHooks() {
    apfReadHooks.parkAirportCode = gf_currentParkAirportCode;
    apfReadHooks.setParkAirportAltitude = [](std::int32_t feet) {
        clv::Airport airport = gf_currentParkAirport();
        airport.alt = feet;
        gf_setCurrentParkAirport(airport);
    };
    apfReadHooks.downloadApf = [](const std::string& name) { return lf_downloadApf(name, g_parkAirportFile); };
    apfReadHooks.archivePath = gf_archivePath;
    apfReadHooks.readLearned = lf_readLearned;
    apfReadHooks.loadLearned = lf_loadLearned;
    apfReadHooks.mergeLearned = lf_mergeLearned;
    apfReadHooks.premergeLearned = lf_premergeLearned;
}
