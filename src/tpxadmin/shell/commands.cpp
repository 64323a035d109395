#include "tpxadmin/shell/commands.h"

#include <algorithm>
#include <array>

namespace tpx::admin {

namespace {
constexpr std::array<CommandInfo, 22> kCommands = {{
    {kCmdOpenLog, kMenuFile, "&Open Log File...", "Open a communications log file\nOpen Log"},
    {kCmdCloseLog, kMenuFile, "&Close Log File", "Close the communications log file\nClose Log"},
    {kCmdExit, kMenuFile, "E&xit", "Quit the application\nExit"},
    {kCmdAdmin, kMenuAdmin, "&Admin", "Program the TPX through the command tree\nAdmin"},
    {kCmdSysSpeed, kMenuAdmin, "&Sys Speed", "Edit the system speed dial table\nSystem Speed Dial"},
    {kCmdStaName, kMenuAdmin, "Sta &Name", "Edit the station names\nStation Name"},
    {kCmdKeysetAdm, kMenuAdmin, "&Keyset adm", "Program the TPX from a keyset replica\nKeyset Admin"},
    {kCmdBoardTrace, kMenuAdmin, "Board &Trace Setting", "Set the board configuration for trace decoding\nBoard Trace"},
    {kCmdUpload, kMenuTransfer, "&UpLoad", "UpLoad to TPX\nUpload"},
    {kCmdDownload, kMenuTransfer, "&DownLoad", "Download from TPX\nDownLoad"},
    {kCmdLcrUpload, kMenuTransfer, "&LCR Upload", "Upload the partial (LCR) area to TPX\nLCR Upload"},
    {kCmdFlashUpload, kMenuTransfer, "&Flash Upload", "Upgrade the TPX software\nFlash Upload"},
    {kCmdReset, kMenuTransfer, "&Reset", "Reset the TPX system\nReset"},
    {kCmdPort, kMenuCommPort, "&Port Open", "Open or close the communications port\nPort Open/Close"},
    {kCmdSettings, kMenuCommPort, "&Settings...", "Change the communication settings\nSettings"},
    {kCmdDialPhone, kMenuCommPort, "&Dial Phone...", "Dial a phone number\nDial Phone"},
    {kCmdPhoneBookDial, kMenuCommPort, "Phone&Book Dial", "Dial a site from the phone book\nPhone Book"},
    {kCmdToolbar, kMenuView, "&Toolbar", "Show or hide the toolbar\nToggle ToolBar"},
    {kCmdStatusBar, kMenuView, "&Status Bar", "Show or hide the status bar\nToggle StatusBar"},
    {kCmdClearScreen, kMenuView, "Clear&Screen", "Clear the terminal screen\nClear Screen"},
    {kCmdHelpContents, kMenuHelp, "&Contents on Admin", "Help on remote admin programming\nHelp Contents"},
    {kCmdAbout, kMenuHelp, "&About TpxAdmin..", "Display program information and version\nAbout"},
}};

constexpr std::array<int, 15> kToolbar = {kCmdOpenLog, kCmdCloseLog, 0,           kCmdDialPhone,
                                          kCmdPhoneBookDial, 0,      kCmdAdmin,   kCmdKeysetAdm,
                                          kCmdSysSpeed, kCmdStaName, kCmdUpload,  kCmdDownload,
                                          0,           kCmdAbout,    kCmdHelpContents};

constexpr std::array<int, 16> kImplemented = {
    kCmdOpenLog, kCmdCloseLog, kCmdExit,    kCmdFlashUpload, kCmdPort,   kCmdSettings, kCmdClearScreen, kCmdToolbar,
    kCmdStatusBar, kCmdAbout, kCmdReset,   kCmdUpload,      kCmdDownload, kCmdLcrUpload, kCmdDialPhone, kCmdAdmin};
}  // namespace

std::span<const CommandInfo> commandTable() { return kCommands; }

const CommandInfo* findCommand(int id) {
    for (const auto& c : kCommands)
        if (c.id == id) return &c;
    return nullptr;
}

std::string_view menuTitle(MenuId menu) {
    switch (menu) {
        case kMenuFile: return "&File";
        case kMenuAdmin: return "&Admin";
        case kMenuTransfer: return "&Transfer";
        case kMenuCommPort: return "&CommPort";
        case kMenuView: return "&View";
        case kMenuHelp: return "&Help";
    }
    return {};
}

std::span<const int> toolbarLayout() { return kToolbar; }

bool commandImplemented(int id) {
    return std::find(kImplemented.begin(), kImplemented.end(), id) != kImplemented.end();
}

bool commandRuleAllows(int id, const ShellState& s) {
    const bool up = s.linkUp();
    const bool working = up && !s.dialogOpen;
    const bool dialable = (s.serialOpen && s.linkType == 1) ||
                          (s.linkType == 2 && !s.isdnRunning && !s.dialogOpen);
    switch (id) {
        case kCmdOpenLog: return !s.logOpen;
        case kCmdCloseLog: return s.logOpen;
        case kCmdAdmin:
        case kCmdSysSpeed:
        case kCmdStaName:
        case kCmdKeysetAdm:
        case kCmdUpload:
        case kCmdDownload:
        case kCmdReset:
        case kCmdBoardTrace: return working;
        case kCmdLcrUpload: return s.partialTableLoaded && working;
        case kCmdFlashUpload: return s.linkType != 1 && !s.dialogOpen;
        case kCmdPort: return !s.dialogOpen && !(s.linkType == 2 && !s.isdnRunning);
        case kCmdSettings: return !up && !s.dialogOpen;
        case kCmdDialPhone:
        case kCmdPhoneBookDial: return dialable;
        case kCmdHelpContents: return !s.helpDialogOpen;
        default: return true;  // Exit, Clear Screen, the bars, About
    }
}

std::string_view portCommandText(bool linkUp) { return linkUp ? "&Port Close" : "&Port Open"; }

}  // namespace tpx::admin
