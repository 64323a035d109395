// A remote upgrade session whose switch answers with arbitrary frames once the call is up:
// the session always ends (no hang) with a result code of its table.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/files.h"
#include "imagefolder.h"
#include "common/virtualloop.h"
#include "remotelyra/session.h"
#include "sim/isdn/simcapi.h"
#include "sim/upgradememory.h"

namespace {

// Answers every frame of the PC with the next slice of the input.
struct FuzzSwitch : tpx::sim::IsdnParty {
    FuzzSwitch(const std::uint8_t* d, std::size_t n) : data(d), size(n) {}
    void connected(tpx::sim::IsdnLine l) override {
        line = std::move(l);
        next();
    }
    void frame(tpx::ByteView) override { next(); }
    void next() {
        if (at >= size) return;
        const std::size_t n = std::min<std::size_t>(size - at, 1 + data[at] % 40);
        line.send(tpx::Bytes(data + at, data + at + n));
        at += n;
    }
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    tpx::sim::IsdnLine line;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tpx;
    VirtualLoop loop{1'800'000'000, {8, 0, 0}};
    sim::IsdnConfig ic;
    ic.numbers["1"] = [data, size] { return std::make_unique<FuzzSwitch>(data, size); };
    sim::SimCapi capi(loop, ic);
    fuzz::QuietHost host;
    upgrade::SessionTrace trace;
    remote::SessionInputs in;
    in.number = "1";
    in.first = fuzz::imageFolder() / "first.bin";
    in.second = fuzz::imageFolder() / "second.bin";
    in.traceFolder = fuzz::imageFolder();
    in.traceLevel = static_cast<int>(size % 3);
    in.timing.line = in.timing.negotiation = in.timing.checksum = in.timing.data = in.timing.others = {1, 1};
    remote::Session session(capi, loop, host, trace, in);
    const int result = session.run();
    if (result < 0 || result > 30) std::abort();
    return 0;
}
