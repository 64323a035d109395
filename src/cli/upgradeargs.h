// What tpx upgrade-local and tpx upgrade-remote share: their common options, and the monitor
// lines on stderr as the wizard's monitor window shows them (the progress dots included).
#pragma once

#include <map>
#include <string>

#include "upgrade/images.h"
#include "upgrade/trace.h"

namespace tpx::cli {

class Args;

struct UpgradeArgs {
    int system = 0;
    std::string systemName;
    int testMethod = 0;  // 0 none, 1 first, 2 second
    int traceLevel = 2;
    std::string first, second;
    bool quiet = false;
};

// --system, --test-method, --trace-level, --timing PHASE=WAIT,RETRIES (into `phases`),
// --quiet and the two image files. False with `error` set.
bool parseUpgradeArgs(Args& args, UpgradeArgs& out, const std::map<std::string, upgrade::Phase*>& phases,
                      std::string* error);
extern const char* const kUpgradeOptionsHelp;

class MonitorPrinter : public upgrade::UpgradeHost {
public:
    explicit MonitorPrinter(bool quiet) : quiet_(quiet) {}
    void monitorLine(const std::string& line) override;
    void setStatus(std::string_view) override {}
    void setVersion(const std::string& v) override;
    void setProgress(int, std::size_t, int) override {}

private:
    bool quiet_;
};

// Prints the session's end: the message and where the trace is, or the success line.
int reportUpgrade(const char* command, int result, const std::string& message, const upgrade::SessionTrace& trace,
                  bool quiet, int errors, int restarts);

}  // namespace tpx::cli
