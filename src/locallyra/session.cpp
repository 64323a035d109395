#include "locallyra/session.h"

#include "common/checksum.h"
#include "common/files.h"

namespace tpx::local {

namespace {

constexpr std::uint8_t kStx = 0x02, kEtx = 0x03, kClass = 0x13;
constexpr std::string_view kPrompt = "ENTER PASSWORD: ";
constexpr std::string_view kPassword = "kelmor\r";
constexpr std::uint8_t kAck = 0x06;
constexpr int kLoginSeconds = 5;
constexpr int kVersionPauseMs = 15000;
constexpr int kRestartWait = 5, kRestartTries = 3;
// Bytes a reply of each type needs before the ring is looked at.
constexpr int kExpected[] = {6, 16, 6, 9};

}  // namespace

const char* Session::stateName(int state) {
    static const char* const kNames[] = {"Beginning",  "Opening",    "Negotiating",   "BootChecksum",
                                         "VersionCheck", "FirstFile", "SecondFile",    "TotalChecksum",
                                         "Restart",    "Terminate",  "Exit"};
    return state >= 0 && state <= kExit ? kNames[state] : "";
}

std::string Session::resultMessage(int code) {
    switch (code) {
        case 4:
        case 7: return "ERROR : Cannot create TRACE file !";
        case 5: return "ERROR : Cannot open binary file !";
        case 6: return "ERROR : Binary file size does not match !";
        case 8: return "ERROR : Cannot open COM port !";
        case 9: return "ERROR : Local negotiation failed !";
        case 10: return "ERROR : System does not send checksum info !";
        case 11: return "ERROR : Checksum does not match !";
        case 12: return "ERROR : System does not send RESTART_ACK !";
        case 13: return "ERROR : RESTART_COUNT overflow !";
        case 14: return "ERROR : Too many communication errors !";
        case 16: return "ERROR : System does not respond !";
        case 17: return "ERROR : Invalid program state !";
        default: return "ERROR : Unknown error code !";
    }
}

Bytes Session::dataPacket(std::uint32_t block, ByteView data) {
    Bytes p{kStx, kClass, 0x15};
    appendBe32(p, block);
    appendBe16(p, static_cast<std::uint16_t>(data.size()));
    p.insert(p.end(), data.begin(), data.end());
    p.resize(9 + kBlockSize, 0);
    appendBe16(p, byteSum16(p));
    p.push_back(kEtx);
    return p;
}

namespace {
constexpr upgrade::Style kStyle{"Local", Session::kBlockSize, false, "-----------------------------",
                                "------------------------------------------", "------------------------------------",
                                false};
}  // namespace

Session::Session(EventLoop& loop, DeviceOpener& opener, upgrade::UpgradeHost& host, upgrade::SessionTrace& trace,
                 SessionInputs inputs)
    : SessionCore(loop, host, trace, kStyle,
                  {inputs.system, inputs.first, inputs.second, inputs.testMethod, inputs.traceLevel, inputs.traceFolder}),
      loop_(loop),
      port_settings_(inputs.port),
      timing_(inputs.timing),
      port_(loop, opener, trace) {}

Session::~Session() { port_.close(); }

int Session::run() {
    monitor("\r\n  Now, starting upgrade ...");
    state_ = kBeginning;
    protocol().printf("\n\n---------- Program Status : %s ----------\n\n", stateName(state_));
    int result = 0;
    for (;;) {
        if (state_ < 0 || state_ > kTerminate) {
            protocol().write(" Invalid Program Status\n");
            protocol().write(" Program aborted\n");
            result = 17;
            break;
        }
        result = step();
        if (result != 0) break;
        if (state_ == kExit) {
            result = pendingResult_;
            break;
        }
        protocol().printf("\n\n---------- Program Status : %s ----------\n\n", stateName(state_));
    }
    port_.close();
    return result;
}

int Session::step() {
    switch (state_) {
        case kBeginning: return beginning();
        case kOpening: return opening();
        case kNegotiating: return negotiating();
        case kBootChecksum: return bootChecksum();
        case kVersionCheck: return versionCheck();
        case kFirstFile:
        case kSecondFile:
            if (int r = sendFile()) return r;
            state_ = kTotalChecksum;
            return 0;
        case kTotalChecksum: return totalChecksum();
        case kRestart: return restart();
        case kTerminate: return terminate();
        default: return 17;
    }
}

// --- Beginning and Opening --------------------------------------------------------------------

int Session::beginning() {
    port_.ring().clear();
    attempts_ = 0;
    switch (prepare()) {
        case Prepared::Ok: break;
        case Prepared::ImageFailed: return 5;
        case Prepared::ProtocolFailed: return 4;
        case Prepared::FrameFailed: return 7;
        case Prepared::SizeWrong: return 6;
    }
    finishPreparing();
    state_ = kOpening;
    return 0;
}

int Session::opening() {
    status("PORT_OPENING");
    const PortSettings& s = port_settings_;
    char line[64];
    monitor("\r\n  Now, opening COM port.. ");
    std::snprintf(line, sizeof line, "   -- COM port   : COM%d", s.port);
    monitor(line);
    std::snprintf(line, sizeof line, "   -- Baud rate  : %d", s.baud);
    monitor(line);
    std::snprintf(line, sizeof line, "   -- Data size  : %d", s.dataBits);
    monitor(line);
    std::snprintf(line, sizeof line, "   -- Parity check : %s", s.parity == 1 ? "Odd" : s.parity == 2 ? "Even" : "None");
    monitor(line);
    std::snprintf(line, sizeof line, "   -- Stop bit   : %d", s.stopCode == 2 ? 2 : 1);
    monitor(line);
    if (!port_.OpenConnection(s)) {
        monitor("   -- COM port opening failed.. ");
        return 8;
    }
    monitor("   -- COM port opened.. ");
    state_ = kNegotiating;
    return 0;
}

// --- Negotiating --------------------------------------------------------------------------------

void Session::poll(int ms) {
    const std::uint64_t seen = port_.ring().appended();
    const std::int64_t second = loop_.calendarSeconds();
    loop_.waitUntil([&] { return port_.ring().appended() != seen || loop_.calendarSeconds() != second; }, ms);
}

bool Session::waitForPrompt(std::int64_t start) {
    ReceiveRing& ring = port_.ring();
    const int n = static_cast<int>(kPrompt.size());
    while (loop_.calendarSeconds() - start <= kLoginSeconds) {
        while (ring.length() >= n) {
            bool match = true;
            for (int i = 0; i < n && match; ++i) match = ring.at(i) == static_cast<std::uint8_t>(kPrompt[i]);
            if (match) {
                ring.take(n);
                return true;
            }
            ring.take(1);
        }
        poll(100);
    }
    return false;
}

bool Session::waitForAck(std::int64_t start) {
    ReceiveRing& ring = port_.ring();
    while (loop_.calendarSeconds() - start <= kLoginSeconds) {
        while (ring.length() > 0) {
            const std::uint8_t b = ring.at(0);
            ring.take(1);
            if (b == kAck) return true;
        }
        poll(100);
    }
    return false;
}

int Session::negotiating() {
    if (++attempts_ > timing_.negotiation.retries) return 9;
    status("NEGOTIATING");
    if (attempts_ == 1) monitor("\r\n  Now, negotiating service .. ");
    send(Bytes{0x0D});
    status("WAITING_REPLY");
    bool ok = waitForPrompt(loop_.calendarSeconds());
    if (ok) {
        send(asBytes(kPassword));
        status("WAITING_REPLY");
        ok = waitForAck(loop_.calendarSeconds());
    }
    if (ok) {
        monitor("   -- Negotiation succeeded .. ");
        state_ = kBootChecksum;
    } else {
        monitor("   -- No good ! Try again ..");
        ++errors_;
        progress();
    }
    return 0;
}

// --- checksums and version ----------------------------------------------------------------------

int Session::checksumExchange(int k) {
    status("CHECKSUM_REQ");
    const std::uint8_t id = static_cast<std::uint8_t>(upgrade::kFirstChecksumId + k);
    const std::uint16_t value = checksumFor(k);
    lastChecksumId_ = id;
    Bytes frame{kStx, kClass, 0x10, 0x03, id};
    appendBe16(frame, value);
    frame.push_back(kEtx);
    send(frame);
    switch (waitReply(kChecksumReply)) {
        case 0: return 0;
        case 3: return 11;
        default: return 16;
    }
}

int Session::bootChecksum() {
    for (int k = 0; k < 2; ++k)
        if (int r = checksumExchange(k)) return r;
    state_ = kVersionCheck;
    return 0;
}

int Session::versionCheck() {
    loop_.pause(kVersionPauseMs);
    status("VERSION_REQ");
    send(Bytes{kStx, kClass, 0x18, kEtx});
    if (waitReply(kVersionReply) != 0) return 16;
    host_.setVersion(version_);
    state_ = kFirstFile;
    return 0;
}

// --- the files ----------------------------------------------------------------------------------

int Session::sendBlock(std::uint32_t block, ByteView data, const std::string& name) {
    beginBlock(block);
    currentBlock_ = block;
    const Bytes packet = dataPacket(block, data);
    auto attempt = [&] {
        send(packet);
        const int r = waitReply(kDataReply);
        return r == 0 ? 0 : r == 3 ? 1 : 16;
    };
    int result = attempt();
    for (int retry = 1; result != 0 && retry <= timing_.data.retries; ++retry) {
        status("RETRYING");
        if (result == 1) {
            monitor("   -- DATA_NACK ! Try again ..");
            protocol().write(" NACK received !!\n");
        } else {
            monitor("   -- No response ! Try again ..");
            protocol().printf(" No response from %s !!\n", systemName().c_str());
        }
        protocol().printf(" Retry %d :\n", retry);
        if (trace_.verbose()) {
            protocol().write("\n --------------------------------");
            protocol().printf("\n -- Packet %04u Retransmission --", block);
            protocol().write("\n --------------------------------\n\n");
        }
        result = attempt();
    }
    if (result == 0) return 0;
    blockFailed(name);
    return 14;
}

int Session::totalChecksum() {
    int r = 0;
    switch (SessionCore::totalChecksum(11, r)) {
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
    send(Bytes{kStx, kClass, 0x13, 0x01, id, kEtx});
    if (waitReply(kRestartReply) != 0) return 12;
    state_ = fileIndex_ == 0 ? kFirstFile : kSecondFile;
    if (restarted()) {
        state_ = kTerminate;
        pendingResult_ = 13;
    }
    return 0;
}

int Session::terminate() {
    port_.close();
    writeClosingLines();
    state_ = kExit;
    return 0;
}

// --- replies ------------------------------------------------------------------------------------

void Session::send(ByteView frame) {
    lastFrame_.assign(frame.begin(), frame.end());
    port_.WriteCommBlock(frame);
}

bool Session::answered(int type) const {
    switch (type) {
        case kChecksumReply: return checksumAck_ || checksumNack_;
        case kVersionReply: return versionInf_;
        case kRestartReply: return restartAck_;
        default: return dataAck_ || dataNack_;
    }
}

void Session::describeBuffer() {
    if (!trace_.detail()) return;
    const ReceiveRing& ring = port_.ring();
    protocol().write("\n Buffer Description ....\n");
    protocol().printf("\n        Buffer length : %d", ring.length());
    protocol().printf("\n        Buffer head : %d", ring.head());
    protocol().printf("\n        Buffer rear : %d", ring.rear());
    if (ring.length() == 0) protocol().write("\n        Buffer contents : Now empty ....\n");
    else protocol().write("\n        Buffer contents : " + ring.hex() + "\n");
}

void Session::recognize(int expected) {
    ReceiveRing& ring = port_.ring();
    auto label = [&](const char* text) {
        trace_.currentFrame().write(text);
        trace_.currentFrame().write(ring.hex() + "\n");
    };
    auto recognized = [&](int take) {
        describeBuffer();
        protocol().write("\n Packet has been recognized ....\n");
        ring.take(take);
    };
    auto version = [&] {
        const int n = ring.at(3);
        std::string text;
        for (int i = 0; i < n; ++i) text.push_back(static_cast<char>(ring.at(4 + i)));
        version_ = text;
        versionInf_ = true;
        label("\n VERSION_INF   : ");
    };
    if (ring.at(0) == kStx && ring.at(1) == kClass && ring.at(expected - 1) == kEtx) {
        const std::uint8_t code = ring.at(2);
        auto block = [&] {
            return static_cast<std::uint32_t>(ring.at(4)) << 24 | static_cast<std::uint32_t>(ring.at(5)) << 16 |
                   static_cast<std::uint32_t>(ring.at(6)) << 8 | ring.at(7);
        };
        switch (code) {
            case 0x11:
            case 0x12:
                if (ring.at(3) == 0x01 && ring.at(4) == lastChecksumId_) (code == 0x11 ? checksumAck_ : checksumNack_) = true;
                label(code == 0x11 ? "\n CHECKSUM_ACK  : " : "\n CHECKSUM_NACK : ");
                break;
            case 0x14:
                if (ring.at(3) == 0x01 && ring.at(4) == lastRestartId_) restartAck_ = true;
                label("\n RESTART_ACK   : ");
                break;
            case 0x16:
            case 0x17:
                if (expected >= 9 && ring.at(3) == 0x04 && block() == currentBlock_) (code == 0x16 ? dataAck_ : dataNack_) = true;
                label(code == 0x16 ? "\n DATA_ACK      : " : "\n DATA_NACK     : ");
                break;
            case 0x19:
                if (ring.length() >= 4 + ring.at(3)) version();
                break;
            default:
                label("\n ILLEGAL_CMD   : ");
                break;
        }
        recognized(expected);
        return;
    }
    if (ring.length() >= 5 && ring.at(0) == kStx && ring.at(1) == kClass && ring.at(2) == 0x19 &&
        ring.length() >= 5 + ring.at(3) && ring.at(4 + ring.at(3)) == kEtx) {
        version();
        recognized(expected);
        return;
    }
    trace_.currentFrame().write("\n ILLEGAL_CMD   : " + ring.hex() + "\n");
    protocol().write("\n ILLEGAL_CMD   : \n");
    ring.clear();
    protocol().write("\n Clear all buffer ... \n");
    trace_.currentFrame().write("\n Clear all buffer ... \n");
}

int Session::waitReply(int type) {
    switch (type) {
        case kChecksumReply: checksumAck_ = checksumNack_ = false; break;
        case kVersionReply: versionInf_ = false; break;
        case kRestartReply: restartAck_ = false; break;
        default: dataAck_ = dataNack_ = false; break;
    }
    const Phase phase = type == kChecksumReply  ? timing_.checksum
                        : type == kVersionReply ? timing_.version
                        : type == kRestartReply ? Phase{kRestartWait, kRestartTries}
                                                : timing_.data;
    const int expected = kExpected[type];
    std::int64_t start = loop_.calendarSeconds();
    int tries = 0;
    ReceiveRing& ring = port_.ring();
    for (;;) {
        if (ring.length() >= expected) recognize(expected);
        if (answered(type)) break;
        const std::int64_t elapsed = loop_.calendarSeconds() - start;
        if (elapsed > 1) status("WAITING_REPLY");
        if (elapsed >= phase.wait) {
            protocol().printf("\n Elapsed time : %d\n", static_cast<int>(elapsed));
            status("RETRYING");
            monitor("   -- No good ! Try again ..");
            dots_.reset();
            ++errors_;
            progress();
            if (++tries >= phase.retries) {
                protocol().write("\nERROR : Retry count overflow\n");
                return 15;
            }
            describeBuffer();
            ring.clear();
            describeBuffer();
            protocol().write("\n");
            protocol().write("ERROR : Waiting time has expired\n");
            protocol().write("ERROR : Resend Packet\n");
            const Bytes again = lastFrame_;
            send(again);
            start = loop_.calendarSeconds();
            continue;
        }
        // Waits for the next block or the next second (whichever comes first).
        if (ring.length() < expected || !answered(type)) poll(100);
    }
    switch (type) {
        case kChecksumReply:
            protocol().write(checksumAck_ ? "\n Received CHECKSUM_ACK\n" : "\n Received CHECKSUM_NACK\n");
            return checksumAck_ ? 0 : 3;
        case kDataReply:
            protocol().write(dataAck_ ? "\n Received DATA_ACK\n" : "\n Received DATA_NACK\n");
            return dataAck_ ? 0 : 3;
        case kRestartReply: protocol().write("\n Received RESTART_ACK\n"); return 0;
        default: return 0;
    }
}

}  // namespace tpx::local
