// Keyset emulation: the codes sent for names and key texts, the decoding of the switch's
// display, lamp and tone stream, and the pacing of the key-sending operations.
#include <gtest/gtest.h>

#include "common/virtualloop.h"
#include "recorder.h"
#include "shellhost.h"
#include "testutil.h"
#include "tpxadmin/programming/keyset.h"
#include "tpxadmin/shell/adminshell.h"

using namespace tpx;
using namespace tpx::admin;

namespace {

TEST(KeysetCodes, NamesFollowTheLetterTableAndTheModel) {
    struct Case {
        std::string name;
        int model;
        Bytes codes;
    } cases[] = {
        {"AB 1", 2, {2, 1, 2, 2, 11, 1, 1, 10}},
        {"qz.", 2, {1, 1, 1, 2, 1, 3}},
        {"s:,0", 2, {7, 3, 11, 2, 11, 3, 10, 10}},
        {"(", 17, {12, 1}},
        {"()-", 21, {12, 1, 12, 2, 12, 3}},
        {"(-)", 2, {}},   // brackets and hyphen exist only for codes 17 to 21
        {"@Q!", 5, {1, 1}},  // characters without codes send nothing
    };
    for (const Case& c : cases) EXPECT_EQ(nameCodes(c.name, c.model), c.codes) << c.name << " model " << c.model;
}

TEST(KeysetCodes, KeyTextTranslatesNamesFlexKeysAndCharacters) {
    struct Case {
        std::string text;
        Bytes codes;
    } cases[] = {
        {"\\HLD", {41, 41}},
        {"\\hld", {41, 41}},
        {"\\F05", {17}},
        {"\\f24", {36}},
        {"\\F49", {}},
        {"\\F5", {14}},         // the missing last character counts as code 0: 10*5 + (0-48) = 2
        {"\\nA", {2, 1}},
        {"12\\PGM", {1, 2, 56}},
        {"\\RDL\\SPD\\CNF\\CBK\\MUT\\DND\\FLS\\MON\\VDN\\VUP", {43, 48, 42, 53, 52, 49, 45, 51, 53, 42}},
        {"\\PG", {4, 1}},       // two characters left: no name matches; "\\P" passes, then "G"
        {"\\ZQ1", {1, 1, 1}},   // no name, no F or N: "\\Z" passes, then "Q" and "1"
        {"a\\", {2, 1}},        // a backslash at the end has no code
        {"~*#", {11, 3, 11, 12}},
    };
    for (const Case& c : cases) EXPECT_EQ(keyTextCodes(c.text, 2), c.codes) << c.text;
}

// Records what the decoder announces, in order.
struct Notes : KeysetListener {
    void displayUpdated() override { log.push_back("display"); }
    void textReceived(std::string_view t) override { log.push_back("text " + std::string(t)); }
    void errorTone() override { log.push_back("error"); }
    void lampChanged(int i, int s) override { log.push_back("lamp " + std::to_string(i) + "=" + std::to_string(s)); }
    void allLampsOff() override { log.push_back("lamps off"); }
    void beep(Beep b) override { log.push_back(b == Beep::Default ? "beep" : "warning"); }
    std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST(KeysetDisplayTest, DecodesDisplayLampAndToneBlocks) {
    const std::vector<std::string> phrases = {"PGM", "STA"};
    struct Case {
        const char* what;
        Bytes block;
        std::string line1, line2;
        Log notes;
    } cases[] = {
        {"line 1", {0xF0, 0xCD, 'H', 'E', 'L', 'L', 'O', 0xF1}, "HELLO" + std::string(19, ' '), std::string(24, ' '),
         {"display"}},
        {"position", {0xF0, 0xD1, 0x19, 'X', 0xF1}, std::string(24, ' '), "X" + std::string(23, ' '), {"display"}},
        {"phrases and blanks", {0xF0, 0xCD, 0x88, 0x82, 0x89, 0xCF, 'A', 0x80, 'B', 0xF1},
         "PGM    STA" + std::string(14, ' '), "A  B" + std::string(20, ' '), {"display"}},
        {"phrase beyond the table", {0xF0, 0xCD, 0x8A, 'Z', 0xF1}, "Z" + std::string(23, ' '), std::string(24, ' '),
         {"display"}},
        {"lamp", {0xF5, 0x03, 0x01}, std::string(24, ' '), std::string(24, ' '), {"lamp 1=1"}},
        {"text beep text", {'a', 'b', 'c', 0xF2, 'd', 'e'}, std::string(24, ' '), std::string(24, ' '),
         {"text abc", "beep", "text de"}},
        {"error tone and all lamps off", {0xF3, 0xF4, 0xF1, 0x90}, std::string(24, ' '), std::string(24, ' '),
         {"error", "warning", "lamps off"}},
        {"lamp numbers out of range", {0xF5, 0x1A, 0x01, 0xF5, 0x00, 0x01}, std::string(24, ' '),
         std::string(24, ' '), {}},
    };
    for (const Case& c : cases) {
        KeysetDisplay d;
        Notes n;
        d.receive(c.block, phrases, n);
        EXPECT_EQ(d.line1(), c.line1) << c.what;
        EXPECT_EQ(d.line2(), c.line2) << c.what;
        EXPECT_EQ(n.log, c.notes) << c.what;
        EXPECT_EQ(d.state(), 2) << c.what;
    }
}

TEST(KeysetDisplayTest, StateCarriesAcrossBlocksAndLampsHoldTheirState) {
    KeysetDisplay d;
    Notes n;
    const std::vector<std::string> phrases;
    d.receive(Bytes{0xF0, 0xCD, 'A'}, phrases, n);
    EXPECT_EQ(d.state(), 3);
    d.receive(Bytes{'B', 0xF1, 0xF5}, phrases, n);
    d.receive(Bytes{0x04}, phrases, n);
    d.receive(Bytes{0x07}, phrases, n);
    EXPECT_EQ(d.line1().substr(0, 2), "AB");
    EXPECT_EQ(d.lamp(2), 1);
    EXPECT_EQ(n.log, (Log{"display", "lamp 2=1"}));
    d.receive(Bytes{0xF4}, phrases, n);
    EXPECT_EQ(d.lamp(2), 0);
    // The line breaks stay where they are whatever is written over them.
    d.receive(Bytes{0xF0, 0xD1, 0x18, 'x', 'y', 'z', 0xF1}, phrases, n);
    EXPECT_EQ(d.text().substr(23, 4), "x\r\n ");
}

TEST(KeysetDisplayTest, WritesOutsideTheBufferAreDropped) {
    // Cursor positions from 0 (before the buffer) to 0xFF (far past it), long phrases and
    // blank runs at the end of the buffer: nothing outside positions 0 to 99 is written.
    const std::vector<std::string> phrases = {std::string(150, 'P')};
    KeysetDisplay d;
    Notes n;
    Bytes block{0xF0};
    for (int pos : {0x00, 0x32, 0x60, 0x63, 0x64, 0xFF}) {
        block.insert(block.end(), {0xD1, static_cast<std::uint8_t>(pos), 'q', 0x88, 0x87, 'r'});
    }
    block.push_back(0xF1);
    d.receive(block, phrases, n);
    EXPECT_EQ(n.log, (Log{"display"}));
    // The phrase from position 0 filled the buffer to its end; the breaks were put back.
    EXPECT_EQ(d.line1(), std::string(24, 'P'));
    EXPECT_EQ(d.line2(), std::string(24, 'P'));
    EXPECT_EQ(d.text().substr(24, 2), "\r\n");
}

// The key-sending operations on a recorded serial link: codes and the 500 ms pauses.
struct SendFixture : ::testing::Test {
    SendFixture() {
        shell = std::make_unique<AdminShell>(loop, opener, host, home.path(), home.path() / "trace.txt");
        shell->create();
    }
    // The bytes written and when, relative to `from`.
    std::vector<std::pair<std::int64_t, std::string>> writes(std::int64_t from) const {
        std::vector<std::pair<std::int64_t, std::string>> out;
        for (const DeviceEvent& e : opener.log)
            if (e.what.rfind("write ", 0) == 0) out.emplace_back(e.atMs - from, e.what.substr(6));
        return out;
    }
    TempDir home;
    VirtualLoop loop{1'800'000'000, {10, 0, 0}};
    ShellHost host;
    RecordingOpener opener{loop};
    std::unique_ptr<AdminShell> shell;
};

TEST_F(SendFixture, KeysArePacedExceptMonitorDigitsAndNames) {
    KeysetEmulation& k = shell->keyset();
    k.sendKey(56);  // link down: nothing
    EXPECT_TRUE(writes(0).empty());

    ASSERT_TRUE(shell->link().openSerial());
    const std::int64_t t0 = loop.monotonicMs();
    k.sendKey(56);
    k.sendKey(51);
    k.sendFlexKey(5);
    k.sendProgramCode("1#");
    k.sendProgramCode("1x");  // not two keypad characters: nothing
    k.sendTwoDigits(5);
    k.sendTwoDigits(100);     // nothing
    k.sendHold();
    k.sendDigits("0*x");
    k.sendName("Ab");
    k.sendKeyText("\\HLD7");
    using W = std::vector<std::pair<std::int64_t, std::string>>;
    EXPECT_EQ(writes(t0), (W{{500, "38 "},
                             {500, "33 "},
                             {1500, "11 "},
                             {2000, "01 0c "},
                             {2500, "0a 05 "},
                             {3000, "29 29 "},
                             {3000, "0a 0b 78 "},
                             {3000, "02 01 02 02 "},
                             {3000, "29 29 07 "}}));
}

TEST_F(SendFixture, DisplayUpdatesArePostedToTheProgrammingDialogOthersGoAtOnce) {
    KeysetEmulation& k = shell->keyset();
    Notes first, second;
    k.setProgrammingDialog(&first);
    k.receive(Bytes{0xF0, 0xCD, 'A', 0xF1, 'h', 'i', 0xF5, 0x02, 0x01});
    EXPECT_EQ(first.log, (Log{"text hi", "lamp 0=1"}));  // the display note is still on its way
    // The posted note reaches whichever dialog is the programming dialog when it arrives.
    k.setProgrammingDialog(&second);
    loop.advance(0);
    EXPECT_EQ(second.log, (Log{"display"}));
    EXPECT_EQ(first.log.size(), 2u);
    // With no programming dialog the notes go nowhere; the state still follows.
    k.setProgrammingDialog(nullptr);
    k.receive(Bytes{0xF3, 0xF0, 0xCD, 'B', 0xF1});
    loop.advance(0);
    EXPECT_EQ(k.display().line1()[0], 'B');
    EXPECT_EQ(host.beeps, 1);  // the warning beep of the error tone still sounds
}

}  // namespace
