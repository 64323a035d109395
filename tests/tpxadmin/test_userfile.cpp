#include <gtest/gtest.h>

#include "common/files.h"
#include "testutil.h"
#include "tpxadmin/transfer/userfile.h"

using namespace tpx;
using namespace tpx::admin;

namespace {
Bytes basicHeader(std::uint8_t model, const char* version, std::uint32_t total) {
    Bytes h(kBasicHeaderSize, 0);
    h[0] = model;
    std::copy(version, version + 5, h.begin() + 1);
    writeBe32(h, 6, total);
    for (std::size_t i = 10; i < h.size(); ++i) h[i] = static_cast<std::uint8_t>(i);
    return h;
}
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
}  // namespace

TEST(UserFile, PrefixCarriesToolVersionNationAndMagic) {
    Bytes p = makePrefix(0x52FF);
    ASSERT_EQ(p.size(), 62u);
    EXPECT_EQ(std::string(p.begin(), p.begin() + 12), "QVMTR- A.0Cb");
    EXPECT_EQ(Bytes(p.begin() + 12, p.begin() + 20), Bytes(8, 0));
    EXPECT_EQ(p[20], 0xFF);  // nation 0x52FF little-endian
    EXPECT_EQ(p[21], 0x52);
    EXPECT_EQ(Bytes(p.begin() + 22, p.begin() + 26), (Bytes{0xDE, 0xAD, 0xC0, 0xDE}));
    EXPECT_EQ(Bytes(p.begin() + 26, p.end()), Bytes(36, 0));
    EXPECT_TRUE(hasMagic(p));
    // The magic decides, whatever the prefix text says.
    Bytes other = p;
    std::fill(other.begin(), other.begin() + 20, 'x');
    EXPECT_TRUE(hasMagic(other));
    other[25] = 0xDF;
    EXPECT_FALSE(hasMagic(other));
    EXPECT_FALSE(hasMagic(Bytes(25, 0)));
}

TEST(UserFile, HeadersAndBaseAddresses) {
    Bytes file = cat({makePrefix(1), basicHeader(20, "1.2Ab", 3), {7, 8, 9}});
    auto h = readHeader(file, Phase::Basic);
    ASSERT_TRUE(h);
    auto parsed = parseBasicHeader(*h);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->model, 20);
    EXPECT_EQ(parsed->version, "1.2Ab");
    EXPECT_EQ(parsed->total, 3u);
    EXPECT_EQ(readHeader(file, Phase::Extension)->size(), 8u);
    EXPECT_FALSE(readHeader(Bytes(100, 0), Phase::Basic));

    EXPECT_EQ(baseAddress("TPX560"), 0x200000u);
    EXPECT_EQ(baseAddress("TPX300"), 0x200000u);
    EXPECT_EQ(baseAddress("TPX-RVII"), 0x200000u);
    EXPECT_EQ(baseAddress("TPX-LYRA"), 0x11A000u);  // its first data byte goes to 0x11A000
    EXPECT_EQ(baseAddress("TPX-WLYRA"), 0x200804u);
    EXPECT_FALSE(baseAddress("UNKNOWN"));
    EXPECT_EQ(extensionPathFor("/u/site.usr"), "/u/site.exp");
}

TEST(UserFile, BoardTableByModelBits) {
    Bytes h = basicHeader(0, "4.0Aa", 0);
    BoardTable t = boardTableFromHeader(h);
    EXPECT_EQ(t, emptyBoardTable());

    h[0] = 17;  // TPX300 Hotel: bits 1
    t = boardTableFromHeader(h);
    EXPECT_EQ(Bytes(t.begin(), t.begin() + 4), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(t.begin() + 4, t.begin() + 48), Bytes(h.begin() + 10, h.begin() + 54));
    EXPECT_EQ(Bytes(t.begin() + 48, t.end()), Bytes(24, 0xFF));

    h[0] = 2;
    t = boardTableFromHeader(h);
    EXPECT_EQ(t[0], 0xFE);
    EXPECT_EQ(Bytes(t.begin() + 4, t.end()), Bytes(h.begin() + 10, h.end()));

    h[0] = 3;
    t = boardTableFromHeader(h);
    EXPECT_EQ(Bytes(t.begin(), t.begin() + 4), (Bytes{0x04, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(t.begin() + 4, t.begin() + 8), Bytes(h.begin() + 38, h.begin() + 42));
    EXPECT_EQ(Bytes(t.begin() + 8, t.begin() + 32), Bytes(h.begin() + 14, h.begin() + 38));
    EXPECT_EQ(Bytes(t.begin() + 32, t.end()), Bytes(40, 0xFF));
}

TEST(PartialTable, ParsesLabelAndEntriesAndGivesTheRanges) {
    PartialTable t = parsePartialTable(
        "LCR Table Upload\r\n2097664 512 0 100\r\n0 0 0 0\r\n1 2 3 4\r\n5 6 7 8\r\n9 10 11 12\r\n");
    ASSERT_TRUE(t.loaded());
    EXPECT_EQ(t.label, "LCR Table Upload");
    const PartialEntry* e = t.entryFor("TPX560");
    ASSERT_TRUE(e);
    auto basic = partialRange(*baseAddress("TPX560"), e->basicStart, e->basicLength);
    ASSERT_TRUE(basic);
    EXPECT_EQ(basic->address, 0x200200u);  // data bytes 512..1023 to 0x200200..0x2003FF
    EXPECT_EQ(basic->skip, 512u);
    EXPECT_EQ(basic->end, 1024u);
    auto ext = partialRange(0x300000, e->extStart, e->extLength);
    EXPECT_EQ(ext->address, 0x300000u);  // the header address is kept
    EXPECT_EQ(ext->skip, 0u);
    EXPECT_EQ(ext->end, 100u);
    EXPECT_EQ(t.entryFor("TPX-WLYRA")->extLength, 12u);
    EXPECT_FALSE(t.entryFor("UNKNOWN"));
    EXPECT_FALSE(partialRange(0x200000, 0x100000, 10));  // below the base: does not fit

    EXPECT_FALSE(parsePartialTable("").loaded());
    EXPECT_EQ(parsePartialTable(std::string(40, 'L') + "\n1 2 3 4").label.size(), 30u);
    EXPECT_EQ(parsePartialTable("Only a label\n").entries[0].basicLength, 0u);
}

TEST(RunLength, ExpandsRunsAndRejectsAMissingCount) {
    EXPECT_EQ(expandRunLength(Bytes{0x41, 0x00, 0x03, 0xFF, 0x02, 0x42}),
              (Bytes{0x41, 0, 0, 0, 0xFF, 0xFF, 0x42}));
    EXPECT_EQ(expandRunLength(Bytes{0xFF, 0xF0}), Bytes(240, 0xFF));
    EXPECT_FALSE(expandRunLength(Bytes{0x41, 0x00}));
    EXPECT_FALSE(expandRunLength(Bytes{0xFF}));
    EXPECT_EQ(expandRunLength(Bytes{}), Bytes{});
}

TEST(Conversion, OldUserAndExtensionFilesBecomeNewAndKeepTheirData) {
    TempDir dir;
    const fs::path usr = dir.path() / "site.usr";
    const fs::path exp = dir.path() / "site.exp";
    Bytes header = basicHeader(2, "4.0Aa", 9);
    writeText(usr, toString(cat({header, {0x11, 0x00, 0x04, 0x22, 0xFF, 0x03}})));
    Bytes extHeader = {0x00, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05};
    writeText(exp, toString(cat({extHeader, {0x00, 0x05}})));

    ConversionResult r = convertOldFiles(usr, 0x8210);
    ASSERT_TRUE(r.ok) << r.error.message();
    Bytes newUsr = toBytes(readText(usr));
    EXPECT_EQ(newUsr, cat({makePrefix(0x8210), header, {0x11, 0, 0, 0, 0, 0x22, 0xFF, 0xFF, 0xFF}}));
    EXPECT_EQ(toBytes(readText(exp)), cat({makePrefix(0x8210), extHeader, Bytes(5, 0)}));
    EXPECT_FALSE(fs::exists(dir.path() / "site.1"));
    EXPECT_FALSE(fs::exists(dir.path() / "site.2"));

    // Converted files are new-format files: a second run has nothing old to read.
    EXPECT_TRUE(hasMagic(newUsr));
}

TEST(Conversion, FailuresLeaveTheOriginalFiles) {
    TempDir dir;
    const fs::path usr = dir.path() / "site.usr";
    const fs::path exp = dir.path() / "site.exp";
    const std::string oldUsr = toString(cat({basicHeader(2, "4.0Aa", 1), {0x41, 0x00}}));  // ends in 0x00
    writeText(usr, oldUsr);
    ConversionResult r = convertOldFiles(usr, 0xFFFF);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.abnormal);
    EXPECT_EQ(readText(usr), oldUsr);

    // A good user file with a broken extension file: neither is replaced.
    const std::string goodUsr = toString(cat({basicHeader(2, "4.0Aa", 1), {0x41}}));
    const std::string badExp = toString(Bytes{0, 0x30, 0, 0, 0, 0, 0, 1, 0xFF});
    writeText(usr, goodUsr);
    writeText(exp, badExp);
    r = convertOldFiles(usr, 0xFFFF);
    EXPECT_TRUE(r.abnormal);
    EXPECT_EQ(readText(usr), goodUsr);
    EXPECT_EQ(readText(exp), badExp);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    // An extension file already in the new format is left alone.
    const std::string newExp = toString(cat({makePrefix(1), Bytes{0, 0x30, 0, 0, 0, 0, 0, 1, 0x00}}));
    writeText(exp, newExp);
    r = convertOldFiles(usr, 0xFFFF);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(readText(exp), newExp);

    // A user file that cannot be read.
    r = convertOldFiles(dir.path() / "missing.usr", 0xFFFF);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.abnormal);
    EXPECT_EQ(r.error.code(), ENOENT);
}
