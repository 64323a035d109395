#include "sim/isdn/switchparty.h"

#include <algorithm>

namespace tpx::sim {

namespace {
constexpr std::uint8_t kStx = 0x02, kEtx = 0x03;
constexpr double kBytesPerMs = 8.0;  // 64 kbit/s
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
    }

private:
    // Delay (ms from now) until `n` more bytes have crossed a line that is free at `freeAt`.
    std::int64_t reserve(double& freeAt, std::size_t n) {
        const double now = static_cast<double>(line_.loop->monotonicMs());
        freeAt = std::max(freeAt, now) + n / kBytesPerMs;
        return static_cast<std::int64_t>(freeAt - now + 0.5);
    }

    void send(Bytes frame) {
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
                    const bool admin = f.size() >= 6 && f[3] == 0x01 && f[4] == 0x12;
                    const std::uint8_t code = faults.wrongService ? 0x11 : 0x12;
                    send({kStx, 0x10, static_cast<std::uint8_t>(admin && !faults.serviceNack ? 0x12 : 0x13), 0x01,
                          code, kEtx});
                    return;
                }
                case 0x14: {  // VERSION_REQ
                    if (packetFail()) return;
                    const std::string& v = sw_.config_.version;
                    Bytes r = {kStx, 0x10, 0x15, static_cast<std::uint8_t>(v.size())};
                    r.insert(r.end(), v.begin(), v.end());
                    r.push_back(kEtx);
                    send(std::move(r));
                    return;
                }
                case 0x16:  // START_REQ
                    if (packetFail()) return;
                    started_ = true;
                    send({kStx, 0x10, 0x17, 0x01, 0x12, kEtx});
                    return;
                default:
                    return;
            }
        }
        if (f[1] == 0x12 && f[2] == 0x10 && f.size() >= 6 && started_) {  // DATA_PC
            const std::size_t n = static_cast<std::size_t>((f[3] << 8) | f[4]);
            if (5 + n + 1 != f.size()) return;
            ++dataFrames_;
            if (faults.clearAfterData >= 0 && dataFrames_ > faults.clearAfterData) return line_.clear(0x3490);
            sw_.sim_->receive(ByteView(f).subspan(5, n));
        }
    }

    IsdnSwitch& sw_;
    IsdnLine line_;
    bool started_ = false;
    int dataFrames_ = 0;
    double inFreeAt_ = 0, outFreeAt_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

std::unique_ptr<IsdnParty> IsdnSwitch::answer() { return std::make_unique<SwitchParty>(*this); }

}  // namespace tpx::sim
