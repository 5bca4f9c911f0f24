// Scaling a recipe's text to another number of servings.
#include "ingredients/Scale.h"

#include <gtest/gtest.h>

using namespace larderly::ingredients;

TEST(Scale, AmountsAreKitchenFractionsForUsMeasuresAndDecimalsForMetric) {
    const struct {
        double value;
        const char* unit;
        const char* text;
    } cases[] = {
        {1.5, "cup", "1 1/2"},    {0.75, "tsp", "3/4"},  {1.0 / 3, "cup", "1/3"},
        {2.0 / 3, "tbsp", "2/3"}, {0.125, "tsp", "1/8"}, {3, "", "3"},
        {2.2, "lb", "2 1/4"},     {0.05, "tsp", "0.05"}, {4.0 / 3, "clove", "1 1/3"},
        {375, "g", "375"},        {37.5, "ml", "38"},    {1.26, "kg", "1.3"},
        {0.375, "l", "0.38"},     {2, "g", "2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScaledAmountText(c.value, c.unit), c.text) << c.value << " " << c.unit;
}

TEST(Scale, MealMasterBlockKeepsItsColumnsAndLeavesUnmeasuredLinesAlone) {
    const std::vector<std::string> text = {
        "      Title: Soup",
        "   Servings: 4",
        "",
        "  1 1/2 c  Stock                                 1 ts Salt",
        "      3    Leeks, sliced",
        "    250 g  Potatoes",
        "           Pepper to taste",
        "",
        "Simmer 20 minutes; serves 4.",
    };
    const std::optional<std::vector<std::string>> scaled = ScaleRecipeText(text, 6);
    ASSERT_TRUE(scaled);
    const std::vector<std::string> want = {
        "      Title: Soup",
        "   Servings: 6",
        "",
        "  2 1/4 c  Stock                             1 1/2 ts Salt",
        "  4 1/2    Leeks, sliced",
        "    375 g  Potatoes",
        "           Pepper to taste",
        "",
        "Simmer 20 minutes; serves 4.",
    };
    EXPECT_EQ(*scaled, want);
}

TEST(Scale, PlainLinesRangesAndNoServings) {
    const std::vector<std::string> text = {"Serves: 2", "1 1/2 cups flour, sifted",
                                           "2 to 3 tablespoons oil", "½ tsp salt", "100g sugar"};
    const std::optional<std::vector<std::string>> half = ScaleRecipeText(text, 1);
    ASSERT_TRUE(half);
    EXPECT_EQ(*half,
              (std::vector<std::string>{"Serves: 1", "3/4 cups flour, sifted",
                                        "1-1 1/2 tablespoons oil", "1/4 tsp salt", "50g sugar"}));
    EXPECT_FALSE(ScaleRecipeText({"2 cups flour"}, 4)) << "no servings named";
    EXPECT_FALSE(ScaleRecipeText(text, 0));
}
