// Command files, nation files, key texts and the keyset display stream on arbitrary bytes:
// the table limits hold, the tree only points backwards, the display keeps its line breaks.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tpxadmin/programming/commandfile.h"
#include "tpxadmin/programming/keyset.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tpx::admin;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    int shown = 0;
    MessageSink sink = [&](int) { ++shown; };

    CommandTable t;
    parseCommandFile(text, {size % 2 ? "KOREA" : "", size % 3 ? "4.0Aa" : ""}, t, sink);
    if (t.records.size() > kCommandRecords) std::abort();
    for (const CommandRecord& r : t.records)
        if (r.text.size() > kCommandTextMax || r.level < 1 || r.level > kStepLevel) std::abort();
    const auto tree = buildCommandTree(t);
    for (std::size_t i = 1; i < tree.size(); ++i)
        if (tree[i].parent < 0 || static_cast<std::size_t>(tree[i].parent) >= i) std::abort();
    if (nationNameIn(text, static_cast<std::uint16_t>(size * 0x1111), sink).size() > 20) std::abort();

    keyTextCodes(text, static_cast<int>(size % 32));

    const std::vector<std::string> phrases = {"PGM", std::string(120, 'P')};
    KeysetDisplay d;
    struct Quiet : KeysetListener {
    } quiet;
    d.receive(tpx::ByteView(data, size), phrases, quiet);
    const std::string shownText = d.text();
    if (shownText[24] != '\r' || shownText[25] != '\n' || d.state() < 2 || d.state() > 8) std::abort();
    return 0;
}
