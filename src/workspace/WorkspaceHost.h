// What the panes of the pane container may ask of the main window: the store and the list's
// current item, the list operations, the tool bar commands whose availability the panes set,
// the close timer, help and the user's questions. The main window (TfmMain) implements it;
// the panes never see the main window's class.
#pragma once

#include "platform/Prompts.h"
#include "store/RecipeSummaries.h"
#include "store/Tables.h"

#include <QWidget>

#include <cstdint>
#include <functional>

namespace larderly {

// A pane of the pane container. The container asks the active pane whether the main
// window may close.
class TPane : public QWidget {
public:
    using QWidget::QWidget;
    virtual bool PaneCloseQuery() = 0;
};

// The tool bar commands whose availability the panes set.
enum class MainButton {
    RecipeBook /* btn1 */,
    Recipes /* btnRecipes */,
    Filter /* btnFilter */,
    Print /* btnPrint */
};

class WorkspaceHost {
public:
    virtual ~WorkspaceHost() = default;

    // The store, which also holds the recipe summaries (TfmTables::Summaries).
    virtual TfmTables& Store() = 0;
    virtual Prompts& UserPrompts() = 0;

    // The recipe list's current item: the summary of its selected row, or nullptr.
    virtual TRecipeSummary* CurrentRecipe() = 0;
    // The list's click handling (loads the current item into the editor when the recipe
    // pane is active).
    virtual void rptViewRecipesClick() = 0;
    // Refill the view with the summaries that pass the filter.
    virtual void ShowRecipeList() = 0;
    // Enables or disables the recipe list (the editor disables it while editing).
    virtual void SetRecipeListEnabled(bool enabled) = 0;

    // Sets a tool bar command's availability (its button, menu entry and shortcut).
    virtual void SetButtonEnabled(MainButton button, bool enabled) = 0;
    // Whether the editor is being used to change a recipe: the main window keeps the
    // commands that would change the store behind the editor's back (import, restore)
    // unavailable meanwhile.
    virtual void SetEditing(bool editing) = 0;
    // Whether this pane is the active one.
    virtual bool IsActivePane(const TPane* pane) const = 0;
    // Stops the main window's close timer (Timer1).
    virtual void StopCloseTimer() = 0;
    // Opens the help file at a context.
    virtual void ShowHelp(int context) = 0;
    // Registers a callback run whenever category labels were added to the store (for
    // example by an import), so that pickers can be refilled.
    virtual void OnLabelsChanged(std::function<void()> callback) = 0;
    // A pane added a label: every label list is filled again.
    virtual void NotifyLabelsChanged() {}
};

} // namespace larderly
