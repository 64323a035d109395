// ISDN connection control over the CAPI message layer: registration, the table of
// connections with their CAPI identifiers and states, placing and clearing a data call,
// sending B3 data, and the handling of every confirmation and indication.
//
//   place:  CONNECT_REQ -> CONNECT_CONF: D_ConnectPending -> CONNECT_ACTIVE_IND: D_Connected,
//           CONNECT_B3_REQ -> CONNECT_B3_CONF: B_ConnectPending -> CONNECT_B3_ACTIVE_IND: Connected
//   clear:  DISCONNECT_B3_REQ -> DISCONNECT_B3_CONF: B_DisconnectPending -> DISCONNECT_B3_IND:
//           D_Connected, DISCONNECT_REQ -> DISCONNECT_CONF: D_DisconnectPending ->
//           DISCONNECT_IND: Disconnected (entry freed, slot free)
//
// Nothing here blocks: CAPI is polled one message per Handle_CAPI_Msg(). Single-threaded.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "capi/layer.h"

namespace tpx::capi {

enum class ConnState {
    Disconnected = 0,
    D_ConnectPending = 1,
    D_Connected = 2,
    B_ConnectPending = 3,
    Connected = 4,
    B_DisconnectPending = 5,
    D_DisconnectPending = 6,
};
const char* stateName(ConnState s);

// The two builds differ in a few texts and in the data handle.
enum class Flavour { IsdnLink, RemoteLyra };

struct Connection {
    bool inUse = false;
    std::int64_t plci = -1;
    std::int64_t ncci = -1;
    int controller = -1;
    ConnState state = ConnState::Disconnected;
    bool initiator = false;
    Bytes calledNumber;   // wire form; empty = the empty struct
    Bytes callingNumber;
};

class ConnectionEvents {
public:
    virtual ~ConnectionEvents() = default;
    virtual void stateChanged(int /*id*/, ConnState /*state*/) {}
    virtual void dataArrived(int id, ByteView data, std::uint16_t handle) = 0;
    virtual void dataConfirmed(int /*id*/, std::uint16_t /*handle*/, std::uint16_t /*info*/) {}
};

class CapiConnections {
public:
    static constexpr int kEntries = 8;
    static constexpr int kSlots = 2;
    static constexpr unsigned kSlotInUse = 0xFFFF;
    static constexpr unsigned kNoEntry = 0x1108;
    // Registration values.
    static constexpr unsigned kMessageBuffer = 3072, kMaxConnections = 2, kMaxBlocks = 7, kBlockSize = 2048;

    CapiConnections(CapiLayer& layer, ConnectionEvents& events, Flavour flavour);

    // Number of controllers (> 0) on success, 0 on failure (the reason is traced).
    unsigned RegisterCAPI();
    void ReleaseCAPI();
    unsigned ListenAll_h(std::uint32_t cipMask);
    unsigned Connect_h(int& slot, std::string_view calledNumber, std::uint32_t serviceMask, std::uint16_t b1,
                       std::uint16_t b2, std::uint16_t b3, ByteView b3Configuration);
    unsigned Hangup_h(int id);
    unsigned SendData_h(int id, ByteView data, std::uint16_t handle);
    // Fetches and handles at most one CAPI message, waiting at most `waitMs` for one: the
    // polling loops wait a little per call so that an idle link costs no CPU.
    void Handle_CAPI_Msg(int waitMs = kPollWaitMs);
    static constexpr int kPollWaitMs = 10;
    // Hangs up both slots, then handles messages until both are free or `timeUp` says so
    // (checked after each message).
    void disconnectAll(const std::function<bool()>& timeUp);

    // Before each dial: every entry free, both slots -1.
    void reset();

    const Connection& entry(int id) const { return table_.at(static_cast<std::size_t>(id)); }
    ConnState state(int id) const { return id < 0 ? ConnState::Disconnected : entry(id).state; }
    int& slot(int i) { return slots_.at(static_cast<std::size_t>(i)); }
    int slotOf(int id) const;
    unsigned appId() const { return appId_; }
    unsigned controllers() const { return controllers_; }
    // isdnlink: the data handle counter (0 at each dial, incremented before each block).
    std::uint16_t nextDataHandle() { return ++dataHandle_; }
    void resetDataHandle() { dataHandle_ = 0; }

    // Event flags: the waiting loops clear them before they wait.
    bool listenConfirmed = false;
    bool dataConfirmed = false;
    bool connected = false;
    bool lineLost = false;

    // The CIPValue for a service mask: 0 for 0 or bit 0, else the lowest set bit's position.
    static std::uint16_t cipValueFor(std::uint32_t serviceMask);
    // [length + 1] [0x80] [digits], or empty for no number.
    static Bytes calledNumberStruct(std::string_view number);
    // Controller for an outgoing call: the first with a free B-channel, else controller 1.
    int chooseController();

    // For tests: the B-channel count of a controller (from its profile).
    std::array<int, 16> bChannels{};

private:
    int takeEntry();
    void freeEntry(int id);
    int findByPlci(std::int64_t plci) const;
    int findByNcci(std::int64_t ncci) const;
    void setState(int id, ConnState s);
    unsigned put(CapiMessage& m);
    void answer(std::uint8_t command, const CapiMessage& ind);  // a RESP with nothing but the address
    void Handle_Confirmation();
    void Handle_Indication();
    void incomingCall(int id);

    CapiLayer& layer_;
    ConnectionEvents& events_;
    Flavour flavour_;
    unsigned appId_ = 0;
    unsigned controllers_ = 0;
    std::array<Connection, kEntries> table_{};
    std::array<int, kSlots> slots_{-1, -1};
    std::uint16_t dataHandle_ = 0;
    CapiMessage received_;
};

}  // namespace tpx::capi
