// The main frame's work without its window, against the in-process simulated switch on
// virtual time.
#include <gtest/gtest.h>

#include "common/files.h"
#include "common/virtualloop.h"
#include "recorder.h"
#include "sim/simlink.h"
#include "testutil.h"
#include "shellhost.h"
#include "tpxadmin/shell/adminshell.h"

using namespace tpx;
using namespace tpx::admin;

namespace {

struct ShellFixture : ::testing::Test {
    ShellFixture() {
        seedHome(home.path(), TPX_SOURCE_DATA_DIR);
    }
    void useSettings(const std::string& text) { writeText(home.path() / "DATA" / "cfgcomm.DAT", text); }
    AdminShell& makeShell(DeviceOpener& opener) {
        shell = std::make_unique<AdminShell>(loop, opener, host, home.path(), home.path() / "trace.txt");
        shell->create();
        return *shell;
    }

    // An in-process switch; it outlives the shell that holds a line to it.
    sim::SimOpener& simSwitch() {
        line = std::make_unique<sim::SimLine>(loop, sim::SimConfig{});
        simOpener = std::make_unique<sim::SimOpener>(*line);
        return *simOpener;
    }

    // A recording device opener; it too outlives the shell.
    RecordingOpener& recording() {
        recorder = std::make_unique<RecordingOpener>(loop);
        return *recorder;
    }

    TempDir home;
    VirtualLoop loop{1'800'000'000, {10, 0, 0}};
    ShellHost host;
    std::unique_ptr<RecordingOpener> recorder;
    std::unique_ptr<sim::SimLine> line;
    std::unique_ptr<sim::SimOpener> simOpener;
    std::unique_ptr<AdminShell> shell;
};

}  // namespace

TEST_F(ShellFixture, StartsOnADirectLinkAndShowsTheConsole) {
    useSettings("9600 0 8 1 0 1 0\r\nATZ\r\n+++\r\nath0");
    sim::SimOpener& opener = simSwitch();
    AdminShell& s = makeShell(opener);
    EXPECT_EQ(s.messages().count, 300u);
    EXPECT_EQ(s.phrases().phrases.size(), 60u);
    s.firstActivation();
    ASSERT_TRUE(s.link().serialOpen());
    EXPECT_EQ(opener.lastPortIndex, 0);
    loop.advance(200);
    // MON (51, which the console echoes as "3") and CR went out; the console woke.
    EXPECT_EQ(line->sim().received(), (Bytes{51, 0x0D}));
    EXPECT_EQ(s.terminal().text(), "3\r\nTPX560 ADMIN PASSWORD: ");

    // Typed keys go out one by one; the refusal (0xF3) is not shown, the echo is.
    for (char c : std::string("ab\rxy")) s.typedCharacter(static_cast<unsigned char>(c));
    s.typedCharacter(0x7F);  // above 0x7E: not sent
    loop.advance(200);
    EXPECT_EQ(line->sim().received(), (Bytes{51, 0x0D, 'a', 'b', 0x0D, 'x', 'y'}));
    EXPECT_EQ(s.terminal().text(), "3\r\nTPX560 ADMIN PASSWORD: xy");

    s.setDialogOpen(true);  // keys typed while a working dialog is open are not sent
    s.typedCharacter('z');
    loop.advance(100);
    EXPECT_EQ(line->sim().received().back(), 'y');
}

TEST_F(ShellFixture, NoPortAtStartForIsdnOrWithoutSettings) {
    RecordingOpener& opener = recording();
    makeShell(opener).firstActivation();  // no settings file: defaults, no port
    EXPECT_TRUE(opener.opened.empty());

    useSettings("9600 0 8 1 0 1 2\r\nATZ\r\n+++\r\nath0");
    makeShell(opener).firstActivation();
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_FALSE(shell->commandEnabled(kCmdPort));
    EXPECT_TRUE(shell->commandEnabled(kCmdFlashUpload));
}

TEST_F(ShellFixture, LeavingSendsMonElevenTimesThenCloses) {
    useSettings("9600 0 8 1 0 1 0\r\nATZ\r\n+++\r\nath0");
    RecordingOpener& opener = recording();
    AdminShell& s = makeShell(opener);
    s.firstActivation();
    opener.log.clear();
    s.link().setReceiveMode(kModeKeyset);
    const std::int64_t t0 = loop.monotonicMs();
    s.shutDown();
    EXPECT_EQ(s.link().receiveMode(), kModeTerminal);
    ASSERT_EQ(opener.log.size(), 11u + 4u);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(opener.log[i].what, "write 33 ");
    EXPECT_EQ(opener.log[0].atMs - t0, 1000);  // after wait(10)
    EXPECT_EQ(opener.log.back().what, "close");
    EXPECT_FALSE(s.link().linkUp());
    std::string trace = readText(home.path() / "trace.txt");
    EXPECT_NE(trace.find("10:00:01 (L) : Connection closed.\n"), std::string::npos);
}

TEST_F(ShellFixture, PortOpenFailureShowsMessage22) {
    RecordingOpener& opener = recording();
    opener.missing = true;
    AdminShell& s = makeShell(opener);
    s.portOpenClose();
    ASSERT_EQ(host.texts.size(), 1u);
    EXPECT_EQ(host.texts[0], s.messages().text[22]);
    opener.missing = false;
    s.portOpenClose();
    EXPECT_TRUE(s.link().linkUp());
    EXPECT_EQ(s.portCommandText(), "&Port Close");
    s.portOpenClose();
    EXPECT_FALSE(s.link().linkUp());
    EXPECT_EQ(host.texts.size(), 1u);
}

TEST_F(ShellFixture, FlashUploadClosesTheLinkAndStartsTheRightProgram) {
    RecordingOpener& opener = recording();
    AdminShell& s = makeShell(opener);
    s.portOpenClose();
    ASSERT_TRUE(s.link().linkUp());
    s.flashUpload();
    EXPECT_FALSE(s.link().linkUp());
    EXPECT_EQ(host.started, std::vector<std::string>{"locallyra"});

    s.link().settings().linkType = kIsdn;
    host.canStart = false;
    s.flashUpload();
    EXPECT_EQ(host.started.back(), "remotelyra");
    EXPECT_EQ(host.texts, std::vector<std::string>{"Can't Execute"});
}

TEST_F(ShellFixture, LogFileGetsTheShownTextAndTheTitleFollows) {
    AdminShell& s = makeShell(simSwitch());
    ASSERT_TRUE(s.openLog(home.path() / "session.log").ok());
    EXPECT_EQ(host.title, "TPX Admin - " + (home.path() / "session.log").string());
    EXPECT_FALSE(s.commandEnabled(kCmdOpenLog));
    s.showChunk(Bytes{0x48, 0x49, 0x07, 0x0A, 0x0D});
    EXPECT_EQ(host.beeps, 1);
    s.closeLog();
    EXPECT_EQ(host.title, "TPX Admin");
    EXPECT_EQ(readText(home.path() / "session.log"), "HI\r\n");

    EXPECT_FALSE(s.openLog(home.path() / "no-such-folder" / "x.log").ok());
    EXPECT_EQ(host.fileErrors.size(), 1u);
    EXPECT_TRUE(s.logPath().empty());
    EXPECT_TRUE(s.commandEnabled(kCmdOpenLog));
}

TEST_F(ShellFixture, OverfullPhraseFileShowsMessage19) {
    std::string many;
    for (int i = 0; i < 61; ++i) many += "P" + std::to_string(i) + "\r\n";
    writeText(home.path() / "DATA" / "CAN56.LCD", many);
    RecordingOpener& opener = recording();
    AdminShell& s = makeShell(opener);
    EXPECT_EQ(s.phrases().phrases.size(), 61u);
    ASSERT_EQ(host.texts.size(), 1u);
    EXPECT_EQ(host.texts[0], s.messages().text[19]);
}

TEST_F(ShellFixture, DialPhoneDialsIsdnOrTheModem) {
    RecordingOpener& opener = recording();
    AdminShell& s = makeShell(opener);
    s.link().settings().linkType = kIsdn;
    EXPECT_FALSE(s.commandEnabled(kCmdPort));  // ISDN without a call
    EXPECT_TRUE(s.commandEnabled(kCmdDialPhone));
    host.phoneNumber = "0123";
    s.dialPhone();
    EXPECT_EQ(opener.dialled, std::vector<std::string>{"0123"});
    EXPECT_TRUE(s.link().linkUp());
    EXPECT_TRUE(s.commandEnabled(kCmdPort));
    EXPECT_FALSE(s.commandEnabled(kCmdDialPhone));
    s.portOpenClose();  // Port Close hangs up
    EXPECT_FALSE(s.link().linkUp());

    // On a Modem link the number goes to the modem; Cancel dials nothing.
    s.link().settings().linkType = kModem;
    s.link().settings().initCommand.clear();
    s.portOpenClose();
    opener.log.clear();
    host.phoneNumber = std::nullopt;
    s.dialPhone();
    EXPECT_TRUE(opener.writes().empty());
    EXPECT_EQ(host.lastOffered, "0123");
    host.phoneNumber = "";
    s.dialPhone();
    EXPECT_EQ(opener.writes(), std::vector<std::string>{"41 54 44 54 0d "});  // "ATDT\r"
}
