// The switch side of the local software upgrade on its maintenance port, written from the
// protocol description: a carriage return gets "ENTER PASSWORD: " (after CR LF), "kelmor"
// and CR get ACK (0x06), then frames of class 0x13 — checksum requests checked against the
// switch's own memory, the version, restarts, and 268-byte DATA_PC packets that are checked
// (checksum, numbering) and stored. The memory starts as the installed software; after an
// upgrade it holds exactly what was sent.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "common/clock.h"
#include "sim/pacedoutput.h"
#include "sim/upgradememory.h"

namespace tpx::sim {

class LocalUpgradeSim {
public:
    using Sink = std::function<void(ByteView)>;
    LocalUpgradeSim(EventLoop& loop, UpgradeConfig config, Sink toLine);
    ~LocalUpgradeSim();

    void receive(ByteView bytes);

    // The switch's memory: its two ROM images (installed software, then what the upgrade
    // wrote) and what the upgrade did to them.
    const UpgradeMemory& memory() const { return memory_; }
    const Bytes& rom(int file) const { return memory_.rom(file); }
    static void makeImages(int system, std::uint32_t seed, Bytes& first, Bytes& second) {
        UpgradeMemory::makeImages(system, seed, first, second);
    }
    bool loggedIn() const { return loggedIn_; }
    int blocksStored() const { return memory_.blocksStored(); }
    int restarts() const { return memory_.restarts(); }
    int checksumsRefused() const { return memory_.checksumsRefused(); }
    bool upgraded() const { return memory_.upgraded(); }

private:
    void answer(ByteView frame);
    void frame(ByteView f);
    void data(ByteView f);

    EventLoop& loop_;
    UpgradeConfig cfg_;
    PacedOutput out_;
    UpgradeMemory memory_;
    Bytes buffer_;
    std::string typed_;
    bool prompted_ = false;
    bool loggedIn_ = false;
    bool dead_ = false;
};

}  // namespace tpx::sim
