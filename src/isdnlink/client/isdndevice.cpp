#include "isdnlink/client/isdndevice.h"

#include <chrono>

#include "isdnlink/isdnlink.h"

namespace tpx::isdn {

IsdnFunctions IsdnFunctions::library() { return {DialISDN, WriteISDNBlock, ReadISDNBlock, CloseISDN}; }

IsdnDevice::IsdnDevice(EventLoop& loop, IsdnFunctions fns) : loop_(loop), fns_(fns) {}

IsdnDevice::~IsdnDevice() { stopReading(); }

SysStatus IsdnDevice::writeAll(ByteView bytes, int) {
    const int r = fns_.write(bytes.data(), static_cast<int>(bytes.size()));
    return r == 0 ? SysStatus() : SysStatus(r, "WriteISDNBlock");
}

SysStatus IsdnDevice::startReading(ChunkSink onChunk, LostSink onLost) {
    if (reader_.joinable()) return {};
    running_ = true;
    alive_ = std::make_shared<std::atomic<bool>>(true);
    reader_ = std::thread(&IsdnDevice::readerLoop, this, alive_, std::move(onChunk), std::move(onLost));
    return {};
}

void IsdnDevice::readerLoop(std::shared_ptr<std::atomic<bool>> alive, ChunkSink onChunk, LostSink onLost) {
    auto chunkSink = std::make_shared<ChunkSink>(std::move(onChunk));
    unsigned char buf[4096];
    int lastError = 0;
    while (running_) {
        const int r = fns_.read(buf);
        if (r > 0) {
            lastError = 0;
            Bytes chunk(buf, buf + std::min(r, static_cast<int>(sizeof buf)));
            loop_.post([alive, chunkSink, chunk = std::move(chunk)] {
                if (*alive) (*chunkSink)(chunk);
            });
        } else if (r < 0) {
            // A cleared line answers every poll with its code: say so once, then poll slowly.
            if (r != lastError) {
                lastError = r;
                loop_.post([alive, onLost, r] {
                    if (*alive && onLost) onLost(r);
                });
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } else {
            // An empty poll already waited inside the library; a short pause lets a writer
            // on another thread take the library's lock.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

void IsdnDevice::stopReading() {
    if (alive_) *alive_ = false;
    running_ = false;
    if (reader_.joinable()) reader_.join();
}

int IsdnDevice::closeLink() {
    if (closed_) return 0;
    const int r = fns_.close();
    if (r != 0) return r;  // the link stays up
    stopReading();
    closed_ = true;
    return 0;
}

std::unique_ptr<ByteDevice> IsdnOpener::dialIsdn(const std::string& number, int* code) {
    *code = fns_.dial(number.c_str());
    if (*code != 0) {
        fns_.close();
        return nullptr;
    }
    return std::make_unique<IsdnDevice>(loop_, fns_);
}

}  // namespace tpx::isdn
