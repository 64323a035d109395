// Event loop on the real clock for the command line and the simulator program. The thread
// that calls waitUntil() is the loop thread; reader threads post() into it. An idle loop
// sleeps on a condition variable until a post or the next timer: no polling.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "common/clock.h"
#include "common/timertable.h"

namespace tpx {

class RealTimeLoop : public EventLoop {
public:
    std::int64_t monotonicMs() const override;
    std::int64_t calendarSeconds() const override;
    LocalTime localTime() const override;

    void post(Task task) override;
    void postAfter(std::int64_t delayMs, Task task) override;
    void setTimer(int id, int intervalMs, Task onFire) override;
    void killTimer(int id) override;
    bool timerActive(int id) const override;
    bool waitUntil(const std::function<bool()>& done, std::int64_t timeoutMs) override;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> posted_;
    std::deque<Task> ready_;  // taken from posted_, run by the loop thread only
    bool sleeping_ = false;
    TimerTable timers_;
};

// The wall clock alone, for code that stamps lines but runs no loop.
class SystemClock : public Clock {
public:
    std::int64_t monotonicMs() const override;
    std::int64_t calendarSeconds() const override;
    LocalTime localTime() const override;
};

}  // namespace tpx
