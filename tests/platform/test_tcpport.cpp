#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/realtimeloop.h"
#include "platform/tcpport.h"

using namespace tpx;

namespace {
// A listening socket on a free loopback port.
struct Listener {
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 1);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd); }
    int fd;
    int port;
};
}  // namespace

TEST(TcpPort, CarriesBytesBothWaysAndReportsTheFarEndClosing) {
    Listener server;
    RealTimeLoop loop;
    SysStatus err;
    auto port = TcpPort::connect("127.0.0.1:" + std::to_string(server.port), loop, &err);
    ASSERT_TRUE(port) << err.message();
    int peer = ::accept(server.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);

    std::string got;
    int lost = 0;
    ASSERT_TRUE(port->startReading([&](ByteView c) { got.append(c.begin(), c.end()); },
                                   [&](int) { ++lost; }).ok());
    ASSERT_TRUE(port->configure({300, 7, Parity::Even}).ok());  // a stream has no line settings
    ASSERT_TRUE(port->writeAll(asBytes("\x33\r"), 1000).ok());
    char buf[8] = {};
    ASSERT_EQ(::read(peer, buf, sizeof buf), 2);
    EXPECT_EQ(std::string(buf, 2), "\x33\r");

    ASSERT_EQ(::write(peer, "TPX560> ", 8), 8);
    EXPECT_TRUE(loop.waitUntil([&] { return got == "TPX560> "; }, 2000));
    ::close(peer);
    EXPECT_TRUE(loop.waitUntil([&] { return lost == 1; }, 2000));
}

TEST(TcpPort, RefusedAndMalformedAddressesFail) {
    RealTimeLoop loop;
    SysStatus err;
    int freePort;
    {
        Listener l;
        freePort = l.port;
    }
    EXPECT_FALSE(TcpPort::connect("127.0.0.1:" + std::to_string(freePort), loop, &err));
    EXPECT_EQ(err.code(), ECONNREFUSED);
    EXPECT_FALSE(TcpPort::connect("no-port-given", loop, &err));
    EXPECT_EQ(err.code(), EINVAL);
}
