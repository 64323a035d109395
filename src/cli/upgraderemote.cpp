// tpx upgrade-remote: one remote software upgrade of a TPX-12 or TPX-24W over an ISDN data
// call (CAPI 2.0 through libcapi20), with the monitor lines on stderr and the session's
// result as the exit status.
#include <cstdio>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/upgradeargs.h"
#include "common/files.h"
#include "common/realtimeloop.h"
#include "platform/libcapi.h"
#include "remotelyra/session.h"

namespace tpx::cli {

int runUpgradeRemote(Args& args) {
    if (args.flag("--help")) {
        std::printf(
            "usage: tpx upgrade-remote --isdn NUMBER --system TPX-12|TPX-24W [options] FIRST.BIN SECOND.BIN\n"
            "Calls the switch and sends the two ROM image files in 1024-byte blocks: service\n"
            "negotiation, boot checksums, both files with their total checksums (a refused total\n"
            "restarts that file). Prints the monitor lines on stderr; the trace files go to ./Trace\n"
            "(RemoteHHMMSS.prt, .001, .002). CAPI is libcapi20's: a local controller or the remote\n"
            "CAPI server of ~/.capi20rc. Exit status: 0, or the session's result code.\n\n%s"
            "  (phases: line, negotiation, checksum, data, disconnect, others)\n",
            kUpgradeOptionsHelp);
        return 0;
    }
    std::string error;
    auto number = args.value("--isdn");
    remote::SessionInputs in;
    const std::map<std::string, upgrade::Phase*> phases = {
        {"line", &in.timing.line},         {"negotiation", &in.timing.negotiation}, {"checksum", &in.timing.checksum},
        {"data", &in.timing.data},         {"disconnect", &in.timing.disconnect},   {"others", &in.timing.others}};
    UpgradeArgs u;
    if (!parseUpgradeArgs(args, u, phases, &error)) {
        std::fprintf(stderr, "tpx upgrade-remote: %s\n", error.c_str());
        return 2;
    }
    if (!number || number->empty() || number->find_first_not_of("0123456789*#") != std::string::npos) {
        std::fprintf(stderr, "tpx upgrade-remote: --isdn NUMBER (digits) is needed\n");
        return 2;
    }
    const fs::path home = tpxHome();
    seedHome(home, shippedDataDir());
    in.system = u.system;
    in.number = *number;
    in.testMethod = u.testMethod;
    in.traceLevel = u.traceLevel;
    in.first = u.first;
    in.second = u.second;
    upgrade::writeUserInfo(home / upgrade::kRemoteUserInfo, {*number, u.first, u.second, u.systemName});

    RealTimeLoop clock;
    LibCapi20 capi;
    MonitorPrinter monitor(u.quiet);
    upgrade::SessionTrace trace;
    remote::Session session(capi, clock, monitor, trace, in);
    const int result = session.run();
    return reportUpgrade("tpx upgrade-remote", result, remote::Session::resultMessage(result), trace, u.quiet,
                         session.errors(), session.restarts());
}

}  // namespace tpx::cli
