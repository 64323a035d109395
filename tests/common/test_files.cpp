#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "common/files.h"
#include "common/inifile.h"
#include "testutil.h"

using namespace tpx;

TEST(Files, FindFileIgnoresCaseAndTakesBackslashesAndDots) {
    TempDir dir;
    fs::create_directories(dir.path() / "DATA");
    writeText(dir.path() / "DATA" / "CFGCOMM.DAT", "x");
    auto found = findFile(dir.path(), ".\\DATA\\cfgcomm.DAT");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->filename(), "CFGCOMM.DAT");
    EXPECT_TRUE(findFile(dir.path(), "data/CfgComm.dat"));
    EXPECT_FALSE(findFile(dir.path(), ".\\DATA\\missing.dat"));
    // A new file goes into the existing folder of any case, named as spelled.
    EXPECT_EQ(pathForWrite(dir.path(), ".\\data\\partial.dat"), dir.path() / "DATA" / "partial.dat");
    EXPECT_EQ(pathForWrite(dir.path(), ".\\DATA\\cfgcomm.DAT"), dir.path() / "DATA" / "CFGCOMM.DAT");
}

TEST(Files, SeedingCopiesWhatIsMissingAndKeepsTheUsersFiles) {
    TempDir shipped, home;
    fs::create_directories(shipped.path() / "DATA");
    fs::create_directories(shipped.path() / "user");
    writeText(shipped.path() / "DATA" / "ADM56.ERR", "shipped");
    writeText(shipped.path() / "DATA" / "CAN56.LCD", "shipped");
    fs::create_directories(home.path() / "data");
    writeText(home.path() / "data" / "adm56.err", "edited by the site");

    ASSERT_TRUE(seedHome(home.path(), shipped.path()).ok());
    EXPECT_EQ(readText(home.path() / "data" / "adm56.err"), "edited by the site");
    EXPECT_EQ(readText(home.path() / "data" / "CAN56.LCD"), "shipped");
    EXPECT_TRUE(fs::is_directory(home.path() / "user"));
    EXPECT_FALSE(fs::exists(home.path() / "DATA"));  // no second folder of another case
}

TEST(Files, TpxHomeFollowsTheEnvironment) {
    ScopedEnv a("TPX_HOME", "/some/where");
    EXPECT_EQ(tpxHome(), fs::path("/some/where"));
    ScopedEnv b("TPX_HOME", "");
    ScopedEnv c("XDG_DATA_HOME", "");
    ScopedEnv d("HOME", "/home/u");
    EXPECT_EQ(tpxHome(), fs::path("/home/u/.local/share/tpx"));
}

TEST(Files, AtomicWriteReplacesWholeOrLeavesTheOldFile) {
    TempDir dir;
    fs::path f = dir.path() / "settings.dat";
    ASSERT_TRUE(writeFileAtomically(f, "first").ok());
    ASSERT_TRUE(writeFileAtomically(f, "second").ok());
    EXPECT_EQ(readText(f), "second");
    // A path whose folder is a file cannot be written: an error, and nothing else changes.
    writeText(dir.path() / "plain", "x");
    SysStatus st = writeFileAtomically(dir.path() / "plain" / "f", "data");
    EXPECT_FALSE(st.ok());
    EXPECT_NE(st.message().find("plain/f"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(IniFile, RoundTripsSectionsAndKeys) {
    TempDir dir;
    IniFile ini;
    ini.setValue("Ports", "COM1", "/dev/ttyUSB0");
    ini.setValue("Ports", "TELNET", "server:4001");
    ini.setValue("Other", "Key", "a b c");
    ASSERT_TRUE(ini.save(dir.path() / "sub" / "p.conf").ok());
    IniFile back = IniFile::load(dir.path() / "sub" / "p.conf");
    EXPECT_EQ(back.value("Ports", "COM1"), "/dev/ttyUSB0");
    EXPECT_EQ(back.value("Ports", "TELNET"), "server:4001");
    EXPECT_EQ(back.value("Other", "Key"), "a b c");
    EXPECT_FALSE(back.value("Ports", "COM2"));
    EXPECT_FALSE(IniFile::load(dir.path() / "missing.conf").value("Ports", "COM1"));
}
