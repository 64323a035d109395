#include "sim/switchsim.h"

namespace tpx::sim {

std::string modelName(int model) {
    switch (model & 0x0F) {
        case 1: return "TPX300";
        case 2: return "TPX560";
        case 3: return "TPX-RVII";
        case 4: return "TPX-LYRA";
        case 5: return "TPX-WLYRA";
        default: return "TPX";
    }
}

SwitchSim::SwitchSim(EventLoop& loop, SimConfig config, Sink toLine)
    : loop_(loop), config_(std::move(config)), out_(loop, config_.baud, config_.bitsPerChar, std::move(toLine)) {}

SwitchSim::~SwitchSim() = default;

std::string SwitchSim::prompt() const { return modelName(config_.model) + "> "; }

void SwitchSim::send(std::string_view text) { out_.write(asBytes(text)); }

void SwitchSim::receive(ByteView bytes) {
    received_.insert(received_.end(), bytes.begin(), bytes.end());
    for (std::uint8_t b : bytes) console(b);
}

void SwitchSim::console(std::uint8_t b) {
    if (b == '\r') {
        send("\r\n" + prompt());
    } else if (b == 0x08) {
        send("\b \b");
    } else if (b >= 0x20 && b <= 0x7E) {
        const char c = static_cast<char>(b);
        send(std::string_view(&c, 1));
    }
}

}  // namespace tpx::sim
