// The remote administration link behind the isdnlink exports: dials the switch, negotiates
// the service (NEGO_START, SERVICE_REQ/ACK, VERSION_REQ/INF, START_REQ/ACK), then carries
// TpxAdmin's bytes in DATA_PC frames and hands back the switch's DATA_MPB frames from a
// ring of ten. Waits retry on time-out (resending the last negotiation frame) and end with
// a failure code. Everything goes to the protocol file (the CAPI trace and this link's
// messages) and the log file (one entry per received block).
//
// Single-threaded: the exports hold one lock around each call.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "capi/connection.h"
#include "common/clock.h"

namespace tpx::isdn {

class RemoteAdminLink : private capi::ConnectionEvents {
public:
    struct Paths {
        std::filesystem::path protocol;  // ReZUVODUV.prt
        std::filesystem::path log;       // ReZUVODUV.LOG
    };
    RemoteAdminLink(capi::CapiApi& api, const Clock& clock, Paths paths);
    ~RemoteAdminLink() override;

    int DialISDN(const char* number);
    int WriteISDNBlock(const std::uint8_t* data, int count);
    int ReadISDNBlock(std::uint8_t* buffer);
    int CloseISDN();

    static constexpr int kRingSlots = 10;
    static constexpr std::size_t kSlotSize = 2049;
    static constexpr int kMaxData = 2042;
    static constexpr std::size_t kMaxNumber = 253;

    // What the receive side recognises in a block.
    enum class Kind { NegoStart, ServiceAck, ServiceNack, VersionInf, StartAck, DataMpb, PacketFail, Garbage, Ignored };
    static Kind recognise(ByteView block);
    // The session summary's duration text for `seconds`.
    static std::string durationText(std::int64_t seconds);

    int ringCount() const { return count_; }
    // Asked between the polls of an empty read: true when another call waits for the
    // library, which the read then lets in at once.
    std::function<bool()> othersWaiting;
    const std::string& switchVersion() const { return version_; }

private:
    enum class Event { ListenConf, Connection, NegoStart, ServiceAnswer, VersionInf, StartAck };
    enum class Wait { Done, TimedOut, LineLost };

    Wait waitFor(Event event);
    bool eventDone(Event event) const;
    void clearFlags(Event event);
    void sendFrame(const Bytes& frame);
    void closeSequence();
    void text(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void logText(const std::string& s);
    std::string dateText() const;  // the 24-character local date with its line end
    void dataArrived(int id, ByteView data, std::uint16_t handle) override;
    void writeSummary();

    capi::CapiApi& api_;
    const Clock& clock_;
    Paths paths_;
    capi::CapiLayer layer_;
    capi::CapiConnections conns_;
    std::FILE* prt_ = nullptr;
    std::FILE* log_ = nullptr;
    bool registered_ = false;

    int current_ = -1;         // the connection ID in use
    Bytes lastFrame_;
    // Received flags and the session.
    bool negoStart_ = false, serviceAck_ = false, serviceNack_ = false, versionInf_ = false, startAck_ = false;
    bool packetFail_ = false;
    std::string version_;
    bool started_ = false;
    std::int64_t startTime_ = 0;
    // The receive ring.
    std::array<std::array<std::uint8_t, kSlotSize>, kRingSlots> ring_{};
    std::array<std::uint16_t, kRingSlots> lengths_{};
    int count_ = 0;
    int head_ = 0;
    int rear_ = -1;
};

}  // namespace tpx::isdn
