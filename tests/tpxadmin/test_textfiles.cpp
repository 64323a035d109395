#include <gtest/gtest.h>

#include "common/files.h"
#include "tpxadmin/shell/textfiles.h"

using namespace tpx;
using namespace tpx::admin;

namespace {
std::string lines(int n, const char* end, const char* prefix = "m") {
    std::string s;
    for (int i = 0; i < n; ++i) s += prefix + std::to_string(i) + end;
    return s;
}
}  // namespace

TEST(MessageFile, CountsOnlyNonEmptyLinesAndAppendsLF) {
    MessageTable t = parseMessageFile("zero\r\n\r\n\none\rtwo\n\n" + std::string(250, 'x') + "\r\nlast");
    EXPECT_EQ(t.count, 5u);
    EXPECT_EQ(t.text[0], "zero\n");
    EXPECT_EQ(t.text[1], "one\n");
    EXPECT_EQ(t.text[2], "two\n");
    EXPECT_EQ(t.text[3], std::string(198, 'x') + "\n");
    EXPECT_EQ(t.text[4], "last\n");
    EXPECT_FALSE(t.overflow);
}

TEST(MessageFile, StopsAtThe301stMessage) {
    MessageTable exact = parseMessageFile(lines(300, "\r\n"));
    EXPECT_EQ(exact.count, 300u);
    EXPECT_FALSE(exact.overflow);
    MessageTable over = parseMessageFile(lines(305, "\r\n"));
    EXPECT_EQ(over.count, 300u);
    EXPECT_TRUE(over.overflow);
    EXPECT_EQ(over.text[299], "m299\n");
}

TEST(PhraseFile, KeepsEveryLineAndDropsTheCharacterBeforeLF) {
    PhraseTable t = parsePhraseFile("PGM\r\n\r\nSTA\nTRUNK\r\n" + std::string(210, 'y') + "\r\nTAIL");
    ASSERT_EQ(t.phrases.size(), 6u);
    EXPECT_EQ(t.phrases[0], "PGM");
    EXPECT_EQ(t.phrases[1], "");     // empty lines count
    EXPECT_EQ(t.phrases[2], "ST");   // an LF-only line still loses its last character
    EXPECT_EQ(t.phrases[3], "TRUNK");
    EXPECT_EQ(t.phrases[4], std::string(198, 'y'));
    EXPECT_EQ(t.phrases[5], "TAIL");  // a last line without a line end is kept whole
    EXPECT_FALSE(t.overflow);
}

TEST(PhraseFile, The61stLineIsStoredAndEndsReading) {
    PhraseTable sixty = parsePhraseFile(lines(60, "\r\n", "p"));
    EXPECT_EQ(sixty.phrases.size(), 60u);
    EXPECT_FALSE(sixty.overflow);
    PhraseTable over = parsePhraseFile(lines(70, "\r\n", "p"));
    EXPECT_TRUE(over.overflow);
    ASSERT_EQ(over.phrases.size(), 61u);
    EXPECT_EQ(over.phrases[60], "p60");
}

TEST(ShippedData, MessageAndPhraseFilesLoadCleanly) {
    const fs::path data = fs::path(TPX_SOURCE_DATA_DIR) / "DATA";
    for (const char* stem : {"56", "30", "47"}) {
        auto msg = readFile(data / (std::string("ADM") + stem + ".ERR"));
        ASSERT_TRUE(msg) << stem;
        MessageTable t = parseMessageFile(*msg);
        EXPECT_EQ(t.count, 300u);
        EXPECT_FALSE(t.overflow);
        // Every message the programs show has a real text.
        for (int n : {1, 2, 4, 5, 6, 7, 19, 21, 22, 23, 24, 25, 27, 28, 29, 31, 32, 36, 37, 38, 39, 40, 41, 42, 43})
            EXPECT_NE(t.text[n], "Reserved.\n") << "ADM" << stem << " message " << n;
        auto phr = readFile(data / (std::string("CAN") + stem + ".LCD"));
        ASSERT_TRUE(phr);
        PhraseTable p = parsePhraseFile(*phr);
        EXPECT_EQ(p.phrases.size(), 60u);
        EXPECT_FALSE(p.overflow);
        EXPECT_EQ(p.phrases[0], "PGM");
    }
}
