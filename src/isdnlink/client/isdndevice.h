// The programs' side of isdnlink: the four exports as a ByteDevice, with the reader thread
// that polls ReadISDNBlock and hands what arrives to the event loop, and a DeviceOpener
// that dials ISDN and opens everything else through another opener.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "common/bytedevice.h"
#include "common/clock.h"

namespace tpx::isdn {

// The exports, as functions the device calls (tests may pass their own).
struct IsdnFunctions {
    int (*dial)(const char* number);
    int (*write)(const unsigned char* data, int count);
    int (*read)(unsigned char* buffer);
    int (*close)();
    static IsdnFunctions library();  // libisdnlink.so's
};

class IsdnDevice : public ByteDevice {
public:
    IsdnDevice(EventLoop& loop, IsdnFunctions fns);
    ~IsdnDevice() override;

    std::string name() const override { return "ISDN"; }
    SysStatus configure(const SerialParams&) override { return {}; }
    // The code of WriteISDNBlock: 0, or -11 when the line has been cleared.
    SysStatus writeAll(ByteView bytes, int timeoutMs) override;
    void purge() override {}
    SysStatus setDtr(bool) override { return {}; }
    SysStatus setRts(bool) override { return {}; }
    // Read errors reach `onLost` with their (negative) code, once each time they start.
    SysStatus startReading(ChunkSink onChunk, LostSink onLost) override;
    void stopReading() override;
    void close() override { closeLink(); }
    int closeLink() override;

private:
    void readerLoop(std::shared_ptr<std::atomic<bool>> alive, ChunkSink onChunk, LostSink onLost);

    EventLoop& loop_;
    IsdnFunctions fns_;
    std::thread reader_;
    std::atomic<bool> running_{false};
    std::shared_ptr<std::atomic<bool>> alive_;
    bool closed_ = false;
};

class IsdnOpener : public DeviceOpener {
public:
    IsdnOpener(EventLoop& loop, std::unique_ptr<DeviceOpener> serial, IsdnFunctions fns = IsdnFunctions::library())
        : loop_(loop), serial_(std::move(serial)), fns_(fns) {}
    std::unique_ptr<ByteDevice> open(int portIndex, SysStatus* error) override {
        return serial_->open(portIndex, error);
    }
    std::unique_ptr<ByteDevice> dialIsdn(const std::string& number, int* code) override;
    DeviceOpener& serial() { return *serial_; }

private:
    EventLoop& loop_;
    std::unique_ptr<DeviceOpener> serial_;
    IsdnFunctions fns_;
};

}  // namespace tpx::isdn
