// The TPX switch answering an ISDN call for remote administration: it opens the
// negotiation (NEGO_START), grants service 0x12 (SERVICE_ACK), tells its version
// (VERSION_INF) and starts (START_ACK); then its administration port runs inside the frames:
// DATA_PC frames carry the PC's bytes to the switch, DATA_MPB frames the switch's answers.
// Frames cross the B-channel at 64 kbit/s.
#pragma once

#include <memory>
#include <string>

#include "sim/isdn/network.h"
#include "sim/switchsim.h"

namespace tpx::sim {

struct IsdnSwitchFaults {
    bool noNegoStart = false;
    bool serviceNack = false;          // SERVICE_NACK instead of SERVICE_ACK
    bool wrongService = false;         // SERVICE_ACK naming service 0x11
    int packetFailAt = 0;              // the k-th negotiation request is answered with PACKET_FAIL (once)
    bool clearInNegotiation = false;   // the switch hangs up when asked for the service
    int clearAfterData = -1;           // ...or after k DATA_PC frames
};

// One switch for every call to its number: its database outlives a call.
class IsdnSwitch {
public:
    IsdnSwitch(SimConfig config, IsdnSwitchFaults faults, std::string dumpDir = {})
        : config_(std::move(config)), faults_(faults), dumpDir_(std::move(dumpDir)) {}
    // The factory of the network's number table.
    std::unique_ptr<IsdnParty> answer();
    SwitchSim* sim() { return sim_.get(); }
    IsdnSwitchFaults& faults() { return faults_; }
    int negotiations() const { return negotiations_; }

private:
    friend class SwitchParty;
    SimConfig config_;
    IsdnSwitchFaults faults_;
    std::string dumpDir_;
    std::unique_ptr<SwitchSim> sim_;
    int negotiations_ = 0;
    int packetFails_ = 0;
};

}  // namespace tpx::sim
