#include "common/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace tpx {

namespace {

std::string getenvOr(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::vector<std::string> splitRelative(std::string_view relative) {
    std::vector<std::string> parts;
    std::string cur;
    auto flush = [&] {
        if (!cur.empty() && cur != ".") parts.push_back(cur);
        cur.clear();
    };
    for (char c : relative) {
        if (c == '\\' || c == '/') flush();
        else cur.push_back(c);
    }
    flush();
    return parts;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The entry of `dir` named `name` in any case; the exact spelling wins.
std::optional<fs::path> findEntry(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (name == "..") return dir / name;
    if (fs::exists(dir / name, ec)) return dir / name;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (equalNoCase(it->path().filename().string(), name)) return it->path();
    }
    return std::nullopt;
}

}  // namespace

fs::path tpxHome() {
    std::string home = getenvOr("TPX_HOME");
    if (!home.empty()) return fs::path(home);
    std::string xdg = getenvOr("XDG_DATA_HOME");
    if (!xdg.empty()) return fs::path(xdg) / "tpx";
    std::string user = getenvOr("HOME");
    if (user.empty()) user = "/tmp";
    return fs::path(user) / ".local" / "share" / "tpx";
}

fs::path programFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path(ec) : exe.parent_path();
}

fs::path shippedDataDir() {
    std::string env = getenvOr("TPX_DATA_DIR");
    if (!env.empty()) return fs::path(env);
    std::error_code ec;
    fs::path installed = programFolder() / ".." / "share" / "tpx" / "data";
    if (fs::is_directory(installed, ec)) return installed.lexically_normal();
#ifdef TPX_SOURCE_DATA_DIR
    return fs::path(TPX_SOURCE_DATA_DIR);
#else
    return installed;
#endif
}

SysStatus seedHome(const fs::path& home, const fs::path& shipped) {
    std::error_code ec;
    fs::create_directories(home, ec);
    if (ec) return SysStatus(ec.value(), "create " + home.string());
    if (!fs::is_directory(shipped, ec)) return {};
    for (fs::recursive_directory_iterator it(shipped, ec), end; !ec && it != end; it.increment(ec)) {
        fs::path rel = fs::relative(it->path(), shipped, ec);
        if (ec) break;
        fs::path target = home / rel;
        if (it->is_directory()) {
            // An existing folder of another case counts ("Data" for "DATA").
            if (!findFile(home, rel.string())) fs::create_directories(target, ec);
        } else if (!findFile(home, rel.string())) {
            fs::copy_file(it->path(), pathForWrite(home, rel.string()), ec);
        }
        if (ec) return SysStatus(ec.value(), "seed " + target.string());
    }
    return {};
}

std::optional<fs::path> findFile(const fs::path& base, std::string_view relative) {
    fs::path cur = base;
    for (const std::string& part : splitRelative(relative)) {
        auto next = findEntry(cur, part);
        if (!next) return std::nullopt;
        cur = *next;
    }
    return cur;
}

fs::path pathForWrite(const fs::path& base, std::string_view relative) {
    fs::path cur = base;
    for (const std::string& part : splitRelative(relative)) {
        auto next = findEntry(cur, part);
        cur = next ? *next : cur / part;
    }
    return cur;
}

std::optional<std::string> readFile(const fs::path& path, SysStatus* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = SysStatus::fromErrno("open " + path.string());
        return std::nullopt;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        if (error) *error = SysStatus::fromErrno("read " + path.string());
        return std::nullopt;
    }
    return ss.str();
}

SysStatus writeFileAtomically(const fs::path& path, std::string_view data) {
    fs::path tmp = path;
    tmp += ".tmp~";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return SysStatus::fromErrno("create " + path.string());
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            SysStatus st = SysStatus::fromErrno("write " + path.string());
            ::close(fd);
            ::unlink(tmp.c_str());
            return st;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    SysStatus st;
    if (::fsync(fd) != 0) st = SysStatus::fromErrno("write " + path.string());
    if (::close(fd) != 0 && st.ok()) st = SysStatus::fromErrno("write " + path.string());
    if (!st.ok()) {
        ::unlink(tmp.c_str());
        return st;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        st = SysStatus::fromErrno("replace " + path.string());
        ::unlink(tmp.c_str());
        return st;
    }
    return {};
}

SysStatus StagedFile::open(const fs::path& path) {
    abandon();
    path_ = path;
    staging_ = path;
    staging_ += ".part~";
    file_ = std::fopen(staging_.c_str(), "wb");
    if (!file_) return SysStatus::fromErrno("create " + path.string());
    written_ = 0;
    return {};
}

SysStatus StagedFile::write(ByteView bytes) {
    if (!file_) return SysStatus(EBADF, "write " + path_.string());
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        return SysStatus::fromErrno("write " + path_.string());
    written_ += bytes.size();
    return {};
}

SysStatus StagedFile::finish() {
    if (finished_) return {};
    if (!file_) return SysStatus(EBADF, "write " + path_.string());
    SysStatus st;
    if (std::fflush(file_) != 0 || ::fsync(::fileno(file_)) != 0) st = SysStatus::fromErrno("write " + path_.string());
    if (std::fclose(file_) != 0 && st.ok()) st = SysStatus::fromErrno("write " + path_.string());
    file_ = nullptr;
    finished_ = st.ok();
    return st;
}

SysStatus StagedFile::commit() {
    SysStatus st = finish();
    if (st.ok() && ::rename(staging_.c_str(), path_.c_str()) != 0) st = SysStatus::fromErrno("replace " + path_.string());
    if (!st.ok()) {
        abandon();
        return st;
    }
    finished_ = false;
    staging_.clear();
    return {};
}

void StagedFile::abandon() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    finished_ = false;
    if (!staging_.empty()) ::unlink(staging_.c_str());
    staging_.clear();
}

}  // namespace tpx
