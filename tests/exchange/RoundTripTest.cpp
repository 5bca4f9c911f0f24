// Recipes born in one format travel to the other and back through the real export and the
// real import, each time into a fresh store: titles, categories and every word of the text
// stay, in order. Line breaks and continuation marks may move, and a unit may change its
// spelling (MasterCook's "ml" comes back as "milliliters"), never the unit it names.
#include "exchange/ExportSource.h"
#include "exchange/RecipeExport.h"
#include "import/ImportCommand.h"
#include "import/ImportTestSupport.h"
#include "ingredients/IngredientLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace larderly;
using namespace larderly::exchange;
using larderly::import::test::StoredRecipe;
using larderly::import::test::TempStore;

namespace {

const std::string kData = std::string(LARDERLY_SOURCE_DIR) + "/tests/data/exchange/";

// The words of a text: blank-separated, a continuation's leading "-" dropped, rules and
// heading marks ("MMMMM-----") dropped, unit spellings (one word or two: "per serving") as
// the unit they name.
std::vector<std::string> Words(const std::vector<std::string>& lines) {
    std::vector<std::string> raw;
    for (const std::string& line : lines) {
        std::istringstream in(line);
        std::string w;
        while (in >> w) {
            if (w.rfind("MMMMM", 0) == 0) w.erase(0, w.find_first_not_of('M'));
            const std::size_t start = w.find_first_not_of('-');
            if (start == std::string::npos) continue;
            w.erase(0, start);
            while (!w.empty() && w.back() == '-')
                w.pop_back();
            raw.push_back(w);
        }
    }
    std::vector<std::string> words;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (i + 1 < raw.size()) {
            const std::string two = ingredients::CanonicalUnit(raw[i] + " " + raw[i + 1]);
            if (!two.empty()) {
                words.push_back("<" + two + ">");
                ++i;
                continue;
            }
        }
        const std::string unit = ingredients::CanonicalUnit(raw[i]);
        words.push_back(unit.empty() ? raw[i] : "<" + unit + ">");
    }
    return words;
}

std::vector<StoredRecipe> Import(TempStore& store, const std::string& file) {
    const import::TFileImport imp = import::ImportFile(store.store, file, {});
    EXPECT_TRUE(imp.Accepted) << file;
    return store.Recipes();
}

// Exports everything in `from` to a file in the format and imports it into a fresh store.
std::vector<StoredRecipe> Carry(TempStore& from, ExportFormat format, TempStore& to,
                                std::string* bytes = nullptr) {
    const std::string file = to.Folder() + "/carried." + ExportFormatName(format);
    const std::vector<ExportRecipe> recipes =
        LoadExportRecipes(from.store, AllRecipeIds(from.store));
    const ExportResult r = ExportToFile(file, recipes, format, ExportEncoding::Utf8);
    EXPECT_EQ(r.Written, recipes.size());
    for (const ExportNote& n : r.Notes)
        ADD_FAILURE() << n.Title << ": " << n.Reason;
    if (bytes) {
        std::ifstream in(file, std::ios::binary);
        *bytes = std::string((std::istreambuf_iterator<char>(in)), {});
    }
    return Import(to, file);
}

// The export writes in the list's order (by title): recipes are matched by title.
// `inOrder` false: the same words, in any order (a two-column Meal-Master row is read a
// column at a time, so a continuation's words move to the ingredient they continue).
void ExpectSameRecipes(std::vector<StoredRecipe> want, std::vector<StoredRecipe> got,
                       const char* stage, bool inOrder = true) {
    SCOPED_TRACE(stage);
    for (auto* v : {&want, &got})
        std::sort(v->begin(), v->end(),
                  [](const StoredRecipe& a, const StoredRecipe& b) { return a.title < b.title; });
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(want[i].title);
        EXPECT_EQ(got[i].title, want[i].title);
        EXPECT_EQ(got[i].categories, want[i].categories);
        std::vector<std::string> a = Words(got[i].lines), b = Words(want[i].lines);
        if (!inOrder) std::sort(a.begin(), a.end()), std::sort(b.begin(), b.end());
        EXPECT_EQ(a, b);
    }
}

void RoundTrip(const std::string& born, ExportFormat other, ExportFormat own,
               const std::string& ownMark) {
    TempStore original, there, back;
    const std::vector<StoredRecipe> recipes = Import(original, kData + born);
    ASSERT_GE(recipes.size(), 3u);
    std::string otherBytes;
    const std::vector<StoredRecipe> carried = Carry(original, other, there, &otherBytes);
    const bool twoColumns = own == ExportFormat::MealMaster;
    ExpectSameRecipes(recipes, carried, "in the other format", !twoColumns);
    const std::vector<StoredRecipe> home = Carry(there, own, back);
    ExpectSameRecipes(recipes, home, "back in its own format", !twoColumns);
    ExpectSameRecipes(carried, home, "back in its own format, in order");
    EXPECT_EQ(otherBytes.find(ownMark), std::string::npos)
        << "no line of the other format's file is laid out like the born format";
}

} // namespace

TEST(RoundTrip, MealMasterThroughMasterCookAndBack) {
    RoundTrip("born-mealmaster.mmf", ExportFormat::MasterCookText, ExportFormat::MealMaster,
              " c  Flour");
}

TEST(RoundTrip, MasterCookThroughMealMasterAndBack) {
    RoundTrip("born-mastercook.mxp", ExportFormat::MealMaster, ExportFormat::MasterCookText,
              "  cups          ");
}

// The ingredient block reaches the other format in that format's own columns.
TEST(RoundTrip, IngredientsTakeTheTargetFormatsColumns) {
    TempStore mm, mc;
    Import(mm, kData + "born-mealmaster.mmf");
    std::string bytes;
    Carry(mm, ExportFormat::MasterCookText, mc, &bytes);
    for (const char* line :
         {"   1 1/2  cups          Flour\r\n", "     1/2  teaspoon      Salt\r\n",
          "       2  tbsp          Sugar\r\n",
          "     3/4  cup           Butter, cold and cut into small cubes\r\n",
          "     2-3  cups          Chicken broth\r\n", "                        Salt to taste\r\n"})
        EXPECT_NE(bytes.find(line), std::string::npos) << line;
    // Directions keep their own lines and are never laid out as ingredients.
    EXPECT_NE(bytes.find("\r\nRub the flour, salt and butter together until the mixture looks "
                         "like\r\n"),
              std::string::npos);

    TempStore born, there;
    Import(born, kData + "born-mastercook.mxp");
    Carry(born, ExportFormat::MealMaster, there, &bytes);
    for (const char* line :
         {"\r\n      2 lb chicken thighs -- boned and\r\n           -cut into pieces\r\n",
          "\r\n      3    cloves garlic -- minced\r\n", "\r\n      1 tb fresh ginger -- grated\r\n",
          "\r\n      2 tb curry powder\r\n", "\r\n    250 ml chicken stock\r\n",
          "\r\nMMMMM-----------------------For the rice:------------------------\r\n",
          "\r\n        pn nutmeg\r\n"})
        EXPECT_NE(bytes.find(line), std::string::npos) << line;
}
