#include <gtest/gtest.h>

#include <boost/crc.hpp>
#include <random>

#include "common/bytes.h"
#include "common/checksum.h"

using namespace tpx;

TEST(Crc16Arc, CatalogueCheckValue) { EXPECT_EQ(crc16Arc(asBytes("123456789")), 0xBB3D); }

TEST(Crc16Arc, MatchesBoostOnRandomBuffersAndContinues) {
    std::mt19937 rng(7);
    for (std::size_t len : {0u, 1u, 2u, 77u, 256u, 4099u}) {
        Bytes data(len);
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        boost::crc_16_type ref;
        ref.process_bytes(data.data(), data.size());
        EXPECT_EQ(crc16Arc(data), ref.checksum()) << "length " << len;
        // A CRC continued over two halves equals the CRC of the whole.
        std::size_t half = len / 2;
        std::uint16_t first = crc16Arc(ByteView(data).first(half));
        EXPECT_EQ(crc16Arc(ByteView(data).subspan(half), first), ref.checksum());
    }
}

TEST(ByteSum16, SumsAndWrapsAt16Bits) {
    struct Case {
        Bytes data;
        std::uint16_t sum;
    } cases[] = {
        {{}, 0},
        {{0x01, 0x02, 0xFF}, 0x0102},
        {Bytes(257, 0xFF), static_cast<std::uint16_t>(257 * 0xFF)},
        {Bytes(300, 0xFF), static_cast<std::uint16_t>(300 * 0xFF % 65536)},
    };
    for (const auto& c : cases) EXPECT_EQ(byteSum16(c.data), c.sum);
    EXPECT_EQ(byteSum16(Bytes{0x10}, 0xFFF8), 0x0008);
    Bytes wire;
    appendBe16(wire, byteSum16(Bytes{0x12, 0x34, 0xF0}));
    EXPECT_EQ(wire, (Bytes{0x01, 0x36}));  // high byte first
}

TEST(HexList, TwoLowercaseDigitsAndABlankPerByte) {
    EXPECT_EQ(hexList(Bytes{0x41, 0x0D}), "41 0d ");
    EXPECT_EQ(hexList(Bytes{}), "");
    EXPECT_EQ(hexList(Bytes{0x00, 0xAB, 0xFF}), "00 ab ff ");
}

TEST(Endian, ReadsAndWritesStayInsideTheBuffer) {
    Bytes b = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(readBe16(b, 0), 0x1234);
    EXPECT_EQ(readLe16(b, 2), 0x7856);
    EXPECT_EQ(readBe32(b, 0), 0x12345678u);
    EXPECT_EQ(readLe32(b, 0), 0x78563412u);
    EXPECT_FALSE(readBe16(b, 3));
    EXPECT_FALSE(readBe32(b, 1));
    EXPECT_FALSE(readLe16(b, SIZE_MAX));
    EXPECT_FALSE(writeLe16(b, 3, 0xFFFF));
    EXPECT_EQ(b, (Bytes{0x12, 0x34, 0x56, 0x78}));
    EXPECT_TRUE(writeLe16(b, 2, 0x52FF));
    EXPECT_EQ(b[2], 0xFF);
    EXPECT_EQ(b[3], 0x52);
}
