// A far end for the ISDN tests: it negotiates like the switch (NEGO_START, SERVICE_ACK and
// START_ACK for `service`, VERSION_INF with `version`), then records every other frame and
// hands it to `onFrame`; the test answers what it likes on `line`.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "sim/isdn/network.h"

namespace tpx {

struct ScriptedSwitch : sim::IsdnParty {
    ScriptedSwitch(std::uint8_t service, std::string version) : service(service), version(std::move(version)) {}
    void connected(sim::IsdnLine l) override {
        line = std::move(l);
        line.send(Bytes{0x02, 0x10, 0x10, 0x03});
    }
    void frame(ByteView f) override {
        Bytes b(f.begin(), f.end());
        if (b.size() >= 3 && b[1] == 0x10) {
            if (b[2] == 0x11) line.send(Bytes{0x02, 0x10, 0x12, 0x01, service, 0x03});
            if (b[2] == 0x14) {
                Bytes v{0x02, 0x10, 0x15, static_cast<std::uint8_t>(version.size())};
                v.insert(v.end(), version.begin(), version.end());
                v.push_back(0x03);
                line.send(v);
            }
            if (b[2] == 0x16) line.send(Bytes{0x02, 0x10, 0x17, 0x01, service, 0x03});
            return;
        }
        frames.push_back(b);
        if (onFrame) onFrame(*this, b);
    }
    std::uint8_t service;
    std::string version;
    sim::IsdnLine line;
    std::vector<Bytes> frames;
    std::function<void(ScriptedSwitch&, const Bytes&)> onFrame;
};

}  // namespace tpx
