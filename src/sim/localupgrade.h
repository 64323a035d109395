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

namespace tpx::sim {

struct UpgradeFaults {
    int nackBlock = -1;          // DATA_NACK for this block, once
    bool nackAlways = false;     // ... every time
    int silentBlock = -1;        // no answer to this block, once
    bool silentAlways = false;   // ... never an answer
    int strayBlock = -1;         // a stray byte before this block's answer, once
    int dropBlock = -1;          // the line goes dead at this block
    bool noPrompt = false;       // a carriage return gets nothing
    bool noVersion = false;      // VERSION_REQ gets nothing
    bool bootMismatch = false;   // the installed boot areas differ from the images
    bool totalNack = false;      // every total checksum is refused
};

struct UpgradeConfig {
    int system = 0;                       // 0 TPX-12, 1 TPX-24W
    std::uint32_t seed = 1;               // the installed software (and matching images)
    std::string version = "TPX-12 V2.5";  // VERSION_INF text
    int baud = 0;                         // pacing of what the switch sends (0: none)
    UpgradeFaults faults;
};

class LocalUpgradeSim {
public:
    using Sink = std::function<void(ByteView)>;
    LocalUpgradeSim(EventLoop& loop, UpgradeConfig config, Sink toLine);
    ~LocalUpgradeSim();

    void receive(ByteView bytes);

    // The switch's two ROM images (installed software, then what the upgrade wrote).
    const Bytes& rom(int file) const { return rom_[file]; }
    // An image pair for this switch: the boot areas of the installed software, new contents
    // everywhere that is sent. What a site would get as the new release.
    static void makeImages(int system, std::uint32_t seed, Bytes& first, Bytes& second);

    bool loggedIn() const { return loggedIn_; }
    int blocksStored() const { return stored_; }
    int restarts() const { return restarts_; }
    int checksumsRefused() const { return refused_; }
    // Both total checksums acknowledged.
    bool upgraded() const { return totalsAcked_ == 2; }

private:
    void answer(ByteView frame);
    void frame(ByteView f);
    void data(ByteView f);
    std::uint16_t checksum(int id) const;
    int blocks(int file) const;

    EventLoop& loop_;
    UpgradeConfig cfg_;
    PacedOutput out_;
    Bytes rom_[2];
    Bytes buffer_;
    std::string typed_;
    bool prompted_ = false;
    bool loggedIn_ = false;
    bool dead_ = false;
    std::int64_t expected_ = 0;  // the next block number
    int stored_ = 0;
    int restarts_ = 0;
    int refused_ = 0;
    int totalsAcked_ = 0;
    bool nackDone_ = false, silentDone_ = false, strayDone_ = false;
};

}  // namespace tpx::sim
