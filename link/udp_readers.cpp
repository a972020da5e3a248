#include "link/udp_readers.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include "core/clock.h"
#include "core/log.h"
#include "core/ui_port.h"
#include "link/qnh_receiver.h"
#include "link/realtraffic_state.h"
#include "link/traffic_receiver.h"

// The receivers are defined here, before the threads that use them, so that at
// the end of the process a reader still running is stopped while they exist.
clv::TrafficReceiver trafficReceiver;
clv::QnhReceiver qnhReceiver;

namespace {

std::atomic<std::uint16_t> g_trafficPort{clv::kTrafficPort};
std::atomic<std::uint16_t> g_qnhPort{clv::kQnhPort};

// A reader thread of the current run; only the run thread starts and stops them.
struct ReaderThread {
    clv::UdpReceiver& receiver;
    std::thread thread;

    ~ReaderThread() {
        if (!thread.joinable()) return;
        receiver.requestStop();
        thread.join();
    }
};

std::mutex g_threadsMutex;
ReaderThread g_trafficThread{trafficReceiver, {}};
ReaderThread g_qnhThread{qnhReceiver, {}};

// A burst of traffic lines must wait in the kernel while the reader is busy:
// the system's default of a few hundred kilobytes drops half of a large burst.
constexpr int kTrafficReceiveBufferBytes = 8 * 1024 * 1024;

void lf_enlargeReceiveBuffer(clv::UdpReceiver& receiver, const char* threadName) {
    const int given = clv::platform::setReceiveBuffer(receiver.socket.handle(), kTrafficReceiveBufferBytes);
    if (given < 0) {
        gf_logMarked("{}: receive buffer not set: {}", threadName, gf_wsaErrorText(clv::platform::lastSocketError()));
    } else if (given < kTrafficReceiveBufferBytes) {
        // Linux reports twice the usable size; what matters is that the cap is visible.
        gf_logIndented("{}: receive buffer {} KB (the system's limit; {} KB asked for)", threadName, given / 1024,
                       kTrafficReceiveBufferBytes / 1024);
    }
}

void lf_logConnected(const char* threadName) { gf_logIndented("{} connected", threadName); }
void lf_logDisconnected(const char* threadName) { gf_logIndented("{} disconnected", threadName); }

void lf_readerBody(clv::UdpReceiver& receiver, const char* threadName, bool traffic, std::uint16_t port) {
    try {
        receiver.open();
        if (traffic) lf_enlargeReceiveBuffer(receiver, threadName);
        receiver.bind(port);
        if (traffic) trafficLamp = kLampReceiving;
        weatherLamp = kLampReceiving;
        gf_uiPort().requestRepaint();
        lf_logConnected(threadName);
        receiver.receiveLoop();
        receiver.socket.close();
    } catch (const std::exception& e) {
        receiver.socket.close();
        lf_logDisconnected(threadName);
        gf_readerStopped(traffic, e.what());
    }
}

// Returns whether a thread was running.
bool lf_stopThread(ReaderThread& reader) {
    if (!reader.thread.joinable()) return false;
    reader.receiver.requestStop();
    reader.thread.join();
    return true;
}

void lf_updateLamp(clv::UdpReceiver& receiver, std::atomic<std::uint32_t>& lamp, std::atomic<bool>& lit) {
    std::int32_t count = receiver.datagramCount.load();
    std::int32_t before = receiver.lampCount.exchange(count);
    if (count == before) {
        lamp = kLampSilent;
        gf_uiPort().requestRepaint();
        lit = false;
    } else if (!lit.load()) {
        lit = true;
        lamp = kLampReceiving;
        gf_uiPort().requestRepaint();
    }
}

}  // namespace

void gf_trafficReader(std::uint16_t port) { lf_readerBody(trafficReceiver, "Traffic Reader", true, port); }

void gf_qnhReader(std::uint16_t port) { lf_readerBody(qnhReceiver, "QNH Reader", false, port); }

void gf_startQnhReader() {
    std::lock_guard lock(g_threadsMutex);
    if (lf_stopThread(g_qnhThread)) qnhReceiver.stop = false;
    g_qnhThread.thread = std::thread(gf_qnhReader, g_qnhPort.load());
}

void gf_startTrafficReader() {
    std::lock_guard lock(g_threadsMutex);
    if (lf_stopThread(g_trafficThread)) trafficReceiver.stop = false;
    g_trafficThread.thread = std::thread(gf_trafficReader, g_trafficPort.load());
}

void gf_stopReaders() {
    std::lock_guard lock(g_threadsMutex);
    qnhReceiver.requestStop();
    trafficReceiver.requestStop();
    lf_stopThread(g_qnhThread);
    lf_stopThread(g_trafficThread);
}

void gf_setReaderPorts(std::uint16_t trafficPort, std::uint16_t qnhPort) {
    g_trafficPort = trafficPort;
    g_qnhPort = qnhPort;
}

void gf_updateFeedLamps() {
    if (!realTrafficConnected.load()) return;
    lf_updateLamp(qnhReceiver, weatherLamp, weatherLampLit);
    lf_updateLamp(trafficReceiver, trafficLamp, trafficLampLit);
}

void gf_resetTrafficFeed() {
    trafficReceiver.dataTimestamp = 0.0;
    trafficDataTimestamp = 0.0;
    trafficReceiver.clearSeenCallsigns();
    trafficReceiver.stop = false;
    qnhReceiver.stop = false;
    trafficLampLit = true;
    weatherLampLit = true;
    qnhReceiver.lastQnh = kStandardQnh;
}
