// CAPI messages on arbitrary bytes: decoding never reads outside the message, and what
// decodes encodes again to a message of the same kind that decodes to the same values.
#include <cstdint>
#include <cstdlib>

#include "capi/message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tpx;
    using namespace tpx::capi;
    ByteView in(data, size);
    CapiMessage m;
    if (!decode(in, in, m)) return 0;
    (void)traceHeader(m, 0);
    (void)traceParameters(m);
    (void)traceInfoLines(m);
    if (!parameterList(m.command, m.subcommand)) return 0;  // never put: nothing to encode
    Bytes again = encode(m);
    CapiMessage back;
    if (!decode(again, m.data, back)) std::abort();
    if (back.command != m.command || back.subcommand != m.subcommand || back.address() != m.address() ||
        back.get(Param::Info) != m.get(Param::Info))
        std::abort();
    return 0;
}
