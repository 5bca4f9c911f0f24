// Changes other programs make to the tables while the window is open (the command line
// importing recipes or merging categories): the window looks for them every second and
// whenever it is activated. When no recipe is being edited the recipe list follows (the
// shown recipe stays current while it is still stored, and is shown as now stored), the
// category pickers refill and the book pane reloads (once its pending changes are saved).
// While a recipe is edited nothing moves; the look is taken again when the edit ends.
#include "app/TfmMain.h"

#include "gui/GuiSupport.h"
#include "store/RecipeSummaries.h"
#include "workspace/TfmRecipeBook.h"
#include "workspace/TfmRecipeList.h"
#include "workspace/TfmRecipes.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

namespace larderly {

namespace {
constexpr int kStoreCheckMs = 1000;
constexpr std::size_t kLabels = 0, kRecipes = 1, kBooks = 2, kBookEntries = 3;
} // namespace

void TfmMain::WatchStoreChanges() {
    if (tmrStoreChanges) return;
    seenStoreChanges_ = Tables->ChangesElsewhere();
    tmrStoreChanges = new QTimer(this);
    tmrStoreChanges->setObjectName("tmrStoreChanges");
    tmrStoreChanges->setInterval(kStoreCheckMs);
    connect(tmrStoreChanges, &QTimer::timeout, this, [this] { LookForStoreChanges(); });
    tmrStoreChanges->start();
}

void TfmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && tmrStoreChanges)
        QTimer::singleShot(0, this, [this] { LookForStoreChanges(); });
}

void TfmMain::LookForStoreChanges() {
    // Not from inside a command that lets pending messages run (an import at work).
    if (commandDepth_ == 0) RunGuarded(prompts_, [this] { CheckStoreChanges(); });
}

void TfmMain::CheckStoreChanges() {
    if (destroyed_ || !Tables || !Tables->TablesOpen() || Tables->InTransaction()) return;
    // A walk left standing would keep the other program's commit waiting.
    Tables->ReleaseReadLocks();
    // Never under a dialog or a menu: the dialog may be working with what the window shows.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return;
    // A writer at work right now: the next look will see its commit.
    if (!Tables->PollChangesElsewhere(false)) return;
    const std::array<uint64_t, 4> now = Tables->ChangesElsewhere();
    if (now == seenStoreChanges_ && !bookPaneStale_) return;
    if (editing_) return;
    const std::array<uint64_t, 4> seen = seenStoreChanges_;
    // Seen before the work: a failure is shown once, not at every tick.
    seenStoreChanges_ = now;
    const bool recipes = now[kRecipes] != seen[kRecipes];
    if (recipes) {
        const bool onRecipes = fmRecipes && activePane_ == fmRecipes;
        const TRecipeSummary* current = CurrentRecipe();
        const int32_t keep = onRecipes ? fmRecipes->ShownId() : current ? current->InternalID : -1;
        Tables->SyncSummaries();
        fmRecipeList->KeepCurrent(keep);
        // The shown recipe is read again: its text may have changed too.
        if (onRecipes) rptViewRecipesClick();
    }
    if (now[kLabels] != seen[kLabels]) LabelsChanged();
    if (recipes || now[kBooks] != seen[kBooks] || now[kBookEntries] != seen[kBookEntries])
        bookPaneStale_ = true;
    // The book pane reloads once its pending changes are saved, and when shown in any case.
    if (bookPaneStale_ && fmRecipeBook) {
        if (activePane_ != fmRecipeBook)
            bookPaneStale_ = false;
        else if (fmRecipeBook->ReloadLists())
            bookPaneStale_ = false;
    }
}

} // namespace larderly
