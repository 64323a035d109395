// tpx upgrade-local: one local software upgrade of a TPX-12 or TPX-24W over a serial line,
// with the monitor lines on stderr and the session's result as the exit status.
#include <cstdio>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/upgradeargs.h"
#include "common/files.h"
#include "common/realtimeloop.h"
#include "locallyra/session.h"

namespace tpx::cli {

int runUpgradeLocal(Args& args) {
    if (args.flag("--help")) {
        std::printf(
            "usage: tpx upgrade-local [link options] --system TPX-12|TPX-24W [options] FIRST.BIN SECOND.BIN\n"
            "Sends the two ROM image files to the switch's maintenance port in 256-byte blocks: login,\n"
            "boot checksums, version, both files with their total checksums (a refused total restarts\n"
            "that file). Prints the monitor lines on stderr; the trace files go to ./Trace (LocalHHMMSS.prt,\n"
            ".001, .002). Exit status: 0, or the session's result code.\n\n%s"
            "  (phases: negotiation, checksum, version, data, others)\n\n%s",
            kUpgradeOptionsHelp, linkOptionsHelp());
        return 0;
    }
    std::string error;
    LinkOptions lo = args.link(&error);
    local::SessionInputs in;
    const std::map<std::string, upgrade::Phase*> phases = {{"negotiation", &in.timing.negotiation},
                                                           {"checksum", &in.timing.checksum},
                                                           {"version", &in.timing.version},
                                                           {"data", &in.timing.data},
                                                           {"others", &in.timing.others}};
    UpgradeArgs u;
    if (!error.empty() || !parseUpgradeArgs(args, u, phases, &error)) {
        std::fprintf(stderr, "tpx upgrade-local: %s\n", error.c_str());
        return 2;
    }
    const fs::path home = tpxHome();
    seedHome(home, shippedDataDir());
    const admin::LinkSettings s = settingsWith(lo, home);
    in.system = u.system;
    in.testMethod = u.testMethod;
    in.traceLevel = u.traceLevel;
    in.first = u.first;
    in.second = u.second;
    in.port.port = s.portIndex + 1;
    in.port.baud = s.baudRate;
    in.port.dataBits = s.dataBits;
    in.port.parity = s.parity;
    in.port.stopCode = s.stopBits;
    // Remembered for the next run, as the wizard does.
    upgrade::writeUserInfo(home / upgrade::kLocalUserInfo, {u.first, u.second, u.systemName});

    RealTimeLoop loop;
    auto opener = openerFor(lo, loop);
    MonitorPrinter monitor(u.quiet);
    upgrade::SessionTrace trace;
    local::Session session(loop, *opener, monitor, trace, in);
    const int result = session.run();
    return reportUpgrade("tpx upgrade-local", result, local::Session::resultMessage(result), trace, u.quiet,
                         session.errors(), session.restarts());
}

}  // namespace tpx::cli
