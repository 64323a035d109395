#include <gtest/gtest.h>

#include "tpxadmin/shell/terminalbuffer.h"

using namespace tpx;
using namespace tpx::admin;

TEST(Terminal, FiltersReceivedBytes) {
    struct Case {
        Bytes in;
        std::string text;
        int bells;
    } cases[] = {
        {{0x41, 0x07, 0x42}, "AB", 1},
        {{0x00, 0x09, 0x1B, 0x7F, 0x80, 0xF2, 0xFF}, "", 0},
        {{0x08, 0x0A, 0x0D, 0x20, 0x7E}, "\b\n\r ~", 0},
        {{0x07, 0x07}, "", 2},
    };
    for (const auto& c : cases) {
        int bells = 0;
        EXPECT_EQ(TerminalBuffer::filter(c.in, &bells), c.text);
        EXPECT_EQ(bells, c.bells);
    }
}

TEST(Terminal, BackspacesAndLineEnds) {
    struct Case {
        const char* name;
        std::string before;
        Bytes chunk;
        std::string after;
    } cases[] = {
        {"two backspaces take the new A and B", "old", {0x41, 0x42, 0x08, 0x08, 0x43, 0x0D, 0x0A}, "oldC\r\n"},
        {"leading backspaces erase what was shown", "prompt> ab", {0x08, 0x08, 0x58}, "prompt> X"},
        {"erasing stops at the start of the view", "ab", {0x08, 0x08, 0x08, 0x08, 0x5A}, "Z"},
        {"a lone LF shows nothing", "x", {0x0A}, "x"},
        {"a lone CR starts a new line", "x", {0x0D}, "x\r\n"},
        {"CR LF stays one line break", "", {0x31, 0x0D, 0x0A, 0x32}, "1\r\n2"},
        {"LF CR becomes one line break", "", {0x31, 0x0A, 0x0D, 0x32}, "1\r\n2"},
    };
    for (const auto& c : cases) {
        TerminalBuffer t;
        t.append(c.before);
        t.append(TerminalBuffer::filter(c.chunk));
        EXPECT_EQ(t.text(), c.after) << c.name;
    }
}

TEST(Terminal, EditsDescribeTheChangeForTheView) {
    TerminalBuffer t;
    t.append("abc");
    TerminalEdit e = t.append("\b\bZ\r");
    EXPECT_FALSE(e.trimmed);
    EXPECT_EQ(e.keep, 1u);
    EXPECT_EQ(e.insert, "Z\r\n");
    EXPECT_EQ(t.text(), "aZ\r\n");
}

TEST(Terminal, TrimsTheOldest4097CharactersAt16384) {
    TerminalBuffer t;
    std::string fill(16383, 'a');
    fill[4096] = 'b';  // the last character of the trimmed part
    fill[4097] = 'c';  // the first one kept
    t.append(fill);
    TerminalEdit e = t.append("d");  // 16383 before: no trim yet
    EXPECT_FALSE(e.trimmed);
    ASSERT_EQ(t.text().size(), 16384u);
    e = t.append("e");
    EXPECT_TRUE(e.trimmed);
    EXPECT_EQ(t.text().size(), 16384u - 4097u + 1u);
    EXPECT_EQ(t.text().front(), 'c');
    EXPECT_EQ(t.text().back(), 'e');
}
