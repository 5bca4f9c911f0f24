// The recipe editor's work on the store, without Qt: loading the shown recipe, saving the
// edited one and deleting it (with its book entries), each in a transaction of its own. The
// editor window holds the fields; this holds what they are read from and written to.
#pragma once

#include "store/Tables.h"

#include <cstdint>

namespace larderly {

class TRecipeEditorCore {
public:
    explicit TRecipeEditorCore(TfmTables& store) : store_(store) {}

    // The stored recipe; raises the store's error when it is gone. -1 gives an empty recipe.
    RecipeValue Load(int32_t id);
    // Stores the recipe (a new one when its identifier is -1) in one transaction; `recipe`
    // then holds its identifier. Nothing is stored when it raises.
    void Save(RecipeValue& recipe);
    // Deletes the recipe and takes it out of every book, in one transaction; false when no
    // such recipe is stored (nothing changes then).
    bool Delete(int32_t id);

private:
    TfmTables& store_;
};

} // namespace larderly
