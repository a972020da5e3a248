#pragma once
// The TCP link on which RealTraffic, running on this PC, connects to the program:
// a version exchange at the start, then the user aircraft's position ("Qs121=")
// and the simulator's time ("Qs123="), and "exit" at the end of a run. All calls
// are made on the run thread.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/user_aircraft.h"

// Opens the listen socket on the port text (PORT_NUMBER's value; "0" picks a free
// port). Throws std::runtime_error naming the step that failed.
void gf_setupTcpServer(const std::string& port);
// RealTraffic's answer to the version question: the edition and version are taken
// from one complete JSON value; false (nothing taken) for anything else.
bool gf_readVersionReply(const std::string& reply);
// The port the listen socket is bound to; 0 when it is closed.
std::uint16_t gf_tcpServerPort();
// The address it listens on: only this PC's loopback, since RealTraffic runs here.
std::string gf_tcpServerAddress();

// Waits for RealTraffic to connect and asks for its version and level. Every
// connection is asked as soon as it comes, and the first that answers is served,
// so a connection that never speaks does not hold up RealTraffic behind it. A
// client that does not answer within the reply time, or answers with something
// that is not JSON, is closed with a status line and the wait goes on. Returns
// when RealTraffic connected, or when the run is stopped or the window closed.
void gf_connectRealTraffic();

// Accepts a client when none is connected; true when one was accepted now. The
// wait ends early on a stop or a closed listen socket, or after `timeoutMs`
// (-1: no limit; 0: only a client that is already waiting).
bool waitForClient(int timeoutMs = -1);
// Sends the text to the client; false when that failed (the client is dropped).
bool sendDataPacket(std::string_view text);
// The client's reply: the bytes received until they form one complete JSON value,
// the client closes, or the reply time passes. Empty on a failure or overrun.
std::string receive();

// The user aircraft's position and attitude; sent only while RealTraffic is on
// this PC and the position is known. A failed send drops the link and takes the
// live aircraft out (see gf_setRealTrafficGoneHandler). While no client is
// connected each call accepts one that is waiting, without waiting for one; a
// re-connecting client is asked for its version like the first one, and one
// that does not answer is closed and not counted.
void gf_sendQs121(const clv::UserAcData& user);
// The simulator's UTC time in seconds since 1970; sent when the client is
// connected and the time is 1 or more.
void gf_sendQs123(std::int64_t utcSeconds);

// Closing down: "exit" to a connected client, then both sockets closed.
void gf_closeRealTrafficLink();

// The engine's step that takes every live aircraft out of the simulator when
// RealTraffic is gone; none is installed until the engine installs it.
using RealTrafficGoneFn = void (*)();
void gf_setRealTrafficGoneHandler(RealTrafficGoneFn handler);

// Test seam: how long the version reply may take (5 seconds).
void gf_setVersionReplyTimeout(std::chrono::milliseconds timeout);
