// Runs a fuzz target without libFuzzer: the files named on the command line, then a fixed
// number of pseudo-random inputs (mutated runs of protocol-like bytes). Used by the test
// suite so every target builds and survives; clang builds with -DTPX_FUZZ=ON use libFuzzer.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::vector<std::uint8_t> d((std::istreambuf_iterator<char>(in)), {});
        LLVMFuzzerTestOneInput(d.data(), d.size());
    }
    std::mt19937 rng(12345);
    static const std::uint8_t kAlphabet[] = {'\r', '\n', '\b', ' ', '0', '1', '9', 'A', 'Z', 0x00,
                                             0x07, 0x7F, 0xF0, 0xF1, 0xFF, '\\', '%', '-'};
    // 20000 inputs, or 3 seconds, whichever comes first.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (int run = 0; run < 20000 && std::chrono::steady_clock::now() < end; ++run) {
        std::vector<std::uint8_t> d(rng() % 600);
        for (auto& b : d) b = rng() % 3 ? kAlphabet[rng() % sizeof kAlphabet] : static_cast<std::uint8_t>(rng());
        LLVMFuzzerTestOneInput(d.data(), d.size());
    }
    std::puts("fuzz smoke: ok");
    return 0;
}
