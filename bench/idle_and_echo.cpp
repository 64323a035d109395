// Figures for the serial layer: CPU used by an open, idle link, and the round trip of one
// byte through a pseudo-terminal and the simulated switch's console.
//
//   bench_idle_and_echo [seconds]
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/realtimeloop.h"
#include "platform/pty.h"
#include "platform/serialport.h"
#include "sim/switchsim.h"

using namespace tpx;

namespace {
double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 3;
    SysStatus err;
    PtyPair pair = openPty(&err);
    if (pair.master < 0) return 1;
    std::string slave = pair.slavePath;

    // The switch on its own thread and loop, as tpxsim runs it.
    RealTimeLoop simLoop;
    bool stop = false;
    std::thread simThread([&] {
        auto master = ptyMasterDevice(pair, simLoop);
        sim::SimConfig cfg;
        cfg.baud = 0;
        sim::SwitchSim sw(simLoop, cfg, [&](ByteView out) { (void)master->writeAll(out, 1000); });
        master->startReading([&](ByteView in) { sw.receive(in); }, nullptr);
        simLoop.waitUntil([&] { return stop; }, EventLoop::kForever);
        master->close();
    });

    RealTimeLoop loop;
    auto port = SerialPort::open(slave, loop, &err);
    if (!port || !port->configure({115200}).ok()) return 1;
    std::size_t got = 0;
    port->startReading([&](ByteView c) { got += c.size(); }, nullptr);

    double c0 = cpuSeconds();
    loop.pause(seconds * 1000);
    double idle = cpuSeconds() - c0;
    std::printf("idle link open %d s: %.2f ms CPU (%.3f%% of one core)\n", seconds, idle * 1000,
                idle * 100 / seconds);

    const int rounds = 200;
    auto t0 = loop.monotonicMs();
    for (int i = 0; i < rounds; ++i) {
        std::size_t before = got;
        port->writeAll(asBytes("x"), 1000);
        loop.waitUntil([&] { return got > before; }, 1000);
    }
    auto t1 = loop.monotonicMs();
    std::printf("echo round trip through pty and simulated console: %.3f ms average over %d\n",
                double(t1 - t0) / rounds, rounds);

    port->close();
    simLoop.post([&] { stop = true; });
    simThread.join();
    return 0;
}
