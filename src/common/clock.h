// Time as an input. Engines read the time and arm timers only through these interfaces;
// tests drive them on a virtual clock (common/virtualloop.h), the programs on the real one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tpx {

struct LocalTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic milliseconds since an arbitrary start.
    virtual std::int64_t monotonicMs() const = 0;
    // Whole seconds of the calendar clock (the protocols' "whole seconds" limits).
    virtual std::int64_t calendarSeconds() const = 0;
    // Wall-clock time of day for time stamps.
    virtual LocalTime localTime() const = 0;
};

// "%02d:%02d:%02d" of the clock's local time.
std::string timeStamp(const Clock& clock);
// The standard 24-character local date text of the calendar clock, with its line end
// ("Fri Dec 11 14:30:00 2026\n").
std::string dateText(const Clock& clock);
// A session's length as the traces print it: "%2d hour(s) %02d minute(s) %02d second(s)\n",
// leaving out leading zero parts; empty for 0.
std::string durationText(std::int64_t seconds);

// One event loop per program runs every engine of that program (its protocol thread).
// Timers are addressed by id with window-timer semantics: setTimer (re)arms timer `id` to
// fire every `intervalMs` until killTimer. Only post() may be called from other threads.
class EventLoop : public Clock {
public:
    using Task = std::function<void()>;
    static constexpr std::int64_t kForever = INT64_MAX / 4;

    // Thread-safe: run `task` on the loop thread, in posting order.
    virtual void post(Task task) = 0;
    // Loop thread: run `task` once after `delayMs` (anonymous one-shot timer).
    virtual void postAfter(std::int64_t delayMs, Task task) = 0;

    virtual void setTimer(int id, int intervalMs, Task onFire) = 0;
    virtual void killTimer(int id) = 0;
    virtual bool timerActive(int id) const = 0;

    // Nested wait: keeps delivering posted tasks (link data) and timers, never user input,
    // until done() holds or timeoutMs has passed. Returns done().
    virtual bool waitUntil(const std::function<bool()>& done, std::int64_t timeoutMs) = 0;

    // Let `ms` pass while delivering link data and timers.
    void pause(std::int64_t ms) {
        waitUntil([] { return false; }, ms);
    }
};

}  // namespace tpx
