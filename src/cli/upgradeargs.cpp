#include "cli/upgradeargs.h"

#include <cstdio>

#include "cli/options.h"

namespace tpx::cli {

const char* const kUpgradeOptionsHelp =
    "  --system TPX-12|TPX-24W   the switch's system (image sizes, ranges, checksums)\n"
    "  --test-method none|first|second   send a zero total checksum once for that file, to\n"
    "                            prove the restart\n"
    "  --trace-level 0|1|2       0 all the details, 1 a short form, 2 the minimum (default)\n"
    "  --timing PHASE=WAIT,RETRIES   a wait's seconds (1..60) and tries (0..10); repeatable\n"
    "  --quiet                   no monitor lines\n";

namespace {

bool parseTiming(const std::string& text, const std::map<std::string, upgrade::Phase*>& phases) {
    const auto eq = text.find('='), comma = text.find(',');
    if (eq == std::string::npos || comma == std::string::npos || comma < eq) return false;
    auto it = phases.find(text.substr(0, eq));
    if (it == phases.end()) return false;
    int wait = 0, retries = 0;
    try {
        wait = std::stoi(text.substr(eq + 1, comma - eq - 1));
        retries = std::stoi(text.substr(comma + 1));
    } catch (const std::exception&) {
        return false;
    }
    if (wait < 1 || wait > 60 || retries < 0 || retries > 10) return false;
    *it->second = {wait, retries};
    return true;
}

}  // namespace

bool parseUpgradeArgs(Args& args, UpgradeArgs& out, const std::map<std::string, upgrade::Phase*>& phases,
                      std::string* error) {
    auto systemName = args.value("--system");
    auto method = args.value("--test-method");
    auto level = args.value("--trace-level");
    const auto timings = args.values("--timing");
    out.quiet = args.flag("--quiet");
    const auto files = args.rest(error);
    if (!error->empty()) return false;
    auto fail = [&](std::string why) {
        *error = std::move(why);
        return false;
    };
    if (!systemName) return fail("--system is needed (TPX-12 or TPX-24W)");
    auto system = upgrade::systemByName(*systemName);
    if (!system) return fail("unknown system " + *systemName + " (TPX-12 or TPX-24W)");
    out.system = *system;
    out.systemName = *systemName;
    if (method) {
        if (*method == "none") out.testMethod = 0;
        else if (*method == "first") out.testMethod = 1;
        else if (*method == "second") out.testMethod = 2;
        else return fail("--test-method is none, first or second");
    }
    if (level) {
        if (*level != "0" && *level != "1" && *level != "2") return fail("--trace-level is 0, 1 or 2");
        out.traceLevel = (*level)[0] - '0';
    }
    for (const std::string& t : timings) {
        if (!parseTiming(t, phases)) {
            std::string names;
            for (const auto& [name, _] : phases) names += (names.empty() ? "" : ", ") + name;
            return fail("bad --timing " + t + " (phases: " + names + ")");
        }
    }
    if (files.size() != 2) return fail("two image files are needed: FIRST.BIN SECOND.BIN");
    const std::string problem = upgrade::imageNameProblem(files[0], files[1]);
    if (!problem.empty()) return fail(problem);
    out.first = files[0];
    out.second = files[1];
    return true;
}

void MonitorPrinter::monitorLine(const std::string& line) {
    if (quiet_) return;
    std::string text;
    upgrade::appendMonitorLine(text, line);
    std::string out;
    for (char c : text)
        if (c != '\r') out.push_back(c);
    std::fputs(out.c_str(), stderr);
}

void MonitorPrinter::setVersion(const std::string& v) {
    if (!quiet_) std::fprintf(stderr, "   -- Switch version : %s\n", v.c_str());
}

int reportUpgrade(const char* command, int result, const std::string& message, const upgrade::SessionTrace& trace,
                  bool quiet, int errors, int restarts) {
    if (!quiet) std::fprintf(stderr, "\n");
    if (result != 0) {
        std::fprintf(stderr, "%s: %s (result %d)\n", command, message.c_str(), result);
        if (!trace.basePath().empty()) std::fprintf(stderr, "%s: trace in %s.prt\n", command, trace.basePath().c_str());
    } else if (!quiet) {
        std::printf("Upgrade completed (%d errors, %d restarts).\n", errors, restarts);
        std::fflush(stdout);
    }
    return result;
}

}  // namespace tpx::cli
