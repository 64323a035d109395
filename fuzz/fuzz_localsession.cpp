// A local upgrade session whose switch answers with arbitrary bytes once logged in: the
// session always ends (no hang), with a result code of its table, and never reads outside
// what it received.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/files.h"
#include "common/virtualloop.h"
#include "locallyra/session.h"
#include "sim/localupgrade.h"
#include "sim/simlink.h"

namespace {

struct Quiet : tpx::upgrade::UpgradeHost {
    void monitorLine(const std::string&) override {}
    void setStatus(std::string_view) override {}
    void setVersion(const std::string&) override {}
    void setProgress(int, std::size_t, int) override {}
};

const std::filesystem::path& workFolder() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("tpxfuzz-local-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        tpx::Bytes first, second;
        tpx::sim::LocalUpgradeSim::makeImages(0, 1, first, second);
        (void)tpx::writeFileAtomically(d / "first.bin", tpx::toString(first));
        (void)tpx::writeFileAtomically(d / "second.bin", tpx::toString(second));
        std::atexit([] { std::filesystem::remove_all(workFolder()); });
        return d;
    }();
    return dir;
}

}  // namespace

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
    Quiet host;
    upgrade::SessionTrace trace;
    local::SessionInputs in;
    in.first = workFolder() / "first.bin";
    in.second = workFolder() / "second.bin";
    in.traceFolder = workFolder();
    in.traceLevel = size % 3;
    in.timing.checksum = in.timing.version = in.timing.data = {1, 1};
    in.timing.data.retries = 0;
    local::Session session(loop, opener, host, trace, in);
    const int result = session.run();
    if (result < 0 || result > 17) std::abort();
    return 0;
}
