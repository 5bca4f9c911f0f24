// Reading ingredient lines from each layout and writing them back in the formats' columns.
#include "ingredients/IngredientLine.h"

#include <gtest/gtest.h>

namespace larderly::ingredients {
namespace {

// "AMOUNT|UNIT|ITEM|PREPARATION" of a parsed ingredient, "-" when it is none.
std::string Show(const std::optional<IngredientLine>& in) {
    if (!in) return "-";
    return in->amount.Decimal() + "|" + in->Unit + "|" + in->Item + "|" + in->Preparation;
}

TEST(IngredientLine, AmountsOfEveryShape) {
    const std::pair<const char*, const char*> cases[] = {
        {"1", "1"},        {"12", "12"},         {"1.5", "1.5"},    {".25", "0.25"},
        {"1/2", "0.5"},    {"1 1/2", "1.5"},     {"2 3/4", "2.75"}, {"½", "0.5"},
        {"1½", "1.5"},     {"1 ¾", "1.75"},      {"1-2", "1-2"},    {"1 - 2", "1-2"},
        {"1 to 2", "1-2"}, {"1 1/2-2", "1.5-2"}, {"2–3", "2-3"},    {"1,5", "1.5"},
    };
    for (const auto& [text, want] : cases) {
        const std::optional<Amount> a = ParseAmount(text);
        ASSERT_TRUE(a) << text;
        EXPECT_EQ(a->Decimal(), want) << text;
        EXPECT_EQ(a->Text, text);
    }
    for (const char* bad : {"", "a", "1/0", "1/", "2x", "1 cup", "-"})
        EXPECT_FALSE(ParseAmount(bad)) << bad;
}

TEST(IngredientLine, UnitSpellings) {
    const std::pair<const char*, const char*> cases[] = {
        {"c", "cup"},
        {"cups", "cup"},
        {"Cup", "cup"},
        {"t", "tsp"},
        {"T", "tbsp"},
        {"ts", "tsp"},
        {"tb", "tbsp"},
        {"Tbsp.", "tbsp"},
        {"teaspoons", "tsp"},
        {"lbs", "lb"},
        {"pounds", "lb"},
        {"oz", "oz"},
        {"g", "g"},
        {"grams", "g"},
        {"kg", "kg"},
        {"ml", "ml"},
        {"l", "l"},
        {"pn", "pinch"},
        {"cloves", "clove"},
        {"cn", "can"},
        {"pk", "package"},
        {"pkg.", "package"},
        {"fluid ounces", "fl oz"},
        {"flour", ""},
    };
    for (const auto& [word, want] : cases)
        EXPECT_EQ(CanonicalUnit(word), want) << word;
}

TEST(IngredientLine, PlainLines) {
    const std::pair<const char*, const char*> cases[] = {
        {"1 1/2 cups flour, sifted", "1.5|cup|flour|sifted"},
        {"2 eggs", "2||eggs|"},
        {"½ tsp. salt", "0.5|tsp|salt|"},
        {"1-2 cloves garlic; minced", "1-2|clove|garlic|minced"},
        {"3 fl oz cream", "3|fl oz|cream|"},
        {"100g butter", "100|g|butter|"},
        {"1 can tomatoes -- drained, chopped", "1|can|tomatoes|drained, chopped"},
        {"2 c of milk", "2|cup|milk|"},
        {"Preheat the oven.", "-"},
        {"3-inch piece of ginger", "-"},
    };
    for (const auto& [line, want] : cases)
        EXPECT_EQ(Show(ParsePlainLine(line)), want) << line;
    EXPECT_EQ(Show(ParsePlainLine("salt to taste", true)), "||salt to taste|");
}

TEST(IngredientLine, MealMasterColumnsOneAndTwo) {
    auto show = [](const std::string& line) {
        std::string s;
        for (const IngredientLine& in : ParseMealMasterColumns(line))
            s += (s.empty() ? "" : " / ") + Show(in);
        return s.empty() ? std::string("-") : s;
    };
    EXPECT_EQ(show("  1 1/2 c  Flour, sifted"), "1.5|cup|Flour|sifted");
    EXPECT_EQ(show("      2    Eggs"), "2||Eggs|");
    EXPECT_EQ(show("           Salt"), "||Salt|");
    // The right column's cells start in column 41.
    const std::string pad(23, ' ');
    EXPECT_EQ(show("      1 T  Butter" + pad + "      2 ts Vanilla"),
              "1|tbsp|Butter| / 2|tsp|Vanilla|");
    EXPECT_EQ(show(std::string(40, ' ') + "      1 lb Beef"), "1|lb|Beef|");
    EXPECT_EQ(show("      1 T  Butter" + pad + "           -softened"),
              "1|tbsp|Butter| / ||-softened|");
    // Columns count characters, not bytes: accented letters and a fraction sign before a
    // column move its bytes, not its place.
    const std::string creme = "      1 c  Crème fraîche";
    EXPECT_EQ(show(creme + std::string(40 - 24, ' ') + "      2 ts Vanilla"),
              "1|cup|Crème fraîche| / 2|tsp|Vanilla|");
    EXPECT_EQ(show("      ½ c  Milk"), "0.5|cup|Milk|");
    // Not in the columns: directions and an unknown unit code.
    EXPECT_EQ(show("Preheat the oven to 350 degrees."), "-");
    EXPECT_EQ(show("  Mix well."), "-");
    EXPECT_EQ(show("      1 zz Thing"), "-");
    // A continuation is read as its own piece, to be joined to the ingredient before.
    const std::vector<IngredientLine> cont = ParseMealMasterColumns("           -and more");
    ASSERT_EQ(cont.size(), 1u);
    EXPECT_TRUE(IsContinuation(cont[0]));
}

TEST(IngredientLine, MasterCookColumnsInFileAndStoredLayout) {
    EXPECT_EQ(Show(ParseMasterCookColumns("   1 1/2  cups          flour -- sifted")),
              "1.5|cup|flour|sifted");
    EXPECT_EQ(Show(ParseMasterCookColumns("1 1/2   cups           flour -- sifted")),
              "1.5|cup|flour|sifted");
    EXPECT_EQ(Show(ParseMasterCookColumns("2                      eggs")), "2||eggs|");
    EXPECT_EQ(Show(ParseMasterCookColumns("                       salt")), "||salt|");
    EXPECT_EQ(Show(ParseMasterCookColumns("       2  cloves        garlic -- minced")),
              "2|clove|garlic|minced");
    EXPECT_EQ(Show(ParseMasterCookColumns("Preheat the oven to 350 degrees.")), "-");
    EXPECT_EQ(Show(ParseMasterCookColumns("  In a large skillet, brown the beef.")), "-");
}

TEST(IngredientLine, HeadingsAndServings) {
    EXPECT_EQ(HeadingOf("MMMMM-----SAUCE-----"), "SAUCE");
    EXPECT_EQ(HeadingOf("-----------------------FOR THE CRUST-----------------------"),
              "FOR THE CRUST");
    EXPECT_EQ(HeadingOf("For the sauce:"), "For the sauce");
    EXPECT_EQ(HeadingOf("MMMMM----- Recipe via Meal-Master (tm) v8.05"), "");
    EXPECT_EQ(HeadingOf("-----"), "");
    EXPECT_EQ(HeadingOf("Bake at 350 degrees for 20 minutes: then cool."), "");
    EXPECT_EQ(ServingsOf("Serving Size  : 4     Preparation Time :0:00").value_or("-"), "4");
    EXPECT_EQ(ServingsOf("Servings: 6").value_or("-"), "6");
    EXPECT_EQ(ServingsOf("Yield: 2 loaves").value_or("-"), "2 loaves");
    EXPECT_FALSE(ServingsOf("Serve with rice."));
}

TEST(IngredientLine, RecipeTextKeepsDirectionsAsText) {
    const std::vector<std::string> text = {
        "Serving Size  : 4",
        "",
        "           Salt",
        "      1 c  Flour, sifted and mixed with some of",
        "           -the salt",
        "      2    Eggs, beaten with" + std::string(13, ' ') + "      1 ts Vanilla",
        "           -a fork" + std::string(22, ' ') + "           -extract",
        "",
        "MMMMM-----SAUCE-----",
        "      1 T  Butter",
        "           Pepper",
        "",
        "  Mix the flour and eggs.",
        "           Bake until done.",
    };
    const std::vector<ParsedLine> p = ParseRecipeText(text);
    std::vector<std::string> kinds;
    for (const ParsedLine& l : p) {
        switch (l.kind) {
        case LineKind::Blank:
            kinds.push_back("blank");
            break;
        case LineKind::Servings:
            kinds.push_back("serves " + l.ServesText);
            break;
        case LineKind::Heading:
            kinds.push_back("# " + l.Heading);
            break;
        case LineKind::Text:
            kinds.push_back("text " + std::to_string(l.Source));
            break;
        case LineKind::Ingredient:
            kinds.push_back(Show(l.ingredient));
            break;
        }
    }
    const std::vector<std::string> want = {"serves 4",
                                           "blank",
                                           "||Salt|",
                                           "1|cup|Flour|sifted and mixed with some of the salt",
                                           "2||Eggs|beaten with a fork",
                                           "1|tsp|Vanilla extract|",
                                           "blank",
                                           "# SAUCE",
                                           "1|tbsp|Butter|",
                                           "||Pepper|",
                                           "blank",
                                           "text 12",
                                           "text 13"};
    EXPECT_EQ(kinds, want);
}

TEST(IngredientLine, WritesEachFormatsColumns) {
    IngredientLine in = *ParsePlainLine("1 1/2 cups flour, sifted");
    EXPECT_EQ(WriteMealMaster(in), std::vector<std::string>{"  1 1/2 c  flour, sifted"});
    EXPECT_EQ(WriteMasterCook(in),
              std::vector<std::string>{"   1 1/2  cups          flour, sifted"});
    // Each Meal-Master code keeps its spelling through a MasterCook line and back.
    for (const char* code : {"t", "ts", "T", "tb", "c", "lb", "oz", "pn", "x", "cn", "pk"}) {
        const std::string mm = std::string("      2 ") + code + (code[1] ? " " : "  ") + "Thing";
        std::vector<IngredientLine> read = ParseMealMasterColumns(mm);
        ASSERT_EQ(read.size(), 1u) << mm;
        const std::vector<std::string> mc = WriteMasterCook(read[0]);
        ASSERT_EQ(mc.size(), 1u);
        const std::optional<IngredientLine> back = ParseMasterCookColumns(mc[0]);
        ASSERT_TRUE(back) << mc[0];
        EXPECT_EQ(WriteMealMaster(*back), std::vector<std::string>{mm}) << mc[0];
    }
    // A unit without a Meal-Master code goes to the front of the item.
    EXPECT_EQ(WriteMealMaster(*ParseMasterCookColumns("       2  cloves        garlic")),
              std::vector<std::string>{"      2    cloves garlic"});
    // A long item goes on on continuation lines, cut between words.
    const std::vector<std::string> longLines = WriteMealMaster(
        *ParsePlainLine("1 lb boneless skinless chicken breasts, cut into thin strips"));
    const std::vector<std::string> wantLong = {"      1 lb boneless skinless chicken",
                                               "           -breasts, cut into thin",
                                               "           -strips"};
    EXPECT_EQ(longLines, wantLong);
    // A word longer than the room stays whole.
    const std::string url = "https://example.org/a-very-long-address-for-the-recipe";
    const std::vector<std::string> wantUrl = {"           see", "           -" + url};
    EXPECT_EQ(WriteMealMaster(*ParsePlainLine("see " + url, true)), wantUrl);
    const std::vector<ParsedLine> again = ParseRecipeText(longLines);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].ingredient.ItemText,
              "boneless skinless chicken breasts, cut into thin strips");
}

// Plain lines count as ingredients only when asked; directions stay text either way.
TEST(IngredientLine, PlainLinesInARecipeOnlyWhenAsked) {
    const std::vector<std::string> text = {"Servings: 2", "1 1/2 cups flour, sifted", "2 eggs",
                                           "Beat the eggs into the flour."};
    auto kinds = [&](bool plain) {
        std::string s;
        for (const ParsedLine& l : ParseRecipeText(text, plain))
            s += l.kind == LineKind::Ingredient ? Show(l.ingredient) + ";"
                 : l.kind == LineKind::Text     ? std::string("text;")
                                                : std::string("other;");
        return s;
    };
    EXPECT_EQ(kinds(false), "other;text;text;text;");
    EXPECT_EQ(kinds(true), "other;1.5|cup|flour|sifted;2||eggs|;text;");
}

} // namespace
} // namespace larderly::ingredients
