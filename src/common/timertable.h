// Timer bookkeeping shared by the virtual and the real-time loop: timers by id (periodic,
// like window timers) and anonymous one-shots, ordered by due time and then by arming order.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tpx {

class TimerTable {
public:
    using Task = std::function<void()>;

    void set(int id, std::int64_t now, int intervalMs, Task fn);
    void kill(int id);
    bool active(int id) const { return byId_.count(id) != 0; }
    void addOneShot(std::int64_t now, std::int64_t delayMs, Task fn);
    std::optional<std::int64_t> nextDue() const;
    // Takes the earliest entry due at or before `now`: a periodic timer is re-armed from
    // `now` before its callback is returned, so the callback may kill or re-arm it.
    std::optional<Task> takeDue(std::int64_t now);
    bool empty() const { return entries_.empty(); }

private:
    struct Entry {
        std::int64_t due;
        std::uint64_t seq;
        bool operator<(const Entry& o) const { return due != o.due ? due < o.due : seq < o.seq; }
    };
    struct Timer {
        std::optional<int> id;  // none for a one-shot
        int intervalMs = 0;
        std::shared_ptr<Task> fn;
    };
    void insert(std::int64_t due, Timer t);

    std::map<Entry, Timer> entries_;
    std::map<int, Entry> byId_;
    std::uint64_t seq_ = 0;
};

}  // namespace tpx
