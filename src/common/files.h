// Files of the TPX home folder: where it is, seeding it from the shipped data, looking up
// data files whatever the case of their names, and writing files so that a failure never
// leaves a half-written one behind.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/syserror.h"

namespace tpx {

namespace fs = std::filesystem;

// $TPX_HOME when set and not empty, else ~/.local/share/tpx (XDG_DATA_HOME respected).
fs::path tpxHome();

// The shipped data folder (DATA, user, Help): $TPX_DATA_DIR, else share/tpx/data beside
// the installed program, else the source tree's data/ of this build.
fs::path shippedDataDir();

// Creates `home` when needed and copies every shipped file that it does not hold yet.
// Files already there are never overwritten, so the user's edits survive.
SysStatus seedHome(const fs::path& home, const fs::path& shipped);

// Resolves a relative name such as ".\\DATA\\cfgcomm.DAT" or "data/partial.dat" under
// `base`: separators may be "\\" or "/", "." elements are dropped, and each element is
// matched without regard to case when the exact spelling does not exist. Returns the
// existing file, or nullopt.
std::optional<fs::path> findFile(const fs::path& base, std::string_view relative);

// The path to create a file at: the existing file of any case (findFile), otherwise the
// name as spelled, under the folders that exist in any case.
fs::path pathForWrite(const fs::path& base, std::string_view relative);

// The whole file, or nullopt with `error` set.
std::optional<std::string> readFile(const fs::path& path, SysStatus* error = nullptr);

// Writes `data` to a temporary file beside `path`, flushes it and renames it over `path`,
// so readers see either the old file or the complete new one.
SysStatus writeFileAtomically(const fs::path& path, std::string_view data);

// A file written piece by piece that appears under its name only when complete: the bytes
// go to "<name>.part~" beside it, commit() renames that over the name, and abandon() (or
// destruction without commit) removes it. An existing file of that name stays untouched
// until the commit.
class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile() { abandon(); }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    SysStatus open(const fs::path& path);
    SysStatus write(ByteView bytes);
    // Flushes and closes the staging file; the name still shows the old file.
    SysStatus finish();
    // finish(), then replaces the named file.
    SysStatus commit();
    void abandon();
    bool isOpen() const { return file_ != nullptr || finished_; }
    const fs::path& path() const { return path_; }
    std::uint64_t written() const { return written_; }

private:
    fs::path path_;
    fs::path staging_;
    std::FILE* file_ = nullptr;
    bool finished_ = false;
    std::uint64_t written_ = 0;
};

// The folder the running program was started from (resolved /proc/self/exe).
fs::path programFolder();

}  // namespace tpx
