// Exported files read back through the import: the same titles, categories and text, in
// each encoding; recipes an encoding cannot carry are named and left out, never half written.
#include "exchange/RecipeExport.h"
#include "import/ImportCommand.h"
#include "import/ImportTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

using namespace larderly;
using namespace larderly::exchange;
using larderly::import::test::StoredRecipe;
using larderly::import::test::TempStore;

namespace {

std::vector<ExportRecipe> Sample() {
    return {
        {1,
         "Crème brûlée",
         {"Desserts", "Französisch", "Eggs", "Baked"},
         {"Serving Size  : 4", "", "     500  ml            cream",
          "1/2     tsp            vanilla", "        pinch          salt",
          "Heat the cream; whisk in the yolks.", "  Bake.", "", "Serve cold."}},
        {2, "Plain toast", {}, {"Serving Size  : ", "Toast the bread."}},
        {3,
         "Jalapeño salsa",
         {"Sauces"},
         {"Serving Size  : 2 cups", "Chop; mix.", "Mixes", "-----"}},
    };
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<StoredRecipe> ExportAndImport(const std::vector<ExportRecipe>& recipes,
                                          ExportFormat format, ExportEncoding encoding,
                                          ExportResult* result = nullptr,
                                          std::string* bytes = nullptr, bool strict = false) {
    TempStore target;
    const std::string file = target.Folder() + "/out.txt";
    ExportResult r = ExportToFile(file, recipes, format, encoding, {}, strict);
    if (result) *result = r;
    if (bytes) *bytes = ReadFile(file);
    import::TImportOptions options;
    // Code page 437 is named: the bytes alone could be read as Windows-1252.
    if (encoding == ExportEncoding::Cp437) options.Encoding = import::TEncoding::Cp437;
    import::TFileImport imp = import::ImportFile(target.store, file, options);
    EXPECT_TRUE(imp.Accepted);
    return target.Recipes();
}

} // namespace

TEST(Export, MealMasterReadsBackTheSame) {
    for (ExportEncoding enc :
         {ExportEncoding::Utf8, ExportEncoding::Windows1252, ExportEncoding::Cp437}) {
        SCOPED_TRACE(EncodingDisplayName(enc));
        ExportResult result;
        std::string bytes;
        auto back = ExportAndImport(Sample(), ExportFormat::MealMaster, enc, &result, &bytes);
        EXPECT_EQ(result.Written, 3u);
        ASSERT_EQ(back.size(), 3u);
        const std::vector<ExportRecipe> sample = Sample();
        for (std::size_t i = 0; i < 3; ++i) {
            const ExportRecipe& want = sample[i];
            EXPECT_EQ(back[i].title, want.Title);
            std::vector<std::string> cats;
            for (const auto& c : back[i].categories)
                if (!c.empty()) cats.push_back(c);
            EXPECT_EQ(cats, want.Categories);
            std::vector<std::string> text = want.Text;
            if (i == 0) // the ingredient lines stand in Meal-Master's columns
                text[2] = "    500 ml cream", text[3] = "    1/2 t  vanilla",
                text[4] = "        pn salt";
            if (i == 2) // lines that would close the recipe are changed just enough
                text[2] = " Mixes", text[3] = "=====";
            EXPECT_EQ(back[i].lines, text);
        }
        // The two closing-line look-alikes are named; nothing else is.
        ASSERT_EQ(result.Notes.size(), 2u);
        EXPECT_EQ(result.Notes[0].Id, 3);
        EXPECT_TRUE(result.Notes[0].Written);
        // The bytes are in the chosen encoding, lines ending in CR LF.
        const char* const accented = enc == ExportEncoding::Utf8          ? "Cr\xC3\xA8me"
                                     : enc == ExportEncoding::Windows1252 ? "Cr\xE8me"
                                                                          : "Cr\x8Ame";
        EXPECT_NE(bytes.find(accented), std::string::npos);
        EXPECT_EQ(bytes.rfind("MMMMM----- Recipe via Meal-Master", 0), 0u);
        EXPECT_NE(bytes.find("\r\nServe cold.\r\nMMMMM\r\n"), std::string::npos);
    }
}

TEST(Export, CodePage437Bytes) {
    TempStore t;
    const std::string file = t.Folder() + "/out.mmf";
    EXPECT_EQ(ExportToFile(file, Sample(), ExportFormat::MealMaster, ExportEncoding::Cp437).Written,
              3u);
    const std::string bytes = ReadFile(file);
    EXPECT_NE(bytes.find("Cr\x8Ame br\x96l\x82"
                         "e"),
              std::string::npos);
    EXPECT_NE(bytes.find("Jalape\xA4o"), std::string::npos);
}

TEST(Export, MasterCookReadsBackTitlesCategoriesAndText) {
    ExportResult result;
    auto back = ExportAndImport(Sample(), ExportFormat::MasterCookText, ExportEncoding::Windows1252,
                                &result);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].title, "Crème brûlée");
    EXPECT_EQ(back[0].categories,
              (std::array<std::string, 4>{"Desserts", "Französisch", "Eggs", "Baked"}));
    // Ingredient lines come back in the columns the reader rebuilds, right under the rule; a
    // direction line loses its leading blanks, which would make it an ingredient line.
    EXPECT_EQ(back[0].lines,
              (std::vector<std::string>{
                  "Serving Size  : 4", "500     ml             cream",
                  "1/2     tsp            vanilla", "        pinch          salt",
                  "Heat the cream; whisk in the yolks.", "Bake.", "", "Serve cold."}));
    EXPECT_EQ(back[1].categories, (std::array<std::string, 4>{}));
    EXPECT_EQ(back[1].lines, (std::vector<std::string>{"Serving Size  :", "Toast the bread."}));
    // A servings text longer than the servings column keeps the whole first line in the body.
    EXPECT_EQ(back[2].lines, (std::vector<std::string>{"Serving Size  :", "Serving Size  : 2 cups",
                                                       "Chop; mix.", "Mixes", "====="}));
    EXPECT_EQ(back[2].categories[0], "Sauces");
    // Both recipes with a difference from the stored text are named, and only they.
    std::set<int32_t> named;
    for (const auto& n : result.Notes)
        if (n.Written) named.insert(n.Id);
    EXPECT_EQ(named, (std::set<int32_t>{2, 3}));
    EXPECT_EQ(result.WrittenChanged(), 2u);
}

TEST(Export, CharactersTheEncodingLacksAreWrittenAsTheNearestAscii) {
    std::vector<ExportRecipe> recipes = Sample();
    recipes[1].Title = "Mom’s “best” toast®";
    recipes[1].Text.push_back("Toast 2–3 slices, 1⅓ minutes…");
    for (ExportEncoding enc : {ExportEncoding::Cp437, ExportEncoding::Windows1252}) {
        SCOPED_TRACE(EncodingDisplayName(enc));
        ExportResult result;
        auto back = ExportAndImport(recipes, ExportFormat::MealMaster, enc, &result);
        EXPECT_EQ(result.Written, 3u);
        ASSERT_EQ(back.size(), 3u);
        if (enc == ExportEncoding::Cp437) {
            EXPECT_EQ(back[1].title, "Mom's \"best\" toast(R)");
            EXPECT_EQ(back[1].lines.back(), "Toast 2-3 slices, 1 1/3 minutes...");
        } else { // Windows-1252 has the quotes, the dash, "®" and "…", but not "⅓"
            EXPECT_EQ(back[1].title, recipes[1].Title);
            EXPECT_EQ(back[1].lines.back(), "Toast 2–3 slices, 1 1/3 minutes…");
        }
        // The recipe is named with what was written for what.
        bool named = false;
        for (const auto& n : result.Notes)
            named |= n.Id == 2 && n.Written &&
                     n.Reason.find("\"⅓\" (U+2153) as \"1/3\"") != std::string::npos;
        EXPECT_TRUE(named);
        EXPECT_EQ(back[0].title, "Crème brûlée") << "characters the encoding has stay";
    }
}

TEST(Export, AStrictExportLeavesOutARecipeTheEncodingLacks) {
    std::vector<ExportRecipe> recipes = Sample();
    recipes[1].Text.push_back("Costs 2 € a slice → cheap");
    for (auto [enc, ch] :
         {std::pair{ExportEncoding::Cp437, "€"}, std::pair{ExportEncoding::Windows1252, "→"}}) {
        ExportResult result;
        auto back = ExportAndImport(recipes, ExportFormat::MealMaster, enc, &result, nullptr, true);
        EXPECT_EQ(result.Written, 2u);
        EXPECT_EQ(result.NotWritten(), 1u);
        ASSERT_EQ(back.size(), 2u) << "the other recipes are written whole";
        EXPECT_NE(back[0].title, "Plain toast");
        EXPECT_NE(back[1].title, "Plain toast");
        bool named = false;
        for (const auto& n : result.Notes)
            if (!n.Written) named = n.Id == 2 && n.Reason.find(ch) != std::string::npos;
        EXPECT_TRUE(named) << "the recipe and the character are named";
    }
}

TEST(Export, AFailedWriteLeavesThePreviousFile) {
    TempStore t;
    const std::string file = t.WriteFile("keep.mmf", "old contents");
    EXPECT_THROW(ExportToFile(t.Folder() + "/missing/x.mmf", Sample(), ExportFormat::MealMaster,
                              ExportEncoding::Utf8),
                 std::runtime_error);
    ExportToFile(file, Sample(), ExportFormat::MealMaster, ExportEncoding::Utf8);
    EXPECT_NE(ReadFile(file), "old contents");
    // No temporary file stays beside it.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(t.Folder()))
        files += e.is_regular_file() && e.path().filename().string()[0] == '.';
    EXPECT_EQ(files, 0);
}

TEST(Export, NothingWrittenMakesNoFileAndAFailureNamesItsReason) {
    TempStore t;
    const std::string kept = t.WriteFile("kept.mmf", "older export");
    std::vector<ExportRecipe> recipes = Sample();
    recipes.resize(1); // "Crème brûlée" holds characters code page 437 has, and one it lacks:
    recipes[0].Text.push_back("2 €");
    const ExportResult r =
        ExportToFile(kept, recipes, ExportFormat::MealMaster, ExportEncoding::Cp437, {}, true);
    EXPECT_EQ(r.Written, 0u);
    EXPECT_EQ(r.NotWritten(), 1u);
    EXPECT_EQ(ReadFile(kept), "older export") << "an export of nothing replaces nothing";
    EXPECT_NO_THROW(ExportToFile(t.Folder() + "/none.mmf", recipes, ExportFormat::MealMaster,
                                 ExportEncoding::Cp437, {}, true));
    EXPECT_FALSE(std::filesystem::exists(t.Folder() + "/none.mmf"));
    // An export of no recipes at all is an empty file, as asked.
    ExportToFile(t.Folder() + "/empty.mmf", {}, ExportFormat::MealMaster, ExportEncoding::Utf8);
    EXPECT_EQ(ReadFile(t.Folder() + "/empty.mmf"), "");
    try {
        ExportToFile(t.Folder() + "/missing/x.mmf", Sample(), ExportFormat::MealMaster,
                     ExportEncoding::Utf8);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Unable to write " + t.Folder() + "/missing/x.mmf: No such file or directory");
    }
}

// Every format and encoding has one entry: the names the settings file and the command line
// hold read back as what they name, and anything else is refused.
TEST(Export, FormatAndEncodingTablesNameEachOnce) {
    std::set<std::string> ids;
    for (const ExportFormatInfo& f : ExportFormats()) {
        SCOPED_TRACE(f.Id);
        EXPECT_TRUE(ids.insert(f.Id).second) << "id used twice";
        EXPECT_EQ(&FormatInfo(f.Format), &f);
        ExportFormat back{};
        EXPECT_TRUE(ParseExportFormat(ExportFormatName(f.Format), back));
        EXPECT_EQ(back, f.Format);
        EXPECT_NE(f.LayOut, nullptr);
        EXPECT_FALSE(f.Encodings.empty());
        for (ExportEncoding e : f.Encodings)
            EXPECT_TRUE(FormatTakesEncoding(f.Format, e));
    }
    for (const ExportEncodingInfo& e : ExportEncodings()) {
        SCOPED_TRACE(e.Id);
        EXPECT_EQ(&EncodingInfo(e.Encoding), &e);
        for (const char* name : {e.Id, e.Alias}) {
            ExportEncoding back{};
            EXPECT_TRUE(ParseExportEncoding(name, back));
            EXPECT_EQ(back, e.Encoding);
        }
    }
    ExportFormat format{};
    ExportEncoding encoding{};
    for (const char* unknown : {"", "txt", "MMF", "mm"})
        EXPECT_FALSE(ParseExportFormat(unknown, format)) << unknown;
    for (const char* unknown : {"", "latin1", "utf-16"})
        EXPECT_FALSE(ParseExportEncoding(unknown, encoding)) << unknown;
}

// Text lines that would start or end a recipe in one reader or another are changed just
// enough that no recipe runs into the next or is cut short; each change is named.
TEST(Export, LinesThatLookLikeRecipeBoundariesStayInsideTheirRecipe) {
    const std::vector<std::string> lookAlikes = {
        "* Exported from MasterCook *",
        "                     *  Exported from  MasterCook  *",
        "MMMMM----- Recipe via Meal-Master (tm) v8.05",
        "---------- Recipe Extracted from Meal-Master",
        "-----",
        "- - - - - - - - - - - - - - - - - -",
        "MMMMM",
    };
    std::vector<ExportRecipe> recipes;
    for (std::size_t i = 0; i < 3; ++i) {
        ExportRecipe r{static_cast<int32_t>(i + 1),
                       "Boundary " + std::to_string(i + 1),
                       {"Odd"},
                       {"Serving Size  : 2", "Before the look-alikes."}};
        for (const std::string& l : lookAlikes)
            r.Text.push_back(l);
        r.Text.push_back("After the look-alikes.");
        recipes.push_back(std::move(r));
    }
    for (const ExportFormatInfo& f : ExportFormats()) {
        const ExportFormat format = f.Format;
        SCOPED_TRACE(f.Id);
        ExportResult result;
        auto back = ExportAndImport(recipes, format, ExportEncoding::Utf8, &result);
        ASSERT_EQ(back.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(back[i].title, recipes[i].Title);
            ASSERT_FALSE(back[i].lines.empty());
            EXPECT_EQ(back[i].lines.back(), "After the look-alikes.");
            EXPECT_EQ(back[i].lines.size(), recipes[i].Text.size());
        }
        EXPECT_EQ(result.WrittenChanged(), 3u);
    }
}
