#include "capi/connection.h"

namespace tpx::capi {

namespace {
constexpr unsigned kInfoErrorFrom = 0x100;  // 0x0001..0x00FF are informative: success
}

const char* stateName(ConnState s) {
    switch (s) {
        case ConnState::Disconnected: return "Disconnected";
        case ConnState::D_ConnectPending: return "D_ConnectPending";
        case ConnState::D_Connected: return "D_Connected";
        case ConnState::B_ConnectPending: return "B_ConnectPending";
        case ConnState::Connected: return "Connected";
        case ConnState::B_DisconnectPending: return "B_DisconnectPending";
        case ConnState::D_DisconnectPending: return "D_DisconnectPending";
    }
    return "?";
}

CapiConnections::CapiConnections(CapiLayer& layer, ConnectionEvents& events, Flavour flavour)
    : layer_(layer), events_(events), flavour_(flavour) {}

// --- registration -----------------------------------------------------------------------------

unsigned CapiConnections::RegisterCAPI() {
    CapiApi& api = layer_.api();
    if (api.isInstalled() != 0) {
        layer_.Trace_Printf("\nError: ISDN-driver not installed\n");
        return 0;
    }
    Profile profile{};
    if (api.getProfile(0, profile) != 0) {
        layer_.Trace_Printf("CAPI_GET_PROFILE error \n");
        return 0;
    }
    controllers_ = *readLe16(profile, 0);
    if (controllers_ == 0) {
        layer_.Trace_Printf("\nError: No ISDN-controller installed\n");
        return 0;
    }
    bChannels.fill(0);
    for (unsigned c = 1; c <= controllers_ && c < bChannels.size(); ++c) {
        Profile p{};
        if (api.getProfile(c, p) == 0) bChannels[c] = *readLe16(p, 2);
        else layer_.Trace_Printf("CAPI_GET_PROFILE error \n");
    }
    unsigned app = 0;
    const unsigned r = api.registerApplication(kMessageBuffer, kMaxConnections, kMaxBlocks, kBlockSize, &app);
    if (r != 0 || app == 0) {
        layer_.Trace_Printf("\nError: registering the application in function RegisterCAPI, ");
        layer_.Trace_Printf("code: %04X\n", r);
        return 0;
    }
    appId_ = app;
    return controllers_;
}

void CapiConnections::ReleaseCAPI() {
    const unsigned r = layer_.api().release(appId_);
    if (r != 0) {
        layer_.Trace_Printf("Error: deregistering the application in function ReleaseCAPI, ");
        layer_.Trace_Printf("code: 0x%04X\n", r);
    }
}

unsigned CapiConnections::ListenAll_h(std::uint32_t cipMask) {
    for (unsigned c = 1; c <= controllers_; ++c) {
        CapiMessage m;
        m.header(static_cast<std::uint16_t>(appId_), kListen, kReq, 0, c);
        m.set(Param::InfoMask, 8);
        m.set(Param::CIPmask, cipMask);
        m.set(Param::CIPmask2, 0);
        if (const unsigned r = put(m)) return r;
    }
    return 0;
}

// --- the table --------------------------------------------------------------------------------

void CapiConnections::reset() {
    for (auto& e : table_) e = Connection{};
    slots_ = {-1, -1};
}

int CapiConnections::takeEntry() {
    for (int i = 0; i < kEntries; ++i) {
        if (table_[i].inUse) continue;
        table_[i] = Connection{};
        table_[i].inUse = true;
        return i;
    }
    return -1;
}

void CapiConnections::freeEntry(int id) {
    if (id < 0) return;
    table_[id].inUse = false;
    table_[id].calledNumber.clear();
    table_[id].callingNumber.clear();
}

int CapiConnections::findByPlci(std::int64_t plci) const {
    for (int i = 0; i < kEntries; ++i)
        if (table_[i].inUse && table_[i].plci == plci) return i;
    return -1;
}

int CapiConnections::findByNcci(std::int64_t ncci) const {
    for (int i = 0; i < kEntries; ++i)
        if (table_[i].inUse && table_[i].ncci == ncci) return i;
    return -1;
}

int CapiConnections::slotOf(int id) const {
    for (int s = 0; s < kSlots; ++s)
        if (slots_[s] == id && id >= 0) return s;
    return -1;
}

void CapiConnections::setState(int id, ConnState s) {
    if (id < 0) return;
    table_[id].state = s;
    if (s == ConnState::Disconnected) {
        const int sl = slotOf(id);
        if (sl >= 0) slots_[sl] = -1;
    }
    events_.stateChanged(id, s);
}

int CapiConnections::chooseController() {
    for (unsigned c = 1; c <= controllers_ && c < bChannels.size(); ++c) {
        int used = 0;
        for (const auto& e : table_)
            if (e.inUse && e.controller == static_cast<int>(c)) ++used;
        if (used < bChannels[c]) return static_cast<int>(c);
    }
    return 1;
}

std::uint16_t CapiConnections::cipValueFor(std::uint32_t mask) {
    if (mask == 0 || (mask & 1)) return 0;
    std::uint16_t bit = 0;
    while (!(mask & 1) && bit < 31) {
        mask >>= 1;
        ++bit;
    }
    return bit;
}

Bytes CapiConnections::calledNumberStruct(std::string_view number) {
    if (number.empty()) return {};
    Bytes s;
    s.push_back(static_cast<std::uint8_t>(number.size() + 1));
    s.push_back(0x80);
    s.insert(s.end(), number.begin(), number.end());
    return s;
}

unsigned CapiConnections::put(CapiMessage& m) { return layer_.Put_CAPI_Msg(m); }

// --- operations -------------------------------------------------------------------------------

unsigned CapiConnections::Connect_h(int& slot, std::string_view called, std::uint32_t serviceMask, std::uint16_t b1,
                                    std::uint16_t b2, std::uint16_t b3, ByteView b3Configuration) {
    if (slot != -1) {
        layer_.Trace_Printf("Connect_h: Connection is already in use\n");
        return kSlotInUse;
    }
    const int controller = chooseController();
    const int id = takeEntry();
    if (id < 0) {
        slot = -1;
        layer_.Trace_Printf("Error: no available connection identifiers\n");
        return kNoEntry;
    }
    slot = id;
    Connection& e = table_[id];
    e.calledNumber = calledNumberStruct(called);
    CapiMessage m;
    m.header(static_cast<std::uint16_t>(appId_), kConnect, kReq, static_cast<std::uint16_t>(id),
             static_cast<std::uint32_t>(controller));
    m.set(Param::CIPValue, cipValueFor(serviceMask));
    m.setStructWire(Param::CalledPartyNumber, e.calledNumber);
    m.set(Param::B1protocol, b1);
    m.set(Param::B2protocol, b2);
    m.set(Param::B3protocol, b3);
    if (!b3Configuration.empty()) m.setStruct(Param::B3configuration, b3Configuration);
    const unsigned r = put(m);
    if (r != 0) {
        freeEntry(id);
        slot = -1;
        layer_.Trace_Printf("Connect: error in CAPI_PUT_MESSAGE\n");
    }
    return r;
}

unsigned CapiConnections::Hangup_h(int id) {
    if (id < 0) return 0;
    Connection& e = table_[id];
    CapiMessage m;
    switch (e.state) {
        case ConnState::B_ConnectPending:
        case ConnState::Connected:
            e.initiator = true;
            m.header(static_cast<std::uint16_t>(appId_), kDisconnectB3, kReq, 0, static_cast<std::uint32_t>(e.ncci));
            return put(m);
        case ConnState::D_ConnectPending:
        case ConnState::D_Connected:
        case ConnState::B_DisconnectPending:
            e.initiator = true;
            m.header(static_cast<std::uint16_t>(appId_), kDisconnect, kReq, 0, static_cast<std::uint32_t>(e.plci));
            return put(m);
        default:
            return 0;
    }
}

unsigned CapiConnections::SendData_h(int id, ByteView data, std::uint16_t handle) {
    if (id < 0) {
        layer_.Trace_Printf("SendData_h: ConnectionID is invalid\n");
        return kSlotInUse;
    }
    if (table_[id].state != ConnState::Connected) {
        layer_.Trace_Printf("SendData_h: slot %d ID %d is not connected\n", slotOf(id), id);
        return kSlotInUse;
    }
    CapiMessage m;
    m.header(static_cast<std::uint16_t>(appId_), kDataB3, kReq, 0, static_cast<std::uint32_t>(table_[id].ncci));
    m.set(Param::DataLength, static_cast<std::uint32_t>(data.size()));
    m.set(Param::DataHandle, handle);
    m.set(Param::Flags, 0);
    m.data.assign(data.begin(), data.end());
    return put(m);
}

void CapiConnections::disconnectAll(const std::function<bool()>& timeUp) {
    for (int s = 0; s < kSlots; ++s) {
        const int id = slots_[s];
        if (id >= 0 && table_[id].state != ConnState::Disconnected && table_[id].state != ConnState::D_DisconnectPending)
            Hangup_h(id);
    }
    while (slots_[0] != -1 || slots_[1] != -1) {
        Handle_CAPI_Msg();
        if (timeUp()) break;
    }
}

// --- handling ---------------------------------------------------------------------------------

void CapiConnections::Handle_CAPI_Msg(int waitMs) {
    const unsigned r = layer_.CAPI_GET_CMSG(received_, appId_, waitMs);
    if (r == kCapiQueueEmpty) return;
    if (r != 0) {
        if (flavour_ == Flavour::IsdnLink)
            layer_.Trace_Printf("Error: CAPI_GET_CMSG returns Info != 0 in function Handle_CAPI_Msg");
        return;
    }
    if (layer_.options().verbose)
        layer_.Trace_Printf("\nGet CAPI message : %s.%s\n", Decode_Command(received_.command),
                            Decode_Sub(received_.subcommand));
    if (received_.subcommand == kConf) {
        Handle_Confirmation();
    } else if (received_.subcommand == kInd) {
        Handle_Indication();
    } else {
        layer_.Trace_Printf(flavour_ == Flavour::RemoteLyra ? "Error: Unknown subcommand in function Handle_CAPI_Msg\n"
                                                             : "Error: Unknown subcommand in function Handle_CAPI_Msg");
    }
}

void CapiConnections::Handle_Confirmation() {
    const CapiMessage& m = received_;
    const unsigned info = m.get(Param::Info);
    const std::uint32_t addr = m.address();
    if (m.command == kListen) listenConfirmed = true;
    if (m.command == kDataB3) dataConfirmed = true;
    const bool ok = info < kInfoErrorFrom;
    if (!ok && layer_.options().verbose) {
        layer_.Trace_Printf("Error: Info value 0x%x indicates error, function Handle_Confirmation\n", info);
        layer_.Trace_Printf(" ..... %s .....\n", Decode_Info(info));
    }
    switch (m.command) {
        case kAlert:
            if (!ok) layer_.Trace_Printf("Error: Info != 0 in ALERT_CONF in function Handle_Confirmation");
            return;
        case kConnect: {
            const int id = m.messageNumber < kEntries && table_[m.messageNumber].inUse ? m.messageNumber : -1;
            if (id < 0) return;
            if (ok) {
                table_[id].plci = addr;
                table_[id].controller = static_cast<int>(addr & 0xFF);
                table_[id].initiator = true;
                setState(id, ConnState::D_ConnectPending);
            } else {
                setState(id, ConnState::D_ConnectPending);
                setState(id, ConnState::Disconnected);
                freeEntry(id);
            }
            return;
        }
        case kDisconnect: {
            const int id = findByPlci(addr);
            if (ok && id >= 0) setState(id, ConnState::D_DisconnectPending);
            else if (id < 0) layer_.Trace_Printf("Error: invalid PLCI in DISCONNECT_CONF in function Handle_Confirmation");
            return;
        }
        case kListen:
            if (!ok) layer_.Trace_Printf("Error: Info != 0 in LISTEN_CONF in function Handle_Confirmation");
            return;
        case kInfo:
            if (!ok) layer_.Trace_Printf("Error: Info != 0 in INFO_CONF in function Handle_Confirmation");
            return;
        case kConnectB3: {
            const int id = findByPlci(addr & 0xFFFF);
            if (id < 0) {
                layer_.Trace_Printf("Error: invalid PLCI in CONNECT_B3_CONF in function Handle_Confirmation");
                return;
            }
            if (ok) {
                table_[id].ncci = addr;
                setState(id, ConnState::B_ConnectPending);
            } else {
                // The B-channel was refused: clear the call itself.
                CapiMessage d;
                d.header(static_cast<std::uint16_t>(appId_), kDisconnect, kReq, 0,
                         static_cast<std::uint32_t>(table_[id].plci));
                put(d);
            }
            return;
        }
        case kDisconnectB3: {
            const int id = findByNcci(addr);
            if (id < 0) {
                layer_.Trace_Printf("Error: invalid NCCI in DISCONNECT_B3_CONF in function Handle_Confirmation");
                return;
            }
            if (ok) {
                table_[id].initiator = true;
                setState(id, ConnState::B_DisconnectPending);
            }
            return;
        }
        case kDataB3:
            events_.dataConfirmed(findByNcci(addr), static_cast<std::uint16_t>(m.get(Param::DataHandle)),
                                  static_cast<std::uint16_t>(info));
            return;
        default:
            if (ok) layer_.Trace_Printf("Error: Confirmation not handled in function Handle_Confirmation");
            return;
    }
}

void CapiConnections::answer(std::uint8_t command, const CapiMessage& ind) {
    CapiMessage r;
    r.header(static_cast<std::uint16_t>(appId_), command, kResp, ind.messageNumber, ind.address());
    put(r);
}

void CapiConnections::incomingCall(int id) {
    // The digits: behind the struct's length byte and its two leading octets.
    const Bytes& s = table_[id].callingNumber;
    std::string caller;
    if (!s.empty() && s[0] >= 3 && s.size() >= 3) caller.assign(s.begin() + 3, s.end());
    if (flavour_ == Flavour::RemoteLyra)
        layer_.Trace_Printf("***** incoming call ,ID %d, caller: \"%s\" *****\n", id, caller.c_str());
    for (int sl = 0; sl < kSlots; ++sl) {
        if (slots_[sl] == -1) {
            slots_[sl] = id;  // kept alerting: neither program answers a call
            return;
        }
    }
    if (flavour_ == Flavour::RemoteLyra) layer_.Trace_Printf("***** no free slot available, rejecting call... *****\n");
    CapiMessage r;
    r.header(static_cast<std::uint16_t>(appId_), kConnect, kResp, received_.messageNumber,
             static_cast<std::uint32_t>(table_[id].plci));
    r.set(Param::Reject, 2);
    put(r);
}

void CapiConnections::Handle_Indication() {
    const CapiMessage m = received_;  // the handling below may put and get again
    const std::uint32_t addr = m.address();
    switch (m.command) {
        case kConnect: {
            int id = findByPlci(addr);
            if (id < 0) {
                id = takeEntry();
                if (id >= 0) table_[id].plci = addr, table_[id].controller = static_cast<int>(addr & 0xFF);
            }
            if (id < 0) {
                CapiMessage r;
                r.header(static_cast<std::uint16_t>(appId_), kConnect, kResp, m.messageNumber, addr);
                r.set(Param::Reject, 2);
                put(r);
                return;
            }
            table_[id].callingNumber = m.structOf(Param::CallingPartyNumber);
            CapiMessage alert;
            alert.header(static_cast<std::uint16_t>(appId_), kAlert, kReq, 0, addr);
            put(alert);
            setState(id, ConnState::D_ConnectPending);
            incomingCall(id);
            return;
        }
        case kConnectActive: {
            const int id = findByPlci(addr);
            answer(kConnectActive, m);
            if (id < 0) return;
            setState(id, ConnState::D_Connected);
            if (table_[id].initiator) {
                CapiMessage b3;
                b3.header(static_cast<std::uint16_t>(appId_), kConnectB3, kReq, 0, addr);
                put(b3);
            }
            return;
        }
        case kDisconnect: {
            const int id = findByPlci(addr);
            answer(kDisconnect, m);
            if (id >= 0) {
                setState(id, ConnState::Disconnected);
                freeEntry(id);
            }
            connected = false;
            lineLost = true;
            return;
        }
        case kInfo:
            answer(kInfo, m);
            return;
        case kConnectB3: {
            const int id = findByPlci(addr & 0xFFFF);
            if (id >= 0) table_[id].ncci = addr;
            CapiMessage r;
            r.header(static_cast<std::uint16_t>(appId_), kConnectB3, kResp, m.messageNumber, addr);
            r.set(Param::Reject, 0);
            put(r);
            if (id >= 0) setState(id, ConnState::B_ConnectPending);
            return;
        }
        case kConnectB3Active: {
            const int id = findByNcci(addr);
            if (id >= 0) table_[id].initiator = false;
            answer(kConnectB3Active, m);
            if (id >= 0) {
                setState(id, ConnState::Connected);
                connected = true;
            }
            return;
        }
        case kDisconnectB3: {
            const int id = findByNcci(addr);
            if (id >= 0) table_[id].ncci = -1;
            answer(kDisconnectB3, m);
            if (id >= 0) setState(id, ConnState::D_Connected);
            if (layer_.options().verbose) {
                const unsigned reason = m.get(Param::Reason_B3);
                layer_.Trace_Printf(flavour_ == Flavour::RemoteLyra ? "  Reason_B3 0x%04X: %s\n" : "Reason_B3 0x%04X: %s\n",
                                    reason, Decode_Info(reason));
            }
            if (id >= 0 && table_[id].initiator) {
                CapiMessage d;
                d.header(static_cast<std::uint16_t>(appId_), kDisconnect, kReq, 0,
                         static_cast<std::uint32_t>(table_[id].plci));
                put(d);
            }
            return;
        }
        case kDataB3: {
            const int id = findByNcci(addr);
            if (m.get(Param::DataLength) > 0)
                events_.dataArrived(id, m.data, static_cast<std::uint16_t>(m.get(Param::DataHandle)));
            CapiMessage r;
            r.header(static_cast<std::uint16_t>(appId_), kDataB3, kResp, m.messageNumber, addr);
            r.set(Param::DataHandle, m.get(Param::DataHandle));
            put(r);
            return;
        }
        default:
            layer_.Trace_Printf("Error: Indication not handled in function Handle_Indication");
            return;
    }
}

}  // namespace tpx::capi
