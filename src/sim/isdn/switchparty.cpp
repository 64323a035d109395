#include "sim/isdn/switchparty.h"

#include <algorithm>

#include "common/checksum.h"
#include "common/files.h"

namespace tpx::sim {

namespace {
constexpr std::uint8_t kStx = 0x02, kEtx = 0x03;
constexpr std::size_t kMaxData = 2042;
}  // namespace

class SwitchParty : public IsdnParty {
public:
    explicit SwitchParty(IsdnSwitch& sw) : sw_(sw) {}
    ~SwitchParty() override { *alive_ = false; }

    void connected(IsdnLine line) override {
        line_ = std::move(line);
        if (!sw_.sim_) {
            SimConfig cfg = sw_.config_;
            cfg.baud = 0;  // the frames are paced here, at the B-channel's rate
            sw_.sim_ = std::make_unique<SwitchSim>(*line_.loop, cfg, nullptr);
        }
        sw_.sim_->setSink([this](ByteView out) { toPc(out); });
        sw_.sim_->resetPort();
        if (!sw_.faults_.noNegoStart) send({kStx, 0x10, 0x10, kEtx});
    }

    void frame(ByteView f) override {
        // What the PC sent arrives after its time on the B-channel.
        Bytes copy(f.begin(), f.end());
        sw_.bytesFromPc_ += copy.size();
        const std::int64_t at = reserve(inFreeAt_, copy.size());
        auto alive = alive_;
        line_.loop->postAfter(at, [this, alive, copy] {
            if (*alive) handle(copy);
        });
    }

    void disconnected() override {
        if (sw_.sim_) sw_.sim_->setSink(nullptr);
        if (!sw_.dumpDir_.empty() && sw_.sim_ && sw_.sim_->database().packetsStored() > 0)
            sw_.sim_->database().dump(sw_.dumpDir_);
        if (!sw_.dumpDir_.empty() && sw_.upgradeMemory_ && sw_.upgradeMemory_->blocksStored() > 0) {
            const std::filesystem::path d(sw_.dumpDir_);
            (void)writeFileAtomically(d / "first.bin", toString(sw_.upgradeMemory_->rom(0)));
            (void)writeFileAtomically(d / "second.bin", toString(sw_.upgradeMemory_->rom(1)));
        }
    }

private:
    // Delay (ms from now) until `n` more bytes have crossed a line that is free at `freeAt`.
    std::int64_t reserve(double& freeAt, std::size_t n) {
        const double now = static_cast<double>(line_.loop->monotonicMs());
        const double bytesPerMs = sw_.rate_ / 8000.0;
        freeAt = std::max(freeAt, now) + (bytesPerMs > 0 ? static_cast<double>(n) / bytesPerMs : 0.0);
        return static_cast<std::int64_t>(freeAt - now + 0.5);
    }

    void send(Bytes frame) {
        sw_.bytesToPc_ += frame.size();
        const std::int64_t at = reserve(outFreeAt_, frame.size());
        auto alive = alive_;
        line_.loop->postAfter(at, [this, alive, frame] {
            if (*alive && line_.send) line_.send(frame);
        });
    }

    void toPc(ByteView out) {
        for (std::size_t off = 0; off < out.size(); off += kMaxData) {
            const std::size_t n = std::min(kMaxData, out.size() - off);
            Bytes f = {kStx, 0x12, 0x11, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
            f.insert(f.end(), out.begin() + static_cast<std::ptrdiff_t>(off),
                     out.begin() + static_cast<std::ptrdiff_t>(off + n));
            f.push_back(kEtx);
            send(std::move(f));
        }
    }

    bool packetFail() {
        ++sw_.negotiations_;
        if (sw_.faults_.packetFailAt == sw_.negotiations_ && sw_.packetFails_++ == 0) {
            send({kStx, 0xEE, 0x10, kEtx});
            return true;
        }
        return false;
    }

    void handle(const Bytes& f) {
        const IsdnSwitchFaults& faults = sw_.faults_;
        if (f.size() < 4 || f[0] != kStx || f.back() != kEtx) return;
        if (f[1] == 0x10) {
            switch (f[2]) {
                case 0x11: {  // SERVICE_REQ
                    if (packetFail()) return;
                    if (faults.clearInNegotiation) return line_.clear(0x3490);
                    service_ = f.size() >= 6 && f[3] == 0x01 ? f[4] : 0;
                    const bool granted = service_ == 0x12 || (service_ == 0x11 && sw_.upgradeMemory_);
                    // The wrong-service fault names the other service in the answer.
                    const std::uint8_t code = faults.wrongService ? (service_ == 0x11 ? 0x12 : 0x11) : service_;
                    send({kStx, 0x10, static_cast<std::uint8_t>(granted && !faults.serviceNack ? 0x12 : 0x13), 0x01,
                          code, kEtx});
                    return;
                }
                case 0x14: {  // VERSION_REQ
                    if (packetFail()) return;
                    if (upgrading() && sw_.upgradeConfig_->faults.noVersion) return;
                    const std::string& v = upgrading() ? sw_.upgradeConfig_->version : sw_.config_.version;
                    Bytes r = {kStx, 0x10, 0x15, static_cast<std::uint8_t>(v.size())};
                    r.insert(r.end(), v.begin(), v.end());
                    r.push_back(kEtx);
                    send(std::move(r));
                    return;
                }
                case 0x16:  // START_REQ
                    if (packetFail()) return;
                    started_ = true;
                    send({kStx, 0x10, 0x17, 0x01, service_ == 0x11 ? std::uint8_t{0x11} : std::uint8_t{0x12}, kEtx});
                    return;
                default:
                    return;
            }
        }
        if (f[1] == 0x11 && started_ && upgrading()) return upgradeFrame(f);
        if (f[1] == 0x12 && f[2] == 0x10 && f.size() >= 6 && started_) {  // DATA_PC
            const std::size_t n = static_cast<std::size_t>((f[3] << 8) | f[4]);
            if (5 + n + 1 != f.size()) return;
            ++dataFrames_;
            if (faults.clearAfterData >= 0 && dataFrames_ > faults.clearAfterData) return line_.clear(0x3490);
            sw_.sim_->receive(ByteView(f).subspan(5, n));
        }
    }

    bool upgrading() const { return service_ == 0x11 && sw_.upgradeMemory_; }

    // The software upgrade's frames (class 0x11).
    void upgradeFrame(const Bytes& f) {
        UpgradeMemory& mem = *sw_.upgradeMemory_;
        const UpgradeFaults& x = sw_.upgradeConfig_->faults;
        switch (f[2]) {
            case 0x10:  // CHECKSUM_INF
                if (f.size() != 8) return;
                if (x.clearAtChecksum) return line_.clear(0x3490);
                send({kStx, 0x11, static_cast<std::uint8_t>(mem.checksum(f[4], static_cast<std::uint16_t>(f[5] << 8 | f[6])) ? 0x11 : 0x12),
                      0x01, f[4], kEtx});
                return;
            case 0x13:  // RESTART_REQ
                if (f.size() != 6) return;
                if (x.clearAtRestart) return line_.clear(0x3490);
                mem.restart(f[4]);
                send({kStx, 0x11, 0x14, 0x01, f[4], kEtx});
                return;
            case 0x15: {  // DATA_PC
                if (f.size() != 1036) return;
                const std::uint32_t block = static_cast<std::uint32_t>(f[3]) << 24 | static_cast<std::uint32_t>(f[4]) << 16 |
                                            static_cast<std::uint32_t>(f[5]) << 8 | f[6];
                const std::size_t length = static_cast<std::size_t>(f[7] << 8 | f[8]);
                const bool sound = byteSum16(ByteView(f).first(1033)) == static_cast<std::uint16_t>(f[1033] << 8 | f[1034]) &&
                                   length <= 1024;
                const auto answer = mem.data(block, ByteView(f).subspan(9, std::min<std::size_t>(length, 1024)), sound);
                switch (answer) {
                    case UpgradeMemory::Answer::Dead: return line_.clear(0x3490);
                    case UpgradeMemory::Answer::Silent: return;
                    case UpgradeMemory::Answer::PacketFail: return send({kStx, 0xEE, 0x10, kEtx});
                    case UpgradeMemory::Answer::Ack:
                    case UpgradeMemory::Answer::Nack: break;
                }
                Bytes reply{kStx, 0x11, static_cast<std::uint8_t>(answer == UpgradeMemory::Answer::Ack ? 0x16 : 0x17), 0x04};
                appendBe32(reply, block);
                reply.push_back(kEtx);
                send(std::move(reply));
                return;
            }
            default: return;
        }
    }

    IsdnSwitch& sw_;
    IsdnLine line_;
    std::uint8_t service_ = 0;
    bool started_ = false;
    int dataFrames_ = 0;
    double inFreeAt_ = 0, outFreeAt_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

std::unique_ptr<IsdnParty> IsdnSwitch::answer() { return std::make_unique<SwitchParty>(*this); }

void IsdnSwitch::enableUpgrade(UpgradeConfig config) {
    upgradeConfig_ = std::make_unique<UpgradeConfig>(std::move(config));
    upgradeMemory_ = std::make_unique<UpgradeMemory>(*upgradeConfig_, 1024);
}

}  // namespace tpx::sim
