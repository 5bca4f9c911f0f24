// Each reader's splitting and parsing on small texts, without a store.
#include "ImportTestSupport.h"
#include "import/TMasterCookTextReader.h"
#include "import/TMasterCookXmlReader.h"
#include "import/TMealMasterExportReader.h"
#include "import/TMealMasterExtractReader.h"

#include <gtest/gtest.h>

using namespace larderly;
using namespace larderly::import;

namespace {

std::string Join(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines)
        s += l + "\n";
    return s;
}

template <typename Reader>
std::vector<TImportedRecipe> Parse(const std::string& text, bool* accepted = nullptr) {
    // Parsing touches no store: a closed one will do.
    TfmTables store;
    Reader reader(store);
    TLineReader in = TLineReader::FromBytes(text);
    return reader.ParseAll(in, accepted);
}

const std::string kMcStart = "*  Exported from  MasterCook  *";
const std::string kMcEnd = "- - - - - - - - - - - - - - - - - -";

// A MasterCook text recipe whose first body line is `firstBody`, followed by `rest`.
std::string McRecipe(const std::string& title, const std::string& firstBody,
                     std::vector<std::string> rest) {
    std::vector<std::string> l = {
        kMcStart, "", title, "",       "", "Serving Size  : 2", "Categories    : Soups",
        "",       "", "",    firstBody};
    l.insert(l.end(), rest.begin(), rest.end());
    return Join(l);
}

} // namespace

TEST(MasterCookTextParse, MarkersAndTheFirstBodyLine) {
    bool accepted = true;
    EXPECT_TRUE(
        Parse<TMasterCookTextReader>("no marker here\nExported from MasterCook\n", &accepted)
            .empty());
    EXPECT_FALSE(accepted) << "one blank between the words is not the marker";

    // The first body line is taken even when it is the end marker; the marker ends the body
    // only in the lines after it.
    auto r = Parse<TMasterCookTextReader>(McRecipe("Soup", kMcEnd, {"Stir.", kMcEnd, "after"}),
                                          &accepted);
    EXPECT_TRUE(accepted);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Lines, (std::vector<std::string>{"Serving Size  : 2", kMcEnd, "Stir."}));
}

TEST(MasterCookTextParse, ReadMeRecipesAreSkippedAndScanningGoesOn) {
    // The Read Me recipe's own lines are scanned for the next marker from its third line on.
    std::string text = Join({kMcStart, "", "Read Me", kMcStart, "", "Real", "", "",
                             "Serving Size  : 1", "Categories    :", "", "", "", "Body.", kMcEnd});
    bool accepted = false;
    auto r = Parse<TMasterCookTextReader>(text, &accepted);
    EXPECT_TRUE(accepted);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Title, "Real");

    r = Parse<TMasterCookTextReader>(Join({kMcStart, "", "  Please Read Me  ", "x", kMcEnd}),
                                     &accepted);
    EXPECT_TRUE(accepted) << "a file with only a Read Me recipe is still accepted";
    EXPECT_TRUE(r.empty());
}

TEST(MasterCookTextParse, FileEndingInsideARecipe) {
    // Ends inside the header: empty fields, one empty body line, and the reader stops.
    auto r = Parse<TMasterCookTextReader>(Join({kMcStart, "", "Half"}));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Title, "Half");
    EXPECT_EQ(r[0].Lines, (std::vector<std::string>{"", ""}));
    // Ends inside the body: the last line is kept.
    r = Parse<TMasterCookTextReader>(McRecipe("Cut", "Line one.", {"Line two."}));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Lines.back(), "Line two.");
}

TEST(MasterCookXmlParse, FirstLineDecides) {
    const std::string rec = Join({"* Exported from MasterCook *", "", "T", "", "", "S", "C", "", "",
                                  "", "B1", "B2", "Source:", "tail"});
    bool accepted = true;
    EXPECT_TRUE(Parse<TMasterCookXmlReader>("\nplain text\n" + rec, &accepted).empty());
    EXPECT_FALSE(accepted) << "the declaration counts only on the first line";
    // A file that begins with XML after a blank line is read through its text form.
    auto blankFirst = Parse<TMasterCookXmlReader>("\n<?xml version=\"1.0\"?>\n" + rec, &accepted);
    EXPECT_TRUE(accepted);
    ASSERT_EQ(blankFirst.size(), 1u);
    EXPECT_EQ(blankFirst[0].Title, "T");
    EXPECT_EQ(blankFirst[0].Lines, (std::vector<std::string>{"S", "B1", "B2"}));

    // A start marker on the first line is not seen.
    EXPECT_TRUE(
        Parse<TMasterCookXmlReader>("<?xml version * Exported from MasterCook *\n\nT\n", &accepted)
            .empty());
    EXPECT_TRUE(accepted);

    auto r = Parse<TMasterCookXmlReader>("<?xml version=\"1.0\"?>\n" + rec, &accepted);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Lines, (std::vector<std::string>{"S", "B1", "B2"}));

    // Without "Source:" the body ends at the end of the file, and the file's last line is not
    // part of it.
    r = Parse<TMasterCookXmlReader>(
        Join({"<?xml version=\"1.0\"?>", "* Exported from MasterCook *", "", "T", "", "", "S", "C",
              "", "", "", "B1", "B2", "</mx2>"}));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Lines, (std::vector<std::string>{"S", "B1", "B2"}));
}

TEST(MealMasterExportParse, CategoryLists) {
    struct Case {
        const char* text;
        bool pro;
        std::array<std::string, 4> slots;
    } cases[] = {
        {"Soups, Poultry, Quick", false, {"Soups", "Poultry", "Quick", ""}},
        {"A, B, C, D, E, F", false, {"A", "B", "C", "D"}},
        {"A,  , C", false, {"A", "", "", ""}},
        {"A, B,", false, {"A", "B", "", ""}},
        {"Main dish", false, {"Main dish", "", "", ""}},
        {"", false, {"", "", "", ""}},
        {"Breads Quick Easy", true, {"Breads", "", "", ""}},
        {"Breads", true, {"", "", "", ""}},
        {"Soups, Stews", true, {"Soups,", "", "", ""}},
    };
    for (const auto& c : cases) {
        std::array<std::string, 4> slots;
        TMealMasterExportReader::TakeCategories(c.text, c.pro, slots);
        EXPECT_EQ(slots, c.slots) << c.text << (c.pro ? " (Pro-Exchange)" : "");
    }
}

TEST(MealMasterExportParse, ClosingLines) {
    struct Case {
        std::string line;
        bool closes;
    } cases[] = {
        {"-----", true},        {"MMMMM", true},   {"-abcd", true}, {"Mix w", true},
        {"M\xC3\xA9lan", true}, {"------", false}, {"MMMM", false}, {" ----", false},
        {"mmmmm", false},       {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TMealMasterExportReader::IsClosingLine(c.line), c.closes) << c.line;
}

TEST(MealMasterExportParse, BodyKeepsLinesUntilTheClosingLine) {
    std::string text =
        Join({"MMMMM----- Recipe via Meal-Master (tm) v8.05", "", "      Title: Soup",
              " Categories: Soups", "      Yield: 4", "", "   indented", "", "Mix w", "after"});
    auto r = Parse<TMealMasterExportReader>(text);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Lines, (std::vector<std::string>{"Serving Size  : 4", "", "   indented", ""}));
}

TEST(MealMasterExtractParse, CategoryIsTheFirstWordOfTheWholeLine) {
    auto recipe = [](const std::string& cats, const std::string& servings) {
        return Join({"Recipe Extracted from Meal-Master", "", "      Title: X", cats, servings, "b",
                     std::string(77, '-')});
    };
    struct Case {
        std::string cats, servings, category, servingsLine;
    } cases[] = {
        {"  Desserts Pies  ", "   Servings: 8", "Desserts", "Serving Size  : 8"},
        {" Categories: Breads", "   Servings: 12345", "Categories:", "Serving Size  : 123"},
        {"Beverages", "", "", "Serving Size  : "},
    };
    for (const auto& c : cases) {
        auto r = Parse<TMealMasterExtractReader>(recipe(c.cats, c.servings));
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].Categories[0], c.category) << c.cats;
        EXPECT_EQ(r[0].Lines.front(), c.servingsLine);
    }
}

TEST(MealMasterExportParse, LooseHeadersClosingsAndLabelledFields) {
    struct Closing {
        std::string line;
        bool closes;
    } closings[] = {{"MMMMM ", true},   {"-----   ", true}, {" MMMMM ", true}, {"  -----", true},
                    {"MMMMMM ", false}, {"----- x", false}, {"mmmmm ", false}};
    for (const auto& c : closings)
        EXPECT_EQ(TMealMasterExportReader::IsLooseClosingLine(c.line), c.closes)
            << "[" << c.line << "]";

    struct Header {
        std::string line;
        bool header;
    } headers[] = {{"MMMMM----- Recipe via MEAL-MASTER (tm) v8.06", true},
                   {"---------- Recipe via Meal Master", true},
                   {"  MMMMM-----Meal-Master recipe exported by Kitchen Notebook-----", true},
                   {"I keep my recipes in Meal-Master.", false},
                   {"MMMMM----- Recipe via MealMaster", false}};
    for (const auto& h : headers)
        EXPECT_EQ(TMealMasterExportReader::IsLooseHeader(h.line), h.header) << h.line;

    const char* const title[] = {"title", nullptr};
    struct Field {
        std::string line, value;
    } fields[] = {
        {"      Title: Soup of the day", "Soup of the day"}, // the classic column
        {"Title: Soup", "Soup"},                             // label at the start of the line
        {"  TITLE:Soup", "Soup"},
        {"      Titel: Suppe", "Suppe"}, // no label known: the classic columns
    };
    for (const auto& f : fields)
        EXPECT_EQ(TMealMasterExportReader::HeaderField(f.line, title, 14, 163), f.value) << f.line;
    // The width stays that of the classic columns, counted from just after the colon.
    EXPECT_EQ(
        TMealMasterExportReader::HeaderField("Title: " + std::string(160, 'x'), title, 14, 163),
        std::string(150, 'x'));
}
