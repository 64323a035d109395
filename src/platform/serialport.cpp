#include "platform/serialport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tpx {

speed_t SerialPort::speedFor(int baud) {
    switch (baud) {
        case 110: return B110;
        case 134: return B134;
        case 150: return B150;
        case 200: return B200;
        case 300: return B300;
        case 600: return B600;
        case 1200: return B1200;
        case 1800: return B1800;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        default: return 0;
    }
}

std::unique_ptr<SerialPort> SerialPort::open(const std::string& path, EventLoop& loop,
                                             SysStatus* error) {
    auto fail = [&](SysStatus st) -> std::unique_ptr<SerialPort> {
        if (error) *error = std::move(st);
        return nullptr;
    };
    int fd = retryEintr([&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) return fail(SysStatus::fromErrno("open " + path));
    termios original{};
    if (!::isatty(fd) || ::tcgetattr(fd, &original) != 0) {
        ::close(fd);
        return fail(SysStatus(ENOTTY, "open " + path));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return fail(SysStatus(err, "open " + path));
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        SysStatus st = SysStatus::fromErrno("open " + path);
        ::close(fd);
        return fail(st);
    }
    return std::unique_ptr<SerialPort>(new SerialPort(loop, fd, path, original));
}

SerialPort::SerialPort(EventLoop& loop, int fd, std::string path, const termios& original)
    : FdDevice(loop, fd, std::move(path)), original_(original) {
    // Unix98 pseudo-terminal slaves have majors 136 to 143.
    struct stat st {};
    pseudoTerminal_ = ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
                      major(st.st_rdev) <= 143;
}

SerialPort::~SerialPort() { close(); }

bool SerialPort::makeTermios(const SerialParams& p, termios& t) {
    speed_t speed = speedFor(p.baud);
    if (speed == 0 || p.dataBits < 5 || p.dataBits > 8) return false;
    // Raw: no input or output processing, no echo, no signals, reads never wait.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY |
                   INPCK | IGNPAR);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[p.dataBits - 5];
    switch (p.parity) {
        case Parity::None: break;
        case Parity::Odd: t.c_cflag |= PARENB | PARODD; break;
        case Parity::Even: t.c_cflag |= PARENB; break;
        case Parity::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case Parity::Space: t.c_cflag |= PARENB | CMSPAR; break;
    }
    if (p.parity != Parity::None) t.c_iflag |= INPCK;  // parity checking on
    if (p.stopBits != StopBits::One) t.c_cflag |= CSTOPB;
    if (p.rtsCts) t.c_cflag |= CRTSCTS;
    if (p.xonXoff) t.c_iflag |= IXON | IXOFF;
    t.c_cc[VSTART] = p.xonChar;
    t.c_cc[VSTOP] = p.xoffChar;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return ::cfsetispeed(&t, speed) == 0 && ::cfsetospeed(&t, speed) == 0;
}

SysStatus SerialPort::configure(const SerialParams& p) {
    const std::string what = "configure " + name();
    termios t{};
    if (::tcgetattr(fd(), &t) != 0) return SysStatus::fromErrno(what);
    if (!makeTermios(p, t)) return SysStatus(EINVAL, what);
    if (::tcsetattr(fd(), TCSANOW, &t) != 0) return SysStatus::fromErrno(what);

    // tcsetattr succeeds when any part applied: read back what the driver took.
    termios got{};
    if (::tcgetattr(fd(), &got) != 0) return SysStatus::fromErrno(what);
    tcflag_t checked = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    if (pseudoTerminal_) checked &= ~(CSIZE | PARENB);
    if ((got.c_cflag & checked) != (t.c_cflag & checked) || ::cfgetospeed(&got) != ::cfgetospeed(&t) ||
        (got.c_iflag & (IXON | IXOFF)) != (t.c_iflag & (IXON | IXOFF)))
        return SysStatus(EINVAL, what);
    return {};
}

void SerialPort::purge() {
    if (fd() >= 0) ::tcflush(fd(), TCIOFLUSH);
}

SysStatus SerialPort::setModemLine(int bit, bool on) {
    if (fd() < 0) return SysStatus(EBADF, "modem lines " + name());
    if (::ioctl(fd(), on ? TIOCMBIS : TIOCMBIC, &bit) == 0) return {};
    // Pseudo-terminals and some adapters have no modem lines.
    if (errno == ENOTTY || errno == EINVAL) return {};
    return SysStatus::fromErrno("modem lines " + name());
}

SysStatus SerialPort::setDtr(bool on) { return setModemLine(TIOCM_DTR, on); }
SysStatus SerialPort::setRts(bool on) { return setModemLine(TIOCM_RTS, on); }

void SerialPort::beforeClose() {
    ::tcsetattr(fd(), TCSANOW, &original_);
    ::ioctl(fd(), TIOCNXCL);
}

}  // namespace tpx
