#include "common/realtimeloop.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace tpx {

std::int64_t SystemClock::monotonicMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
std::int64_t SystemClock::calendarSeconds() const { return static_cast<std::int64_t>(std::time(nullptr)); }
LocalTime SystemClock::localTime() const {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::int64_t RealTimeLoop::monotonicMs() const { return SystemClock().monotonicMs(); }
std::int64_t RealTimeLoop::calendarSeconds() const { return SystemClock().calendarSeconds(); }
LocalTime RealTimeLoop::localTime() const { return SystemClock().localTime(); }

void RealTimeLoop::post(Task task) {
    bool sleeping;
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
        sleeping = sleeping_;
    }
    // Only a loop that sleeps needs the wake-up (a system call); a busy one finds the task.
    if (sleeping) wake_.notify_one();
}

void RealTimeLoop::postAfter(std::int64_t delayMs, Task task) {
    timers_.addOneShot(monotonicMs(), delayMs, std::move(task));
}
void RealTimeLoop::setTimer(int id, int intervalMs, Task onFire) {
    timers_.set(id, monotonicMs(), intervalMs, std::move(onFire));
}
void RealTimeLoop::killTimer(int id) { timers_.kill(id); }
bool RealTimeLoop::timerActive(int id) const { return timers_.active(id); }

bool RealTimeLoop::waitUntil(const std::function<bool()>& done, std::int64_t timeoutMs) {
    const std::int64_t start = monotonicMs();
    const std::int64_t deadline =
        timeoutMs >= kForever ? kForever : start + std::max<std::int64_t>(timeoutMs, 0);
    for (;;) {
        if (done()) return true;
        // Take everything posted so far in one go: one lock for a burst of chunks.
        if (ready_.empty()) {
            std::lock_guard lock(mutex_);
            ready_.swap(posted_);
        }
        if (!ready_.empty()) {
            Task task = std::move(ready_.front());
            ready_.pop_front();
            task();
            continue;
        }
        const std::int64_t now = monotonicMs();
        if (auto fn = timers_.takeDue(now)) {
            (*fn)();
            continue;
        }
        if (now >= deadline) return done();
        std::int64_t wakeAt = deadline;
        if (auto due = timers_.nextDue()) wakeAt = std::min(wakeAt, *due);
        std::unique_lock lock(mutex_);
        auto until = std::chrono::steady_clock::time_point(std::chrono::milliseconds(
            std::min<std::int64_t>(wakeAt, now + 24LL * 3600 * 1000)));
        sleeping_ = true;
        wake_.wait_until(lock, until, [this] { return !posted_.empty(); });
        sleeping_ = false;
    }
}

}  // namespace tpx
