// The transfer's receive machines on arbitrary bytes from the switch, in both directions:
// whatever arrives, nothing overflows and every run ends (virtual time, 9 attempts at most).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "common/files.h"
#include "common/virtualloop.h"
#include "tpxadmin/transfer/transfer.h"

namespace {

using namespace tpx;
using namespace tpx::admin;

struct NullDevice : ByteDevice {
    std::string name() const override { return "fuzz"; }
    SysStatus configure(const SerialParams&) override { return {}; }
    SysStatus writeAll(ByteView, int) override { return {}; }
    void purge() override {}
    SysStatus setDtr(bool) override { return {}; }
    SysStatus setRts(bool) override { return {}; }
    SysStatus startReading(ChunkSink, LostSink) override { return {}; }
    void stopReading() override {}
    void close() override {}
};
struct Opener : DeviceOpener {
    std::unique_ptr<ByteDevice> open(int, SysStatus*) override { return std::make_unique<NullDevice>(); }
};
struct LinkHost : CommLinkHost {
    void showFileError(const SysStatus&) override {}
    void appendLinkNote(const std::string&) override {}
};
struct Host : TransferHost {
    void showText(const std::string&) override {}
    void showMessage(int) override {}
    bool askYesNo(const std::string&) override { return true; }
    void showFileError(const SysStatus&) override {}
    void setWaitCursor(bool) override {}
    void transferViewChanged(const TransferView&) override {}
    void transferClosed() override {}
};

std::filesystem::path workDir() {
    static std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("tpx-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                            ("tpx-fuzz-" + std::to_string(::getpid())),
                                        ec);
        });
        return d;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    VirtualLoop loop;
    Opener opener;
    LinkHost linkHost;
    Transcript transcript(loop);
    CCommLink link(loop, opener, linkHost, transcript, workDir());
    link.openSerial();
    Host host;
    const bool upload = data[0] & 1;
    const std::filesystem::path file = workDir() / "f.usr";
    if (upload) {
        Bytes content = makePrefix(0xFFFF);
        Bytes header(78, 0);
        header[0] = 2;
        std::copy_n("5.3Aa", 5, header.begin() + 1);
        writeBe32(header, 6, 300);
        content.insert(content.end(), header.begin(), header.end());
        content.insert(content.end(), 300, 0x41);
        (void)writeFileAtomically(file, std::string(content.begin(), content.end()));
    }
    TransferSetup setup;
    setup.direction = upload ? Direction::Upload : Direction::Download;
    setup.userFile = file;
    setup.sessionModel = 2;
    setup.sessionVersion = data[0] & 2 ? "5.5Aa" : "5.3Aa";
    TransferEngine engine(loop, link, host, setup);
    engine.open();
    // The bytes arrive in chunks of varying size, with time passing between them.
    std::size_t off = 1;
    while (off < size && !engine.closed()) {
        const std::size_t n = std::min<std::size_t>(1 + data[off] % 97, size - off);
        engine.receive(ByteView(data + off, n));
        loop.advance(data[off] % 7 * 700);
        off += n;
    }
    loop.waitUntil([&] { return engine.closed(); }, 24LL * 3600 * 1000);
    if (!engine.closed()) std::abort();  // every run ends
    return 0;
}
