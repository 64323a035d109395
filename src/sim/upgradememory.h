// The memory side of a software upgrade, shared by the maintenance port (serial, 256-byte
// blocks) and the remote upgrade over ISDN (1024-byte blocks): the installed ROM images,
// the checksums by id against them, restarts, and the storing of numbered data blocks with
// the injected faults.
#pragma once

#include <cstdint>
#include <string>

#include "common/bytes.h"

namespace tpx::sim {

struct UpgradeFaults {
    int nackBlock = -1;          // DATA_NACK for this block, once
    bool nackAlways = false;     // ... every time
    int silentBlock = -1;        // no answer to this block, once
    bool silentAlways = false;   // ... never an answer
    int strayBlock = -1;         // a stray byte before this block's answer, once (serial)
    int dropBlock = -1;          // the line goes dead (serial) or is cleared (ISDN) at this block
    int packetFailBlock = -1;    // PACKET_FAIL instead of this block's answer, once (ISDN)
    bool noPrompt = false;       // a carriage return gets nothing (serial)
    bool noVersion = false;      // VERSION_REQ gets nothing
    bool bootMismatch = false;   // the installed boot areas differ from the images
    bool totalNack = false;      // every total checksum is refused
    bool clearAtChecksum = false;  // the call is cleared at the first checksum (ISDN)
    bool clearAtRestart = false;   // ... at a restart request (ISDN)
};

struct UpgradeConfig {
    int system = 0;                       // 0 TPX-12, 1 TPX-24W
    std::uint32_t seed = 1;               // the installed software (and matching images)
    std::string version = "TPX-12 V2.5";  // VERSION_INF text
    int baud = 0;                         // pacing of what the maintenance port sends (0: none)
    UpgradeFaults faults;
};

class UpgradeMemory {
public:
    UpgradeMemory(const UpgradeConfig& config, int blockSize);

    // An image pair for a switch of `system` with installed software `seed`: its boot areas,
    // new contents everywhere that is sent.
    static void makeImages(int system, std::uint32_t seed, Bytes& first, Bytes& second);

    // A checksum request: true to acknowledge.
    bool checksum(std::uint8_t id, std::uint16_t value);
    // A restart request: the file is sent again from its first block.
    void restart(std::uint8_t id);

    enum class Answer { Ack, Nack, Silent, Dead, PacketFail };
    // A data block: `sound` when its frame checked out. Stores it when it is the next one
    // (the one before it again is acknowledged without storing: its answer was lost).
    Answer data(std::uint32_t block, ByteView payload, bool sound);
    // Whether a stray byte goes before the answer to `block` (once).
    bool strayBefore(std::uint32_t block);

    const Bytes& rom(int file) const { return rom_[file]; }
    int blocks(int file) const;
    int blocksStored() const { return stored_; }
    int restarts() const { return restarts_; }
    int checksumsRefused() const { return refused_; }
    bool upgraded() const { return totalsAcked_ == 2; }

private:
    const UpgradeConfig& cfg_;
    int blockSize_;
    Bytes rom_[2];
    std::int64_t expected_ = 0;
    int stored_ = 0, restarts_ = 0, refused_ = 0, totalsAcked_ = 0;
    bool nackDone_ = false, silentDone_ = false, strayDone_ = false, packetFailDone_ = false;
};

}  // namespace tpx::sim
