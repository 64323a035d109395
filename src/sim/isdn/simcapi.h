// CAPI 2.0 in-process, on the simulated ISDN network and the caller's event loop: for
// tests of the ISDN programs on virtual time. A get that finds nothing lets its wait of
// (virtual) time pass first, as a real CAPI's would.
#pragma once

#include <deque>

#include "common/capiapi.h"
#include "sim/isdn/network.h"

namespace tpx::sim {

class SimCapi : public capi::CapiApi {
public:
    SimCapi(EventLoop& loop, IsdnConfig config);

    IsdnNetwork& network() { return network_; }
    bool installed = true;

    unsigned isInstalled() override { return installed ? 0 : capi::kCapiRegNotInstalled; }
    unsigned registerApplication(unsigned, unsigned, unsigned, unsigned, unsigned* appId) override;
    unsigned release(unsigned appId) override;
    unsigned putMessage(unsigned appId, ByteView message, ByteView data) override;
    unsigned getMessage(unsigned appId, Bytes& message, Bytes& data, int waitMs) override;
    unsigned getVersion(std::array<std::uint32_t, 4>& version) override;
    unsigned getProfile(unsigned controller, capi::Profile& profile) override;

private:
    struct Queued {
        Bytes message;
        Bytes data;
    };
    EventLoop& loop_;
    IsdnNetwork network_;
    int app_ = 0;
    bool cutOff_ = false;
    std::deque<Queued> queue_;
};

}  // namespace tpx::sim
