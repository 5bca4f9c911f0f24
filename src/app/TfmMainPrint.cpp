// The print commands: actPrintExecute prints the recipe report of the recipe selected in the
// recipe list, or, while the book pane is shown, of the recipe selected in the book;
// actPrintBookExecute prints every recipe of the book the book pane shows in one report.
#include "app/MainCommands.h"

#include "app/TfmMain.h"

#include "print/RecipeReport.h"
#include "print/ReportDialogs.h"
#include "workspace/RecipeListModel.h"
#include "workspace/TfmRecipeBook.h"
#include "workspace/TfmRecipes.h"
#include "workspace/TfmShoppingList.h"

#include <QItemSelectionModel>
#include <QTreeView>

namespace larderly {

namespace {
constexpr const char* kNoRecipeForList = "Please select a recipe for the shopping list.";
constexpr const char* kNoRecipeInBook = "There are no recipes in this book to print.";
} // namespace

void PrintRecipe(TfmMain& main) {
    int32_t id = -1;
    int servings = 0;
    if (main.fmRecipes && main.IsActivePane(main.fmRecipes)) {
        // The recipe the editor shows, which is the list's current row: what Delete would
        // delete is what gets printed.
        const TRecipeSummary* s = main.CurrentRecipe();
        if (s && s->InternalID == main.fmRecipes->ShownId()) id = s->InternalID;
        // Printed for the servings the pane shows.
        servings = main.fmRecipes->ShownServings();
    } else if (main.fmRecipeBook && main.IsActivePane(main.fmRecipeBook)) {
        id = main.fmRecipeBook->SelectedRecipeId();
    }
    // Nothing selected (an empty list, a book without a selected recipe): say so instead of
    // printing an empty or a stale recipe.
    if (id < 0) {
        main.UserPrompts().Message(PromptKind::Information, report::kNoRecipeSelected);
        return;
    }
    TReportSystem::Of(main).Execute(main.Store(), id, servings);
}

void PrintBook(TfmMain& main) {
    if (!main.fmRecipeBook || !main.IsActivePane(main.fmRecipeBook)) return;
    // The recipes as the book's list shows them, additions and removals not yet saved included:
    // what the user sees in the book is what gets printed.
    const std::vector<int32_t> ids = main.fmRecipeBook->ShownBookRecipeIds();
    if (ids.empty()) {
        main.UserPrompts().Message(PromptKind::Information, kNoRecipeInBook);
        return;
    }
    TReportSystem::Of(main).Execute(main.Store(), ids);
}

void OpenShoppingList(TfmMain& main) {
    // The recipes selected in the list, in the list's order.
    std::vector<int32_t> ids;
    std::string source;
    if (QItemSelectionModel* sel = main.rptViewRecipes->selectionModel())
        for (const QModelIndex& row : sel->selectedRows())
            if (const TRecipeSummary* s = main.ListModel().SummaryAt(row.row())) {
                ids.push_back(s->InternalID);
                source = s->Title;
            }
    if (ids.empty()) {
        main.UserPrompts().Message(PromptKind::Information, kNoRecipeForList);
        return;
    }
    if (ids.size() > 1) source = std::to_string(ids.size()) + " recipes";
    TfmShoppingList::Open(main, ids, source, &main);
}

} // namespace larderly
