#include "tpxadmin/transfer/transfer.h"

#include <algorithm>
#include <cstdio>

#include "common/files.h"
#include "tpxadmin/session/models.h"

namespace tpx::admin {

namespace {

constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::size_t kIdentLength = 13;
constexpr std::uint8_t kMaxAttempts = 10;  // the tenth send is refused
constexpr std::size_t kPacketData = 100;
constexpr std::size_t kRunMax = 240;
constexpr std::uint8_t kKeyMon = 51;

std::string format(const char* fmt, int n) {
    char buf[128];
    std::snprintf(buf, sizeof buf, fmt, n);
    return buf;
}

}  // namespace

std::string uploadWarningText(int switchModel, std::string_view switchVersion, int fileModel,
                              std::string_view fileVersion, bool* mustAsk) {
    const bool unknown = switchModel == 2 && switchVersion == "4.0Aa";
    std::string text = "Warning: Current TPX is \"" + std::string(unknown ? "Unknown" : switchVersion) +
                       "\" and the version of file is \"" + std::string(fileVersion) + "\"\r\n";
    *mustAsk = true;
    if (!unknown) {
        if (compareVersions(switchVersion, fileVersion, 3) != 0 || switchModel != fileModel) {
            return text + "If major version does not match, TPX might suffer serious problem\r\n" +
                   "Are you sure to update?\r\n";
        }
        if (switchVersion == fileVersion) {
            *mustAsk = false;
            return text;
        }
    }
    return text + "Please check your TPX system and version\r\n" +
           "If major version(first 3 position) does not match,\r\n" + "there are big trouble in your system\r\n" +
           "If you don't know the version, please contact your dealer \r\n" +
           "On \"Unknown\" System, don't support Remote Update.\r\n" + "\r\n" + "Are you sure to update?\r\n";
}

TransferEngine::TransferEngine(EventLoop& loop, CCommLink& link, TransferHost& host, TransferSetup setup)
    : loop_(loop),
      link_(link),
      host_(host),
      setup_(std::move(setup)),
      kind_(checksumKindFor(setup_.sessionModel, setup_.sessionVersion)) {
    view_.fileName = setup_.userFile.string();
}

TransferEngine::~TransferEngine() {
    if (!closed_) loop_.killTimer(kTimer);
}

// --- common -------------------------------------------------------------------------------

void TransferEngine::arm(int ms) {
    loop_.setTimer(kTimer, ms, [this] { onTimer(); });
}

void TransferEngine::stopTimer() { loop_.killTimer(kTimer); }

void TransferEngine::show(const char* status) {
    if (status) view_.status = status;
    view_.attempts = attempts_;
    host_.transferViewChanged(view_);
}

bool TransferEngine::sendPacket(ByteView packet, bool upload) {
    if (++attempts_ >= kMaxAttempts) return false;
    stopTimer();
    // The TPX-RVII takes an upload at 9600 baud or more only byte by byte, with a pause
    // before every byte at an odd offset.
    if (upload && (headerModel_ & 0x0F) == 3 && setup_.baudRate >= 9600) {
        for (std::size_t i = 0; i < packet.size(); ++i) {
            if (i % 2 == 1) loop_.pause(1);
            link_.sendByte(packet[i]);
        }
    } else {
        link_.sendBlock(packet);
    }
    arm(kAnswerTimeoutMs);
    return true;
}

void TransferEngine::fail(const SysStatus& error) {
    host_.showFileError(error);
    cancelled_ = setup_.direction == Direction::Download;
    close(TransferOutcome::Failed);
}

void TransferEngine::close(TransferOutcome outcome) {
    if (closed_) return;
    closed_ = true;
    state_ = kFinished;
    stopTimer();
    if (outcome_ == TransferOutcome::Running) outcome_ = outcome;
    // A download that did not complete leaves nothing behind; a user file that was there
    // before stays as it was.
    if (setup_.direction == Direction::Download && outcome_ != TransferOutcome::Completed) {
        basicFile_.abandon();
        extFile_.abandon();
    }
    file_.clear();
    link_.sendByte(kKeyMon);
    host_.transferClosed();
}

void TransferEngine::closeFromFrame() {
    cancelled_ = setup_.direction == Direction::Download;
    close(TransferOutcome::Cancelled);
}

void TransferEngine::cancel() {
    if (closed_) return;
    stopTimer();
    cancelled_ = true;
    arm(1000);
}

// --- opening ------------------------------------------------------------------------------

void TransferEngine::open() {
    const bool ok = setup_.direction == Direction::Upload ? openUpload() : openDownload();
    if (!ok) return;
    show(nullptr);
    arm(kByteTimeoutMs);
    state_ = kIdentify;
    link_.sendByte(0xFD);
}

bool TransferEngine::openUpload() {
    SysStatus error;
    auto data = readFile(setup_.userFile, &error);
    if (!data) {
        fail(error);
        return false;
    }
    if (!hasMagic(asBytes(*data))) {
        if (!host_.askYesNo(std::string("Note : The data file is old format.\r\n") +
                            "       Conversion will overwrite the file.\r\n" +
                            "       It takes about 30 sec to convert.\r\n" +
                            "       Are you sure to convert and continue?")) {
            close(TransferOutcome::Declined);
            return false;
        }
        host_.setWaitCursor(true);
        ConversionResult r = convertOldFiles(setup_.userFile, setup_.nation);
        host_.setWaitCursor(false);
        if (!r.ok) {
            if (r.abnormal) host_.showText("Abnormal case to read");
            else host_.showFileError(r.error);
            close(TransferOutcome::Failed);
            return false;
        }
        data = readFile(setup_.userFile, &error);
        if (!data) {
            fail(error);
            return false;
        }
    }
    file_ = toBytes(*data);
    auto header = readHeader(file_, Phase::Basic);
    auto parsed = header ? parseBasicHeader(*header) : std::nullopt;
    if (!parsed) {
        host_.showText("The file " + setup_.userFile.string() + " is too short to be a user file.");
        close(TransferOutcome::Failed);
        return false;
    }
    headerModel_ = parsed->model;
    headerVersion_ = parsed->version;
    view_.version = parsed->version;
    if (!versionCheck(*parsed)) {
        close(TransferOutcome::Declined);
        return false;
    }
    view_.title = "Upload to TPX";
    return true;
}

bool TransferEngine::versionCheck(const BasicHeader& header) {
    bool ask = false;
    std::string text = uploadWarningText(setup_.sessionModel, setup_.sessionVersion, header.model,
                                         header.version, &ask);
    return !ask || host_.askYesNo(text);
}

bool TransferEngine::openDownload() {
    SysStatus st = basicFile_.open(setup_.userFile);
    if (!st) {
        host_.showFileError(st);
        close(TransferOutcome::Failed);
        return false;
    }
    view_.title = "DownLoad from TPX";
    return true;
}

// --- identification (state 5) -------------------------------------------------------------

void TransferEngine::identifyByte(std::uint8_t b) {
    arm(kByteTimeoutMs);
    ident_.push_back(b);
    if (ident_.size() < kIdentLength) return;
    extension_ = std::string(ident_.begin() + 7, ident_.begin() + 11) == "MEMU";
    startTransfer();
}

void TransferEngine::startTransfer() {
    const std::uint8_t start[2] = {0xF9, 0x0A};
    link_.sendBlock(start);
    phase_ = 0;
    if (setup_.direction == Direction::Download) downloadStart();
    else uploadStart();
}

// --- the timer ----------------------------------------------------------------------------

void TransferEngine::onTimer() {
    switch (state_) {
        case kIdentify:
            // A cancelled transfer does not start (it would write to the switch).
            if (cancelled_) return close(TransferOutcome::Cancelled);
            extension_ = false;
            startTransfer();
            return;
        case kUploadPending:
            if (cancelled_) return close(TransferOutcome::Cancelled);
            uploadProceed();
            return;
        case kUploadWait:
            if (cancelled_) return close(TransferOutcome::Cancelled);
            show("TR_NAK");
            ++retries_;
            if (!sendPacket(packet_, true)) {
                state_ = kFinished;
                host_.showText(format("UpLoad Fail Time-out!! (Retry:%d)", retries_));
                close(TransferOutcome::Failed);
            }
            return;
        case kLength:
        case kBody:
            if (cancelled_) return close(TransferOutcome::Cancelled);
            if (attempts_++ < 9) {
                frame_.clear();
                frameGot_ = 0;
                ++retries_;
                show("TS_NAK");
                link_.sendByte(kNak);
                arm(kByteTimeoutMs);
                state_ = kLength;
            } else {
                show("NS_NAK");
                host_.showMessage(27);
                cancelled_ = true;
                close(TransferOutcome::Failed);
            }
            return;
        default: {  // 0 (no header) and 255
            const bool byUser = cancelled_;
            host_.showMessage(27);
            if (setup_.direction == Direction::Download) cancelled_ = true;
            close(byUser ? TransferOutcome::Cancelled : TransferOutcome::Failed);
            return;
        }
    }
}

// --- receiving ----------------------------------------------------------------------------

void TransferEngine::receive(ByteView chunk) {
    // A paced send waits inside the handler, and the wait delivers link data: bytes that
    // arrive then queue behind the ones being handled, so the order is kept.
    pending_.insert(pending_.end(), chunk.begin(), chunk.end());
    if (inReceive_) return;
    inReceive_ = true;
    while (!pending_.empty() && !closed_) {
        Bytes bytes;
        bytes.swap(pending_);
        for (std::uint8_t b : bytes) {
            if (closed_ || cancelled_) break;
            switch (state_) {
                case kIdentify: identifyByte(b); break;
                case kHeader:
                case kLength:
                case kBody: downloadByte(b); break;
                case kUploadWait: uploadByte(b); break;
                default: break;  // 3 and 255 take nothing
            }
        }
        if (closed_ || cancelled_) pending_.clear();
    }
    inReceive_ = false;
}

// --- download -----------------------------------------------------------------------------

void TransferEngine::downloadStart() {
    Bytes request;
    if (phase_ == 1) {
        SysStatus st = extFile_.open(extensionPathFor(setup_.userFile));
        if (!st) return fail(st);
        request = {0xF8, 0x45};
    } else {
        request = {0xFB, 0x45};
    }
    attempts_ = 0;
    frame_.clear();
    frameGot_ = 0;
    state_ = kHeader;
    sendPacket(request, false);
}

void TransferEngine::downloadByte(std::uint8_t b) {
    stopTimer();
    if (state_ == kHeader) {
        frame_.push_back(b);
        arm(kByteTimeoutMs);
        if (frame_.size() == (phase_ == 0 ? kBasicHeaderSize : kExtHeaderSize)) headerComplete();
        return;
    }
    // Only what fits the packet buffer is kept; a longer frame is counted to its end and
    // then refused like a bad block, so the link stays in step and nothing overflows.
    if (frame_.size() < kPacketBuffer) frame_.push_back(b);
    ++frameGot_;
    if (state_ == kLength) {
        if (frameGot_ == 2) {
            frameLength_ = static_cast<std::size_t>((frame_[0] << 8) | frame_[1]) + 5;
            state_ = kBody;
        }
        arm(kByteTimeoutMs);
        return;
    }
    if (frameGot_ < frameLength_) {
        arm(kByteTimeoutMs);
        return;
    }
    frameComplete();
}

void TransferEngine::headerComplete() {
    Bytes header = frame_;
    frame_.clear();
    frameGot_ = 0;
    if (phase_ == 0) {
        view_.system = std::string(headerModelName(header[0]).value_or("UNKNOWN"));
        view_.version.assign(header.begin() + 1, header.begin() + 6);
        if (header[0] == 2 && compareVersions(view_.version, "4.0Di", 5) == 0) header[0] = 18;
        if (setup_.boardTable) *setup_.boardTable = boardTableFromHeader(header);
        total() = *readBe32(header, 6);
    } else {
        total() = *readBe32(header, 4);
    }
    done() = 0;
    Bytes start = makePrefix(setup_.nation);
    start.insert(start.end(), header.begin(), header.end());
    if (SysStatus st = currentFile().write(start); !st) return fail(st);
    state_ = kLength;
    show(nullptr);
    if (total() == 0) partDownloaded();  // nothing follows an empty part
}

void TransferEngine::frameComplete() {
    const bool fits = frameLength_ <= kPacketBuffer;
    bool intact = false;
    Bytes decoded;
    if (fits) {
        const std::size_t covered = frameLength_ - 3;
        intact = checksumIntact(ByteView(frame_).first(covered), frame_[covered], frame_[covered + 1], kind_);
        if (intact) decoded = decodeRunLength(ByteView(frame_).subspan(2, covered - 2));
    }
    frame_.clear();
    frameGot_ = 0;
    if (intact) {
        done() += static_cast<std::uint32_t>(decoded.size());
        attempts_ = 0;
        if (SysStatus st = currentFile().write(decoded); !st) return fail(st);
        show("S_ACK");
        link_.sendByte(kAck);
        if (done() >= total()) {
            done() = total();
            partDownloaded();
            if (closed_ || state_ == kHeader) return;
        }
    } else {
        if (attempts_++ >= 9) {
            state_ = kFinished;
            show("RS_NAK");
            host_.showText(format("DownLoad Fail!! (Retry:%d)", retries_));
            cancelled_ = true;
            close(TransferOutcome::Failed);
            return;
        }
        ++retries_;
        show("CS_NAK");
        link_.sendByte(kNak);
    }
    state_ = kLength;
    arm(kByteTimeoutMs);
}

void TransferEngine::partDownloaded() {
    if (phase_ == 0 && extension_) {
        if (SysStatus st = basicFile_.finish(); !st) return fail(st);
        phase_ = 1;
        downloadStart();
        return;
    }
    // Complete: both files take their names now.
    stopTimer();
    state_ = kFinished;
    if (SysStatus st = basicFile_.commit(); !st) return fail(st);
    if (extFile_.isOpen()) {
        if (SysStatus st = extFile_.commit(); !st) return fail(st);
    }
    outcome_ = TransferOutcome::Completed;
    show(nullptr);
    host_.showText(format("DownLoad Complete !!! (Retry:%d)", retries_));
    close(TransferOutcome::Completed);
}

// --- upload -------------------------------------------------------------------------------

void TransferEngine::uploadStart() {
    arm(1000);
    state_ = kUploadPending;
}

void TransferEngine::uploadProceed() {
    stopTimer();
    if (phase_ == 1) {
        auto data = readFile(extensionPathFor(setup_.userFile));
        auto header = data ? readHeader(asBytes(*data), Phase::Extension) : std::nullopt;
        if (!header) return uploadComplete();  // no extension file: the basic part was all
        file_ = toBytes(*data);
        address_ = *readBe32(*header, 0);
        pos_ = kExtDataOffset;
        total() = *readBe32(*header, 4);
    } else {
        auto header = *readHeader(file_, Phase::Basic);
        auto name = headerModelName(header[0]);
        view_.system = std::string(name.value_or("UNKNOWN"));
        auto base = name ? baseAddress(*name) : std::nullopt;
        if (!base) {
            // No base address: the data would land nowhere known. Refuse.
            host_.showText("The user file is for an unknown system (" + view_.system + "): nothing was uploaded.");
            close(TransferOutcome::Failed);
            return;
        }
        address_ = *base;
        if (setup_.boardTable) *setup_.boardTable = boardTableFromHeader(header);
        pos_ = kBasicDataOffset;
        total() = *readBe32(header, 6);
        protected_.emplace(headerModel_, headerVersion_);
    }
    done() = 0;
    end_ = file_.size();
    if (setup_.partial) {
        const PartialEntry* entry = setup_.partial->entryFor(view_.system);
        std::optional<UploadRange> r;
        if (entry) {
            r = phase_ == 0 ? partialRange(address_, entry->basicStart, entry->basicLength)
                            : partialRange(address_, entry->extStart, entry->extLength);
        }
        const std::uint64_t base = pos_;
        if (r) {
            address_ = r->address;
            pos_ = std::min<std::uint64_t>(base + r->skip, file_.size());
            end_ = std::min<std::uint64_t>(base + r->end, file_.size());
        } else {
            end_ = pos_;  // no entry for this system: this part sends nothing
        }
    }
    show(nullptr);
    sendNextPacket();
}

void TransferEngine::sendNextPacket() {
    auto packet = buildPacket();
    if (!packet) {
        if (phase_ == 0 && extension_) {
            view_.basicDone = view_.basicTotal;
            phase_ = 1;
            uploadStart();
            return;
        }
        uploadComplete();
        return;
    }
    packet_ = std::move(*packet);
    state_ = kUploadWait;
    sendPacket(packet_, true);
}

std::optional<Bytes> TransferEngine::buildPacket() {
    if (pos_ >= end_) return std::nullopt;
    attempts_ = 0;
    Bytes p = {0xFC, 0, 0, 0, 0, 0, 0};
    writeBe32(p, 1, address_);
    const std::uint64_t limit = std::min<std::uint64_t>(kPacketData, end_ - pos_);
    std::size_t coded = 0;
    auto advance = [&](std::uint64_t n) {
        n = std::min(n, end_ - pos_);
        address_ += static_cast<std::uint32_t>(n);
        pos_ += n;
        done() += static_cast<std::uint32_t>(n);
    };
    auto fieldAt = [&]() -> std::optional<std::uint32_t> {
        return protected_ && phase_ == 0 ? protected_->fieldEnd(address_) : std::nullopt;
    };
    while (coded < limit && pos_ < end_) {
        if (auto fieldEnd = fieldAt()) {
            advance(*fieldEnd - address_);  // never written: skipped to the field's end
            if (coded > 0) break;
            writeBe32(p, 1, address_);
            continue;
        }
        const std::uint8_t b = file_[pos_];
        p.push_back(b);
        ++coded;
        advance(1);
        if (b != 0x00 && b != 0xFF) continue;
        std::size_t run = 1;
        while (run < kRunMax && pos_ < end_ && file_[pos_] == b && !fieldAt()) {
            advance(1);
            ++run;
        }
        // The count covers every byte of the run, also when a protected field cut it short.
        p.push_back(static_cast<std::uint8_t>(run));
        ++coded;
        if (pos_ < end_ && fieldAt()) {
            advance(*fieldAt() - address_);
            break;
        }
    }
    writeBe16(p, 5, static_cast<std::uint16_t>(coded));
    appendChecksum(p, p, kind_);
    p.push_back(0x45);
    return p;
}

void TransferEngine::uploadByte(std::uint8_t b) {
    if (b != kAck && b != kNak) return;
    stopTimer();
    if (b == kAck) {
        show("R_ACK");
        sendNextPacket();
        return;
    }
    show("R_NAK");
    ++retries_;
    if (!sendPacket(packet_, true)) {
        state_ = kFinished;
        host_.showText(format("UpLoad Fail R_NAK!! (Retry:%d)", retries_));
        close(TransferOutcome::Failed);
    }
}

void TransferEngine::uploadComplete() {
    state_ = kFinished;
    stopTimer();
    done() = total();
    show("R_ACK");
    outcome_ = TransferOutcome::Completed;
    if (host_.askYesNo(format("UpLoad Complete!! (Retry:%d)\r\n", retries_) +
                       "TPX should to be restarted for proper operation")) {
        link_.sendByte(kKeyMon);
        link_.sendBlock(asBytes("\rwumbat\rr tpx\r"));
    }
    close(TransferOutcome::Completed);
}

}  // namespace tpx::admin
