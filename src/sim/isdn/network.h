// The simulated ISDN network's logic, apart from how applications reach it: controllers
// with B-channels, calls to numbers answered by parties, B3 data, clearing from either
// side, faults. It runs on one event loop; applications attach and hand it CAPI messages
// (with a DATA_B3_REQ's block behind the message), and it delivers CAPI messages back.
//
// Two transports use it: the remote-CAPI server for libcapi20 (capinetwork.h) and an
// in-process CAPI for tests on virtual time (simcapi.h). Written from the CAPI 2.0
// message layouts, not with the programs' CAPI code.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "common/clock.h"

namespace tpx::sim {

// What a party that answered a call can do on the line.
struct IsdnLine {
    EventLoop* loop = nullptr;
    // One frame (one DATA_B3 block) towards the caller.
    std::function<void(ByteView frame)> send;
    // The party's side clears the call (DISCONNECT_B3_IND, then DISCONNECT_IND with `reason`).
    std::function<void(std::uint16_t reason)> clear;
};

// The party that answers a number: the switch, or a test's echo.
class IsdnParty {
public:
    virtual ~IsdnParty() = default;
    // The B-channel is up.
    virtual void connected(IsdnLine line) = 0;
    virtual void frame(ByteView frame) = 0;
    virtual void disconnected() {}
};

// A party that sends every frame back (for testing the line).
class EchoParty : public IsdnParty {
public:
    void connected(IsdnLine line) override { line_ = std::move(line); }
    void frame(ByteView f) override {
        if (line_.send) line_.send(f);
    }

private:
    IsdnLine line_;
};

struct IsdnFaults {
    std::uint16_t connectConfInfo = 0;  // CONNECT_CONF carries this Info (non-zero: refused)
    bool closeOnConnect = false;        // the application connection drops at CONNECT_REQ
    bool noListenConf = false;          // LISTEN_REQ goes unanswered
    std::uint16_t b3ConfInfo = 0;       // CONNECT_B3_CONF carries this Info
    int answerDelayMs = 0;              // before CONNECT_ACTIVE_IND
    int clearAfterFrames = -1;          // the network clears the call after k frames from the caller
    bool clearWhenActive = false;       // ...or as soon as the B-channel is up
    std::uint16_t clearReason = 0x3490;
};

struct IsdnConfig {
    int controllers = 1;
    int bChannels = 2;
    IsdnFaults faults;
    // Numbers that answer, and who answers them.
    std::map<std::string, std::function<std::unique_ptr<IsdnParty>()>> numbers;
};

class IsdnNetwork {
public:
    // Delivers one CAPI message (and a DATA_B3_IND's block) to an application.
    using Deliver = std::function<void(ByteView message, ByteView data)>;

    IsdnNetwork(EventLoop& loop, IsdnConfig config);
    ~IsdnNetwork();

    int attach(Deliver deliver);
    // The application went away: its calls end with it.
    void detach(int app);
    // A CAPI message from an application, a DATA_B3_REQ's block directly behind it.
    // False when the application should be cut off (a fault).
    bool fromApplication(int app, ByteView body);

    const IsdnConfig& config() const { return cfg_; }
    void setFaults(const IsdnFaults& f) { cfg_.faults = f; }
    void clearAll(std::uint16_t reason);
    void offerCall(const std::string& caller);

    int callsPlaced() const { return callsPlaced_; }
    int framesFromCaller() const { return framesFromCaller_; }
    int activeCalls() const { return static_cast<int>(calls_.size()); }

private:
    struct Call;
    Call* callByPlci(std::uint32_t plci);
    void send(int app, const Bytes& message, ByteView data = {});
    void conf(int app, std::uint8_t cmd, std::uint16_t number, std::uint32_t addr, std::uint16_t info);
    void response(std::uint8_t cmd, std::uint32_t addr, ByteView body);
    void toCaller(std::uint32_t plci, ByteView frame);
    void indicateDisconnect(Call& c, std::uint16_t reason);
    void indicateClear(Call& c, std::uint16_t reason);
    void endCall(std::uint32_t plci);

    EventLoop& loop_;
    IsdnConfig cfg_;
    std::map<int, Deliver> apps_;
    std::map<std::uint32_t, std::unique_ptr<Call>> calls_;
    int nextApp_ = 1;
    std::uint32_t nextPlci_ = 1;
    int callsPlaced_ = 0;
    int framesFromCaller_ = 0;
};

}  // namespace tpx::sim
