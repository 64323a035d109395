#include "common/timertable.h"

#include <algorithm>

namespace tpx {

void TimerTable::insert(std::int64_t due, Timer t) {
    Entry e{due, seq_++};
    if (t.id) byId_[*t.id] = e;
    entries_.emplace(e, std::move(t));
}

void TimerTable::set(int id, std::int64_t now, int intervalMs, Task fn) {
    kill(id);
    // A zero interval would fire continuously; window timers have a floor, so do we.
    intervalMs = std::max(intervalMs, 1);
    insert(now + intervalMs, Timer{id, intervalMs, std::make_shared<Task>(std::move(fn))});
}

void TimerTable::kill(int id) {
    auto it = byId_.find(id);
    if (it == byId_.end()) return;
    entries_.erase(it->second);
    byId_.erase(it);
}

void TimerTable::addOneShot(std::int64_t now, std::int64_t delayMs, Task fn) {
    insert(now + std::max<std::int64_t>(delayMs, 0),
           Timer{std::nullopt, 0, std::make_shared<Task>(std::move(fn))});
}

std::optional<std::int64_t> TimerTable::nextDue() const {
    if (entries_.empty()) return std::nullopt;
    return entries_.begin()->first.due;
}

std::optional<TimerTable::Task> TimerTable::takeDue(std::int64_t now) {
    if (entries_.empty() || entries_.begin()->first.due > now) return std::nullopt;
    auto node = entries_.extract(entries_.begin());
    Timer t = std::move(node.mapped());
    std::shared_ptr<Task> fn = t.fn;
    if (t.id) {
        byId_.erase(*t.id);
        insert(now + t.intervalMs, std::move(t));
    }
    return Task([fn] { (*fn)(); });
}

}  // namespace tpx
