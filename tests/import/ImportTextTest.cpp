// The reading rules every reader shares: lines, the character set, columns, fields.
#include "import/ImportText.h"
#include "import/TLineReader.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using namespace larderly::import;

namespace {

std::vector<std::string> AllLines(TLineReader in) {
    std::vector<std::string> out;
    while (!in.Eof())
        out.push_back(in.ReadLine());
    return out;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(LineReader, SplitsLinesAsTextFilesDo) {
    struct Case {
        const char* name;
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"line feeds", "a\nb\n", {"a", "b"}},
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"last line without an ending", "a\nb", {"a", "b"}},
        {"lone CR is left out, the line goes on", "ab\rcd\nx", {"abcd", "x"}},
        {"CR CR LF: the stray CR is left out", "a\r\r\nb\r\r\n", {"a", "b"}},
        {"classic Mac: lone CR ends lines", "a\rb\r\rc", {"a", "b", "", "c"}},
        {"mostly lone CR: CR LF ends one line too", "a\rb\r\nc\rd\r", {"a", "b", "c", "d"}},
        {"empty lines are lines", "\n\nz\n", {"", "", "z"}},
        {"trailing empty line", "a\n\n", {"a", ""}},
        {"Ctrl-Z ends the file",
         "a\nb\x1A"
         "c\nd\n",
         {"a", "b"}},
        {"Ctrl-Z at the start",
         "\x1A"
         "a\n",
         {}},
        {"empty file", "", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AllLines(TLineReader::FromBytes(c.bytes)), c.lines) << c.name;
}

TEST(LineReader, LoneCrLinesAcrossPieceBoundaries) {
    // Lines of many lengths, so that line ends (and CR LF pairs) fall on every side of the
    // reader's piece boundaries, read from memory and from a file.
    std::string bytes;
    Lines want;
    for (int i = 0; i < 3000; ++i) {
        want.push_back(
            std::string(static_cast<std::size_t>(i * 37 % 301), static_cast<char>('a' + i % 26)));
        bytes += want.back() + (i % 50 == 7 ? "\r\n" : "\r");
    }
    EXPECT_EQ(AllLines(TLineReader::FromBytes(bytes)), want);
    char tmpl[] = "/tmp/larderly-lines-XXXXXX";
    int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    TLineReader in = TLineReader::FromFile(tmpl);
    EXPECT_TRUE(in.CrLines());
    EXPECT_EQ(AllLines(std::move(in)), want);
    in = TLineReader::FromFile(tmpl);
    in.ReadLine();
    in.Rewind();
    EXPECT_EQ(in.ReadLine(), want[0]);
    unlink(tmpl);
}

TEST(LineReader, ReadingAtTheEndGivesEmptyLines) {
    TLineReader in = TLineReader::FromBytes("only\n");
    EXPECT_FALSE(in.Eof());
    EXPECT_EQ(in.ReadLine(), "only");
    EXPECT_TRUE(in.Eof());
    EXPECT_EQ(in.ReadLine(), "");
    EXPECT_EQ(in.ReadLine(), "");
    EXPECT_TRUE(in.Eof());
}

TEST(LineReader, LongLinesAreWhole) {
    std::string big(100000, 'x');
    TLineReader in = TLineReader::FromBytes(big + "\nend");
    EXPECT_EQ(in.ReadLine(), big);
    EXPECT_EQ(in.ReadLine(), "end");
}

TEST(LineReader, UnreadableFileRaisesInOutError) {
    EXPECT_THROW(TLineReader::FromFile("/nonexistent/larderly/file.mmf"), larderly::EInOutError);
    EXPECT_THROW(TLineReader::FromFile("/"), larderly::EInOutError); // a folder cannot be read
}

TEST(DecodeImportBytes, ChoosesTheCharacterSet) {
    struct Case {
        const char* name;
        std::string bytes, text;
    } cases[] = {
        {"plain ASCII", "Pie", "Pie"},
        {"valid UTF-8 stays", "Cr\xC3\xA8me", "Cr\xC3\xA8me"},
        {"Windows-1252 accents",
         "Cr\xE8me Br\xFBl\xE9"
         "e",
         "Cr\xC3\xA8me Br\xC3\xBBl\xC3\xA9"
         "e"},
        {"Windows-1252 punctuation", "\x93quoted\x94 \x96 1\xBD",
         "\xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x80\x93 1\xC2\xBD"},
        // Code page 437 bytes come through as Windows-1252: 0x82 (e-acute there) is a low quote.
        {"code page 437 read as Windows-1252", "Caf\x82", "Caf\xE2\x80\x9A"},
        {"one bad byte decodes the whole file", "\xC3\xA8 and \xE8",
         "\xC3\x83\xC2\xA8 and \xC3\xA8"},
        {"byte-order mark dropped", "\xEF\xBB\xBFTitle", "Title"},
        {"zero bytes dropped", std::string("a\0b", 3), "ab"},
        {"bytes after Ctrl-Z do not decide", "ok\x1A\xE8", "ok"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeImportBytes(c.bytes), c.text) << c.name;
}

TEST(DecodeImportBytes, DosCodePagesAndChosenEncodings) {
    struct Case {
        const char* name;
        std::string bytes;
        TEncoding encoding;
        std::string text;
    } cases[] = {
        // Bytes Windows-1252 leaves unassigned (0x81 u-umlaut, 0x90 E-acute in both DOS pages).
        {"unassigned bytes: code page 437", "M\x81sli \x90t\x82", TEncoding::Auto,
         "M\xC3\xBCsli \xC3\x89t\xC3\xA9"},
        {"box drawing beside blanks stays 437", "\x81 \xC9\xCD\xBB", TEncoding::Auto,
         "\xC3\xBC \xE2\x95\x94\xE2\x95\x90\xE2\x95\x97"},
        {"850 letters among letters", "\x81 S\xC6o Jo\xC6o", TEncoding::Auto,
         "\xC3\xBC S\xC3\xA3o Jo\xC3\xA3o"},
        // Without unassigned bytes the bytes' places tell: DOS letters inside words and box
        // drawing against Windows quotes, dashes and bullets where punctuation stands.
        {"DOS letters inside words",
         "Cr\x8Ame br\x96l\x82"
         "e",
         TEncoding::Auto,
         "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
         "e"},
        {"a rule of box drawing", "Soup\n\xCD\xCD\xCD\xCD\n", TEncoding::Auto,
         "Soup\n\xE2\x95\x90\xE2\x95\x90\xE2\x95\x90\xE2\x95\x90\n"},
        {"850 letters among letters, no unassigned byte",
         "Pur\x82"
         "e S\xC6o Jo\xC6o",
         TEncoding::Auto,
         "Pur\xC3\xA9"
         "e S\xC3\xA3o Jo\xC3\xA3o"},
        {"Windows quotes outweigh a letter", "don\x92t \x93stir\x94 Caf\x82s", TEncoding::Auto,
         "don\xE2\x80\x99t \xE2\x80\x9Cstir\xE2\x80\x9D Caf\xE2\x80\x9As"},
        {"Windows dashes, bullets and signs",
         "\x95 2\x96"
         "3 cups \x97 Brand\x99 mix, \x80"
         "5",
         TEncoding::Auto,
         "\xE2\x80\xA2 2\xE2\x80\x93"
         "3 cups \xE2\x80\x94 Brand\xE2\x84\xA2 mix, \xE2\x82\xAC"
         "5"},
        {"em dash between words is no DOS letter", "stir\x97then bake", TEncoding::Auto,
         "stir\xE2\x80\x94then bake"},
        {"asked for 437", "Caf\x82", TEncoding::Cp437, "Caf\xC3\xA9"},
        {"asked for 850", "\xB5", TEncoding::Cp850, "\xC3\x81"},
        {"asked for latin1", "\xE9\x93", TEncoding::Latin1, "\xC3\xA9\xC2\x93"},
        {"asked for Windows-1252 on UTF-8", "\xC3\xA9", TEncoding::Cp1252, "\xC3\x83\xC2\xA9"},
        {"asked for UTF-8: bad bytes replaced",
         "a\xE9"
         "b\xC3",
         TEncoding::Utf8,
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeImportBytes(c.bytes, c.encoding), c.text) << c.name;

    TEncoding e{};
    for (const char* name : {"auto", "UTF-8", "cp1252", "CP437", "cp850", "latin1"})
        EXPECT_TRUE(ParseEncoding(name, e)) << name;
    EXPECT_FALSE(ParseEncoding("ebcdic", e));
    ASSERT_TRUE(ParseEncoding("Cp850", e));
    EXPECT_EQ(std::string(EncodingName(e)), "cp850");
}

// The first pass reads runs of ASCII several bytes at a time: what it finds must not depend
// on where a run starts or ends against those steps.
TEST(TextShape, SameWhereverTheAsciiBeforeItEnds) {
    auto fields = [](const TTextShape& t) {
        return std::vector<std::size_t>{
            t.ValidUtf8,  t.UnassignedCp1252, t.LineFeeds,  t.LoneCarriageReturns, t.DosLetterLike,
            t.DosBoxLike, t.DosInWord,        t.DosBoxRuns, t.WindowsPunctuation};
    };
    const std::string tails[] = {
        "Cr\x8Ame br\x96l\x82"
        "e\n",
        "\xCD\xCD\xCD\xCD\n\xC4\xC4 \x81 \xC9\xCD\xBB",
        "don\x92t \x93stir\x94 \x95 2\x96"
        "3\r\n",
        "one\rtwo\rthree\r\rfour",
        "aaaaaaaaaaaaaaaa\xC6 xxxxxxxx\xB5\xB5\xB5 \n\n\n\n\n\n\n\nyy",
        "Caf\xC3\xA9 cr\xC3\xA8me\r\n",
    };
    for (const std::string& tail : tails)
        for (const char* end : {"\n ", "\r\n ", "\r "}) {
            const std::string first = std::string(end) + tail;
            const TTextShape want = ShapeOf(first);
            for (std::size_t k = 1; k <= 17; ++k) {
                std::string bytes = std::string(k, 'a') + first;
                const TTextShape got = ShapeOf(bytes);
                std::vector<std::size_t> w = fields(want), g = fields(got);
                EXPECT_EQ(g, w) << "tail " << tail << ", " << k << " bytes before it";
            }
        }
    const TTextShape lines = ShapeOf("0123456789\nabcdefghijklmnop\n\n\nq\r\nr\rs");
    EXPECT_EQ(lines.LineFeeds, 5u);
    EXPECT_EQ(lines.LoneCarriageReturns, 1u);
}

TEST(ImportText, ColumnsCountCharacters) {
    struct Case {
        std::string line;
        std::size_t p, q;
        std::string want;
    } cases[] = {
        {"abcdefgh", 3, 5, "cde"},
        {"abcdefgh", 6, 20, "fgh"},
        {"abc", 4, 10, ""},
        {"", 1, 20, ""},
        {"abc", 1, 1, "a"},
        {"\xC3\xA9t\xC3\xA9 x", 2, 3, "t\xC3\xA9"}, // "été x": characters, not bytes
        {"\xE2\x82\xAC"
         "12",
         1, 2,
         "\xE2\x82\xAC"
         "1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Columns(c.line, c.p, c.q), c.want) << c.line << " " << c.p << "-" << c.q;
}

TEST(ImportText, FieldsAreCutTo255ThenTrimmed) {
    EXPECT_EQ(Field("  \t Pie \x01\r"), "Pie");
    EXPECT_EQ(Field(""), "");
    // Cut first, then trimmed: text beyond character 255 is lost even after leading blanks.
    EXPECT_EQ(Field(std::string(250, ' ') + "abcdefgh"), "abcde");
    EXPECT_EQ(Field(std::string(255, ' ') + "late"), "");
    std::string accents;
    for (int i = 0; i < 300; ++i)
        accents += "\xC3\xA9";
    EXPECT_EQ(Field(accents).size(), 255u * 2);
}

TEST(ImportText, PaddingAndCategoryNames) {
    EXPECT_EQ(PadTo("1", 8), "1       ");
    EXPECT_EQ(PadTo("", 3), "   ");
    EXPECT_EQ(PadTo("toolong", 3), "toolong");
    EXPECT_EQ(PadTo("\xC3\xA9", 2), "\xC3\xA9 ");

    EXPECT_EQ(CategoryField("  *Breakfast  "), "Breakfast");
    EXPECT_EQ(CategoryField(" Main*Dish* "), "MainDish*");
    EXPECT_EQ(CategoryField(" * Soups"), " Soups"); // not trimmed again after the asterisk
    EXPECT_EQ(CategoryField("   "), "");

    EXPECT_EQ(FirstWord("Breads Quick"), "Breads");
    EXPECT_EQ(FirstWord("Breads"), "");
    EXPECT_EQ(FirstWord("Breads, Quick"), "Breads,");
}

TEST(ImportText, MasterCookBodyLines) {
    struct Case {
        std::string line, want;
    } cases[] = {
        {"   1      cup           flour", "1       cup            flour"},
        {"   2                    eggs", "2       " + std::string(15, ' ') + "eggs"},
        {" ", std::string(23, ' ')},
        {"Mix well.", "Mix well."},
        {"", ""},
        {"\tTabbed", "\tTabbed"},
        // Lines the columns would cut characters out of stay as they are, less trailing blanks:
        // text past column 104, and direction lines with a character in columns 9-10.
        {"   1      cup           " + std::string(80, 'a') + "LOST  ",
         "   1      cup           " + std::string(80, 'a') + "LOST"},
        {"  Serve hot with syrup.", "  Serve hot with syrup."},
        {"  \"Description!\"   ", "  \"Description!\""},
        // A direction line that fits the columns is still rebuilt like an ingredient.
        {"  Serve.", "Serve." + std::string(17, ' ')},
        // Tabs stop every 8 columns before the columns are cut.
        {"   1\t  cup\t\t  granulated sugar", "1       cup            granulated sugar"},
        {" 1/2\t  tsp\t\tsalt", "1/2     tsp            salt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MasterCookBodyLine(c.line), c.want) << "[" << c.line << "]";
}
