// The termios port on real pseudo-terminals: the master side plays the far end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "common/realtimeloop.h"
#include "platform/pty.h"
#include "platform/serialport.h"

using namespace tpx;

namespace {

struct PtyFixture : ::testing::Test {
    void SetUp() override {
        SysStatus err;
        pair = openPty(&err);
        ASSERT_GE(pair.master, 0) << err.message();
    }
    void TearDown() override {
        if (pair.master >= 0) ::close(pair.master);
        if (pair.slaveKeeper >= 0) ::close(pair.slaveKeeper);
    }
    std::unique_ptr<SerialPort> openPort() {
        SysStatus err;
        auto port = SerialPort::open(pair.slavePath, loop, &err);
        EXPECT_TRUE(port) << err.message();
        return port;
    }
    // Reads from the master until `n` bytes arrived or 2 s passed.
    std::string readMaster(std::size_t n) {
        std::string got;
        auto deadline = loop.monotonicMs() + 2000;
        while (got.size() < n && loop.monotonicMs() < deadline) {
            pollfd p{pair.master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buf[512];
                ssize_t r = ::read(pair.master, buf, sizeof buf);
                if (r > 0) got.append(buf, static_cast<std::size_t>(r));
            }
        }
        return got;
    }
    RealTimeLoop loop;
    PtyPair pair;
};

}  // namespace

TEST(SerialTermios, MapsEveryLineParameter) {
    struct Case {
        SerialParams p;
        speed_t speed;
        tcflag_t cflags;
        tcflag_t iflags;
    } cases[] = {
        {{9600, 8, Parity::None, StopBits::One}, B9600, CS8, 0},
        {{110, 7, Parity::Even, StopBits::Two}, B110, CS7 | PARENB | CSTOPB, INPCK},
        {{300, 5, Parity::Odd, StopBits::OnePointFive}, B300, CS5 | PARENB | PARODD | CSTOPB, INPCK},
        {{115200, 6, Parity::Mark, StopBits::One, true}, B115200, CS6 | PARENB | PARODD | CMSPAR | CRTSCTS, INPCK},
        {{2400, 8, Parity::Space, StopBits::One, false, true}, B2400, CS8 | PARENB | CMSPAR, INPCK | IXON | IXOFF},
    };
    for (const auto& c : cases) {
        termios t{};
        t.c_lflag = ICANON | ECHO;
        t.c_oflag = OPOST;
        t.c_iflag = ICRNL | IXANY;
        ASSERT_TRUE(SerialPort::makeTermios(c.p, t));
        EXPECT_EQ(::cfgetospeed(&t), c.speed);
        EXPECT_EQ(::cfgetispeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), c.cflags);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
        EXPECT_EQ(t.c_iflag, c.iflags);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VSTART], 0x11);
        EXPECT_EQ(t.c_cc[VSTOP], 0x13);
    }
    termios t{};
    EXPECT_FALSE(SerialPort::makeTermios({14400}, t));  // no such termios speed
    EXPECT_FALSE(SerialPort::makeTermios({9600, 9}, t));
}

TEST_F(PtyFixture, AppliesTheLineParametersToTheDevice) {
    auto port = openPort();
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->configure({1200, 7, Parity::Odd, StopBits::Two, true}).ok());
    termios t{};
    ASSERT_EQ(::tcgetattr(pair.master, &t), 0);  // the pair shares one termios
    EXPECT_EQ(::cfgetospeed(&t), B1200);
    EXPECT_EQ(t.c_cflag & (PARODD | CSTOPB | CRTSCTS), PARODD | CSTOPB | CRTSCTS);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    ASSERT_TRUE(port->configure({115200, 8, Parity::None, StopBits::One, false, true}).ok());
    ASSERT_EQ(::tcgetattr(pair.master, &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & (PARODD | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), IXON | IXOFF);
    EXPECT_EQ(port->configure({14400}).code(), EINVAL);
    EXPECT_TRUE(port->setDtr(true).ok());  // no modem lines on a pty: not an error
}

TEST_F(PtyFixture, RestoresTheSettingsFoundAtOpen) {
    termios before{};
    ::tcgetattr(pair.master, &before);
    {
        auto port = openPort();
        ASSERT_TRUE(port->configure({1200, 7, Parity::Even, StopBits::Two}).ok());
    }
    termios after{};
    ::tcgetattr(pair.master, &after);
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
    EXPECT_EQ(after.c_cflag, before.c_cflag);
}

TEST_F(PtyFixture, BytesBothWaysInChunksOfAtMost4096) {
    auto port = openPort();
    ASSERT_TRUE(port->configure({}).ok());
    std::string got;
    std::size_t biggest = 0;
    ASSERT_TRUE(port->startReading(
        [&](ByteView c) {
            got.append(c.begin(), c.end());
            biggest = std::max(biggest, c.size());
        },
        nullptr).ok());

    ASSERT_TRUE(port->writeAll(asBytes("ATZ\r"), 1000).ok());
    EXPECT_EQ(readMaster(4), "ATZ\r");

    std::string big(10000, 'x');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
    std::thread writer([&] {
        std::size_t off = 0;
        while (off < big.size()) {
            ssize_t n = ::write(pair.master, big.data() + off, big.size() - off);
            if (n > 0) off += static_cast<std::size_t>(n);
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    EXPECT_TRUE(loop.waitUntil([&] { return got.size() >= big.size(); }, 5000));
    writer.join();
    EXPECT_EQ(got, big);
    EXPECT_LE(biggest, 4096u);
}

TEST_F(PtyFixture, NothingIsDeliveredAfterStopEvenWhenAlreadyQueued) {
    auto port = openPort();
    ASSERT_TRUE(port->configure({}).ok());
    std::atomic<int> delivered{0};
    ASSERT_TRUE(port->startReading([&](ByteView) { ++delivered; }, nullptr).ok());
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        while (!stop) {
            (void)!::write(pair.master, "0123456789", 10);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    loop.waitUntil([&] { return delivered > 3; }, 2000);
    // Chunks the reader has already posted stay in the loop's queue; close must void them.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    port->close();
    int atClose = delivered;
    loop.pause(100);
    stop = true;
    flood.join();
    EXPECT_EQ(delivered, atClose);
    EXPECT_FALSE(port->writeAll(asBytes("x"), 100).ok());
}

TEST_F(PtyFixture, ReportsALostLineOnceWithoutSpinning) {
    auto port = openPort();
    ASSERT_TRUE(port->configure({}).ok());
    int lost = 0, lostError = 0;
    ASSERT_TRUE(port->startReading([](ByteView) {}, [&](int e) { ++lost; lostError = e; }).ok());
    ::close(pair.slaveKeeper);
    pair.slaveKeeper = -1;
    ::close(pair.master);  // the far end goes away
    pair.master = -1;
    EXPECT_TRUE(loop.waitUntil([&] { return lost > 0; }, 2000));
    loop.pause(100);
    EXPECT_EQ(lost, 1);
    EXPECT_NE(lostError, 0);
}

TEST_F(PtyFixture, OpenFailsForMissingBusyAndNonTerminalDevices) {
    SysStatus err;
    EXPECT_FALSE(SerialPort::open("/dev/does-not-exist", loop, &err));
    EXPECT_EQ(err.code(), ENOENT);
    EXPECT_NE(err.message().find("/dev/does-not-exist"), std::string::npos);

    auto first = openPort();
    ASSERT_TRUE(first);
    EXPECT_FALSE(SerialPort::open(pair.slavePath, loop, &err));
    EXPECT_EQ(err.code(), EBUSY);
    first->close();
    EXPECT_TRUE(SerialPort::open(pair.slavePath, loop, &err)) << "free again after close";

    EXPECT_FALSE(SerialPort::open("/dev/null", loop, &err));
    EXPECT_EQ(err.code(), ENOTTY);
}
