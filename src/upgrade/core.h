// What the local and the remote upgrade sessions do alike: the Beginning step's images,
// trace files, size check and checksums; the test method; sending a file block by block with
// its banners, progress and dots; the outcome of a file's total checksum; the closing lines.
// Each session adds its transport and its own result codes.
#pragma once

#include <cstdarg>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/clock.h"
#include "upgrade/images.h"
#include "upgrade/trace.h"

namespace tpx::upgrade {

enum TestMethod { kTestNone = 0, kTestRestartFirst = 1, kTestRestartSecond = 2 };

// The sessions' differences in their texts and blocks.
struct Style {
    std::string_view name;          // "Local" or "Remote": trace file names and banners
    int blockSize;                  // 256 or 1024
    bool textMode;                  // the protocol file writes LF as CR LF
    std::string_view rule;          // the banners' dash line
    std::string_view summaryRule1;  // the time summary's dash lines
    std::string_view summaryRule2;
    bool terminatedLine;            // " Program terminated ..." after an output file error too
};

struct CoreInputs {
    int system = 0;  // 0 TPX-12, 1 TPX-24W
    std::filesystem::path first, second;
    int testMethod = kTestNone;
    int traceLevel = 2;
    std::filesystem::path traceFolder;  // where "Trace" goes; empty: the current folder
};

class SessionCore {
public:
    virtual ~SessionCore() = default;
    int errors() const { return errors_; }
    int restarts() const { return restarts_; }
    const std::string& version() const { return version_; }

protected:
    SessionCore(const Clock& clock, UpgradeHost& host, SessionTrace& trace, Style style, CoreInputs inputs);

    // The Beginning step up to the checksums (the monitor lines included); on failure its
    // trace lines are written.
    enum class Prepared { Ok, ImageFailed, ProtocolFailed, FrameFailed, SizeWrong };
    Prepared prepare();
    void finishPreparing() { monitor("   -- Initialization completed .. "); }
    // Called once the protocol file is open (the remote session installs its CAPI trace).
    virtual void protocolOpened() {}

    // The checksum sent for index k: the test method sends zero once for its file's total.
    std::uint16_t checksumFor(int k);
    // Sends the current file; 0, or the first failing block's result.
    int sendFile();
    virtual int sendBlock(std::uint32_t block, ByteView data, const std::string& fileName) = 0;
    // A block's packet banner and status; the lines and status of a block that failed for good.
    void beginBlock(std::uint32_t block);
    void blockFailed(const std::string& fileName);

    // The TotalChecksum step: the checksum exchange of the current file's total (its result
    // in `result`) and what follows from it. A refusal is the exchange's `refusedCode`.
    virtual int checksumExchange(int k) = 0;
    enum class AfterTotal { Restart, SecondFile, Terminate, Failed };
    AfterTotal totalChecksum(int refusedCode, int& result);
    // A restart done; true when it was the sixth.
    bool restarted() { return ++restarts_ >= kRestartLimit; }
    static constexpr int kRestartLimit = 6;
    // Terminate: the success banner (unless `pendingResult_` says otherwise) and, when the
    // transfer started, the time summary.
    void writeClosingLines();

    void text(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void monitor(const std::string& line) { host_.monitorLine(line); }
    void status(std::string_view word) { host_.setStatus(word); }
    void progress() { host_.setProgress(fileIndex_, sentInFile_, errors_); }
    std::string systemName() const { return std::string(systemInfo(core_.system)->name); }
    const std::string& fileName(int f) const;

    const Clock& clock_;
    UpgradeHost& host_;
    SessionTrace& trace_;
    Style style_;
    CoreInputs core_;

    Bytes images_[2];
    std::string names_[2];
    Checksums checksums_;
    int blocks_[2] = {0, 0};
    int fileIndex_ = 0;
    std::size_t sentInFile_ = 0;
    int errors_ = 0;
    int restarts_ = 0;
    int pendingResult_ = 0;
    bool testApplied_ = false;
    bool transferStarted_ = false;
    std::int64_t startSeconds_ = 0;
    ProgressDots dots_;
    std::string version_;
};

}  // namespace tpx::upgrade
