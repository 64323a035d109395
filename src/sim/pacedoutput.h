// Bytes crossing a serial line at its rate: each character takes its bits' time (start bit,
// data bits, parity, stop bits at the baud rate); whatever has fully crossed by now is
// handed on, in steps of a millisecond. The switch paces what it sends with it, and, on a
// pseudo-terminal (which has no line rate), what it receives.
#pragma once

#include <deque>
#include <functional>
#include <memory>

#include "common/bytes.h"
#include "common/clock.h"

namespace tpx::sim {

class PacedOutput {
public:
    using Sink = std::function<void(ByteView)>;
    // `baud` 0 sends at once.
    PacedOutput(EventLoop& loop, int baud, int bitsPerChar, Sink sink);
    ~PacedOutput();

    void write(ByteView bytes);
    void setSink(Sink sink) { sink_ = std::move(sink); }
    // Drops what is still queued (a line dropped in the middle of a reply).
    void discard() { queue_.clear(); }
    bool idle() const { return queue_.empty(); }
    // Microseconds one character takes on the line.
    double charMicros() const { return charMicros_; }

private:
    void pump();
    void schedule(double nowUs);
    static constexpr double kToleranceUs = 500;

    EventLoop& loop_;
    double charMicros_;
    Sink sink_;
    std::deque<std::uint8_t> queue_;
    double lineFreeAtUs_ = 0;  // when the line finishes its last character
    bool scheduled_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tpx::sim
