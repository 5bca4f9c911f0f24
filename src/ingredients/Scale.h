// Scaling a recipe's ingredient block to another number of servings, for display and
// printing only: the stored text is never changed. Amounts of US measures are written as
// kitchen fractions ("1/3", "3/4", "1 1/2"), metric ones as short decimals; lines without
// an amount ("salt to taste") and every other line stay as they are.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace larderly::ingredients {

// An amount multiplied, written for its unit: a kitchen fraction for US measures and counts,
// a decimal (fewer places the larger it is) for metric units.
std::string ScaledAmountText(double value, const std::string& unit);

// The number of servings the text names ("Servings: 4", "Serving Size  : 6"), when it does.
std::optional<double> RecipeServings(const std::vector<std::string>& text);

// The text with every ingredient amount multiplied by servings / the recipe's servings, and
// the servings line showing the new number. Columns stay lined up: an amount right-aligned
// in its columns stays right-aligned. Nothing when the text names no servings.
std::optional<std::vector<std::string>> ScaleRecipeText(const std::vector<std::string>& text,
                                                        double servings);

} // namespace larderly::ingredients
