// Text helpers, day numbers and the drive map.
#include "LocaleFixture.h"
#include "TestHome.h"
#include "platform/DayNumber.h"
#include "platform/DriveMap.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "platform/Settings.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace larderly;

TEST(Text, CutsCountCharactersNotBytes) {
    EXPECT_EQ(CutChars("abcdef", 3), "abc");
    EXPECT_EQ(CutChars("\xC3\xA9t\xC3\xA9", 2), "\xC3\xA9t");
    EXPECT_EQ(CutChars("\xE2\x82\xAC\xE2\x82\xAC", 1), "\xE2\x82\xAC")
        << "never splits a character";
    EXPECT_EQ(CharCount("\xC3\xA9t\xC3\xA9"), 3u);
    EXPECT_EQ(CutChars("ab", 10), "ab");
}

TEST(Text, FoldingTrimmingAndOrder) {
    EXPECT_EQ(FoldAZ("AbC\xC3\x89z"), "abc\xC3\x89z") << "only A-Z fold";
    EXPECT_EQ(TrimCodes(std::string("\t \x01 x y \r\n", 10)), "x y");
    EXPECT_EQ(CompareFolded("apple", "APPLE"), 0);
    EXPECT_LT(CompareFolded("app", "apple"), 0) << "a prefix sorts first";
    // Letters fold to upper case, so '_' (0x5F) sorts after every letter.
    EXPECT_LT(CompareFolded("a", "_"), 0);
    EXPECT_LT(CompareFolded("Zebra", "_x"), 0);
    EXPECT_NE(CompareFolded("\xC3\xA9", "\xC3\x89"), 0) << "accented letters do not fold";
}

TEST(Text, Windows1252AndUtf8) {
    EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9"));
    EXPECT_FALSE(IsValidUtf8("caf\xE9"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF")) << "overlong";
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80")) << "surrogate";
    // After and across runs of ASCII of any length.
    for (std::size_t n = 0; n <= 17; ++n) {
        const std::string ascii(n, 'a');
        EXPECT_TRUE(IsValidUtf8(ascii + "\xC3\xA9" + ascii)) << n;
        EXPECT_FALSE(IsValidUtf8(ascii + "caf\xE9" + ascii)) << n;
        EXPECT_FALSE(IsValidUtf8(ascii + "\xED\xA0\x80")) << n;
        EXPECT_FALSE(IsValidUtf8(ascii + "\xC3")) << n;
    }
    EXPECT_EQ(DecodeWindows1252("caf\xE9 \x80 \x93x\x94 \x81"),
              "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D \xC2\x81");
    EXPECT_EQ(ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(ToUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
}

TEST(DayNumbers, KnownDaysRoundTripAndDisplay) {
    EXPECT_EQ(DayNumber(1600, 1, 1), 0);
    EXPECT_EQ(DayNumber(2000, 1, 1), 146097);
    EXPECT_EQ(DayNumber(1600, 3, 1), 60) << "1600 is a leap year";
    EXPECT_EQ(DayNumber(1900, 3, 1) - DayNumber(1900, 2, 28), 1) << "1900 is not";
    for (long long d : {0LL, 59LL, 60LL, 146097LL, 154000LL, 200000LL}) {
        CivilDate c = DateOfDayNumber(d);
        EXPECT_EQ(DayNumber(c.year, c.month, c.day), d);
    }
    EXPECT_EQ(FormatDayNumber(DayNumber(2026, 12, 9), "/"), "12/09/2026");
    EXPECT_EQ(FormatDayNumber(DayNumber(2001, 2, 3), "."), "02.03.2001");
    EXPECT_GT(TodayDayNumber(), DayNumber(2020, 1, 1));
    EXPECT_EQ(LocaleDateSeparator().size(), 1u);
}

TEST(DayNumbers, TheDateSeparatorIsOneWholeCharacterOfTheFormat) {
    struct Case {
        const char* format;
        const char* separator;
    } cases[] = {
        {"%m/%d/%y", "/"},
        {"%d.%m.%Y", "."},
        {"%Y-%m-%d", "-"},
        {"%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5",
         "\xE5\xB9\xB4"},                      // three bytes, one character
        {"%-d.%-m.%Y", "."},                   // flags before the letter
        {"%Ey\xE5\xB9\xB4%m", "\xE5\xB9\xB4"}, // a modifier before it
        {"%D", "/"},
        {"%F", "-"},
        {"%d%m%Y", "/"},
        {"", "/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateSeparatorOfFormat(c.format), c.separator) << c.format;
}

TEST(DayNumbers, AJapaneseLocaleShowsItsSeparatorWhole) {
    larderly::testing::CompiledLocale ja("ja_JP");
    if (!ja.ok()) GTEST_SKIP() << "localedef cannot compile ja_JP here";
    const std::string year = "\xE5\xB9\xB4"; // the locale's format is "%Y年%m月%d日"
    EXPECT_EQ(LocaleDateSeparator(), year);
    const std::string shown = BackupDateText(DayNumber(2026, 12, 9));
    EXPECT_EQ(shown, "12" + year + "09" + year + "2026");
    EXPECT_TRUE(IsValidUtf8(shown));
}

TEST(DriveMap, LettersMapThroughTheSettingsFile) {
    larderly::testing::TestHome h;
    EXPECT_EQ(DriveLetterOf("a:\\backup"), 'A');
    EXPECT_EQ(DriveLetterOf("/home/x"), 0);
    EXPECT_TRUE(IsDisketteDrive("A:/"));
    EXPECT_FALSE(IsDisketteDrive("B:\\"));
    EXPECT_EQ(ResolveDrivePath("A:\\"), "/media/floppy0/");
    EXPECT_EQ(ResolveDrivePath("/srv/backups\\x"), "/srv/backups/x");
    EXPECT_THROW(ResolveDrivePath("D:\\Backups"), std::runtime_error);
    IniFile::WriteValue(h.ini(), "Drives", "A", h.path("floppy/"));
    IniFile::WriteValue(h.ini(), "Drives", "d", "/srv/d");
    EXPECT_EQ(ResolveDrivePath("a:\\sub\\dir"), h.path("floppy/sub/dir"));
    EXPECT_EQ(ResolveDrivePath("D:Backups"), "/srv/d/Backups");
    EXPECT_EQ(fileutil::ToForwardSlashes("C:\\a\\b"), "C:/a/b");
}
