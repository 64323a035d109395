// A remote upgrade session: RemoteLyra sends the two image files of a TPX-12 or TPX-24W to
// the switch over an ISDN data call, in 1024-byte blocks.
//
// Beginning (images, trace files, checksums, LISTEN) -> Connecting (the call) ->
// Negotiating (NEGO_START, SERVICE_REQ 0x11, VERSION_REQ, START_REQ) -> BootChecksum (ids
// 0x10, 0x11) -> FirstFile -> TotalChecksum (0x12) -> SecondFile -> TotalChecksum (0x13) ->
// Terminate -> Exit; a refused total checksum goes through Restart back to the same file.
// Every frame is one B3 data block: 02 class code ... 03 (class 0x10 negotiation, 0x11 the
// upgrade, 0xEE PACKET_FAIL).
//
// run() owns CAPI for the whole session; it polls CAPI with short blocking gets.
#pragma once

#include <filesystem>
#include <string>

#include "capi/connection.h"
#include "common/bytes.h"
#include "upgrade/core.h"

namespace tpx::remote {

using upgrade::Phase;

struct Timing {
    Phase line{10, 3};
    Phase negotiation{5, 6};
    Phase checksum{20, 3};
    Phase data{5, 3};
    Phase disconnect{5, 1};
    Phase others{5, 6};
};

using upgrade::kTestNone;
using upgrade::kTestRestartFirst;
using upgrade::kTestRestartSecond;

struct SessionInputs {
    int system = 0;  // 0 TPX-12, 1 TPX-24W
    std::string number;
    std::filesystem::path first, second;
    int testMethod = kTestNone;
    int traceLevel = 2;
    Timing timing;
    std::filesystem::path traceFolder;  // the program's current folder at start-up
};

class Session : public upgrade::SessionCore, private capi::ConnectionEvents {
public:
    enum State { kBeginning, kConnecting, kNegotiating, kBootChecksum, kFirstFile, kSecondFile, kTotalChecksum,
                 kRestart, kTerminate, kExit };
    static constexpr int kBlockSize = 1024;
    static constexpr int kPacketSize = 1036;

    Session(capi::CapiApi& api, const Clock& clock, upgrade::UpgradeHost& host, upgrade::SessionTrace& trace,
            SessionInputs inputs);
    ~Session() override;

    int run();
    static std::string resultMessage(int code);
    static const char* stateName(int state);
    // The DATA_PC packet of `block` holding `data` (up to 1024 bytes, padded with zeros).
    static Bytes dataPacket(std::uint32_t block, ByteView data);

private:
    enum Event {
        kListenConf = 0, kConnected = 1, kNegoStart = 2, kServiceConf = 3, kVersionConf = 4, kStartConf = 5,
        kChecksumConf = 6, kRestartConf = 7, kDataConf = 8, kServiceAnswer = 9, kVersionInf = 10, kStartAck = 11,
        kChecksumAnswer = 12, kRestartAck = 13, kDataAnswer = 14
    };
    static constexpr int kOverflow = 20, kLineLost = 25;

    int machine();
    int beginning();
    int connecting();
    int negotiating();
    int checksumExchange(int k) override;
    int bootChecksum();
    int sendBlock(std::uint32_t block, ByteView data, const std::string& fileName) override;
    void protocolOpened() override;
    int totalChecksum();
    int restart();
    int terminate();

    int waitEvent(int event);
    bool done(int event) const;
    void clearFlags(int event);
    Phase phaseOf(int event) const;
    void send(const Bytes& frame);
    // Sends a frame and waits for its DATA_B3_CONF: 0, or the failure's texts and code.
    int sendConfirmed(const Bytes& frame, int confEvent, const char* timeoutText, const char* lostText,
                      int lostCode);

    void dataArrived(int id, ByteView data, std::uint16_t handle) override;
    void recognise(ByteView block);

    std::string number_;
    Timing timing_;
    capi::CapiLayer layer_;
    capi::CapiConnections conns_;

    int state_ = kBeginning;
    int current_ = -1;
    Bytes lastFrame_;
    std::uint8_t lastChecksumId_ = 0;
    std::uint8_t lastRestartId_ = 0;
    std::uint32_t currentBlock_ = 0;
    bool negoStart_ = false, serviceAck_ = false, serviceNack_ = false, versionInf_ = false, startAck_ = false,
         checksumAck_ = false, checksumNack_ = false, restartAck_ = false, dataAck_ = false, dataNack_ = false,
         packetFail_ = false;
};

}  // namespace tpx::remote
