#include "isdnlink/remoteadmin.h"

#include <cctype>
#include <cstdarg>
#include <cstring>
#include <ctime>

#include "isdnlink/isdnlink.h"

namespace tpx::isdn {

namespace {

using capi::ConnState;

constexpr std::uint8_t kStx = 0x02, kEtx = 0x03;
constexpr std::uint8_t kService = 0x12;  // remote administration
constexpr int kReadPollMs = 20;          // an idle read waits 5 x this; a writer cuts it short

bool alnum(std::uint8_t b) { return b < 0x80 && std::isalnum(b); }

// A received block for the trace files: letters and digits as "%c ", other bytes as
// "%02x ", "> " and "< " where the two kinds meet; the last byte as `lastAlnum` or "%02x\n".
std::string renderReceived(ByteView block, const char* lastAlnum) {
    std::string out;
    char buf[16];
    for (std::size_t i = 0; i < block.size(); ++i) {
        const bool last = i + 1 == block.size();
        if (alnum(block[i])) {
            std::snprintf(buf, sizeof buf, last ? lastAlnum : "%c ", block[i]);
            out += buf;
            if (!last && !alnum(block[i + 1])) out += "> ";
        } else {
            std::snprintf(buf, sizeof buf, last ? "%02x\n" : "%02x ", block[i]);
            out += buf;
            if (!last && alnum(block[i + 1])) out += "< ";
        }
    }
    return out;
}

Bytes negotiation(std::uint8_t code, std::initializer_list<std::uint8_t> params) {
    Bytes f = {kStx, 0x10, code};
    f.insert(f.end(), params.begin(), params.end());
    f.push_back(kEtx);
    return f;
}

struct WaitRule {
    int seconds;
    int tries;
    bool resend;
};

}  // namespace

RemoteAdminLink::RemoteAdminLink(capi::CapiApi& api, const Clock& clock, Paths paths)
    : api_(api),
      clock_(clock),
      paths_(std::move(paths)),
      layer_(api, clock, capi::TraceOptions::isdnlink()),
      conns_(layer_, static_cast<capi::ConnectionEvents&>(*this), capi::Flavour::IsdnLink) {}

RemoteAdminLink::~RemoteAdminLink() { closeSequence(); }

// --- texts --------------------------------------------------------------------------------

void RemoteAdminLink::text(const char* format, ...) {
    char buf[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    layer_.Trace_Printf("%s", buf);
}

void RemoteAdminLink::logText(const std::string& s) {
    if (log_) std::fputs(s.c_str(), log_);
}

std::string RemoteAdminLink::dateText() const { return tpx::dateText(clock_); }

std::string RemoteAdminLink::durationText(std::int64_t seconds) { return tpx::durationText(seconds); }

// --- recognising ----------------------------------------------------------------------------

RemoteAdminLink::Kind RemoteAdminLink::recognise(ByteView b) {
    const std::size_t n = b.size();
    if (n >= 3 && b[0] == kStx && b[n - 1] == kEtx) {
        if (b[1] == 0x10) {
            const bool service = n >= 5 && b[3] == 0x01 && b[4] == kService;
            switch (b[2]) {
                case 0x10: return Kind::NegoStart;
                case 0x12: return service ? Kind::ServiceAck : Kind::Ignored;
                case 0x13: return service ? Kind::ServiceNack : Kind::Ignored;
                case 0x17: return service ? Kind::StartAck : Kind::Ignored;
                case 0x15: return Kind::VersionInf;
                default: break;
            }
        }
        if (b[1] == 0x12 && b[2] == 0x11) return Kind::DataMpb;
        if (b[1] == 0xEE && b[2] == 0x10) return Kind::PacketFail;
    }
    return Kind::Garbage;
}

void RemoteAdminLink::dataArrived(int, ByteView block, std::uint16_t) {
    // The receive buffer holds 2048 bytes: anything longer is cut there.
    if (block.size() > 2048) block = block.first(2048);
    const Kind kind = recognise(block);
    switch (kind) {
        case Kind::NegoStart:
            logText("NEGO_START    : ");
            negoStart_ = true;
            break;
        case Kind::ServiceAck:
            logText("SERVICE_ACK   : ");
            serviceAck_ = true;
            break;
        case Kind::ServiceNack:
            logText("SERVICE_NACK  : ");
            serviceNack_ = true;
            break;
        case Kind::VersionInf: {
            logText("VERSION_INF   : ");
            versionInf_ = true;
            const std::size_t len = block.size() > 3 ? block[3] : 0;
            if (4 + len <= block.size()) version_.assign(block.begin() + 4, block.begin() + 4 + static_cast<std::ptrdiff_t>(len));
            break;
        }
        case Kind::StartAck:
            logText("START_ACK     : ");
            startAck_ = true;
            break;
        case Kind::DataMpb:
            if (count_ == kRingSlots) {
                text("!! ... Data buffer overflow .... !!\n");
                text("!! ... Received Data ignored .... !!\n\n");
                logText("DATA_IGNORED  : ");
            } else {
                rear_ = (rear_ + 1) % kRingSlots;
                std::copy(block.begin(), block.end(), ring_[rear_].begin());
                lengths_[rear_] = static_cast<std::uint16_t>(block.size());
                ++count_;
                text("\n Data have been buffered ...\n");
                text("\n DATA BUFFER... Size : %d, Head : %d, Rear : %d\n", count_, head_, rear_);
                logText("DATA_MPB      : ");
            }
            break;
        case Kind::PacketFail:
            logText("PACKET_FAIL   : ");
            packetFail_ = true;
            break;
        case Kind::Garbage:
            logText("GARBAGE BLOCK : ");
            break;
        case Kind::Ignored:
            break;
    }
    if (layer_.options().verbose && !block.empty()) {
        const std::string bytes = renderReceived(block, "%c >\n");
        text("\nData block : ");
        text("%s", bytes.c_str());
        logText(bytes);
    }
    if (log_) std::fflush(log_);
}

// --- waiting --------------------------------------------------------------------------------

bool RemoteAdminLink::eventDone(Event e) const {
    switch (e) {
        case Event::ListenConf: return conns_.listenConfirmed;
        case Event::Connection: return conns_.connected;
        case Event::NegoStart: return negoStart_;
        case Event::ServiceAnswer: return serviceAck_ || serviceNack_;
        case Event::VersionInf: return versionInf_;
        case Event::StartAck: return startAck_;
    }
    return false;
}

void RemoteAdminLink::clearFlags(Event e) {
    switch (e) {
        case Event::ListenConf: conns_.listenConfirmed = false; break;
        case Event::Connection: conns_.connected = false; break;
        case Event::NegoStart: negoStart_ = false; break;
        case Event::ServiceAnswer: serviceAck_ = serviceNack_ = false; break;
        case Event::VersionInf: versionInf_ = false; break;
        case Event::StartAck: startAck_ = false; break;
    }
}

RemoteAdminLink::Wait RemoteAdminLink::waitFor(Event e) {
    static constexpr WaitRule kRules[] = {{10, 3, false}, {10, 6, false}, {10, 3, false},
                                          {10, 3, true},  {10, 3, true},  {10, 3, true}};
    const WaitRule rule = kRules[static_cast<int>(e)];
    clearFlags(e);
    conns_.lineLost = false;
    int tries = 0;
    std::int64_t start = clock_.calendarSeconds();
    std::string startText = dateText();
    const bool watchLine = e != Event::ListenConf;
    while (!eventDone(e) && !(watchLine && conns_.lineLost)) {
        conns_.Handle_CAPI_Msg();
        if (eventDone(e) || (watchLine && conns_.lineLost)) break;
        if (clock_.calendarSeconds() - start < rule.seconds && !packetFail_) continue;
        text(packetFail_ ? "\nPACKET_FAIL received !!\n" : "\nNo response ...\n");
        text("\nCurrent Retry count : %d\n", tries);
        if (++tries >= rule.tries) {
            text("\nStart time : %s", startText.c_str());
            text("\nFinish time : %s\n", dateText().c_str());
            text("\nERROR : Retry count overflow\n");
            return Wait::TimedOut;
        }
        if (rule.resend) {
            text("\n");
            text("ERROR : Waiting time has expired\n");
            text("ERROR : Resend Packet\n");
            text("Block length : %d\n", static_cast<int>(lastFrame_.size()));
            std::string resent = "Block resent : ";
            char buf[8];
            for (std::uint8_t b : lastFrame_) {
                std::snprintf(buf, sizeof buf, "%02X ", b);
                resent += buf;
            }
            text("%s\n", resent.c_str());
            conns_.SendData_h(current_, lastFrame_, conns_.nextDataHandle());
        }
        packetFail_ = false;
        start = clock_.calendarSeconds();
        startText = dateText();
    }
    if (watchLine && conns_.lineLost && !eventDone(e)) {
        CloseISDN();
        return Wait::LineLost;
    }
    return Wait::Done;
}

void RemoteAdminLink::sendFrame(const Bytes& frame) {
    lastFrame_ = frame;
    conns_.SendData_h(current_, frame, conns_.nextDataHandle());
}

// --- the exports ----------------------------------------------------------------------------

int RemoteAdminLink::DialISDN(const char* number) {
    // A longer number would need the struct escape in the called party number.
    if (!number || std::strlen(number) > kMaxNumber) return ISDN_NO_CHANNEL;
    closeSequence();  // a link still up from before is released first
    conns_.slot(0) = conns_.slot(1) = -1;
    if (conns_.RegisterCAPI() == 0) return ISDN_NO_CAPI;
    registered_ = true;
    conns_.reset();

    prt_ = std::fopen(paths_.protocol.c_str(), "w");
    if (!prt_) {
        text("Can't open protocol-file !!\n");  // no sink yet: written nowhere
        conns_.ReleaseCAPI();
        registered_ = false;
        return ISDN_NO_PROTOCOL_FILE;
    }
    layer_.installSink([this](capi::TraceKind kind, const std::string& t, ByteView message) {
        if (!prt_) return;
        const std::string out = capi::CapiLayer::sinkText(kind, t, message);
        std::fwrite(out.data(), 1, out.size(), prt_);
        std::fflush(prt_);
    });
    log_ = std::fopen(paths_.log.c_str(), "w");
    if (!log_) {
        text("Error : LOG file open error\n");
        closeSequence();
        return ISDN_NO_LOG_FILE;
    }
    count_ = 0;
    head_ = 0;
    rear_ = -1;
    layer_.options().verbose = true;
    conns_.resetDataHandle();
    conns_.listenConfirmed = conns_.connected = conns_.lineLost = false;
    started_ = false;

    if (conns_.ListenAll_h(0) != 0 || waitFor(Event::ListenConf) != Wait::Done) {
        closeSequence();
        return ISDN_NO_LISTEN;
    }
    if (conns_.Connect_h(conns_.slot(0), number, 4, 0, 1, 0, {}) == 0) {
        current_ = conns_.slot(0);
    } else if (conns_.Connect_h(conns_.slot(1), number, 4, 0, 1, 0, {}) == 0) {
        current_ = conns_.slot(1);
    } else {
        text(" Cannot find a free channel\n");
        text(" Connection Setup Phase failed\n");
        text(" Program aborted\n");
        closeSequence();
        return ISDN_NO_CHANNEL;
    }
    auto failed = [this](Wait w, int lost, int timedOut) {
        if (w == Wait::TimedOut) closeSequence();  // a lost line was closed by the wait
        return w == Wait::LineLost ? lost : timedOut;
    };
    if (Wait w = waitFor(Event::Connection); w != Wait::Done) return failed(w, ISDN_CLEARED_SETUP, ISDN_NO_B_CHANNEL);
    if (Wait w = waitFor(Event::NegoStart); w != Wait::Done) return failed(w, ISDN_CLEARED_NEGOTIATION, ISDN_NO_ANSWER);
    sendFrame(negotiation(0x11, {0x01, kService}));
    if (Wait w = waitFor(Event::ServiceAnswer); w != Wait::Done)
        return failed(w, ISDN_CLEARED_NEGOTIATION, ISDN_NO_ANSWER);
    if (!serviceAck_) {
        closeSequence();
        return ISDN_SERVICE_REFUSED;
    }
    sendFrame(negotiation(0x14, {}));
    if (Wait w = waitFor(Event::VersionInf); w != Wait::Done) return failed(w, ISDN_CLEARED_NEGOTIATION, ISDN_NO_ANSWER);
    sendFrame(negotiation(0x16, {0x01, kService}));
    if (Wait w = waitFor(Event::StartAck); w != Wait::Done) return failed(w, ISDN_CLEARED_NEGOTIATION, ISDN_NO_ANSWER);

    started_ = true;
    startTime_ = clock_.calendarSeconds();
    text("\n----------------------------------------------------------\n");
    text("\n Remote ZU VODUV Start time is %s", dateText().c_str());
    text("\n----------------------------------------------------------\n");
    return ISDN_OK;
}

void RemoteAdminLink::writeSummary() {
    text("\n-----------------------------------------------------\n");
    text("\n Current time is %s", dateText().c_str());
    text("\n-----------------------------------------------------\n\n");
    text("\n-----------------------------------------------------\n");
    text("\n Total time during ZU VODUV is ");
    text("%s", durationText(clock_.calendarSeconds() - startTime_).c_str());
    text("\n-----------------------------------------------------\n\n");
}

void RemoteAdminLink::closeSequence() {
    if (conns_.slot(0) != -1) {
        const std::int64_t start = clock_.monotonicMs();
        conns_.disconnectAll([&] { return clock_.monotonicMs() - start >= 5000; });
    }
    if (started_) writeSummary();
    started_ = false;
    layer_.removeSink();
    if (prt_) std::fclose(prt_);
    prt_ = nullptr;
    if (log_) std::fclose(log_);
    log_ = nullptr;
    if (registered_) conns_.ReleaseCAPI();
    registered_ = false;
    current_ = -1;
    count_ = 0;
    head_ = 0;
    rear_ = -1;
}

int RemoteAdminLink::CloseISDN() {
    closeSequence();
    return 0;
}

int RemoteAdminLink::WriteISDNBlock(const std::uint8_t* data, int count) {
    if (count < 0 || (count > 0 && !data)) return ISDN_BAD_ARGUMENT;
    // Blocks above what one frame carries go as several frames of the same stream.
    int offset = 0;
    do {
        const int n = std::min(count - offset, kMaxData);
        if (layer_.options().verbose) {
            text("\n -----------------");
            text("\n --- Send data ---");
            text("\n -----------------\n");
        }
        Bytes frame = {kStx, 0x12, 0x10, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
        frame.insert(frame.end(), data + offset, data + offset + n);
        frame.push_back(kEtx);
        lastFrame_ = frame;
        conns_.SendData_h(current_, frame, conns_.nextDataHandle());
        std::string shown = "     Data = ";
        char buf[16];
        for (std::size_t i = 0; i < frame.size(); ++i) {
            const std::uint8_t next = i + 1 < frame.size() ? frame[i + 1] : 0;  // the 0 behind the frame
            if (alnum(frame[i])) {
                std::snprintf(buf, sizeof buf, " %c", frame[i]);
                shown += buf;
                if (!alnum(next)) shown += ">";
            } else {
                std::snprintf(buf, sizeof buf, "%02x ", frame[i]);
                shown += buf;
                if (alnum(next)) shown += "<";
            }
        }
        text("%s\n", shown.c_str());
        // Answers that arrive now are buffered; a write does not wait for them.
        for (int i = 0; i < 5; ++i) conns_.Handle_CAPI_Msg(0);
        if (conns_.lineLost) {
            text(" WriteISDNBlock returns ERROR_DIS_EXCHANGE\n");
            return ERROR_DIS_EXCHANGE;
        }
        text(" WriteISDNBlock returns \"SUCCESS\"....\n");
        offset += n;
    } while (offset < count);
    return 0;
}

int RemoteAdminLink::ReadISDNBlock(std::uint8_t* buffer) {
    if (!buffer) return ISDN_BAD_ARGUMENT;
    if (count_ == 0) {
        for (int i = 0; i < 5 && count_ == 0; ++i) {
            if (i > 0 && othersWaiting && othersWaiting()) break;  // a write waits: let it in
            conns_.Handle_CAPI_Msg(kReadPollMs);
        }
        if (count_ == 0) {
            if (conns_.lineLost) {
                text(" ReadISDNBlock returns ERROR_DIS_EXCHANGE\n");
                return ERROR_DIS_EXCHANGE;
            }
            return 0;
        }
    }
    if (layer_.options().verbose) {
        text("\n -----------------");
        text("\n --- Read data ---");
        text("\n -----------------\n");
    }
    text("\n DATA BUFFER... Size : %d, Head : %d, Rear : %d\n", count_, head_, rear_);
    const std::size_t len = lengths_[head_];
    const std::uint8_t* f = ring_[head_].data();
    text("\nFrom Buffer : %s", renderReceived(ByteView(f, len), "%c\n").c_str());
    const int n = len >= 6 ? static_cast<int>(len - 6) : 0;
    std::copy(f + 5, f + 5 + n, buffer);
    buffer[n] = 0;
    --count_;
    head_ = (head_ + 1) % kRingSlots;
    text(" Data have been read ....\n");
    text("\n DATA BUFFER... Size : %d, Head : %d, Rear : %d\n", count_, head_, rear_);
    text(" ReadISDNBlock returns %d....\n", n);
    return n;
}

}  // namespace tpx::isdn
