#include <gtest/gtest.h>

#include "common/inifile.h"
#include "common/realtimeloop.h"
#include "platform/portmap.h"
#include "testutil.h"

using namespace tpx;

TEST(PortMap, DefaultsThenProfileThenEnvironment) {
    TempDir cfg;
    ScopedEnv xdg("XDG_CONFIG_HOME", cfg.path().string());
    ScopedEnv com2("TPX_COM2", "");
    ScopedEnv telnet("TPX_TELNET", "");
    {
        PortMap m = PortMap::loadEffective();
        EXPECT_EQ(m.com(1), "/dev/ttyS0");
        EXPECT_EQ(m.com(5), "/dev/ttyS4");
        EXPECT_EQ(m.deviceForIndex(4), "/dev/ttyS4");
        EXPECT_EQ(m.deviceForIndex(5), m.telnet());
        EXPECT_EQ(m.deviceForIndex(9), m.telnet());
    }
    PortMap edit = PortMap::loadProfile();
    edit.setCom(2, "/dev/ttyUSB0");
    edit.setTelnet("ser2net:3001");
    ASSERT_TRUE(edit.saveProfile().ok());
    EXPECT_TRUE(std::filesystem::exists(cfg.path() / "TPX PC Applications" / "ports.conf"));
    EXPECT_EQ(PortMap::loadEffective().com(2), "/dev/ttyUSB0");

    ScopedEnv over("TPX_COM2", "/tmp/sim-com2");
    ScopedEnv overT("TPX_TELNET", "127.0.0.1:9");
    PortMap eff = PortMap::loadEffective();
    EXPECT_EQ(eff.com(2), "/tmp/sim-com2");
    EXPECT_EQ(eff.deviceForIndex(6), "127.0.0.1:9");
    // The profile itself keeps the user's entries.
    EXPECT_EQ(PortMap::loadProfile().com(2), "/dev/ttyUSB0");
}

TEST(PortMap, OpenerReportsWhyAPortCannotOpen) {
    TempDir cfg;
    ScopedEnv xdg("XDG_CONFIG_HOME", cfg.path().string());
    ScopedEnv com1("TPX_COM1", (cfg.path() / "nothing-here").string());
    RealTimeLoop loop;
    PortMapOpener opener(loop, PortMap::loadEffective());
    SysStatus err;
    EXPECT_FALSE(opener.open(0, &err));
    EXPECT_EQ(err.code(), ENOENT);
    EXPECT_FALSE(opener.open(-1, &err));
    EXPECT_EQ(err.code(), ENODEV);
}
