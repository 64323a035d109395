#include <gtest/gtest.h>

#include "common/virtualloop.h"
#include "sim/switchsim.h"

#include <memory>

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
    EXPECT_EQ(out, "ab\r\nTPX560 ADMIN PASSWORD: ");
    // 28 characters of 10 bits at 9600 baud take 29.2 ms on the line (to within half a ms).
    ASSERT_FALSE(times.empty());
    EXPECT_GE(times.back(), 28);
    EXPECT_LE(times.back(), 45);
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
    // 600 characters echoed take 5 s at 1200 baud.
    sim.receive(Bytes(600, 'x'));
    loop.advance(10000);
    EXPECT_EQ(got, 600u);
    EXPECT_GE(lastAt, 5000);
    EXPECT_LE(lastAt, 5030);
}

namespace {
struct AdminConsole : ::testing::Test {
    AdminConsole() { cfg.baud = 0; }
    void start() {
        out.clear();
        sim = std::make_unique<SwitchSim>(loop, cfg, [this](ByteView b) { out.insert(out.end(), b.begin(), b.end()); });
    }
    Bytes take() {
        loop.advance(5000);
        Bytes o = out;
        out.clear();
        return o;
    }
    VirtualLoop loop;
    SimConfig cfg;
    std::unique_ptr<SwitchSim> sim;
    Bytes out;
};
}  // namespace

TEST_F(AdminConsole, LoginAnswersByPasswordAndMode) {
    struct Case {
        const char* name;
        std::string password;
        AckMode ack;
        Bytes sent;
        Bytes answer;
        SwitchSim::State after;
    } cases[] = {
        {"default password", "", AckMode::Accept, toBytes("tovrix\r"), {0xF2}, SwitchSim::State::Admin},
        {"key-coded password", "1*0#", AckMode::Accept, {1, 11, 10, 12, 13}, {0xF2}, SwitchSim::State::Admin},
        {"wrong password", "1234", AckMode::Accept, toBytes("tovrix\r"), {0xF3}, SwitchSim::State::Console},
        {"refusing switch", "", AckMode::Refuse, toBytes("tovrix\r"), {0xF3}, SwitchSim::State::Console},
        {"busy switch", "", AckMode::Sorry, toBytes("tovrix\r"), toBytes("\r\nSORRY, ADMIN BUSY\r\n"),
         SwitchSim::State::Console},
        {"silent switch", "", AckMode::Silent, toBytes("tovrix\r"), {}, SwitchSim::State::Console},
    };
    for (const auto& c : cases) {
        cfg.password = c.password;
        cfg.ack = c.ack;
        start();
        sim->receive(Bytes{0x0D});
        EXPECT_EQ(toString(take()), "\r\nTPX560 ADMIN PASSWORD: ") << c.name;
        sim->receive(c.sent);
        EXPECT_EQ(take(), c.answer) << c.name;
        EXPECT_EQ(sim->state(), c.after) << c.name;
    }
}

TEST_F(AdminConsole, IdentificationAndItsFaults) {
    cfg.model = 3;
    cfg.version = "4.1Bc";
    cfg.nation = 0x52FF;
    cfg.extensionMemory = true;
    start();
    sim->receive(toBytes("\rtovrix\r"));
    take();
    sim->receive(Bytes{0xFD});
    Bytes id = take();
    EXPECT_EQ(id, (Bytes{3, '4', '.', '1', 'B', 'c', 0, 'M', 'E', 'M', 'U', 0x52, 0xFF}));
    sim->receive(Bytes{51});  // MON leaves administration
    EXPECT_EQ(sim->state(), SwitchSim::State::Console);

    cfg.faults.identSplit = true;
    start();
    sim->receive(toBytes("\rtovrix\r\xFD"));
    loop.advance(100);
    std::size_t first = out.size();
    const std::size_t prompt = std::string("\r\nTPX-RVII ADMIN PASSWORD: ").size();
    EXPECT_EQ(first, prompt + 1u + 4u);  // prompt, ack, first part
    loop.advance(1000);
    EXPECT_EQ(out.size(), first + 5);
    loop.advance(1000);
    EXPECT_EQ(out.size(), first + 9);

    cfg.faults = {};
    cfg.faults.identShort = true;
    start();
    sim->receive(toBytes("\rtovrix\r\xFD"));
    EXPECT_EQ(take().size(), prompt + 1u + 7u);

    cfg.faults = {};
    cfg.faults.deny = true;
    start();
    sim->receive(Bytes{0x0D});
    EXPECT_EQ(toString(take()), "\r\nAccess Canceled!\r\n");
}
