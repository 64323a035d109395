#include "common/inifile.h"

#include <cstdlib>

#include "common/files.h"

namespace tpx {

namespace {
std::string trim(const std::string& s) {
    auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}
}  // namespace

IniFile IniFile::load(const std::filesystem::path& path) {
    IniFile ini;
    auto text = readFile(path);
    if (!text) return ini;
    std::string section = "General";
    std::size_t pos = 0;
    while (pos <= text->size()) {
        std::size_t end = text->find('\n', pos);
        if (end == std::string::npos) end = text->size();
        std::string line = trim(text->substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = trim(line.substr(1, line.size() - 2));
            continue;
        }
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string value = trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        ini.sections_[section][trim(line.substr(0, eq))] = value;
    }
    return ini;
}

SysStatus IniFile::save(const std::filesystem::path& path) const {
    std::string out;
    for (const auto& [section, keys] : sections_) {
        if (keys.empty()) continue;
        if (!out.empty()) out += "\n";
        out += "[" + section + "]\n";
        for (const auto& [k, v] : keys) out += k + "=" + v + "\n";
    }
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    return writeFileAtomically(path, out);
}

std::optional<std::string> IniFile::value(const std::string& section, const std::string& key) const {
    auto s = sections_.find(section);
    if (s == sections_.end()) return std::nullopt;
    auto k = s->second.find(key);
    if (k == s->second.end()) return std::nullopt;
    return k->second;
}

void IniFile::setValue(const std::string& section, const std::string& key, const std::string& value) {
    sections_[section][key] = value;
}

void IniFile::remove(const std::string& section, const std::string& key) {
    auto s = sections_.find(section);
    if (s != sections_.end()) s->second.erase(key);
}

std::filesystem::path profileFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home && *home ? home : "/tmp") / ".config";
    }
    return base / "TPX PC Applications";
}

}  // namespace tpx
