#include "sim/isdn/network.h"

namespace tpx::sim {

namespace {

constexpr std::uint8_t kAlert = 0x01, kConnect = 0x02, kConnectActive = 0x03, kDisconnect = 0x04, kListen = 0x05,
                       kInfo = 0x08, kConnectB3 = 0x82, kConnectB3Active = 0x83, kDisconnectB3 = 0x84,
                       kDataB3 = 0x86;
constexpr std::uint8_t kReq = 0x80, kConf = 0x81, kInd = 0x82, kResp = 0x83;

std::uint16_t get16(ByteView b, std::size_t o) {
    return o + 2 <= b.size() ? static_cast<std::uint16_t>(b[o] | (b[o + 1] << 8)) : 0;
}
std::uint32_t get32(ByteView b, std::size_t o) {
    return o + 4 <= b.size() ? get16(b, o) | (std::uint32_t{get16(b, o + 2)} << 16) : 0;
}

// A CAPI message: header, address, then `rest` as it stands.
Bytes capiMessage(std::uint8_t cmd, std::uint8_t sub, std::uint16_t number, std::uint32_t address, const Bytes& rest) {
    Bytes m;
    appendLe16(m, 0);
    appendLe16(m, 0);  // the application id: the transport or the library puts its own
    m.push_back(cmd);
    m.push_back(sub);
    appendLe16(m, number);
    appendLe32(m, address);
    m.insert(m.end(), rest.begin(), rest.end());
    m[0] = static_cast<std::uint8_t>(m.size());
    m[1] = static_cast<std::uint8_t>(m.size() >> 8);
    return m;
}

}  // namespace

struct IsdnNetwork::Call {
    int app = -1;
    std::uint32_t plci = 0;
    std::uint32_t ncci = 0;
    bool b3 = false;
    bool clearing = false;
    int frames = 0;
    std::uint16_t handle = 0;
    std::unique_ptr<IsdnParty> party;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

IsdnNetwork::IsdnNetwork(EventLoop& loop, IsdnConfig config) : loop_(loop), cfg_(std::move(config)) {}

IsdnNetwork::~IsdnNetwork() {
    for (auto& [plci, c] : calls_) *c->alive = false;
}

int IsdnNetwork::attach(Deliver deliver) {
    const int id = nextApp_++;
    apps_[id] = std::move(deliver);
    return id;
}

void IsdnNetwork::detach(int app) {
    apps_.erase(app);
    for (auto it = calls_.begin(); it != calls_.end();) {
        if (it->second->app == app) {
            *it->second->alive = false;
            if (it->second->party) it->second->party->disconnected();
            it = calls_.erase(it);
        } else {
            ++it;
        }
    }
}

void IsdnNetwork::send(int app, const Bytes& message, ByteView data) {
    auto it = apps_.find(app);
    if (it != apps_.end()) it->second(message, data);
}

IsdnNetwork::Call* IsdnNetwork::callByPlci(std::uint32_t plci) {
    auto it = calls_.find(plci & 0xFFFF);
    return it == calls_.end() ? nullptr : it->second.get();
}

void IsdnNetwork::conf(int app, std::uint8_t cmd, std::uint16_t number, std::uint32_t addr, std::uint16_t info) {
    Bytes rest;
    appendLe16(rest, info);
    send(app, capiMessage(cmd, kConf, number, addr, rest));
}

bool IsdnNetwork::fromApplication(int app, ByteView body) {
    if (body.size() < 12) return true;
    const std::uint16_t len = get16(body, 0);
    const std::uint8_t cmd = body[4], sub = body[5];
    const std::uint16_t number = get16(body, 6);
    const std::uint32_t addr = get32(body, 8);
    const IsdnFaults& f = cfg_.faults;
    if (sub == kResp) {
        response(cmd, addr, body);
        return true;
    }
    if (sub != kReq) return true;
    switch (cmd) {
        case kListen:
            if (f.noListenConf) return true;
            conf(app, cmd, number, addr, 0);
            return true;
        case kAlert:
        case kInfo:
            conf(app, cmd, number, addr, 0);
            return true;
        case kConnect: {
            ++callsPlaced_;
            if (f.closeOnConnect) return false;
            const std::uint32_t ctrl = addr & 0x7F;
            if (f.connectConfInfo != 0) {
                conf(app, kConnect, number, ctrl, f.connectConfInfo);
                return true;
            }
            const std::uint32_t plci = (nextPlci_++ << 8) | ctrl;
            conf(app, kConnect, number, plci, 0);
            // CIPValue (2 bytes), then the called party number [length][type][digits].
            std::string called;
            if (body.size() > 14 && body[14] >= 1 && body.size() >= 15u + body[14])
                called.assign(body.begin() + 16, body.begin() + 15 + body[14]);
            auto call = std::make_unique<Call>();
            call->app = app;
            call->plci = plci;
            auto alive = call->alive;
            calls_[plci & 0xFFFF] = std::move(call);
            loop_.postAfter(f.answerDelayMs, [this, plci, alive, called] {
                if (!*alive) return;
                Call* c = callByPlci(plci);
                if (!c) return;
                auto answer = cfg_.numbers.find(called);
                if (answer == cfg_.numbers.end()) {
                    indicateDisconnect(*c, 0x3481);  // unallocated (unassigned) number
                    return;
                }
                c->party = answer->second();
                send(c->app, capiMessage(kConnectActive, kInd, 0, plci, Bytes{0, 0, 0}));
            });
            return true;
        }
        case kConnectB3: {
            Call* c = callByPlci(addr);
            if (!c) {
                conf(app, kConnectB3, number, addr, 0x2002);
                return true;
            }
            if (f.b3ConfInfo != 0) {
                conf(app, kConnectB3, number, addr, f.b3ConfInfo);
                return true;
            }
            c->ncci = (1u << 16) | (c->plci & 0xFFFF);
            conf(app, kConnectB3, number, c->ncci, 0);
            c->b3 = true;
            send(app, capiMessage(kConnectB3Active, kInd, 0, c->ncci, Bytes{0}));
            if (c->party) {
                const std::uint32_t plci = c->plci;
                auto alive = c->alive;
                IsdnLine line;
                line.loop = &loop_;
                line.send = [this, plci, alive](ByteView frame) {
                    if (*alive) toCaller(plci, frame);
                };
                line.clear = [this, plci, alive](std::uint16_t reason) {
                    if (!*alive) return;
                    if (Call* call = callByPlci(plci)) indicateClear(*call, reason);
                };
                c->party->connected(std::move(line));
            }
            if (f.clearWhenActive)
                if (Call* again = callByPlci(addr)) indicateClear(*again, f.clearReason);
            return true;
        }
        case kDataB3: {
            Call* c = callByPlci(addr);
            const std::uint16_t handle = get16(body, 18);
            Bytes rest;
            appendLe16(rest, handle);
            appendLe16(rest, c && c->b3 ? 0 : 0x2002);
            send(app, capiMessage(kDataB3, kConf, number, addr, rest));
            if (!c || !c->b3) return true;
            const std::uint16_t n = get16(body, 16);
            ByteView data = len <= body.size() ? body.subspan(len) : ByteView();
            if (data.size() > n) data = data.first(n);
            ++c->frames;
            ++framesFromCaller_;
            const int frames = c->frames;
            if (c->party) c->party->frame(data);
            if (f.clearAfterFrames >= 0 && frames >= f.clearAfterFrames)
                if (Call* again = callByPlci(addr)) indicateClear(*again, f.clearReason);
            return true;
        }
        case kDisconnectB3: {
            Call* c = callByPlci(addr);
            conf(app, kDisconnectB3, number, addr, c ? 0 : 0x2002);
            if (!c) return true;
            c->b3 = false;
            Bytes rest;
            appendLe16(rest, 0);
            rest.push_back(0);
            send(app, capiMessage(kDisconnectB3, kInd, 0, addr, rest));
            return true;
        }
        case kDisconnect: {
            Call* c = callByPlci(addr);
            conf(app, kDisconnect, number, addr, c ? 0 : 0x2002);
            if (c) indicateDisconnect(*c, 0x3490);
            return true;
        }
        default:
            conf(app, cmd, number, addr, 0x1102);
            return true;
    }
}

void IsdnNetwork::endCall(std::uint32_t plci) {
    auto it = calls_.find(plci & 0xFFFF);
    if (it == calls_.end()) return;
    std::unique_ptr<Call> call = std::move(it->second);
    calls_.erase(it);
    *call->alive = false;
    if (call->party) call->party->disconnected();
}

void IsdnNetwork::response(std::uint8_t cmd, std::uint32_t addr, ByteView body) {
    if (cmd == kDisconnect) {
        endCall(addr);
    } else if (cmd == kConnect && body.size() >= 14 && get16(body, 12) != 0) {
        if (Call* c = callByPlci(addr)) indicateDisconnect(*c, 0x3495);  // call rejected
    }
}

void IsdnNetwork::toCaller(std::uint32_t plci, ByteView frame) {
    Call* c = callByPlci(plci);
    if (!c || !c->b3) return;
    Bytes rest;
    appendLe32(rest, 0);  // data pointer: none on the wire
    appendLe16(rest, static_cast<std::uint16_t>(frame.size()));
    appendLe16(rest, ++c->handle);
    appendLe16(rest, 0);
    send(c->app, capiMessage(kDataB3, kInd, 0, c->ncci, rest), frame);
}

void IsdnNetwork::indicateDisconnect(Call& c, std::uint16_t reason) {
    if (c.clearing && reason != 0x3490) return;
    c.clearing = true;
    Bytes rest;
    appendLe16(rest, reason);
    send(c.app, capiMessage(kDisconnect, kInd, 0, c.plci, rest));
}

void IsdnNetwork::indicateClear(Call& c, std::uint16_t reason) {
    if (c.clearing) return;
    if (c.b3) {
        c.b3 = false;
        Bytes rest;
        appendLe16(rest, 0x3301);  // layer 1 gone
        rest.push_back(0);
        send(c.app, capiMessage(kDisconnectB3, kInd, 0, c.ncci, rest));
    }
    indicateDisconnect(c, reason);
}

void IsdnNetwork::clearAll(std::uint16_t reason) {
    for (auto& [plci, c] : calls_) indicateClear(*c, reason);
}

void IsdnNetwork::offerCall(const std::string& caller) {
    if (apps_.empty()) return;
    const int app = apps_.begin()->first;
    const std::uint32_t plci = (nextPlci_++ << 8) | 1;
    auto call = std::make_unique<Call>();
    call->app = app;
    call->plci = plci;
    calls_[plci & 0xFFFF] = std::move(call);
    Bytes rest;
    appendLe16(rest, 2);     // CIPValue: unrestricted digital information
    rest.push_back(0);  // called party number
    rest.push_back(static_cast<std::uint8_t>(caller.size() + 2));
    rest.push_back(0x00);
    rest.push_back(0x80);
    rest.insert(rest.end(), caller.begin(), caller.end());
    for (int i = 0; i < 6; ++i) rest.push_back(0);  // subaddresses, BC, LLC, HLC, additional info
    send(app, capiMessage(kConnect, kInd, 0, plci, rest));
}

}  // namespace tpx::sim
