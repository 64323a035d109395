#include "platform/pty.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace tpx {

namespace {
class PtyMaster : public FdDevice {
public:
    PtyMaster(EventLoop& loop, int fd, std::string name, int keeper)
        : FdDevice(loop, fd, std::move(name)), keeper_(keeper) {}
    ~PtyMaster() override {
        close();
        if (keeper_ >= 0) ::close(keeper_);
    }
    void purge() override {
        if (fd() >= 0) ::tcflush(fd(), TCIOFLUSH);
    }

private:
    int keeper_;
};
}  // namespace

PtyPair openPty(SysStatus* error) {
    PtyPair pair;
    int master = -1, slave = -1;
    char name[256] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    raw.c_cflag |= CREAD | CLOCAL;
    ::cfsetspeed(&raw, B9600);
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) {
        if (error) *error = SysStatus::fromErrno("openpty");
        return pair;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    pair.master = master;
    pair.slaveKeeper = slave;
    pair.slavePath = name;
    return pair;
}

std::unique_ptr<FdDevice> ptyMasterDevice(PtyPair& pair, EventLoop& loop) {
    auto dev = std::make_unique<PtyMaster>(loop, pair.master, pair.slavePath, pair.slaveKeeper);
    pair.master = pair.slaveKeeper = -1;
    return dev;
}

}  // namespace tpx
