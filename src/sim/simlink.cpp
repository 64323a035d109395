#include "sim/simlink.h"

#include <algorithm>

namespace tpx::sim {

class SimDevice : public ByteDevice {
public:
    explicit SimDevice(SimLine& line) : line_(line) {}
    ~SimDevice() override { close(); }

    std::string name() const override { return "sim"; }
    SysStatus configure(const SerialParams& p) override {
        line_.params_ = p;
        return {};
    }
    SysStatus writeAll(ByteView bytes, int) override {
        if (closed_) return SysStatus(EBADF, "write sim");
        // The bytes reach the switch once they have crossed the line, in order.
        const double nowUs = line_.loop_.monotonicMs() * 1000.0;
        const double lineUs =
            line_.baud_ > 0 ? static_cast<double>(bytes.size()) * line_.bitsPerChar_ * 1e6 / line_.baud_ : 0;
        line_.upFreeAtUs_ = std::max(line_.upFreeAtUs_, nowUs) + lineUs;
        auto delayMs = static_cast<std::int64_t>((line_.upFreeAtUs_ - nowUs + 999) / 1000);
        Bytes copy(bytes.begin(), bytes.end());
        SimLine* line = &line_;
        line_.loop_.postAfter(delayMs, [line, copy, alive = line_.alive_] {
            if (*alive && line->toSwitch_) line->toSwitch_(copy);
        });
        return {};
    }
    void purge() override {}
    SysStatus setDtr(bool) override { return {}; }
    SysStatus setRts(bool) override { return {}; }
    SysStatus startReading(ChunkSink onChunk, LostSink) override {
        line_.sink_ = std::move(onChunk);
        return {};
    }
    void stopReading() override { line_.sink_ = nullptr; }
    void close() override {
        if (closed_) return;
        closed_ = true;
        stopReading();
        line_.inUse_ = false;
    }

private:
    SimLine& line_;
    bool closed_ = false;
};

SimLine::SimLine(EventLoop& loop, SimConfig config)
    : loop_(loop), baud_(config.baud), bitsPerChar_(config.bitsPerChar) {
    sim_ = std::make_unique<SwitchSim>(loop, std::move(config), [this](ByteView out) { toProgram(out); });
    toSwitch_ = [this](ByteView in) { sim_->receive(in); };
}

SimLine::SimLine(EventLoop& loop, int baud, int bitsPerChar) : loop_(loop), baud_(baud), bitsPerChar_(bitsPerChar) {}

std::unique_ptr<ByteDevice> SimLine::open(SysStatus* error) {
    if (inUse_) {
        if (error) *error = SysStatus(EBUSY, "open sim");
        return nullptr;
    }
    inUse_ = true;
    return std::make_unique<SimDevice>(*this);
}

std::unique_ptr<ByteDevice> SimOpener::open(int portIndex, SysStatus* error) {
    lastPortIndex = portIndex;
    return line_.open(error);
}

}  // namespace tpx::sim
