#include <gtest/gtest.h>

#include "tpxadmin/link/linksettings.h"

using namespace tpx;
using namespace tpx::admin;

TEST(SettingsFile, DefaultsRoundTripAndDropTheInitCommandsCR) {
    LinkSettings defaults;
    std::string text = formatSettingsFile(defaults);
    EXPECT_EQ(text, "9600 0 8 1 0 1 0\r\nATZ\r\r\n+++\r\nath0");
    LinkSettings back;
    back.baudRate = 1;  // every field must come from the file
    ASSERT_TRUE(parseSettingsFile(text, back));
    LinkSettings expected;
    expected.initCommand = "ATZ";
    EXPECT_EQ(back, expected);
}

TEST(SettingsFile, ReadsFieldsByTheFileRules) {
    struct Case {
        const char* name;
        std::string text;
        bool read;
        int portIndex, stopBits, linkType, baud;
        std::string init, escape, hangup;
    } cases[] = {
        {"port field 5 is COM5", "2400 2 7 3 1 5 1\r\nAT &F1 &M0\r\n+++\r\nath0", true, 4, 2, 1, 2400,
         "AT &F1 &M0", "+++", "ath0"},
        {"port field 6 is TELNET", "9600 0 8 1 0 6 0\r\nATZ\r\n+++\r\nath0", true, 5, 0, 0, 9600, "ATZ",
         "+++", "ath0"},
        {"CR runs are one separator", "1200 0 8 1 0 2 2\r\r\r\nX\r\r\nY\r\nZ", true, 1, 0, 2, 1200, "X", "Y",
         "Z"},
        {"only the first LF of a token goes", "9600 0 8 1 0 1 0\r\n\nATZ\r\n+++\r\nath0", true, 0, 0, 0, 9600,
         "\nATZ", "+++", "ath0"},
        {"an empty escape command", "9600 0 8 1 0 1 1\r\nATZ\r\n\r\nath0", true, 0, 0, 1, 9600, "ATZ", "",
         "ath0"},
        {"three tokens are not enough but stay read", "4800 0 8 1 0 3 1\r\nATX\r\n+++", false, 2, 0, 1, 4800,
         "ATX", "+++", "ath0"},
        {"LF-only lines are one token", "300 0 8 1 0 2 0\nATZ\n+++\nath0", false, 1, 0, 0, 300, "ATZ\r",
         "+++", "ath0"},
        {"a damaged first line keeps the defaults", "9600 x\r\nATZ\r\n+++\r\nath0", true, 0, 0, 0, 9600, "ATZ",
         "+++", "ath0"},
        {"an empty file", "", false, 0, 0, 0, 9600, "ATZ\r", "+++", "ath0"},
    };
    for (const auto& c : cases) {
        LinkSettings s;
        EXPECT_EQ(parseSettingsFile(c.text, s), c.read) << c.name;
        EXPECT_EQ(s.portIndex, c.portIndex) << c.name;
        EXPECT_EQ(s.stopBits, c.stopBits) << c.name;
        EXPECT_EQ(s.linkType, c.linkType) << c.name;
        EXPECT_EQ(s.baudRate, c.baud) << c.name;
        EXPECT_EQ(s.initCommand, c.init) << c.name;
        EXPECT_EQ(s.escapeCommand, c.escape) << c.name;
        EXPECT_EQ(s.hangupCommand, c.hangup) << c.name;
    }
}

TEST(SettingsFile, PortNamesAndLineParameters) {
    EXPECT_EQ(portName(0), "COM1");
    EXPECT_EQ(portName(4), "COM5");
    EXPECT_EQ(portName(5), "\\\\.\\TELNET");
    EXPECT_EQ(portName(12), "\\\\.\\TELNET");

    LinkSettings s;
    s.baudRate = 1200;
    s.parity = 2;
    s.dataBits = 7;
    s.stopBits = 2;
    s.flowControl = 1;
    SerialParams p;
    ASSERT_TRUE(toSerialParams(s, p));
    EXPECT_EQ(p.baud, 1200);
    EXPECT_EQ(p.parity, Parity::Even);
    EXPECT_EQ(p.dataBits, 7);
    EXPECT_EQ(p.stopBits, StopBits::Two);
    EXPECT_TRUE(p.rtsCts);
    EXPECT_FALSE(p.xonXoff);
    s.parity = 4;
    ASSERT_TRUE(toSerialParams(s, p));
    EXPECT_EQ(p.parity, Parity::Space);
    for (auto bad : {LinkSettings{9600, 5}, LinkSettings{9600, 0, 9}, LinkSettings{9600, 0, 8, 3},
                     LinkSettings{9600, 0, 8, -1}})
        EXPECT_FALSE(toSerialParams(bad, p));
}

TEST(InitCommandList, BuiltInsFirstAndNoDuplicate) {
    using V = std::vector<std::string>;
    const V builtins = {"ATZ", "AT &F1 &M0", "AT &K3 \\N0"};
    EXPECT_EQ(initCommandList("ATZ"), builtins);
    EXPECT_EQ(initCommandList("AT &K3 \\N0"), builtins);
    V withOwn = builtins;
    withOwn.push_back("ATQ0V1E0");
    EXPECT_EQ(initCommandList("ATQ0V1E0"), withOwn);
    EXPECT_EQ(initCommandList("atz").back(), "atz");  // the comparison is case-sensitive
}
