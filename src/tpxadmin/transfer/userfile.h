// User files (*.usr, the basic database) and extension files (*.exp):
//
//   user file       0 "QVMTR- A.0Cb" + 8 zero bytes | 20 nation, little-endian |
//                   22 magic DE AD C0 DE | 26 36 zero bytes | 62 basic header (78 bytes) |
//                   140 basic database, decoded
//   extension file  the same 62-byte prefix | 62 start address, big-endian |
//                   66 extension total, big-endian | 70 extension database, decoded
//   basic header    0 model code | 1 version (5) | 6 basic total, big-endian | 10 board data (68)
//
// A file without the magic is in the old format: no prefix, the header first, and the data
// run-length coded (0x00 or 0xFF followed by a count). Old files are converted in place.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/syserror.h"

namespace tpx::admin {

inline constexpr std::size_t kPrefixSize = 62;
inline constexpr std::size_t kBasicHeaderSize = 78;
inline constexpr std::size_t kExtHeaderSize = 8;
inline constexpr std::size_t kBasicDataOffset = kPrefixSize + kBasicHeaderSize;  // 140
inline constexpr std::size_t kExtDataOffset = kPrefixSize + kExtHeaderSize;      // 70
inline constexpr std::string_view kToolVersion = "QVMTR- A.0Cb";
inline constexpr std::array<std::uint8_t, 4> kMagic = {0xDE, 0xAD, 0xC0, 0xDE};

enum class Phase { Basic, Extension };

// The 62 prefix bytes for a switch of nation code `nation`.
Bytes makePrefix(std::uint16_t nation);

// True when the file starts with a prefix carrying the magic at offset 22.
bool hasMagic(ByteView file);

// The header behind the prefix: 78 bytes (basic) or 8 (extension); nullopt when the file
// is too short.
std::optional<Bytes> readHeader(ByteView file, Phase phase);

struct BasicHeader {
    std::uint8_t model = 0;
    std::string version;
    std::uint32_t total = 0;
};
std::optional<BasicHeader> parseBasicHeader(ByteView header);

// Where the basic database starts in switch memory, by the header's model name:
// TPX560, TPX300, TPX-RVII 0x200000; TPX-LYRA 0x11A000; TPX-WLYRA 0x200804. nullopt for
// any other name.
std::optional<std::uint32_t> baseAddress(std::string_view headerModelName);

// The extension file that belongs to a user file: the name with the extension "exp".
std::filesystem::path extensionPathFor(const std::filesystem::path& userFile);

// Expands run-length coded data; nullopt when a 0x00 or 0xFF is the last byte (its count
// is missing).
std::optional<Bytes> expandRunLength(ByteView coded);

struct ConversionResult {
    bool ok = false;
    bool abnormal = false;  // "Abnormal case to read": coded data cut short
    SysStatus error;        // a file operation failed
};

// Converts an old user file, and its extension file when that is old too, to the new
// format with the prefix of `nation`. Both are written to temporary files (the name's
// extension replaced by "1" and "2") and replace the originals only when both converted;
// on any failure the original files are left as they were and the temporaries removed.
ConversionResult convertOldFiles(const std::filesystem::path& userFile, std::uint16_t nation);

// The board configuration table: 18 slots of 4 bytes, derived from a basic header.
using BoardTable = std::array<std::uint8_t, 72>;
BoardTable emptyBoardTable();
BoardTable boardTableFromHeader(ByteView basicHeader);

// The partial (LCR) upload table ".\\data\\partial.dat".
struct PartialEntry {
    std::uint32_t basicStart = 0;
    std::uint32_t basicLength = 0;
    std::uint32_t extStart = 0;
    std::uint32_t extLength = 0;
};
struct PartialTable {
    std::string label;  // empty: no table
    std::array<PartialEntry, 5> entries{};  // TPX560, TPX300, TPX-RVII, TPX-LYRA, TPX-WLYRA
    bool loaded() const { return !label.empty(); }
    const PartialEntry* entryFor(std::string_view headerModelName) const;
};
inline constexpr const char* kPartialFile = ".\\data\\partial.dat";
PartialTable parsePartialTable(std::string_view text);

// The part of a database an upload sends: from `skip` data bytes on, to address `address`,
// up to data byte `end` (exclusive).
struct UploadRange {
    std::uint32_t address = 0;
    std::uint64_t skip = 0;
    std::uint64_t end = 0;
};
// A whole-database upload starting at `address`.
UploadRange fullRange(std::uint32_t address, std::uint64_t total);
// An LCR upload: `start` 0 keeps `address` and the whole beginning; otherwise the upload
// starts at `start`, skipping (start - address) bytes. nullopt when start lies below the
// address (the entry does not fit this database).
std::optional<UploadRange> partialRange(std::uint32_t address, std::uint32_t start, std::uint32_t length);

}  // namespace tpx::admin
