// The command line's host of the TpxAdmin engines: messages and progress on stderr,
// questions answered by flags or, on a terminal, by the user.
#pragma once

#include <optional>
#include <string>

#include "tpxadmin/shell/adminshell.h"

namespace tpx::cli {

class CliHost : public admin::AdminHost {
public:
    // `password`: the answer to the password dialog (nullopt: ask on the terminal, or
    // cancel when there is none). `yes`: answer every question with Yes.
    CliHost(std::optional<std::string> password, bool yes) : password_(std::move(password)), yes_(yes) {}

    void showText(const std::string& text) override;
    void showFileError(const SysStatus& e) override;
    void setStatusText(const std::string& text) override;
    void setTitle(const std::string&) override {}
    void beep() override {}
    void terminalEdited(const admin::TerminalEdit& edit) override;
    bool startProgram(const std::string&) override { return false; }
    bool askYesNo(const std::string& text) override;
    std::optional<std::string> askPassword() override;
    void setWaitCursor(bool) override {}
    std::optional<std::filesystem::path> askUserFile(const std::filesystem::path&, bool) override { return userFile; }
    void transferDialogOpened(const admin::TransferView& view) override;
    void transferViewChanged(const admin::TransferView& view) override;
    void transferDialogClosed() override;
    std::optional<std::string> askPhoneNumber(const std::string&) override { return std::nullopt; }
    bool openCommandTree(bool) override { return false; }

    // The file a transfer command works on.
    std::optional<std::filesystem::path> userFile;
    // A clock for throttling progress lines.
    const Clock* clock = nullptr;

    // Terminal text goes to stdout when set (tpx console).
    bool showTerminal = false;
    // The texts shown, for the one-line failure reason.
    const std::string& lastText() const { return lastText_; }
    const std::string& status() const { return status_; }
    // How long the last transfer dialog was open, in ms.
    std::int64_t transferMs() const { return transferEnd_ - transferStart_; }

private:
    std::optional<std::string> password_;
    bool yes_;
    std::string lastText_;
    std::string status_;
    std::size_t shown_ = 0;
    std::int64_t lastProgress_ = -1000000;
    bool progressShown_ = false;
    std::int64_t transferStart_ = 0, transferEnd_ = 0;
    void progress(const admin::TransferView& view, bool force);
};

}  // namespace tpx::cli
