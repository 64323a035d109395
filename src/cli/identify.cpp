// tpx identify: logs in to the switch's administration and prints what it says it is.
#include <cstdio>

#include "cli/commands.h"
#include "cli/linkedshell.h"
#include "tpxadmin/session/models.h"

namespace tpx::cli {

int runIdentify(Args& args) {
    if (args.flag("--help")) {
        std::printf(
            "usage: tpx identify [link options] [--password DIGITS]\n"
            "Logs in to the switch's administration (the password as keypad digits, * and #;\n"
            "without --password it is asked for on the terminal, and an empty one sends the\n"
            "default) and prints the model, software version, nation code and whether the\n"
            "switch has extension memory. Exit status 0 when the switch identified itself.\n\n%s",
            linkOptionsHelp());
        return 0;
    }
    std::string error;
    LinkOptions lo = args.link(&error);
    auto password = args.value("--password");
    args.rest(&error);
    if (!error.empty()) {
        std::fprintf(stderr, "tpx identify: %s\n", error.c_str());
        return 2;
    }
    LinkedShell ls(lo, password, false);
    if (!ls.open(&error)) {
        std::fprintf(stderr, "tpx identify: %s\n", error.c_str());
        return 1;
    }
    if (!ls.shell->startAdminSession()) {
        std::string why = ls.host.lastText().empty() ? "login cancelled" : ls.host.lastText();
        ls.shell->link().setReceiveMode(admin::kModeTerminal);
        ls.finish();
        std::fprintf(stderr, "tpx identify: %s\n", why.c_str());
        return 1;
    }
    const bool answered = ls.host.status() != "TPX560 assumed";
    const admin::SessionValues v = ls.shell->session();
    ls.finish();
    if (!answered) {
        std::fprintf(stderr, "tpx identify: the switch sent no identification (TPX560 assumed)\n");
        return 1;
    }
    std::printf("model:      %d %s\n", v.model, admin::statusBarName(v.model).c_str());
    std::printf("version:    %s\n", v.version.c_str());
    std::printf("nation:     %04X\n", v.nation);
    std::printf("extension:  %s\n", v.extensionMemory ? "yes (MEMU)" : "no");
    return 0;
}

}  // namespace tpx::cli
