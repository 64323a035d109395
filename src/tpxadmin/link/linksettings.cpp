#include "tpxadmin/link/linksettings.h"

#include <climits>
#include <cstdio>

namespace tpx::admin {

std::string formatSettingsFile(const LinkSettings& s) {
    char line1[128];
    std::snprintf(line1, sizeof line1, "%d %d %d %lld %d %lld %d", s.baudRate, s.parity, s.dataBits,
                  s.stopBits + 1LL, s.flowControl, s.portIndex + 1LL, s.linkType);
    return std::string(line1) + "\r\n" + s.initCommand + "\r\n" + s.escapeCommand + "\r\n" +
           s.hangupCommand;
}

bool parseSettingsFile(std::string_view text, LinkSettings& s) {
    std::vector<std::string> tokens;
    std::string cur;
    for (char c : text) {
        if (c == '\r') {
            if (!cur.empty()) tokens.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) tokens.push_back(cur);
    if (tokens.empty()) return false;

    // Line 1. Only fields that parse are taken (and only those get the file's +1 removed),
    // so a damaged first line cannot turn the defaults into negative codes.
    int v[7];
    int n = std::sscanf(tokens[0].c_str(), "%d %d %d %d %d %d %d", &v[0], &v[1], &v[2], &v[3],
                        &v[4], &v[5], &v[6]);
    int* fields[7] = {&s.baudRate, &s.parity, &s.dataBits, &s.stopBits, &s.flowControl,
                      &s.portIndex, &s.linkType};
    for (int i = 0; i < n && i < 7; ++i) {
        const bool stored1Up = i == 3 || i == 5;
        if (stored1Up && v[i] == INT_MIN) continue;  // no value below it to store
        *fields[i] = stored1Up ? v[i] - 1 : v[i];
    }

    std::string* commands[3] = {&s.initCommand, &s.escapeCommand, &s.hangupCommand};
    for (std::size_t i = 1; i < tokens.size() && i <= 3; ++i) {
        std::string t = tokens[i];
        auto lf = t.find('\n');
        if (lf != std::string::npos) t.erase(0, lf + 1);
        *commands[i - 1] = t;
    }
    return tokens.size() >= 4;
}

std::vector<std::string> initCommandList(const std::string& current) {
    std::vector<std::string> list = {"ATZ", "AT &F1 &M0", "AT &K3 \\N0"};
    bool builtin = false;
    for (const auto& b : list) builtin = builtin || b == current;
    if (!builtin) list.push_back(current);
    return list;
}

std::string portName(int portIndex) {
    if (portIndex <= 4) return "COM" + std::to_string(portIndex + 1);
    return "\\\\.\\TELNET";
}

bool toSerialParams(const LinkSettings& s, SerialParams& out) {
    static constexpr Parity kParity[] = {Parity::None, Parity::Odd, Parity::Even, Parity::Mark,
                                         Parity::Space};
    static constexpr StopBits kStop[] = {StopBits::One, StopBits::OnePointFive, StopBits::Two};
    if (s.parity < 0 || s.parity > 4 || s.stopBits < 0 || s.stopBits > 2 || s.dataBits < 5 ||
        s.dataBits > 8)
        return false;
    out = SerialParams{};
    out.baud = s.baudRate;
    out.dataBits = s.dataBits;
    out.parity = kParity[s.parity];
    out.stopBits = kStop[s.stopBits];
    out.rtsCts = s.flowControl == 1;
    out.xonXoff = false;
    return true;
}

}  // namespace tpx::admin
