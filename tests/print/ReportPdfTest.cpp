// The report as a PDF file: drawn through the CLI (larderly-cli print) and read back with
// pdftotext and pdfinfo, and page counts checked against the engine's own line metrics.
#include "LocaleFixture.h"
#include "PrintFixture.h"

#include "platform/DayNumber.h"
#include "print/QtReportEngine.h"
#include "print/RecipeReport.h"

#include <QGuiApplication>
#include <QPdfWriter>

#include <gmock/gmock.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace larderly {
namespace {

using test::TempStore;

// A QGuiApplication for in-process drawing, unless another test made an application first.
void App() {
    static int argc = 1;
    static char name[] = "print_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QGuiApplication(argc, argv);
}

struct RunResult {
    int status = -1;
    std::string out;
};

RunResult Shell(const std::string& cmd) {
    RunResult r;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// The CLI runs without a display and without a platform chosen for it.
std::string Cli() {
    return "env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY " + std::string(LARDERLY_BIN_DIR) +
           "/larderly-cli";
}

RunResult PrintPdf(const TempStore& t, int32_t id, const std::string& pdf) {
    return Shell(Cli() + " --home '" + t.home + "' print " + std::to_string(id) + " --pdf '" + pdf +
                 "' --date 03/04/2027");
}

int PdfPages(const std::string& pdf) {
    RunResult r = Shell("pdfinfo '" + pdf + "'");
    const auto at = r.out.find("Pages:");
    if (at == std::string::npos) return -1;
    return std::atoi(r.out.c_str() + at + 6);
}

std::vector<std::string> Words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> w;
    for (std::string x; in >> x;)
        w.push_back(x);
    return w;
}

// Whether `needle` occurs in `hay` in order (other words may come between).
bool InOrder(const std::vector<std::string>& hay, const std::vector<std::string>& needle) {
    std::size_t k = 0;
    for (const auto& w : hay)
        if (k < needle.size() && w == needle[k]) ++k;
    return k == needle.size();
}

class ReportPdf : public ::testing::Test {
protected:
    TempStore t;
};

TEST_F(ReportPdf, TitleDateCategoriesAndEveryWordInOrder) {
    const int32_t soups = t.AddLabel("Soups"), quick = t.AddLabel("Quick Meals");
    std::vector<std::string> text = {
        "Wash three leeks and slice them thinly, discarding the dark green tops which are tough.",
        "",
        "Melt butter in a heavy pot; add the leeks with a pinch of salt and sweat them gently for "
        "fifteen minutes without letting them colour, stirring now and again with a wooden spoon.",
        "Serve hot."};
    const int32_t id = t.AddRecipe("Leek and Potato Soup", {-1, soups, -1, quick}, text);
    t.store.SetTablesOpen(false);
    const std::string pdf = t.home + "r.pdf";
    RunResult r = PrintPdf(t, id, pdf);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, ::testing::HasSubstr("1 page"));

    RunResult txt = Shell("pdftotext -layout '" + pdf + "' -");
    ASSERT_EQ(txt.status, 0) << txt.out;
    std::istringstream lines(txt.out);
    std::vector<std::string> ls;
    for (std::string l; std::getline(lines, l);)
        if (l.find_first_not_of(" \f") != std::string::npos) ls.push_back(l);
    ASSERT_GE(ls.size(), 4u) << txt.out;
    // Title and date are centred: indented by roughly half of what is left of the line.
    EXPECT_THAT(ls[0], ::testing::MatchesRegex(" {10,}Leek and Potato Soup *"));
    EXPECT_THAT(ls[1], ::testing::MatchesRegex(" {10,}Printed on: 03/04/2027 *"));
    // The categories line starts at the left edge with the rule of the empty first slot.
    EXPECT_EQ(ls[2], "Categories: ; Soups; Quick Meals");
    std::vector<std::string> expected;
    for (const auto& l : text)
        for (auto& w : Words(l))
            expected.push_back(w);
    std::vector<std::string> got;
    for (std::size_t i = 3; i < ls.size(); ++i)
        for (auto& w : Words(ls[i]))
            got.push_back(w);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(PdfPages(pdf), 1);
}

TEST_F(ReportPdf, LongRecipeBreaksPagesKeepingFiveLinesFree) {
    App();
    // Lines per page from the engine's own metrics.
    int pageLines = 0;
    {
        QPdfWriter w((t.home + "probe.pdf").c_str());
        SetupReportPage(w);
        QPainter p(&w);
        TQtReportEngine e(w, p);
        e.SetFont(report::kFontName, report::kFontPoints);
        pageLines = e.LinesLeft();
    }
    ASSERT_GT(pageLines, 20);
    // Short lines that never wrap: page 1 holds pageLines - 10 of them (five header lines,
    // five kept free), every further page pageLines - 5.
    const int textLines = 3 * pageLines;
    std::vector<std::string> text;
    for (int i = 0; i < textLines; ++i)
        text.push_back("line" + std::to_string(i));
    const int32_t id = t.AddRecipe("Long", {-1, -1, -1, -1}, text);
    const int rest = textLines - (pageLines - 10);
    const int expectedPages = 1 + (rest + (pageLines - 5) - 1) / (pageLines - 5);
    t.store.SetTablesOpen(false);

    const std::string pdf = t.home + "long.pdf";
    RunResult r = PrintPdf(t, id, pdf);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(PdfPages(pdf), expectedPages);
    // The first page ends with the line the reserve predicts, and nothing is lost.
    RunResult p1 = Shell("pdftotext -f 1 -l 1 '" + pdf + "' -");
    std::vector<std::string> w1 = Words(p1.out);
    ASSERT_FALSE(w1.empty());
    EXPECT_EQ(w1.back(), "line" + std::to_string(pageLines - 11));
    std::vector<std::string> all = Words(Shell("pdftotext '" + pdf + "' -").out);
    std::vector<std::string> want;
    for (int i = 0; i < textLines; ++i)
        want.push_back("line" + std::to_string(i));
    EXPECT_TRUE(InOrder(all, want));
    EXPECT_EQ(std::count_if(all.begin(), all.end(),
                            [](const std::string& s) { return s.rfind("line", 0) == 0; }),
              textLines);
}

TEST_F(ReportPdf, PaperFollowsTheRegionalSettings) {
    const int32_t id = t.AddRecipe("Paper", {-1, -1, -1, -1}, {"x"});
    t.store.SetTablesOpen(false);
    struct Case {
        const char* locale;
        const char* paper;
    };
    for (const Case& c : {Case{"de_DE", "(A4)"}, Case{"en_US", "(letter)"}}) {
        testing::CompiledLocale locale(c.locale);
        if (!locale.ok()) GTEST_SKIP() << "localedef cannot compile " << c.locale << " here";
        const std::string pdf = t.home + c.locale + ".pdf";
        RunResult r = PrintPdf(t, id, pdf);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(Shell("pdfinfo '" + pdf + "'").out.find(c.paper), std::string::npos) << c.locale;
    }
}

TEST_F(ReportPdf, WithoutADateTodayIsPrinted) {
    const int32_t id = t.AddRecipe("Today", {-1, -1, -1, -1}, {"x"});
    t.store.SetTablesOpen(false);
    const std::string pdf = t.home + "today.pdf";
    const std::string before = FormatDayNumber(TodayDayNumber(), LocaleDateSeparator());
    RunResult r = Shell(Cli() + " --home '" + t.home + "' print " + std::to_string(id) +
                        " --pdf '" + pdf + "'");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string after = FormatDayNumber(TodayDayNumber(), LocaleDateSeparator());
    const std::string text = Shell("pdftotext '" + pdf + "' -").out;
    EXPECT_TRUE(text.find("Printed on: " + before) != std::string::npos ||
                text.find("Printed on: " + after) != std::string::npos)
        << text;
}

TEST(ReportDate, AMultiByteSeparatorIsPrintedWhole) {
    larderly::testing::CompiledLocale ja("ja_JP");
    if (!ja.ok()) GTEST_SKIP() << "localedef cannot compile ja_JP here";
    const std::string year = "\xE5\xB9\xB4"; // the locale's format is "%Y年%m月%d日"
    const CivilDate today = DateOfDayNumber(TodayDayNumber());
    EXPECT_EQ(TodayReportDate(), ReportDateText(today.year, today.month, today.day, year));
}

TEST_F(ReportPdf, FailuresExitOneWithTheStoreMessageAndWriteNoFile) {
    const int32_t gone = t.AddLabel("Gone");
    const int32_t withLabel = t.AddRecipe("Orphaned", {gone, -1, -1, -1}, {"x"});
    t.AddLabel("Kept");
    ASSERT_TRUE(t.store.tblListLabel().Locate(gone));
    t.store.tblListLabel().Delete();
    t.store.SetTablesOpen(false);
    struct Case {
        int32_t id;
        const char* message;
    };
    for (const Case& c : {Case{4242, "Unable to find Recipe Record. Contact Support"},
                          Case{withLabel, "Unable to find Label Record. Contact Support"}}) {
        const std::string pdf = t.home + "fail" + std::to_string(c.id) + ".pdf";
        RunResult r = PrintPdf(t, c.id, pdf);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_THAT(r.out, ::testing::HasSubstr(c.message));
        EXPECT_FALSE(std::filesystem::exists(pdf));
    }
    EXPECT_EQ(Shell(Cli() + " --home '" + t.home + "' print abc --pdf x.pdf").status, 2);
    EXPECT_EQ(Shell(Cli() + " --home '" + t.home + "' print 1").status, 2);
}

} // namespace
} // namespace larderly

namespace larderly {
namespace {

struct PdfWord {
    double xMin, yMin, xMax;
    std::string text;
};

// Every word of the PDF with its box, as pdftotext -bbox gives it.
std::vector<PdfWord> BoxedWords(const std::string& pdf) {
    std::vector<PdfWord> words;
    std::istringstream in(Shell("pdftotext -bbox '" + pdf + "' -").out);
    for (std::string l; std::getline(in, l);) {
        PdfWord w{};
        char text[256] = {};
        if (std::sscanf(l.c_str(),
                        " <word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%*f\">%255[^<]",
                        &w.xMin, &w.yMin, &w.xMax, text) == 4) {
            w.text = text;
            words.push_back(w);
        }
    }
    return words;
}

TEST_F(ReportPdf, ScaledIngredientBlockPrintsInColumnsWithHeadingsInBold) {
    const int32_t id = t.AddRecipe(
        "Pie", {-1, -1, -1, -1},
        {"Serving Size  : 4", "", "MMMMM-----CRUST-----", "      1 c  Flour", "  1 1/2 ts Salt",
         "     12    Eggs", "      2 tb Butter; softened and cut into", "           -small pieces",
         "", "MMMMM-----TOPPING-----", "    1/2 lb Cheese", "", "  Mix well and bake."});
    t.store.SetTablesOpen(false);
    const std::string pdf = t.home + "pie.pdf";
    RunResult r = Shell(Cli() + " --home '" + t.home + "' print " + std::to_string(id) +
                        " --pdf '" + pdf + "' --date 03/04/2027 --servings 6");
    ASSERT_EQ(r.status, 0) << r.out;

    const std::vector<PdfWord> words = BoxedWords(pdf);
    ASSERT_FALSE(words.empty());
    // The words of each printed line, by their height on the page.
    std::map<long, std::vector<PdfWord>> lines;
    for (const PdfWord& w : words)
        lines[std::lround(w.yMin * 10)].push_back(w);
    struct Row {
        std::string amount, unit, item;
        double amountRight, unitLeft, itemLeft;
    };
    std::vector<Row> rows;
    const std::set<std::string> units = {"c", "ts", "tb", "lb"};
    for (auto& [y, ws] : lines) {
        std::size_t item = 0;
        while (item < ws.size() && !std::isalpha(static_cast<unsigned char>(ws[item].text[0])))
            ++item;
        if (item == 0 || item == ws.size()) continue; // no amount first
        Row row{};
        std::size_t amountEnd = item;
        if (units.count(ws[item].text)) {
            row.unit = ws[item].text;
            row.unitLeft = ws[item].xMin;
            ++item;
        }
        for (std::size_t k = 0; k < amountEnd; ++k)
            row.amount += (k ? " " : "") + ws[k].text;
        row.amountRight = ws[amountEnd - 1].xMax;
        row.item = ws[item].text;
        row.itemLeft = ws[item].xMin;
        rows.push_back(row);
    }
    std::vector<std::string> seen;
    for (const Row& row : rows)
        seen.push_back(row.amount + "|" + row.unit + "|" + row.item);
    EXPECT_THAT(seen, ::testing::ElementsAre("1 1/2|c|Flour", "2 1/4|ts|Salt", "18||Eggs",
                                             "3|tb|Butter;", "3/4|lb|Cheese"));
    for (const Row& row : rows) {
        EXPECT_NEAR(row.amountRight, rows[0].amountRight, 0.5) << row.amount;
        EXPECT_NEAR(row.itemLeft, rows[0].itemLeft, 0.5) << row.item;
        if (!row.unit.empty()) {
            EXPECT_NEAR(row.unitLeft, rows[0].unitLeft, 0.5) << row.unit;
            EXPECT_GT(row.unitLeft, row.amountRight);
            EXPECT_GT(row.itemLeft, row.unitLeft);
        }
    }
    // The continuation joins its ingredient; the heading markers are not printed.
    std::vector<std::string> all;
    for (const PdfWord& w : words)
        all.push_back(w.text);
    EXPECT_TRUE(InOrder(all, {"CRUST", "Flour", "Butter;", "softened", "and", "cut", "into",
                              "small", "pieces", "TOPPING", "Cheese", "Mix"}));
    for (const std::string& w : all)
        EXPECT_EQ(w.find("MMMMM"), std::string::npos) << w;
    EXPECT_THAT(Shell("pdffonts '" + pdf + "'").out, ::testing::HasSubstr("Bold"));
}

} // namespace
} // namespace larderly
