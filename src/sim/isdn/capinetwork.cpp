#include "sim/isdn/capinetwork.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <thread>

#include "common/realtimeloop.h"
#include "platform/fddevice.h"

namespace tpx::sim {

struct CapiNetwork::Impl {
    struct Conn {
        std::unique_ptr<FdDevice> dev;
        Bytes in;
        int app = 0;  // network application, once registered
    };

    CapiNetwork& owner;
    RealTimeLoop loop;
    IsdnNetwork network;
    std::thread loopThread;
    std::thread acceptThread;
    int listenFd = -1;
    bool stopping = false;
    int nextConn = 1;
    std::map<int, Conn> conns;

    Impl(CapiNetwork& o, IsdnConfig cfg) : owner(o), network(loop, std::move(cfg)) {}

    void counters() {
        owner.callsPlaced_ = network.callsPlaced();
        owner.framesFromCaller_ = network.framesFromCaller();
        owner.active_ = network.activeCalls();
    }

    void sendFrame(int connId, ByteView msg, ByteView data = {}) {
        auto it = conns.find(connId);
        if (it == conns.end() || !it->second.dev) return;
        Bytes frame;
        const std::size_t n = 2 + msg.size() + data.size();
        frame.push_back(static_cast<std::uint8_t>(n >> 8));
        frame.push_back(static_cast<std::uint8_t>(n));
        frame.insert(frame.end(), msg.begin(), msg.end());
        frame.insert(frame.end(), data.begin(), data.end());
        (void)it->second.dev->writeAll(frame, 1000);  // one write per frame
    }

    // A control reply: cmd/0xFF at body offset 4, the payload from body offset 8.
    void controlReply(int connId, std::uint8_t cmd, const Bytes& payload) {
        Bytes body(8, 0);
        body[4] = cmd;
        body[5] = 0xFF;
        body.insert(body.end(), payload.begin(), payload.end());
        body[0] = static_cast<std::uint8_t>(body.size());
        sendFrame(connId, body);
    }

    void accepted(int fd) {
        const int id = nextConn++;
        Conn& c = conns[id];
        c.dev = std::make_unique<FdDevice>(loop, fd, "capi-client");
        c.dev->startReading([this, id](ByteView chunk) { received(id, chunk); }, [this, id](int) { closed(id); });
    }

    void closed(int id) {
        auto it = conns.find(id);
        if (it == conns.end()) return;
        if (it->second.app) network.detach(it->second.app);
        if (it->second.dev) it->second.dev->close();
        conns.erase(it);
        counters();
    }

    void received(int id, ByteView chunk) {
        auto it = conns.find(id);
        if (it == conns.end()) return;
        it->second.in.insert(it->second.in.end(), chunk.begin(), chunk.end());
        for (;;) {
            it = conns.find(id);
            if (it == conns.end()) return;
            Bytes& in = it->second.in;
            if (in.size() < 2) return;
            const std::size_t n = static_cast<std::size_t>((in[0] << 8) | in[1]);
            if (n < 2) return closed(id);  // not the protocol
            if (in.size() < n) return;
            Bytes body(in.begin() + 2, in.begin() + static_cast<std::ptrdiff_t>(n));
            in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(n));
            if (it->second.app) {
                if (!network.fromApplication(it->second.app, body)) closed(id);
            } else {
                control(id, body);
            }
            counters();
        }
    }

    void control(int id, const Bytes& body) {
        if (body.size() < 12) return;
        const std::uint8_t cmd = body[4];
        const std::uint32_t ctrl = body[8] | (body[9] << 8) | (body[10] << 16) | (std::uint32_t{body[11]} << 24);
        const IsdnConfig& cfg = network.config();
        Bytes p;
        switch (cmd) {
            case 0xF2:  // register: this connection becomes the application's
                conns[id].app = network.attach([this, id](ByteView m, ByteView d) { sendFrame(id, m, d); });
                ++owner.applications_;
                appendLe16(p, 0);
                return controlReply(id, 0xF3, p);
            case 0xE0:  // get_profile
                appendLe16(p, 0);
                appendLe16(p, static_cast<std::uint16_t>(cfg.controllers));
                if (ctrl != 0) {
                    appendLe16(p, static_cast<std::uint16_t>(cfg.bChannels));
                    appendLe32(p, 0x00000001);  // global options: internal controller
                    appendLe32(p, 0x00000003);  // B1: 64 kbit/s HDLC, transparent
                    appendLe32(p, 0x00000003);  // B2
                    appendLe32(p, 0x00000001);  // B3: transparent
                    p.resize(2 + 64, 0);
                }
                return controlReply(id, 0xE1, p);
            case 0xFA: {  // manufacturer
                p.push_back(64);
                std::string text = "TPX simulated ISDN";
                text.resize(64, '\0');
                p.insert(p.end(), text.begin(), text.end());
                return controlReply(id, 0xFB, p);
            }
            case 0xFC:  // version
                p.push_back(16);
                appendLe32(p, 2);
                appendLe32(p, 0);
                appendLe32(p, 1);
                appendLe32(p, 0);
                return controlReply(id, 0xFD, p);
            case 0xFE:  // serial number
                p.push_back(8);
                for (char c : std::string("0000001")) p.push_back(static_cast<std::uint8_t>(c));
                p.push_back(0);
                return controlReply(id, 0xFF, p);
            default:
                return;
        }
    }
};

CapiNetwork::CapiNetwork(IsdnConfig config) : impl_(std::make_unique<Impl>(*this, std::move(config))) {}

CapiNetwork::~CapiNetwork() { stop(); }

SysStatus CapiNetwork::start(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return SysStatus::fromErrno("socket");
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0) {
        SysStatus st = SysStatus::fromErrno("listen 127.0.0.1:" + std::to_string(port));
        ::close(fd);
        return st;
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    Impl* im = impl_.get();
    im->listenFd = fd;
    im->loopThread = std::thread([im] { im->loop.waitUntil([im] { return im->stopping; }, EventLoop::kForever); });
    im->acceptThread = std::thread([im, fd] {
        for (;;) {
            int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (c < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                return;  // closed by stop()
            }
            int on = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // no Nagle stall per frame
            im->loop.post([im, c] { im->accepted(c); });
        }
    });
    return {};
}

void CapiNetwork::stop() {
    Impl* im = impl_.get();
    if (im->listenFd < 0) return;
    ::shutdown(im->listenFd, SHUT_RDWR);
    if (im->acceptThread.joinable()) im->acceptThread.join();
    ::close(im->listenFd);
    im->listenFd = -1;
    im->loop.post([im] {
        for (auto& [id, c] : im->conns) {
            if (c.app) im->network.detach(c.app);
            if (c.dev) c.dev->close();
        }
        im->conns.clear();
        im->stopping = true;
    });
    if (im->loopThread.joinable()) im->loopThread.join();
}

SysStatus CapiNetwork::writeCapiConfig(const std::filesystem::path& home) const {
    std::ofstream out(home / ".capi20rc");
    // The library cuts the last character of every line: each line ends in a newline.
    out << "REMOTE rcapi 127.0.0.1 " << port_ << "\nTRACELEVEL 0\n";
    if (!out) return SysStatus(EIO, "write " + (home / ".capi20rc").string());
    return {};
}

void CapiNetwork::clearAll(std::uint16_t reason) {
    Impl* im = impl_.get();
    im->loop.post([im, reason] { im->network.clearAll(reason); });
}

void CapiNetwork::offerCall(const std::string& caller) {
    Impl* im = impl_.get();
    im->loop.post([im, caller] { im->network.offerCall(caller); });
}

void CapiNetwork::setFaults(const IsdnFaults& f) {
    Impl* im = impl_.get();
    im->loop.post([im, f] { im->network.setFaults(f); });
}

}  // namespace tpx::sim
