// A recording window side of the upgrade sessions: monitor lines, status words (each change
// once), the version and the last progress values.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "upgrade/trace.h"

namespace tpx {

struct RecordingUpgradeHost : upgrade::UpgradeHost {
    void monitorLine(const std::string& l) override { lines.push_back(l); }
    void setStatus(std::string_view w) override {
        if (statuses.empty() || statuses.back() != w) statuses.emplace_back(w);
    }
    void setVersion(const std::string& v) override { version = v; }
    void setProgress(int file, std::size_t bytes, int errors) override {
        lastFile = file;
        lastBytes = bytes;
        lastErrors = errors;
    }
    bool saw(const std::string& l) const { return std::find(lines.begin(), lines.end(), l) != lines.end(); }
    bool sawStatus(const std::string& w) const { return std::find(statuses.begin(), statuses.end(), w) != statuses.end(); }
    std::vector<std::string> lines, statuses;
    std::string version;
    int lastFile = -1, lastErrors = 0;
    std::size_t lastBytes = 0;
};

}  // namespace tpx
