// Deterministic event loop on virtual time for tests: nothing sleeps; when no posted task
// is waiting, time jumps to the next due timer (or to the wait's deadline). Single-threaded
// by design: post() is safe from other threads, but time never waits for them.
#pragma once

#include <deque>
#include <mutex>

#include "common/clock.h"
#include "common/timertable.h"

namespace tpx {

class VirtualLoop : public EventLoop {
public:
    // The calendar and the local time of day at virtual time 0.
    explicit VirtualLoop(std::int64_t calendarStart = 1'800'000'000, LocalTime start = {12, 0, 0})
        : calendarStart_(calendarStart), start_(start) {}

    std::int64_t monotonicMs() const override { return now_; }
    std::int64_t calendarSeconds() const override;
    LocalTime localTime() const override;

    void post(Task task) override;
    void postAfter(std::int64_t delayMs, Task task) override;
    void setTimer(int id, int intervalMs, Task onFire) override;
    void killTimer(int id) override;
    bool timerActive(int id) const override;
    bool waitUntil(const std::function<bool()>& done, std::int64_t timeoutMs) override;

    // Test helpers: let `ms` of virtual time pass; run whatever is ready now.
    void advance(std::int64_t ms) { pause(ms); }
    void runReady() { pause(0); }

private:
    bool runOnePosted();

    std::int64_t now_ = 0;
    std::int64_t calendarStart_;
    LocalTime start_;
    std::mutex mutex_;
    std::deque<Task> posted_;
    TimerTable timers_;
};

}  // namespace tpx
