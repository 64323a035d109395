// Command-line parsing shared by the tpx subcommands: the link options every subcommand
// takes and a small reader for the rest.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/bytedevice.h"
#include "common/clock.h"
#include "tpxadmin/link/linksettings.h"

namespace tpx::cli {

// --port COMn | --device PATH | --tcp HOST:PORT, --baud, --parity, --data-bits, --stop-bits
struct LinkOptions {
    std::optional<int> portIndex;
    std::string device;  // a path or host:port, used instead of the port map
    std::optional<int> baud;
    std::optional<int> parity;
    std::optional<int> dataBits;
    std::optional<int> stopBits;  // stop-bit code 0, 1 or 2
    std::string isdn;             // a number to call over ISDN instead of a serial link
};

class Args {
public:
    Args(int argc, char** argv, int first);
    // Takes a flag; true when it was given.
    bool flag(const std::string& name);
    // Takes an option with a value.
    std::optional<std::string> value(const std::string& name);
    std::vector<std::string> values(const std::string& name);
    // Link options; on a bad value sets `error`.
    LinkOptions link(std::string* error);
    // What is left: positional arguments. Unknown options set `error`.
    std::vector<std::string> rest(std::string* error);

private:
    std::vector<std::string> args_;
    std::vector<bool> used_;
};

// The help text of the link options.
const char* linkOptionsHelp();

// Settings of the TPX home's settings file (or the defaults) with the options applied.
admin::LinkSettings settingsWith(const LinkOptions& o, const std::filesystem::path& home);

// The opener the options ask for: a fixed device, or the port map.
std::unique_ptr<DeviceOpener> openerFor(const LinkOptions& o, EventLoop& loop);

// "\r", "\n", "\t", "\\", "\xNN" in a command-line text.
std::string unescape(const std::string& text);

}  // namespace tpx::cli
