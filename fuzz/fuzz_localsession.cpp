// A local upgrade session whose switch answers with arbitrary bytes once logged in: the
// session always ends (no hang), with a result code of its table, and never reads outside
// what it received.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/files.h"
#include "imagefolder.h"
#include "common/virtualloop.h"
#include "locallyra/session.h"
#include "sim/localupgrade.h"
#include "sim/simlink.h"


extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tpx;
    VirtualLoop loop{1'800'000'000, {8, 0, 0}};
    sim::SimLine line(loop, 0);
    std::size_t at = 0;
    line.attach([&](ByteView b) {
        if (b.size() == 1 && b[0] == 0x0D) {
            line.toProgram(asBytes("ENTER PASSWORD: "));
        } else if (toString(b) == "kelmor\r") {
            line.toProgram(Bytes{0x06});
        } else if (at < size) {
            // The next slice of the input answers whatever the session sent.
            const std::size_t n = std::min<std::size_t>(size - at, 1 + data[at] % 24);
            line.toProgram(ByteView(data + at, n));
            at += n;
        }
    });
    sim::SimOpener opener(line);
    fuzz::QuietHost host;
    upgrade::SessionTrace trace;
    local::SessionInputs in;
    in.first = fuzz::imageFolder() / "first.bin";
    in.second = fuzz::imageFolder() / "second.bin";
    in.traceFolder = fuzz::imageFolder();
    in.traceLevel = size % 3;
    in.timing.checksum = in.timing.version = in.timing.data = {1, 1};
    in.timing.data.retries = 0;
    local::Session session(loop, opener, host, trace, in);
    const int result = session.run();
    if (result < 0 || result > 17) std::abort();
    return 0;
}
