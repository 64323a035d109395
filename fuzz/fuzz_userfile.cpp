// User-file pieces on arbitrary bytes: headers, board table, run-length data, the partial
// upload table. Nothing may read outside its buffer.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tpxadmin/transfer/userfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tpx;
    using namespace tpx::admin;
    ByteView bytes(data, size);
    (void)hasMagic(bytes);
    if (auto h = readHeader(bytes, Phase::Basic)) {
        auto parsed = parseBasicHeader(*h);
        if (!parsed) std::abort();
        (void)boardTableFromHeader(*h);
    }
    if (auto expanded = expandRunLength(bytes)) {
        if (expanded->size() > size * 255) std::abort();
    }
    PartialTable t = parsePartialTable(std::string_view(reinterpret_cast<const char*>(data), size));
    if (t.label.size() > 30) std::abort();
    for (const auto& e : t.entries) {
        if (auto r = partialRange(0x200000, e.basicStart, e.basicLength))
            if (r->end < r->skip) std::abort();
    }
    return 0;
}
