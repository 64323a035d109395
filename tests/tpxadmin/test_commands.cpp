#include <gtest/gtest.h>

#include <set>

#include "tpxadmin/shell/commands.h"

using namespace tpx::admin;

TEST(Commands, EnablingRules) {
    ShellState isdnDown{.linkType = 2};
    EXPECT_FALSE(commandRuleAllows(kCmdPort, isdnDown));
    EXPECT_TRUE(commandRuleAllows(kCmdDialPhone, isdnDown));
    EXPECT_TRUE(commandRuleAllows(kCmdFlashUpload, isdnDown));

    ShellState modemWorking{.serialOpen = true, .linkType = 1, .dialogOpen = true};
    EXPECT_TRUE(commandRuleAllows(kCmdDialPhone, modemWorking));
    EXPECT_FALSE(commandRuleAllows(kCmdFlashUpload, modemWorking));
    EXPECT_FALSE(commandRuleAllows(kCmdDownload, modemWorking));
    EXPECT_FALSE(commandRuleAllows(kCmdPort, modemWorking));

    ShellState directNone{};
    EXPECT_TRUE(commandRuleAllows(kCmdFlashUpload, directNone));
    EXPECT_TRUE(commandRuleAllows(kCmdSettings, directNone));
    EXPECT_TRUE(commandRuleAllows(kCmdPort, directNone));
    EXPECT_FALSE(commandRuleAllows(kCmdAdmin, directNone));
    EXPECT_FALSE(commandRuleAllows(kCmdDialPhone, directNone));

    ShellState directUp{.serialOpen = true};
    EXPECT_FALSE(commandRuleAllows(kCmdSettings, directUp));
    EXPECT_TRUE(commandRuleAllows(kCmdReset, directUp));
    EXPECT_FALSE(commandRuleAllows(kCmdLcrUpload, directUp));
    directUp.partialTableLoaded = true;
    EXPECT_TRUE(commandRuleAllows(kCmdLcrUpload, directUp));

    ShellState log{.logOpen = true, .helpDialogOpen = true};
    EXPECT_FALSE(commandRuleAllows(kCmdOpenLog, log));
    EXPECT_TRUE(commandRuleAllows(kCmdCloseLog, log));
    EXPECT_FALSE(commandRuleAllows(kCmdHelpContents, log));

    // A command whose work is not built stays disabled whatever its rule says.
    EXPECT_TRUE(commandRuleAllows(kCmdKeysetAdm, directUp));
    EXPECT_FALSE(commandEnabled(kCmdKeysetAdm, directUp));
    EXPECT_TRUE(commandEnabled(kCmdAdmin, directUp));
    EXPECT_EQ(portCommandText(true), "&Port Close");
    EXPECT_EQ(portCommandText(false), "&Port Open");
}

TEST(Commands, MenuAndToolbarTables) {
    std::set<int> ids;
    for (const auto& c : commandTable()) {
        EXPECT_TRUE(ids.insert(c.id).second) << c.id;
        EXPECT_NE(c.prompt.find('\n'), std::string_view::npos) << c.id;  // prompt and tool tip
    }
    EXPECT_EQ(ids.size(), 22u);
    std::vector<int> toolbar(toolbarLayout().begin(), toolbarLayout().end());
    EXPECT_EQ(toolbar, (std::vector<int>{32771, 32772, 0, 32776, 32777, 0, 32784, 32787, 32785, 32786,
                                         32780, 32781, 0, 57664, 32829}));
    EXPECT_EQ(findCommand(kCmdUpload)->prompt, "UpLoad to TPX\nUpload");
    EXPECT_EQ(findCommand(kCmdOpenLog)->prompt, "Open a communications log file\nOpen Log");
}
