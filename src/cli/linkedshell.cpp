#include "cli/linkedshell.h"

#include "common/files.h"

namespace tpx::cli {

LinkedShell::LinkedShell(const LinkOptions& link, std::optional<std::string> password, bool yes)
    : opener(openerFor(link, loop)), host(std::move(password), yes), options_(link) {
    std::filesystem::path home = tpxHome();
    seedHome(home, shippedDataDir());
    shell = std::make_unique<admin::AdminShell>(loop, *opener, host, home);
    shell->create();
    shell->link().settings() = settingsWith(link, home);
}

LinkedShell::~LinkedShell() { shell.reset(); }

bool LinkedShell::open(std::string* why) {
    if (!options_.isdn.empty()) {
        if (shell->link().dialIsdn(options_.isdn)) return true;
        *why = "the ISDN call to " + options_.isdn + " failed (" + std::to_string(shell->link().lastDialCode()) +
               "; ReZUVODUV.prt in the TPX home folder tells more)";
        return false;
    }
    if (shell->link().openSerial()) return true;
    *why = "cannot open the link: " + shell->link().lastOpenError().message();
    return false;
}

void LinkedShell::finish() {
    if (!shell->link().linkUp()) return;
    shell->returnToIdle();
    close();
}

void LinkedShell::close() {
    if (shell->link().settings().linkType == admin::kIsdn) shell->link().closeIsdn();
    else shell->link().closeSerial();
}

}  // namespace tpx::cli
