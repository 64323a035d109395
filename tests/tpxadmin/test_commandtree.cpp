// The Admin command against the in-process simulated switch: login, programming mode, the
// tree from the shipped command file, starting programs, the idle time-out, and the
// switch's keyset answers decoded into the display and lamps.
#include <gtest/gtest.h>

#include "common/files.h"
#include "common/virtualloop.h"
#include "shellhost.h"
#include "sim/simlink.h"
#include "testutil.h"
#include "tpxadmin/shell/adminshell.h"
#include "tpxadmin/shell/commandtree.h"

using namespace tpx;
using namespace tpx::admin;

namespace {

struct TreeFixture : ::testing::Test {
    TreeFixture() { seedHome(home.path(), TPX_SOURCE_DATA_DIR); }
    ~TreeFixture() override { host.tree.reset(); }  // the dialog goes before the shell

    void startSwitch(sim::SimConfig cfg = {}) {
        cfg.baud = 9600;
        line = std::make_unique<sim::SimLine>(loop, cfg);
        opener = std::make_unique<sim::SimOpener>(*line);
        shell = std::make_unique<AdminShell>(loop, *opener, host, home.path(), home.path() / "trace.txt");
        host.shell = shell.get();
        shell->create();
        shell->link().settings().baudRate = cfg.baud;
        ASSERT_TRUE(shell->link().openSerial());
    }
    sim::SwitchSim& sw() { return line->sim(); }
    // Key codes the switch received from `from` on.
    Bytes keysSince(std::size_t from) const {
        const Bytes& r = line->sim().received();
        return Bytes(r.begin() + static_cast<std::ptrdiff_t>(std::min(from, r.size())), r.end());
    }
    // Selects the tree item with `text` and presses OK.
    void start(const std::string& text) {
        CommandTree* tree = host.openTree();
        ASSERT_TRUE(tree);
        tree->selectionChanged(text);
        ASSERT_GE(tree->selectedRecord(), 0) << text;
        EXPECT_EQ(tree->ok(false), CommandTree::OkAction::Started);
        loop.advance(500);  // the switch's answer
    }

    TempDir home;
    VirtualLoop loop{1'800'000'000, {9, 0, 0}};
    ShellHost host;
    std::unique_ptr<sim::SimLine> line;
    std::unique_ptr<sim::SimOpener> opener;
    std::unique_ptr<AdminShell> shell;
};

TEST_F(TreeFixture, AdminOpensTheTreeEntersProgrammingAndStartsPrograms) {
    startSwitch();
    shell->adminCommand();
    CommandTree* tree = host.openTree();
    ASSERT_TRUE(tree);
    EXPECT_EQ(host.window->title, "COMMAND");
    EXPECT_TRUE(tree->connected());
    EXPECT_TRUE(shell->dialogOpen());
    EXPECT_FALSE(shell->commandEnabled(kCmdAdmin));
    EXPECT_EQ(shell->link().receiveMode(), kModeKeyset);
    EXPECT_FALSE(shell->commandTable().keysetStyle);

    // The tree is ADM56.cmd for the switch's version 4.0Aa and nation 82 (KOREA).
    const auto& nodes = host.window->nodes;
    ASSERT_GT(nodes.size(), 10u);
    EXPECT_EQ(nodes[0].text, "Command");
    EXPECT_EQ(nodes[1].text, "System");
    EXPECT_EQ(nodes[2].text, "System Time");
    EXPECT_EQ(nodes[2].parent, 1);
    EXPECT_EQ(nodes.back().text, "Caller ID Format");

    // TRANS/PGM put the switch into programming; its display reached the keyset state.
    loop.advance(500);
    EXPECT_EQ(sw().received().back(), 56);
    EXPECT_TRUE(sw().keyset().active());
    EXPECT_EQ(shell->keyset().display().line1(), "PGM MODE" + std::string(16, ' '));
    EXPECT_EQ(shell->keyset().display().line2().substr(0, 13), "ENTER PGM NUM");

    // A program: its code after a pause; the switch shows the program.
    std::size_t mark = sw().received().size();
    start("System Time");
    EXPECT_EQ(keysSince(mark), (Bytes{1, 10}));
    ASSERT_TRUE(sw().keyset().program());
    EXPECT_EQ(sw().keyset().program()->title, "SYSTEM TIME");
    EXPECT_EQ(shell->keyset().display().line1().substr(0, 11), "SYSTEM TIME");

    // A program with a flexible key: code, then the key (button 1 = 13); the field shows.
    // (TRANS/PGM first leaves the running program, as its dialog does when it closes.)
    shell->keyset().sendKey(56);
    loop.advance(500);
    mark = sw().received().size();
    start("Admin Password");
    EXPECT_EQ(keysSince(mark), (Bytes{1, 1, 13}));
    ASSERT_TRUE(sw().keyset().field());
    EXPECT_EQ(sw().keyset().field()->label, "PASSWORD");
    EXPECT_EQ(shell->keyset().display().line2(), "PASSWORD      -" + std::string(9, ' '));

    // A group, a step's text, and an unknown text start nothing.
    mark = sw().received().size();
    tree->selectionChanged("System");
    EXPECT_EQ(tree->ok(true), CommandTree::OkAction::Toggle);
    tree->doubleClicked();  // a group has no program code
    tree->selectionChanged("Year");
    tree->doubleClicked();
    tree->selectionChanged("nothing of the kind");
    EXPECT_EQ(tree->selectedRecord(), -1);
    tree->doubleClicked();
    loop.advance(1000);
    EXPECT_EQ(keysSince(mark), Bytes{});

    // Cancel: return to idle sends MON; the switch leaves administration.
    EXPECT_TRUE(tree->requestClose());
    loop.advance(1200);
    EXPECT_TRUE(host.window->destroyed);
    EXPECT_EQ(sw().received().back(), 51);
    EXPECT_FALSE(sw().keyset().active());
    EXPECT_FALSE(shell->dialogOpen());
    EXPECT_EQ(shell->link().receiveMode(), kModeTerminal);
    EXPECT_EQ(host.status, "Ready");
    EXPECT_EQ(shell->keyset().programmingDialog(), nullptr);
}

TEST_F(TreeFixture, WithoutLoginTheTreeWorksWithoutTheSwitch) {
    sim::SimConfig cfg;
    cfg.ack = sim::AckMode::Refuse;
    startSwitch(cfg);
    shell->adminCommand();
    ASSERT_TRUE(host.openTree());
    EXPECT_EQ(host.window->title, "COMMAND (Not Connect)");
    EXPECT_EQ(shell->link().receiveMode(), kModeTerminal);
    loop.advance(1000);
    EXPECT_EQ(sw().received().back(), 51);  // MON, not TRANS/PGM
    EXPECT_FALSE(sw().keyset().active());
    // The table still loads (for the start values: model 2, unknown version and nation):
    // only the lines without version bounds.
    EXPECT_GT(host.window->nodes.size(), 1u);
}

TEST_F(TreeFixture, IdleTimeoutShowsMessage24AndCloses) {
    startSwitch();
    shell->adminCommand();
    CommandTree* tree = host.openTree();
    ASSERT_TRUE(tree);
    // Starting a program restarts the ten minutes.
    loop.advance(500'000);
    start("Attendant");
    loop.advance(500'000);
    EXPECT_TRUE(host.openTree());
    loop.advance(110'000);
    EXPECT_FALSE(host.openTree());
    ASSERT_FALSE(host.texts.empty());
    EXPECT_EQ(host.texts.back(), shell->messages().text[24]);
    EXPECT_EQ(sw().received().back(), 51);
    EXPECT_FALSE(shell->dialogOpen());
}

TEST_F(TreeFixture, BusyRefusesOkAndClosing) {
    startSwitch();
    shell->adminCommand();
    CommandTree* tree = host.openTree();
    ASSERT_TRUE(tree);
    loop.advance(500);
    tree->setBusy(true);
    tree->selectionChanged("System Time");
    const std::size_t mark = sw().received().size();
    EXPECT_EQ(tree->ok(false), CommandTree::OkAction::None);
    tree->doubleClicked();
    EXPECT_FALSE(tree->requestClose());
    loop.advance(1000);
    EXPECT_EQ(keysSince(mark), Bytes{});
    tree->setBusy(false);
    EXPECT_TRUE(tree->requestClose());
}

TEST_F(TreeFixture, LyraMenusNamesLampsAndSaving) {
    sim::SimConfig cfg;
    cfg.model = 4;
    startSwitch(cfg);
    shell->adminCommand();
    ASSERT_TRUE(host.openTree());
    EXPECT_TRUE(shell->commandTable().keysetStyle);
    loop.advance(500);
    KeysetEmulation& k = shell->keyset();
    const KeysetDisplay& d = k.display();
    EXPECT_EQ(d.line1().substr(0, 8), "PGM MODE");

    // SYSTEM, DAY/NIGHT MODE: the saved radio button's lamp comes on; another moves it.
    k.sendFlexKey(1);
    k.sendFlexKey(3);
    loop.advance(500);
    EXPECT_EQ(d.line1().substr(0, 14), "DAY/NIGHT MODE");
    EXPECT_EQ(d.lamp(0), 1);
    k.sendFlexKey(2);
    loop.advance(500);
    EXPECT_EQ(d.lamp(0), 0);
    EXPECT_EQ(d.lamp(1), 1);
    EXPECT_EQ(d.line2(), "NIGHT         ON" + std::string(8, ' '));

    // Back up two levels, then STATION, STATION NAME: a range, then a name by key pairs.
    k.sendKey(43);
    k.sendKey(43);
    k.sendKey(43);
    k.sendFlexKey(2);
    k.sendFlexKey(1);
    k.sendDigits("005012");
    loop.advance(500);
    EXPECT_EQ(d.line2().substr(0, 7), "005-012");
    k.sendFlexKey(1);
    k.sendName("Ann 1");
    loop.advance(500);
    EXPECT_EQ(d.line2(), "NAME          ANN 1" + std::string(5, ' '));
    k.sendHold();
    loop.advance(500);
    EXPECT_EQ(sw().keyset().saves(), 2);  // HOLD goes twice
    EXPECT_EQ(sw().keyset().program()->fields[0].value, "ANN 1");
    EXPECT_EQ(d.line2().substr(0, 7), "SAVE OK");

    // An unknown flexible key: the error tone.
    struct Tones : KeysetListener {
        void errorTone() override { ++count; }
        int count = 0;
    } tones;
    k.setProgrammingDialog(&tones);
    k.sendKey(43);
    k.sendKey(43);
    k.sendFlexKey(9);
    loop.advance(500);
    EXPECT_EQ(tones.count, 1);
    k.setProgrammingDialog(nullptr);
}

}  // namespace
