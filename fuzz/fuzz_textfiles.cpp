// Message and phrase files on arbitrary bytes: limits always hold.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tpxadmin/shell/textfiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tpx::admin;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    MessageTable m = parseMessageFile(text);
    if (m.count > kMessageCount) std::abort();
    for (std::size_t i = 0; i < m.count; ++i)
        if (m.text[i].size() > kLineMax + 1 || m.text[i].back() != '\n') std::abort();
    PhraseTable p = parsePhraseFile(text);
    if (p.phrases.size() > kPhraseLimit + 1) std::abort();
    for (const auto& ph : p.phrases)
        if (ph.size() > kLineMax) std::abort();
    return 0;
}
