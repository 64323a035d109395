#include "platform/portmap.h"

#include <cstdlib>

#include "common/inifile.h"
#include "platform/serialport.h"
#include "platform/tcpport.h"

namespace tpx {

PortMap::PortMap() {
    for (int n = 1; n <= kComPorts; ++n) com_[n - 1] = "/dev/ttyS" + std::to_string(n - 1);
    telnet_ = "localhost:2323";
}

std::filesystem::path PortMap::profilePath() { return profileFolder() / "ports.conf"; }

PortMap PortMap::loadProfile() {
    PortMap map;
    IniFile ini = IniFile::load(profilePath());
    for (int n = 1; n <= kComPorts; ++n) {
        auto v = ini.value("Ports", "COM" + std::to_string(n));
        if (v && !v->empty()) map.com_[n - 1] = *v;
    }
    if (auto v = ini.value("Ports", "TELNET"); v && !v->empty()) map.telnet_ = *v;
    return map;
}

PortMap PortMap::loadEffective() {
    PortMap map = loadProfile();
    for (int n = 1; n <= kComPorts; ++n) {
        const char* v = std::getenv(("TPX_COM" + std::to_string(n)).c_str());
        if (v && *v) map.com_[n - 1] = v;
    }
    if (const char* v = std::getenv("TPX_TELNET"); v && *v) map.telnet_ = v;
    return map;
}

const std::string& PortMap::deviceForIndex(int portIndex) const {
    if (portIndex >= 0 && portIndex < kComPorts) return com_[portIndex];
    return telnet_;
}

SysStatus PortMap::saveProfile() const {
    IniFile ini = IniFile::load(profilePath());
    for (int n = 1; n <= kComPorts; ++n) ini.setValue("Ports", "COM" + std::to_string(n), com_[n - 1]);
    ini.setValue("Ports", "TELNET", telnet_);
    return ini.save(profilePath());
}

std::unique_ptr<ByteDevice> openDeviceEntry(const std::string& entry, EventLoop& loop,
                                            SysStatus* error) {
    if (!entry.empty() && entry[0] == '/') return SerialPort::open(entry, loop, error);
    return TcpPort::connect(entry, loop, error);
}

std::unique_ptr<ByteDevice> PortMapOpener::open(int portIndex, SysStatus* error) {
    // A negative index (a damaged settings file) has no device.
    if (portIndex < 0) {
        if (error) *error = SysStatus(ENODEV, "port " + std::to_string(portIndex + 1));
        return nullptr;
    }
    return openDeviceEntry(map_.deviceForIndex(portIndex), loop_, error);
}

}  // namespace tpx
