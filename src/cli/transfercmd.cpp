// tpx download / tpx upload: the database transfer of TpxAdmin's DownLoad and UpLoad
// commands, with progress on stderr.
#include <cstdio>

#include "cli/commands.h"
#include "cli/linkedshell.h"

namespace tpx::cli {

namespace {

int runTransfer(Args& args, admin::Direction direction) {
    const bool upload = direction == admin::Direction::Upload;
    const char* name = upload ? "upload" : "download";
    if (args.flag("--help")) {
        if (upload)
            std::printf(
                "usage: tpx upload [link options] [--password DIGITS] [--partial] [--yes] FILE.usr\n"
                "Logs in and writes FILE.usr (and FILE.exp when the switch has extension memory)\n"
                "into the switch. --partial sends only the LCR area of the partial upload table.\n"
                "Questions (old-format conversion, version warnings, restart after the upload) are\n"
                "answered Yes with --yes, else asked on the terminal (No without one).\n\n%s",
                linkOptionsHelp());
        else
            std::printf(
                "usage: tpx download [link options] [--password DIGITS] FILE.usr\n"
                "Logs in and reads the switch's database into FILE.usr and, when the switch has\n"
                "extension memory, FILE.exp. A download that fails leaves no partial file, and an\n"
                "existing file is replaced only by a complete download.\n\n%s",
                linkOptionsHelp());
        return 0;
    }
    std::string error;
    LinkOptions lo = args.link(&error);
    auto password = args.value("--password");
    const bool partial = upload && args.flag("--partial");
    const bool yes = args.flag("--yes");
    std::vector<std::string> files = args.rest(&error);
    if (error.empty() && files.size() != 1) error = "name one user file";
    if (!error.empty()) {
        std::fprintf(stderr, "tpx %s: %s\n", name, error.c_str());
        return 2;
    }
    std::filesystem::path file = std::filesystem::absolute(files[0]);
    LinkedShell ls(lo, password, yes);
    ls.host.userFile = file;
    ls.host.clock = &ls.loop;
    if (!ls.open(&error)) {
        std::fprintf(stderr, "tpx %s: %s\n", name, error.c_str());
        return 1;
    }
    const std::int64_t start = ls.loop.monotonicMs();
    if (partial) ls.shell->lcrUpload();
    else ls.shell->transferCommand(direction);
    const admin::TransferEngine* t = ls.shell->transfer();
    if (!t) {
        std::string why = ls.host.lastText().empty() ? "login failed" : ls.host.lastText();
        ls.shell->link().setReceiveMode(admin::kModeTerminal);
        ls.close();
        std::fprintf(stderr, "tpx %s: %s\n", name, why.c_str());
        return 1;
    }
    ls.loop.waitUntil([t] { return t->closed(); }, EventLoop::kForever);
    const double seconds = (ls.loop.monotonicMs() - start) / 1000.0;
    const admin::TransferView v = t->view();
    const admin::TransferOutcome outcome = t->outcome();
    ls.close();
    if (outcome != admin::TransferOutcome::Completed) {
        std::fprintf(stderr, "tpx %s: %s\n", name,
                     ls.host.lastText().empty() ? "the transfer did not complete" : ls.host.lastText().c_str());
        return 1;
    }
    std::printf("%s %s: %s %s, basic %u bytes, extension %u bytes, %d retries, %.1f s (transfer %.2f s)\n",
                name, file.string().c_str(), v.system.c_str(), v.version.c_str(), v.basicTotal, v.extTotal,
                t->retries(), seconds, ls.host.transferMs() / 1000.0);
    return 0;
}

}  // namespace

int runDownload(Args& args) { return runTransfer(args, admin::Direction::Download); }
int runUpload(Args& args) { return runTransfer(args, admin::Direction::Upload); }

}  // namespace tpx::cli
