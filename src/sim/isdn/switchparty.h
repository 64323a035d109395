// The TPX switch answering an ISDN call: it opens the negotiation (NEGO_START), grants a
// service (SERVICE_ACK), tells its version (VERSION_INF) and starts (START_ACK).
//   service 0x12, remote administration: its administration port runs inside the frames:
//     DATA_PC frames carry the PC's bytes to the switch, DATA_MPB frames the switch's answers;
//   service 0x11, software upgrade (a TPX-12 or TPX-24W, when enabled): class 0x11 frames —
//     CHECKSUM_INF checked against its memory, RESTART_REQ, 1036-byte DATA_PC blocks checked
//     and stored, answered by ACK/NACK (or PACKET_FAIL).
// Frames cross the B-channel at 64 kbit/s.
#pragma once

#include <memory>
#include <string>

#include "sim/isdn/network.h"
#include "sim/switchsim.h"
#include "sim/upgradememory.h"

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
    // The B-channel's rate in bits per second (64000; 0: frames cross at once).
    void setRate(int bitsPerSecond) { rate_ = bitsPerSecond; }
    // Frame bytes that crossed the B-channel, over all calls.
    std::uint64_t bytesToPc() const { return bytesToPc_; }
    std::uint64_t bytesFromPc() const { return bytesFromPc_; }
    // Grants the software upgrade service too, with this memory (it outlives the calls).
    void enableUpgrade(UpgradeConfig config);
    UpgradeMemory* upgrade() { return upgradeMemory_.get(); }

private:
    friend class SwitchParty;
    SimConfig config_;
    IsdnSwitchFaults faults_;
    std::string dumpDir_;
    std::unique_ptr<SwitchSim> sim_;
    std::unique_ptr<UpgradeConfig> upgradeConfig_;
    std::unique_ptr<UpgradeMemory> upgradeMemory_;
    int negotiations_ = 0;
    int rate_ = 64000;
    std::uint64_t bytesToPc_ = 0, bytesFromPc_ = 0;
    int packetFails_ = 0;
};

}  // namespace tpx::sim
