// A ByteDevice wired to an in-process simulated switch on the same event loop, for engine
// and UI tests on virtual time: what the program writes reaches the switch after the line
// time of its bytes, and the switch's paced answers arrive as received chunks.
#pragma once

#include <memory>

#include "common/bytedevice.h"
#include "sim/switchsim.h"

namespace tpx::sim {

class SimLine {
public:
    SimLine(EventLoop& loop, SimConfig config);
    ~SimLine() { *alive_ = false; }
    SwitchSim& sim() { return *sim_; }
    // The device a program opens; one at a time.
    std::unique_ptr<ByteDevice> open(SysStatus* error);
    bool inUse() const { return inUse_; }
    // Last line parameters a program applied.
    const SerialParams& params() const { return params_; }

private:
    friend class SimDevice;
    EventLoop& loop_;
    std::unique_ptr<SwitchSim> sim_;
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
