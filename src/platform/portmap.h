// Which device stands behind each COM port number and behind the TELNET device. Defaults
// COM1..COM5 = /dev/ttyS0..4; the profile file "ports.conf" ([Ports] COM1=..., TELNET=...)
// overrides them; the environment variables TPX_COM1..TPX_COM5 and TPX_TELNET override both
// (tests use them to point at pseudo-terminals).
//
// A device entry that starts with "/" is a terminal device; anything else is "host:port"
// of a TCP byte stream.
#pragma once

#include <array>
#include <filesystem>
#include <string>

#include "common/bytedevice.h"
#include "common/clock.h"

namespace tpx {

class PortMap {
public:
    static constexpr int kComPorts = 5;

    // The entries the user set in the profile, over the defaults (no environment).
    static PortMap loadProfile();
    // What the programs use: the profile, then the environment.
    static PortMap loadEffective();
    static std::filesystem::path profilePath();

    // n = 1..5
    const std::string& com(int n) const { return com_.at(n - 1); }
    void setCom(int n, std::string device) { com_.at(n - 1) = std::move(device); }
    const std::string& telnet() const { return telnet_; }
    void setTelnet(std::string hostPort) { telnet_ = std::move(hostPort); }

    // The device of a link settings port index: 0..4 = COM1..COM5, 5 or more = TELNET.
    const std::string& deviceForIndex(int portIndex) const;

    SysStatus saveProfile() const;

private:
    PortMap();
    std::array<std::string, kComPorts> com_;
    std::string telnet_;
};

// Opens a device entry: a path is a serial port, "host:port" a TCP stream.
std::unique_ptr<ByteDevice> openDeviceEntry(const std::string& entry, EventLoop& loop,
                                            SysStatus* error);

// The DeviceOpener of the programs: port indexes through the port map.
class PortMapOpener : public DeviceOpener {
public:
    PortMapOpener(EventLoop& loop, PortMap map) : loop_(loop), map_(std::move(map)) {}
    std::unique_ptr<ByteDevice> open(int portIndex, SysStatus* error) override;
    PortMap& map() { return map_; }

private:
    EventLoop& loop_;
    PortMap map_;
};

// One fixed device entry whatever the port index (the command line's --device / --tcp).
class FixedDeviceOpener : public DeviceOpener {
public:
    FixedDeviceOpener(EventLoop& loop, std::string entry) : loop_(loop), entry_(std::move(entry)) {}
    std::unique_ptr<ByteDevice> open(int, SysStatus* error) override {
        return openDeviceEntry(entry_, loop_, error);
    }

private:
    EventLoop& loop_;
    std::string entry_;
};

}  // namespace tpx
