// Looking after the category labels as a whole: every category with the number of recipes
// that use it, adding, renaming, deleting an unused one and merging one into another. The
// labels' rules hold throughout: a name keeps at most 40 characters, no two labels share a
// name without regard to the case of the letters A to Z, and a recipe holds its categories by
// the labels' identifiers, so a rename reaches every recipe at once. Each change runs in one
// transaction.
#pragma once

#include "store/Tables.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace larderly {

// A refused change, with the message to show.
class ECategoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CategoryUse {
    int32_t Id = -1;
    std::string Name;
    int Recipes = 0; // recipes with this label in any slot, each counted once
};

// Every recipe category (label kind 0), sorted by name without regard to case.
std::vector<CategoryUse> CategoryUses(TfmTables& store);

// Adds a category; gives its identifier. The name is trimmed and cut to 40 characters.
int32_t AddCategory(TfmTables& store, const std::string& name);

// Gives the category a new name (trimmed, cut to 40 characters); a change of letter case
// alone is allowed.
void RenameCategory(TfmTables& store, int32_t id, const std::string& name);

// Deletes a category that no recipe uses.
void DeleteCategory(TfmTables& store, int32_t id);

// Puts `into` wherever a recipe holds `from` (a recipe that already holds `into` loses the
// second slot instead), then deletes `from`. Gives the number of recipes changed.
int MergeCategory(TfmTables& store, int32_t from, int32_t into);

} // namespace larderly
