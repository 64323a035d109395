// A ByteDevice over a POSIX file descriptor: one reader thread blocked in poll() on the
// descriptor and on a wake-up eventfd, handing each chunk to the event loop; writes that
// wait for the descriptor with a time-out. Serial ports, TCP streams and pseudo-terminal
// masters all build on it.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "common/bytedevice.h"
#include "common/clock.h"

namespace tpx {

class FdDevice : public ByteDevice {
public:
    // Takes ownership of `fd`, which must be non-blocking.
    FdDevice(EventLoop& loop, int fd, std::string name);
    ~FdDevice() override;
    FdDevice(const FdDevice&) = delete;
    FdDevice& operator=(const FdDevice&) = delete;

    std::string name() const override { return name_; }
    SysStatus configure(const SerialParams&) override { return {}; }
    SysStatus writeAll(ByteView bytes, int timeoutMs) override;
    void purge() override {}
    SysStatus setDtr(bool) override { return {}; }
    SysStatus setRts(bool) override { return {}; }
    SysStatus startReading(ChunkSink onChunk, LostSink onLost) override;
    void stopReading() override;
    void close() override;

    int fd() const { return fd_; }
    static constexpr std::size_t kChunkMax = 4096;

protected:
    // Runs inside close(), after the reader stopped and before the descriptor closes.
    virtual void beforeClose() {}

private:
    void readerLoop(std::shared_ptr<std::atomic<bool>> alive, ChunkSink onChunk, LostSink onLost);

    EventLoop& loop_;
    int fd_;
    int wakeFd_ = -1;
    std::string name_;
    std::thread reader_;
    // Cleared by stopReading() on the loop thread; chunks already posted check it, so a
    // stopped device delivers nothing more.
    std::shared_ptr<std::atomic<bool>> alive_;
};

// Retries a system call interrupted by a signal.
template <typename F>
auto retryEintr(F f) {
    for (;;) {
        auto r = f();
        if (r >= 0 || errno != EINTR) return r;
    }
}

}  // namespace tpx
