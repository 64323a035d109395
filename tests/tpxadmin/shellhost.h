// A recording host of the TpxAdmin shell for tests: every box, question and dialog is
// recorded and answered from the fields.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tpxadmin/shell/adminshell.h"
#include "tpxadmin/shell/commandtree.h"

namespace tpx {

using admin::TerminalEdit;
using admin::TransferView;

struct ShellHost : admin::AdminHost {
    void showText(const std::string& t) override { texts.push_back(t); }
    void showFileError(const SysStatus& e) override { fileErrors.push_back(e.message()); }
    void setStatusText(const std::string& t) override { status = t; }
    void setTitle(const std::string& t) override { title = t; }
    void beep() override { ++beeps; }
    void terminalEdited(const TerminalEdit&) override { ++edits; }
    bool startProgram(const std::string& name) override {
        started.push_back(name);
        return canStart;
    }
    bool askYesNo(const std::string& t) override {
        questions.push_back(t);
        return answerYes;
    }
    std::optional<std::string> askPassword() override {
        ++passwordAsked;
        return password;
    }
    void setWaitCursor(bool on) override { waitCursor = on; }
    std::optional<std::filesystem::path> askUserFile(const std::filesystem::path&, bool) override { return userFile; }
    void transferDialogOpened(const TransferView& v) override {
        dialogOpen = true;
        views.push_back(v);
    }
    void transferViewChanged(const TransferView& v) override { views.push_back(v); }
    void transferDialogClosed() override { dialogOpen = false; }
    std::optional<std::string> askPhoneNumber(const std::string& last) override {
        lastOffered = last;
        return phoneNumber;
    }
    // The command tree dialog: its controller lives here until the window is destroyed.
    struct TreeWindow : admin::CommandTreeView {
        void setTitle(const std::string& t) override { title = t; }
        void showTree(const std::vector<admin::TreeNode>& n) override { nodes = n; }
        void destroyWindow() override { destroyed = true; }
        std::string title;
        std::vector<admin::TreeNode> nodes;
        bool destroyed = false;
    };
    bool openCommandTree(bool connected) override {
        if (!shell) return false;
        window = std::make_unique<TreeWindow>();
        tree = std::make_unique<admin::CommandTree>(*shell, *window, connected);
        return true;
    }
    // The open tree, or nullptr once its window was destroyed.
    admin::CommandTree* openTree() const { return window && !window->destroyed ? tree.get() : nullptr; }
    admin::AdminShell* shell = nullptr;  // set by tests that open the command tree
    std::unique_ptr<TreeWindow> window;
    std::unique_ptr<admin::CommandTree> tree;

    std::optional<std::string> phoneNumber;
    std::string lastOffered;
    std::optional<std::filesystem::path> userFile;
    std::vector<TransferView> views;
    bool dialogOpen = false;
    std::vector<std::string> texts, fileErrors, started, questions;
    std::string status, title;
    int beeps = 0, edits = 0, passwordAsked = 0;
    bool canStart = true, answerYes = true, waitCursor = false;
    std::optional<std::string> password = "";
};

}  // namespace tpx
