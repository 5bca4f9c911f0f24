// Which recipes an export writes, read from the store by identifier: every recipe in the
// recipe list's order, a book's recipes, or recipes named by identifier. Each read is a
// value the store gives, so nothing stays open on the tables afterwards.
#pragma once

#include "exchange/RecipeExport.h"
#include "store/Tables.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace larderly::exchange {

// Every recipe, in the recipe list's order (titles compared with the letters a-z folded).
std::vector<int32_t> AllRecipeIds(TfmTables& store);
// The stored recipes among `ids`, in the recipe list's order; reads those rows only.
std::vector<int32_t> RecipeIdsInListOrder(TfmTables& store, const std::vector<int32_t>& ids);

// The recipes of the book with that name (compared with the letters a-z folded), in the
// book list's order. Raises std::runtime_error when there is no such book.
std::vector<int32_t> BookRecipeIds(TfmTables& store, const std::string& bookName);

// The recipes of the book with that identifier, in the book list's order; none when there is
// no such book.
std::vector<int32_t> BookRecipeIds(TfmTables& store, int32_t bookId);

// Every book name, sorted.
std::vector<std::string> BookNames(TfmTables& store);

// Every book with its identifier, sorted by name (books of the same name by identifier).
struct ExportBook {
    int32_t Id = -1;
    std::string Name;
};
std::vector<ExportBook> Books(TfmTables& store);

// The recipes with those identifiers, in that order; `step` (when set) is called once per
// recipe read. Raises std::runtime_error naming an identifier that has no recipe.
std::vector<ExportRecipe> LoadExportRecipes(TfmTables& store, const std::vector<int32_t>& ids,
                                            const std::function<void()>& step = {});

} // namespace larderly::exchange
