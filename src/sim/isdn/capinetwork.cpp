#include "sim/isdn/capinetwork.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include "common/realtimeloop.h"
#include "platform/fddevice.h"

namespace tpx::sim {

namespace {

// CAPI codes the network uses.
constexpr std::uint8_t kAlert = 0x01, kConnect = 0x02, kConnectActive = 0x03, kDisconnect = 0x04, kListen = 0x05,
                       kInfo = 0x08, kConnectB3 = 0x82, kConnectB3Active = 0x83, kDisconnectB3 = 0x84,
                       kDataB3 = 0x86;
constexpr std::uint8_t kReq = 0x80, kConf = 0x81, kInd = 0x82, kResp = 0x83;

void put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes& b, std::uint32_t v) {
    put16(b, static_cast<std::uint16_t>(v));
    put16(b, static_cast<std::uint16_t>(v >> 16));
}
std::uint16_t get16(ByteView b, std::size_t o) { return o + 2 <= b.size() ? static_cast<std::uint16_t>(b[o] | (b[o + 1] << 8)) : 0; }
std::uint32_t get32(ByteView b, std::size_t o) { return o + 4 <= b.size() ? get16(b, o) | (std::uint32_t{get16(b, o + 2)} << 16) : 0; }

// A CAPI message: header, address, then `rest` as it stands.
Bytes capiMessage(std::uint8_t cmd, std::uint8_t sub, std::uint16_t number, std::uint32_t address, const Bytes& rest) {
    Bytes m;
    put16(m, 0);
    put16(m, 0);  // the library puts its own application id here
    m.push_back(cmd);
    m.push_back(sub);
    put16(m, number);
    put32(m, address);
    m.insert(m.end(), rest.begin(), rest.end());
    m[0] = static_cast<std::uint8_t>(m.size());
    m[1] = static_cast<std::uint8_t>(m.size() >> 8);
    return m;
}

}  // namespace

struct CapiNetwork::Impl {
    struct Conn {
        std::unique_ptr<FdDevice> dev;
        Bytes in;
        bool application = false;
    };
    struct Call {
        int conn = -1;
        std::uint32_t plci = 0;
        std::uint32_t ncci = 0;
        bool b3 = false;
        bool clearing = false;
        int frames = 0;
        std::uint16_t handle = 0;
        std::unique_ptr<IsdnParty> party;
        std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    };

    CapiNetwork& owner;
    IsdnConfig cfg;
    RealTimeLoop loop;
    std::thread loopThread;
    std::thread acceptThread;
    int listenFd = -1;
    bool stopping = false;
    int nextConn = 1;
    std::uint32_t nextPlci = 1;
    std::map<int, Conn> conns;
    std::map<std::uint32_t, Call> calls;  // by PLCI
    mutable std::mutex statsMutex;

    Impl(CapiNetwork& o, IsdnConfig c) : owner(o), cfg(std::move(c)) {}

    void sendFrame(int connId, const Bytes& msg, ByteView data = {}) {
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
        // The application went away: its calls end with it.
        for (auto c = calls.begin(); c != calls.end();) {
            if (c->second.conn == id) {
                *c->second.alive = false;
                if (c->second.party) c->second.party->disconnected();
                c = calls.erase(c);
            } else {
                ++c;
            }
        }
        if (it->second.dev) it->second.dev->close();
        conns.erase(it);
        owner.active_ = static_cast<int>(calls.size());
    }

    void received(int id, ByteView chunk) {
        auto it = conns.find(id);
        if (it == conns.end()) return;
        Bytes& in = it->second.in;
        in.insert(in.end(), chunk.begin(), chunk.end());
        while (in.size() >= 2) {
            const std::size_t n = static_cast<std::size_t>((in[0] << 8) | in[1]);
            if (n < 2) return closed(id);  // not the protocol
            if (in.size() < n) return;
            Bytes body(in.begin() + 2, in.begin() + static_cast<std::ptrdiff_t>(n));
            in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(n));
            if (conns.count(id) == 0) return;
            if (conns[id].application) message(id, body);
            else control(id, body);
            owner.active_ = static_cast<int>(calls.size());
            if (conns.count(id) == 0) return;
            it = conns.find(id);
        }
    }

    void control(int id, const Bytes& body) {
        if (body.size() < 12) return;
        const std::uint8_t cmd = body[4];
        const std::uint32_t ctrl = get32(body, 8);
        Bytes p;
        switch (cmd) {
            case 0xF2:  // register
                conns[id].application = true;
                ++owner.applications_;
                put16(p, 0);
                return controlReply(id, 0xF3, p);
            case 0xE0:  // get_profile
                put16(p, 0);
                if (ctrl == 0) {
                    put16(p, static_cast<std::uint16_t>(cfg.controllers));
                } else {
                    put16(p, static_cast<std::uint16_t>(cfg.controllers));
                    put16(p, static_cast<std::uint16_t>(cfg.bChannels));
                    put32(p, 0x00000001);  // global options: internal controller
                    put32(p, 0x00000003);  // B1: 64 kbit/s HDLC, transparent
                    put32(p, 0x00000003);  // B2
                    put32(p, 0x00000001);  // B3: transparent
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
                put32(p, 2);
                put32(p, 0);
                put32(p, 1);
                put32(p, 0);
                return controlReply(id, 0xFD, p);
            case 0xFE: {  // serial number
                p.push_back(8);
                for (char c : std::string("0000001")) p.push_back(static_cast<std::uint8_t>(c));
                p.push_back(0);
                return controlReply(id, 0xFF, p);
            }
            default:
                return;
        }
    }

    Call* callByPlci(std::uint32_t plci) {
        auto it = calls.find(plci & 0xFFFF);
        return it == calls.end() ? nullptr : &it->second;
    }

    void conf(int id, std::uint8_t cmd, std::uint16_t number, std::uint32_t addr, std::uint16_t info) {
        Bytes rest;
        put16(rest, info);
        sendFrame(id, capiMessage(cmd, kConf, number, addr, rest));
    }

    void message(int id, const Bytes& body) {
        if (body.size() < 12) return;
        const std::uint16_t len = get16(body, 0);
        const std::uint8_t cmd = body[4], sub = body[5];
        const std::uint16_t number = get16(body, 6);
        const std::uint32_t addr = get32(body, 8);
        const IsdnFaults& f = cfg.faults;
        if (sub == kResp) return response(id, cmd, addr, body);
        if (sub != kReq) return;
        switch (cmd) {
            case kListen:
            case kAlert:
            case kInfo:
                return conf(id, cmd, number, addr, 0);
            case kConnect: {
                ++owner.callsPlaced_;
                if (f.closeOnConnect) return closed(id);
                const std::uint32_t ctrl = addr & 0x7F;
                const std::uint32_t plci = (nextPlci++ << 8) | ctrl;
                if (f.connectConfInfo != 0) return conf(id, kConnect, number, ctrl, f.connectConfInfo);
                conf(id, kConnect, number, plci, 0);
                // The called number: CIPValue (2 bytes), then the struct [len][type][digits].
                std::string called;
                if (body.size() > 14 && body[14] >= 1 && body.size() >= 15u + body[14])
                    called.assign(body.begin() + 16, body.begin() + 15 + body[14]);
                Call& call = calls[plci & 0xFFFF];
                call.conn = id;
                call.plci = plci;
                auto answer = cfg.numbers.find(called);
                auto alive = call.alive;
                loop.postAfter(f.answerDelayMs, [this, plci, alive, answer] {
                    if (!*alive) return;
                    Call* c = callByPlci(plci);
                    if (!c) return;
                    if (answer == cfg.numbers.end()) {
                        indicateDisconnect(*c, 0x3481);  // unallocated (unassigned) number
                        return;
                    }
                    c->party = answer->second();
                    sendFrame(c->conn, capiMessage(kConnectActive, kInd, 0, plci, Bytes{0, 0, 0}));
                });
                return;
            }
            case kConnectB3: {
                Call* c = callByPlci(addr);
                if (!c) return conf(id, kConnectB3, number, addr, 0x2002);
                if (f.b3ConfInfo != 0) return conf(id, kConnectB3, number, addr, f.b3ConfInfo);
                c->ncci = (1u << 16) | (c->plci & 0xFFFF);
                conf(id, kConnectB3, number, c->ncci, 0);
                c->b3 = true;
                sendFrame(id, capiMessage(kConnectB3Active, kInd, 0, c->ncci, Bytes{0}));
                if (c->party) {
                    const std::uint32_t plci = c->plci;
                    auto alive = c->alive;
                    c->party->connected([this, plci, alive](ByteView frame) {
                        if (*alive) toCaller(plci, frame);
                    });
                }
                if (f.clearWhenActive) indicateClear(*c, f.clearReason);
                return;
            }
            case kDataB3: {
                Call* c = callByPlci(addr);
                const std::uint16_t handle = get16(body, 18);
                Bytes rest;
                put16(rest, handle);
                put16(rest, c && c->b3 ? 0 : 0x2002);
                sendFrame(id, capiMessage(kDataB3, kConf, number, addr, rest));
                if (!c || !c->b3) return;
                const std::uint16_t n = get16(body, 16);
                ByteView data = len <= body.size() ? ByteView(body).subspan(len) : ByteView();
                if (data.size() > n) data = data.first(n);
                ++c->frames;
                ++owner.framesFromCaller_;
                if (c->party) c->party->frame(data);
                if (f.clearAfterFrames >= 0 && c->frames >= f.clearAfterFrames) {
                    if (Call* again = callByPlci(addr)) indicateClear(*again, f.clearReason);
                }
                return;
            }
            case kDisconnectB3: {
                Call* c = callByPlci(addr);
                conf(id, kDisconnectB3, number, addr, c ? 0 : 0x2002);
                if (!c) return;
                c->b3 = false;
                Bytes rest;
                put16(rest, 0);
                rest.push_back(0);
                sendFrame(id, capiMessage(kDisconnectB3, kInd, 0, addr, rest));
                return;
            }
            case kDisconnect: {
                Call* c = callByPlci(addr);
                conf(id, kDisconnect, number, addr, c ? 0 : 0x2002);
                if (c) indicateDisconnect(*c, 0x3490);
                return;
            }
            default:
                return conf(id, cmd, number, addr, 0x1102);
        }
    }

    void response(int, std::uint8_t cmd, std::uint32_t addr, const Bytes& body) {
        if (cmd == kDisconnect) {
            auto it = calls.find(addr & 0xFFFF);
            if (it != calls.end()) {
                *it->second.alive = false;
                if (it->second.party) it->second.party->disconnected();
                calls.erase(it);
            }
        } else if (cmd == kConnect && body.size() >= 14 && get16(body, 12) != 0) {
            if (Call* c = callByPlci(addr)) indicateDisconnect(*c, 0x3495);  // call rejected
        }
    }

    void toCaller(std::uint32_t plci, ByteView frame) {
        Call* c = callByPlci(plci);
        if (!c || !c->b3) return;
        Bytes rest;
        put32(rest, 0);  // data pointer: none on the wire
        put16(rest, static_cast<std::uint16_t>(frame.size()));
        put16(rest, ++c->handle);
        put16(rest, 0);
        sendFrame(c->conn, capiMessage(kDataB3, kInd, 0, c->ncci, rest), frame);
    }

    void indicateDisconnect(Call& c, std::uint16_t reason) {
        if (c.clearing && reason != 0x3490) return;
        c.clearing = true;
        Bytes rest;
        put16(rest, reason);
        sendFrame(c.conn, capiMessage(kDisconnect, kInd, 0, c.plci, rest));
    }

    // The network clears: the B-channel first when it is up.
    void indicateClear(Call& c, std::uint16_t reason) {
        if (c.clearing) return;
        if (c.b3) {
            c.b3 = false;
            Bytes rest;
            put16(rest, 0x3301);  // layer 1 gone
            rest.push_back(0);
            sendFrame(c.conn, capiMessage(kDisconnectB3, kInd, 0, c.ncci, rest));
        }
        indicateDisconnect(c, reason);
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
        for (auto& [id, c] : im->conns)
            if (c.dev) c.dev->close();
        im->conns.clear();
        im->calls.clear();
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
    im->loop.post([im, reason] {
        for (auto& [plci, c] : im->calls) im->indicateClear(c, reason);
    });
}

void CapiNetwork::offerCall(const std::string& caller) {
    Impl* im = impl_.get();
    im->loop.post([im, caller] {
        for (auto& [id, conn] : im->conns) {
            if (!conn.application) continue;
            const std::uint32_t plci = (im->nextPlci++ << 8) | 1;
            Impl::Call& call = im->calls[plci & 0xFFFF];
            call.conn = id;
            call.plci = plci;
            Bytes rest;
            put16(rest, 2);  // CIPValue: unrestricted digital information
            rest.push_back(0);  // called party number
            rest.push_back(static_cast<std::uint8_t>(caller.size() + 2));
            rest.push_back(0x00);
            rest.push_back(0x80);
            rest.insert(rest.end(), caller.begin(), caller.end());
            for (int i = 0; i < 6; ++i) rest.push_back(0);  // subaddresses, BC, LLC, HLC, additional info
            im->sendFrame(id, capiMessage(kConnect, kInd, 0, plci, rest));
            im->owner.active_ = static_cast<int>(im->calls.size());
            return;
        }
    });
}

int CapiNetwork::activeCalls() const { return active_; }

void CapiNetwork::setFaults(const IsdnFaults& f) {
    Impl* im = impl_.get();
    im->loop.post([im, f] { im->cfg.faults = f; });
}

}  // namespace tpx::sim
