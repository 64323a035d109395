// A local upgrade session: LocalLyra sends the two image files of a TPX-12 or TPX-24W to
// the switch's maintenance port in 256-byte blocks.
//
// Beginning (images, trace files, checksums) -> Opening (the port) -> Negotiating (CR,
// "ENTER PASSWORD: ", "kelmor", ACK) -> BootChecksum (ids 0x10, 0x11) -> VersionCheck ->
// FirstFile -> TotalChecksum (0x12) -> SecondFile -> TotalChecksum (0x13) -> Terminate ->
// Exit; a refused total checksum goes through Restart back to the same file.
//
// Frames (class 0x13): CHECKSUM_REQ 02 13 10 03 id hi lo 03, CHECKSUM_ACK/NACK 02 13 11|12
// 01 id 03, RESTART_REQ/ACK 02 13 13|14 01 id 03, DATA_PC (268 bytes), DATA_ACK/NACK
// 02 13 16|17 04 <block> 03, VERSION_REQ 02 13 18 03, VERSION_INF 02 13 19 n <text> 03.
//
// run() blocks on the event loop it was given (the session's worker thread); received
// blocks arrive there between the polls of the waits.
#pragma once

#include <filesystem>
#include <string>

#include "common/bytes.h"
#include "locallyra/port.h"
#include "upgrade/core.h"

namespace tpx::local {

using upgrade::Phase;

struct Timing {
    Phase negotiation{5, 5};  // the retry count is the number of login attempts
    Phase checksum{20, 3};
    Phase version{10, 3};
    Phase data{10, 5};        // also the retransmissions per block
    Phase others{5, 6};       // no wait uses it
};

using upgrade::kTestNone;
using upgrade::kTestRestartFirst;
using upgrade::kTestRestartSecond;

struct SessionInputs {
    int system = 0;  // 0 TPX-12, 1 TPX-24W
    std::filesystem::path first, second;
    PortSettings port;
    int testMethod = kTestNone;
    int traceLevel = 2;
    Timing timing;
    // Where the "Trace" folder goes: the program's current folder at start-up.
    std::filesystem::path traceFolder;
};

class Session : public upgrade::SessionCore {
public:
    enum State {
        kBeginning, kOpening, kNegotiating, kBootChecksum, kVersionCheck, kFirstFile, kSecondFile,
        kTotalChecksum, kRestart, kTerminate, kExit
    };
    static constexpr int kBlockSize = 256;
    static constexpr int kPacketSize = 268;

    // `trace` outlives the session: its files stay open until the next session opens its own.
    Session(EventLoop& loop, DeviceOpener& opener, upgrade::UpgradeHost& host, upgrade::SessionTrace& trace,
            SessionInputs inputs);
    ~Session() override;

    // The whole session: 0, or a result code (resultMessage() names it).
    int run();
    static std::string resultMessage(int code);
    static const char* stateName(int state);

    // The DATA_PC packet of `block` holding `data` (up to 256 bytes, padded with zeros).
    static Bytes dataPacket(std::uint32_t block, ByteView data);

private:
    enum ReplyType { kChecksumReply = 0, kVersionReply = 1, kRestartReply = 2, kDataReply = 3 };

    int step();
    int beginning();
    int opening();
    int negotiating();
    int bootChecksum();
    int versionCheck();
    int sendBlock(std::uint32_t block, ByteView data, const std::string& fileName) override;
    int checksumExchange(int k) override;
    int totalChecksum();
    int restart();
    int terminate();

    int waitReply(int type);
    bool answered(int type) const;
    void recognize(int expected);
    void describeBuffer();
    bool waitForPrompt(std::int64_t start);
    bool waitForAck(std::int64_t start);
    // Delivers received blocks until something arrives or about `ms` pass.
    void poll(int ms);

    void send(ByteView frame);
    upgrade::TraceFile& protocol() { return trace_.protocol(); }

    EventLoop& loop_;
    PortSettings port_settings_;
    Timing timing_;
    LocalPort port_;

    int state_ = kBeginning;
    int attempts_ = 0;
    Bytes lastFrame_;
    std::uint8_t lastChecksumId_ = 0;
    std::uint8_t lastRestartId_ = 0;
    std::uint32_t currentBlock_ = 0;
    // Answers counted by recognition.
    bool checksumAck_ = false, checksumNack_ = false, restartAck_ = false, dataAck_ = false, dataNack_ = false,
         versionInf_ = false;
};

}  // namespace tpx::local
