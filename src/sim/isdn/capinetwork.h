// The simulated ISDN network as a loopback server speaking libcapi20's "rcapi" remote-CAPI
// protocol: every frame is a 2-byte big-endian length that counts itself, then a body
// shaped like a CAPI message. Control requests (register, profile, manufacturer, version,
// serial number) are answered here; CAPI messages go to the network (network.h). Programs
// reach it through a .capi20rc in their HOME:
//   REMOTE rcapi 127.0.0.1 <port>
//   TRACELEVEL 0
// The server runs on its own thread; its public calls are thread-safe.
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>

#include "common/syserror.h"
#include "sim/isdn/network.h"

namespace tpx::sim {

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

    // Clears every call from the network side.
    void clearAll(std::uint16_t reason = 0x3490);
    // Offers an incoming call from `caller`.
    void offerCall(const std::string& caller);
    void setFaults(const IsdnFaults& f);

    int callsPlaced() const { return callsPlaced_; }
    int framesFromCaller() const { return framesFromCaller_; }
    int activeCalls() const { return active_; }
    int applications() const { return applications_; }

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
