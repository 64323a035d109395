#include "common/checksum.h"

#include <array>

namespace tpx {

namespace {
constexpr std::array<std::uint16_t, 256> makeArcTable() {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t c = static_cast<std::uint16_t>(i);
        for (int k = 0; k < 8; ++k) c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001) : c >> 1;
        t[i] = c;
    }
    return t;
}
constexpr auto kArcTable = makeArcTable();
static_assert(kArcTable[1] == 0xC0C1 && kArcTable[255] == 0x4040);
}  // namespace

std::uint16_t byteSum16(ByteView bytes, std::uint16_t init) {
    unsigned sum = init;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint16_t>(sum);
}

std::uint16_t crc16Arc(ByteView bytes, std::uint16_t init) {
    std::uint16_t crc = init;
    for (std::uint8_t b : bytes) crc = static_cast<std::uint16_t>((crc >> 8) ^ kArcTable[(crc ^ b) & 0xFF]);
    return crc;
}

}  // namespace tpx
