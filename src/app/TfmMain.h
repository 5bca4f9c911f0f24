// The main window: tool bar, menu and commands, the recipe list on the left, the pane
// container on the right showing either the recipe editor or the book pane, the start-up
// order, closing and help. It owns the store, the recipe summaries and both panes.
//
// Commands built elsewhere (filter, print, import, export, backup, restore) are handlers in their
// own source files, installed by InstallMainCommands (app/MainCommands.h) when the window is
// created or through SetCommandHandler; a command without a handler stays unavailable.
#pragma once

#include "backup/BackupHost.h"
#include "workspace/WorkspaceHost.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenuBar;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolButton;
class QTreeView;

namespace larderly {

class RecipeListModel;
class TfmFilter;
class TfmRecipeBook;
class TfmRecipes;
class TfmMain;

// The commands whose handlers live outside the main window's core.
enum class MainCommand { Filter, Print, Import, Backup, Restore, Export, PrintBook };
using MainCommandHandler = std::function<void(TfmMain&)>;

struct TfmMainOptions {
    bool ShowWelcome = true; // show the welcome window first (step 1 of start-up)
};

class TfmMain : public QMainWindow,
                public WorkspaceHost,
                public BackupHost,
                private ISummaryObserver {
public:
    explicit TfmMain(Prompts& prompts, TfmMainOptions options = {}, QWidget* parent = nullptr);
    ~TfmMain() override;

    // Installs (or, with an empty handler, removes) a command's handler.
    void SetCommandHandler(MainCommand command, MainCommandHandler handler);
    bool HasCommandHandler(MainCommand command) const;

    // Start-up; errors end it at the failing step and are shown. Run by the constructor.
    void FormCreate();
    bool FormCloseQuery();
    void FormDestroy();
    void btnCloseClick();
    void Timer1Timer();
    void Exit1Click();
    void Contents1Click();
    void actRecipesExecute();
    void actRecipeBookExecute();
    void actFilterExecute();
    void actPrintExecute();
    void Import1Click();
    // File > Export: the shown recipe, the listed recipes or a book to a recipe file; not while
    // a recipe is edited.
    void Export1Click();
    // Print Book (the book pane's button, File > Print Book): every recipe of the shown book
    // in one report, each on a new page.
    void actPrintBookExecute();
    // File > Categories: the Categories window, modal; the pickers refill after each change.
    void Categories1Click();
    void actBackupExecute();
    void actRestoreExecute();

    // The recipe list.
    void BuildRecipeList();
    void ShowRecipeList() override;
    TRecipeSummary* FindSummary(int32_t id);
    // Makes the list's row of the recipe's summary follow it (adding a row, when `show`).
    void UpdateRecipeList(const RecipeRecord& rec, bool show);
    // Removes the summary (its row goes with it), selects the first row and clicks.
    void RemoveSummary(int32_t id);
    bool RecipeTitleExists(const std::string& title) const;
    TRecipeSummary* AppendSummary(const RecipeRecord& rec);
    void rptViewRecipesClick() override;
    TRecipeSummary* CurrentRecipe() override;

    // Category labels were added to the store (an import): the pickers are refilled.
    void LabelsChanged();

    // Looks for changes another program (the command line) committed to the tables and,
    // unless a recipe is being edited, brings the list, the shown recipe, the pickers and
    // the book pane in line with them (TfmMainChanges.cpp). Run by tmrStoreChanges every
    // second and when the window is activated.
    void CheckStoreChanges();

    // The active pane (the recipe pane or the book pane), or nullptr.
    TPane* ActivePane() const { return activePane_; }
    // The program folder, ending in "/".
    const std::string& ApplicationPath() const { return appPath_; }
    // The import dialog's initial folder: the folder of the last import, remembered between
    // runs (the program folder when none was used or it is gone).
    const std::string& ImportFolder() const { return importFolder_; }
    void SetImportFolder(const std::string& folder) { importFolder_ = folder; }
    // The export dialog's initial folder, remembered between runs (empty when none was used).
    const std::string& ExportFolder() const { return exportFolder_; }
    void SetExportFolder(const std::string& folder) { exportFolder_ = folder; }

    // The search above the list: the words whose recipes the list shows (with the filter).
    // Typing waits for a pause before the list follows; ApplySearch makes it follow at once.
    void ApplySearch();
    // Whether the filter or the search leaves recipes out of the list.
    bool ListNarrowed() const;
    // Clears the search text and the filter, and shows every recipe.
    void ClearNarrowing();
    // The message of the error that ended start-up early; empty after a full start-up.
    const std::string& StartupError() const { return startupError_; }
    RecipeListModel& ListModel() { return *listModel_; }
    // The store's recipe summaries (Store().Summaries()).
    RecipeSummaries& Summaries();

    // WorkspaceHost.
    TfmTables& Store() override { return *Tables; }
    Prompts& UserPrompts() override { return prompts_; }
    void SetRecipeListEnabled(bool enabled) override;
    void SetButtonEnabled(MainButton button, bool enabled) override;
    void SetEditing(bool editing) override;
    bool IsActivePane(const TPane* pane) const override { return pane && pane == activePane_; }
    void StopCloseTimer() override;
    void ShowHelp(int context) override;
    void OnLabelsChanged(std::function<void()> callback) override;
    void NotifyLabelsChanged() override { LabelsChanged(); }

    // Components, named as the window's parts.
    QWidget* Panel3 = nullptr;
    QTreeView* rptViewRecipes = nullptr;
    QStackedWidget* fmContainer = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QObject* ActionList1 = nullptr;
    QAction* actRecipeBook = nullptr;
    QAction* actRecipes = nullptr;
    QAction* actFilter = nullptr;
    QAction* actPrint = nullptr;
    QAction* actBackup = nullptr;
    QAction* actRestore = nullptr;
    QToolButton* btnFilter = nullptr;
    QToolButton* btn1 = nullptr;
    QToolButton* btnRecipes = nullptr;
    QToolButton* btnPrint = nullptr;
    QToolButton* btnClose = nullptr;
    QAction* Import1 = nullptr;
    QAction* Export1 = nullptr;
    QAction* actPrintBook = nullptr;
    QAction* PrintBook1 = nullptr;      // menu entry running actPrintBook
    QAction* actShoppingList = nullptr; // the shopping list of the recipes chosen in the list
    QAction* Categories1 = nullptr;
    QAction* Backup1 = nullptr;  // menu entry running actBackup
    QAction* Restore1 = nullptr; // menu entry running actRestore
    QAction* Exit1 = nullptr;
    QAction* Contents1 = nullptr;
    QTimer* Timer1 = nullptr;
    QSplitter* splMain = nullptr;      // the list's side and the pane container
    QLineEdit* edtSearch = nullptr;    // the search above the list
    QLabel* lblListStatus = nullptr;   // "N of M recipes" under the list
    QLabel* lblNarrowed = nullptr;     // the mark shown while the list is narrowed
    QToolButton* btnShowAll = nullptr; // clears the search and the filter
    QAction* actShowAll = nullptr;     // the same, Ctrl+Shift+F
    QTimer* tmrStoreChanges = nullptr;

    std::unique_ptr<TfmTables> Tables;
    TfmRecipes* fmRecipes = nullptr;
    TfmRecipeBook* fmRecipeBook = nullptr;
    TfmFilter* fmFilter = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildWindow();
    void ApplyAvailability();
    void RunCommand(MainCommand command);
    void Guarded(const std::function<void()>& f);
    void SelectRow(int row); // makes a row current without running the click handling
    // Loads the list's current row into the editor when the editor shows another recipe.
    void FollowListRow();
    void ActivatePane(TPane* pane);
    // The store's summaries changed (a save, a delete, an import committed): the list follows.
    void SummariesChanged(const std::vector<TSummaryChange>& changes) override;
    void MakeTables();
    // Whether a summary belongs in the list: the filter and the search both let it.
    bool RecipeInList(const TRecipeSummary& s) const;
    // Runs the search for the applied words; no words or no index leave nothing out.
    void RefreshSearchResult();
    // Refills the list from the summaries; `progress` shows the progress window.
    void FillRecipeList(bool progress);
    void UpdateListStatus();
    // The search field is available with the list and the index.
    void UpdateSearchAvailability();
    void RestoreLayout();
    void SaveLayout();
    void WatchStoreChanges();
    void LookForStoreChanges();

    Prompts& prompts_;
    TfmMainOptions options_;
    RecipeListModel* listModel_ = nullptr;
    TPane* activePane_ = nullptr;
    std::string appPath_;
    std::string importFolder_;
    std::string exportFolder_;
    std::string searchWords_;   // the words the list follows (empty: no search)
    bool searchActive_ = false; // searchWords_ hold a word and the index answered
    std::unordered_set<int32_t> searchIds_;
    QTimer* searchDelay_ = nullptr;
    std::string startupError_;
    std::array<MainCommandHandler, 7> handlers_;
    std::array<bool, 4> wanted_{true, true, true, true};
    bool editing_ = false;
    bool quietSelection_ = false;
    bool destroyed_ = false;
    std::vector<std::function<void()>> labelsChanged_;
    std::array<uint64_t, 4> seenStoreChanges_{0, 0, 0, 0};
    bool bookPaneStale_ = false;
    int commandDepth_ = 0; // commands under way (Guarded)
};

} // namespace larderly
