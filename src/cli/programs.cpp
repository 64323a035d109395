// tpx programs: the administration programs of a switch as the command tree shows them, and
// starting one by keyset to see what the switch's display says.
#include <cstdio>

#include "cli/commands.h"
#include "cli/linkedshell.h"
#include "common/files.h"
#include "tpxadmin/programming/commandfile.h"

namespace tpx::cli {

namespace {

void printTree(const admin::CommandTable& table) {
    const auto nodes = admin::buildCommandTree(table);
    std::vector<int> depth(nodes.size(), 0);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].parent >= 0) depth[i] = depth[static_cast<std::size_t>(nodes[i].parent)] + 1;
        const admin::CommandRecord* r =
            nodes[i].record >= 0 ? &table.records[static_cast<std::size_t>(nodes[i].record)] : nullptr;
        const std::string code = r ? r->programText() : std::string();
        std::printf("%*s%s%s%s\n", 2 * depth[i], "", nodes[i].text.c_str(), code.empty() ? "" : "  #", code.c_str());
    }
}

// The keyset display as two trimmed lines.
std::string displayText(const admin::KeysetDisplay& d) {
    auto trim = [](std::string s) {
        s.erase(s.find_last_not_of(' ') + 1);
        return s;
    };
    return trim(d.line1()) + "\n" + trim(d.line2());
}

}  // namespace

int runPrograms(Args& args) {
    if (args.flag("--help")) {
        std::printf(
            "usage: tpx programs [link options] [--password DIGITS] [--start TEXT]\n"
            "       tpx programs --model CODE [--version TEXT] [--nation HEX]\n"
            "Lists the administration programs of the switch's command file as a tree, filtered\n"
            "by the switch's nation and software version (a program's code after \"#\"). With\n"
            "--start it then enters programming by keyset, starts the program with that text and\n"
            "prints the switch's display. With --model no switch is asked: the values given are\n"
            "used (version empty and nation FFFF when left out).\n\n%s",
            linkOptionsHelp());
        return 0;
    }
    std::string error;
    auto model = args.value("--model");
    auto version = args.value("--version");
    auto nation = args.value("--nation");
    auto start = args.value("--start");
    LinkOptions lo;
    std::optional<std::string> password;
    if (!model) {
        lo = args.link(&error);
        password = args.value("--password");
    }
    args.rest(&error);
    if (!error.empty()) {
        std::fprintf(stderr, "tpx programs: %s\n", error.c_str());
        return 2;
    }
    auto shown = [](int n) { std::fprintf(stderr, "tpx programs: message %d\n", n); };

    if (model) {
        admin::CommandTable table;
        try {
            const std::uint16_t code = nation ? static_cast<std::uint16_t>(std::stoul(*nation, nullptr, 16)) : 0xFFFF;
            const fs::path home = tpxHome();
            seedHome(home, shippedDataDir());
            admin::loadCommandTable(home, std::stoi(*model), version.value_or(""), code, table, shown);
        } catch (const std::exception&) {
            std::fprintf(stderr, "tpx programs: bad --model or --nation\n");
            return 2;
        }
        printTree(table);
        return 0;
    }

    LinkedShell ls(lo, password, false);
    if (!ls.open(&error)) {
        std::fprintf(stderr, "tpx programs: %s\n", error.c_str());
        return 1;
    }
    admin::AdminShell& shell = *ls.shell;
    if (!shell.startAdminSession()) {
        std::string why = ls.host.lastText().empty() ? "login cancelled" : ls.host.lastText();
        shell.link().setReceiveMode(admin::kModeTerminal);
        ls.finish();
        std::fprintf(stderr, "tpx programs: %s\n", why.c_str());
        return 1;
    }
    shell.loadCommandTable();
    printTree(shell.commandTable());
    int status = 0;
    if (start) {
        const int at = shell.commandTable().findByText(*start);
        const admin::CommandRecord* r =
            at >= 0 ? &shell.commandTable().records[static_cast<std::size_t>(at)] : nullptr;
        const bool keysetStyle = shell.commandTable().keysetStyle;
        if (!r || r->isStep() || (!keysetStyle && r->programCode < 0)) {
            std::fprintf(stderr, "tpx programs: no program \"%s\" in the command file\n", start->c_str());
            status = 1;
        } else {
            admin::KeysetEmulation& keys = shell.keyset();
            shell.link().setReceiveMode(admin::kModeKeyset);
            keys.display().start();
            keys.sendKey(admin::kKeyTransPgm);
            if (keysetStyle) {
                // Down the menus: the flexible key of each level's record.
                for (int i : admin::programPath(shell.commandTable(), at)) {
                    const int key = shell.commandTable().records[static_cast<std::size_t>(i)].keyNumber;
                    if (key >= 1 && key <= 24) keys.sendFlexKey(key);
                }
            } else {
                keys.sendProgramCode(r->programText());
                if (r->keyNumber >= 1 && r->keyNumber <= 24) keys.sendFlexKey(r->keyNumber);
            }
            ls.loop.pause(1000);  // the switch's answer
            std::printf("display:\n%s\n", displayText(keys.display()).c_str());
        }
    }
    ls.finish();
    return status;
}

}  // namespace tpx::cli
