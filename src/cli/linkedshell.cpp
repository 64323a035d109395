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
    if (shell->link().openSerial()) return true;
    *why = "cannot open the link: " + shell->link().lastOpenError().message();
    return false;
}

void LinkedShell::finish() {
    if (!shell->link().linkUp()) return;
    shell->returnToIdle();
    shell->link().closeSerial();
}

}  // namespace tpx::cli
