#include "sim/localupgrade.h"

#include <algorithm>

#include "common/checksum.h"

namespace tpx::sim {

namespace {

constexpr std::uint8_t kStx = 0x02, kEtx = 0x03, kClass = 0x13;
constexpr int kBlock = 256;

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

void LocalUpgradeSim::makeImages(int system, std::uint32_t seed, Bytes& first, Bytes& second) {
    const Layout l = layout(system);
    first = fill(l.size, seed);
    second = fill(l.size, seed + 1);
    const Bytes fresh1 = fill(l.size, seed + 100), fresh2 = fill(l.size, seed + 101);
    std::copy(fresh1.begin() + static_cast<std::ptrdiff_t>(l.firstOffset), fresh1.end(),
              first.begin() + static_cast<std::ptrdiff_t>(l.firstOffset));
    std::copy(fresh2.begin(), fresh2.begin() + static_cast<std::ptrdiff_t>(l.secondBytes), second.begin());
}

LocalUpgradeSim::LocalUpgradeSim(EventLoop& loop, UpgradeConfig config, Sink toLine)
    : loop_(loop), cfg_(std::move(config)), out_(loop, cfg_.baud, 10, std::move(toLine)) {
    const Layout l = layout(cfg_.system);
    rom_[0] = fill(l.size, cfg_.seed);
    rom_[1] = fill(l.size, cfg_.seed + 1);
    if (cfg_.faults.bootMismatch) rom_[0][0x2000] ^= 0x5A;
}

LocalUpgradeSim::~LocalUpgradeSim() = default;

int LocalUpgradeSim::blocks(int file) const {
    const Layout l = layout(cfg_.system);
    return static_cast<int>((file == 0 ? l.size - l.firstOffset : l.secondBytes) / kBlock);
}

std::uint16_t LocalUpgradeSim::checksum(int id) const {
    const std::size_t end = rom_[0].size();
    switch (id) {
        case 0x10: return sum(rom_[0], 0x1000, 0x4000);
        case 0x11: return cfg_.system == 1 ? sum(rom_[0], 0x4000, 0x30000) : sum(rom_[1], 0x73800, end);
        case 0x12: return sum(rom_[0], 0x1000, end);
        case 0x13: return sum(rom_[1], 0, end);
        default: return 0;
    }
}

void LocalUpgradeSim::answer(ByteView frame) {
    if (!dead_) out_.write(frame);
}

void LocalUpgradeSim::receive(ByteView bytes) {
    if (dead_) return;
    for (std::uint8_t b : bytes) {
        if (!loggedIn_ || (buffer_.empty() && b == 0x0D)) {
            // The login: CR wakes the prompt, then the password up to CR.
            if (b != 0x0D) {
                if (prompted_ && typed_.size() < 32) typed_.push_back(static_cast<char>(b));
                continue;
            }
            if (prompted_ && typed_ == "kelmor") {
                prompted_ = false;
                typed_.clear();
                loggedIn_ = true;
                buffer_.clear();
                answer(Bytes{0x06});
                continue;
            }
            typed_.clear();
            loggedIn_ = false;
            if (cfg_.faults.noPrompt) continue;
            prompted_ = true;
            answer(asBytes("\r\nENTER PASSWORD: "));
            continue;
        }
        if (buffer_.empty() && b != kStx) continue;  // between frames: noise is passed over
        buffer_.push_back(b);
        if (buffer_.size() < 4) continue;
        if (buffer_[1] != kClass) {
            buffer_.clear();
            continue;
        }
        std::size_t need = 0;
        switch (buffer_[2]) {
            case 0x10: need = 8; break;
            case 0x13: need = 6; break;
            case 0x15: need = 268; break;
            case 0x18: need = 4; break;
            default: buffer_.clear(); continue;
        }
        if (buffer_.size() < need) continue;
        Bytes f;
        f.swap(buffer_);
        frame(f);
    }
}

void LocalUpgradeSim::frame(ByteView f) {
    if (f.back() != kEtx) return;  // a broken frame gets no answer: the PC's wait resends it
    switch (f[2]) {
        case 0x10: {  // CHECKSUM_REQ
            const std::uint8_t id = f[4];
            const std::uint16_t value = static_cast<std::uint16_t>(f[5] << 8 | f[6]);
            bool ok = value == checksum(id);
            if ((id == 0x12 || id == 0x13) && cfg_.faults.totalNack) ok = false;
            if (!ok) ++refused_;
            if (ok && (id == 0x12 || id == 0x13)) ++totalsAcked_;
            answer(Bytes{kStx, kClass, static_cast<std::uint8_t>(ok ? 0x11 : 0x12), 0x01, id, kEtx});
            return;
        }
        case 0x13: {  // RESTART_REQ: the file is sent again from its first block
            const std::uint8_t id = f[4];
            ++restarts_;
            expected_ = id == 0x10 ? 0 : blocks(0);
            answer(Bytes{kStx, kClass, 0x14, 0x01, id, kEtx});
            return;
        }
        case 0x18: {  // VERSION_REQ
            if (cfg_.faults.noVersion) return;
            Bytes v{kStx, kClass, 0x19, static_cast<std::uint8_t>(cfg_.version.size())};
            v.insert(v.end(), cfg_.version.begin(), cfg_.version.end());
            v.push_back(kEtx);
            answer(v);
            return;
        }
        case 0x15: data(f); return;
        default: return;
    }
}

void LocalUpgradeSim::data(ByteView f) {
    const std::uint32_t block = static_cast<std::uint32_t>(f[3]) << 24 | static_cast<std::uint32_t>(f[4]) << 16 |
                                static_cast<std::uint32_t>(f[5]) << 8 | f[6];
    const UpgradeFaults& x = cfg_.faults;
    const int b = static_cast<int>(block);
    if (b == x.dropBlock) {
        dead_ = true;
        out_.discard();
        return;
    }
    if (x.silentAlways && b == x.silentBlock) return;
    if (b == x.silentBlock && !silentDone_) {
        silentDone_ = true;
        return;
    }
    const std::size_t length = static_cast<std::size_t>(f[7] << 8 | f[8]);
    const bool sound = byteSum16(f.first(265)) == static_cast<std::uint16_t>(f[265] << 8 | f[266]) &&
                       length <= static_cast<std::size_t>(kBlock) && f[267] == kEtx;
    // The expected block, or the one before it again (its ACK was lost).
    const bool inOrder = static_cast<std::int64_t>(block) == expected_ || static_cast<std::int64_t>(block) + 1 == expected_;
    bool ack = sound && inOrder && block < static_cast<std::uint32_t>(blocks(0) + blocks(1));
    if ((x.nackAlways && b == x.nackBlock) || (b == x.nackBlock && !nackDone_)) {
        nackDone_ = true;
        ack = false;
    }
    if (ack && static_cast<std::int64_t>(block) == expected_) {
        const Layout l = layout(cfg_.system);
        const int file = b < blocks(0) ? 0 : 1;
        const std::size_t at = file == 0 ? l.firstOffset + static_cast<std::size_t>(b) * kBlock
                                         : static_cast<std::size_t>(b - blocks(0)) * kBlock;
        std::copy(f.begin() + 9, f.begin() + 9 + static_cast<std::ptrdiff_t>(length),
                  rom_[file].begin() + static_cast<std::ptrdiff_t>(at));
        ++expected_;
        ++stored_;
    }
    if (b == x.strayBlock && !strayDone_) {
        strayDone_ = true;
        answer(Bytes{0x55});
    }
    Bytes reply{kStx, kClass, static_cast<std::uint8_t>(ack ? 0x16 : 0x17), 0x04};
    appendBe32(reply, block);
    reply.push_back(kEtx);
    answer(reply);
}

}  // namespace tpx::sim
