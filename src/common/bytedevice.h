// An open byte-stream device (a serial port, a TCP byte stream, an in-process simulator
// line) as the engines see it. Engines never open devices: they ask a DeviceOpener that
// their program provides.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "common/syserror.h"

namespace tpx {

enum class Parity { None, Odd, Even, Mark, Space };
enum class StopBits { One, OnePointFive, Two };

struct SerialParams {
    int baud = 9600;      // 110 .. 115200
    int dataBits = 8;     // 5 .. 8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    bool rtsCts = false;  // CTS output handshake, RTS in handshake mode
    bool xonXoff = false; // software flow control both ways
    std::uint8_t xonChar = 0x11;
    std::uint8_t xoffChar = 0x13;
};

class ByteDevice {
public:
    // Received chunks (at most 4096 bytes each) arrive on the owning event loop's thread.
    using ChunkSink = std::function<void(ByteView chunk)>;
    // The device failed while reading (errno); no chunk follows.
    using LostSink = std::function<void(int error)>;

    virtual ~ByteDevice() = default;

    virtual std::string name() const = 0;
    // Applies the line parameters, reads them back and checks them. Devices without line
    // parameters (a TCP stream) accept any.
    virtual SysStatus configure(const SerialParams& params) = 0;
    // Writes every byte or fails; gives up after `timeoutMs` without progress. Blocking.
    virtual SysStatus writeAll(ByteView bytes, int timeoutMs) = 0;
    // Drops whatever is queued in both directions.
    virtual void purge() = 0;
    // Modem control lines. A device without them (a pseudo-terminal, a socket) reports
    // success and does nothing.
    virtual SysStatus setDtr(bool on) = 0;
    virtual SysStatus setRts(bool on) = 0;
    // Starts the reader. After stopReading() returns, neither sink is called again.
    virtual SysStatus startReading(ChunkSink onChunk, LostSink onLost) = 0;
    virtual void stopReading() = 0;
    // Stops reading, restores the line settings found at open and closes. Idempotent.
    virtual void close() = 0;
    // Closes a link that can refuse to close (the ISDN link): 0, or the link's code and the
    // device stays open.
    virtual int closeLink() {
        close();
        return 0;
    }
};

// Opens the device behind a port index (0..4 = COM1..COM5, 5 or more = the TELNET device).
class DeviceOpener {
public:
    virtual ~DeviceOpener() = default;
    virtual std::unique_ptr<ByteDevice> open(int portIndex, SysStatus* error) = 0;
    // The ISDN link to `number`: the open link, or nullptr with the dial's failure code.
    virtual std::unique_ptr<ByteDevice> dialIsdn(const std::string& /*number*/, int* code) {
        *code = -2;  // no ISDN here
        return nullptr;
    }
};

}  // namespace tpx
