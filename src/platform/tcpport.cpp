#include "platform/tcpport.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tpx {

std::unique_ptr<TcpPort> TcpPort::connect(const std::string& hostPort, EventLoop& loop,
                                          SysStatus* error, int timeoutMs) {
    const std::string what = "connect " + hostPort;
    auto fail = [&](SysStatus st) -> std::unique_ptr<TcpPort> {
        if (error) *error = std::move(st);
        return nullptr;
    };
    auto colon = hostPort.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == hostPort.size())
        return fail(SysStatus(EINVAL, what));
    std::string host = hostPort.substr(0, colon), port = hostPort.substr(colon + 1);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        return fail(SysStatus(EHOSTUNREACH, what));
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, ::freeaddrinfo);

    SysStatus last(ECONNREFUSED, what);
    for (addrinfo* a = found; a; a = a->ai_next) {
        int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            last = SysStatus::fromErrno(what);
            continue;
        }
        int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (r != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            r = retryEintr([&] { return ::poll(&p, 1, timeoutMs); });
            if (r == 0) {
                errno = ETIMEDOUT;
                r = -1;
            } else if (r > 0) {
                int soErr = 0;
                socklen_t len = sizeof soErr;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len);
                errno = soErr;
                r = soErr == 0 ? 0 : -1;
            }
        }
        if (r == 0) {
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return std::unique_ptr<TcpPort>(new TcpPort(loop, fd, hostPort));
        }
        last = SysStatus::fromErrno(what);
        ::close(fd);
    }
    return fail(last);
}

}  // namespace tpx
