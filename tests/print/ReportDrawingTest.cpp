// The recipe report's drawing, its categories text, the memo buffer's wrapping and its
// failures, over an engine that records what is drawn on a page of fixed-width lines.
#include "PrintFixture.h"

#include "print/RecipeReport.h"
#include "print/ReportEngine.h"
#include "store/StoreError.h"

#include <gmock/gmock.h>

#include <cctype>
#include <map>
#include <random>

namespace larderly {
namespace {

using test::TempStore;
using ::testing::ElementsAre;

// Every byte is 1/8 inch wide; a page holds `pageLines` lines.
class RecordingEngine : public TReportEngine {
public:
    struct Op {
        int page;
        int line;
        std::string kind; // "center", "left", "at"
        std::string text;
        double x;
        bool bold = false;
    };
    explicit RecordingEngine(int pageLines = 20, double width = 8.5, double margin = 0.5)
        : pageLines_(pageLines), width_(width), margin_(margin) {}

    void SetFont(const std::string& name, double points) override {
        fonts.push_back(name + "/" + std::to_string(int(points)));
    }
    double PageWidth() const override { return width_; }
    double SectionLeft() const override { return margin_; }
    double SectionRight() const override { return width_ - margin_; }
    void PrintCenter(const std::string& text, double x) override {
        ops.push_back({page, line, "center", text, x, bold_});
    }
    void Println(const std::string& text) override {
        ops.push_back({page, line, "left", text, margin_, bold_});
        ++line;
    }
    void PrintAt(const std::string& text, double x) override {
        if (!text.empty()) ops.push_back({page, line, "at", text, x, bold_});
    }
    void SetBold(bool bold) override { bold_ = bold; }
    void NewLine() override { ++line; }
    int LinesLeft() const override { return pageLines_ - line; }
    void NewPage() override {
        ++page;
        line = 0;
    }
    double TextWidth(const std::string& text) const override { return 0.125 * double(text.size()); }

    std::vector<std::string> LeftTexts() const {
        std::vector<std::string> out;
        for (const auto& op : ops)
            if (op.kind == "left") out.push_back(op.text);
        return out;
    }

    int page = 1;
    int line = 0;
    std::vector<Op> ops;
    std::vector<std::string> fonts;

private:
    int pageLines_;
    double width_, margin_;
    bool bold_ = false;
};

TEST(ReportText, DateAndStatusTexts) {
    EXPECT_EQ(ReportDateText(2027, 1, 2, "/"), "01/02/2027");
    EXPECT_EQ(ReportDateText(987, 12, 31, "."), "12.31.0987");
    EXPECT_EQ(StatusText(report::kGeneratingText, 3), "Generating page 3");
    EXPECT_EQ(StatusText(report::kPrintingText, 12), "Printing page 12");
}

TEST(MemoBuf, WrapsAtWordBoundariesBetweenTheEdges) {
    RecordingEngine e; // 1/8 inch per byte
    struct Case {
        const char* name;
        int width; // characters between the edges
        std::vector<std::string> text;
        std::vector<std::string> wrapped;
    };
    const std::vector<Case> cases = {
        {"fits", 8, {"one two"}, {"one two"}},
        {"breaks between words", 10, {"one two three four"}, {"one two", "three four"}},
        {"exact fit stays on the line", 7, {"one two three"}, {"one two", "three"}},
        {"empty lines are kept", 8, {"a", "", "b"}, {"a", "", "b"}},
        {"a word wider than the span is broken",
         4,
         {"abcdefghij xy"},
         {"abcd", "efgh", "ij", "xy"}},
        {"indentation is kept, trailing blanks dropped", 8, {"  one   "}, {"  one"}},
        {"no text", 8, {}, {}},
        {"tabs stop every eight columns",
         40,
         {"a\tb", "abcdefgh\tx", "\tx\ty"},
         {"a       b", "abcdefgh        x", "        x       y"}},
        {"a tab counts characters, not bytes", 40, {"\xc3\xa9\tx"}, {"\xc3\xa9       x"}},
    };
    for (const auto& c : cases) {
        TMemoBuf memo;
        memo.SetLines(c.text);
        memo.Wrap(e, 1.0, 1.0 + 0.125 * c.width);
        EXPECT_EQ(memo.Lines(), c.wrapped) << c.name;
    }
}

TEST(MemoBuf, NeverSplitsAMultiByteCharacter) {
    RecordingEngine e;
    TMemoBuf memo;
    memo.SetLines({"\xc3\xa9\xc3\xa9\xc3\xa9"}); // three e-acute, six bytes
    memo.Wrap(e, 0, 0.375);                      // room for three bytes
    for (const auto& l : memo.Lines())
        EXPECT_EQ(l.size() % 2, 0u) << l;
}

TEST(MemoBuf, RandomTextsKeepEveryWordAndFitTheSpan) {
    RecordingEngine e;
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> text;
        const int lines = int(rng() % 5);
        for (int l = 0; l < lines; ++l) {
            std::string line;
            const int len = int(rng() % 60);
            for (int k = 0; k < len; ++k)
                line += "ab  cdefghijklmnop\t"[rng() % 19];
            text.push_back(line);
        }
        const int width = 1 + int(rng() % 12);
        TMemoBuf memo;
        memo.SetLines(text);
        memo.Wrap(e, 0, 0.125 * width);
        std::string in, out;
        for (const auto& l : text)
            for (char c : l)
                if (c != ' ' && c != '\t') in += c;
        for (const auto& l : memo.Lines()) {
            EXPECT_LE(l.size(), std::size_t(width)) << "round " << round;
            for (char c : l)
                if (c != ' ') out += c;
        }
        EXPECT_EQ(out, in) << "round " << round;
        EXPECT_GE(memo.LineCount(), text.size()) << "every line of the text gives at least one";
    }
}

TEST(RecipeReport, DrawsTitleDateCategoriesAndText) {
    TempStore t;
    const int32_t soups = t.AddLabel("Soups");
    const int32_t quick = t.AddLabel("Quick");
    const int32_t id =
        t.AddRecipe("Leek Soup", {soups, -1, -1, quick}, {"Chop the leeks.", "Simmer."});
    RecordingEngine e;
    DrawRecipeReport(e, t.store, id, "01/02/2027");
    EXPECT_THAT(e.fonts, ElementsAre("MS Sans Serif/12"));
    ASSERT_GE(e.ops.size(), 5u);
    EXPECT_EQ(e.ops[0].kind, "center");
    EXPECT_EQ(e.ops[0].text, "Leek Soup");
    EXPECT_DOUBLE_EQ(e.ops[0].x, 8.5 / 2);
    EXPECT_EQ(e.ops[1].kind, "center");
    EXPECT_EQ(e.ops[1].text, "Printed on: 01/02/2027");
    EXPECT_EQ(e.ops[1].line, 1);
    // A blank line, the categories at the left edge on line 3, a blank line, the text.
    EXPECT_EQ(e.ops[2].text, "Categories: Soups; Quick");
    EXPECT_EQ(e.ops[2].line, 3);
    EXPECT_EQ(e.ops[3].text, "Chop the leeks.");
    EXPECT_EQ(e.ops[3].line, 5);
    EXPECT_EQ(e.ops[4].text, "Simmer.");
}

TEST(RecipeReport, IngredientBlockPrintsAsATableWithHeadings) {
    TRecipeReportData d{"Pie",
                        "",
                        {"Serving Size  : 4", "", "MMMMM-----CRUST-----", "      1 c  Flour",
                         "  1 1/2 ts Salt", "     12    Eggs",
                         "      2 tb Butter; softened and cut into", "           -small pieces",
                         "For the topping:", "      1 lb Cheese", "",
                         "Directions:", "  Mix well -- then bake: 1 hour."}};
    RecordingEngine e(60); // 1/8 inch per byte from the left edge at 0.5
    DrawRecipeReports(e, {d}, "x");
    // The widest amount "1 1/2" ends the amount column at 0.5 + 5/8; two blanks; the widest
    // unit "ts"; two blanks; the items.
    const double amountRight = 1.125, unitLeft = 1.375, itemLeft = 1.875;
    std::vector<std::vector<std::string>> rows; // the texts printed on each table line
    std::map<int, std::vector<std::string>> byLine;
    for (const auto& op : e.ops) {
        if (op.kind != "at") continue;
        byLine[op.line].push_back(op.text);
        EXPECT_FALSE(op.bold) << op.text;
        const bool amount = std::isdigit(static_cast<unsigned char>(op.text[0]));
        const bool unit = op.text == "c" || op.text == "ts" || op.text == "tb" || op.text == "lb";
        if (amount)
            EXPECT_DOUBLE_EQ(op.x + 0.125 * double(op.text.size()), amountRight) << op.text;
        else if (unit)
            EXPECT_DOUBLE_EQ(op.x, unitLeft) << op.text;
        else
            EXPECT_DOUBLE_EQ(op.x, itemLeft) << op.text;
    }
    for (auto& [line, texts] : byLine)
        rows.push_back(texts);
    using V = std::vector<std::string>;
    EXPECT_THAT(rows, ElementsAre(V{"1", "c", "Flour"}, V{"1 1/2", "ts", "Salt"}, V{"12", "Eggs"},
                                  V{"2", "tb", "Butter; softened and cut into small pieces"},
                                  V{"1", "lb", "Cheese"}));
    std::vector<std::pair<std::string, bool>> lefts; // every other line, and whether bold
    for (const auto& op : e.ops)
        if (op.kind == "left") lefts.emplace_back(op.text, op.bold);
    EXPECT_THAT(
        lefts,
        ElementsAre(std::pair{std::string("Categories: "), false},
                    std::pair{std::string("Serving Size  : 4"), false},
                    std::pair{std::string(""), false}, std::pair{std::string("CRUST"), true},
                    std::pair{std::string("For the topping:"), true},
                    std::pair{std::string(""), false}, std::pair{std::string("Directions:"), false},
                    std::pair{std::string("  Mix well -- then bake: 1 hour."), false}));
}

TEST(RecipeReport, LongItemsWrapInTheirColumn) {
    // 20 characters between the edges: the items start at character 7 ("12", two blanks, "c", two
    // blanks).
    RecordingEngine e(60, 0.5 + 20 * 0.125 + 0.5);
    DrawRecipeReports(
        e, {{"T", "", {"     12 c  flour sifted twice with salt", "      1 c  milk"}}}, "x");
    std::vector<std::pair<std::string, double>> items;
    for (const auto& op : e.ops)
        if (op.kind == "at" && std::isalpha(static_cast<unsigned char>(op.text[0])) &&
            op.text != "c")
            items.emplace_back(op.text, op.x);
    const double at = 0.5 + 7 * 0.125;
    EXPECT_THAT(items, ElementsAre(std::pair{std::string("flour sifted"), at},
                                   std::pair{std::string("twice with"), at},
                                   std::pair{std::string("salt"), at},
                                   std::pair{std::string("milk"), at}));
}

TEST(RecipeReport, CategoriesTextJoinsSlotsTwoToFourWithSemicolons) {
    TempStore t;
    const int32_t a = t.AddLabel("Alpha"), b = t.AddLabel("Beta"), c = t.AddLabel("Gamma"),
                  d = t.AddLabel("Delta");
    struct Case {
        std::array<int32_t, 4> slots;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {{-1, -1, -1, -1}, ""},
        {{a, -1, -1, -1}, "Alpha"},
        {{-1, b, -1, -1}, "; Beta"},
        {{-1, -1, -1, d}, "; Delta"},
        {{-1, b, c, -1}, "; Beta; Gamma"},
        {{a, b, c, d}, "Alpha; Beta; Gamma; Delta"},
        {{a, -1, c, -1}, "Alpha; Gamma"},
    };
    for (const auto& k : cases) {
        const int32_t id = t.AddRecipe("R", k.slots, {});
        RecordingEngine e;
        DrawRecipeReport(e, t.store, id, "x");
        EXPECT_EQ(e.LeftTexts().at(0), std::string("Categories: ") + k.expected);
    }
}

// Text lines "L0", "L1", ... on a page of `pageLines`: which page each lands on.
std::vector<std::pair<int, int>> PagesOfLines(int pageLines, int textLines) {
    TempStore t;
    std::vector<std::string> text;
    for (int i = 0; i < textLines; ++i)
        text.push_back("L" + std::to_string(i));
    const int32_t id = t.AddRecipe("Long", {-1, -1, -1, -1}, text);
    RecordingEngine e(pageLines);
    DrawRecipeReport(e, t.store, id, "x");
    std::vector<std::pair<int, int>> out; // (page, line) of every text line
    for (const auto& op : e.ops)
        if (op.kind == "left" && op.text.rfind("L", 0) == 0) out.emplace_back(op.page, op.line);
    EXPECT_EQ(e.page, out.empty() ? 1 : out.back().first) << "no empty page after the last line";
    return out;
}

TEST(RecipeReport, NewPageWheneverFiveLinesAreLeft) {
    // A page of 20 lines: 5 header lines, then text on lines 5..14 (after line 14, five are
    // left); following pages carry lines 0..14.
    auto at = PagesOfLines(20, 40);
    ASSERT_EQ(at.size(), 40u);
    EXPECT_EQ(at[0], std::make_pair(1, 5));
    EXPECT_EQ(at[9], std::make_pair(1, 14));
    EXPECT_EQ(at[10], std::make_pair(2, 0));
    EXPECT_EQ(at[24], std::make_pair(2, 14));
    EXPECT_EQ(at[25], std::make_pair(3, 0));
    EXPECT_EQ(at[39], std::make_pair(3, 14));
    for (const auto& [page, line] : at)
        EXPECT_LE(line, 14) << "every page keeps five lines free";
}

TEST(RecipeReport, TextEndingExactlyAtTheReserveLeavesNoEmptyPage) {
    auto at = PagesOfLines(20, 25); // fills page 1 and page 2 exactly
    ASSERT_EQ(at.size(), 25u);
    EXPECT_EQ(at.back(), std::make_pair(2, 14));
}

TEST(RecipeReport, ShortPageNeverRunsOffThePaper) {
    // Eight lines: after the header only three are left, fewer than the reserve.
    auto at = PagesOfLines(8, 6);
    ASSERT_EQ(at.size(), 6u);
    for (const auto& [page, line] : at)
        EXPECT_LT(line, 8);
}

TEST(RecipeReport, SeveralRecipesEachBeginAPageOfTheirOwn) {
    // On pages of 20 lines the first recipe's 25 text lines fill two pages exactly; the
    // second has no text; the third follows on a fresh page, with no empty page between.
    TRecipeReportData full{"Full", "", {}}, bare{"Bare", "", {}}, last{"Last", "A", {"x"}};
    for (int i = 0; i < 25; ++i)
        full.Text.push_back("L" + std::to_string(i));
    RecordingEngine e(20);
    DrawRecipeReports(e, {full, bare, last}, "d");
    std::vector<std::pair<int, std::string>> titles; // (page, title) of every title drawn
    for (const auto& op : e.ops)
        if (op.kind == "center" && op.line == 0) titles.emplace_back(op.page, op.text);
    EXPECT_THAT(titles,
                ElementsAre(std::pair{1, std::string("Full")}, std::pair{3, std::string("Bare")},
                            std::pair{4, std::string("Last")}));
    EXPECT_EQ(e.page, 4);
    EXPECT_EQ(e.LeftTexts().back(), "x");
}

TEST(RecipeReport, MissingRecipeOrLabelRaisesTheStoreMessageBeforeDrawing) {
    TempStore t;
    const int32_t gone = t.AddLabel("Gone");
    const int32_t id = t.AddRecipe("Has label", {gone, -1, -1, -1}, {"x"});
    const int32_t other = t.AddRecipe("Other", {-1, -1, -1, -1}, {"y"});
    auto message = [&](int32_t recipe) -> std::string {
        RecordingEngine e;
        try {
            DrawRecipeReport(e, t.store, recipe, "x");
        } catch (const EStoreError& err) {
            EXPECT_TRUE(e.ops.empty()) << "nothing drawn before the error";
            return err.what();
        }
        return "no error";
    };
    EXPECT_EQ(message(9999), kRecipeNotFound);
    EXPECT_EQ(message(-1), kRecipeNotFound);

    // The label row is deleted behind the report's back; with other labels left...
    t.AddLabel("Kept");
    ASSERT_TRUE(t.store.tblListLabel().Locate(gone));
    t.store.tblListLabel().Delete();
    EXPECT_EQ(message(id), kLabelNotFound);
    // ...and with the label table empty, where the store gives false instead of raising.
    t.store.tblListLabel().First();
    while (!t.store.tblListLabel().Eof())
        t.store.tblListLabel().Delete();
    t.store.LabelRec.Name = "Stale";
    EXPECT_EQ(message(id), kLabelNotFound);

    // With the recipe table emptied the buffer still holds the last recipe; it must not print.
    ASSERT_TRUE(t.store.FindRecipe(other));
    for (int32_t r : {id, other})
        t.store.DeleteRecipe(r);
    EXPECT_EQ(message(other), kRecipeNotFound);
}

} // namespace
} // namespace larderly
