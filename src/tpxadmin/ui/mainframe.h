// CMainFrame: TpxAdmin's one main window. A thin Qt host over AdminShell: menu 128, the
// toolbar, the status bar with its progress indicator, the terminal view and the dialogs.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>

#include "platform/portmap.h"
#include "tpxadmin/shell/adminshell.h"
#include "tpxadmin/ui/commandtreedialog.h"

class QLabel;
class QProgressBar;
class QToolBar;

namespace tpx {
class QtEventLoop;
}

namespace tpx::admin {

class CTerminalView;
class CTransferDialog;


class CMainFrame : public QMainWindow, private AdminHost {
    Q_OBJECT
public:
    // `home`: the TPX home folder (already seeded).
    explicit CMainFrame(std::filesystem::path home, QWidget* parent = nullptr);
    ~CMainFrame() override;

    AdminShell& shell() { return *shell_; }
    CTerminalView* terminalView() const { return view_; }
    CTransferDialog* transferDialog() const { return transferDialog_; }
    CCommandTreeDialog* commandTreeDialog() const { return commandTree_; }
    QAction* action(int id) const;

    // Status bar progress indicator (0..100, step 10), hidden until shown.
    void showProgress(bool show);
    void setProgress(int pos);
    QString statusText() const;

    // Runs a command as the menu would (tests, toolbar).
    void runCommand(int id);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // AdminHost
    void showText(const std::string& text) override;
    void showFileError(const SysStatus& error) override;
    void setStatusText(const std::string& text) override;
    void setTitle(const std::string& title) override;
    void beep() override;
    void terminalEdited(const TerminalEdit& edit) override;
    bool startProgram(const std::string& name) override;
    void commandsChanged() override;
    bool askYesNo(const std::string& text) override;
    std::optional<std::string> askPassword() override;
    void setWaitCursor(bool on) override;
    std::optional<std::filesystem::path> askUserFile(const std::filesystem::path& folder, bool forUpload) override;
    void transferDialogOpened(const TransferView& view) override;
    void transferViewChanged(const TransferView& view) override;
    void transferDialogClosed() override;
    std::optional<std::string> askPhoneNumber(const std::string& last) override;
    bool openCommandTree(bool connected) override;

    void buildMenus();
    void buildToolbar();
    void buildStatusBar();
    void onOpenLog();
    void onSettings();
    void onAbout();

    std::unique_ptr<QtEventLoop> loop_;
    std::unique_ptr<DeviceOpener> opener_;
    PortMapOpener* ports_ = nullptr;  // the serial side of opener_
    std::unique_ptr<AdminShell> shell_;
    CTerminalView* view_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QLabel* statusPane_ = nullptr;
    QProgressBar* progress_ = nullptr;
    std::map<int, QAction*> actions_;
    bool activated_ = false;
    bool shutDown_ = false;
    bool waitCursor_ = false;
    CTransferDialog* transferDialog_ = nullptr;
    QPointer<CCommandTreeDialog> commandTree_;
};

}  // namespace tpx::admin
