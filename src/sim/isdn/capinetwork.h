// A simulated ISDN network behind libcapi20: a loopback server that speaks the library's
// "rcapi" remote-CAPI protocol (a 2-byte big-endian length that counts itself, then a
// body shaped like a CAPI message). It emulates controllers with B-channels, places calls
// to numbers, carries B3 data to the party that answers, clears calls from either side,
// and injects faults. Programs reach it through a .capi20rc in their HOME:
//   REMOTE rcapi 127.0.0.1 <port>
//   TRACELEVEL 0
//
// Written from the CAPI 2.0 message layouts, not with the programs' CAPI code. The server
// runs on its own thread; its public calls are thread-safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/bytes.h"
#include "common/syserror.h"

namespace tpx::sim {

// The party that answers a number: the switch, or a test's echo.
class IsdnParty {
public:
    using Send = std::function<void(ByteView frame)>;
    virtual ~IsdnParty() = default;
    // The B-channel is up; `send` puts one frame (one DATA_B3 block) towards the caller.
    virtual void connected(Send send) = 0;
    virtual void frame(ByteView frame) = 0;
    virtual void disconnected() {}
};

struct IsdnFaults {
    std::uint16_t connectConfInfo = 0;  // CONNECT_CONF carries this Info (non-zero: refused)
    bool closeOnConnect = false;        // the application connection drops at CONNECT_REQ
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

// A party that sends every frame back (for testing the line).
class EchoParty : public IsdnParty {
public:
    void connected(Send send) override { send_ = std::move(send); }
    void frame(ByteView f) override {
        if (send_) send_(f);
    }

private:
    Send send_;
};

class CapiNetwork {
public:
    explicit CapiNetwork(IsdnConfig config);
    ~CapiNetwork();

    // Listens on 127.0.0.1 (port 0: any free one).
    SysStatus start(int port = 0);
    void stop();
    int port() const { return port_; }

    // Writes HOME/.capi20rc naming this server.
    SysStatus writeCapiConfig(const std::filesystem::path& home) const;

    // Clears every call from the network side (DISCONNECT_B3_IND when the B-channel is up,
    // then DISCONNECT_IND with `reason`).
    void clearAll(std::uint16_t reason = 0x3490);
    // Offers an incoming call from `caller` on controller 1.
    void offerCall(const std::string& caller);

    // Counters for tests.
    int callsPlaced() const { return callsPlaced_; }
    int framesFromCaller() const { return framesFromCaller_; }
    int activeCalls() const;
    int applications() const { return applications_; }
    void setFaults(const IsdnFaults& f);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int port_ = 0;
    std::atomic<int> callsPlaced_{0};
    std::atomic<int> framesFromCaller_{0};
    std::atomic<int> applications_{0};
    std::atomic<int> active_{0};
};

}  // namespace tpx::sim
