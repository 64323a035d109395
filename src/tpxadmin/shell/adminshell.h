// What TpxAdmin's main frame does, without its window: start-up and leaving, the message and
// phrase tables, the terminal text and log file, Port Open/Close, the Flash Upload launcher,
// return to idle and the command enabling state. The Qt main frame (CMainFrame) and the
// command line are hosts of this class; tests drive it on virtual time.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "common/clock.h"
#include "tpxadmin/link/commlink.h"
#include "tpxadmin/programming/commandfile.h"
#include "tpxadmin/programming/emulation.h"
#include "tpxadmin/session/adminsession.h"
#include "tpxadmin/transfer/transfer.h"
#include "tpxadmin/transfer/userfile.h"
#include "tpxadmin/shell/commands.h"
#include "tpxadmin/shell/terminalbuffer.h"
#include "tpxadmin/shell/textfiles.h"

namespace tpx::admin {

class AdminHost {
public:
    virtual ~AdminHost() = default;
    // A modal box with `text` and OK.
    virtual void showText(const std::string& text) = 0;
    // The standard message box for a failed file operation.
    virtual void showFileError(const SysStatus& error) = 0;
    virtual void setStatusText(const std::string& text) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual void beep() = 0;
    // The terminal view mirrors every edit of the terminal text.
    virtual void terminalEdited(const TerminalEdit& edit) = 0;
    // Starts a program of the suite by name ("remotelyra"); false when it cannot be started.
    virtual bool startProgram(const std::string& name) = 0;
    // Enabling state or texts of commands may have changed.
    virtual void commandsChanged() {}
    // A modal Yes/No question; true for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
    // The login password dialog (masked, 250 characters); nullopt when cancelled.
    virtual std::optional<std::string> askPassword() = 0;
    virtual void setWaitCursor(bool on) = 0;
    // The file dialog for a user file ("User Files (*.usr)") in `folder`: an existing file
    // for an upload, a file to write (asking before it replaces one) for a download.
    virtual std::optional<std::filesystem::path> askUserFile(const std::filesystem::path& folder, bool forUpload) = 0;
    // Dialog 143: shown when a transfer opens, refreshed, closed when it ends.
    virtual void transferDialogOpened(const TransferView& view) = 0;
    virtual void transferViewChanged(const TransferView& view) = 0;
    virtual void transferDialogClosed() = 0;
    // Dialog 102 ("Phone Number:"), holding `last`; nullopt when cancelled.
    virtual std::optional<std::string> askPhoneNumber(const std::string& last) = 0;
    // Creates and shows the command tree dialog ("COMMAND"); `connected`: the login
    // succeeded. False when it could not be created.
    virtual bool openCommandTree(bool connected) = 0;
};

class AdminShell : private CommLinkHost, private SessionHost, private TransferHost {
public:
    // `home`: the program folder (the TPX home); `transcriptPath`: ".\\trace.txt" of the
    // current folder.
    AdminShell(EventLoop& loop, DeviceOpener& opener, AdminHost& host, std::filesystem::path home,
               std::filesystem::path transcriptPath = "trace.txt");
    ~AdminShell() override;

    // Main frame creation: transcript, message and phrase files of the start model.
    void create();
    // First activation: load the link settings and open a Direct or Modem link.
    void firstActivation();
    // Leaving the program with a link up: MON eleven times, then close; log and transcript
    // are closed.
    void shutDown();

    // Commands.
    void portOpenClose();
    // Dial Phone: asks for the number, then dials it.
    void dialPhone();
    // Dials `number`: the ISDN link for link type ISDN, else "ATDT<number>\r" to the modem.
    bool dialNumber(const std::string& number);
    const std::string& lastNumber() const { return lastNumber_; }
    void flashUpload();
    SysStatus openLog(const std::filesystem::path& path);
    void closeLog();
    void clearScreen();
    // Applies settings from the Communication Settings dialog (already validated).
    void applySettings(const LinkSettings& s);
    // After the settings dialog closed by either button.
    void settingsDialogClosed();

    // Terminal input: a typed character goes to the switch without echo.
    void typedCharacter(unsigned code);
    // Receive mode 0: show a received chunk.
    void showChunk(ByteView chunk);
    // Append text to the terminal (link notes).
    void appendText(std::string_view text);

    // Show message N of the message table (OK).
    void showMessage(int n) override;
    const MessageTable& messages() const { return messages_; }
    const PhraseTable& phrases() const { return phrases_; }

    // Login, acknowledgement and identification (every command that needs the switch).
    bool startAdminSession() { return session_->start(); }
    SessionValues& session() { return session_->values(); }
    AdminSession& adminSession() { return *session_; }
    // The Reset command: asks, then sends the 14-byte reset text.
    void resetSwitch();
    static constexpr std::string_view kResetText = "\rwumbat\rr tpx\r";

    const PartialTable& partialTable() const { return partial_; }
    // The LCR Upload command's menu text: the partial upload table's label when loaded.
    std::string lcrCommandText() const;
    BoardTable& boardTable() { return board_; }

    // UpLoad, DownLoad and LCR Upload: login, the file, then dialog 143 (the transfer).
    void transferCommand(Direction direction);
    void lcrUpload();
    void cancelTransfer();
    // The running transfer, or the last one (nullptr before the first).
    const TransferEngine* transfer() const { return transfer_.get(); }
    bool lcrFlag() const { return lcr_; }

    // Admin: login, keyset emulation, the command tree dialog, TRANS/PGM.
    void adminCommand();
    // The main frame's keyset (key sending, display, lamps, the programming dialog).
    KeysetEmulation& keyset() { return *keyset_; }
    // The command table for the identified switch (kept when no file can be read).
    void loadCommandTable();
    const CommandTable& commandTable() const { return commandTable_; }

    // Return to idle when a working dialog closes.
    void returnToIdle();
    void wait(int tenths) { waitTenths(loop_, tenths); }

    ShellState state() const;
    bool commandEnabled(int id) const { return admin::commandEnabled(id, state()); }
    std::string_view portCommandText() const { return admin::portCommandText(link_->linkUp()); }

    CCommLink& link() { return *link_; }
    const TerminalBuffer& terminal() const { return terminal_; }
    const std::filesystem::path& logPath() const { return logPath_; }
    const std::filesystem::path& home() const { return home_; }
    bool dialogOpen() const { return dialogOpen_; }
    void setDialogOpen(bool open);
    EventLoop& loop() { return loop_; }

    static constexpr std::uint8_t kKeyMon = 51;

private:
    void showFileError(const SysStatus& error) override { host_.showFileError(error); }
    void appendLinkNote(const std::string& text) override { appendText(text); }
    void linkStateChanged() override { host_.commandsChanged(); }
    std::optional<std::string> askPassword() override { return host_.askPassword(); }
    void setStatusText(const std::string& text) override { host_.setStatusText(text); }
    void setWaitCursor(bool on) override { host_.setWaitCursor(on); }
    // TransferHost
    void showText(const std::string& text) override { host_.showText(text); }
    bool askYesNo(const std::string& text) override { return host_.askYesNo(text); }
    void transferViewChanged(const TransferView& view) override { host_.transferViewChanged(view); }
    void transferClosed() override;
    bool closeLink();
    std::string messageText(int n) const;

    EventLoop& loop_;
    AdminHost& host_;
    std::filesystem::path home_;
    std::filesystem::path transcriptPath_;
    Transcript transcript_;
    std::unique_ptr<CCommLink> link_;
    std::unique_ptr<AdminSession> session_;
    std::unique_ptr<TransferEngine> transfer_;
    std::unique_ptr<KeysetEmulation> keyset_;
    CommandTable commandTable_;
    bool lcr_ = false;
    PartialTable partial_;
    BoardTable board_ = emptyBoardTable();
    MessageTable messages_;
    PhraseTable phrases_;
    TerminalBuffer terminal_;
    std::FILE* log_ = nullptr;
    std::filesystem::path logPath_;
    bool dialogOpen_ = false;
    bool activated_ = false;
    std::string lastNumber_;
};

}  // namespace tpx::admin
