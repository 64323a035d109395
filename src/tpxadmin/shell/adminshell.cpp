#include "tpxadmin/shell/adminshell.h"

#include "common/files.h"

namespace tpx::admin {

namespace {
// The start value of the model code selects the TPX560 files.
constexpr const char* kMessageFile = ".\\DATA\\ADM56.ERR";
constexpr const char* kPhraseFile = ".\\DATA\\CAN56.LCD";
}  // namespace

AdminShell::AdminShell(EventLoop& loop, DeviceOpener& opener, AdminHost& host,
                       std::filesystem::path home, std::filesystem::path transcriptPath)
    : loop_(loop),
      host_(host),
      home_(std::move(home)),
      transcriptPath_(std::move(transcriptPath)),
      transcript_(loop),
      link_(std::make_unique<CCommLink>(loop, opener, static_cast<CommLinkHost&>(*this), transcript_, home_)) {
    link_->setConsumer(kModeTerminal, [this](ByteView chunk) { showChunk(chunk); });
    session_ = std::make_unique<AdminSession>(loop_, *link_, static_cast<SessionHost&>(*this));
    keyset_ = std::make_unique<KeysetEmulation>(
        loop_, *link_, [this] { return static_cast<int>(session().model); }, phrases_.phrases,
        [this](KeysetListener::Beep) { host_.beep(); });
    link_->setConsumer(kModeKeyset, [this](ByteView chunk) { keyset_->receive(chunk); });
}

AdminShell::~AdminShell() {
    link_.reset();
    if (log_) std::fclose(log_);
}

void AdminShell::create() {
    transcript_.open(transcriptPath_);
    if (auto path = findFile(home_, kMessageFile)) {
        if (auto data = readFile(*path)) messages_ = parseMessageFile(*data);
    }
    if (messages_.overflow) showMessage(5);
    if (auto path = findFile(home_, kPhraseFile)) {
        if (auto data = readFile(*path)) phrases_ = parsePhraseFile(*data);
    }
    if (phrases_.overflow) showMessage(19);
    if (auto path = findFile(home_, kPartialFile)) {
        if (auto data = readFile(*path)) partial_ = parsePartialTable(*data);
    }
    keyset_->display().reset();
    board_ = emptyBoardTable();
}

void AdminShell::firstActivation() {
    if (activated_) return;
    activated_ = true;
    if (!link_->loadSettings() || link_->settings().linkType == kIsdn) return;
    link_->openSerial();
    if (link_->settings().linkType == kDirect && link_->serialOpen()) {
        link_->sendByte(kKeyMon);
        link_->sendByte(0x0D);
    }
    host_.commandsChanged();
}

bool AdminShell::closeLink() {
    if (link_->settings().linkType == kIsdn) return link_->closeIsdn();
    return link_->closeSerial();
}

void AdminShell::shutDown() {
    if (dialogOpen_ && link_->receiveMode() == kModeTransfer && transfer_ && !transfer_->closed())
        transfer_->closeFromFrame();
    if (link_->linkUp()) {
        link_->setReceiveMode(kModeTerminal);
        wait(10);
        for (int i = 0; i < 11; ++i) link_->sendByte(kKeyMon);
        closeLink();
    }
    closeLog();
    transcript_.close();
}

void AdminShell::portOpenClose() {
    const bool ok = link_->linkUp() ? closeLink() : link_->openSerial();
    if (!ok) showMessage(22);
    host_.commandsChanged();
}

void AdminShell::dialPhone() {
    auto number = host_.askPhoneNumber(lastNumber_);
    if (!number) return;
    dialNumber(*number);
}

bool AdminShell::dialNumber(const std::string& number) {
    lastNumber_ = number;
    bool ok = false;
    if (link_->settings().linkType == kIsdn) ok = link_->dialIsdn(number);
    else ok = link_->sendBlock(asBytes("ATDT" + number + "\r"));
    host_.commandsChanged();
    return ok;
}

void AdminShell::flashUpload() {
    if (link_->linkUp()) closeLink();
    const bool isdn = link_->settings().linkType == kIsdn;
    if (!host_.startProgram(isdn ? "remotelyra" : "locallyra")) host_.showText("Can't Execute");
    host_.commandsChanged();
}

SysStatus AdminShell::openLog(const std::filesystem::path& path) {
    closeLog();
    log_ = std::fopen(path.c_str(), "wb");
    if (!log_) {
        SysStatus st = SysStatus::fromErrno("create " + path.string());
        logPath_.clear();
        host_.showFileError(st);
        host_.commandsChanged();
        return st;
    }
    logPath_ = path;
    host_.setTitle("TPX Admin - " + path.string());
    host_.commandsChanged();
    return {};
}

void AdminShell::closeLog() {
    if (!log_) return;
    std::fflush(log_);
    std::fclose(log_);
    log_ = nullptr;
    logPath_.clear();
    host_.setTitle("TPX Admin");
    host_.commandsChanged();
}

void AdminShell::clearScreen() {
    terminal_.clear();
    host_.terminalEdited(TerminalEdit{false, 0, {}});
}

void AdminShell::applySettings(const LinkSettings& s) {
    link_->settings() = s;
    link_->saveSettings();
}

void AdminShell::settingsDialogClosed() {
    if (link_->serialOpen() && link_->settings().linkType != kIsdn) link_->closeSerial();
    host_.commandsChanged();
}

void AdminShell::typedCharacter(unsigned code) {
    if (code > 0x7E || !link_->linkUp() || dialogOpen_) return;
    link_->sendByte(static_cast<std::uint8_t>(code));
}

void AdminShell::showChunk(ByteView chunk) {
    int bells = 0;
    std::string text = TerminalBuffer::filter(chunk, &bells);
    for (int i = 0; i < bells; ++i) host_.beep();
    if (!text.empty()) appendText(text);
}

void AdminShell::appendText(std::string_view text) {
    std::size_t erase = 0;
    std::string prepared = TerminalBuffer::prepare(text, &erase);
    TerminalEdit edit = terminal_.appendPrepared(prepared, erase);
    host_.terminalEdited(edit);
    if (log_ && !edit.insert.empty()) {
        std::fwrite(edit.insert.data(), 1, edit.insert.size(), log_);
        std::fflush(log_);
    }
}

std::string AdminShell::messageText(int n) const {
    if (n >= 0 && n < static_cast<int>(kMessageCount) && !messages_.text[n].empty())
        return messages_.text[n];
    // A missing or short message file must not leave the user with an empty box.
    return "Message " + std::to_string(n) + "\n";
}

void AdminShell::showMessage(int n) { host_.showText(messageText(n)); }

void AdminShell::resetSwitch() {
    if (!host_.askYesNo("Now, TPX system will be reset. Are you sure?")) return;
    link_->sendBlock(asBytes(kResetText));
}

std::string AdminShell::lcrCommandText() const {
    if (partial_.loaded()) return partial_.label;
    return std::string(findCommand(kCmdLcrUpload)->text);
}

void AdminShell::transferCommand(Direction direction) {
    if (dialogOpen_) return;
    if (!startAdminSession()) {
        link_->setReceiveMode(kModeTerminal);
        return;
    }
    std::error_code ec;
    std::filesystem::path folder = pathForWrite(home_, ".\\user");
    std::filesystem::create_directories(folder, ec);
    auto file = host_.askUserFile(folder, direction == Direction::Upload);
    if (!file) {
        returnToIdle();
        return;
    }
    TransferSetup setup;
    setup.direction = direction;
    setup.userFile = *file;
    setup.sessionModel = session().model;
    setup.sessionVersion = session().version;
    setup.nation = session().nation;
    setup.baudRate = link_->settings().baudRate;
    if (lcr_) setup.partial = partial_;
    setup.boardTable = &board_;
    link_->setReceiveMode(kModeTransfer);
    transfer_ = std::make_unique<TransferEngine>(loop_, *link_, static_cast<TransferHost&>(*this), std::move(setup));
    TransferEngine* engine = transfer_.get();
    link_->setConsumer(kModeTransfer, [engine](ByteView chunk) { engine->receive(chunk); });
    setDialogOpen(true);
    host_.transferDialogOpened(engine->view());
    engine->open();
}

void AdminShell::lcrUpload() {
    if (dialogOpen_) return;
    if (!partial_.loaded()) {
        host_.showText("There is no information for partial uploading!!");
        return;
    }
    lcr_ = true;
    transferCommand(Direction::Upload);
    if (!dialogOpen_) lcr_ = false;  // no dialog came up: nothing to clear it later
}

void AdminShell::cancelTransfer() {
    if (transfer_ && !transfer_->closed()) transfer_->cancel();
}

void AdminShell::transferClosed() {
    link_->clearConsumer(kModeTransfer);
    host_.transferDialogClosed();
    lcr_ = false;
    returnToIdle();
}

void AdminShell::adminCommand() {
    if (dialogOpen_) return;
    const bool connected = startAdminSession();
    if (connected) {
        link_->setReceiveMode(kModeKeyset);
    } else {
        link_->setReceiveMode(kModeTerminal);
        link_->sendByte(kKeyMon);
    }
    keyset_->display().start();
    setDialogOpen(true);
    if (!host_.openCommandTree(connected)) {
        returnToIdle();
        return;
    }
    if (connected) keyset_->sendKey(kKeyTransPgm);
}

void AdminShell::loadCommandTable() {
    admin::loadCommandTable(home_, session().model, session().version, session().nation, commandTable_,
                            [this](int n) { showMessage(n); });
}

void AdminShell::returnToIdle() {
    keyset_->setProgrammingDialog(nullptr);
    setDialogOpen(false);
    wait(10);
    host_.setStatusText("Ready");
    link_->sendByte(kKeyMon);
    link_->setReceiveMode(kModeTerminal);
}

void AdminShell::setDialogOpen(bool open) {
    dialogOpen_ = open;
    host_.commandsChanged();
}

ShellState AdminShell::state() const {
    ShellState s;
    s.logOpen = log_ != nullptr;
    s.serialOpen = link_->serialOpen();
    s.isdnRunning = link_->isdnRunning();
    s.linkType = link_->settings().linkType;
    s.dialogOpen = dialogOpen_;
    s.partialTableLoaded = partial_.loaded();
    return s;
}

}  // namespace tpx::admin
