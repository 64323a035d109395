#include "upgrade/trace.h"

#include <cstdarg>

namespace tpx::upgrade {

bool TraceFile::open(const std::filesystem::path& path, bool textMode) {
    close();
    file_ = std::fopen(path.c_str(), "wb");
    text_ = textMode;
    return file_ != nullptr;
}

void TraceFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

void TraceFile::write(std::string_view text) {
    if (!file_) return;
    if (!text_) {
        std::fwrite(text.data(), 1, text.size(), file_);
    } else {
        for (char c : text) {
            if (c == '\n') std::fputc('\r', file_);
            std::fputc(c, file_);
        }
    }
    std::fflush(file_);
}

void TraceFile::vprintf(const char* format, va_list args) {
    if (!file_) return;
    char small[512];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return;
    if (static_cast<std::size_t>(n) < sizeof small) {
        write(std::string_view(small, static_cast<std::size_t>(n)));
        return;
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, args);
    big.pop_back();
    write(big);
}

void TraceFile::printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
}

void SessionTrace::setLevel(int level) {
    detail_ = level == 0;
    verbose_ = level == 0 || level == 1;
}

std::filesystem::path traceBasePath(const std::filesystem::path& folder, std::string_view prefix, LocalTime t) {
    char name[32];
    std::snprintf(name, sizeof name, "%.*s%02d%02d%02d", static_cast<int>(prefix.size()), prefix.data(), t.hour,
                  t.minute, t.second);
    return folder / "Trace" / name;
}

SessionTrace::OpenResult SessionTrace::open(const std::filesystem::path& folder, std::string_view prefix,
                                            LocalTime start, bool textMode) {
    close();
    current_ = 0;
    std::error_code ec;
    std::filesystem::create_directories(folder / "Trace", ec);
    base_ = traceBasePath(folder, prefix, start);
    auto with = [&](const char* ext) {
        std::filesystem::path p = base_;
        p += ext;
        return p;
    };
    if (!protocol_.open(with(".prt"), textMode)) return OpenResult::ProtocolFailed;
    if (!first_.open(with(".001"), false)) return OpenResult::FirstFrameFailed;
    if (!second_.open(with(".002"), false)) return OpenResult::SecondFrameFailed;
    return OpenResult::Ok;
}

void SessionTrace::close() {
    protocol_.close();
    first_.close();
    second_.close();
}

int MonitorRing::add(std::string_view line) {
    last_ = (last_ + 1) % kLines;
    lines_[last_] = std::string(line.substr(0, kLineMax));
    return last_;
}

void appendMonitorLine(std::string& text, std::string_view line) {
    text += line;
    if (line.empty() || line.front() != '.') text += "\r\n";
}

std::string monitorBanner(bool remote) {
    const std::string rule = remote ? "               ===============================\r\n"
                                    : "               ==============================\r\n";
    const std::string title = remote ? "                 Remote SW Upgrade monitor ver 1.0\r\n"
                                     : "                 Local SW Upgrade monitor ver 1.0\r\n";
    return " \r\n" + rule + title + rule;
}

}  // namespace tpx::upgrade
