#include "link/udp_receiver.h"

#include <cstring>
#include <stdexcept>

#include <fmt/format.h>

#include "core/log.h"
#include "link/realtraffic_state.h"

namespace clv {

void UdpReceiver::open() {
    socket.adopt(platform::openUdpSocket());
    if (!socket.isOpen())
        throw std::runtime_error(
            fmt::format("failed to create the socket with error: {}", gf_wsaErrorText(platform::lastSocketError())));
}

void UdpReceiver::bind(std::uint16_t port) {
    if (!platform::bindIpv4(socket.handle(), realTrafficOnThisPc.load(), port))
        throw std::runtime_error(
            fmt::format("bind to stream socket failed with error: {}", gf_wsaErrorText(platform::lastSocketError())));
    boundPort_ = platform::localPort(socket.handle());
}

void UdpReceiver::requestStop() {
    stop = true;
    socket.shutdown();
}

void UdpReceiver::receiveLoop() {
    const platform::StopTest stopTest = [this] { return stop.load(); };
    while (!stop.load()) {
        platform::WaitResult wait = platform::waitReadable(socket.handle(), stopTest, kIdleMs);
        if (wait == platform::WaitResult::Stopped) break;
        if (wait == platform::WaitResult::TimedOut) {
            idle();
            continue;
        }
        long count = wait == platform::WaitResult::Failed
                         ? -1
                         : platform::receiveDatagram(socket.handle(), buffer.data(), buffer.size());
        if (count < 0) {
            gf_logIfRunning("receive error: {}", gf_wsaErrorText(platform::lastSocketError()));
            break;
        }
        handleReceived(count);
    }
    socket.close();
    boundPort_ = 0;
    stopped();
}

void UdpReceiver::acceptDatagram(std::string_view bytes) {
    std::size_t n = std::min(bytes.size(), buffer.size());
    if (n > 0) std::memcpy(buffer.data(), bytes.data(), n);  // an empty view may have no data
    handleReceived(static_cast<long>(bytes.size()));
}

void UdpReceiver::handleReceived(long count) {
    if (count == 0) return;
    if (static_cast<std::size_t>(count) >= buffer.size()) {
        gf_logIfRunning("buffer overrun: {} bytes", count);
        return;
    }
    buffer[static_cast<std::size_t>(count)] = '\0';
    lastDatagram = std::string_view(buffer.data(), static_cast<std::size_t>(count));
    ++datagramCount;
    if (!realTrafficOnThisPc.load()) {
        // From another PC every datagram may arrive twice; the copy is dropped.
        if (lastDatagram == previousDatagram) return;
        previousDatagram.assign(lastDatagram);
    }
    processDatagram();
}

}  // namespace clv

std::string gf_wsaErrorText(int code) {
    const char* text = "Unknown errror code";
    switch (code) {
        case 10004: text = "Interrupted system call"; break;
        case 10009: text = "Bad file number"; break;
        case 10013: text = "Permission denied"; break;
        case 10014: text = "Bad address"; break;
        case 10022: text = "Invalid argument"; break;
        case 10024: text = "Too many open sockets"; break;
        case 10035: text = "Operation would block"; break;
        case 10036: text = "Operation now in progress"; break;
        case 10037: text = "Operation already in progress"; break;
        case 10038: text = "Socket operation on non-socket"; break;
        case 10039: text = "Destination address required"; break;
        case 10040: text = "Messenger too long"; break;
        case 10041: text = "Protocol wrong type for socket"; break;
        case 10042: text = "Bad protocol option"; break;
        case 10043: text = "Protocol not supported"; break;
        case 10044: text = "Socket type not supported"; break;
        case 10045: text = "Operation not supported on socket"; break;
        case 10046: text = "Protocol family not supported"; break;
        case 10047: text = "Address family not supported"; break;
        case 10048: text = "Address already in use"; break;
        case 10049: text = "Can't assign requested address"; break;
        case 10050: text = "Network is down"; break;
        case 10051: text = "Network is unreachable"; break;
        case 10052: text = "Net connection reset"; break;
        case 10053: text = "Software caused connection abort"; break;
        case 10054: text = "Connection reset by peer"; break;
        case 10055: text = "No buffer space available"; break;
        case 10056: text = "Socket is already connected"; break;
        case 10057: text = "Socket is not connected"; break;
        case 10058: text = "Can't send numLines socket shutdown"; break;
        case 10059: text = "Too many references, can't splice"; break;
        case 10060: text = "Connection timed out"; break;
        case 10061: text = "Connection refused"; break;
        case 10062: text = "Too many levels of symbolic links"; break;
        case 10063: text = "File name too long"; break;
        case 10064: text = "Host is down"; break;
        case 10065: text = "No route to host"; break;
        case 10066: text = "Directory not empty"; break;
        case 10067: text = "Too many processes"; break;
        case 10068: text = "Too many users"; break;
        case 10069: text = "Disc quota exceeded"; break;
        case 10070: text = "Stale NFS file handle"; break;
        case 10071: text = "Too many levels of remote in path"; break;
        case 10091: text = "Network system is unavailable"; break;
        case 10092: text = "Winsock version out of range"; break;
        case 10093: text = "WSAStartup not yet called"; break;
        case 10101: text = "Graceful shutdown in progress"; break;
        case 11001: text = "Host not found"; break;
        case 11004: text = "No host data of that type was found"; break;
        default: break;
    }
    return fmt::format("{} {}", code, text);
}
