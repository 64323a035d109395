// tpx: TpxAdmin's engines without a window, for scripted and batch work.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "cli/options.h"

namespace {

struct Subcommand {
    const char* name;
    const char* summary;
    int (*run)(tpx::cli::Args&);
};

constexpr Subcommand kSubcommands[] = {
    {"console", "show the switch's administration console; send texts to it", tpx::cli::runConsole},
    {"identify", "log in and print the switch's model, version and nation", tpx::cli::runIdentify},
    {"download", "read the switch's database into a user file (and extension file)", tpx::cli::runDownload},
    {"upload", "write a user file (and extension file) into the switch", tpx::cli::runUpload},
    {"programs", "list the switch's administration programs; start one by keyset", tpx::cli::runPrograms},
    {"upgrade-local", "send new software to a TPX-12 or TPX-24W over a serial line", tpx::cli::runUpgradeLocal},
    {"upgrade-remote", "send new software to a TPX-12 or TPX-24W over an ISDN call", tpx::cli::runUpgradeRemote},
};

void usage(std::FILE* to) {
    std::fputs("usage: tpx <command> [options]\n\ncommands:\n", to);
    for (const auto& s : kSubcommands) std::fprintf(to, "  %-14s %s\n", s.name, s.summary);
    std::fputs("\n'tpx <command> --help' describes a command and its options.\n\n", to);
    std::fputs(tpx::cli::linkOptionsHelp(), to);
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    for (const auto& s : kSubcommands) {
        if (std::strcmp(argv[1], s.name) == 0) {
            tpx::cli::Args args(argc, argv, 2);
            return s.run(args);
        }
    }
    std::fprintf(stderr, "tpx: unknown command %s\n", argv[1]);
    usage(stderr);
    return 2;
}
