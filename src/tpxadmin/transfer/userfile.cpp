#include "tpxadmin/transfer/userfile.h"

#include <cstdio>
#include <vector>

#include "common/files.h"

namespace tpx::admin {

Bytes makePrefix(std::uint16_t nation) {
    Bytes p(kPrefixSize, 0);
    std::copy(kToolVersion.begin(), kToolVersion.end(), p.begin());
    writeLe16(p, 20, nation);
    std::copy(kMagic.begin(), kMagic.end(), p.begin() + 22);
    return p;
}

bool hasMagic(ByteView file) {
    return file.size() >= 26 && std::equal(kMagic.begin(), kMagic.end(), file.begin() + 22);
}

std::optional<Bytes> readHeader(ByteView file, Phase phase) {
    const std::size_t n = phase == Phase::Basic ? kBasicHeaderSize : kExtHeaderSize;
    if (file.size() < kPrefixSize + n) return std::nullopt;
    return Bytes(file.begin() + kPrefixSize, file.begin() + kPrefixSize + n);
}

std::optional<BasicHeader> parseBasicHeader(ByteView header) {
    if (header.size() < kBasicHeaderSize) return std::nullopt;
    BasicHeader h;
    h.model = header[0];
    h.version.assign(header.begin() + 1, header.begin() + 6);
    h.total = *readBe32(header, 6);
    return h;
}

std::optional<std::uint32_t> baseAddress(std::string_view name) {
    if (name == "TPX560" || name == "TPX300" || name == "TPX-RVII") return 0x200000;
    if (name == "TPX-LYRA") return 0x11A000;
    if (name == "TPX-WLYRA") return 0x200804;
    return std::nullopt;
}

std::filesystem::path extensionPathFor(const std::filesystem::path& userFile) {
    std::filesystem::path p = userFile;
    return p.replace_extension("exp");
}

std::optional<Bytes> expandRunLength(ByteView coded) {
    Bytes out;
    out.reserve(coded.size() * 2);
    for (std::size_t i = 0; i < coded.size(); ++i) {
        const std::uint8_t b = coded[i];
        if (b != 0x00 && b != 0xFF) {
            out.push_back(b);
            continue;
        }
        if (i + 1 == coded.size()) return std::nullopt;
        out.insert(out.end(), coded[++i], b);
    }
    return out;
}

namespace {

// "name.usr" -> "name." + suffix: the name without its last three characters.
std::filesystem::path sibling(const std::filesystem::path& userFile, const char* suffix) {
    std::string s = userFile.string();
    s.resize(s.size() >= 3 ? s.size() - 3 : 0);
    return s + suffix;
}

// One old file into its new-format temporary. False with `r` filled on failure.
bool convertOne(const std::filesystem::path& from, const std::filesystem::path& temp, std::size_t headerSize,
                std::uint16_t nation, ConversionResult& r) {
    auto old = readFile(from, &r.error);
    if (!old) return false;
    ByteView bytes = asBytes(*old);
    if (bytes.size() < headerSize) {
        r.abnormal = true;  // not even a header: nothing to read
        return false;
    }
    auto data = expandRunLength(bytes.subspan(headerSize));
    if (!data) {
        r.abnormal = true;
        return false;
    }
    Bytes out = makePrefix(nation);
    out.insert(out.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(headerSize));
    out.insert(out.end(), data->begin(), data->end());
    r.error = writeFileAtomically(temp, toString(out));
    return r.error.ok();
}

}  // namespace

ConversionResult convertOldFiles(const std::filesystem::path& userFile, std::uint16_t nation) {
    ConversionResult r;
    const std::filesystem::path temp1 = sibling(userFile, "1");
    const std::filesystem::path temp2 = sibling(userFile, "2");
    const std::filesystem::path ext = sibling(userFile, "exp");
    std::error_code ec;
    auto cleanup = [&] {
        std::filesystem::remove(temp1, ec);
        std::filesystem::remove(temp2, ec);
    };

    if (!convertOne(userFile, temp1, kBasicHeaderSize, nation, r)) {
        cleanup();
        return r;
    }
    // An extension file already in the new format is left alone.
    bool convertExt = false;
    if (auto extData = readFile(ext)) convertExt = !hasMagic(asBytes(*extData));
    if (convertExt && !convertOne(ext, temp2, kExtHeaderSize, nation, r)) {
        cleanup();
        return r;
    }
    // Both are ready: replace the originals (each rename replaces in one step).
    if (std::rename(temp1.c_str(), userFile.c_str()) != 0) {
        r.error = SysStatus::fromErrno("replace " + userFile.string());
        cleanup();
        return r;
    }
    if (convertExt && std::rename(temp2.c_str(), ext.c_str()) != 0) {
        r.error = SysStatus::fromErrno("replace " + ext.string());
        cleanup();
        return r;
    }
    r.ok = true;
    return r;
}

BoardTable emptyBoardTable() {
    BoardTable t;
    t.fill(0xFF);
    return t;
}

BoardTable boardTableFromHeader(ByteView h) {
    BoardTable t = emptyBoardTable();
    if (h.size() < kBasicHeaderSize) return t;
    auto copy = [&](std::size_t to, std::size_t from, std::size_t n) {
        std::copy(h.begin() + static_cast<std::ptrdiff_t>(from), h.begin() + static_cast<std::ptrdiff_t>(from + n),
                  t.begin() + static_cast<std::ptrdiff_t>(to));
    };
    switch (h[0] & 0x0F) {
        case 1:
            t[0] = 0xFE;
            copy(4, 10, 44);  // table 4..47 = header 10..53
            break;
        case 2:
            t[0] = 0xFE;
            copy(4, 10, 68);  // table 4..71 = header 10..77
            break;
        case 3:
            t[0] = 0x04;
            copy(4, 38, 4);   // table 4..7 = header 38..41
            copy(8, 14, 24);  // table 8..31 = header 14..37
            break;
        default:
            break;
    }
    return t;
}

const PartialEntry* PartialTable::entryFor(std::string_view name) const {
    static constexpr std::string_view kOrder[] = {"TPX560", "TPX300", "TPX-RVII", "TPX-LYRA", "TPX-WLYRA"};
    for (std::size_t i = 0; i < std::size(kOrder); ++i)
        if (kOrder[i] == name) return &entries[i];
    return nullptr;
}

PartialTable parsePartialTable(std::string_view text) {
    PartialTable t;
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size() && lines.size() < 6) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(pos, end - pos));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 99) line.resize(99);  // lines are read 99 characters at most
        lines.push_back(line);
        pos = end + 1;
    }
    if (lines.empty()) return t;
    t.label = lines[0].substr(0, 30);
    for (std::size_t i = 1; i < lines.size() && i <= 5; ++i) {
        unsigned v[4] = {0, 0, 0, 0};
        std::sscanf(lines[i].c_str(), "%u %u %u %u", &v[0], &v[1], &v[2], &v[3]);
        t.entries[i - 1] = {v[0], v[1], v[2], v[3]};
    }
    return t;
}

UploadRange fullRange(std::uint32_t address, std::uint64_t total) { return {address, 0, total}; }

std::optional<UploadRange> partialRange(std::uint32_t address, std::uint32_t start, std::uint32_t length) {
    if (start == 0) return UploadRange{address, 0, length};
    if (start < address) return std::nullopt;
    const std::uint64_t skip = start - address;
    return UploadRange{start, skip, skip + length};
}

}  // namespace tpx::admin
