// The byte-level rules of the database transfer: checksum kinds, run-length coding of
// received frames, and the protected fields an upload never writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/bytes.h"

namespace tpx::admin {

enum class ChecksumKind { Sum, Crc };

// CRC for TPX300 from 3.5A, TPX560 from 5.5A and TPX-RVII from 1.5A (their Hotel codes
// alike), compared over four characters; the 16-bit sum otherwise.
ChecksumKind checksumKindFor(int modelCode, std::string_view version);

// The two checksum bytes as sent: CRC low byte first, sum high byte first.
void appendChecksum(Bytes& out, ByteView covered, ChecksumKind kind);
// A received frame of `covered` bytes followed by its two checksum bytes.
bool checksumIntact(ByteView covered, std::uint8_t first, std::uint8_t second, ChecksumKind kind);

// Decodes run-length coded data as the download receives it: a 0x00 or 0xFF at the very
// end whose count is missing stands for nothing.
Bytes decodeRunLength(ByteView coded);

// The 8-byte fields of the 192 station records of a TPX560 database (model codes 2 and 18)
// that an upload never writes. Other models have none.
class ProtectedFields {
public:
    ProtectedFields(int headerModel, std::string_view headerVersion);
    bool any() const { return size_ != 0; }
    // The end (exclusive) of the field that holds `address`, or nullopt when it is free.
    std::optional<std::uint32_t> fieldEnd(std::uint32_t address) const;
    std::uint32_t recordSize() const { return size_; }
    std::uint32_t fieldOffset() const { return offset_; }

    static constexpr std::uint32_t kBase = 0x200000;
    static constexpr std::uint32_t kRecords = 192;
    static constexpr std::uint32_t kFieldSize = 8;

private:
    std::uint32_t size_ = 0;
    std::uint32_t offset_ = 0;
};

}  // namespace tpx::admin
