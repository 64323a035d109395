// The simulated TPX switch: the switch side of the administration port, written from the
// protocol description alone (it shares no code with the programs' engines beyond the
// common byte helpers). Bytes from the PC go in through receive(); the switch's answers go
// out through the output sink, paced at line rate.
//
// The switch is a set of services; each later protocol adds one. For now it has the
// console: it echoes what it is sent and prints a prompt after every carriage return.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "common/clock.h"
#include "sim/pacedoutput.h"

namespace tpx::sim {

struct SimConfig {
    int model = 2;                 // model code (1..5, +16 for the Hotel variant)
    std::string version = "4.0Aa"; // software version, five characters
    std::uint16_t nation = 0x82FF; // nation code
    std::string password;          // admin password ("" accepts "tovrix")
    bool extensionMemory = false;
    int baud = 9600;               // 0 = no pacing
    int bitsPerChar = 10;          // start + 8 data + stop
    std::uint32_t seed = 1;
};

// The console name of a model code: "TPX560" and so on.
std::string modelName(int model);

class SwitchSim {
public:
    using Sink = std::function<void(ByteView)>;
    SwitchSim(EventLoop& loop, SimConfig config, Sink toLine);
    ~SwitchSim();

    // Bytes the PC sent.
    void receive(ByteView bytes);
    const SimConfig& config() const { return config_; }
    // Everything the switch was sent so far (for tests).
    const Bytes& received() const { return received_; }
    std::string prompt() const;

private:
    void send(std::string_view text);
    void console(std::uint8_t b);

    EventLoop& loop_;
    SimConfig config_;
    PacedOutput out_;
    Bytes received_;
};

}  // namespace tpx::sim
