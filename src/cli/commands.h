#pragma once

namespace tpx::cli {
class Args;
// Each subcommand: exit status 0 on success, non-zero with a one-line reason on stderr.
int runConsole(Args& args);
int runIdentify(Args& args);
int runDownload(Args& args);
int runUpload(Args& args);
int runPrograms(Args& args);
int runUpgradeLocal(Args& args);
int runUpgradeRemote(Args& args);
}  // namespace tpx::cli
