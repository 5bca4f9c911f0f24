// The main window: tool bar, menu and commands, the recipe list pane on the left
// (workspace/TfmRecipeList.h), the pane container on the right showing either the recipe
// editor or the book pane, the start-up order, the layout, closing and help. It owns the
// store (which holds the recipe summaries) and the panes.
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
#include <vector>

class QAction;
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
class TfmRecipeList;
class TfmRecipes;
class TfmMain;

// The commands whose handlers live outside the main window's core.
enum class MainCommand { Filter, Print, Import, Backup, Restore, Export, PrintBook };
using MainCommandHandler = std::function<void(TfmMain&)>;

struct TfmMainOptions {
    bool ShowWelcome = true; // show the welcome window first (step 1 of start-up)
};

class TfmMain : public QMainWindow, public WorkspaceHost, public BackupHost {
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

    // The recipe list (the list pane follows the summaries by itself).
    void BuildRecipeList();
    void ShowRecipeList() override;
    TRecipeSummary* FindSummary(int32_t id);
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

    // The message of the error that ended start-up early; empty after a full start-up.
    const std::string& StartupError() const { return startupError_; }
    RecipeListModel& ListModel();
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
    TfmRecipeList* fmRecipeList = nullptr; // the list pane: search field, list, status line
    QTreeView* rptViewRecipes = nullptr;   // the list pane's list
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
    QSplitter* splMain = nullptr; // the list pane and the pane container
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
    // Loads the list's current row into the editor when the editor shows another recipe.
    void FollowListRow();
    void ActivatePane(TPane* pane);
    void MakeTables();
    void RestoreLayout();
    void SaveLayout();
    void WatchStoreChanges();
    void LookForStoreChanges();

    Prompts& prompts_;
    TfmMainOptions options_;
    TPane* activePane_ = nullptr;
    std::string appPath_;
    std::string importFolder_;
    std::string exportFolder_;
    std::string startupError_;
    std::array<MainCommandHandler, 7> handlers_;
    std::array<bool, 4> wanted_{true, true, true, true};
    bool editing_ = false;
    bool destroyed_ = false;
    std::vector<std::function<void()>> labelsChanged_;
    std::array<uint64_t, 4> seenStoreChanges_{0, 0, 0, 0};
    bool bookPaneStale_ = false;
    int commandDepth_ = 0; // commands under way (Guarded)
};

} // namespace larderly
