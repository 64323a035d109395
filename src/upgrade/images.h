// The software images both upgrade programs send: the two systems with their image sizes
// and transferred ranges, the rules an image pair must meet, the four checksums by id, and
// the user-information files that remember the wizard's last inputs.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"

namespace tpx::upgrade {

// A wait of the sessions: seconds per try (1..60) and tries (0..10; 0 and 1 both give one).
struct Phase {
    int wait;
    int retries;
};

struct SystemInfo {
    std::string_view name;       // "TPX-12"
    std::size_t imageSize;       // each file
    std::size_t firstOffset;     // first file: sent from here to its end
    std::size_t firstBytes;
    std::size_t secondOffset;    // second file: sent from its start ...
    std::size_t secondBytes;     // ... this many bytes
};

inline constexpr int kSystemCount = 2;
// 0 TPX-12, 1 TPX-24W; nullptr for any other value.
const SystemInfo* systemInfo(int system);
std::optional<int> systemByName(std::string_view name);

// Blocks of `blockSize` bytes in file 0 or 1 of `system`.
int blockCount(int system, int file, int blockSize);
// Where file `file`'s transfer starts and how many bytes it sends.
std::size_t transferOffset(int system, int file);
std::size_t transferBytes(int system, int file);

// Checksum ids: 0x10, 0x11 boot regions; 0x12, 0x13 the files' totals.
inline constexpr std::uint8_t kFirstChecksumId = 0x10;
struct Checksums {
    std::array<std::uint16_t, 4> value{};
    std::uint16_t byId(int id) const { return value.at(static_cast<std::size_t>(id - kFirstChecksumId)); }
};
// The four checksums of an image pair of `system` (sizes already checked).
Checksums computeChecksums(int system, ByteView first, ByteView second);

// The wizard's name rules: both given, neither the placeholder ".BIN", not the same name.
// Empty when the pair passes, else what is wrong.
std::string imageNameProblem(std::string_view first, std::string_view second);
inline constexpr std::string_view kPlaceholderName = ".BIN";

enum class SizeCheck { Ok, FirstWrong, SecondWrong };
SizeCheck checkSizes(int system, std::size_t firstSize, std::size_t secondSize);

// User information: one value per line (LF), each at most 255 characters.
// RemoteLyra: phone number, first image, second image, system name ("UserInfo.dat").
// LocalLyra: first image, second image, system name ("LocalUserInfo.dat").
inline constexpr std::string_view kRemoteUserInfo = "UserInfo.dat";
inline constexpr std::string_view kLocalUserInfo = "LocalUserInfo.dat";
// The values in file order (missing lines are empty); nullopt when there is no file.
std::optional<std::vector<std::string>> readUserInfo(const std::filesystem::path& file, std::size_t count);
// Writes the values; false when the file cannot be written (the caller goes on).
bool writeUserInfo(const std::filesystem::path& file, const std::vector<std::string>& values);

}  // namespace tpx::upgrade
