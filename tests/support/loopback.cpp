#include "support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace clv::test {

LoopbackListener gf_listenOnLoopback(int backlog, int receiveBuffer, int socketFlags) {
    LoopbackListener listener;
    const int fd = ::socket(AF_INET, SOCK_STREAM | socketFlags, 0);
    if (fd < 0) return listener;
    if (receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0) {
        ::close(fd);
        return listener;
    }
    listener.fd = fd;
    listener.port = ntohs(a.sin_port);
    return listener;
}

}  // namespace clv::test
