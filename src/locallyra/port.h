// LocalLyra's serial port: open and close with their trace lines, block writes, and the
// 4096-byte receive ring that every received block is appended to.
//
// The reader hands each received block to the session's thread (the event loop the port
// was opened on), so the ring is only ever touched on that one thread and needs no lock.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "common/bytedevice.h"
#include "common/clock.h"
#include "upgrade/trace.h"

namespace tpx::local {

struct PortSettings {
    int port = 1;      // COM1..COM4 (the port map's device); 5 or more: the TELNET device
    int baud = 9600;
    int dataBits = 8;  // 7 or 8
    int parity = 0;    // 0 none, 1 odd, 2 even
    int stopCode = 0;  // 0 one stop bit, 2 two
};

// Received bytes waiting for the session. Appending past 4096 unread bytes drops the
// oldest ones (the length stays at 4096) and counts them, so nothing is overwritten
// unnoticed.
class ReceiveRing {
public:
    static constexpr int kSize = 4096;
    // Returns how many of the oldest bytes had to be dropped.
    int append(ByteView bytes);
    int length() const { return length_; }
    int head() const { return head_; }
    int rear() const { return rear_; }
    // Byte i counted from head (i < length).
    std::uint8_t at(int i) const { return data_[static_cast<std::size_t>((head_ + i) % kSize)]; }
    void take(int n);
    void clear();
    // Every byte appended so far (to notice arrivals).
    std::uint64_t appended() const { return appended_; }
    // Contents from head, as "%02x " each.
    std::string hex() const;

private:
    std::array<std::uint8_t, kSize> data_{};
    int length_ = 0;
    int head_ = 0;
    int rear_ = -1;
    std::uint64_t appended_ = 0;
};

// The trace text of a block: "\n" alone without the detail switch; with it, bytes that are
// letters or digits as characters inside "<" ">", the others as hexadecimal.
std::string blockContents(ByteView bytes, bool detail);

class LocalPort {
public:
    LocalPort(EventLoop& loop, DeviceOpener& opener, upgrade::SessionTrace& trace);
    ~LocalPort();

    bool OpenConnection(const PortSettings& settings);
    void close();
    bool connected() const { return connected_; }
    bool WriteCommBlock(ByteView bytes);
    bool writeByte(std::uint8_t b) { return WriteCommBlock(ByteView(&b, 1)); }
    ReceiveRing& ring() { return ring_; }

private:
    void stampLine(const char* operation);
    void settingLines(const PortSettings& s);
    void onBlock(ByteView block);
    void onLost(int error);

    EventLoop& loop_;
    DeviceOpener& opener_;
    upgrade::SessionTrace& trace_;
    std::unique_ptr<ByteDevice> device_;
    bool connected_ = false;
    ReceiveRing ring_;
};

}  // namespace tpx::local
