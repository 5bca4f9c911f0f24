// The print command (actPrintExecute): the recipe report of the recipe selected in the
// recipe list, or, while the book pane is shown, of the recipe selected in the book.
#include "app/MainCommands.h"

#include "app/TfmMain.h"

#include "print/RecipeReport.h"
#include "print/ReportDialogs.h"
#include "workspace/TfmRecipeBook.h"
#include "workspace/TfmRecipes.h"

namespace larderly {

void PrintRecipe(TfmMain& main) {
    int32_t id = -1;
    if (main.fmRecipes && main.IsActivePane(main.fmRecipes)) {
        // The recipe the editor shows, which is the list's current row: what Delete would
        // delete is what gets printed.
        const TRecipeSummary* s = main.CurrentRecipe();
        if (s && s->InternalID == main.fmRecipes->ShownId()) id = s->InternalID;
    } else if (main.fmRecipeBook && main.IsActivePane(main.fmRecipeBook)) {
        id = main.fmRecipeBook->SelectedRecipeId();
    }
    // Nothing selected (an empty list, a book without a selected recipe): say so instead of
    // printing an empty or a stale recipe.
    if (id < 0) {
        main.UserPrompts().message(PromptKind::Information, report::kNoRecipeSelected);
        return;
    }
    TReportSystem::Of(main).Execute(main.Store(), id);
}

} // namespace larderly
