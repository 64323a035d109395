// LocalLyra's port: the receive ring, block contents in the trace, the open/write/read
// trace lines.
#include <gtest/gtest.h>

#include "common/virtualloop.h"
#include "locallyra/port.h"
#include "sim/simlink.h"
#include "testutil.h"

using namespace tpx;
using namespace tpx::local;

namespace {

TEST(ReceiveRingTest, WrapsAtTheEndAndDropsTheOldestWhenFull) {
    ReceiveRing r;
    EXPECT_EQ(r.rear(), -1);
    r.append(Bytes(4090, 0xAA));
    r.take(4090);
    EXPECT_EQ(r.rear(), 4089);
    Bytes twenty(20);
    for (int i = 0; i < 20; ++i) twenty[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(r.append(twenty), 0);
    EXPECT_EQ(r.rear(), 13);
    EXPECT_EQ(r.head(), 4090);
    EXPECT_EQ(r.length(), 20);
    EXPECT_EQ(r.at(0), 0);
    EXPECT_EQ(r.at(6), 6);   // position 0
    EXPECT_EQ(r.at(19), 19); // position 13

    // 4100 unread bytes: the four oldest make room, none is overwritten in place.
    r.clear();
    Bytes many(4100);
    for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(r.append(many), 4);
    EXPECT_EQ(r.length(), 4096);
    EXPECT_EQ(r.at(0), 4);
    EXPECT_EQ(r.at(4095), static_cast<std::uint8_t>(4099));
}

TEST(BlockContents, LettersAndDigitsInBracketsTheRestInHex) {
    EXPECT_EQ(blockContents(Bytes{0x0D, 'A', 'B'}, true), "0d <A B>\n");
    EXPECT_EQ(blockContents(Bytes{'k', '1', 0x02, 0x13, 'z'}, true), "<k 1 > 02 13 <z>\n");
    EXPECT_EQ(blockContents(Bytes{0x06}, true), "06\n");
    EXPECT_EQ(blockContents(Bytes{0x0D, 'A', 'B'}, false), "\n");
}

struct PortFixture : ::testing::Test {
    PortFixture() {
        line.attach([this](ByteView b) { atSwitch.insert(atSwitch.end(), b.begin(), b.end()); });
        EXPECT_EQ(trace.open(dir.path(), "Local", {9, 5, 3}, false), upgrade::SessionTrace::OpenResult::Ok);
    }
    std::string protocol() { return readText(dir.path() / "Trace" / "Local090503.prt"); }
    TempDir dir;
    VirtualLoop loop{1'800'000'000, {9, 5, 3}};
    sim::SimLine line{loop, 0};
    sim::SimOpener opener{line};
    upgrade::SessionTrace trace;
    Bytes atSwitch;
};

TEST_F(PortFixture, OpenWriteAndReadLeaveTheirTraceLines) {
    trace.setLevel(0);
    LocalPort port(loop, opener, trace);
    PortSettings s;
    s.port = 2;
    s.baud = 38400;
    s.parity = 2;
    s.stopCode = 2;
    ASSERT_TRUE(port.OpenConnection(s));
    EXPECT_EQ(opener.lastPortIndex, 1);
    EXPECT_EQ(line.params().baud, 38400);
    EXPECT_TRUE(port.WriteCommBlock(Bytes{0x0D, 'A', 'B'}));
    loop.advance(10);
    EXPECT_EQ(atSwitch, (Bytes{0x0D, 'A', 'B'}));
    line.toProgram(Bytes{0x06, 'O', 'K'});
    loop.advance(10);
    EXPECT_EQ(port.ring().length(), 3);
    EXPECT_EQ(protocol(),
              "\n09:05:03 <- OpenConnection()\n COM port open succeeded...\n"
              "    COM port   : COM2\n    Baud rate  : 38400\n    Data bits  : 8\n    Parity bit : 2\n    Stop bit   : 2\n"
              "\n09:05:03 <- WriteCommBlock()\n Block has been written to COM port...\n    Block Length (WRITE) : 3"
              "\n    Block Contents (WRITE) : 0d <A B>\n"
              "\n09:05:03 <- CommWatchProc()\n Data has been read...\n    Block Length (READ) : 3"
              "\n    Block Contents (READ) : 06 <O K>\n");
    // With the detail switch on, the read goes to the current frame file too.
    EXPECT_NE(readText(dir.path() / "Trace" / "Local090503.001").find("CommWatchProc"), std::string::npos);

    port.close();
    EXPECT_FALSE(port.connected());
    line.toProgram(Bytes{0x01});
    loop.advance(10);
    EXPECT_EQ(port.ring().length(), 3);  // a closed port takes nothing
    EXPECT_FALSE(port.WriteCommBlock(Bytes{0x01}));
}

TEST_F(PortFixture, APortThatCannotOpenReportsFalse) {
    LocalPort port(loop, opener, trace);
    auto other = line.open(nullptr);  // someone else holds the line
    EXPECT_FALSE(port.OpenConnection({}));
    EXPECT_FALSE(port.connected());
    EXPECT_EQ(protocol(), "");  // no trace for a device that cannot be opened
}

}  // namespace
