// What every tpx subcommand that talks to a switch starts with: the TpxAdmin engines on a
// real-time loop, the TPX home seeded, and the link opened from the options.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/clihost.h"
#include "cli/options.h"
#include "common/realtimeloop.h"
#include "tpxadmin/shell/adminshell.h"

namespace tpx::cli {

class LinkedShell {
public:
    LinkedShell(const LinkOptions& link, std::optional<std::string> password, bool yes);
    ~LinkedShell();

    // Opens the link; false with `why` set.
    bool open(std::string* why);
    // Leaves administration on the switch (MON) and closes the link.
    void finish();
    // Closes the link.
    void close();

    RealTimeLoop loop;
    std::unique_ptr<DeviceOpener> opener;
    CliHost host;
    std::unique_ptr<admin::AdminShell> shell;

private:
    LinkOptions options_;
};

}  // namespace tpx::cli
