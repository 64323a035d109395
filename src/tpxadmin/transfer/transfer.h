// One database transfer between the switch and a user file (the work of dialog 143).
//
//   state 5  identification: 0xFD, 13 bytes (or 4 s of silence), then 0xF9 0x0A
//   download 0 header (78 / 8 bytes) -> 1 block length (2) -> 2 block body, checksum, end
//            byte -> ACK 0x06 or NAK 0x15 -> 1 ... ; basic part (0xFB 0x45) then, with
//            extension memory, the extension part (0xF8 0x45)
//   upload   3 start after 1 s -> 4 packet 0xFC addr(4) n(2) data(n) checksum(2) 0x45,
//            waiting for ACK/NAK -> 4 ... ; basic part then extension part
//   255      finished
//
// Timer 5121 guards every state (4 s between download bytes, 10 s for an answer to a
// packet). A packet is sent at most 9 times; 9 bad download blocks in a row end the
// download. Run-length coding: 0x00 and 0xFF are followed by a count (runs of 1..240).
//
// The engine runs on the protocol thread: received chunks, the timer and Cancel all arrive
// there, so the state needs no lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/bytes.h"
#include "common/clock.h"
#include "common/files.h"
#include "tpxadmin/link/commlink.h"
#include "tpxadmin/transfer/codec.h"
#include "tpxadmin/transfer/userfile.h"

namespace tpx::admin {

enum class Direction { Upload = 0, Download = 1 };

// What dialog 143 shows.
struct TransferView {
    std::string title;
    std::string fileName;
    std::string system;
    std::string version;
    std::string status;
    int attempts = 0;
    std::uint32_t basicTotal = 0, basicDone = 0, extTotal = 0, extDone = 0;
    static int percent(std::uint32_t done, std::uint32_t total) {
        return total == 0 ? 0 : static_cast<int>(std::uint64_t{done} * 100 / total);
    }
};

enum class TransferOutcome { Running, Completed, Failed, Cancelled, Declined };

class TransferHost {
public:
    virtual ~TransferHost() = default;
    virtual void showText(const std::string& text) = 0;
    virtual void showMessage(int n) = 0;
    virtual bool askYesNo(const std::string& text) = 0;
    virtual void showFileError(const SysStatus& error) = 0;
    virtual void setWaitCursor(bool on) = 0;
    virtual void transferViewChanged(const TransferView& view) = 0;
    // The transfer has ended and cleaned up; the dialog closes.
    virtual void transferClosed() = 0;
};

struct TransferSetup {
    Direction direction = Direction::Download;
    std::filesystem::path userFile;
    // The switch as the admin session identified it: the checksum kind and the upload's
    // version check follow these, never the file.
    int sessionModel = 2;
    std::string sessionVersion;
    std::uint16_t nation = 0xFFFF;
    int baudRate = 9600;
    // An LCR upload: the partial upload table to take the ranges from.
    std::optional<PartialTable> partial;
    // The main frame's board configuration table, rebuilt from each basic header.
    BoardTable* boardTable = nullptr;
};

class TransferEngine {
public:
    TransferEngine(EventLoop& loop, CCommLink& link, TransferHost& host, TransferSetup setup);
    ~TransferEngine();

    // Dialog initialisation: opens the file, checks it, asks, starts. May end at once.
    void open();
    // Receive mode 3: the bytes from the switch.
    void receive(ByteView chunk);
    // The "Cancel" button.
    void cancel();
    // The main frame closes while the transfer runs: a download is abandoned (its files
    // deleted), an upload just stops.
    void closeFromFrame();

    const TransferView& view() const { return view_; }
    TransferOutcome outcome() const { return outcome_; }
    bool closed() const { return closed_; }
    int retries() const { return retries_; }
    int state() const { return state_; }

    static constexpr int kTimer = kTimerTransfer;
    static constexpr std::size_t kPacketBuffer = 514;
    static constexpr int kByteTimeoutMs = 4000;
    static constexpr int kAnswerTimeoutMs = 10000;

private:
    enum State : int {
        kHeader = 0, kLength = 1, kBody = 2, kUploadPending = 3, kUploadWait = 4, kIdentify = 5,
        kFinished = 255
    };

    bool openUpload();
    bool openDownload();
    bool versionCheck(const BasicHeader& header);
    void startTransfer();
    void onTimer();
    void arm(int ms);
    void stopTimer();
    bool sendPacket(ByteView packet, bool upload);
    void show(const char* status);
    void close(TransferOutcome outcome);
    void fail(const SysStatus& error);

    void identifyByte(std::uint8_t b);
    void downloadStart();
    void downloadByte(std::uint8_t b);
    void headerComplete();
    void frameComplete();
    void partDownloaded();
    StagedFile& currentFile() { return phase_ == 0 ? basicFile_ : extFile_; }

    void uploadStart();
    void uploadProceed();
    void uploadByte(std::uint8_t b);
    void sendNextPacket();
    void uploadComplete();
    std::optional<Bytes> buildPacket();
    std::uint32_t& done() { return phase_ == 0 ? view_.basicDone : view_.extDone; }
    std::uint32_t& total() { return phase_ == 0 ? view_.basicTotal : view_.extTotal; }

    EventLoop& loop_;
    CCommLink& link_;
    TransferHost& host_;
    TransferSetup setup_;
    TransferView view_;
    TransferOutcome outcome_ = TransferOutcome::Running;
    ChecksumKind kind_;

    int state_ = kIdentify;
    int phase_ = 0;
    bool extension_ = false;
    bool cancelled_ = false;
    bool closed_ = false;
    std::uint8_t attempts_ = 0;
    std::uint16_t retries_ = 0;

    Bytes ident_;
    Bytes pending_;
    bool inReceive_ = false;
    // Download.
    StagedFile basicFile_;
    StagedFile extFile_;
    Bytes frame_;              // header or frame being received (at most kPacketBuffer kept)
    std::size_t frameLength_ = 0;
    std::size_t frameGot_ = 0;
    // Upload.
    Bytes file_;               // the open file, whole
    std::uint8_t headerModel_ = 0;
    std::string headerVersion_;
    std::optional<ProtectedFields> protected_;
    std::uint32_t address_ = 0;
    std::uint64_t pos_ = 0;
    std::uint64_t end_ = 0;
    Bytes packet_;
};

// The texts of the upload's version warning, exactly as the dialog asks them.
std::string uploadWarningText(int switchModel, std::string_view switchVersion, int fileModel,
                              std::string_view fileVersion, bool* mustAsk);

}  // namespace tpx::admin
