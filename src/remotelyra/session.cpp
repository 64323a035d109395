#include "remotelyra/session.h"

#include <cstdarg>

#include "common/checksum.h"
#include "common/files.h"

namespace tpx::remote {

namespace {
constexpr std::uint8_t kStx = 0x02, kEtx = 0x03;
constexpr std::uint8_t kNegotiation = 0x10, kUpgrade = 0x11, kService = 0x11;
constexpr int kRetransmissions = 3;

std::string hex(ByteView b) {
    std::string out;
    char buf[4];
    for (std::uint8_t x : b) {
        std::snprintf(buf, sizeof buf, "%02x", x);
        out += buf;
    }
    return out;
}
}  // namespace

const char* Session::stateName(int state) {
    static const char* const kNames[] = {"Beginning", "Connecting", "Negotiating",   "BootChecksum", "FirstFile",
                                         "SecondFile", "TotalChecksum", "Restart", "Terminate", "Exit"};
    return state >= 0 && state <= kExit ? kNames[state] : "";
}

std::string Session::resultMessage(int code) {
    switch (code) {
        case 4: return "ERROR : CAPI is not installed !";
        case 5: return "ERROR : CAPI version is lower than 2.0 !";
        case 6: return "ERROR : CAPI registration failed !";
        case 7:
        case 10: return "ERROR : Cannot create TRACE file !";
        case 8: return "ERROR : Cannot open binary file !";
        case 9: return "ERROR : Binary file size does not match !";
        case 11: return "ERROR : Rejecting incoming calls failed !";
        case 12: return "ERROR : Connection Setup failed !";
        case 13: return "ERROR : Negotiation start phase failed !";
        case 14: return "ERROR : Service negotiation phase failed !";
        case 15: return "ERROR : Remote system rejected SW Upgrade !";
        case 16: return "ERROR : Remote system does not send checksum info !";
        case 17: return "ERROR : Checksum does not match !";
        case 18: return "ERROR : Remote system does not send RESTART_ACK !";
        case 19: return "ERROR : Too many communication errors !";
        case 21: return "ERROR : Cannot receive CONFIRM from CAPI !";
        case 22: return "ERROR : Connection setup failed by time-out !";
        case 23: return "ERROR : Remote system does not respond !";
        case 24: return "ERROR : Invalid program state !";
        case 26:
            return "ERROR : Abnormal disconnection during line connection !\n              Please try again in a few minutes";
        case 27:
            return "ERROR : Abnormal disconnection during negotiation !\n              Please try again in a few minutes";
        case 28:
            return "ERROR : Abnormal disconnection during checksum verification !\n              Please try again in a few minutes";
        case 29:
            return "ERROR : Abnormal disconnection during restart procedure !\n              Please try again in a few minutes";
        case 30:
            return "ERROR : Abnormal disconnection during data transmission !\n              Please try again in a few minutes";
        default: return "ERROR : Unknown error code !";
    }
}

Bytes Session::dataPacket(std::uint32_t block, ByteView data) {
    Bytes p{kStx, kUpgrade, 0x15};
    appendBe32(p, block);
    appendBe16(p, static_cast<std::uint16_t>(data.size()));
    p.insert(p.end(), data.begin(), data.end());
    p.resize(9 + kBlockSize, 0);
    appendBe16(p, byteSum16(p));
    p.push_back(kEtx);
    return p;
}

namespace {
constexpr upgrade::Style kStyle{"Remote", Session::kBlockSize, true, "------------------------------",
                                "------------------------------------------------",
                                "-------------------------------------------------", true};
}  // namespace

Session::Session(capi::CapiApi& api, const Clock& clock, upgrade::UpgradeHost& host, upgrade::SessionTrace& trace,
                 SessionInputs inputs)
    : SessionCore(clock, host, trace, kStyle,
                  {inputs.system, inputs.first, inputs.second, inputs.testMethod, inputs.traceLevel, inputs.traceFolder}),
      number_(inputs.number),
      timing_(inputs.timing),
      layer_(api, clock, capi::TraceOptions::remoteLyra(core_.traceLevel)),
      conns_(layer_, *this, capi::Flavour::RemoteLyra) {}

Session::~Session() { layer_.removeSink(); }

int Session::run() {
    monitor("\r\n  Now, starting upgrade ...");
    conns_.slot(0) = conns_.slot(1) = -1;
    monitor("  Checking CAPI ...");
    capi::CapiApi& api = layer_.api();
    if (api.isInstalled() != 0) return 4;
    std::array<std::uint32_t, 4> version{};
    if (api.getVersion(version) != 0 || version[0] < 2) return 5;
    monitor("   -- CAPI is installed ...");
    if (conns_.RegisterCAPI() == 0) return 6;
    conns_.reset();

    const int result = machine();

    const Phase d = timing_.disconnect;
    const std::int64_t until = clock_.calendarSeconds() + static_cast<std::int64_t>(d.wait) * std::max(d.retries, 1);
    conns_.disconnectAll([&] { return clock_.calendarSeconds() >= until; });
    layer_.removeSink();
    trace_.close();
    conns_.ReleaseCAPI();
    return result;
}

int Session::machine() {
    state_ = kBeginning;
    text("\n\n---------- Program Status : %s ----------\n\n", stateName(state_));
    for (;;) {
        int r = 0;
        switch (state_) {
            case kBeginning: r = beginning(); break;
            case kConnecting: r = connecting(); break;
            case kNegotiating: r = negotiating(); break;
            case kBootChecksum: r = bootChecksum(); break;
            case kFirstFile:
            case kSecondFile:
                r = sendFile();
                if (r == 0) state_ = kTotalChecksum;
                break;
            case kTotalChecksum: r = totalChecksum(); break;
            case kRestart: r = restart(); break;
            case kTerminate: r = terminate(); break;
            default:
                text(" Invalid Program Status\n");
                text(" Program aborted\n");
                return 24;
        }
        if (r != 0) return r;
        if (state_ == kExit) return pendingResult_;
        text("\n\n---------- Program Status : %s ----------\n\n", stateName(state_));
    }
}

// --- Beginning, Connecting, Negotiating ---------------------------------------------------------

void Session::protocolOpened() {
    layer_.installSink([this](capi::TraceKind kind, const std::string& t, ByteView message) {
        trace_.protocol().write(capi::CapiLayer::sinkText(kind, t, message));
    });
}

int Session::beginning() {
    switch (prepare()) {
        case Prepared::Ok: break;
        case Prepared::ImageFailed: return 8;
        case Prepared::ProtocolFailed: return 7;
        case Prepared::FrameFailed: return 10;
        case Prepared::SizeWrong: return 9;
    }
    if (conns_.ListenAll_h(0) != 0 || waitEvent(kListenConf) != 0) return 11;
    finishPreparing();
    state_ = kConnecting;
    return 0;
}

int Session::connecting() {
    status("CONNECTING");
    monitor("\r\n  Now, connecting line ( " + number_ + " ).. ");
    if (conns_.Connect_h(conns_.slot(0), number_, 4, 0, 1, 0, {}) == 0) {
        current_ = conns_.slot(0);
    } else if (conns_.Connect_h(conns_.slot(1), number_, 4, 0, 1, 0, {}) == 0) {
        current_ = conns_.slot(1);
    } else {
        text(" Cannot find a free channel\n");
        text(" Connection Setup Phase failed\n");
        text(" Program aborted\n");
        return 12;
    }
    switch (waitEvent(kConnected)) {
        case 0: break;
        case kLineLost: return 26;
        default: return 22;
    }
    monitor("   -- Connected .. ");
    state_ = kNegotiating;
    return 0;
}

int Session::sendConfirmed(const Bytes& frame, int confEvent, const char* timeoutText, const char* lostText,
                           int lostCode) {
    send(frame);
    switch (waitEvent(confEvent)) {
        case 0: return 0;
        case kLineLost: text("%s", lostText); return lostCode;
        default: text("%s", timeoutText); return 21;
    }
}

int Session::negotiating() {
    status("NEGOTIATING");
    monitor("\r\n  Now, negotiating service .. ");
    // NEGO_START is optional.
    switch (waitEvent(kNegoStart)) {
        case 0: break;
        case kLineLost:
            text("ERROR : Disconnection while waiting for NEGO_START\n");
            text("ERROR : No Negotiation Start\n");
            return 27;
        default: text("ERROR : Did not receive NEGO_START\n"); break;
    }

    auto failed = [this](const char* what, int code) {
        text("%s", what);
        return code;
    };
    status("SERVICE_REQ");
    if (int r = sendConfirmed({kStx, kNegotiation, 0x11, 0x01, kService, kEtx}, kServiceConf,
                              "ERROR : CAPI Timeout while sending SERVICE_REQ\n",
                              "ERROR : Disconnection while sending SERVICE_REQ\n", 27))
        return failed("ERROR : Failed service negotiation\n", r);
    switch (waitEvent(kServiceAnswer)) {
        case 2: break;
        case 3: text("Received SERVICE_NACK\n"); return failed("ERROR : Failed service negotiation\n", 15);
        case kLineLost:
            text("ERROR : Disconnection while waiting for SERVICE_REQ response\n");
            return failed("ERROR : Failed service negotiation\n", 27);
        default:
            text("ERROR : No response for SERVICE_REQ\n");
            return failed("ERROR : Failed service negotiation\n", 14);
    }

    status("VERSION_REQ");
    if (int r = sendConfirmed({kStx, kNegotiation, 0x14, kEtx}, kVersionConf,
                              "ERROR : CAPI Timeout while sending VERSION_REQ\n",
                              "ERROR : Disconnection while sending VERSION_REQ\n", 27))
        return failed("ERROR : Failed version request\n", r);
    switch (waitEvent(kVersionInf)) {
        case 0: host_.setVersion(version_); break;
        case kLineLost:
            text("ERROR : Disconnection while waiting for VERSION_INF\n");
            return failed("ERROR : Failed version request\n", 27);
        default:
            text("ERROR : No VERSION_INF from %s\n", systemName().c_str());
            return failed("ERROR : Failed version request\n", 23);
    }

    status("SERVICE_START");
    if (int r = sendConfirmed({kStx, kNegotiation, 0x16, 0x01, kService, kEtx}, kStartConf,
                              "ERROR : CAPI Timeout while sending START_REQ\n",
                              "ERROR : Disconection while sending START_REQ\n", 27))
        return failed("ERROR : Failed service start\n", r);
    switch (waitEvent(kStartAck)) {
        case 0: break;
        case kLineLost:
            text("ERROR : Disconnection while waiting for START_ACK\n");
            return failed("ERROR : Failed service start\n", 27);
        default:
            text("ERROR : No START_ACK from %s\n", systemName().c_str());
            return failed("ERROR : Failed service start\n", 23);
    }
    monitor("   -- Negotiation succeeded .. ");
    state_ = kBootChecksum;
    return 0;
}

// --- checksums and files ------------------------------------------------------------------------

int Session::checksumExchange(int k) {
    status("CHECKSUM_INF");
    const std::uint8_t id = static_cast<std::uint8_t>(upgrade::kFirstChecksumId + k);
    const std::uint16_t value = checksumFor(k);
    Bytes frame{kStx, kUpgrade, 0x10, 0x03, id};
    appendBe16(frame, value);
    frame.push_back(kEtx);
    // The id is known before the frame leaves, so an answer that overtakes the confirmation
    // still counts.
    lastChecksumId_ = id;
    if (int r = sendConfirmed(frame, kChecksumConf, "ERROR : CAPI Timeout while sending CHECKSUM_INF\n",
                              "ERROR : Disconnection while sending CHECKSUM_INF\n", 28))
        return r;
    switch (waitEvent(kChecksumAnswer)) {
        case 2: return 0;
        case 3: text("ERROR : Received CHECKSUM_NACK\n"); return 17;
        case kLineLost: text("ERROR : Disconnection while waiting for CHECKSUM_ACK OR NACK\n"); return 28;
        default: text("ERROR : No reponse for CHECKSUM_INF\n"); return 16;
    }
}

int Session::bootChecksum() {
    for (int k = 0; k < 2; ++k)
        if (int r = checksumExchange(k)) return r;
    state_ = kFirstFile;
    return 0;
}

int Session::sendBlock(std::uint32_t block, ByteView data, const std::string& name) {
    beginBlock(block);
    currentBlock_ = block;
    const Bytes packet = dataPacket(block, data);
    auto attempt = [&]() -> int {
        if (int r = sendConfirmed(packet, kDataConf, "ERROR : CAPI Timeout while sending DATA_PC\n",
                                  "ERROR : Disconnection while sending DATA_PC\n", 30))
            return r;
        switch (waitEvent(kDataAnswer)) {
            case 2: return 0;
            case 3: return 1;
            case kLineLost: text("ERROR : Disconnection while waiting for DATA_ACK or NACK\n"); return 30;
            default: text("ERROR : No response for DATA_PC from remote system\n"); return 23;
        }
    };
    int r = attempt();
    for (int retry = 1; r != 0 && r != 30 && retry <= kRetransmissions; ++retry) {
        status("RETRYING");
        if (r == 1) text(" NACK received !!\n");
        else if (r == 21) text(" CAPI does not respond !!\n");
        else text(" No response from %s !!\n", systemName().c_str());
        text(" Retry %d :\n", retry);
        if (trace_.verbose()) text("\n -- Packet %u Retransmission --\n\n", block);
        r = attempt();
    }
    if (r == 0 || r == 30) return r;
    blockFailed(name);
    return 19;
}

int Session::totalChecksum() {
    int r = 0;
    switch (SessionCore::totalChecksum(17, r)) {
        case AfterTotal::Restart: state_ = kRestart; return 0;
        case AfterTotal::SecondFile: state_ = kSecondFile; return 0;
        case AfterTotal::Terminate: state_ = kTerminate; return 0;
        case AfterTotal::Failed: break;
    }
    return r;
}

int Session::restart() {
    const std::uint8_t id = static_cast<std::uint8_t>(0x10 + fileIndex_);
    lastRestartId_ = id;
    if (int r = sendConfirmed({kStx, kUpgrade, 0x13, 0x01, id, kEtx}, kRestartConf,
                              "ERROR : CAPI Timeout while sending RESTART_REQ\n",
                              "ERROR : Disconnection while sending RESTART_REQ\n", 29))
        return r;
    switch (waitEvent(kRestartAck)) {
        case 0: break;
        case kLineLost: text("ERROR : Disconnection while waiting for RESTART_ACK\n"); return 29;
        default: text("ERROR : No RESTART_ACK from %s\n", systemName().c_str()); return 18;
    }
    state_ = fileIndex_ == 0 ? kFirstFile : kSecondFile;
    if (restarted()) {
        // The switch refused the file's checksum six times: the session ends without success.
        state_ = kTerminate;
        pendingResult_ = 17;
    }
    return 0;
}

int Session::terminate() {
    writeClosingLines();
    state_ = kExit;
    return 0;
}

// --- waiting ------------------------------------------------------------------------------------

bool Session::done(int e) const {
    switch (e) {
        case kListenConf: return conns_.listenConfirmed;
        case kConnected: return conns_.connected;
        case kNegoStart: return negoStart_;
        case kServiceAnswer: return serviceAck_ || serviceNack_;
        case kVersionInf: return versionInf_;
        case kStartAck: return startAck_;
        case kChecksumAnswer: return checksumAck_ || checksumNack_;
        case kRestartAck: return restartAck_;
        case kDataAnswer: return dataAck_ || dataNack_;
        default: return conns_.dataConfirmed;  // 3 to 8
    }
}

void Session::clearFlags(int e) {
    switch (e) {
        case kListenConf: conns_.listenConfirmed = false; break;
        case kConnected: conns_.connected = false; break;
        case kNegoStart: negoStart_ = false; break;
        case kServiceAnswer: serviceAck_ = serviceNack_ = false; break;
        case kVersionInf: versionInf_ = false; break;
        case kStartAck: startAck_ = false; break;
        case kChecksumAnswer: checksumAck_ = checksumNack_ = false; break;
        case kRestartAck: restartAck_ = false; break;
        case kDataAnswer: dataAck_ = dataNack_ = false; break;
        default: conns_.dataConfirmed = false; break;
    }
}

Phase Session::phaseOf(int e) const {
    switch (e) {
        case kConnected: return timing_.line;
        case kNegoStart: return {1, 1};
        case kServiceAnswer:
        case kVersionInf:
        case kStartAck: return timing_.negotiation;
        case kChecksumAnswer: return timing_.checksum;
        case kDataAnswer: return timing_.data;
        default: return timing_.others;  // 0, 3 to 8, 13
    }
}

int Session::waitEvent(int e) {
    clearFlags(e);
    packetFail_ = false;
    conns_.lineLost = false;
    const Phase p = phaseOf(e);
    int tries = 0;
    bool shown = false;
    std::int64_t start = clock_.calendarSeconds();
    for (;;) {
        conns_.Handle_CAPI_Msg();
        if (done(e) || (e != kListenConf && conns_.lineLost)) break;
        const std::int64_t elapsed = clock_.calendarSeconds() - start;
        if (!shown && elapsed > 1) {
            status("AWAITING_REPLY");
            shown = true;
        }
        if (elapsed < p.wait && !packetFail_) continue;
        status(packetFail_ ? "PACKET_FAIL" : "RETRYING");
        if (e != kNegoStart) {
            monitor("   -- No good ! Try again ..");
            dots_.reset();
            ++errors_;
            progress();
            shown = false;
        }
        if (++tries >= p.retries) {
            text("\nERROR : Retry count overflow\n");
            return kOverflow;
        }
        if (e >= kServiceAnswer && e <= kDataAnswer) {
            text("\n");
            text("ERROR : Waiting time has expired\n");
            text("ERROR : Resend Packet\n");
            conns_.SendData_h(current_, lastFrame_, static_cast<std::uint16_t>(tries + 1));
        }
        packetFail_ = false;
        start = clock_.calendarSeconds();
    }
    if (!done(e)) {
        text("\nERROR : Abnormal line disconnection\n");
        return kLineLost;
    }
    switch (e) {
        case kServiceAnswer: text(serviceAck_ ? "Received SERVICE_ACK\n" : "Received SERVICE_NACK\n"); return serviceAck_ ? 2 : 3;
        case kChecksumAnswer:
            text(checksumAck_ ? "Received CHECKSUM_ACK\n" : "Received CHECKSUM_NACK\n");
            return checksumAck_ ? 2 : 3;
        case kDataAnswer: text(dataAck_ ? "Received DATA_ACK\n" : "Received DATA_NACK\n"); return dataAck_ ? 2 : 3;
        default: return 0;
    }
}

void Session::send(const Bytes& frame) {
    lastFrame_ = frame;
    conns_.SendData_h(current_, frame, 1);
}

// --- received blocks ----------------------------------------------------------------------------

void Session::dataArrived(int, ByteView block, std::uint16_t) {
    if (trace_.verbose()) text("\nData block : %s\n", hex(block).c_str());
    recognise(block);
    trace_.currentFrame().write(hex(block) + "\n");
}

void Session::recognise(ByteView b) {
    upgrade::TraceFile& frames = trace_.currentFrame();
    const std::size_t n = b.size();
    if (n >= 3 && b[0] == kStx && b[n - 1] == kEtx) {
        auto serviceByte = [&] { return n > 4 && b[3] == 0x01 && b[4] == kService; };
        if (b[1] == kNegotiation) {
            switch (b[2]) {
                case 0x10:
                    negoStart_ = true;
                    frames.write("NEGO_START    : ");
                    return;
                case 0x12:
                case 0x13:
                    if (!serviceByte()) return;
                    (b[2] == 0x12 ? serviceAck_ : serviceNack_) = true;
                    frames.write(b[2] == 0x12 ? "SERVICE_ACK   : " : "SERVICE_NACK  : ");
                    return;
                case 0x17:
                    if (!serviceByte()) return;
                    startAck_ = true;
                    frames.write("START_ACK     : ");
                    return;
                case 0x15:
                    if (n > 3 && 4u + b[3] <= n) version_.assign(b.begin() + 4, b.begin() + 4 + b[3]);
                    versionInf_ = true;
                    frames.write("VERSION_INF   : ");
                    return;
                default: break;
            }
        }
        if (b[1] == kUpgrade) {
            switch (b[2]) {
                case 0x11:
                case 0x12:
                    if (n > 4 && b[3] == 0x01 && b[4] == lastChecksumId_) {
                        (b[2] == 0x11 ? checksumAck_ : checksumNack_) = true;
                        frames.write(b[2] == 0x11 ? "CHECKSUM_ACK  : " : "CHECKSUM_NACK : ");
                    }
                    return;
                case 0x14:
                    if (n > 4 && b[3] == 0x01 && b[4] == lastRestartId_) {
                        restartAck_ = true;
                        frames.write("RESTART_ACK   : ");
                    }
                    return;
                case 0x16:
                case 0x17: {
                    const auto number = readBe32(b, 4);
                    if (n > 8 && b[3] == 0x04 && number && *number == currentBlock_) {
                        (b[2] == 0x16 ? dataAck_ : dataNack_) = true;
                        frames.write(b[2] == 0x16 ? "DATA_ACK      : " : "DATA_NACK     : ");
                    }
                    return;
                }
                default: break;
            }
        }
        if (b[1] == 0xEE && b[2] == 0x10) {
            packetFail_ = true;
            frames.write("PACKET_FAIL   : ");
            return;
        }
    }
    text("\nGarbage data block : %s\n", hex(b).c_str());
    frames.write("GARBAGE BLOCK : ");
}

}  // namespace tpx::remote
