#include <gtest/gtest.h>

#include "common/checksum.h"
#include "tpxadmin/transfer/codec.h"

using namespace tpx;
using namespace tpx::admin;

TEST(ChecksumKind, ChosenByTheSwitchModelAndVersion) {
    struct Case {
        int model;
        const char* version;
        ChecksumKind kind;
    } cases[] = {
        {2, "5.5Aa", ChecksumKind::Crc}, {2, "5.4Zz", ChecksumKind::Sum}, {18, "5.5A", ChecksumKind::Crc},
        {2, "6.0Aa", ChecksumKind::Crc}, {2, "5.5", ChecksumKind::Sum},   {1, "3.5Aa", ChecksumKind::Crc},
        {17, "3.4Zz", ChecksumKind::Sum}, {3, "1.5Ba", ChecksumKind::Crc}, {19, "1.4Aa", ChecksumKind::Sum},
        {4, "9.9Zz", ChecksumKind::Sum}, {21, "9.9Zz", ChecksumKind::Sum}, {2, "4.0Di", ChecksumKind::Sum},
    };
    for (const auto& c : cases)
        EXPECT_EQ(checksumKindFor(c.model, c.version), c.kind) << c.model << " " << c.version;
}

TEST(ChecksumKind, BytesAndChecksBothWays) {
    const Bytes covered = {0x00, 0x03, 0x41, 0xFF, 0x02};
    Bytes crc, sum;
    appendChecksum(crc, covered, ChecksumKind::Crc);
    appendChecksum(sum, covered, ChecksumKind::Sum);
    const std::uint16_t c = crc16Arc(covered);
    EXPECT_EQ(crc, (Bytes{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)}));  // low first
    EXPECT_EQ(sum, (Bytes{0x01, 0x45}));  // 0x0145 high first
    EXPECT_TRUE(checksumIntact(covered, crc[0], crc[1], ChecksumKind::Crc));
    EXPECT_TRUE(checksumIntact(covered, sum[0], sum[1], ChecksumKind::Sum));
    EXPECT_FALSE(checksumIntact(covered, crc[1], crc[0], ChecksumKind::Crc));
    EXPECT_FALSE(checksumIntact(covered, sum[1], sum[0], ChecksumKind::Sum));
}

TEST(RunLengthDecode, RunsAndACountCutOff) {
    EXPECT_EQ(decodeRunLength(Bytes{0x41, 0xFF, 0x02, 0x42}), (Bytes{0x41, 0xFF, 0xFF, 0x42}));
    EXPECT_EQ(decodeRunLength(Bytes{0x00, 0xF0, 0x00, 0x3C}), Bytes(300, 0x00));
    EXPECT_EQ(decodeRunLength(Bytes{0x00, 0x00, 0x41}), Bytes{0x41});  // a run of nothing
    EXPECT_EQ(decodeRunLength(Bytes{0x41, 0xFF}), Bytes{0x41});        // a count cut off
}

TEST(ProtectedFields, RecordSizesAndFieldsByHeaderModelAndVersion) {
    ProtectedFields v53(2, "5.3Aa");
    EXPECT_EQ(v53.recordSize(), 248u);
    EXPECT_EQ(v53.fieldOffset(), 220u);
    for (std::uint32_t a : {0x2000DCu, 0x2000E3u, 0x2001D4u, 0x2001DBu}) EXPECT_TRUE(v53.fieldEnd(a)) << std::hex << a;
    for (std::uint32_t a : {0x2000DBu, 0x2000E4u, 0x2001D3u, 0x2001DCu, 0x1FFFFFu}) EXPECT_FALSE(v53.fieldEnd(a)) << std::hex << a;
    EXPECT_EQ(v53.fieldEnd(0x2000DE), 0x2000E4u);
    const std::uint32_t last = 0x200000 + 191 * 248 + 220;
    EXPECT_TRUE(v53.fieldEnd(last));
    EXPECT_FALSE(v53.fieldEnd(0x200000 + 192 * 248 + 220));  // beyond the 192 records

    EXPECT_EQ(ProtectedFields(2, "5.1Zz").recordSize(), 232u);
    EXPECT_EQ(ProtectedFields(18, "5.2Aa").recordSize(), 218u);
    EXPECT_EQ(ProtectedFields(18, "5.1Aa").recordSize(), 202u);
    EXPECT_EQ(ProtectedFields(18, "5.1Aa").fieldOffset(), 166u);
    EXPECT_FALSE(ProtectedFields(1, "5.3Aa").any());
    EXPECT_FALSE(ProtectedFields(3, "5.3Aa").fieldEnd(0x2000DC));
}
