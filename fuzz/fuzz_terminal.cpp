// The terminal text under arbitrary received chunks: the size limit and the edit the view
// mirrors always agree with the text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tpxadmin/shell/terminalbuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tpx::admin;
    TerminalBuffer t;
    std::string mirror;
    for (std::size_t off = 0; off < size;) {
        std::size_t n = 1 + data[off] % 64;
        if (off + 1 + n > size) n = size - off - 1;
        std::string text = TerminalBuffer::filter({data + off + 1, n});
        // Repeat to reach the trimming size now and then.
        int times = data[off] > 250 ? 400 : 1;
        for (int i = 0; i < times; ++i) {
            TerminalEdit e = t.append(text);
            if (e.trimmed) mirror.erase(0, TerminalBuffer::kTrimCount);
            if (e.keep > mirror.size()) std::abort();
            mirror.resize(e.keep);
            mirror += e.insert;
            if (mirror != t.text()) std::abort();
            if (t.text().size() >= TerminalBuffer::kTrimAt + 64 * 2 + 1) std::abort();
        }
        off += 1 + n;
    }
    return 0;
}
