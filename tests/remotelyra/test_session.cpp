// Remote upgrade sessions on virtual time: CAPI in-process on the simulated ISDN network,
// the far end the simulated switch with its upgrade service (or a scripted one).
#include <gtest/gtest.h>

#include <algorithm>

#include "common/files.h"
#include "common/virtualloop.h"
#include "remotelyra/session.h"
#include "sim/isdn/simcapi.h"
#include "sim/isdn/switchparty.h"
#include "scriptedswitch.h"
#include "testutil.h"
#include "upgrade/recordinghost.h"

using namespace tpx;
using namespace tpx::remote;

namespace {

using Host = RecordingUpgradeHost;


struct RemoteFixture : ::testing::Test {
    void start(sim::UpgradeConfig cfg = {}, sim::IsdnFaults network = {}, sim::IsdnSwitchFaults switchFaults = {}) {
        sim::IsdnConfig ic;
        ic.faults = network;
        sw = std::make_shared<sim::IsdnSwitch>(sim::SimConfig{}, switchFaults);
        sw->enableUpgrade(cfg);
        ic.numbers["0123"] = [s = sw] { return s->answer(); };
        ic.numbers["0777"] = [this] {
            auto p = std::make_unique<ScriptedSwitch>(0x11, "V9");
            p->onFrame = script;
            return p;
        };
        capi = std::make_unique<sim::SimCapi>(loop, ic);
        sim::UpgradeMemory::makeImages(cfg.system, cfg.seed, images[0], images[1]);
        writeText(dir.path() / "first.bin", toString(images[0]));
        writeText(dir.path() / "second.bin", toString(images[1]));
        inputs.system = cfg.system;
    }
    int run(const std::string& number = "0123") {
        inputs.number = number;
        inputs.first = dir.path() / "first.bin";
        inputs.second = dir.path() / "second.bin";
        inputs.traceFolder = dir.path();
        Session s(*capi, loop, host, trace, inputs);
        const int r = s.run();
        restarts = s.restarts();
        return r;
    }
    // A file of the last session's trace.
    std::string traceText(const char* ext) {
        std::filesystem::path p = trace.basePath();
        p += ext;
        return readText(p);
    }

    TempDir dir;
    VirtualLoop loop{1'800'000'000, {8, 0, 0}};
    Host host;
    upgrade::SessionTrace trace;
    SessionInputs inputs;
    std::shared_ptr<sim::IsdnSwitch> sw;
    std::unique_ptr<sim::SimCapi> capi;
    std::function<void(ScriptedSwitch&, const Bytes&)> script;
    Bytes images[2];
    int restarts = 0;
};

TEST(RemotePacket, HeaderChecksumAndShortReads) {
    const Bytes ff(1024, 0xFF);
    const Bytes p = Session::dataPacket(0, ff);
    ASSERT_EQ(p.size(), 1036u);
    EXPECT_EQ(Bytes(p.begin(), p.begin() + 9), (Bytes{0x02, 0x11, 0x15, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00}));
    EXPECT_EQ(p[1033], 0xFC);
    EXPECT_EQ(p[1034], 0x2C);
    EXPECT_EQ(p[1035], 0x03);
    // A last read of 100 bytes: length 00 64, the rest of the data area zero.
    const Bytes s = Session::dataPacket(957, Bytes(100, 0x01));
    EXPECT_EQ(s[7], 0x00);
    EXPECT_EQ(s[8], 0x64);
    EXPECT_TRUE(std::all_of(s.begin() + 109, s.begin() + 1033, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(Bytes(s.begin() + 3, s.begin() + 7), (Bytes{0, 0, 0x03, 0xBD}));
}

TEST_F(RemoteFixture, Tpx12UpgradeOverTheBChannel) {
    start();
    inputs.traceLevel = 0;
    const std::int64_t t0 = loop.monotonicMs();
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(sw->upgrade()->rom(0), images[0]);
    EXPECT_EQ(sw->upgrade()->rom(1), images[1]);
    EXPECT_EQ(sw->upgrade()->blocksStored(), 496 + 462);
    EXPECT_EQ(host.version, "TPX-12 V2.5");
    EXPECT_EQ(host.lastBytes, 0x73800u);
    for (const char* l : {"  Checking CAPI ...", "   -- CAPI is installed ...", "\r\n  Now, connecting line ( 0123 ).. ",
                          "   -- Connected .. ", "   -- Negotiation succeeded .. ", "   -- Checksum Okay .. "})
        EXPECT_TRUE(host.saw(l)) << l;
    for (const char* w : {"CONNECTING", "NEGOTIATING", "SERVICE_REQ", "VERSION_REQ", "SERVICE_START", "CHECKSUM_INF",
                          "TRANSMITTING"})
        EXPECT_TRUE(host.sawStatus(w)) << w;
    // The B-channel's limit: every frame both ways at 8 bytes per millisecond.
    const double limit = (958.0 * (1036 + 9) + 4 * (8 + 6)) / 8000.0;
    const double took = (loop.monotonicMs() - t0) / 1000.0;
    EXPECT_LT(took, limit * 1.05 + 2) << took << " s against " << limit;

    // Level 0: the full CAPI trace in text mode, the data block dumps, labels in frame files.
    const std::string prt = traceText(".prt");
    EXPECT_NE(prt.find("\r\nPut CAPI message : CONNECT.REQ\r\n"), std::string::npos);
    EXPECT_NE(prt.find("---------- Program Status : Negotiating ----------"), std::string::npos);
    EXPECT_NE(prt.find("\r\nData block : 0210100"), std::string::npos);
    EXPECT_NE(prt.find(" Remote S/W Upgrade succeeded "), std::string::npos);
    EXPECT_NE(traceText(".001").find("NEGO_START    : 02101003\n"), std::string::npos);
    EXPECT_NE(traceText(".001").find("DATA_ACK      : 021116040000000003\n"), std::string::npos);
    EXPECT_NE(traceText(".002").find("CHECKSUM_ACK  : 021111011303\n"), std::string::npos);
}

TEST_F(RemoteFixture, TraceLevelsDecideWhatTheProtocolFileHolds) {
    for (int level : {1, 2}) {
        start();
        inputs.traceLevel = level;
        ASSERT_EQ(run(), 0) << level;
        const std::string prt = traceText(".prt");
        EXPECT_EQ(prt.find("CONNECT_REQ") != std::string::npos, false) << level;  // no message trace
        EXPECT_EQ(prt.find("Put CAPI message") != std::string::npos, level == 1) << level;
        EXPECT_EQ(prt.find(" --- Packet 0957 ---") != std::string::npos, level == 1) << level;
        EXPECT_NE(prt.find("\r\nChecksum ID: 13  Checksum : "), std::string::npos);
        EXPECT_NE(prt.find("Received DATA_ACK\r\n"), std::string::npos);
        EXPECT_NE(prt.find(" Remote S/W Upgrade succeeded "), std::string::npos);
    }
}

TEST_F(RemoteFixture, RestartFirstSendsAZeroChecksumOnce) {
    sim::UpgradeConfig cfg;
    cfg.system = 1;
    cfg.seed = 9;
    cfg.version = "TPX-24W V31";
    start(cfg);
    inputs.testMethod = kTestRestartFirst;
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(sw->upgrade()->restarts(), 1);
    EXPECT_EQ(sw->upgrade()->checksumsRefused(), 1);
    EXPECT_EQ(sw->upgrade()->rom(0), images[0]);
    EXPECT_EQ(sw->upgrade()->rom(1), images[1]);
    EXPECT_NE(traceText(".001").find("RESTART_ACK   : 021114011003\n"), std::string::npos);
}

TEST_F(RemoteFixture, FaultsReachTheirResults) {
    struct Case {
        const char* what;
        sim::UpgradeFaults upgrade;
        sim::IsdnFaults network;
        sim::IsdnSwitchFaults negotiation;
        int result;
    };
    auto up = [](auto set) {
        sim::UpgradeFaults f;
        set(f);
        return f;
    };
    auto net = [](auto set) {
        sim::IsdnFaults f;
        set(f);
        return f;
    };
    auto nego = [](auto set) {
        sim::IsdnSwitchFaults f;
        set(f);
        return f;
    };
    const Case cases[] = {
        {"one NACK", up([](auto& f) { f.nackBlock = 10; }), {}, {}, 0},
        {"one lost answer", up([](auto& f) { f.silentBlock = 500; }), {}, {}, 0},
        {"one PACKET_FAIL", up([](auto& f) { f.packetFailBlock = 20; }), {}, {}, 0},
        {"no NEGO_START", {}, {}, nego([](auto& f) { f.noNegoStart = true; }), 0},
        {"boot areas differ", up([](auto& f) { f.bootMismatch = true; }), {}, {}, 17},
        {"no version", up([](auto& f) { f.noVersion = true; }), {}, {}, 23},
        {"every total refused", up([](auto& f) { f.totalNack = true; }), {}, {}, 17},
        {"NACK forever", up([](auto& f) { f.nackBlock = 3, f.nackAlways = true; }), {}, {}, 19},
        {"a block never answered", up([](auto& f) { f.silentBlock = 3, f.silentAlways = true; }), {}, {}, 19},
        {"service refused", {}, {}, nego([](auto& f) { f.serviceNack = true; }), 15},
        {"cleared in negotiation", {}, {}, nego([](auto& f) { f.clearInNegotiation = true; }), 27},
        {"cleared at the checksum", up([](auto& f) { f.clearAtChecksum = true; }), {}, {}, 28},
        {"cleared at the restart", up([](auto& f) { f.clearAtRestart = true; f.totalNack = true; }), {}, {}, 29},
        {"cleared in the data", up([](auto& f) { f.dropBlock = 100; }), {}, {}, 30},
        {"no answer to the call", {}, net([](auto& f) { f.answerDelayMs = 120000; }), {}, 22},
        // A call the network refuses in CONNECT_CONF frees its entry; the wait for the
        // connection then runs out.
        {"call refused", {}, net([](auto& f) { f.connectConfInfo = 0x2001; }), {}, 22},
        {"no LISTEN_CONF", {}, net([](auto& f) { f.noListenConf = true; }), {}, 11},
    };
    for (const Case& c : cases) {
        sim::UpgradeConfig cfg;
        cfg.faults = c.upgrade;
        start(cfg, c.network, c.negotiation);
        host = Host{};
        inputs.timing = {};
        inputs.timing.data = {2, 3};
        EXPECT_EQ(run(), c.result) << c.what;
        if (c.result == 0) EXPECT_EQ(sw->upgrade()->rom(1), images[1]) << c.what;
    }
    EXPECT_EQ(Session::resultMessage(30),
              "ERROR : Abnormal disconnection during data transmission !\n              Please try again in a few minutes");
}

TEST_F(RemoteFixture, SixRestartsEndWithoutSuccess) {
    sim::UpgradeConfig cfg;
    cfg.faults.totalNack = true;
    start(cfg);
    EXPECT_EQ(run(), 17);
    EXPECT_EQ(restarts, 6);
    const std::string prt = traceText(".prt");
    EXPECT_EQ(prt.find("Upgrade succeeded"), std::string::npos);
    EXPECT_NE(prt.find("Total upgrade time is"), std::string::npos);
}

TEST_F(RemoteFixture, NegotiationRetryCountsZeroAndOneGiveOneWait) {
    for (int retries : {0, 1}) {
        start();
        script = [](ScriptedSwitch&, const Bytes&) {};
        sim::IsdnConfig ic;
        // A switch that never answers SERVICE_REQ.
        ic.numbers["0555"] = [] {
            struct Mute : sim::IsdnParty {
                void connected(sim::IsdnLine l) override { line = std::move(l); }
                void frame(ByteView) override {}
                sim::IsdnLine line;
            };
            return std::make_unique<Mute>();
        };
        capi = std::make_unique<sim::SimCapi>(loop, ic);
        inputs.timing.negotiation = {5, retries};
        const std::int64_t t0 = loop.calendarSeconds();
        EXPECT_EQ(run("0555"), 14) << retries;
        const std::int64_t took = loop.calendarSeconds() - t0;
        EXPECT_GE(took, 6);   // NEGO_START's second, then one wait of 5 s
        EXPECT_LE(took, 8 + 5);  // (and the hang-up)
        EXPECT_EQ(traceText(".prt").find("Resend Packet"), std::string::npos);
        EXPECT_NE(traceText(".prt").find("ERROR : Did not receive NEGO_START\r\n"), std::string::npos);
    }
}

TEST_F(RemoteFixture, AnAnswerForAnotherBlockIsIgnoredAndThePacketResent) {
    int packets = 0;
    script = [&](ScriptedSwitch& s, const Bytes& f) {
        if (f[2] == 0x10) s.line.send(Bytes{0x02, 0x11, 0x11, 0x01, f[4], 0x03});
        if (f[2] == 0x15) {
            ++packets;
            // The second packet's first answer names block 0 again.
            const std::uint8_t named = packets == 2 ? 0 : f[6];
            s.line.send(Bytes{0x02, 0x11, 0x16, 0x04, f[3], f[4], f[5], named, 0x03});
        }
    };
    start();
    inputs.timing.data = {2, 3};
    EXPECT_EQ(run("0777"), 0);
    EXPECT_EQ(packets, 958 + 1);
    EXPECT_EQ(host.version, "V9");
    const std::string prt = traceText(".prt");
    EXPECT_NE(prt.find("ERROR : Waiting time has expired\r\nERROR : Resend Packet\r\n"), std::string::npos);
}

}  // namespace
