// The recipe editor's transactions.
#include "workspace/core/RecipeEditorCore.h"

#include "store/StoreError.h"

namespace larderly {

RecipeValue TRecipeEditorCore::Load(int32_t id) {
    if (id == -1) return {};
    std::optional<RecipeValue> recipe = store_.LoadRecipeById(id);
    if (!recipe) throw EStoreError(kRecipeNotFound);
    return std::move(*recipe);
}

void TRecipeEditorCore::Save(RecipeValue& recipe) {
    Transaction tr(store_);
    store_.SaveRecipeValue(recipe);
    tr.Commit();
}

bool TRecipeEditorCore::Delete(int32_t id) {
    Transaction tr(store_);
    if (!store_.DeleteRecipe(id)) return false;
    store_.RemoveRecipeFromBooks(id);
    tr.Commit();
    return true;
}

} // namespace larderly
