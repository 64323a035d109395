// Local upgrade sessions on virtual time against the simulated switch: whole upgrades of
// both systems, the test method, every fault reaching its result code, and the recognition
// rules with a scripted switch.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/files.h"
#include "common/virtualloop.h"
#include "locallyra/session.h"
#include "sim/localupgrade.h"
#include "sim/simlink.h"
#include "testutil.h"
#include "upgrade/recordinghost.h"

using namespace tpx;
using namespace tpx::local;

namespace {

using Host = RecordingUpgradeHost;

struct SessionFixture : ::testing::Test {
    // A switch on a 115200-baud line; the image pair made for it.
    void startSwitch(sim::UpgradeConfig cfg) {
        cfg.baud = 115200;
        line = std::make_unique<sim::SimLine>(loop, 115200);
        sw = std::make_unique<sim::LocalUpgradeSim>(loop, cfg, [this](ByteView b) { line->toProgram(b); });
        line->attach([this](ByteView b) {
            toSwitch.insert(toSwitch.end(), b.begin(), b.end());
            sw->receive(b);
        });
        opener = std::make_unique<sim::SimOpener>(*line);
        sim::LocalUpgradeSim::makeImages(cfg.system, cfg.seed, images[0], images[1]);
        writeText(dir.path() / "first.bin", toString(images[0]));
        writeText(dir.path() / "second.bin", toString(images[1]));
        inputs.system = cfg.system;
    }
    // A switch played by `script`, which gets every block the PC writes.
    void scriptedSwitch(std::function<void(ByteView)> script) {
        line = std::make_unique<sim::SimLine>(loop, 0);
        line->attach(std::move(script));
        opener = std::make_unique<sim::SimOpener>(*line);
        sim::LocalUpgradeSim::makeImages(0, 1, images[0], images[1]);
        writeText(dir.path() / "first.bin", toString(images[0]));
        writeText(dir.path() / "second.bin", toString(images[1]));
    }
    int run() {
        inputs.first = dir.path() / "first.bin";
        inputs.second = dir.path() / "second.bin";
        inputs.traceFolder = dir.path();
        Session s(loop, *opener, host, trace, inputs);
        const int r = s.run();
        restarts = s.restarts();
        trace.close();
        return r;
    }
    std::string traceText(const char* ext) {
        return readText(dir.path() / "Trace" / (std::string("Local080000") + ext));
    }

    TempDir dir;
    VirtualLoop loop{1'800'000'000, {8, 0, 0}};
    Host host;
    upgrade::SessionTrace trace;
    SessionInputs inputs;
    std::unique_ptr<sim::SimLine> line;
    std::unique_ptr<sim::LocalUpgradeSim> sw;
    std::unique_ptr<sim::SimOpener> opener;
    Bytes images[2];
    Bytes toSwitch;
    int restarts = 0;
};

TEST_F(SessionFixture, Tpx12UpgradeLeavesTheSwitchHoldingTheImages) {
    startSwitch({});
    inputs.traceLevel = 1;
    const std::int64_t t0 = loop.monotonicMs();
    ASSERT_EQ(run(), 0);
    EXPECT_TRUE(sw->upgraded());
    EXPECT_EQ(sw->rom(0), images[0]);
    EXPECT_EQ(sw->rom(1), images[1]);
    EXPECT_EQ(sw->blocksStored(), 1984 + 1848);
    EXPECT_EQ(host.version, "TPX-12 V2.5");
    EXPECT_EQ(host.lastFile, 1);
    EXPECT_EQ(host.lastBytes, 0x73800u);
    EXPECT_EQ(host.lastErrors, 0);
    for (const char* l : {"\r\n  Now, starting upgrade ...", "   -- Initialization completed .. ", "   -- COM port   : COM1",
                          "   -- Parity check : None", "   -- Negotiation succeeded .. ", "........",
                          "\r\n   -- Transmission is completed ..", "   -- Checksum Okay .. "})
        EXPECT_TRUE(host.saw(l)) << l;
    for (const char* w : {"PORT_OPENING", "NEGOTIATING", "WAITING_REPLY", "CHECKSUM_REQ", "VERSION_REQ", "TRANSMITTING"})
        EXPECT_TRUE(host.sawStatus(w)) << w;
    EXPECT_FALSE(host.sawStatus("RETRYING"));

    // The line time: every byte both ways at 115200 baud, plus the 15 s before VERSION_REQ.
    // The simulated line moves in whole milliseconds (up to 2 ms of rounding a block); the
    // session adds no time of its own.
    const double lineSeconds = (3832.0 * (268 + 9) + 4 * (8 + 6) + 16 + 7 + 18 + 1) * 10 / 115200;
    const double took = (loop.monotonicMs() - t0) / 1000.0;
    EXPECT_LT(took, lineSeconds + 15 + 3832 * 0.002 + 0.5) << took << " s against " << lineSeconds;

    const std::string prt = traceText(".prt");
    EXPECT_NE(prt.find("\nChecksum ID: 10  Checksum : "), std::string::npos);
    EXPECT_NE(prt.find("---------- Program Status : VersionCheck ----------"), std::string::npos);
    EXPECT_NE(prt.find("\n --- Packet 3831 ---"), std::string::npos);  // verbose: packet banners
    EXPECT_NE(prt.find("\n Local S/W Upgrade succeeded \n"), std::string::npos);
    EXPECT_NE(prt.find("\n Total upgrade time is "), std::string::npos);
    EXPECT_EQ(prt.find("Program Status : Beginning"), std::string::npos);  // written before the file opened
    // Frame files: the first file's answers, then the second's.
    EXPECT_NE(traceText(".001").find("\n DATA_ACK      : 02 13 16 04 00 00 07 bf 03 \n"), std::string::npos);
    EXPECT_NE(traceText(".002").find("\n DATA_ACK      : 02 13 16 04 00 00 0e f7 03 \n"), std::string::npos);
}

TEST_F(SessionFixture, Tpx24wUpgradeWithRestartFirst) {
    sim::UpgradeConfig cfg;
    cfg.system = 1;
    cfg.seed = 7;
    cfg.version = "TPX-24W V31";
    startSwitch(cfg);
    inputs.testMethod = kTestRestartFirst;
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(sw->rom(0), images[0]);
    EXPECT_EQ(sw->rom(1), images[1]);
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(sw->checksumsRefused(), 1);
    EXPECT_EQ(sw->blocksStored(), 2 * 3328 + 4096);  // the first file twice
    EXPECT_TRUE(host.saw("   -- Checksum is not Okay .. "));
    EXPECT_TRUE(host.saw("   -- Restart transmission .. "));
}

TEST_F(SessionFixture, FaultsReachTheirResults) {
    struct Case {
        const char* what;
        sim::UpgradeFaults faults;
        Timing timing;
        int result;
        int minErrors;
    };
    auto faults = [](auto set) {
        sim::UpgradeFaults f;
        set(f);
        return f;
    };
    Timing quick;
    quick.data = {2, 2};
    quick.checksum = {2, 2};
    quick.version = {2, 2};
    const Case cases[] = {
        {"one NACK", faults([](auto& f) { f.nackBlock = 5; }), {}, 0, 0},
        {"one lost answer", faults([](auto& f) { f.silentBlock = 2000; }), quick, 0, 1},
        {"a stray byte", faults([](auto& f) { f.strayBlock = 9; }), quick, 0, 1},
        {"boot areas differ", faults([](auto& f) { f.bootMismatch = true; }), quick, 11, 0},
        {"no prompt", faults([](auto& f) { f.noPrompt = true; }), quick, 9, 5},
        {"no version", faults([](auto& f) { f.noVersion = true; }), quick, 16, 2},
        {"every total refused", faults([](auto& f) { f.totalNack = true; }), quick, 13, 0},
        {"a block never answered", faults([](auto& f) { f.silentBlock = 3, f.silentAlways = true; }), quick, 14, 6},
        {"NACK forever", faults([](auto& f) { f.nackBlock = 3, f.nackAlways = true; }), quick, 14, 0},
        {"line dead", faults([](auto& f) { f.dropBlock = 100; }), quick, 14, 6},
    };
    for (const Case& c : cases) {
        sim::UpgradeConfig cfg;
        cfg.faults = c.faults;
        startSwitch(cfg);
        host = Host{};
        inputs.timing = c.timing;
        EXPECT_EQ(run(), c.result) << c.what;
        EXPECT_GE(host.lastErrors, c.minErrors) << c.what;
        if (c.result == 0) {
            EXPECT_EQ(sw->rom(0), images[0]) << c.what;
            EXPECT_EQ(sw->rom(1), images[1]) << c.what;
        }
    }
    EXPECT_EQ(Session::resultMessage(14), "ERROR : Too many communication errors !");
    EXPECT_EQ(Session::resultMessage(99), "ERROR : Unknown error code !");
}

TEST_F(SessionFixture, SixRefusedChecksumsEndWith13AndSixLoginsWith9) {
    sim::UpgradeConfig cfg;
    cfg.faults.totalNack = true;
    startSwitch(cfg);
    EXPECT_EQ(run(), 13);
    EXPECT_EQ(restarts, 6);
    EXPECT_EQ(sw->restarts(), 6);
    EXPECT_EQ(traceText(".prt").find("Upgrade succeeded"), std::string::npos);

    cfg.faults = {};
    cfg.faults.noPrompt = true;
    startSwitch(cfg);
    toSwitch.clear();
    EXPECT_EQ(run(), 9);
    EXPECT_EQ(std::count(toSwitch.begin(), toSwitch.end(), 0x0D), 5);  // the sixth attempt sends nothing
}

TEST_F(SessionFixture, FileAndPortProblems) {
    startSwitch({});
    writeText(dir.path() / "first.bin", std::string(524287, 'x'));
    EXPECT_EQ(run(), 6);
    EXPECT_NE(traceText(".prt").find("First BIN file size does not match\n"), std::string::npos);
    EXPECT_EQ(traceText(".prt").find("Second BIN"), std::string::npos);

    startSwitch({});
    std::filesystem::remove(dir.path() / "second.bin");
    EXPECT_EQ(run(), 5);

    startSwitch({});
    auto held = line->open(nullptr);  // another program holds the port
    EXPECT_EQ(run(), 8);
    EXPECT_TRUE(host.saw("   -- COM port opening failed.. "));
}

// A scripted switch that acknowledges everything, with two twists in its answers.
TEST_F(SessionFixture, RecognitionRules) {
    int dataPackets = 0;
    scriptedSwitch([&](ByteView b) {
        if (b.size() == 1 && b[0] == 0x0D) {
            line->toProgram(asBytes("\r\nENTER PASSWORD: "));
        } else if (toString(b) == "kelmor\r") {
            line->toProgram(Bytes{0x06});
        } else if (b.size() == 8 && b[2] == 0x10) {
            line->toProgram(Bytes{0x02, 0x13, 0x11, 0x01, b[4], 0x03});
        } else if (b.size() == 4 && b[2] == 0x18) {
            // A ten-character version (15 bytes) is taken once a 16th byte is there.
            Bytes v{0x02, 0x13, 0x19, 10};
            for (char c : std::string("V-10-CHARS")) v.push_back(static_cast<std::uint8_t>(c));
            v.push_back(0x03);
            line->toProgram(v);
            line->toProgram(Bytes{0x00});
        } else if (b.size() == 268) {
            ++dataPackets;
            // Block 5's first answer names block 4: it is taken out without effect, the
            // wait runs out and block 5 goes again.
            const std::uint8_t named = dataPackets == 6 ? 4 : b[6];
            line->toProgram(Bytes{0x02, 0x13, 0x16, 0x04, b[3], b[4], b[5], named, 0x03});
        }
    });
    inputs.timing.data = {2, 3};
    inputs.traceLevel = 0;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(host.version, "V-10-CHARS");
    EXPECT_EQ(dataPackets, 3832 + 1);
    EXPECT_EQ(host.lastErrors, 1);
    const std::string prt = traceText(".prt");
    EXPECT_NE(prt.find("\n Elapsed time : 2\n"), std::string::npos);
    EXPECT_NE(prt.find("ERROR : Waiting time has expired\nERROR : Resend Packet\n"), std::string::npos);
    EXPECT_NE(prt.find("\n Buffer Description ....\n"), std::string::npos);
    EXPECT_NE(prt.find("\n        Buffer contents : Now empty ....\n"), std::string::npos);
    EXPECT_NE(traceText(".001").find("\n DATA_ACK      : 02 13 16 04 00 00 00 04 03 \n"), std::string::npos);
    EXPECT_NE(traceText(".001").find("\n VERSION_INF   : 02 13 19 0a 56 2d"), std::string::npos);
}

// A stray byte in front of an answer fails the frame check: the ring is emptied.
TEST_F(SessionFixture, AStrayByteClearsTheRing) {
    sim::UpgradeConfig cfg;
    cfg.faults.strayBlock = 9;
    startSwitch(cfg);
    inputs.timing.data = {2, 2};
    ASSERT_EQ(run(), 0);
    const std::string frames = traceText(".001");
    EXPECT_NE(frames.find("\n ILLEGAL_CMD   : 55 02 13 16 04 00 00 00 09 03 \n\n Clear all buffer ... \n"),
              std::string::npos);
    EXPECT_NE(traceText(".prt").find("\n Clear all buffer ... \n"), std::string::npos);
}

}  // namespace
