// Images, checksums, user information, trace files and the monitor of the upgrade programs.
#include <gtest/gtest.h>

#include "common/checksum.h"
#include "testutil.h"
#include "upgrade/images.h"
#include "upgrade/trace.h"

using namespace tpx;
using namespace tpx::upgrade;

namespace {

TEST(UpgradeImages, SystemsBlocksAndRanges) {
    EXPECT_EQ(blockCount(0, 0, 1024), 496);
    EXPECT_EQ(blockCount(0, 1, 1024), 462);
    EXPECT_EQ(blockCount(1, 0, 1024), 832);
    EXPECT_EQ(blockCount(1, 1, 1024), 1024);
    EXPECT_EQ(blockCount(0, 0, 256), 1984);
    EXPECT_EQ(blockCount(0, 1, 256), 1848);
    EXPECT_EQ(blockCount(1, 0, 256), 3328);
    EXPECT_EQ(blockCount(1, 1, 256), 4096);
    EXPECT_EQ(systemByName("TPX-24W"), 1);
    EXPECT_EQ(systemByName("TPX-24"), std::nullopt);
    EXPECT_EQ(systemInfo(2), nullptr);
}

TEST(UpgradeImages, ChecksumsCoverTheirRangesPerSystem) {
    // Every byte of a range 0xFF: 0x3000 x 0xFF = 0x2FD000, kept to 16 bits.
    Bytes first(0x80000, 0), second(0x80000, 0);
    std::fill(first.begin() + 0x1000, first.begin() + 0x4000, 0xFF);
    Checksums c = computeChecksums(0, first, second);
    EXPECT_EQ(c.byId(0x10), 0xD000);
    EXPECT_EQ(c.byId(0x12), 0xD000);  // the rest of the first file is zero
    // Bytes outside every range change nothing; bytes inside change their sums.
    first[0x0FFF] = 0x77;
    second[0x73800] = 0x01;
    second[0x737FF] = 0x02;
    c = computeChecksums(0, first, second);
    EXPECT_EQ(c.byId(0x10), 0xD000);
    EXPECT_EQ(c.byId(0x11), 0x0001);
    EXPECT_EQ(c.byId(0x13), 0x0003);

    Bytes big1(0x100000, 1), big2(0x100000, 2);
    c = computeChecksums(1, big1, big2);
    EXPECT_EQ(c.byId(0x10), 0x3000);
    EXPECT_EQ(c.byId(0x11), static_cast<std::uint16_t>(0x2C000));
    EXPECT_EQ(c.byId(0x12), static_cast<std::uint16_t>(0x100000 - 0x1000));
    EXPECT_EQ(c.byId(0x13), static_cast<std::uint16_t>(2 * 0x100000));
}

TEST(UpgradeImages, NameAndSizeRules) {
    EXPECT_EQ(imageNameProblem("a.bin", "b.bin"), "");
    EXPECT_EQ(imageNameProblem(".bin", "b.bin"), "");  // not the placeholder
    EXPECT_NE(imageNameProblem(".BIN", "b.bin"), "");
    EXPECT_NE(imageNameProblem("a.bin", "a.bin"), "");
    EXPECT_NE(imageNameProblem("", "b.bin"), "");
    EXPECT_EQ(checkSizes(0, 0x80000, 0x80000), SizeCheck::Ok);
    EXPECT_EQ(checkSizes(0, 524287, 0), SizeCheck::FirstWrong);
    EXPECT_EQ(checkSizes(1, 0x100000, 0x80000), SizeCheck::SecondWrong);
}

TEST(UpgradeImages, UserInformationFiles) {
    TempDir dir;
    const auto file = dir.path() / "LocalUserInfo.dat";
    EXPECT_EQ(readUserInfo(file, 3), std::nullopt);
    writeText(file, "new1.bin\nnew2.bin");
    EXPECT_EQ(readUserInfo(file, 3), (std::vector<std::string>{"new1.bin", "new2.bin", ""}));
    ASSERT_TRUE(writeUserInfo(file, {"a.bin", std::string(300, 'x'), "TPX-24W"}));
    EXPECT_EQ(readText(file), "a.bin\n" + std::string(255, 'x') + "\nTPX-24W\n");
    EXPECT_FALSE(writeUserInfo(dir.path() / "no" / "such" / "file", {"x"}));
}

TEST(UpgradeTrace, FilesAreNamedBySessionStartAndRecreated) {
    TempDir dir;
    SessionTrace t;
    ASSERT_EQ(t.open(dir.path(), "Local", {9, 5, 3}, false), SessionTrace::OpenResult::Ok);
    EXPECT_EQ(t.basePath(), dir.path() / "Trace" / "Local090503");
    t.protocol().write("first\n");
    t.frame(1).printf("%02x", 0xAB);
    t.close();
    t.protocol().write("nowhere");  // closed: nothing, no crash
    EXPECT_EQ(readText(dir.path() / "Trace" / "Local090503.prt"), "first\n");
    EXPECT_EQ(readText(dir.path() / "Trace" / "Local090503.002"), "ab");

    // A second session in the same second overwrites; text mode writes CR LF.
    ASSERT_EQ(t.open(dir.path(), "Local", {9, 5, 3}, true), SessionTrace::OpenResult::Ok);
    t.protocol().write("second\n");
    t.close();
    EXPECT_EQ(readText(dir.path() / "Trace" / "Local090503.prt"), "second\r\n");
    EXPECT_EQ(readText(dir.path() / "Trace" / "Local090503.002"), "");

    // A folder that cannot hold the Trace folder.
    writeText(dir.path() / "file", "x");
    EXPECT_EQ(t.open(dir.path() / "file", "Remote", {1, 2, 3}, true), SessionTrace::OpenResult::ProtocolFailed);

    t.setLevel(0);
    EXPECT_TRUE(t.detail() && t.verbose());
    t.setLevel(1);
    EXPECT_TRUE(!t.detail() && t.verbose());
    t.setLevel(2);
    EXPECT_TRUE(!t.detail() && !t.verbose());
}

TEST(UpgradeMonitor, RingBannerAndDots) {
    MonitorRing ring;
    EXPECT_EQ(ring.add("one"), 0);
    for (int i = 1; i < 20; ++i) ring.add("line " + std::to_string(i));
    EXPECT_EQ(ring.add(std::string(300, 'L')), 0);  // the 21st line takes position 0
    EXPECT_EQ(ring.at(0).size(), 255u);

    std::string text;
    appendMonitorLine(text, "  Now, starting");
    appendMonitorLine(text, "........");
    appendMonitorLine(text, "........");
    appendMonitorLine(text, "");
    EXPECT_EQ(text, "  Now, starting\r\n................\r\n");
    EXPECT_EQ(monitorBanner(false),
              " \r\n               ==============================\r\n"
              "                 Local SW Upgrade monitor ver 1.0\r\n"
              "               ==============================\r\n");

    ProgressDots dots;
    std::vector<std::pair<int, std::string>> shown;
    for (int block = 1; block <= 128; ++block)
        dots.afterBlock([&](const std::string& l) { shown.emplace_back(block, l); });
    std::vector<std::pair<int, std::string>> expected;
    for (int block = 7; block <= 128; block += 8) {
        expected.emplace_back(block, "........");
        if (block == 63 || block == 127) expected.emplace_back(block, "");
    }
    EXPECT_EQ(shown, expected);
}

}  // namespace
