#include <gtest/gtest.h>

#include "tpxadmin/session/models.h"

using namespace tpx::admin;

TEST(Versions, CompareByTheThreeRules) {
    struct Case {
        const char* x;
        const char* y;
        std::size_t n;
        int sign;
    } cases[] = {
        {"A.0Cb", "1.0Cb", 5, 0},   // a leading capital counts as its digit
        {"J.0Cb", "1.0Cb", 5, 0},   // J to Z all count as 1
        {"I.0Aa", "9.0Aa", 5, 0},
        {"4.0A1", "4.0Az", 5, 1},   // a fifth-place digit sorts after every letter
        {"4.0A1", "4.0Az", 4, 0},   // ... but only when five places are compared
        {"4.0Di", "4.0DI", 5, 0},   // case is ignored
        {"4.0Da", "4.1Aa", 5, -1},
        {"4.0Aa", "4.0A", 5, 1},    // the text that ends first sorts first
        {"4.0", "4.0Aa", 4, -1},
        {"", "4.0Aa", 5, -1},       // an empty text compares as it stands
        {"", "", 5, 0},
        {"5.0Aa", "4.9Zz", 1, 1},
        {"4.0Aa", "4.0Ab", 4, 0},
    };
    for (const auto& c : cases) {
        int r = compareVersions(c.x, c.y, c.n);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.x << " vs " << c.y << " over " << c.n;
        int back = compareVersions(c.y, c.x, c.n);
        if (*c.x) EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.y << " vs " << c.x;
    }
}

TEST(Models, NamesByCode) {
    EXPECT_EQ(statusBarName(2), "TPX560 Office");
    EXPECT_EQ(statusBarName(18), "TPX560 Hotel");
    EXPECT_EQ(statusBarName(17), "TPX300 Hotel");
    EXPECT_EQ(statusBarName(3), "TPXRVII Office");
    EXPECT_EQ(statusBarName(21), "TPXWLYRA Hotel");
    EXPECT_EQ(statusBarName(9), " Office");  // outside the table: only the suffix
    EXPECT_EQ(statusBarName(25), " Hotel");
    EXPECT_EQ(headerModelName(0), "UNKNOWN");
    EXPECT_EQ(headerModelName(19), "TPX-RVII");
    EXPECT_EQ(headerModelName(0x24), "TPX-LYRA");
    EXPECT_FALSE(headerModelName(6));
    ASSERT_TRUE(findModel(20));
    EXPECT_EQ(findModel(20)->commandFile, "ADM12.cmd");
    EXPECT_TRUE(findModel(4)->messageFile.empty());
    EXPECT_EQ(findModel(1)->messageFile, ".\\DATA\\ADM30.ERR");
    EXPECT_FALSE(findModel(0));
    EXPECT_FALSE(findModel(6));
}
