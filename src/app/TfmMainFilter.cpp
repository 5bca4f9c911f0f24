// The filter command (actFilterExecute): the filter dialog, then the recipe list shown anew
// through the filter.
#include "app/MainCommands.h"

#include "app/TfmMain.h"

#include "workspace/TfmFilter.h"
#include "workspace/TfmRecipes.h"

namespace larderly {

void FilterRecipes(TfmMain& main) {
    if (!main.fmFilter) return;
    // RunFilter first brings the fields' enabled state in line with the check boxes.
    if (!main.fmFilter->RunFilter()) return;
    if (main.fmRecipes) main.fmRecipes->ShowRecipe(-1);
    main.ShowRecipeList();
}

} // namespace larderly
