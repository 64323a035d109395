#include <gtest/gtest.h>
#include <sys/resource.h>

#include <thread>
#include <vector>

#include "common/realtimeloop.h"
#include "common/virtualloop.h"

using namespace tpx;

TEST(VirtualLoop, TimersArePeriodicUntilKilledAndTimeJumps) {
    VirtualLoop loop;
    std::vector<std::int64_t> fired;
    loop.setTimer(1, 300, [&] {
        fired.push_back(loop.monotonicMs());
        if (fired.size() == 3) loop.killTimer(1);
    });
    loop.advance(5000);
    EXPECT_EQ(fired, (std::vector<std::int64_t>{300, 600, 900}));
    EXPECT_EQ(loop.monotonicMs(), 5000);
    EXPECT_FALSE(loop.timerActive(1));
}

TEST(VirtualLoop, RearmingReplacesTheTimerAndOrderIsStable) {
    VirtualLoop loop;
    std::vector<int> order;
    loop.setTimer(1, 100, [&] { order.push_back(1); loop.killTimer(1); });
    loop.setTimer(2, 100, [&] { order.push_back(2); loop.killTimer(2); });
    loop.postAfter(100, [&] { order.push_back(3); });
    loop.setTimer(1, 100, [&] { order.push_back(11); loop.killTimer(1); });  // re-armed: now last
    loop.post([&] { order.push_back(0); });  // posted work runs before any timer
    loop.advance(1000);
    EXPECT_EQ(order, (std::vector<int>{0, 2, 3, 11}));
}

TEST(VirtualLoop, WaitUntilStopsWhenDoneOrAtTheDeadline) {
    VirtualLoop loop(1000, {23, 59, 58});
    bool flag = false;
    loop.postAfter(250, [&] { flag = true; });
    EXPECT_TRUE(loop.waitUntil([&] { return flag; }, 1000));
    EXPECT_EQ(loop.monotonicMs(), 250);
    EXPECT_FALSE(loop.waitUntil([] { return false; }, 1750));
    EXPECT_EQ(loop.monotonicMs(), 2000);
    EXPECT_EQ(loop.calendarSeconds(), 1002);
    EXPECT_EQ(timeStamp(loop), "00:00:00");  // local time wraps at midnight
    // Nothing can happen before an endless deadline: time does not run off to infinity.
    EXPECT_FALSE(loop.waitUntil([] { return false; }, EventLoop::kForever));
    EXPECT_EQ(loop.monotonicMs(), 2000);
}

TEST(RealTimeLoop, PostFromAnotherThreadWakesTheWait) {
    RealTimeLoop loop;
    bool got = false;
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        loop.post([&] { got = true; });
    });
    auto start = loop.monotonicMs();
    EXPECT_TRUE(loop.waitUntil([&] { return got; }, 5000));
    EXPECT_LT(loop.monotonicMs() - start, 1000);
    t.join();
}

TEST(RealTimeLoop, TimersFireOnTimeAndAnIdleWaitCostsNoCpu) {
    RealTimeLoop loop;
    int ticks = 0;
    loop.setTimer(7, 100, [&] { ++ticks; });
    rusage before{}, after{};
    getrusage(RUSAGE_THREAD, &before);
    auto start = loop.monotonicMs();
    loop.pause(550);
    getrusage(RUSAGE_THREAD, &after);
    EXPECT_GE(loop.monotonicMs() - start, 550);
    EXPECT_EQ(ticks, 5);
    auto cpuUs = (after.ru_utime.tv_sec - before.ru_utime.tv_sec) * 1000000L +
                 (after.ru_utime.tv_usec - before.ru_utime.tv_usec) +
                 (after.ru_stime.tv_sec - before.ru_stime.tv_sec) * 1000000L +
                 (after.ru_stime.tv_usec - before.ru_stime.tv_usec);
    EXPECT_LT(cpuUs, 20000) << "an idle wait must sleep, not spin";
}
