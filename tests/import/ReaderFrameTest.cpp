// The frame shared by the readers, with a reader of its own: an error part-way through a
// file takes back everything the file had stored, summaries included.
#include "ImportTestSupport.h"
#include "import/TImportReader.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace larderly;
using namespace larderly::import;
using namespace larderly::import::test;

namespace {

// Every line "R <title> <category>" is a recipe; "FAIL" raises an error.
class LineReaderForTests : public TImportReader {
public:
    using TImportReader::TImportReader;
    const char* Name() const override { return "test"; }

protected:
    bool FindStart(TLineReader& in) override {
        while (!in.Eof()) {
            line_ = in.ReadLine();
            if (line_ == "FAIL") throw std::runtime_error("read error");
            if (line_.rfind("R ", 0) == 0) return true;
        }
        return false;
    }
    bool ParseRecipe(TLineReader&, TImportedRecipe& out) override {
        auto blank = line_.find(' ', 2);
        out.Title = line_.substr(2, blank - 2);
        if (blank != std::string::npos) out.Categories[0] = line_.substr(blank + 1);
        out.Lines = {"Serving Size  : 1"};
        return true;
    }

private:
    std::string line_;
};

} // namespace

TEST(ReaderFrame, ErrorPartWayRollsBackRowsLabelsAndSummaries) {
    TempStore t;
    {
        TLineReader in = TLineReader::FromBytes("R Kept Old\n");
        ASSERT_EQ(LineReaderForTests(t.store).Import(in).Added, 1);
    }
    TLineReader in = TLineReader::FromBytes("R One New\nR Two Newer\nFAIL\nR Three\n");
    EXPECT_THROW(LineReaderForTests(t.store).Import(in), std::runtime_error);
    EXPECT_FALSE(t.store.InTransaction());
    EXPECT_EQ(t.RecipeCount(), 1);
    EXPECT_EQ(t.LabelCount(), 1);
    EXPECT_FALSE(t.summaries.TitleExists("One"));
    EXPECT_FALSE(t.summaries.TitleExists("Two"));
    t.ExpectSummariesMatchTable();
    EXPECT_EQ(t.Recipes().at(0).title, "Kept");
}

// The file is cut into recipes ahead of storing them: the recipes are stored in file order
// however far ahead the cutting runs, and a title that stops the file stops it where the file
// read one by one would have, even when the cutting went on to a read error.
TEST(ReaderFrame, LargeFilesKeepTheirOrderAndStopWhereTheyWould) {
    std::string many;
    std::vector<std::string> titles;
    for (int i = 0; i < 1000; ++i) {
        titles.push_back("Recipe" + std::to_string(i));
        many += "R " + titles.back() + " Cat" + std::to_string(i % 7) + "\n";
    }
    struct Case {
        const char* name;
        std::string bytes;
        bool throws, stopped;
        std::string existing;
    } cases[] = {
        {"a repeated title far on", many + "R Recipe5\n", false, true, "Recipe5"},
        {"a repeated title before a read error", "R A\nR B\nR A\nFAIL\nR C\n", false, true, "A"},
        {"a read error far on", many + "FAIL\n", true, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempStore t;
        TLineReader in = TLineReader::FromBytes(c.bytes);
        if (c.throws) {
            EXPECT_THROW(LineReaderForTests(t.store).Import(in), std::runtime_error);
        } else {
            const TImportOutcome o = LineReaderForTests(t.store).Import(in);
            EXPECT_EQ(o.StoppedOnTitle, c.stopped);
            EXPECT_EQ(o.ExistingTitle, c.existing);
            EXPECT_TRUE(o.RepeatedInFile);
        }
        EXPECT_FALSE(t.store.InTransaction());
        EXPECT_EQ(t.RecipeCount(), 0);
        EXPECT_EQ(t.LabelCount(), 0);
    }
    TempStore t;
    TLineReader in = TLineReader::FromBytes(many);
    EXPECT_EQ(LineReaderForTests(t.store).Import(in).Added, 1000);
    std::vector<std::string> stored;
    for (const auto& r : t.Recipes())
        stored.push_back(r.title);
    EXPECT_EQ(stored, titles);
    EXPECT_EQ(t.LabelCount(), 7);
    t.ExpectSummariesMatchTable();
}

TEST(ReaderFrame, NotRecognisedCommitsNothing) {
    TempStore t;
    TLineReader in = TLineReader::FromBytes("nothing here\n");
    TImportOutcome o = LineReaderForTests(t.store).Import(in);
    EXPECT_FALSE(o.Accepted);
    EXPECT_EQ(o.Added, 0);
    EXPECT_FALSE(t.store.InTransaction());
}

TEST(ReaderFrame, CategoriesFoundWithoutRegardToCaseAndEmptyNamesLeaveSlotsEmpty) {
    TempStore t;
    TLineReader in = TLineReader::FromBytes("R A Soups\nR B soups\nR C\n");
    EXPECT_EQ(LineReaderForTests(t.store).Import(in).Added, 3);
    EXPECT_EQ(t.LabelCount(), 1);
    auto rows = t.Recipes();
    EXPECT_EQ(rows[1].categories[0], "Soups");
    EXPECT_EQ(rows[2].categories[0], "");
    t.store.FindRecipe(rows[2].id);
    EXPECT_EQ(t.store.RecipeRec.Category, (std::array<int32_t, 4>{-1, -1, -1, -1}));
}
