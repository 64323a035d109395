#include "common/virtualloop.h"

#include <algorithm>

namespace tpx {

std::int64_t VirtualLoop::calendarSeconds() const { return calendarStart_ + now_ / 1000; }

LocalTime VirtualLoop::localTime() const {
    std::int64_t s = (start_.hour * 3600 + start_.minute * 60 + start_.second + now_ / 1000) % 86400;
    return {static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60), static_cast<int>(s % 60)};
}

void VirtualLoop::post(Task task) {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(task));
}

void VirtualLoop::postAfter(std::int64_t delayMs, Task task) {
    timers_.addOneShot(now_, delayMs, std::move(task));
}

void VirtualLoop::setTimer(int id, int intervalMs, Task onFire) {
    timers_.set(id, now_, intervalMs, std::move(onFire));
}
void VirtualLoop::killTimer(int id) { timers_.kill(id); }
bool VirtualLoop::timerActive(int id) const { return timers_.active(id); }

bool VirtualLoop::runOnePosted() {
    Task task;
    {
        std::lock_guard lock(mutex_);
        if (posted_.empty()) return false;
        task = std::move(posted_.front());
        posted_.pop_front();
    }
    task();
    return true;
}

bool VirtualLoop::waitUntil(const std::function<bool()>& done, std::int64_t timeoutMs) {
    const std::int64_t deadline = now_ + std::max<std::int64_t>(timeoutMs, 0);
    for (;;) {
        if (done()) return true;
        if (runOnePosted()) continue;
        auto due = timers_.nextDue();
        if (due && *due <= deadline) {
            now_ = std::max(now_, *due);
            if (auto fn = timers_.takeDue(now_)) (*fn)();
            continue;
        }
        // Nothing will ever happen before an endless deadline: do not jump to infinity.
        if (deadline < kForever) now_ = std::max(now_, deadline);
        return done();
    }
}

}  // namespace tpx
