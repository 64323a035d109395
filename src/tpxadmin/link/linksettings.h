// The link settings and their file "cfgcomm.DAT" (shared with LocalLyra):
//
//   line 1: baud parity databits stopcode+1 flow portindex+1 linktype   (single blanks)
//   line 2: init command, line 3: escape command, line 4: hangup command
//
// Lines are separated by CR LF and the last line has no line end. The reader cuts the file
// at every CR (a run of CRs is one separator), drops everything up to and including the
// first LF of tokens 2..4, and needs all four tokens. A default init command "ATZ\r" is
// written with its CR (CR CR LF in the file) and reads back as "ATZ".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/bytedevice.h"

namespace tpx::admin {

enum LinkType { kDirect = 0, kModem = 1, kIsdn = 2 };

struct LinkSettings {
    int baudRate = 9600;
    int parity = 0;       // 0 none, 1 odd, 2 even (3 mark, 4 space as the driver takes them)
    int dataBits = 8;
    int stopBits = 0;     // 0 one, 1 one and a half, 2 two
    int flowControl = 0;  // 0 none, 1 CTS/RTS
    int portIndex = 0;    // 0..4 = COM1..COM5, 5 or more = the TELNET device
    int linkType = kDirect;
    std::string initCommand = "ATZ\r";
    std::string escapeCommand = "+++";
    std::string hangupCommand = "ath0";

    bool operator==(const LinkSettings&) const = default;
};

inline constexpr const char* kSettingsFile = ".\\DATA\\cfgcomm.DAT";

// The file text, exactly as written ("%d %d %d %d %d %d %d\r\n%s\r\n%s\r\n%s").
std::string formatSettingsFile(const LinkSettings& s);

// Reads `text` into `s`. Returns true when all four tokens exist. Fields of line 1 that do
// not parse keep their values; fewer than four tokens keep whatever was read so far.
bool parseSettingsFile(std::string_view text, LinkSettings& s);

// The dialog's init command choices: the three built-ins, then `current` when it equals
// none of them (exact comparison).
std::vector<std::string> initCommandList(const std::string& current);

// "COM%d" for port indexes 0..4, the TELNET device name otherwise.
std::string portName(int portIndex);

// The line parameters of the settings. False when the driver would refuse them (a parity,
// stop-bit code or data-bit count it does not know).
bool toSerialParams(const LinkSettings& s, SerialParams& out);

}  // namespace tpx::admin
