#include "common/bytes.h"

namespace tpx {

std::string hexList(ByteView bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
        out.push_back(' ');
    }
    return out;
}

namespace {
bool fits(std::size_t size, std::size_t offset, std::size_t n) {
    return offset <= size && n <= size - offset;
}
}  // namespace

std::optional<std::uint16_t> readBe16(ByteView b, std::size_t o) {
    if (!fits(b.size(), o, 2)) return std::nullopt;
    return static_cast<std::uint16_t>((b[o] << 8) | b[o + 1]);
}
std::optional<std::uint16_t> readLe16(ByteView b, std::size_t o) {
    if (!fits(b.size(), o, 2)) return std::nullopt;
    return static_cast<std::uint16_t>(b[o] | (b[o + 1] << 8));
}
std::optional<std::uint32_t> readBe32(ByteView b, std::size_t o) {
    if (!fits(b.size(), o, 4)) return std::nullopt;
    return (std::uint32_t{b[o]} << 24) | (std::uint32_t{b[o + 1]} << 16) |
           (std::uint32_t{b[o + 2]} << 8) | b[o + 3];
}
std::optional<std::uint32_t> readLe32(ByteView b, std::size_t o) {
    if (!fits(b.size(), o, 4)) return std::nullopt;
    return (std::uint32_t{b[o + 3]} << 24) | (std::uint32_t{b[o + 2]} << 16) |
           (std::uint32_t{b[o + 1]} << 8) | b[o];
}

bool writeBe16(std::span<std::uint8_t> b, std::size_t o, std::uint16_t v) {
    if (!fits(b.size(), o, 2)) return false;
    b[o] = static_cast<std::uint8_t>(v >> 8);
    b[o + 1] = static_cast<std::uint8_t>(v);
    return true;
}
bool writeLe16(std::span<std::uint8_t> b, std::size_t o, std::uint16_t v) {
    if (!fits(b.size(), o, 2)) return false;
    b[o] = static_cast<std::uint8_t>(v);
    b[o + 1] = static_cast<std::uint8_t>(v >> 8);
    return true;
}
bool writeBe32(std::span<std::uint8_t> b, std::size_t o, std::uint32_t v) {
    if (!fits(b.size(), o, 4)) return false;
    for (int i = 0; i < 4; ++i) b[o + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    return true;
}
bool writeLe32(std::span<std::uint8_t> b, std::size_t o, std::uint32_t v) {
    if (!fits(b.size(), o, 4)) return false;
    for (int i = 0; i < 4; ++i) b[o + i] = static_cast<std::uint8_t>(v >> (8 * i));
    return true;
}

void appendBe16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
void appendLe16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void appendBe32(Bytes& out, std::uint32_t v) {
    appendBe16(out, static_cast<std::uint16_t>(v >> 16));
    appendBe16(out, static_cast<std::uint16_t>(v));
}
void appendLe32(Bytes& out, std::uint32_t v) {
    appendLe16(out, static_cast<std::uint16_t>(v));
    appendLe16(out, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace tpx
