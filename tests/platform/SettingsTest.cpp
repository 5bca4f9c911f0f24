// The settings file and the INI file behaviour underneath it.
#include "platform/Settings.h"
#include "TestHome.h"
#include "platform/Errors.h"
#include "platform/IniFile.h"

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
    const std::string before =
        "; kept comment\n[Backup]\nBPath=D:\\Backups\\\nBDate=146097\nToCD=1\n\n"
        "[recipe]\napplication path=C:\\Old\\\n[Other]\nx=y\n";
    WriteFile(h.ini(), before);
    WriteSettings("/opt/larderly/");
    std::string after = ReadFile(h.ini());
    EXPECT_NE(after.find("; kept comment"), std::string::npos);
    EXPECT_NE(after.find("[Backup]\nBPath=D:\\Backups\\\nBDate=146097\nToCD=1\n"),
              std::string::npos);
    EXPECT_NE(after.find("application path=/opt/larderly/"), std::string::npos)
        << "same key, case-insensitive";
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

TEST(Settings, OnePairOfEnclosingQuotesIsNotPartOfTheValue) {
    TestHome h;
    struct Case {
        std::string stored, read;
    } cases[] = {
        {"\"D:\\My Backups\"", "D:\\My Backups"},
        {"'/srv/backups'", "/srv/backups"},
        {"\"\"/x\"\"", "\"/x\""}, // one pair only
        {"\"/x'", "\"/x'"},       // quotes that do not match stay
        {"\"\"", ""},
        {"\"", "\""},
        {"/a \"b\"", "/a \"b\""}, // quotes inside the value stay
    };
    for (const auto& c : cases) {
        WriteFile(h.ini(), "[Backup]\nBPath=" + c.stored + "\n");
        EXPECT_EQ(ReadBackupPath(), c.read) << c.stored;
    }
}

TEST(Settings, IntegersOutsideTheThirtyTwoBitRangeGiveTheDefault) {
    TestHome h;
    struct Case {
        std::string text;
        long long date;
        bool toCD;
    } cases[] = {
        {"2147483647", 2147483647LL, true},
        {"-2147483648", -2147483648LL, true},
        {"2147483648", -1, false},
        {"-2147483649", -1, false},
        {"4294967296", -1, false}, // would wrap to 0 in 32 bits
        {"99999999999999999999999", -1, false},
    };
    for (const auto& c : cases) {
        WriteFile(h.ini(), "[Backup]\nBDate=" + c.text + "\nToCD=" + c.text + "\n");
        EXPECT_EQ(ReadBackupDate(), c.date) << c.text;
        EXPECT_EQ(ReadBackupToCD(), c.toCD) << c.text;
    }
}

TEST(Settings, ASettingsFileThatIsALinkIsWrittenWhereItPoints) {
    TestHome h;
    namespace fs = std::filesystem;
    fs::create_directories(h.path("dotfiles"));
    const std::string target = h.path("dotfiles/rcpconfig.ini");
    WriteFile(target, "[Backup]\nBPath=/srv/b\n");
    chmod(target.c_str(), 0600);
    fs::create_symlink("../dotfiles/rcpconfig.ini", h.ini());

    WriteBackupDate(146097);
    EXPECT_TRUE(fs::is_symlink(h.ini())) << "the link stays a link";
    EXPECT_EQ(ReadFile(target), "[Backup]\nBPath=/srv/b\nBDate=146097\n");
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "the target keeps its permissions";
    EXPECT_EQ(ReadBackupDate(), 146097);

    // A link to a file not there yet creates the file where it points.
    fs::remove(h.ini());
    fs::create_symlink(h.path("dotfiles/later.ini"), h.ini());
    WriteSettings("/opt/larderly/");
    EXPECT_TRUE(fs::is_symlink(h.ini()));
    EXPECT_EQ(ReadFile(h.path("dotfiles/later.ini")),
              "[Recipe]\nApplication Path=/opt/larderly/\n");
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
