// tpx upgrade-local: one local software upgrade of a TPX-12 or TPX-24W over a serial line,
// with the monitor lines on stdout and the session's result as the exit status.
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/options.h"
#include "common/files.h"
#include "common/realtimeloop.h"
#include "locallyra/session.h"

namespace tpx::cli {

namespace {

class Monitor : public upgrade::UpgradeHost {
public:
    explicit Monitor(bool quiet) : quiet_(quiet) {}
    void monitorLine(const std::string& line) override {
        if (quiet_) return;
        std::string text;
        upgrade::appendMonitorLine(text, line);
        std::string out;
        for (char c : text)
            if (c != '\r') out.push_back(c);
        std::fputs(out.c_str(), stdout);
        std::fflush(stdout);
    }
    void setStatus(std::string_view) override {}
    void setVersion(const std::string& v) override {
        if (!quiet_) std::printf("   -- Switch version : %s\n", v.c_str());
    }
    void setProgress(int, std::size_t, int) override {}

private:
    bool quiet_;
};

bool parseTiming(const std::string& text, local::Timing& t) {
    const auto eq = text.find('='), comma = text.find(',');
    if (eq == std::string::npos || comma == std::string::npos || comma < eq) return false;
    const std::string phase = text.substr(0, eq);
    int wait = 0, retries = 0;
    try {
        wait = std::stoi(text.substr(eq + 1, comma - eq - 1));
        retries = std::stoi(text.substr(comma + 1));
    } catch (const std::exception&) {
        return false;
    }
    if (wait < 1 || wait > 60 || retries < 0 || retries > 10) return false;
    local::Phase* p = phase == "negotiation" ? &t.negotiation
                      : phase == "checksum"  ? &t.checksum
                      : phase == "version"   ? &t.version
                      : phase == "data"      ? &t.data
                      : phase == "others"    ? &t.others
                                             : nullptr;
    if (!p) return false;
    *p = {wait, retries};
    return true;
}

}  // namespace

int runUpgradeLocal(Args& args) {
    if (args.flag("--help")) {
        std::printf(
            "usage: tpx upgrade-local [link options] --system TPX-12|TPX-24W [--test-method none|first|second]\n"
            "                         [--trace-level 0|1|2] [--timing PHASE=WAIT,RETRIES]... [--quiet]\n"
            "                         FIRST.BIN SECOND.BIN\n"
            "Sends the two ROM image files to the switch's maintenance port in 256-byte blocks: login,\n"
            "boot checksums, version, both files with their total checksums (a refused total restarts\n"
            "that file). Prints the monitor lines; the trace files go to ./Trace (LocalHHMMSS.prt,\n"
            ".001, .002). PHASE is negotiation, checksum, version, data or others; WAIT 1..60 seconds,\n"
            "RETRIES 0..10. The test method sends a zero total checksum once for the first or second\n"
            "file, to prove the restart. Exit status: 0, or the session's result code.\n\n%s",
            linkOptionsHelp());
        return 0;
    }
    std::string error;
    LinkOptions lo = args.link(&error);
    auto systemName = args.value("--system");
    auto method = args.value("--test-method");
    auto level = args.value("--trace-level");
    const auto timings = args.values("--timing");
    const bool quiet = args.flag("--quiet");
    const auto files = args.rest(&error);

    local::SessionInputs in;
    if (error.empty() && !systemName) error = "--system is needed (TPX-12 or TPX-24W)";
    if (error.empty()) {
        auto system = upgrade::systemByName(*systemName);
        if (!system) error = "unknown system " + *systemName + " (TPX-12 or TPX-24W)";
        else in.system = *system;
    }
    if (error.empty() && method) {
        if (*method == "none") in.testMethod = local::kTestNone;
        else if (*method == "first") in.testMethod = local::kTestRestartFirst;
        else if (*method == "second") in.testMethod = local::kTestRestartSecond;
        else error = "--test-method is none, first or second";
    }
    if (error.empty() && level) {
        if (*level == "0" || *level == "1" || *level == "2") in.traceLevel = (*level)[0] - '0';
        else error = "--trace-level is 0, 1 or 2";
    }
    for (const std::string& t : timings)
        if (error.empty() && !parseTiming(t, in.timing)) error = "bad --timing " + t;
    if (error.empty() && files.size() != 2) error = "two image files are needed: FIRST.BIN SECOND.BIN";
    if (error.empty()) {
        const std::string problem = upgrade::imageNameProblem(files[0], files[1]);
        if (!problem.empty()) error = problem;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "tpx upgrade-local: %s\n", error.c_str());
        return 2;
    }

    const fs::path home = tpxHome();
    seedHome(home, shippedDataDir());
    const admin::LinkSettings s = settingsWith(lo, home);
    in.first = files[0];
    in.second = files[1];
    in.port.port = s.portIndex + 1;
    in.port.baud = s.baudRate;
    in.port.dataBits = s.dataBits;
    in.port.parity = s.parity;
    in.port.stopCode = s.stopBits;
    // Remembered for the next run, as the wizard does.
    upgrade::writeUserInfo(home / upgrade::kLocalUserInfo, {files[0], files[1], *systemName});

    RealTimeLoop loop;
    auto opener = openerFor(lo, loop);
    Monitor monitor(quiet);
    upgrade::SessionTrace trace;
    local::Session session(loop, *opener, monitor, trace, in);
    const int result = session.run();
    if (!quiet) std::printf("\n");
    if (result != 0) {
        std::fprintf(stderr, "tpx upgrade-local: %s (result %d)\n", local::Session::resultMessage(result).c_str(), result);
        if (!trace.basePath().empty()) std::fprintf(stderr, "tpx upgrade-local: trace in %s.prt\n", trace.basePath().c_str());
    } else if (!quiet) {
        std::printf("Upgrade completed (%d errors, %d restarts).\n", session.errors(), session.restarts());
    }
    return result;
}

}  // namespace tpx::cli
