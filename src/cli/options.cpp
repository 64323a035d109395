#include "cli/options.h"

#include <algorithm>
#include <cctype>

#include "common/files.h"
#include "isdnlink/client/isdndevice.h"
#include "platform/portmap.h"

namespace tpx::cli {

Args::Args(int argc, char** argv, int first) {
    for (int i = first; i < argc; ++i) args_.push_back(argv[i]);
    used_.assign(args_.size(), false);
}

bool Args::flag(const std::string& name) {
    bool found = false;
    for (std::size_t i = 0; i < args_.size(); ++i)
        if (!used_[i] && args_[i] == name) found = used_[i] = true;
    return found;
}

std::vector<std::string> Args::values(const std::string& name) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < args_.size(); ++i) {
        if (used_[i]) continue;
        if (args_[i] == name && i + 1 < args_.size()) {
            used_[i] = used_[i + 1] = true;
            out.push_back(args_[++i]);
        } else if (args_[i].rfind(name + "=", 0) == 0) {
            used_[i] = true;
            out.push_back(args_[i].substr(name.size() + 1));
        }
    }
    return out;
}

std::optional<std::string> Args::value(const std::string& name) {
    auto v = values(name);
    if (v.empty()) return std::nullopt;
    return v.back();
}

LinkOptions Args::link(std::string* error) {
    LinkOptions o;
    auto number = [&](const std::string& name, int lo, int hi) -> std::optional<int> {
        auto v = value(name);
        if (!v) return std::nullopt;
        try {
            std::size_t used = 0;
            int n = std::stoi(*v, &used);
            if (used == v->size() && n >= lo && n <= hi) return n;
        } catch (const std::exception&) {
        }
        *error = "bad value for " + name + ": " + *v;
        return std::nullopt;
    };
    if (auto p = value("--port")) {
        std::string up = *p;
        std::transform(up.begin(), up.end(), up.begin(), ::toupper);
        if (up == "TELNET") o.portIndex = 5;
        else if (up.size() == 4 && up.rfind("COM", 0) == 0 && up[3] >= '1' && up[3] <= '5')
            o.portIndex = up[3] - '1';
        else *error = "bad value for --port: " + *p + " (COM1..COM5 or TELNET)";
    }
    if (auto d = value("--device")) o.device = *d;
    if (auto t = value("--tcp")) o.device = *t;
    if (auto n = value("--isdn")) {
        o.isdn = *n;
        if (o.isdn.empty() || o.isdn.size() > 253) *error = "bad value for --isdn: give the number to call";
    }
    o.baud = number("--baud", 110, 115200);
    if (auto p = value("--parity")) {
        static const char* names[] = {"none", "odd", "even", "mark", "space"};
        for (int i = 0; i < 5; ++i)
            if (*p == names[i] || *p == std::to_string(i)) o.parity = i;
        if (!o.parity) *error = "bad value for --parity: " + *p + " (none, odd, even, mark, space)";
    }
    o.dataBits = number("--data-bits", 5, 8);
    if (auto s = value("--stop-bits")) {
        if (*s == "1") o.stopBits = 0;
        else if (*s == "1.5") o.stopBits = 1;
        else if (*s == "2") o.stopBits = 2;
        else *error = "bad value for --stop-bits: " + *s + " (1, 1.5 or 2)";
    }
    return o;
}

std::vector<std::string> Args::rest(std::string* error) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < args_.size(); ++i) {
        if (used_[i]) continue;
        if (args_[i].size() > 1 && args_[i][0] == '-') {
            *error = "unknown option " + args_[i];
            continue;
        }
        out.push_back(args_[i]);
    }
    return out;
}

const char* linkOptionsHelp() {
    return "link options:\n"
           "  --port COMn        COM1..COM5 or TELNET, through the port map\n"
           "                     (profile ports.conf, TPX_COM1..TPX_COM5, TPX_TELNET)\n"
           "  --device PATH      a serial device (or a pseudo-terminal of tpxsim)\n"
           "  --tcp HOST:PORT    a TCP byte stream to a serial server\n"
           "  --isdn NUMBER      an ISDN data call through isdnlink (CAPI 2.0; libcapi20 finds\n"
           "                     its controller or remote server through ~/.capi20rc)\n"
           "  --baud N           110..115200 (default: the settings file, else 9600)\n"
           "  --parity P         none, odd, even, mark or space\n"
           "  --data-bits N      5..8\n"
           "  --stop-bits N      1, 1.5 or 2\n"
           "Without options the link of the settings file DATA/cfgcomm.DAT is used.\n";
}

admin::LinkSettings settingsWith(const LinkOptions& o, const std::filesystem::path& home) {
    admin::LinkSettings s;
    if (auto path = findFile(home, admin::kSettingsFile)) {
        if (auto text = readFile(*path)) admin::parseSettingsFile(*text, s);
    }
    if (o.portIndex) s.portIndex = *o.portIndex;
    if (o.baud) s.baudRate = *o.baud;
    if (o.parity) s.parity = *o.parity;
    if (o.dataBits) s.dataBits = *o.dataBits;
    if (o.stopBits) s.stopBits = *o.stopBits;
    // A device named on the command line is wired straight to the switch.
    if (!o.device.empty() || o.portIndex) s.linkType = admin::kDirect;
    if (!o.isdn.empty()) s.linkType = admin::kIsdn;
    return s;
}

std::unique_ptr<DeviceOpener> openerFor(const LinkOptions& o, EventLoop& loop) {
    std::unique_ptr<DeviceOpener> serial;
    if (!o.device.empty()) serial = std::make_unique<FixedDeviceOpener>(loop, o.device);
    else serial = std::make_unique<PortMapOpener>(loop, PortMap::loadEffective());
    return std::make_unique<isdn::IsdnOpener>(loop, std::move(serial));
}

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        char c = text[++i];
        switch (c) {
            case 'r': out.push_back('\r'); break;
            case 'n': out.push_back('\n'); break;
            case 't': out.push_back('\t'); break;
            case 'b': out.push_back('\b'); break;
            case 'x':
                if (i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                    std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
                    out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
                    i += 2;
                } else {
                    out.push_back('x');
                }
                break;
            default: out.push_back(c); break;
        }
    }
    return out;
}

}  // namespace tpx::cli
