// The small error value an OS failure becomes: errno's number and text, captured where
// the call failed, plus what was being done. No exception crosses a module boundary.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace tpx {

class SysStatus {
public:
    SysStatus() = default;
    SysStatus(int code, std::string what) : code_(code), what_(std::move(what)) {}
    // Captures errno as it is now.
    static SysStatus fromErrno(std::string what) { return SysStatus(errno, std::move(what)); }

    bool ok() const { return code_ == 0; }
    explicit operator bool() const { return ok(); }
    int code() const { return code_; }
    const std::string& what() const { return what_; }
    // "open /dev/ttyS0: No such file or directory"
    std::string message() const {
        if (ok()) return {};
        return what_.empty() ? std::strerror(code_) : what_ + ": " + std::strerror(code_);
    }

private:
    int code_ = 0;
    std::string what_;
};

}  // namespace tpx
