// A ByteDevice wired to an in-process simulated switch on the same event loop, for engine
// and UI tests on virtual time: what the program writes reaches the switch after the line
// time of its bytes, and the switch's paced answers arrive as received chunks.
#pragma once

#include <functional>
#include <memory>

#include "common/bytedevice.h"
#include "sim/switchsim.h"

namespace tpx::sim {

class SimLine {
public:
    // A line to the administration port of a simulated switch.
    SimLine(EventLoop& loop, SimConfig config);
    // A bare line at `baud` (0: no line time): attach() the switch side, which answers with
    // toProgram().
    SimLine(EventLoop& loop, int baud, int bitsPerChar = 10);
    ~SimLine() { *alive_ = false; }
    SwitchSim& sim() { return *sim_; }
    void attach(std::function<void(ByteView)> toSwitch) { toSwitch_ = std::move(toSwitch); }
    void toProgram(ByteView bytes) {
        if (sink_) sink_(bytes);
    }
    // The device a program opens; one at a time.
    std::unique_ptr<ByteDevice> open(SysStatus* error);
    bool inUse() const { return inUse_; }
    // Last line parameters a program applied.
    const SerialParams& params() const { return params_; }

private:
    friend class SimDevice;
    EventLoop& loop_;
    std::unique_ptr<SwitchSim> sim_;
    std::function<void(ByteView)> toSwitch_;
    int baud_ = 0;
    int bitsPerChar_ = 10;
    ByteDevice::ChunkSink sink_;
    bool inUse_ = false;
    SerialParams params_;
    double upFreeAtUs_ = 0;  // when the PC-to-switch direction is free again
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // bytes on the way check it
};

class SimOpener : public DeviceOpener {
public:
    explicit SimOpener(SimLine& line) : line_(line) {}
    std::unique_ptr<ByteDevice> open(int portIndex, SysStatus* error) override;
    int lastPortIndex = -1;

private:
    SimLine& line_;
};

}  // namespace tpx::sim
