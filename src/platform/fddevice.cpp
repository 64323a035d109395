#include "platform/fddevice.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tpx {

FdDevice::FdDevice(EventLoop& loop, int fd, std::string name)
    : loop_(loop), fd_(fd), name_(std::move(name)) {}

FdDevice::~FdDevice() { close(); }

SysStatus FdDevice::writeAll(ByteView bytes, int timeoutMs) {
    if (fd_ < 0) return SysStatus(EBADF, "write " + name_);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return SysStatus::fromErrno("write " + name_);
        pollfd p{fd_, POLLOUT, 0};
        int r = retryEintr([&] { return ::poll(&p, 1, timeoutMs); });
        if (r < 0) return SysStatus::fromErrno("write " + name_);
        if (r == 0) return SysStatus(ETIMEDOUT, "write " + name_);
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return SysStatus(EIO, "write " + name_);
    }
    return {};
}

SysStatus FdDevice::startReading(ChunkSink onChunk, LostSink onLost) {
    if (fd_ < 0) return SysStatus(EBADF, "read " + name_);
    if (reader_.joinable()) return {};
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) return SysStatus::fromErrno("eventfd");
    alive_ = std::make_shared<std::atomic<bool>>(true);
    reader_ = std::thread(&FdDevice::readerLoop, this, alive_, std::move(onChunk), std::move(onLost));
    return {};
}

void FdDevice::readerLoop(std::shared_ptr<std::atomic<bool>> alive, ChunkSink onChunk,
                          LostSink onLost) {
    auto chunkSink = std::make_shared<ChunkSink>(std::move(onChunk));
    auto lost = [&](int err) {
        loop_.post([alive, onLost, err] {
            if (*alive && onLost) onLost(err);
        });
    };
    std::uint8_t buf[kChunkMax];
    for (;;) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int r = retryEintr([&] { return ::poll(p, 2, -1); });
        if (r < 0) return lost(errno);
        if (p[1].revents) return;  // asked to stop
        if (p[0].revents & POLLIN) {
            ssize_t n = retryEintr([&] { return ::read(fd_, buf, sizeof buf); });
            if (n > 0) {
                Bytes chunk(buf, buf + n);
                loop_.post([alive, chunkSink, chunk = std::move(chunk)] {
                    if (*alive) (*chunkSink)(chunk);
                });
                continue;
            }
            if (n < 0 && errno == EAGAIN) continue;
            return lost(n == 0 ? EPIPE : errno);  // end of stream or a read error
        }
        if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return lost(EIO);
    }
}

void FdDevice::stopReading() {
    if (alive_) *alive_ = false;
    if (reader_.joinable()) {
        std::uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
        reader_.join();
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
    wakeFd_ = -1;
}

void FdDevice::close() {
    stopReading();
    if (fd_ < 0) return;
    beforeClose();
    ::close(fd_);
    fd_ = -1;
}

}  // namespace tpx
