// The two block checksums of the switch protocols.
#pragma once

#include <cstdint>

#include "common/bytes.h"

namespace tpx {

// Unsigned sum of the bytes kept to 16 bits; sent high byte first. `init` continues a
// running sum over several buffers.
std::uint16_t byteSum16(ByteView bytes, std::uint16_t init = 0);

// CRC-16/ARC: polynomial 0x8005 reflected (0xA001), initial value 0, no final XOR;
// check value 0xBB3D for "123456789". `init` continues a running CRC.
std::uint16_t crc16Arc(ByteView bytes, std::uint16_t init = 0);

}  // namespace tpx
