#include "upgrade/images.h"

#include "common/checksum.h"
#include "common/files.h"

namespace tpx::upgrade {

namespace {
constexpr SystemInfo kSystems[kSystemCount] = {
    {"TPX-12", 0x80000, 0x4000, 0x7C000, 0, 0x73800},
    {"TPX-24W", 0x100000, 0x30000, 0xD0000, 0, 0x100000},
};
constexpr std::size_t kUserInfoMax = 255;

std::uint16_t sum(ByteView image, std::size_t from, std::size_t count) {
    if (from >= image.size()) return 0;
    return byteSum16(image.subspan(from, std::min(count, image.size() - from)));
}
}  // namespace

const SystemInfo* systemInfo(int system) {
    return system >= 0 && system < kSystemCount ? &kSystems[system] : nullptr;
}

std::optional<int> systemByName(std::string_view name) {
    for (int i = 0; i < kSystemCount; ++i)
        if (kSystems[i].name == name) return i;
    return std::nullopt;
}

std::size_t transferOffset(int system, int file) {
    const SystemInfo* s = systemInfo(system);
    return !s ? 0 : file == 0 ? s->firstOffset : s->secondOffset;
}

std::size_t transferBytes(int system, int file) {
    const SystemInfo* s = systemInfo(system);
    return !s ? 0 : file == 0 ? s->firstBytes : s->secondBytes;
}

int blockCount(int system, int file, int blockSize) {
    return blockSize > 0 ? static_cast<int>(transferBytes(system, file) / static_cast<std::size_t>(blockSize)) : 0;
}

Checksums computeChecksums(int system, ByteView first, ByteView second) {
    constexpr std::size_t npos = static_cast<std::size_t>(-1);
    Checksums c;
    c.value[0] = sum(first, 0x1000, 0x3000);
    if (system == 0) {
        c.value[1] = sum(second, 0x73800, npos);
    } else {
        c.value[1] = sum(first, 0x4000, 0x2C000);
    }
    c.value[2] = sum(first, 0x1000, npos);
    c.value[3] = sum(second, 0, npos);
    return c;
}

std::string imageNameProblem(std::string_view first, std::string_view second) {
    if (first.empty() || second.empty()) return "Both image files must be given.";
    if (first == kPlaceholderName || second == kPlaceholderName) return "Both image files must be chosen.";
    if (first == second) return "The two image files must be different.";
    return {};
}

SizeCheck checkSizes(int system, std::size_t firstSize, std::size_t secondSize) {
    const SystemInfo* s = systemInfo(system);
    if (!s || firstSize != s->imageSize) return SizeCheck::FirstWrong;
    if (secondSize != s->imageSize) return SizeCheck::SecondWrong;
    return SizeCheck::Ok;
}

std::optional<std::vector<std::string>> readUserInfo(const std::filesystem::path& file, std::size_t count) {
    auto text = readFile(file);
    if (!text) return std::nullopt;
    std::vector<std::string> values;
    std::size_t at = 0;
    while (values.size() < count) {
        if (at >= text->size()) {
            values.emplace_back();
            continue;
        }
        std::size_t end = text->find('\n', at);
        if (end == std::string::npos) end = text->size();
        values.push_back(text->substr(at, std::min(end - at, kUserInfoMax)));
        at = end + 1;
    }
    return values;
}

bool writeUserInfo(const std::filesystem::path& file, const std::vector<std::string>& values) {
    std::string text;
    for (const std::string& v : values) text += v.substr(0, kUserInfoMax) + "\n";
    return writeFileAtomically(file, text).ok();
}

}  // namespace tpx::upgrade
