#include "platform/ui/qteventloop.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTime>
#include <QTimer>
#include <algorithm>

namespace tpx {

QtEventLoop::QtEventLoop(QObject* parent) : QObject(parent) { elapsed_.start(); }

QtEventLoop::~QtEventLoop() = default;

std::int64_t QtEventLoop::monotonicMs() const { return elapsed_.elapsed(); }
std::int64_t QtEventLoop::calendarSeconds() const { return QDateTime::currentSecsSinceEpoch(); }
LocalTime QtEventLoop::localTime() const {
    QTime t = QTime::currentTime();
    return {t.hour(), t.minute(), t.second()};
}

void QtEventLoop::run(const Task& task) {
    task();
    checkWaits();
}

void QtEventLoop::post(Task task) {
    QMetaObject::invokeMethod(this, [this, task = std::move(task)] { run(task); }, Qt::QueuedConnection);
}

void QtEventLoop::postAfter(std::int64_t delayMs, Task task) {
    QTimer::singleShot(static_cast<int>(std::clamp<std::int64_t>(delayMs, 0, INT32_MAX)), this,
                       [this, task = std::move(task)] { run(task); });
}

void QtEventLoop::setTimer(int id, int intervalMs, Task onFire) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] {
            // Copy: the callback may re-arm or kill this very timer.
            Task task = timerTasks_[id];
            if (task) run(task);
        });
    }
    timerTasks_[id] = std::move(onFire);
    timer->start(std::max(intervalMs, 1));
}

void QtEventLoop::killTimer(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

bool QtEventLoop::timerActive(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

bool QtEventLoop::waitUntil(const std::function<bool()>& done, std::int64_t timeoutMs) {
    if (done()) return true;
    QEventLoop nested;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &nested, &QEventLoop::quit);
    if (timeoutMs < kForever) deadline.start(static_cast<int>(std::clamp<std::int64_t>(timeoutMs, 0, INT32_MAX)));
    waits_.push_back({&done, &nested});
    nested.exec(QEventLoop::ExcludeUserInputEvents);
    waits_.erase(std::find_if(waits_.begin(), waits_.end(), [&](const Wait& w) { return w.loop == &nested; }));
    return done();
}

void QtEventLoop::checkWaits() {
    for (const Wait& w : waits_)
        if ((*w.done)()) w.loop->quit();
}

}  // namespace tpx
