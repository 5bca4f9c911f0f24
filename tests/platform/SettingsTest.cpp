// The settings file and the INI file behaviour underneath it.
#include "TestHome.h"
#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "platform/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace larderly;
using larderly::testing::ReadFile;
using larderly::testing::TestHome;
using larderly::testing::WriteFile;

TEST(Settings, FirstStartCreatesOnlyTheRecipeSection) {
    TestHome h;
    EXPECT_EQ(ReadSettings(), "C:\\");
    EXPECT_FALSE(std::filesystem::exists(h.ini())) << "reading never creates the file";
    WriteSettings(h.home());
    EXPECT_EQ(ReadFile(h.ini()), "[Recipe]\nApplication Path=" + h.home() + "\n");
    EXPECT_EQ(ReadSettings(), h.home());
}

TEST(Settings, WritingTheApplicationPathKeepsEverythingElse) {
    TestHome h;
    const std::string before = "; kept comment\n[Backup]\nBPath=D:\\Backups\\\nBDate=146097\nToCD=1\n\n"
                               "[recipe]\napplication path=C:\\Old\\\n[Other]\nx=y\n";
    WriteFile(h.ini(), before);
    WriteSettings("/opt/larderly/");
    std::string after = ReadFile(h.ini());
    EXPECT_NE(after.find("; kept comment"), std::string::npos);
    EXPECT_NE(after.find("[Backup]\nBPath=D:\\Backups\\\nBDate=146097\nToCD=1\n"), std::string::npos);
    EXPECT_NE(after.find("application path=/opt/larderly/"), std::string::npos) << "same key, case-insensitive";
    EXPECT_NE(after.find("[Other]\nx=y"), std::string::npos);
    EXPECT_EQ(ReadBackupPath(), "D:\\Backups\\") << "a backslash is just a character";
    EXPECT_EQ(ReadBackupDate(), 146097);
    EXPECT_TRUE(ReadBackupToCD());
}

TEST(Settings, ValuesThatDoNotReadAsTheirTypeGiveTheDefault) {
    TestHome h;
    struct Case {
        std::string text;
        long long date;
        bool toCD;
    } cases[] = {
        {"[Backup]\nBDate=12x\nToCD=yes\n", -1, false},
        {"[Backup]\nBDate=\nToCD=\n", -1, false},
        {"[Backup]\nBDate=-5\nToCD=0\n", -5, false},
        {"[Backup]\nBDate= 730 \nToCD=2\n", 730, true},
        {"garbage line\n=novalue\n[Backup\nBDate=1\n", -1, false},
        {"[BACKUP]\nbdate=42\ntocd=1\n", 42, true},
    };
    for (const auto& c : cases) {
        WriteFile(h.ini(), c.text);
        EXPECT_EQ(ReadBackupDate(), c.date) << c.text;
        EXPECT_EQ(ReadBackupToCD(), c.toCD) << c.text;
    }
}

TEST(Settings, BackupKeysAndDateText) {
    TestHome h;
    WriteBackupPath("A:\\");
    WriteBackupDate(146097);
    WriteBackupToCD(false);
    EXPECT_EQ(ReadFile(h.ini()), "[Backup]\nBPath=A:\\\nBDate=146097\nToCD=0\n");
    EXPECT_EQ(BackupDateText(146097), "01/01/2000");
    EXPECT_EQ(BackupDateText(0), "None");
    EXPECT_EQ(BackupDateText(-1), "None");
}

TEST(Settings, AMissingSettingsFolderIsCreatedAndAFailedWriteKeepsTheOldFile) {
    TestHome h;
    setenv("LARDERLY_WINDIR", h.path("new/deep/win").c_str(), 1);
    WriteSettings("/x/");
    EXPECT_TRUE(std::filesystem::exists(h.path("new/deep/win/rcpconfig.ini")));

    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    chmod(h.path("new/deep/win").c_str(), 0555);
    EXPECT_THROW(WriteSettings("/y/"), EInOutError);
    chmod(h.path("new/deep/win").c_str(), 0755);
    EXPECT_EQ(ReadSettings(), "/x/");
}
