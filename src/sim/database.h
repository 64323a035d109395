// The simulated switch's programming database and its side of the transfer protocol:
// it serves the basic part (78-byte header, then blocks) and the extension part (8-byte
// header, then blocks) on request, and stores upload packets into its memory. Written
// from the protocol description, with its own coding and checksum code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "common/clock.h"

namespace tpx::sim {

struct TransferFaults {
    int badBlock = 0;        // the k-th download block goes out with a wrong checksum...
    bool badEvery = false;   // ...every time it is sent (else only the first time)
    int stallBlock = 0;      // the k-th block stops half way (once, or every time)
    bool stallEvery = false;
    int garbageBlock = 0;    // stray bytes go out before the k-th block (once)
    int nakPacket = 0;       // the k-th upload packet is refused (once, or every time)
    bool nakEvery = false;
    int lostAt = 0;          // the line goes dead at the k-th block or packet
};

struct DatabaseConfig {
    int model = 2;
    std::string version = "4.0Aa";
    std::size_t basicSize = 48 * 1024;
    bool extension = false;
    std::size_t extSize = 8 * 1024;
    std::uint32_t extAddress = 0x300000;
    std::uint32_t seed = 1;
    TransferFaults faults;
};

class SimDatabase {
public:
    using Send = std::function<void(ByteView)>;
    SimDatabase(EventLoop& loop, DatabaseConfig config, Send send);
    ~SimDatabase();

    // After 0xF9 0x0A: the bytes of the transfer. False when the byte is not the transfer's
    // (MON, which ends it) and the switch should take it.
    bool receive(std::uint8_t b);
    bool active() const { return active_; }
    void start() { active_ = true; mode_ = Mode::Idle; }

    const Bytes& basicHeader() const { return basicHeader_; }
    const Bytes& basic() const { return basic_; }
    const Bytes& extension() const { return ext_; }
    std::uint32_t basicBase() const { return base_; }
    bool usesCrc() const { return crc_; }
    int blocksSent() const { return blocksSent_; }
    int packetsStored() const { return packetsStored_; }
    int naksReceived() const { return naksReceived_; }
    // Writes basic.bin (header + data) and, with extension memory, ext.bin into `dir`.
    bool dump(const std::string& dir) const;

    // The switch's own coding: runs of 0x00/0xFF up to 240 become value, count.
    static Bytes encode(ByteView raw);
    static Bytes decode(ByteView coded, bool* ok);

private:
    enum class Mode { Idle, Request, Serving, Packet, Dead };
    void serve(bool extension);
    void sendBlock();
    void packetByte(std::uint8_t b);
    void appendSum(Bytes& frame) const;
    bool sumOk(ByteView covered, std::uint8_t a, std::uint8_t b) const;

    EventLoop& loop_;
    DatabaseConfig cfg_;
    Send send_;
    bool crc_;
    std::uint32_t base_;
    Bytes basicHeader_;
    Bytes basic_;
    Bytes ext_;

    bool active_ = false;
    Mode mode_ = Mode::Idle;
    std::uint8_t requestByte_ = 0;
    // Serving a part.
    const Bytes* serving_ = nullptr;
    std::size_t offset_ = 0;   // next raw byte to put in a block
    std::size_t blockRaw_ = 0; // raw bytes in the block out
    int blockNumber_ = 0;      // of the current block, counted over the session
    int sendsOfBlock_ = 0;
    Bytes block_;
    // Receiving a packet.
    Bytes packet_;
    int packetNumber_ = 0;
    int nakOfPacket_ = 0;

    int blocksSent_ = 0;
    int packetsStored_ = 0;
    int naksReceived_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The basic base address of a model (the switch's memory map).
std::uint32_t simBaseAddress(int model);

}  // namespace tpx::sim
