#include "tpxadmin/shell/commandtree.h"

#include "tpxadmin/shell/adminshell.h"

namespace tpx::admin {

namespace {
constexpr int kMsgIdleTimeout = 24;
constexpr std::size_t kItemTextMax = 90;
}  // namespace

CommandTree::CommandTree(AdminShell& shell, CommandTreeView& view, bool connected)
    : shell_(shell), view_(view), connected_(connected) {
    view_.setTitle(std::string(kTitle) + (connected_ ? "" : " (Not Connect)"));
    shell_.loadCommandTable();
    nodes_ = buildCommandTree(shell_.commandTable());
    view_.showTree(nodes_);
    selected_ = 0;
    shell_.loop().setTimer(kIdleTimer, kIdleMs, [this] { onIdleTimeout(); });
    // The tree itself does nothing with the display; it only holds the place of the
    // programming dialog while no program runs.
    shell_.keyset().setProgrammingDialog(this);
}

CommandTree::~CommandTree() {
    shell_.loop().killTimer(kIdleTimer);
    if (shell_.keyset().programmingDialog() == this) shell_.keyset().setProgrammingDialog(nullptr);
}

void CommandTree::selectionChanged(const std::string& itemText) {
    selected_ = shell_.commandTable().findByText(std::string_view(itemText).substr(0, kItemTextMax));
}

CommandTree::OkAction CommandTree::ok(bool selectedHasChildren) {
    if (state_ == State::Busy) return OkAction::None;
    if (selectedHasChildren) return OkAction::Toggle;
    startSelected();
    return OkAction::Started;
}

void CommandTree::doubleClicked() {
    if (state_ == State::Busy) return;
    startSelected();
}

void CommandTree::startSelected() {
    const auto& records = shell_.commandTable().records;
    if (selected_ < 0 || static_cast<std::size_t>(selected_) >= records.size()) return;
    if (records[static_cast<std::size_t>(selected_)].isStep()) return;
    shell_.loop().killTimer(kIdleTimer);
    runProgram(selected_);
    // Until a program keeps a dialog of its own open, the tree is idle again at once.
    if (state_ != State::Busy) shell_.loop().setTimer(kIdleTimer, kIdleMs, [this] { onIdleTimeout(); });
}

bool CommandTree::runProgram(int index) {
    // Enter the program as a classic command file does: its code, then its flexible key.
    const CommandRecord& r = shell_.commandTable().records[static_cast<std::size_t>(index)];
    if (r.programCode < 0) return false;
    KeysetEmulation& keys = shell_.keyset();
    keys.sendProgramCode(r.programText());
    if (r.keyNumber >= 1 && r.keyNumber <= 24) keys.sendFlexKey(r.keyNumber);
    return true;
}

void CommandTree::setBusy(bool busy) {
    if (busy) {
        state_ = State::Busy;
        return;
    }
    if (state_ == State::Busy) state_ = State::Idle;
    shell_.keyset().setProgrammingDialog(this);
    shell_.loop().setTimer(kIdleTimer, kIdleMs, [this] { onIdleTimeout(); });
}

void CommandTree::onIdleTimeout() {
    shell_.loop().killTimer(kIdleTimer);
    const bool prompting = state_ == State::Prompting;
    const bool busy = state_ == State::Busy;
    state_ = State::TimedOut;
    shell_.showMessage(kMsgIdleTimeout);
    if (!prompting && !busy) close();
}

bool CommandTree::requestClose() {
    if (state_ == State::Busy) return false;
    close();
    return true;
}

void CommandTree::close() {
    shell_.loop().killTimer(kIdleTimer);
    shell_.keyset().setProgrammingDialog(nullptr);
    shell_.returnToIdle();
    view_.destroyWindow();
}

}  // namespace tpx::admin
