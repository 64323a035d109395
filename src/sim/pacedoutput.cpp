#include "sim/pacedoutput.h"

#include <algorithm>
#include <cmath>

namespace tpx::sim {

PacedOutput::PacedOutput(EventLoop& loop, int baud, int bitsPerChar, Sink sink)
    : loop_(loop), charMicros_(baud > 0 ? bitsPerChar * 1e6 / baud : 0), sink_(std::move(sink)) {}

PacedOutput::~PacedOutput() { *alive_ = false; }

void PacedOutput::write(ByteView bytes) {
    if (!sink_) return;  // no line attached: what is said is lost
    if (charMicros_ == 0) {
        sink_(bytes);
        return;
    }
    const double nowUs = loop_.monotonicMs() * 1000.0;
    if (queue_.empty()) lineFreeAtUs_ = std::max(lineFreeAtUs_, nowUs);
    queue_.insert(queue_.end(), bytes.begin(), bytes.end());
    if (!scheduled_) schedule(nowUs);
}

void PacedOutput::pump() {
    scheduled_ = false;
    const double nowUs = loop_.monotonicMs() * 1000.0;
    Bytes out;
    while (!queue_.empty() && lineFreeAtUs_ + charMicros_ <= nowUs + kToleranceUs) {
        out.push_back(queue_.front());
        queue_.pop_front();
        lineFreeAtUs_ += charMicros_;
    }
    if (!out.empty() && sink_) sink_(out);
    if (!queue_.empty()) schedule(nowUs);
}

void PacedOutput::schedule(double nowUs) {
    // Timers count whole milliseconds: wake at the millisecond nearest to the moment the
    // next character has crossed, and take it when it is due within half of one.
    const double nextUs = lineFreeAtUs_ + charMicros_;
    const auto delayMs = static_cast<std::int64_t>(std::max(0.0, std::round((nextUs - nowUs) / 1000.0)));
    scheduled_ = true;
    auto alive = alive_;
    loop_.postAfter(delayMs, [this, alive] {
        if (*alive) pump();
    });
}

}  // namespace tpx::sim
