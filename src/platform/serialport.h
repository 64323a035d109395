// A serial port on a termios device. Opening is exclusive (TIOCEXCL, plus an flock so that
// a second opener is refused even when it runs as root), raw and non-blocking; the settings
// found at open are restored on close. Line parameters are applied, read back and checked.
//
// A pseudo-terminal keeps the speed, stop bits and handshakes it is given, but the kernel
// forces 8 data bits and no parity on it; the read-back accepts that on a pseudo-terminal.
//
// Not available through termios: the DSR handshake (no flag exists; the port ignores DSR),
// 1.5 stop bits (CSTOPB gives 1.5 with 5 data bits on 8250-style UARTs, 2 otherwise),
// driver queue sizes (the kernel's buffers are used) and the Windows-style "IO pending" read
// path (the reader only reads what poll() reports as arrived, so a read never waits).
#pragma once

#include <termios.h>

#include <memory>
#include <string>

#include "platform/fddevice.h"

namespace tpx {

class SerialPort : public FdDevice {
public:
    // Fails with ENOENT for a missing device, EBUSY when another program holds it, ENOTTY
    // when the path is not a terminal device.
    static std::unique_ptr<SerialPort> open(const std::string& path, EventLoop& loop,
                                            SysStatus* error);
    ~SerialPort() override;

    SysStatus configure(const SerialParams& params) override;
    void purge() override;
    SysStatus setDtr(bool on) override;
    SysStatus setRts(bool on) override;

    // The termios speed constant for a baud rate, or 0 when termios has none.
    static speed_t speedFor(int baud);
    // Sets `t` to raw mode with the line parameters; false for parameters termios lacks.
    static bool makeTermios(const SerialParams& params, termios& t);

protected:
    void beforeClose() override;

private:
    SerialPort(EventLoop& loop, int fd, std::string path, const termios& original);
    SysStatus setModemLine(int bit, bool on);

    termios original_;
    bool pseudoTerminal_ = false;
};

}  // namespace tpx
