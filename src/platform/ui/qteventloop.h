// The event loop of the Qt programs: posted tasks are queued invocations on the GUI thread,
// timers by id are QTimers, and a nested wait is a QEventLoop that excludes user input, so
// windows keep painting and link data keeps arriving while the user cannot act.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <map>
#include <vector>

#include "common/clock.h"

class QEventLoop;
class QTimer;

namespace tpx {

class QtEventLoop : public QObject, public EventLoop {
    Q_OBJECT
public:
    explicit QtEventLoop(QObject* parent = nullptr);
    ~QtEventLoop() override;

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
    void run(const Task& task);
    void checkWaits();

    struct Wait {
        const std::function<bool()>* done;
        QEventLoop* loop;
    };
    QElapsedTimer elapsed_;
    std::map<int, QTimer*> timers_;
    std::map<int, Task> timerTasks_;
    std::vector<Wait> waits_;
};

}  // namespace tpx
