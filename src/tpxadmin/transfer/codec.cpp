#include "tpxadmin/transfer/codec.h"

#include "common/checksum.h"
#include "tpxadmin/session/models.h"

namespace tpx::admin {

ChecksumKind checksumKindFor(int modelCode, std::string_view version) {
    const char* from = nullptr;
    switch (modelCode) {
        case 1: case 17: from = "3.5A"; break;
        case 2: case 18: from = "5.5A"; break;
        case 3: case 19: from = "1.5A"; break;
        default: return ChecksumKind::Sum;
    }
    return compareVersions(version, from, 4) >= 0 ? ChecksumKind::Crc : ChecksumKind::Sum;
}

void appendChecksum(Bytes& out, ByteView covered, ChecksumKind kind) {
    if (kind == ChecksumKind::Crc) {
        appendLe16(out, crc16Arc(covered));
    } else {
        appendBe16(out, byteSum16(covered));
    }
}

bool checksumIntact(ByteView covered, std::uint8_t first, std::uint8_t second, ChecksumKind kind) {
    if (kind == ChecksumKind::Crc) {
        // The CRC over the data and its own two bytes comes out 0.
        const std::uint8_t tail[2] = {first, second};
        return crc16Arc(tail, crc16Arc(covered)) == 0;
    }
    return byteSum16(covered) == static_cast<std::uint16_t>((first << 8) | second);
}

Bytes decodeRunLength(ByteView coded) {
    Bytes out;
    out.reserve(coded.size() * 2);
    for (std::size_t i = 0; i < coded.size(); ++i) {
        const std::uint8_t b = coded[i];
        if (b != 0x00 && b != 0xFF) out.push_back(b);
        else if (i + 1 < coded.size()) out.insert(out.end(), coded[++i], b);
    }
    return out;
}

ProtectedFields::ProtectedFields(int model, std::string_view version) {
    if (model != 2 && model != 18) return;
    const bool from52 = compareVersions(version, "5.2", 3) >= 0;
    if (model == 2) {
        size_ = from52 ? 248 : 232;
        offset_ = 220;
    } else {
        size_ = from52 ? 218 : 202;
        offset_ = 166;
    }
}

std::optional<std::uint32_t> ProtectedFields::fieldEnd(std::uint32_t address) const {
    if (size_ == 0 || address < kBase) return std::nullopt;
    const std::uint32_t rel = address - kBase;
    const std::uint32_t record = rel / size_;
    if (record >= kRecords) return std::nullopt;
    const std::uint32_t start = kBase + record * size_ + offset_;
    if (address >= start && address < start + kFieldSize) return start + kFieldSize;
    return std::nullopt;
}

}  // namespace tpx::admin
