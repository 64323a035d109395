// A small INI file of sections and string keys, in the layout QSettings writes
// ("[Section]" then "key=value"), for profile entries that programs without Qt read too.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "common/syserror.h"

namespace tpx {

class IniFile {
public:
    // Missing file: empty, ok. Unreadable lines are skipped.
    static IniFile load(const std::filesystem::path& path);
    SysStatus save(const std::filesystem::path& path) const;

    std::optional<std::string> value(const std::string& section, const std::string& key) const;
    void setValue(const std::string& section, const std::string& key, const std::string& value);
    void remove(const std::string& section, const std::string& key);

private:
    std::map<std::string, std::map<std::string, std::string>> sections_;
};

// ~/.config/TPX PC Applications (XDG_CONFIG_HOME respected): the per-user profile folder.
std::filesystem::path profileFolder();

}  // namespace tpx
