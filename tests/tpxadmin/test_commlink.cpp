// CCommLink on virtual time with a recording device: the exact bytes, their pauses and the
// transcript lines.
#include <gtest/gtest.h>

#include "common/files.h"
#include "common/virtualloop.h"
#include "recorder.h"
#include "testutil.h"
#include "tpxadmin/link/commlink.h"

using namespace tpx;
using namespace tpx::admin;

namespace {

struct Host : CommLinkHost {
    void showFileError(const SysStatus& e) override { fileErrors.push_back(e.message()); }
    void appendLinkNote(const std::string& t) override { notes.push_back(t); }
    std::vector<std::string> fileErrors, notes;
};

struct LinkFixture : ::testing::Test {
    LinkFixture() : loop(1'800'000'000, {9, 5, 7}), opener(loop), transcript(loop) {
        transcript.open(dir.path() / "trace.txt");
        link = std::make_unique<CCommLink>(loop, opener, host, transcript, dir.path());
    }
    std::string trace() { return readText(dir.path() / "trace.txt"); }

    TempDir dir;
    VirtualLoop loop;
    RecordingOpener opener;
    Host host;
    Transcript transcript;
    std::unique_ptr<CCommLink> link;
};

}  // namespace

TEST_F(LinkFixture, DirectOpenAppliesTheSettingsAndWritesTheTranscript) {
    link->settings().baudRate = 2400;
    link->settings().parity = 1;
    link->settings().dataBits = 7;
    link->settings().stopBits = 2;
    link->settings().portIndex = 2;
    ASSERT_TRUE(link->openSerial());
    EXPECT_TRUE(link->linkUp());
    EXPECT_EQ(opener.opened, std::vector<int>{2});
    const SerialParams& p = opener.last->params;
    EXPECT_EQ(p.baud, 2400);
    EXPECT_EQ(p.parity, Parity::Odd);
    EXPECT_EQ(p.dataBits, 7);
    EXPECT_EQ(p.stopBits, StopBits::Two);
    EXPECT_FALSE(p.rtsCts);
    std::vector<std::string> events;
    for (const auto& e : opener.log) events.push_back(e.what);
    EXPECT_EQ(events, (std::vector<std::string>{"purge", "configure", "rts 1", "read", "dtr 1"}));

    ASSERT_TRUE(link->sendBlock(asBytes("A\r")));
    opener.last->sink(asBytes("OK"));
    ASSERT_TRUE(link->closeSerial());
    EXPECT_FALSE(link->linkUp());
    EXPECT_EQ(trace(),
              "09:05:07 (L) : Connection Success.\n"
              "09:05:07 (L) <- 41 0d \n"
              "09:05:07 (L) -> 4f 4b \n"
              "09:05:07 (L) : Connection closed.\n");
}

TEST_F(LinkFixture, ModemOpenAndCloseSendTheModemStringsWithTheirPauses) {
    link->settings().linkType = kModem;
    link->settings().flowControl = 1;
    ASSERT_TRUE(link->openSerial());
    EXPECT_TRUE(opener.last->params.rtsCts);
    EXPECT_EQ(opener.writes(), (std::vector<std::string>{"41 54 5a 0d ", "0d "}));  // init, lone CR

    const std::int64_t t0 = loop.monotonicMs();
    opener.log.clear();
    ASSERT_TRUE(link->closeSerial());
    ASSERT_EQ(opener.log.size(), 7u);
    auto at = [&](std::size_t i) { return opener.log[i].atMs - t0; };
    EXPECT_EQ(opener.log[0].what, "write 2b 2b 2b ");
    EXPECT_EQ(at(0), 0);
    EXPECT_EQ(opener.log[1].what, "write 61 74 68 30 ");
    EXPECT_GE(at(1), 1000);  // about 2 s: wait(20), cut short once two calendar seconds pass
    EXPECT_LE(at(1), 2000);
    EXPECT_EQ(opener.log[2].what, "write 0d ");
    EXPECT_EQ(at(2), at(1));
    EXPECT_EQ(opener.log[3].what, "stop");
    EXPECT_GE(at(3) - at(2), 900);  // wait(10) before the port closes
    EXPECT_LE(at(3) - at(2), 1050);
    std::vector<std::string> tail;
    for (std::size_t i = 3; i < opener.log.size(); ++i) tail.push_back(opener.log[i].what);
    EXPECT_EQ(tail, (std::vector<std::string>{"stop", "dtr 0", "purge", "close"}));
}

TEST_F(LinkFixture, EmptyInitCommandSendsNothingAtOpen) {
    link->settings().linkType = kModem;
    link->settings().initCommand.clear();
    ASSERT_TRUE(link->openSerial());
    EXPECT_TRUE(opener.writes().empty());
}

TEST_F(LinkFixture, OpenFailuresAndRefusedWrites) {
    opener.missing = true;
    EXPECT_FALSE(link->openSerial());
    EXPECT_EQ(trace(), "");  // nothing was opened: no line

    opener.missing = false;
    opener.refuseParams = true;
    EXPECT_FALSE(link->openSerial());
    EXPECT_EQ(opener.log.back().what, "close");  // the device was closed (and released)
    EXPECT_FALSE(link->linkUp());
    EXPECT_EQ(trace(), "09:05:07 (L) : Connection Failed.\n");

    LinkSettings bad;
    bad.parity = 7;  // a value the driver does not know
    link->settings() = bad;
    opener.refuseParams = false;
    EXPECT_FALSE(link->openSerial());

    link->settings() = LinkSettings{};
    opener.failWrites = true;
    ASSERT_TRUE(link->openSerial());
    EXPECT_FALSE(link->sendByte(0x33));
    EXPECT_EQ(trace().find("<-"), std::string::npos);  // a refused write leaves no line
    link->closeSerial();
    EXPECT_FALSE(link->sendByte(0x33));  // closed
}

TEST_F(LinkFixture, ChunksGoToTheConsumerOfTheReceiveMode) {
    std::vector<std::string> got;
    auto consumer = [&](const char* who) {
        return [&got, who](ByteView c) { got.push_back(std::string(who) + ":" + toString(c)); };
    };
    link->setConsumer(kModeTerminal, consumer("terminal"));
    link->setConsumer(kModeIdentify, consumer("identify"));
    link->setConsumer(kModeLogin, consumer("login"));
    ASSERT_TRUE(link->openSerial());
    struct Case {
        int mode;
        const char* expect;  // nullptr: dropped
    } cases[] = {{0, "terminal:x"}, {1, "identify:x"}, {6, "login:x"},
                 {3, nullptr},      {4, nullptr},      {9, "terminal:x"}, {-1, "terminal:x"}};
    for (const auto& c : cases) {
        got.clear();
        link->setReceiveMode(c.mode);
        opener.last->sink(asBytes("x"));
        if (c.expect) EXPECT_EQ(got, std::vector<std::string>{c.expect}) << "mode " << c.mode;
        else EXPECT_TRUE(got.empty()) << "mode " << c.mode;
    }
    link->setConsumer(kModeTransfer, consumer("transfer"));
    link->setReceiveMode(kModeTransfer);
    got.clear();
    opener.last->sink(asBytes("x"));
    EXPECT_EQ(got, std::vector<std::string>{"transfer:x"});

    opener.last->lost(5);
    EXPECT_EQ(host.notes, std::vector<std::string>{"<CE-5>"});
}

TEST_F(LinkFixture, SettingsFileIsWrittenAndReadUnderTheHome) {
    EXPECT_FALSE(link->loadSettings());
    link->settings().baudRate = 1200;
    link->settings().initCommand = "ATQ0";
    link->saveSettings();
    EXPECT_EQ(readText(dir.path() / "DATA" / "cfgcomm.DAT"), "1200 0 8 1 0 1 0\r\nATQ0\r\n+++\r\nath0");
    EXPECT_EQ(link->initCommands().back(), "ATQ0");

    CCommLink other(loop, opener, host, transcript, dir.path());
    ASSERT_TRUE(other.loadSettings());
    EXPECT_EQ(other.settings().baudRate, 1200);
    EXPECT_EQ(other.settings().initCommand, "ATQ0");

    // A settings file that cannot be created: the file-error box, the settings stay.
    TempDir broken;
    writeText(broken.path() / "DATA", "a file where the folder should be");
    CCommLink third(loop, opener, host, transcript, broken.path());
    third.settings().baudRate = 300;
    third.saveSettings();
    ASSERT_EQ(host.fileErrors.size(), 1u);
    EXPECT_NE(host.fileErrors[0].find("cfgcomm.DAT"), std::string::npos);
    EXPECT_EQ(third.settings().baudRate, 300);
}

TEST(WaitTenths, PacesOnTimer5126AndStopsAtTwoCalendarSeconds) {
    VirtualLoop loop(1000);
    int delivered = 0;
    loop.postAfter(120, [&] { ++delivered; });  // link data keeps arriving meanwhile
    waitTenths(loop, 5);
    EXPECT_EQ(loop.monotonicMs(), 500);
    EXPECT_EQ(delivered, 1);
    EXPECT_FALSE(loop.timerActive(kTimerWait));

    VirtualLoop late(1000);
    late.advance(700);  // 0.3 s before the next calendar second
    waitTenths(late, 50);
    EXPECT_EQ(late.monotonicMs(), 2000);  // two calendar seconds later, not 5 s
}

TEST_F(LinkFixture, TheIsdnLinkDialsSendsReceivesAndCloses) {
    link->settings().linkType = kIsdn;
    opener.dialCode = -8;
    EXPECT_FALSE(link->dialIsdn("0123"));
    EXPECT_FALSE(link->linkUp());
    EXPECT_EQ(trace(), "09:05:07 (R) : Connection Failed. (-8)\n");

    opener.dialCode = 0;
    ASSERT_TRUE(link->dialIsdn("0123"));
    EXPECT_EQ(opener.dialled, (std::vector<std::string>{"0123", "0123"}));
    EXPECT_TRUE(link->isdnRunning());
    EXPECT_TRUE(link->linkUp());
    EXPECT_TRUE(link->sendBlock(Bytes{0xF9, 0x0A, 0x06}));
    EXPECT_TRUE(link->sendByte(0x33));
    std::vector<std::string> got;
    link->setConsumer(kModeTerminal, [&](ByteView c) { got.push_back(toString(c)); });
    opener.last->sink(asBytes("OK"));
    EXPECT_EQ(got, std::vector<std::string>{"OK"});
    opener.last->lost(-11);

    opener.last->closeResult = 5;  // isdnlink refuses: the link stays up
    EXPECT_FALSE(link->closeIsdn());
    EXPECT_TRUE(link->linkUp());
    opener.last->closeResult = 0;
    EXPECT_TRUE(link->closeIsdn());
    EXPECT_FALSE(link->linkUp());
    EXPECT_FALSE(link->sendByte(0x33));
    EXPECT_EQ(trace(),
              "09:05:07 (R) : Connection Failed. (-8)\n"
              "09:05:07 (R) : Connection Success.\n"
              "09:05:07 (R) <- f9 0a 06 \n"
              "09:05:07 (R) <- 33\n"
              "09:05:07 (R) -> 4f 4b \n"
              "09:05:07 (R) : Read Error(-11)\n");
}
