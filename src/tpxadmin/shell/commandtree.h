// The command tree dialog without its window: the Admin command's dialog that lists the
// switch's administration programs as a tree and starts the chosen one. Opening loads the
// command table for the identified switch; an idle timer (10 minutes) closes it with
// message 24; it cannot close while a program's dialog is open (busy).
#pragma once

#include <string>
#include <vector>

#include "tpxadmin/programming/commandfile.h"
#include "tpxadmin/programming/keyset.h"

namespace tpx::admin {

class AdminShell;

// The window side: the Qt dialog, or a test double.
class CommandTreeView {
public:
    virtual ~CommandTreeView() = default;
    virtual void setTitle(const std::string& title) = 0;
    virtual void showTree(const std::vector<TreeNode>& nodes) = 0;
    // Destroys the window (the controller is gone when this returns).
    virtual void destroyWindow() = 0;
};

class CommandTree : private KeysetListener {
public:
    static constexpr int kIdleTimer = 5125;
    static constexpr int kIdleMs = 600000;
    static constexpr const char* kTitle = "COMMAND";
    enum class State { Idle, Prompting, Busy, TimedOut };

    // Creation: the command table for the session's switch, the tree, the idle timer.
    // `connected`: the login succeeded; otherwise the title says " (Not Connect)".
    CommandTree(AdminShell& shell, CommandTreeView& view, bool connected);
    ~CommandTree() override;

    // The tree selection moved to an item with `text` (nullptr-safe: empty = none).
    void selectionChanged(const std::string& itemText);
    int selectedRecord() const { return selected_; }
    // OK or Enter: true when the view should expand or collapse the selected item instead
    // (it has children); otherwise the selected record is started.
    enum class OkAction { None, Toggle, Started };
    OkAction ok(bool selectedHasChildren);
    void doubleClicked();
    // Cancel or the close box: false when refused (busy); otherwise the window is destroyed.
    bool requestClose();

    State state() const { return state_; }
    bool connected() const { return connected_; }
    const std::vector<TreeNode>& nodes() const { return nodes_; }

    // Starting a program: the program's dialog later marks the tree busy and idle again.
    void setBusy(bool busy);

private:
    void startSelected();
    // Runs the program of record `index`; false when it did not start.
    bool runProgram(int index);
    void onIdleTimeout();
    void close();

    AdminShell& shell_;
    CommandTreeView& view_;
    bool connected_;
    State state_ = State::Idle;
    int selected_ = 0;
    std::vector<TreeNode> nodes_;
};

}  // namespace tpx::admin
