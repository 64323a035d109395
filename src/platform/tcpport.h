// A raw TCP byte stream standing in for the TELNET serial device (for example a ser2net
// server in front of a real port). It has no line parameters and no modem lines.
#pragma once

#include <memory>
#include <string>

#include "platform/fddevice.h"

namespace tpx {

class TcpPort : public FdDevice {
public:
    // `hostPort` is "host:port"; the connection attempt gives up after `timeoutMs`.
    static std::unique_ptr<TcpPort> connect(const std::string& hostPort, EventLoop& loop,
                                            SysStatus* error, int timeoutMs = 5000);
    ~TcpPort() override { close(); }

private:
    using FdDevice::FdDevice;
};

}  // namespace tpx
