// The recipe list pane down the main window's left side: the search field above the list, the
// list of the recipes that the filter and the search let through (sorted by title), and the
// status line under it ("N of M recipes", the mark of a narrowed list, Show All). Its rows
// follow the store's committed changes to the recipe summaries by themselves: a saved recipe
// keeps or gets its row, a deleted one loses it, many new ones (an import, another program's
// commits) join where the filter and the search let them. The window that holds the pane
// decides what a move to another row does (RowMoved) and what the click handling does (Click).
#pragma once

#include "store/RecipeSummaries.h"
#include "workspace/core/RecipeListMembership.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;
class QTreeView;

namespace larderly {

class RecipeListModel;
class TfmFilter;

class TfmRecipeList : public QWidget, private ISummaryObserver {
public:
    explicit TfmRecipeList(QWidget* parent = nullptr);
    ~TfmRecipeList() override;

    // The store whose summaries the list shows and observes (nullptr: none).
    void SetStore(TfmTables* store);
    // The filter dialog whose filter the list applies (nullptr: none).
    void SetFilter(TfmFilter* filter);

    // What the holder does. RowMoved: the user moved to another row (a click, the keys).
    // Click: the click handling, run after the list is shown anew or loses the current row.
    // DeletePressed: the Delete key in the list. Guarded: runs a command under the error guard.
    std::function<void()> RowMoved;
    std::function<void()> Click;
    std::function<void()> DeletePressed;
    std::function<void(const std::function<void()>&)> Guarded;

    // Rebuilds the summaries from the recipe table, showing the progress window; the rows go
    // first, since they refer to the summaries.
    void Build();
    // Refills the rows with the summaries that belong in the list (showing the progress window
    // when `progress`), selects the first row and runs the click handling. A search that fails
    // leaves nothing out and its error is raised once the list is filled.
    void Show(bool progress = true);
    // The current row's summary, or nullptr.
    TRecipeSummary* Current() const;
    // Makes the row of the recipe current (else the first row, else none) without the click
    // handling.
    void KeepCurrent(int32_t id);
    // Makes a row current without the click handling.
    void SelectRow(int row);
    // The list, the search and Show All are disabled while a recipe is edited.
    void SetListEnabled(bool enabled);
    // The list follows the search text at once (typing waits for a pause).
    void ApplySearch();
    // Whether the filter or the search leaves recipes out of the list.
    bool Narrowed() const { return membership_.Narrowed(); }
    // Clears the search text and the filter, and shows every recipe.
    void ClearNarrowing();
    // The search text, as remembered between runs.
    std::string SearchText() const;
    void SetSearchText(const std::string& text);
    // The search field is available with the list and the search index.
    void UpdateSearchAvailability();
    // While deferred, new summaries get no rows: whoever defers shows the list anew afterwards
    // (an import), so that the rows are filled once, not once per commit and again at the end.
    void DeferNewRows(bool defer) { deferNewRows_ = defer; }

    RecipeListModel& Model() { return *model_; }

    QLineEdit* edtSearch = nullptr;
    QTreeView* rptViewRecipes = nullptr;
    QLabel* lblListStatus = nullptr;
    QLabel* lblNarrowed = nullptr;
    QToolButton* btnShowAll = nullptr;
    QAction* actShowAll = nullptr; // Ctrl+Shift+F anywhere in the window

private:
    void SummariesChanged(const std::vector<TSummaryChange>& changes) override;
    void FollowRow();
    void UpdateStatus();
    void Run(const std::function<void()>& f);
    void RunSearch();

    RecipeListModel* model_ = nullptr;
    QTimer* searchDelay_ = nullptr;
    TfmTables* store_ = nullptr;
    TfmFilter* filter_ = nullptr;
    TListMembership membership_;
    std::string searchWords_; // the words the list follows (empty: no search)
    bool quiet_ = false;      // a selection made by the pane itself: no RowMoved
    bool shown_ = false;      // shown once: the search and Show All refill the rows
    bool deferNewRows_ = false;
};

} // namespace larderly
