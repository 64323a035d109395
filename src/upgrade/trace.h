// What an upgrade session reports: the monitor lines and status words (to the program's
// window or terminal, through UpgradeHost), and the three trace files of a session — the
// protocol file and one frame file per image file.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/clock.h"

namespace tpx::upgrade {

// The window side of a session.
class UpgradeHost {
public:
    virtual ~UpgradeHost() = default;
    virtual void monitorLine(const std::string& line) = 0;
    virtual void setStatus(std::string_view word) = 0;
    virtual void setVersion(const std::string& version) = 0;
    // Bytes of the current file sent so far, which file (0, 1), the error counter.
    virtual void setProgress(int fileIndex, std::size_t bytesSent, int errors) = 0;
};

// One trace file, written byte for byte or in text mode (LF as CR LF); every write is
// flushed. Writes to a closed file go nowhere.
class TraceFile {
public:
    TraceFile() = default;
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;
    ~TraceFile() { close(); }
    bool open(const std::filesystem::path& path, bool textMode);
    void close();
    bool isOpen() const { return file_ != nullptr; }
    void write(std::string_view text);
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void vprintf(const char* format, va_list args);

private:
    std::FILE* file_ = nullptr;
    bool text_ = false;
};

// The three files of a session: "<folder>/Trace/<Prefix>HHMMSS" + ".prt", ".001", ".002".
class SessionTrace {
public:
    enum class OpenResult { Ok, ProtocolFailed, FirstFrameFailed, SecondFrameFailed };
    // Trace level 0 (all details), 1 (short form), 2 (minimum).
    void setLevel(int level);
    bool detail() const { return detail_; }
    bool verbose() const { return verbose_; }

    // Creates the Trace folder under `folder` when missing and the three files anew.
    OpenResult open(const std::filesystem::path& folder, std::string_view prefix, LocalTime start, bool textMode);
    void close();
    const std::filesystem::path& basePath() const { return base_; }

    TraceFile& protocol() { return protocol_; }
    TraceFile& frame(int i) { return i == 0 ? first_ : second_; }
    // The frame file of the current image file.
    TraceFile& currentFrame() { return frame(current_); }
    void setCurrentFrame(int i) { current_ = i; }

private:
    TraceFile protocol_, first_, second_;
    int current_ = 0;
    bool detail_ = false;
    bool verbose_ = false;
    std::filesystem::path base_;
};

// "<folder>/Trace/LocalHHMMSS" for prefix "Local".
std::filesystem::path traceBasePath(const std::filesystem::path& folder, std::string_view prefix, LocalTime t);

// The monitor window: a ring of the last 20 lines (255 characters each) and the text shown.
class MonitorRing {
public:
    static constexpr int kLines = 20;
    static constexpr std::size_t kLineMax = 255;
    // Stores the line in the next position and returns that position.
    int add(std::string_view line);
    const std::string& at(int position) const { return lines_[static_cast<std::size_t>(position % kLines)]; }

private:
    std::string lines_[kLines];
    int last_ = kLines - 1;
};
// How the window appends a line to its text: "%s\r\n", or "%s" for a line starting with "."
// (the progress dots).
void appendMonitorLine(std::string& text, std::string_view line);
// The text of a monitor window opened while no session runs.
std::string monitorBanner(bool remote);

// The progress dots after each block: "........" after the 7th, 15th, ... block of a file,
// a line break after the 63rd, 127th, ...
class ProgressDots {
public:
    void reset() { count_ = 0; }
    template <typename Monitor>
    void afterBlock(Monitor&& monitor) {
        if ((count_ & 7) == 6) monitor(std::string("........"));
        ++count_;
        if ((count_ & 0x3F) == 0x3F) monitor(std::string());
    }

private:
    int count_ = 0;
};

}  // namespace tpx::upgrade
