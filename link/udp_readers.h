#pragma once
// The two reader threads of the RealTraffic feed, their lamps and their reset.
#include <cstdint>

// Thread bodies: open and bind the socket on the port, receive until stopped. A
// set-up failure is reported through gf_readerStopped. Return when the reader ends.
void gf_trafficReader(std::uint16_t port);
void gf_qnhReader(std::uint16_t port);

// The run starts each reader on a thread of its own ("QNH Reader" first, the
// "Traffic Reader" 2 seconds later) with the ports of gf_setReaderPorts (49005
// and 49004 unless a test changed them). A reader still running is stopped first.
void gf_startQnhReader();
void gf_startTrafficReader();
// Raises both stop flags, wakes both readers and waits until their threads have
// ended (each looks at its flag at least every 200 ms). Closing down calls it.
void gf_stopReaders();
// Test seam: the ports the start functions use; 0 picks a free port.
void gf_setReaderPorts(std::uint16_t trafficPort, std::uint16_t qnhPort);

// Refreshes both lamps from the datagram counters (only while RealTraffic is connected).
void gf_updateFeedLamps();
// Forgets the feed's time stamp and callsigns, clears the stop flags, sets the
// lit flags and the last QNH back to 1013. When RealTraffic (re)connects and
// when a run is reset.
void gf_resetTrafficFeed();
