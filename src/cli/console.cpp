// tpx console: the TpxAdmin terminal without a window. Opens the link as TpxAdmin does
// (same port parameters, same transcript), sends the given texts, and prints what the
// switch shows through the terminal's own rules until the line has been quiet for a while.
// Without --send it is interactive: lines typed on stdin go to the switch (LF becomes CR).
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "cli/commands.h"
#include "cli/linkedshell.h"

namespace tpx::cli {

int runConsole(Args& args) {
    std::string error;
    if (args.flag("--help")) {
        std::printf(
            "usage: tpx console [link options] [--send TEXT]... [--quiet MS] [--timeout S]\n"
            "Shows the switch's administration console. Each --send TEXT is sent in turn\n"
            "(\\r, \\n, \\t, \\b, \\\\ and \\xNN are understood) and the answer shown until the\n"
            "line has been quiet for --quiet ms (default 1000). Without --send, lines typed\n"
            "on stdin are sent with CR until end of input.\n\n%s",
            linkOptionsHelp());
        return 0;
    }
    LinkOptions lo = args.link(&error);
    std::vector<std::string> sends = args.values("--send");
    int quietMs = 1000, timeoutS = 0;
    if (auto q = args.value("--quiet")) quietMs = std::atoi(q->c_str());
    if (auto t = args.value("--timeout")) timeoutS = std::atoi(t->c_str());
    args.rest(&error);
    if (!error.empty()) {
        std::fprintf(stderr, "tpx console: %s\n", error.c_str());
        return 2;
    }

    LinkedShell ls(lo, std::nullopt, false);
    ls.host.showTerminal = true;
    RealTimeLoop& loop = ls.loop;
    admin::AdminShell& shell = *ls.shell;

    std::int64_t lastData = loop.monotonicMs();
    shell.link().setConsumer(admin::kModeTerminal, [&](ByteView chunk) {
        lastData = loop.monotonicMs();
        shell.showChunk(chunk);
    });
    if (!ls.open(&error)) {
        std::fprintf(stderr, "tpx console: %s\n", error.c_str());
        return 1;
    }
    const std::int64_t start = loop.monotonicMs();
    auto waitQuiet = [&] {
        lastData = loop.monotonicMs();
        // Time itself ends this wait, so it always waits with a deadline.
        for (;;) {
            std::int64_t now = loop.monotonicMs();
            std::int64_t left = lastData + quietMs - now;
            if (timeoutS > 0) left = std::min<std::int64_t>(left, start + timeoutS * 1000LL - now);
            if (left <= 0) return;
            loop.pause(left);
        }
    };

    if (!sends.empty()) {
        for (const std::string& s : sends) {
            std::string bytes = unescape(s);
            shell.link().sendBlock(asBytes(bytes));
            waitQuiet();
        }
    } else {
        std::atomic<bool> eof{false};
        std::thread input([&] {
            char buf[256];
            for (;;) {
                ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
                if (n <= 0) break;
                std::string text(buf, static_cast<std::size_t>(n));
                for (char& c : text)
                    if (c == '\n') c = '\r';
                loop.post([&shell, text] { shell.link().sendBlock(asBytes(text)); });
            }
            loop.post([&eof] { eof = true; });
        });
        input.detach();
        loop.waitUntil([&] { return eof.load(); }, timeoutS > 0 ? timeoutS * 1000LL : EventLoop::kForever);
        waitQuiet();
    }
    std::fputc('\n', stdout);
    ls.close();
    return 0;
}

}  // namespace tpx::cli
