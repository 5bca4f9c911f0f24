// Adding the ingredients of several recipes into one shopping list, and the aisle table.
#include "ingredients/ShoppingList.h"
#include "ingredients/Scale.h"

#include <gtest/gtest.h>

namespace larderly::ingredients {
namespace {

// The list of the recipes (each a list of plain ingredient lines) as "QUANTITY|ITEM" per
// item, joined by "; ".
std::string ListOf(const std::vector<std::vector<std::string>>& recipes) {
    ShoppingList list;
    for (const auto& r : recipes)
        list.AddRecipe(r);
    std::string out;
    for (const ShoppingItem& item : list.Items(AisleTable::Default()))
        out += (out.empty() ? "" : "; ") + item.QuantityText() + "|" + item.Name;
    return out;
}

TEST(ShoppingList, AddsAmountsOfOneItem) {
    const struct {
        const char* what;
        std::vector<std::vector<std::string>> recipes;
        const char* want;
    } cases[] = {
        {"same unit", {{"1 cup flour"}, {"2 cups flour"}}, "3 cup|flour"},
        {"case, plural, preparation", {{"2 Onions, chopped"}, {"1 onion -- sliced"}}, "3|Onions"},
        {"-ies plural", {{"1 cup berries"}, {"1 cup berry"}}, "2 cup|berries"},
        {"-oes plural", {{"2 potatoes"}, {"1 potato"}}, "3|potatoes"},
        {"tsp into tbsp", {{"3 tsp sugar"}, {"1 tbsp sugar"}}, "2 tbsp|sugar"},
        {"small total stays small", {{"1 tsp salt"}, {"1/2 tbsp salt"}}, "2.5 tsp|salt"},
        {"tbsp into cup", {{"8 tbsp butter"}, {"1/2 cup butter"}}, "1 cup|butter"},
        {"fl oz and cup", {{"4 fl oz milk"}, {"1/2 cup milk"}}, "1 cup|milk"},
        {"g and kg", {{"500 g potatoes"}, {"1 kg potatoes"}}, "1.5 kg|potatoes"},
        {"g stays g", {{"200 g cheese"}, {"300 grams cheese"}}, "500 g|cheese"},
        {"a thousand g is a kg", {{"600 g flour"}, {"400 g flour"}}, "1 kg|flour"},
        {"ml and l", {{"250 ml water"}, {"1 l water"}}, "1.25 l|water"},
        {"oz and lb", {{"8 oz beef"}, {"1 lb beef"}}, "1.5 lb|beef"},
        {"kinds kept apart", {{"1 cup milk"}, {"100 ml milk"}}, "1 cup + 100 ml|milk"},
        {"weight and volume apart", {{"1 cup flour"}, {"100 g flour"}}, "1 cup + 100 g|flour"},
        {"other units apart", {{"2 cloves garlic"}, {"1 garlic"}}, "2 clove + 1|garlic"},
        {"ranges add", {{"1-2 cups rice"}, {"1 cup rice"}}, "2-3 cup|rice"},
        {"no amount", {{"salt to taste"}, {"pepper"}}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListOf(c.recipes), c.want) << c.what;
}

TEST(ShoppingList, GroupsByAisleAndScales) {
    ShoppingList list;
    list.AddRecipe({"Servings: 4", "", "1 lb beef", "2 leeks, sliced", "1 cup milk",
                    "Cook the beef until brown."},
                   2.0);
    list.AddRecipe({"1 can chicken broth", "1 chicken", "2 cups mystery powder"});
    EXPECT_EQ(ShoppingListText(list.Items(AisleTable::Default())),
              "#\tproduce\n4\tleeks\n"
              "#\tmeat\n2 lb\tbeef\n1\tchicken\n"
              "#\tdairy\n2 cup\tmilk\n"
              "#\tcanned goods\n1 can\tchicken broth\n"
              "#\tother\n2 cup\tmystery powder\n");
    EXPECT_EQ(RecipeServings({"Title: x", "Serving Size  : 6", "1 egg"}).value_or(0), 6);
    EXPECT_EQ(RecipeServings({"1 egg"}).has_value(), false);
}

TEST(ShoppingList, UserAisleTable) {
    AisleTable t = AisleTable::Default();
    std::vector<std::string> problems;
    t.Read("# my shop\nleeks = Market\n\nmystery powder=baking\nnonsense line\n = dairy\n",
           problems);
    EXPECT_EQ(t.AisleOf(ItemKey("Leek")), "market");
    EXPECT_EQ(t.AisleOf(ItemKey("mystery powders")), "baking");
    EXPECT_EQ(t.AisleOf(ItemKey("potato")), "produce");
    EXPECT_EQ(t.Order().back(), "market");
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], "line 5: no '=' between item and aisle");
    EXPECT_NE(problems[1].find("line 6"), std::string::npos);
}

} // namespace
} // namespace larderly::ingredients
