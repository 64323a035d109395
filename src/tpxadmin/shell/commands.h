// The commands of TpxAdmin's menu and toolbar: ids, texts, prompts and enabling rules.
#pragma once

#include <span>
#include <string_view>

namespace tpx::admin {

enum CommandId : int {
    kCmdOpenLog = 32771,
    kCmdCloseLog = 32772,
    kCmdPort = 32774,
    kCmdSettings = 32775,
    kCmdDialPhone = 32776,
    kCmdPhoneBookDial = 32777,
    kCmdBoardTrace = 32778,
    kCmdUpload = 32780,
    kCmdDownload = 32781,
    kCmdFlashUpload = 32782,
    kCmdAdmin = 32784,
    kCmdSysSpeed = 32785,
    kCmdStaName = 32786,
    kCmdKeysetAdm = 32787,
    kCmdClearScreen = 32788,
    kCmdHelpContents = 32829,
    kCmdReset = 32839,
    kCmdLcrUpload = 32840,
    kCmdAbout = 57664,
    kCmdExit = 57665,
    kCmdToolbar = 59392,
    kCmdStatusBar = 59393,
};

enum MenuId { kMenuFile, kMenuAdmin, kMenuTransfer, kMenuCommPort, kMenuView, kMenuHelp };

struct CommandInfo {
    CommandId id;
    MenuId menu;
    std::string_view text;    // menu text with its "&" mnemonic
    std::string_view prompt;  // status bar prompt "\n" tool tip
};

// Menu order; the table is the single place the command texts live.
std::span<const CommandInfo> commandTable();
const CommandInfo* findCommand(int id);
std::string_view menuTitle(MenuId menu);

// Toolbar buttons in order; 0 is a separator.
std::span<const int> toolbarLayout();

// What the enabling rules look at.
struct ShellState {
    bool logOpen = false;
    bool serialOpen = false;
    bool isdnRunning = false;
    int linkType = 0;
    bool dialogOpen = false;          // a working dialog
    bool partialTableLoaded = false;
    bool helpDialogOpen = false;
    bool linkUp() const { return serialOpen || isdnRunning; }
};

// The enabling rule of the command, as if every command were built.
bool commandRuleAllows(int id, const ShellState& s);
// Commands whose work this build carries; the others stay disabled.
bool commandImplemented(int id);
inline bool commandEnabled(int id, const ShellState& s) {
    return commandImplemented(id) && commandRuleAllows(id, s);
}

// "&Port Close" while the link is up, "&Port Open" otherwise.
std::string_view portCommandText(bool linkUp);

}  // namespace tpx::admin
