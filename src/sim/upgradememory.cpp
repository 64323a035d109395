#include "sim/upgradememory.h"

#include <algorithm>

#include "common/checksum.h"

namespace tpx::sim {

namespace {

struct Layout {
    std::size_t size, firstOffset, secondBytes;
};
Layout layout(int system) {
    return system == 1 ? Layout{0x100000, 0x30000, 0x100000} : Layout{0x80000, 0x4000, 0x73800};
}

// A reproducible byte stream per seed.
Bytes fill(std::size_t n, std::uint32_t seed) {
    Bytes out(n);
    std::uint32_t s = seed * 2654435761u + 12345;
    for (auto& b : out) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        b = static_cast<std::uint8_t>(s >> 11);
    }
    return out;
}

std::uint16_t sum(const Bytes& b, std::size_t from, std::size_t to) {
    to = std::min(to, b.size());
    return from < to ? byteSum16(ByteView(b).subspan(from, to - from)) : 0;
}

}  // namespace

void UpgradeMemory::makeImages(int system, std::uint32_t seed, Bytes& first, Bytes& second) {
    const Layout l = layout(system);
    first = fill(l.size, seed);
    second = fill(l.size, seed + 1);
    const Bytes fresh1 = fill(l.size, seed + 100), fresh2 = fill(l.size, seed + 101);
    std::copy(fresh1.begin() + static_cast<std::ptrdiff_t>(l.firstOffset), fresh1.end(),
              first.begin() + static_cast<std::ptrdiff_t>(l.firstOffset));
    std::copy(fresh2.begin(), fresh2.begin() + static_cast<std::ptrdiff_t>(l.secondBytes), second.begin());
}

UpgradeMemory::UpgradeMemory(const UpgradeConfig& config, int blockSize) : cfg_(config), blockSize_(blockSize) {
    const Layout l = layout(cfg_.system);
    rom_[0] = fill(l.size, cfg_.seed);
    rom_[1] = fill(l.size, cfg_.seed + 1);
    if (cfg_.faults.bootMismatch) rom_[0][0x2000] ^= 0x5A;
}

int UpgradeMemory::blocks(int file) const {
    const Layout l = layout(cfg_.system);
    return static_cast<int>((file == 0 ? l.size - l.firstOffset : l.secondBytes) / static_cast<std::size_t>(blockSize_));
}

bool UpgradeMemory::checksum(std::uint8_t id, std::uint16_t value) {
    const std::size_t end = rom_[0].size();
    std::uint16_t own = 0;
    switch (id) {
        case 0x10: own = sum(rom_[0], 0x1000, 0x4000); break;
        case 0x11: own = cfg_.system == 1 ? sum(rom_[0], 0x4000, 0x30000) : sum(rom_[1], 0x73800, end); break;
        case 0x12: own = sum(rom_[0], 0x1000, end); break;
        case 0x13: own = sum(rom_[1], 0, end); break;
        default: return false;
    }
    const bool total = id == 0x12 || id == 0x13;
    const bool ok = value == own && !(total && cfg_.faults.totalNack);
    if (!ok) ++refused_;
    if (ok && total) ++totalsAcked_;
    return ok;
}

void UpgradeMemory::restart(std::uint8_t id) {
    ++restarts_;
    expected_ = id == 0x10 ? 0 : blocks(0);
}

UpgradeMemory::Answer UpgradeMemory::data(std::uint32_t block, ByteView payload, bool sound) {
    const UpgradeFaults& x = cfg_.faults;
    const int b = static_cast<int>(block);
    if (b == x.dropBlock) return Answer::Dead;
    if (x.silentAlways && b == x.silentBlock) return Answer::Silent;
    if (b == x.silentBlock && !silentDone_) {
        silentDone_ = true;
        return Answer::Silent;
    }
    if (b == x.packetFailBlock && !packetFailDone_) {
        packetFailDone_ = true;
        return Answer::PacketFail;
    }
    const bool inOrder = static_cast<std::int64_t>(block) == expected_ || static_cast<std::int64_t>(block) + 1 == expected_;
    bool ack = sound && inOrder && b < blocks(0) + blocks(1) && payload.size() <= static_cast<std::size_t>(blockSize_);
    if ((x.nackAlways && b == x.nackBlock) || (b == x.nackBlock && !nackDone_)) {
        nackDone_ = true;
        ack = false;
    }
    if (ack && static_cast<std::int64_t>(block) == expected_) {
        const Layout l = layout(cfg_.system);
        const int file = b < blocks(0) ? 0 : 1;
        const std::size_t at = file == 0 ? l.firstOffset + static_cast<std::size_t>(b) * static_cast<std::size_t>(blockSize_)
                                         : static_cast<std::size_t>(b - blocks(0)) * static_cast<std::size_t>(blockSize_);
        std::copy(payload.begin(), payload.end(), rom_[file].begin() + static_cast<std::ptrdiff_t>(at));
        ++expected_;
        ++stored_;
    }
    return ack ? Answer::Ack : Answer::Nack;
}

bool UpgradeMemory::strayBefore(std::uint32_t block) {
    if (static_cast<int>(block) != cfg_.faults.strayBlock || strayDone_) return false;
    strayDone_ = true;
    return true;
}

}  // namespace tpx::sim
