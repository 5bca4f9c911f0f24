// Which recipes an export writes, read from the store by identifier: every recipe in the
// recipe list's order, a book's recipes, or recipes named by identifier. Each read runs its
// own short statements, so no statement stays open afterwards.
#pragma once

#include "exchange/RecipeExport.h"
#include "store/Tables.h"

#include <cstdint>
#include <string>
#include <vector>

namespace larderly::exchange {

// Every recipe, in the recipe list's order (titles compared with the letters a-z folded).
std::vector<int32_t> AllRecipeIds(TfmTables& store);

// The recipes of the book with that name (compared with the letters a-z folded), in the
// book list's order. Raises std::runtime_error when there is no such book.
std::vector<int32_t> BookRecipeIds(TfmTables& store, const std::string& bookName);

// Every book name, sorted.
std::vector<std::string> BookNames(TfmTables& store);

// The recipes with those identifiers, in that order. Raises std::runtime_error naming an
// identifier that has no recipe.
std::vector<ExportRecipe> LoadExportRecipes(TfmTables& store, const std::vector<int32_t>& ids);

} // namespace larderly::exchange
