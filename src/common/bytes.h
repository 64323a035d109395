// Byte buffers, the hex byte-list text used by every transcript and trace, and
// bounds-checked big/little-endian access. All multi-byte protocol fields go through
// these helpers; nothing casts a pointer to read a number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tpx {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline ByteView asBytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}
inline Bytes toBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
inline std::string toString(ByteView b) { return std::string(b.begin(), b.end()); }

// "41 0d " for the bytes 0x41 0x0D: two lowercase hex digits and one blank per byte.
std::string hexList(ByteView bytes);

// Reads return nullopt when the field does not lie wholly inside the buffer.
std::optional<std::uint16_t> readBe16(ByteView b, std::size_t offset);
std::optional<std::uint16_t> readLe16(ByteView b, std::size_t offset);
std::optional<std::uint32_t> readBe32(ByteView b, std::size_t offset);
std::optional<std::uint32_t> readLe32(ByteView b, std::size_t offset);

// Writes return false (and write nothing) when the field would leave the buffer.
bool writeBe16(std::span<std::uint8_t> b, std::size_t offset, std::uint16_t v);
bool writeLe16(std::span<std::uint8_t> b, std::size_t offset, std::uint16_t v);
bool writeBe32(std::span<std::uint8_t> b, std::size_t offset, std::uint32_t v);
bool writeLe32(std::span<std::uint8_t> b, std::size_t offset, std::uint32_t v);

void appendBe16(Bytes& out, std::uint16_t v);
void appendLe16(Bytes& out, std::uint16_t v);
void appendLe32(Bytes& out, std::uint32_t v);
void appendBe32(Bytes& out, std::uint32_t v);

}  // namespace tpx
