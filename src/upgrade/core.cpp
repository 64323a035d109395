#include "upgrade/core.h"

#include "common/files.h"

namespace tpx::upgrade {

SessionCore::SessionCore(const Clock& clock, UpgradeHost& host, SessionTrace& trace, Style style, CoreInputs inputs)
    : clock_(clock), host_(host), trace_(trace), style_(style), core_(std::move(inputs)) {
    names_[0] = core_.first.string();
    names_[1] = core_.second.string();
}

void SessionCore::text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    trace_.protocol().vprintf(format, args);
    va_end(args);
}

const std::string& SessionCore::fileName(int f) const { return names_[f == 0 ? 0 : 1]; }

SessionCore::Prepared SessionCore::prepare() {
    monitor("\r\n  Now, beginning .. ");
    fileIndex_ = 0;
    errors_ = restarts_ = 0;
    pendingResult_ = 0;
    testApplied_ = transferStarted_ = false;
    trace_.setLevel(core_.traceLevel);
    blocks_[0] = blockCount(core_.system, 0, style_.blockSize);
    blocks_[1] = blockCount(core_.system, 1, style_.blockSize);
    monitor("   -- Initialization start .. ");

    // The images are read whole: what is sent is what the checksums were computed over.
    for (int f = 0; f < 2; ++f) {
        auto data = readFile(f == 0 ? core_.first : core_.second);
        if (!data) {
            text(f == 0 ? "\n First BIN file open error : %s\n" : "\n Second BIN file open error : %s\n",
                 fileName(f).c_str());
            text(" Program terminated by file open error !!\n");
            return Prepared::ImageFailed;
        }
        images_[f] = toBytes(*data);
    }

    std::error_code ec;
    std::filesystem::path folder = core_.traceFolder.empty() ? std::filesystem::current_path(ec) : core_.traceFolder;
    if (folder.empty()) folder = tpxHome();
    const SessionTrace::OpenResult opened = trace_.open(folder, style_.name, clock_.localTime(), style_.textMode);
    if (opened == SessionTrace::OpenResult::ProtocolFailed) return Prepared::ProtocolFailed;
    protocolOpened();
    if (opened != SessionTrace::OpenResult::Ok) {
        text(opened == SessionTrace::OpenResult::FirstFrameFailed ? "\n Output file open error : a \n"
                                                                    : "\n Output file open error : b \n");
        if (style_.terminatedLine) text(" Program terminated by file open error !!\n");
        return Prepared::FrameFailed;
    }

    switch (checkSizes(core_.system, images_[0].size(), images_[1].size())) {
        case SizeCheck::Ok: break;
        case SizeCheck::FirstWrong: text("First BIN file size does not match\n"); return Prepared::SizeWrong;
        case SizeCheck::SecondWrong: text("Second BIN file size does not match\n"); return Prepared::SizeWrong;
    }
    checksums_ = computeChecksums(core_.system, images_[0], images_[1]);
    for (int id = 0x10; id <= 0x13; ++id) {
        const std::uint16_t c = checksums_.byId(id);
        text("\nChecksum ID: %02X  Checksum : %02X%02X", id, c >> 8, c & 0xFF);
    }
    text("\n");
    return Prepared::Ok;
}

std::uint16_t SessionCore::checksumFor(int k) {
    const int m = core_.testMethod;
    if ((k == 2 || k == 3) && m != kTestNone && !testApplied_ &&
        ((k == 2 && m == kTestRestartFirst) || (k == 3 && m == kTestRestartSecond))) {
        testApplied_ = true;
        return 0;
    }
    return checksums_.byId(kFirstChecksumId + k);
}

int SessionCore::sendFile() {
    const int f = fileIndex_;
    const std::string rule = "\n" + std::string(style_.rule) + "\n";
    if (f == 1) {
        monitor("\r\n  Now, transmitting second ROM file .. ");
    } else {
        text("%s", rule.c_str());
        text("\n %.*s S/W Upgrade initiated \n", static_cast<int>(style_.name.size()), style_.name.data());
        text("%s\n", rule.c_str());
        monitor("\r\n  Now, transmitting first ROM file .. ");
        transferStarted_ = true;
    }
    if (trace_.verbose()) {
        text("\nFile opened : %s\n", fileName(f).c_str());
        text("Transferring File : %s\n\n", fileName(f).c_str());
    }
    dots_.reset();
    const std::uint32_t first = f == 0 ? 0 : static_cast<std::uint32_t>(blocks_[0]);
    if (f == 0) {
        startSeconds_ = clock_.calendarSeconds();
        text("\n------------------------------------------------\n");
        text("\n Upgrade Start time is %s", dateText(clock_).c_str());
        text("\n------------------------------------------------\n");
    }
    const ByteView image = images_[f];
    const std::size_t size = static_cast<std::size_t>(style_.blockSize);
    std::size_t at = transferOffset(core_.system, f);
    sentInFile_ = 0;
    progress();
    for (int i = 0; i < blocks_[f]; ++i) {
        const std::size_t n = at < image.size() ? std::min(size, image.size() - at) : 0;
        if (n < size) {
            text("-----------------------------\n");
            text(" Block length does not match\n");
            text(" Only %u bytes are read\n", static_cast<unsigned>(n));
            text("-----------------------------\n");
        }
        if (int r = sendBlock(first + static_cast<std::uint32_t>(i), image.subspan(std::min(at, image.size()), n), fileName(f)))
            return r;
        at += size;
        sentInFile_ = static_cast<std::size_t>(i + 1) * size;
        progress();
        dots_.afterBlock([this](const std::string& line) { monitor(line); });
    }
    monitor("\r\n   -- Transmission is completed ..");
    if (trace_.verbose()) text("\n\nFile Upgrade completed : %s\n\n", fileName(f).c_str());
    return 0;
}

void SessionCore::beginBlock(std::uint32_t block) {
    if (trace_.verbose()) {
        text("\n -------------------");
        text("\n --- Packet %04u ---", block);
        text("\n -------------------\n\n");
    }
    status("TRANSMITTING");
}

void SessionCore::blockFailed(const std::string& fileName) {
    if (trace_.verbose()) {
        text("\n");
        text(" Retransmission failed by waiting time expiring!\n");
        text(" File transfer terminated : %s\n\n", fileName.c_str());
    }
    status("RETRY_FAILED");
}

SessionCore::AfterTotal SessionCore::totalChecksum(int refusedCode, int& result) {
    monitor("\r\n  Now, checking out ROM checksum .. ");
    result = checksumExchange(fileIndex_ + 2);
    if (result == refusedCode) {
        monitor("   -- Checksum is not Okay .. ");
        monitor("   -- Restart transmission .. ");
        return AfterTotal::Restart;
    }
    if (result != 0) return AfterTotal::Failed;
    monitor("   -- Checksum Okay .. ");
    if (fileIndex_ == 1) return AfterTotal::Terminate;
    fileIndex_ = 1;
    trace_.setCurrentFrame(1);
    return AfterTotal::SecondFile;
}

void SessionCore::writeClosingLines() {
    const std::string rule = "\n" + std::string(style_.rule) + "\n";
    if (pendingResult_ == 0) {
        text("%s", rule.c_str());
        text("\n %.*s S/W Upgrade succeeded \n", static_cast<int>(style_.name.size()), style_.name.data());
        text("%s", rule.c_str());
    }
    if (!transferStarted_) return;
    const std::string rule1 = "\n" + std::string(style_.summaryRule1) + "\n";
    const std::string rule2 = "\n" + std::string(style_.summaryRule2) + "\n";
    text("%s", rule1.c_str());
    text("\n Current time is %s", dateText(clock_).c_str());
    text("%s", rule1.c_str());
    text("%s", rule2.c_str());
    text("\n Total upgrade time is ");
    text("%s", durationText(clock_.calendarSeconds() - startSeconds_).c_str());
    text("%s\n", rule2.c_str());
}

}  // namespace tpx::upgrade
