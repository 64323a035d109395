#include "tpxadmin/ui/mainframe.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QProcess>
#include <QProgressBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include "isdnlink/client/isdndevice.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/qteventloop.h"
#include "tpxadmin/ui/aboutdialog.h"
#include "tpxadmin/ui/commandtreedialog.h"
#include "tpxadmin/ui/passworddialog.h"
#include "tpxadmin/ui/settingsdialog.h"
#include "tpxadmin/ui/terminalview.h"
#include "tpxadmin/ui/transferdialog.h"

namespace tpx::admin {

namespace {
QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Toolbar glyphs for the commands that have no standard icon.
QIcon letterIcon(const QString& letters, QColor colour) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(colour.darker(140));
    p.setBrush(colour);
    p.drawRoundedRect(0, 0, 15, 15, 3, 3);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(letters.size() > 1 ? 8 : 11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(pm.rect(), Qt::AlignCenter, letters);
    return QIcon(pm);
}

QIcon commandIcon(int id, QStyle* style) {
    switch (id) {
        case kCmdOpenLog: return style->standardIcon(QStyle::SP_DialogOpenButton);
        case kCmdCloseLog: return style->standardIcon(QStyle::SP_DialogCloseButton);
        case kCmdDialPhone: return letterIcon("Dl", QColor(40, 120, 40));
        case kCmdPhoneBookDial: return letterIcon("PB", QColor(40, 120, 40));
        case kCmdAdmin: return letterIcon("A", QColor(0, 70, 140));
        case kCmdKeysetAdm: return letterIcon("K", QColor(0, 70, 140));
        case kCmdSysSpeed: return letterIcon("S", QColor(120, 60, 0));
        case kCmdStaName: return letterIcon("N", QColor(120, 60, 0));
        case kCmdUpload: return style->standardIcon(QStyle::SP_ArrowUp);
        case kCmdDownload: return style->standardIcon(QStyle::SP_ArrowDown);
        case kCmdAbout: return style->standardIcon(QStyle::SP_MessageBoxInformation);
        case kCmdHelpContents: return letterIcon("?", QColor(0, 110, 170));
        default: return {};
    }
}
}  // namespace

CMainFrame::CMainFrame(std::filesystem::path home, QWidget* parent)
    : QMainWindow(parent), loop_(std::make_unique<QtEventLoop>()) {
    setObjectName("frame128");
    setWindowTitle("TpxAdmin");
    setWindowIcon(programIcon());
    auto ports = std::make_unique<PortMapOpener>(*loop_, PortMap::loadEffective());
    ports_ = ports.get();
    opener_ = std::make_unique<isdn::IsdnOpener>(*loop_, std::move(ports));
    shell_ = std::make_unique<AdminShell>(*loop_, *opener_, static_cast<AdminHost&>(*this), std::move(home));
    shell_->create();

    buildMenus();
    buildToolbar();
    buildStatusBar();
    view_ = new CTerminalView(this);
    view_->onTyped = [this](unsigned code) { shell_->typedCharacter(code); };
    setCentralWidget(view_);
    resize(800, 560);
    commandsChanged();
}

CMainFrame::~CMainFrame() {
    // A working dialog's controller refers to the shell: it goes first.
    delete commandTree_.data();
    if (!shutDown_) shell_->shutDown();
}

QAction* CMainFrame::action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::buildMenus() {
    std::map<MenuId, QMenu*> menus;
    for (const CommandInfo& c : commandTable()) {
        QMenu*& menu = menus[c.menu];
        if (!menu) menu = menuBar()->addMenu(qs(menuTitle(c.menu)));
        auto* a = new QAction(qs(c.text), this);
        a->setObjectName(QString::number(c.id));
        QString prompt = qs(c.prompt);
        a->setStatusTip(prompt.section('\n', 0, 0));
        a->setToolTip(prompt.section('\n', 1, 1));
        a->setIcon(commandIcon(c.id, style()));
        a->setIconVisibleInMenu(false);
        if (c.id == kCmdToolbar || c.id == kCmdStatusBar) {
            a->setCheckable(true);
            a->setChecked(true);
        }
        if (c.id == kCmdExit || c.id == kCmdFlashUpload || c.id == kCmdLcrUpload ||
            c.id == kCmdSettings || c.id == kCmdClearScreen)
            menu->addSeparator();
        menu->addAction(a);
        connect(a, &QAction::triggered, this, [this, id = c.id] { runCommand(id); });
        actions_[c.id] = a;
    }
}

void CMainFrame::buildToolbar() {
    toolbar_ = addToolBar("Standard");
    toolbar_->setObjectName("toolbar128");
    toolbar_->setAllowedAreas(Qt::AllToolBarAreas);
    toolbar_->setMovable(true);
    toolbar_->setIconSize(QSize(16, 16));
    for (int id : toolbarLayout()) {
        if (id == 0) toolbar_->addSeparator();
        else toolbar_->addAction(actions_.at(id));
    }
}

void CMainFrame::buildStatusBar() {
    QStatusBar* bar = statusBar();
    statusPane_ = new QLabel("Ready", bar);
    statusPane_->setObjectName("statusPane");
    bar->addWidget(statusPane_, 1);
    for (const char* ind : {"CAP", "NUM", "SCRL"}) {
        auto* l = new QLabel(ind, bar);
        l->setObjectName(QString("indicator") + ind);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setEnabled(false);  // lock states are not readable on every window system
        bar->addPermanentWidget(l);
    }
    progress_ = new QProgressBar(bar);
    progress_->setObjectName("progress");
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progress_->setGeometry(100, 3, 200, bar->sizeHint().height() - 6);
    progress_->hide();
}

void CMainFrame::showProgress(bool show) {
    progress_->setGeometry(100, 3, 200, std::max(statusBar()->height() - 6, 10));
    progress_->setVisible(show);
    if (show) progress_->raise();
}
void CMainFrame::setProgress(int pos) { progress_->setValue(pos); }
QString CMainFrame::statusText() const { return statusPane_->text(); }

void CMainFrame::runCommand(int id) {
    if (!shell_->commandEnabled(id)) return;
    switch (id) {
        case kCmdOpenLog: onOpenLog(); break;
        case kCmdCloseLog: shell_->closeLog(); break;
        case kCmdExit: close(); break;
        case kCmdPort: shell_->portOpenClose(); break;
        case kCmdSettings: onSettings(); break;
        case kCmdFlashUpload: shell_->flashUpload(); break;
        case kCmdClearScreen: shell_->clearScreen(); break;
        case kCmdToolbar: toolbar_->setVisible(!toolbar_->isVisible()); break;
        case kCmdStatusBar: statusBar()->setVisible(!statusBar()->isVisible()); break;
        case kCmdAbout: onAbout(); break;
        case kCmdReset: shell_->resetSwitch(); break;
        case kCmdUpload: shell_->transferCommand(Direction::Upload); break;
        case kCmdDownload: shell_->transferCommand(Direction::Download); break;
        case kCmdLcrUpload: shell_->lcrUpload(); break;
        case kCmdDialPhone: shell_->dialPhone(); break;
        case kCmdAdmin: shell_->adminCommand(); break;
        default: break;
    }
    commandsChanged();
}

void CMainFrame::onOpenLog() {
    QFileDialog dlg(this, QString(), QString(), "Log Files (*.log)");
    dlg.setObjectName("openLogDialog");
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix("log");
    dlg.selectFile("*.log");
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    shell_->openLog(dlg.selectedFiles().first().toStdString());
}

void CMainFrame::onSettings() {
    CSettingsDialog dlg(shell_->link().settings(), shell_->link().initCommands(), PortMap::loadProfile(),
                        [this] { shell_->showMessage(36); }, this);
    if (dlg.exec() == QDialog::Accepted) {
        shell_->applySettings(dlg.settings());
        SysStatus st = dlg.ports().saveProfile();
        if (!st) showFileError(st);
        ports_->map() = PortMap::loadEffective();
    }
    shell_->settingsDialogClosed();
}

void CMainFrame::onAbout() {
    CAboutDialog dlg(this);
    dlg.exec();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!activated_) {
        activated_ = true;
        // After the window is up, as on its first activation.
        QTimer::singleShot(0, this, [this] {
            shell_->firstActivation();
            commandsChanged();
            view_->setFocus();
        });
    }
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && view_) view_->setFocus();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!shutDown_) {
        shutDown_ = true;
        shell_->shutDown();
    }
    event->accept();
}

void CMainFrame::showText(const std::string& text) {
    QString t = QString::fromStdString(text);
    if (t.endsWith('\n')) t.chop(1);
    MessageBox::show(this, "TpxAdmin", t);
}

void CMainFrame::showFileError(const SysStatus& error) {
    MessageBox::show(this, "TpxAdmin", QString::fromStdString(error.message()), MessageBox::OkOnly,
                     MessageBox::Warning);
}

void CMainFrame::setStatusText(const std::string& text) { statusPane_->setText(QString::fromStdString(text)); }
void CMainFrame::setTitle(const std::string& title) { setWindowTitle(QString::fromStdString(title)); }
void CMainFrame::beep() { QApplication::beep(); }

void CMainFrame::terminalEdited(const TerminalEdit& edit) {
    if (view_) view_->applyEdit(edit, shell_->terminal().text());
}

bool CMainFrame::askYesNo(const std::string& text) {
    return MessageBox::show(this, "TpxAdmin", QString::fromStdString(text).trimmed(), MessageBox::YesNo,
                            MessageBox::Question) == MessageBox::Yes;
}

std::optional<std::string> CMainFrame::askPassword() {
    CPasswordDialog dlg(this);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.password().toStdString();
}

void CMainFrame::setWaitCursor(bool on) {
    if (on == waitCursor_) return;
    waitCursor_ = on;
    if (on) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

std::optional<std::filesystem::path> CMainFrame::askUserFile(const std::filesystem::path& folder, bool forUpload) {
    QFileDialog dlg(this, QString(), QString::fromStdString(folder.string()), "User Files (*.usr)");
    dlg.setObjectName("userFileDialog");
    if (forUpload) {
        dlg.setFileMode(QFileDialog::ExistingFile);
    } else {
        dlg.setAcceptMode(QFileDialog::AcceptSave);  // asks before it replaces a file
    }
    dlg.setDefaultSuffix("usr");
    dlg.selectFile("*.usr");
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return dlg.selectedFiles().first().toStdString();
}

void CMainFrame::transferDialogOpened(const TransferView& view) {
    delete transferDialog_;
    transferDialog_ = new CTransferDialog([this] { shell_->cancelTransfer(); }, this);
    transferDialog_->update(view);
    transferDialog_->show();
}

void CMainFrame::transferViewChanged(const TransferView& view) {
    if (transferDialog_) transferDialog_->update(view);
}

void CMainFrame::transferDialogClosed() {
    if (!transferDialog_) return;
    transferDialog_->hide();
    transferDialog_->deleteLater();
    transferDialog_ = nullptr;
}

bool CMainFrame::openCommandTree(bool connected) {
    delete commandTree_.data();
    commandTree_ = new CCommandTreeDialog(*shell_, connected, this);
    commandTree_->show();
    return true;
}

std::optional<std::string> CMainFrame::askPhoneNumber(const std::string& last) {
    QDialog dlg(this);
    dlg.setObjectName("dialog102");
    dlg.setWindowTitle("TPX Admin");
    auto* top = new QVBoxLayout(&dlg);
    top->addWidget(new QLabel("Phone Number:", &dlg));
    auto* edit = new QLineEdit(QString::fromStdString(last), &dlg);
    edit->setObjectName("number");
    edit->selectAll();
    top->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
    connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    top->addWidget(buttons);
    dlg.setMinimumWidth(280);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return edit->text().toStdString();
}

bool CMainFrame::startProgram(const std::string& name) {
    QString program = QString::fromStdString(name);
    QString beside = QCoreApplication::applicationDirPath() + "/" + program;
    QString path = QFileInfo(beside).isExecutable() ? beside : QStandardPaths::findExecutable(program);
    return !path.isEmpty() && QProcess::startDetached(path, {});
}

void CMainFrame::commandsChanged() {
    for (auto& [id, a] : actions_) a->setEnabled(shell_->commandEnabled(id));
    if (auto* port = action(kCmdPort)) port->setText(qs(shell_->portCommandText()));
    if (auto* lcr = action(kCmdLcrUpload)) lcr->setText(QString::fromStdString(shell_->lcrCommandText()));
    if (auto* t = action(kCmdToolbar); t && toolbar_) t->setChecked(toolbar_->isVisible() || !isVisible());
    if (auto* s = action(kCmdStatusBar)) s->setChecked(statusBar()->isVisible() || !isVisible());
}

}  // namespace tpx::admin
