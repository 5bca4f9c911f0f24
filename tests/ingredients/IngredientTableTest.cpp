// Every line of data/ingredient_lines.tsv read on its own: the line, then the amount, unit,
// item and preparation expected, tab-separated. Lines starting with "#" are comments.
#include "ingredients/IngredientLine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace larderly::ingredients;

TEST(IngredientTable, EveryLabelledLineReadsAsExpected) {
    std::ifstream in(std::string(LARDERLY_SOURCE_DIR) +
                     "/tests/ingredients/data/ingredient_lines.tsv");
    ASSERT_TRUE(in) << "the table of ingredient lines is missing";
    std::string row;
    int rows = 0;
    while (std::getline(in, row)) {
        if (row.empty() || row[0] == '#') continue;
        const std::size_t tab = row.find('\t');
        ASSERT_NE(tab, std::string::npos) << row;
        const std::string line = row.substr(0, tab), expected = row.substr(tab + 1);
        const std::vector<std::string> got = ListIngredients({line}, true);
        ASSERT_EQ(got.size(), 1u) << "\"" << line << "\"";
        EXPECT_EQ(got[0], expected) << "\"" << line << "\"";
        ++rows;
    }
    EXPECT_GT(rows, 0);
}

TEST(IngredientTable, BlockGivesHeadingsJoinsContinuationsAndSkipsServings) {
    const std::vector<std::string> text = {
        "Serving Size  : 4",
        "",
        "      2 c  Flour",
        "      1 ts Salt",
        "",
        "MMMMM-----SAUCE-----",
        "      1 lb Tomatoes, peeled and",
        "           -chopped",
        "  1 1/2 T  Butter                             2    Cloves garlic",
        "",
        "Mix the flour and salt; 2 hours later add the sauce.",
    };
    const std::vector<std::string> want = {"2\tcup\tFlour\t",
                                           "1\ttsp\tSalt\t",
                                           "#\tSAUCE",
                                           "1\tlb\tTomatoes\tpeeled and chopped",
                                           "1.5\ttbsp\tButter\t",
                                           "2\t\tCloves garlic\t"};
    EXPECT_EQ(ListIngredients(text), want);
}
