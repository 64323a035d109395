// The settings file reader on arbitrary bytes; what it reads must write back and re-read
// to the same settings.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tpxadmin/link/linksettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tpx::admin;
    LinkSettings s;
    parseSettingsFile(std::string_view(reinterpret_cast<const char*>(data), size), s);
    // Commands with CR or LF in them cannot survive the file's own separators.
    for (const std::string* c : {&s.initCommand, &s.escapeCommand, &s.hangupCommand})
        if (c->empty() || c->find_first_of("\r\n") != std::string::npos) return 0;
    LinkSettings again;
    if (!parseSettingsFile(formatSettingsFile(s), again) || !(again == s)) std::abort();
    return 0;
}
