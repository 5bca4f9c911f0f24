// The main window: construction of its parts, start-up, commands, the recipe list
// operations and closing.
#include "app/TfmMain.h"

#include "app/MainCommands.h"
#include "app/TfmAd.h"
#include "gui/GuiSupport.h"
#include "platform/AppPaths.h"
#include "platform/FileUtil.h"
#include "platform/Settings.h"
#include "workspace/RecipeListModel.h"
#include "workspace/TfmCategories.h"
#include "workspace/TfmFilter.h"
#include "workspace/TfmRecipeBook.h"
#include "workspace/TfmRecipeList.h"
#include "workspace/TfmRecipes.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

#include <exception>

namespace larderly {

namespace {
constexpr const char* kPrintRecipe = "Print Recipe (F6)";
constexpr const char* kPrintRecipeInBook = "Print Recipe In Book (F6)";

} // namespace

TfmMain::TfmMain(Prompts& prompts, TfmMainOptions options, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts), options_(options) {
    BuildWindow();
    actPrint->setText(kPrintRecipe);
    InstallMainCommands(*this);
    FormCreate();
    ApplyAvailability();
}

TfmMain::~TfmMain() {
    FormDestroy();
}

void TfmMain::Guarded(const std::function<void()>& f) {
    // Counted, so that the look for other programs' changes waits while a command that lets
    // pending messages run (an import) is at work.
    ++commandDepth_;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{commandDepth_};
    RunGuarded(prompts_, f);
}

void TfmMain::FormCreate() {
    try {
        // 1. The welcome window, unless the user ticked "Don't show this again"; nothing else
        // happens until the user closes it.
        if (options_.ShowWelcome && ReadShowWelcome()) {
            TfmAd ad(this);
            ad.exec();
        }
        // 2-5. Settings: the program folder replaces whatever was stored, and is written back.
        ReadSettings();
        appPath_ = ProgramFolder();
        SetHelpFile(FindHelpFile(appPath_));
        // A settings file that cannot be written keeps nobody from the recipes: the data
        // opens all the same, and the user is told once it shows.
        std::string settingsProblem;
        try {
            WriteSettings(appPath_);
        } catch (const std::exception& e) {
            settingsProblem = e.what();
        }
        RestoreLayout();
        // 6. The store.
        MakeTables();
        Tables->ProcessMessages = [] {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        };
        Tables->OpenDatabase(appPath_);
        Tables->IndexesAtOpen = true;
        // A build of an index (at the start after a restore, or when another program wrote
        // the recipes) shows on the status bar while it runs.
        SetRebuildNotice({[this](const std::string& what, int64_t recipes) {
                              statusBar()->showMessage(
                                  QString::fromStdString(RebuildStartedText(what, recipes)));
                              QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                          },
                          [this](const std::string& what, bool built) {
                              if (built)
                                  statusBar()->showMessage(
                                      QString::fromStdString(RebuildEndedText(what)), 5000);
                              else
                                  statusBar()->clearMessage();
                          }});
        Tables->SetTablesOpen(true);
        // 7. The import dialog starts in the folder of the last import, else the program
        // folder.
        if (importFolder_.empty() || !DirectoryExists(importFolder_)) importFolder_ = appPath_;
        // 8. The recipe editor pane.
        fmRecipes = new TfmRecipes(*this, fmContainer);
        fmContainer->addWidget(fmRecipes);
        // 9. The filter dialog, hidden.
        fmFilter = new TfmFilter(*this, this);
        fmFilter->hide();
        fmRecipeList->SetFilter(fmFilter);
        // 10-11. The recipe list.
        BuildRecipeList();
        ShowRecipeList();
        // 12. The book pane.
        fmRecipeBook = new TfmRecipeBook(*this, fmContainer);
        fmRecipeBook->OnPrintBook = [this] { actPrintBook->trigger(); };
        fmContainer->addWidget(fmRecipeBook);
        // 13. The recipe pane.
        actRecipesExecute();
        WatchStoreChanges();
        if (!settingsProblem.empty())
            prompts_.Message(PromptKind::Warning,
                             settingsProblem +
                                 "\n\nYour recipes are shown and saved as usual, but settings "
                                 "(folders, the window's layout) are not kept until the settings "
                                 "file can be written: check its folder's permissions.");
    } catch (const std::exception& e) {
        startupError_ = e.what();
        if (startupError_.empty()) startupError_ = "Start-up failed";
        // Only what cannot make things worse stays offered: Restore, Help and Close.
        const bool dataOpen = Tables && Tables->TablesOpen();
        std::string message = startupError_;
        if (!dataOpen)
            message += "\n\nYour recipes cannot be shown. Restore a backup (File, Restore), or "
                       "close the program, put the file back and start it again.";
        try {
            prompts_.Message(PromptKind::Error, message);
        } catch (...) {
        }
    }
    if (!Tables) MakeTables();
    ApplyAvailability();
}

void TfmMain::MakeTables() {
    Tables = std::make_unique<TfmTables>();
    fmRecipeList->SetStore(Tables.get());
}

RecipeSummaries& TfmMain::Summaries() {
    return Tables->Summaries();
}

bool TfmMain::FormCloseQuery() {
    if (!activePane_) return true;
    return activePane_->PaneCloseQuery();
}

void TfmMain::closeEvent(QCloseEvent* event) {
    bool mayClose = false;
    if (!RunGuarded(prompts_, [&] { mayClose = FormCloseQuery(); })) mayClose = false;
    // A refused close (a question answered Cancel, a save that failed) is not asked again
    // by the close timer: whatever the pane, the timer stops here.
    Timer1->stop();
    if (mayClose) {
        // The layout is remembered; a settings file that cannot be written does not keep
        // the program open.
        try {
            SaveLayout();
        } catch (...) {
        }
        event->accept();
    } else {
        event->ignore();
    }
}

void TfmMain::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    SetRebuildNotice({});
    Timer1->stop();
    if (tmrStoreChanges) tmrStoreChanges->stop();
    labelsChanged_.clear();
    // The list's rows refer to the summaries: they go first.
    fmRecipeList->SetFilter(nullptr);
    fmRecipeList->SetStore(nullptr);
    if (Tables) Tables->ClearSummaries();
    activePane_ = nullptr;
    delete fmRecipes;
    fmRecipes = nullptr;
    delete fmRecipeBook;
    fmRecipeBook = nullptr;
    delete fmFilter;
    fmFilter = nullptr;
    Tables.reset();
}

void TfmMain::btnCloseClick() {
    Timer1->start();
}

void TfmMain::Timer1Timer() {
    close();
}

void TfmMain::Exit1Click() {
    close();
}

void TfmMain::Contents1Click() {
    ShowHelp(kHelpMain);
}

void TfmMain::ActivatePane(TPane* pane) {
    activePane_ = pane;
    fmContainer->setCurrentWidget(pane);
}

void TfmMain::actRecipesExecute() {
    if (!fmRecipes) return;
    if (fmRecipeBook && fmRecipeBook->BookChanged) fmRecipeBook->SaveBookChanges();
    actPrint->setText(kPrintRecipe);
    ActivatePane(fmRecipes);
    fmRecipes->SetEditMode(false);
    fmRecipes->EnableRecipeFields(false);
    rptViewRecipesClick();
    SetButtonEnabled(MainButton::RecipeBook, true);
    SetButtonEnabled(MainButton::Recipes, false);
}

void TfmMain::actRecipeBookExecute() {
    if (!fmRecipeBook) return;
    actPrint->setText(kPrintRecipeInBook);
    ActivatePane(fmRecipeBook);
    SetButtonEnabled(MainButton::RecipeBook, false);
    SetButtonEnabled(MainButton::Recipes, true);
    // An error is shown and leaves the pane as far as it got, as a failed book click does.
    Guarded([this] { fmRecipeBook->PaneShown(); });
}

void TfmMain::RunCommand(MainCommand command) {
    const MainCommandHandler& h = handlers_[static_cast<size_t>(command)];
    if (h) h(*this);
}

void TfmMain::actFilterExecute() {
    RunCommand(MainCommand::Filter);
}
void TfmMain::actPrintExecute() {
    RunCommand(MainCommand::Print);
}
void TfmMain::Import1Click() {
    RunCommand(MainCommand::Import);
}
void TfmMain::Export1Click() {
    RunCommand(MainCommand::Export);
}
void TfmMain::actPrintBookExecute() {
    RunCommand(MainCommand::PrintBook);
}
void TfmMain::Categories1Click() {
    TfmCategories window(Store(), prompts_, this);
    window.Changed = [this] { LabelsChanged(); };
    window.ShowHelp = [this] { ShowHelp(kHelpCategories); };
    window.exec();
}
void TfmMain::actBackupExecute() {
    RunCommand(MainCommand::Backup);
}
void TfmMain::actRestoreExecute() {
    RunCommand(MainCommand::Restore);
}

void TfmMain::SetCommandHandler(MainCommand command, MainCommandHandler handler) {
    handlers_[static_cast<size_t>(command)] = std::move(handler);
    ApplyAvailability();
}

bool TfmMain::HasCommandHandler(MainCommand command) const {
    return static_cast<bool>(handlers_[static_cast<size_t>(command)]);
}

void TfmMain::ApplyAvailability() {
    auto want = [this](MainButton b) { return wanted_[static_cast<size_t>(b)]; };
    actRecipeBook->setEnabled(want(MainButton::RecipeBook) && fmRecipeBook);
    actRecipes->setEnabled(want(MainButton::Recipes) && fmRecipes);
    actFilter->setEnabled(want(MainButton::Filter) && fmFilter &&
                          HasCommandHandler(MainCommand::Filter));
    actPrint->setEnabled(want(MainButton::Print) && HasCommandHandler(MainCommand::Print));
    // Import and restore change the store behind an edited recipe's back: not while editing.
    // A backup only reads the tables (closed and reopened around it), so it stays available.
    Import1->setEnabled(!editing_ && fmRecipes && HasCommandHandler(MainCommand::Import));
    // An export reads what was last saved; the edited recipe is not offered half-changed.
    Export1->setEnabled(!editing_ && fmRecipes && HasCommandHandler(MainCommand::Export));
    actPrintBook->setEnabled(fmRecipeBook && activePane_ == fmRecipeBook &&
                             fmRecipeBook->Core().Enabled().PrintBook &&
                             HasCommandHandler(MainCommand::PrintBook));
    // After a start-up that could not open the data, only what cannot make things worse
    // stays: a backup would write a set from files that are not the open tables.
    const bool dataOpen = Tables && Tables->TablesOpen();
    if (!dataOpen) actPrint->setEnabled(false);
    // Renaming or merging categories under an edited recipe's pickers: not while editing.
    Categories1->setEnabled(!editing_ && dataOpen);
    actBackup->setEnabled(dataOpen && HasCommandHandler(MainCommand::Backup));
    actRestore->setEnabled(!editing_ && HasCommandHandler(MainCommand::Restore));
}

void TfmMain::SetButtonEnabled(MainButton button, bool enabled) {
    wanted_[static_cast<size_t>(button)] = enabled;
    ApplyAvailability();
}

void TfmMain::SetEditing(bool editing) {
    editing_ = editing;
    ApplyAvailability();
    // What other programs changed meanwhile shows once the edit is over.
    if (!editing && tmrStoreChanges) QTimer::singleShot(0, this, [this] { LookForStoreChanges(); });
}

void TfmMain::SetRecipeListEnabled(bool enabled) {
    fmRecipeList->SetListEnabled(enabled);
}

void TfmMain::StopCloseTimer() {
    Timer1->stop();
}

void TfmMain::ShowHelp(int context) {
    ShowHelpContext(prompts_, context, this);
}

void TfmMain::OnLabelsChanged(std::function<void()> callback) {
    labelsChanged_.push_back(std::move(callback));
}

void TfmMain::LabelsChanged() {
    for (auto& cb : labelsChanged_)
        if (cb) cb();
}

// ---- the recipe list ----

void TfmMain::BuildRecipeList() {
    fmRecipeList->Build();
}

void TfmMain::ShowRecipeList() {
    fmRecipeList->Show();
}

RecipeListModel& TfmMain::ListModel() {
    return fmRecipeList->Model();
}

TRecipeSummary* TfmMain::FindSummary(int32_t id) {
    return Summaries().Find(id);
}

void TfmMain::RemoveSummary(int32_t id) {
    // The row goes when the summary goes (the list pane follows the summaries).
    if (Tables->RemoveSummary(id)) rptViewRecipesClick();
}

bool TfmMain::RecipeTitleExists(const std::string& title) const {
    return Tables->Summaries().TitleExists(title);
}

TRecipeSummary* TfmMain::AppendSummary(const RecipeRecord& rec) {
    return Tables->AppendSummaryUntold(rec);
}

TRecipeSummary* TfmMain::CurrentRecipe() {
    return fmRecipeList ? fmRecipeList->Current() : nullptr;
}

void TfmMain::FollowListRow() {
    if (destroyed_ || !fmRecipes) return;
    if (activePane_ != fmRecipes || fmRecipes->Editing()) return;
    TRecipeSummary* s = CurrentRecipe();
    if ((s ? s->InternalID : -1) == fmRecipes->ShownId()) return;
    Guarded([this] { rptViewRecipesClick(); });
}

void TfmMain::rptViewRecipesClick() {
    if (!fmRecipes || activePane_ != fmRecipes) return;
    TRecipeSummary* s = CurrentRecipe();
    try {
        // No current row (an empty or emptied list): the editor shows no recipe, and
        // Edit, Delete and Print go with it.
        fmRecipes->ShowRecipe(s ? s->InternalID : -1);
    } catch (...) {
        // The row's recipe is gone from the table and the editor still shows what it
        // showed: the list goes back to that recipe's row (or the editor to no recipe), so
        // that Delete and Print never act on another recipe than the list's.
        const int32_t shown = fmRecipes->ShownId();
        if (s && s->InternalID != shown) {
            TRecipeSummary* back = shown == -1 ? nullptr : Summaries().Find(shown);
            const int row = back ? ListModel().RowOf(back) : -1;
            if (row >= 0)
                fmRecipeList->SelectRow(row);
            else
                fmRecipes->ShowRecipe(-1);
        }
        fmRecipes->EnableRecipeFields(false);
        fmRecipes->SetEditMode(false);
        throw;
    }
    fmRecipes->EnableRecipeFields(false);
    fmRecipes->SetEditMode(false);
}

} // namespace larderly
