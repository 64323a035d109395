#include <gtest/gtest.h>

#include "common/virtualloop.h"
#include "sim/switchsim.h"

using namespace tpx;
using namespace tpx::sim;

TEST(SwitchSim, ConsoleEchoesAndPromptsAtLineRate) {
    VirtualLoop loop;
    std::string out;
    std::vector<std::int64_t> times;
    SimConfig cfg;
    cfg.baud = 9600;
    SwitchSim sim(loop, cfg, [&](ByteView b) {
        out.append(b.begin(), b.end());
        times.push_back(loop.monotonicMs());
    });
    sim.receive(asBytes("ab\r"));
    loop.advance(1000);
    EXPECT_EQ(out, "ab\r\nTPX560> ");
    // 12 characters of 10 bits at 9600 baud take 12.5 ms on the line.
    ASSERT_FALSE(times.empty());
    EXPECT_GE(times.back(), 12);
    EXPECT_LE(times.back(), 30);
}

TEST(SwitchSim, PacingMatchesTheBaudRate) {
    VirtualLoop loop;
    std::size_t got = 0;
    std::int64_t lastAt = 0;
    SimConfig cfg;
    cfg.baud = 1200;
    cfg.model = 1;
    SwitchSim sim(loop, cfg, [&](ByteView b) {
        got += b.size();
        lastAt = loop.monotonicMs();
    });
    // 60 CRs draw 60 prompts of "\r\nTPX300> " (10 characters): 600 characters = 5 s at 1200.
    sim.receive(Bytes(60, '\r'));
    loop.advance(10000);
    EXPECT_EQ(got, 600u);
    EXPECT_GE(lastAt, 5000);
    EXPECT_LE(lastAt, 5030);
}
