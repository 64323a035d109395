#include "sim/localupgrade.h"

#include <algorithm>

#include "common/checksum.h"

namespace tpx::sim {

namespace {

constexpr std::uint8_t kStx = 0x02, kEtx = 0x03, kClass = 0x13;
constexpr int kBlock = 256;

}  // namespace

LocalUpgradeSim::LocalUpgradeSim(EventLoop& loop, UpgradeConfig config, Sink toLine)
    : loop_(loop), cfg_(std::move(config)), out_(loop, cfg_.baud, 10, std::move(toLine)), memory_(cfg_, kBlock) {}

LocalUpgradeSim::~LocalUpgradeSim() = default;

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
            const bool ok = memory_.checksum(id, static_cast<std::uint16_t>(f[5] << 8 | f[6]));
            answer(Bytes{kStx, kClass, static_cast<std::uint8_t>(ok ? 0x11 : 0x12), 0x01, id, kEtx});
            return;
        }
        case 0x13: {  // RESTART_REQ: the file is sent again from its first block
            const std::uint8_t id = f[4];
            memory_.restart(id);
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
    const std::size_t length = static_cast<std::size_t>(f[7] << 8 | f[8]);
    const bool sound = byteSum16(f.first(265)) == static_cast<std::uint16_t>(f[265] << 8 | f[266]) &&
                       length <= static_cast<std::size_t>(kBlock) && f[267] == kEtx;
    const UpgradeMemory::Answer a = memory_.data(block, f.subspan(9, std::min<std::size_t>(length, kBlock)), sound);
    if (a == UpgradeMemory::Answer::Dead) {
        dead_ = true;
        out_.discard();
        return;
    }
    if (a != UpgradeMemory::Answer::Ack && a != UpgradeMemory::Answer::Nack) return;  // no answer
    if (memory_.strayBefore(block)) answer(Bytes{0x55});
    Bytes reply{kStx, kClass, static_cast<std::uint8_t>(a == UpgradeMemory::Answer::Ack ? 0x16 : 0x17), 0x04};
    appendBe32(reply, block);
    reply.push_back(kEtx);
    answer(reply);
}

}  // namespace tpx::sim
