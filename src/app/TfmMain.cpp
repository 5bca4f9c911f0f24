// The main window: construction of its parts, start-up, commands, the recipe list
// operations and closing.
#include "app/TfmMain.h"

#include "app/Icons.h"
#include "app/MainCommands.h"
#include "app/TfmAd.h"
#include "platform/AppPaths.h"
#include "platform/FileUtil.h"
#include "platform/Settings.h"
#include "workspace/GuiSupport.h"
#include "workspace/RecipeListModel.h"
#include "workspace/TfmCategories.h"
#include "workspace/TfmFilter.h"
#include "workspace/TfmProgress.h"
#include "workspace/TfmRecipeBook.h"
#include "workspace/TfmRecipes.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <exception>

namespace larderly {

namespace {
// Holds a widget's repainting for a scope.
class HoldUpdates {
public:
    explicit HoldUpdates(QWidget* w) : w_(w), was_(w->updatesEnabled()) {
        w_->setUpdatesEnabled(false);
    }
    ~HoldUpdates() {
        w_->setUpdatesEnabled(was_);
        w_->update();
    }

private:
    QWidget* w_;
    bool was_;
};

// Clears a flag's scope value again in every case.
class FlagScope {
public:
    explicit FlagScope(bool& f) : f_(f), was_(f) { f_ = true; }
    ~FlagScope() { f_ = was_; }

private:
    bool& f_;
    bool was_;
};

// The help page on searching and the status line under the list.
constexpr int kHelpSearch = 8;
// The pause in typing after which the list follows the search text.
constexpr int kSearchDelayMs = 200;
// The list's side starts this wide.
constexpr int kListWidth = 250;

constexpr const char* kEmptyCollection =
    "No recipes yet.\n\nClick New to write your first recipe, or bring recipe files in with "
    "File > Import.";

constexpr const char* kPrintRecipe = "Print Recipe (F6)";
constexpr const char* kPrintRecipeInBook = "Print Recipe In Book (F6)";
constexpr const char* kHintFilter = "This will help you display only the recipes that you want";
constexpr const char* kHintBooks =
    "In this section you can create \"Books\" to make managing your recipes an easy task.";
constexpr const char* kHintRecipes = "Here you may add, edit, delete and print Recipes";
constexpr const char* kHintPrint = "Clicking here allows you to print the selected Recipe";

// Places the tool bar's buttons: at their given places when the bar is wide enough for them,
// else packed from the left edge in the same order.
class ToolBarPlacer : public QObject {
public:
    ToolBarPlacer(QWidget* bar, std::vector<QWidget*> buttons)
        : QObject(bar), buttons_(std::move(buttons)) {
        for (QWidget* b : buttons_)
            places_.push_back(b->geometry());
    }
    int PackedWidth() const {
        int w = kGap;
        for (const QRect& r : places_)
            w += r.width() + kGap;
        return w;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            const int width = static_cast<QWidget*>(watched)->width();
            const bool roomy = places_.back().right() < width;
            int x = kGap;
            for (std::size_t i = 0; i < buttons_.size(); ++i) {
                QRect r = places_[i];
                if (!roomy) r.moveLeft(x);
                buttons_[i]->setGeometry(r);
                x += r.width() + kGap;
            }
        }
        return false;
    }

private:
    static constexpr int kGap = 1;
    std::vector<QWidget*> buttons_;
    std::vector<QRect> places_;
};

// F1 on a highlighted menu entry opens that entry's help context (the menu's own window
// gets no key events while the menu is open, so the window's F1 shortcut cannot see it).
class MenuHelpKey : public QObject {
public:
    MenuHelpKey(QObject* parent, std::function<void(int)> show)
        : QObject(parent), show_(std::move(show)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* menu = qobject_cast<QMenu*>(watched);
        if (!menu || event->type() != QEvent::KeyPress ||
            static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1)
            return false;
        int context = kHelpMain;
        if (QAction* a = menu->activeAction(); a && a->property("helpContext").isValid())
            context = a->property("helpContext").toInt();
        // Close the menus first: the help window must not open behind a popup.
        menu->close();
        show_(context);
        return true;
    }

private:
    std::function<void(int)> show_;
};
} // namespace

TfmMain::TfmMain(Prompts& prompts, TfmMainOptions options, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts), options_(options) {
    BuildWindow();
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

void TfmMain::BuildWindow() {
    setObjectName("fmMain");
    setWindowTitle("Larderly");
    resize(800, 600);
    if (QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - QPoint(400, 300));
    SetHelpContext(this, kHelpMain);

    ActionList1 = new QObject(this);
    ActionList1->setObjectName("ActionList1");
    auto newAction = [this](const char* name, const QString& caption, const QKeySequence& key) {
        auto* a = new QAction(caption, ActionList1);
        a->setObjectName(name);
        if (!key.isEmpty()) a->setShortcut(key);
        addAction(a); // shortcuts work wherever the focus is in the window
        return a;
    };
    actRecipeBook = newAction("actRecipeBook", "&Manage Books (F2)", QKeySequence(Qt::Key_F2));
    actRecipes = newAction("actRecipes", "&Manage Recipes (F4)", QKeySequence(Qt::Key_F4));
    actFilter = newAction("actFilter", "Filter Recipes (F5)", QKeySequence(Qt::Key_F5));
    actPrint = newAction("actPrint", kPrintRecipe, QKeySequence(Qt::Key_F6));
    actBackup = newAction("actBackup", "&Backup", {});
    actRestore = newAction("actRestore", "&Restore", {});
    actPrintBook = newAction("actPrintBook", "&Print Book", {});
    actRecipeBook->setIcon(MakeIcon(IconKind::Books));
    actRecipes->setIcon(MakeIcon(IconKind::Recipes));
    actFilter->setIcon(MakeIcon(IconKind::Filter));
    actPrint->setIcon(MakeIcon(IconKind::Print));
    connect(actRecipeBook, &QAction::triggered, this,
            [this] { Guarded([this] { actRecipeBookExecute(); }); });
    connect(actRecipes, &QAction::triggered, this,
            [this] { Guarded([this] { actRecipesExecute(); }); });
    connect(actFilter, &QAction::triggered, this,
            [this] { Guarded([this] { actFilterExecute(); }); });
    connect(actPrint, &QAction::triggered, this,
            [this] { Guarded([this] { actPrintExecute(); }); });
    connect(actBackup, &QAction::triggered, this,
            [this] { Guarded([this] { actBackupExecute(); }); });
    connect(actRestore, &QAction::triggered, this,
            [this] { Guarded([this] { actRestoreExecute(); }); });
    connect(actPrintBook, &QAction::triggered, this,
            [this] { Guarded([this] { actPrintBookExecute(); }); });

    // Menu.
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName("MainMenu1");
    setMenuBar(MainMenu1);
    QMenu* file = MainMenu1->addMenu("&File");
    file->setObjectName("File1");
    Import1 = file->addAction("&Import");
    Import1->setObjectName("Import1");
    Import1->setProperty("helpContext", kHelpImport);
    connect(Import1, &QAction::triggered, this, [this] { Guarded([this] { Import1Click(); }); });
    Export1 = file->addAction("E&xport...");
    Export1->setObjectName("Export1");
    Export1->setProperty("helpContext", kHelpExport);
    connect(Export1, &QAction::triggered, this, [this] { Guarded([this] { Export1Click(); }); });
    Categories1 = file->addAction("&Categories...");
    Categories1->setObjectName("Categories1");
    connect(Categories1, &QAction::triggered, this,
            [this] { Guarded([this] { Categories1Click(); }); });
    // Menu entries that run a command follow its caption and availability.
    auto entryFor = [this, file](QAction* command, const char* name) {
        QAction* entry = file->addAction(command->text());
        entry->setObjectName(name);
        entry->setEnabled(command->isEnabled());
        connect(entry, &QAction::triggered, command, &QAction::trigger);
        connect(command, &QAction::changed, entry, [entry, command] {
            entry->setEnabled(command->isEnabled());
            entry->setText(command->text());
        });
        return entry;
    };
    Backup1 = entryFor(actBackup, "Backup1");
    Restore1 = entryFor(actRestore, "Restore1");
    file->addSeparator();
    PrintBook1 = entryFor(actPrintBook, "PrintBook1");
    PrintBook1->setProperty("helpContext", kHelpBooks);
    file->addSeparator();
    Exit1 = file->addAction("&Exit");
    Exit1->setObjectName("Exit1");
    connect(Exit1, &QAction::triggered, this, [this] { Guarded([this] { Exit1Click(); }); });
    QMenu* help = MainMenu1->addMenu("&Help");
    help->setObjectName("Help1");
    Contents1 = help->addAction("&Contents");
    Contents1->setObjectName("Contents1");
    connect(Contents1, &QAction::triggered, this,
            [this] { Guarded([this] { Contents1Click(); }); });
    auto* menuHelp = new MenuHelpKey(
        this, [this](int context) { Guarded([this, context] { ShowHelp(context); }); });
    file->installEventFilter(menuHelp);
    help->installEventFilter(menuHelp);
    // F1 opens the help context of the control that has the focus.
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this,
            [this] { Guarded([this] { ShowHelp(HelpContextOf(QApplication::focusWidget())); }); });

    // Tool bar.
    auto* central = new QWidget(this);
    central->setObjectName("pnlMain");
    setCentralWidget(central);
    Panel3 = new QWidget(central);
    Panel3->setObjectName("Panel3");
    Panel3->setFixedHeight(56);
    QFont small = Panel3->font();
    small.setPointSizeF(7.5); // the captions fit their buttons
    Panel3->setFont(small);
    auto newButton = [this](const char* name, int left, int width, const char* hint) {
        auto* b = new QToolButton(Panel3);
        b->setObjectName(name);
        b->setGeometry(left, 1, width, 53);
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(32, 32));
        b->setAutoRaise(true);
        b->setContentsMargins(0, 0, 0, 0);
        b->setToolTip(hint);
        return b;
    };
    btnFilter = newButton("btnFilter", 67, 116, kHintFilter);
    btn1 = newButton("btn1", 251, 116, kHintBooks);
    btnRecipes = newButton("btnRecipes", 375, 116, kHintRecipes);
    btnPrint = newButton("btnPrint", 499, 166, kHintPrint);
    btnClose = newButton("btnClose", 672, 116, "Closes Larderly");
    // A button with a default action shows the action's tool tip (its caption unless one is
    // set), so each action gets its hint before it becomes the button's action.
    actFilter->setToolTip(kHintFilter);
    actRecipeBook->setToolTip(kHintBooks);
    actRecipes->setToolTip(kHintRecipes);
    actPrint->setToolTip(kHintPrint);
    btnFilter->setDefaultAction(actFilter);
    btn1->setDefaultAction(actRecipeBook);
    btnRecipes->setDefaultAction(actRecipes);
    btnPrint->setDefaultAction(actPrint);
    btnClose->setText("&Close Larderly");
    btnClose->setIcon(MakeIcon(IconKind::Close));
    // Narrower than their places, the buttons close up from the left, and the window never
    // gets narrower than they need: Close stays reachable at the smallest size.
    auto* placer = new ToolBarPlacer(Panel3, {btnFilter, btn1, btnRecipes, btnPrint, btnClose});
    Panel3->setMinimumWidth(placer->PackedWidth());
    Panel3->installEventFilter(placer);
    connect(btnClose, &QToolButton::clicked, this,
            [this] { Guarded([this] { btnCloseClick(); }); });

    // Recipe list.
    listModel_ = new RecipeListModel(this);
    splMain = new QSplitter(Qt::Horizontal, central);
    splMain->setObjectName("splMain");
    splMain->setChildrenCollapsible(false);
    splMain->setHandleWidth(2);
    auto* listSide = new QWidget(splMain);
    listSide->setObjectName("pnlList");
    listSide->setMinimumWidth(120);
    edtSearch = new QLineEdit(listSide);
    edtSearch->setObjectName("edtSearch");
    edtSearch->setPlaceholderText("Search (Ctrl+F)");
    edtSearch->setClearButtonEnabled(true);
    edtSearch->setToolTip("Shows only the recipes whose title or text contain every word typed");
    SetHelpContext(edtSearch, kHelpSearch);
    rptViewRecipes = new RecipeListView(listSide);
    rptViewRecipes->setObjectName("rptViewRecipes");
    rptViewRecipes->setModel(listModel_);
    rptViewRecipes->setRootIsDecorated(false);
    rptViewRecipes->setItemsExpandable(false);
    rptViewRecipes->setUniformRowHeights(true); // keeps 100 000 rows cheap to lay out
    rptViewRecipes->setSelectionMode(QAbstractItemView::SingleSelection);
    rptViewRecipes->setSelectionBehavior(QAbstractItemView::SelectRows);
    rptViewRecipes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The one column fills the list's width (a long title is cut with "..." and shows whole
    // in its tool tip): no horizontal scroll bar at any width.
    rptViewRecipes->header()->setStretchLastSection(true);
    rptViewRecipes->header()->setMinimumSectionSize(20);
    rptViewRecipes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rptViewRecipes->header()->setSectionsClickable(false);
    rptViewRecipes->setToolTip("Click here to select a recipe to work with");
    // The editor follows the list's current row, whatever moved it (a mouse press, click or
    // double click, the arrow keys, Page Up/Down, Home/End, type-ahead): a mouse press makes
    // the row current before it selects it, so both signals lead to the same idempotent
    // synchronisation.
    connect(rptViewRecipes->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex&, const QModelIndex&) { FollowListRow(); });
    connect(rptViewRecipes->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection&, const QItemSelection&) { FollowListRow(); });
    // The Delete key in the list deletes the current recipe as the editor's Delete does.
    auto* del = new QShortcut(QKeySequence::Delete, rptViewRecipes);
    del->setObjectName("scDelete");
    del->setContext(Qt::WidgetShortcut);
    connect(del, &QShortcut::activated, this, [this] {
        if (fmRecipes && activePane_ == fmRecipes && fmRecipes->btnDelete->isEnabled())
            Guarded([this] { fmRecipes->btnDeleteClick(); });
    });

    // The status line under the list: "N of M recipes", the mark of a narrowed list and the
    // button that shows every recipe again.
    auto* status = new QWidget(listSide);
    status->setObjectName("pnlListStatus");
    SetHelpContext(status, kHelpSearch);
    lblListStatus = new QLabel(status);
    lblListStatus->setObjectName("lblListStatus");
    lblNarrowed = new QLabel("Filtered", status);
    lblNarrowed->setObjectName("lblNarrowed");
    lblNarrowed->setStyleSheet(
        "QLabel { background: #ffe680; color: black; border-radius: 3px; padding: 0 4px; }");
    lblNarrowed->setToolTip("The search or the filter leaves recipes out of the list");
    lblNarrowed->hide();
    actShowAll = new QAction("Show All", ActionList1);
    actShowAll->setObjectName("actShowAll");
    actShowAll->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    actShowAll->setToolTip("Clears the search and the filter (Ctrl+Shift+F)");
    addAction(actShowAll);
    connect(actShowAll, &QAction::triggered, this,
            [this] { Guarded([this] { ClearNarrowing(); }); });
    btnShowAll = new QToolButton(status);
    btnShowAll->setObjectName("btnShowAll");
    btnShowAll->setDefaultAction(actShowAll);
    btnShowAll->setAutoRaise(true);
    btnShowAll->hide();
    // The count has a row of its own and wraps rather than being cut, so it reads whole at
    // any width of the list; the narrowed mark and Show All sit under it while they show.
    lblListStatus->setWordWrap(true);
    auto* statusRows = new QVBoxLayout(status);
    statusRows->setContentsMargins(4, 1, 2, 1);
    statusRows->setSpacing(1);
    statusRows->addWidget(lblListStatus);
    auto* narrowedRow = new QHBoxLayout;
    narrowedRow->setSpacing(4);
    narrowedRow->addWidget(lblNarrowed);
    narrowedRow->addWidget(btnShowAll);
    narrowedRow->addStretch(1);
    statusRows->addLayout(narrowedRow);
    auto* listRows = new QVBoxLayout(listSide);
    listRows->setContentsMargins(0, 0, 0, 0);
    listRows->setSpacing(2);
    listRows->addWidget(edtSearch);
    listRows->addWidget(rptViewRecipes, 1);
    listRows->addWidget(status);

    // Typing in the search waits for a pause; Escape there clears it at once; Ctrl+F goes
    // there from anywhere in the window.
    searchDelay_ = new QTimer(this);
    searchDelay_->setObjectName("searchDelay");
    searchDelay_->setSingleShot(true);
    searchDelay_->setInterval(kSearchDelayMs);
    connect(searchDelay_, &QTimer::timeout, this, [this] { Guarded([this] { ApplySearch(); }); });
    connect(edtSearch, &QLineEdit::textEdited, this, [this] { searchDelay_->start(); });
    // The clear button in the field changes the text without an edit signal.
    connect(edtSearch, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty()) Guarded([this] { ApplySearch(); });
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), edtSearch);
    escape->setContext(Qt::WidgetShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        edtSearch->clear();
        Guarded([this] { ApplySearch(); });
    });
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    find->setObjectName("scFind");
    connect(find, &QShortcut::activated, this, [this] {
        if (!edtSearch->isEnabled()) return;
        edtSearch->setFocus(Qt::ShortcutFocusReason);
        edtSearch->selectAll();
    });
    connect(listModel_, &QAbstractItemModel::rowsInserted, this, [this] { UpdateListStatus(); });
    connect(listModel_, &QAbstractItemModel::rowsRemoved, this, [this] { UpdateListStatus(); });
    connect(listModel_, &QAbstractItemModel::modelReset, this, [this] { UpdateListStatus(); });

    // Pane container.
    fmContainer = new QStackedWidget(splMain);
    fmContainer->setObjectName("fmContainer");
    splMain->addWidget(listSide);
    splMain->addWidget(fmContainer);
    splMain->setStretchFactor(0, 0);
    splMain->setStretchFactor(1, 1);
    splMain->setSizes({kListWidth, width() - kListWidth});

    auto* rows = new QVBoxLayout(central);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    rows->addWidget(Panel3);
    rows->addWidget(splMain, 1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });
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
        // A build of the search index (at the start after a restore, or when another program
        // wrote the recipes) shows on the status bar while it runs.
        TSearchIndex::SetRebuildNotice(
            {[this](int64_t recipes) {
                 statusBar()->showMessage(QString("Rebuilding the search index of %1 %2...")
                                              .arg(recipes)
                                              .arg(recipes == 1 ? "recipe" : "recipes"));
                 QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
             },
             [this](bool built) {
                 if (built)
                     statusBar()->showMessage("The search index is rebuilt.", 5000);
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
    Tables->Summaries().AddObserver(this);
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
    TSearchIndex::SetRebuildNotice({});
    Timer1->stop();
    if (tmrStoreChanges) tmrStoreChanges->stop();
    labelsChanged_.clear();
    listModel_->Clear();
    if (Tables) {
        Tables->Summaries().RemoveObserver(this);
        Tables->ClearSummaries();
    }
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
    rptViewRecipes->setEnabled(enabled);
    // The search and Show All change the list: not while a recipe is edited.
    if (!enabled && searchDelay_->isActive()) {
        // Words typed just before the edit began never reached the list: the field goes
        // back to the words the list follows.
        searchDelay_->stop();
        const QSignalBlocker block(edtSearch);
        edtSearch->setText(QString::fromStdString(searchWords_));
    }
    actShowAll->setEnabled(enabled);
    UpdateSearchAvailability();
}

void TfmMain::UpdateSearchAvailability() {
    const bool indexed = Tables && Tables->SearchIndex().Available();
    edtSearch->setEnabled(rptViewRecipes->isEnabled() && indexed);
    edtSearch->setToolTip(
        indexed || !Tables
            ? "Shows only the recipes whose title or text contain every word typed; "
              "ingredient:leek asks for leek among the ingredients"
            : "Search is unavailable: " + QString::fromStdString(Tables->SearchIndex().Problem()));
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
    // The view refers to the summaries: empty it before they go.
    listModel_->Clear();
    TfmProgress progress(this);
    progress.SetCaption("Creating Recipe List ... Please wait");
    progress.SetMax(Tables->RecipeCount());
    progress.SetPosition(0);
    THourglass hourglass;
    progress.show();
    Tables->BuildSummaries([&] { progress.Step(); });
}

void TfmMain::ShowRecipeList() {
    FillRecipeList(true);
}

void TfmMain::FillRecipeList(bool withProgress) {
    listModel_->Clear();
    std::exception_ptr searchFailure;
    {
        UpdateSearchAvailability();
        // The index answers for the tables as they are now (a restore, an import). A search
        // that fails leaves nothing out, and its error is shown once the list is filled.
        try {
            RefreshSearchResult();
        } catch (...) {
            searchFailure = std::current_exception();
        }
        std::unique_ptr<TfmProgress> progress;
        if (withProgress) {
            progress = std::make_unique<TfmProgress>(this);
            progress->SetCaption("Displaying Recipe List ... Please wait");
            progress->SetMax(static_cast<int>(Summaries().Count()));
            progress->SetPosition(0);
            progress->show();
        }
        HoldUpdates hold(rptViewRecipes);
        THourglass hourglass;
        std::vector<TRecipeSummary*> rows;
        rows.reserve(Summaries().Count());
        for (TRecipeSummary& s : Summaries()) {
            if (RecipeInList(s)) rows.push_back(&s);
            if (progress) progress->Step();
        }
        listModel_->SetRows(std::move(rows));
    }
    if (listModel_->Count() > 0) SelectRow(0);
    UpdateListStatus();
    rptViewRecipesClick();
    if (searchFailure) std::rethrow_exception(searchFailure);
}

bool TfmMain::RecipeInList(const TRecipeSummary& s) const {
    if (fmFilter && !fmFilter->RecipeMatchesFilter(s)) return false;
    return !searchActive_ || searchIds_.count(s.InternalID) > 0;
}

void TfmMain::RefreshSearchResult() {
    searchActive_ = false;
    searchIds_.clear();
    if (!Tables || !Tables->SearchIndex().Available()) return;
    if (searchWords_.find_first_not_of(" \t") == std::string::npos) return;
    // "ingredient:leek" words ask the ingredient index; the rest ask the full-text index,
    // and a recipe must answer both.
    std::string textWords, ingredientWords;
    SplitSearchWords(searchWords_, textWords, ingredientWords);
    std::vector<int32_t> ids;
    if (!textWords.empty() || ingredientWords.empty())
        ids = Tables->SearchIndex().Search(textWords);
    if (!ingredientWords.empty()) {
        std::vector<int32_t> byItem = Tables->IngredientIndex().Search(ingredientWords);
        if (textWords.empty()) {
            ids = std::move(byItem);
        } else {
            const std::unordered_set<int32_t> keep(byItem.begin(), byItem.end());
            std::erase_if(ids, [&](int32_t id) { return keep.count(id) == 0; });
        }
    }
    searchIds_.reserve(ids.size());
    searchIds_.insert(ids.begin(), ids.end());
    searchActive_ = true;
}

void TfmMain::ApplySearch() {
    searchDelay_->stop();
    const std::string words = edtSearch->text().toStdString();
    if (words == searchWords_) return;
    searchWords_ = words;
    if (!fmRecipes) return; // start-up has not reached the list
    FillRecipeList(false);
}

bool TfmMain::ListNarrowed() const {
    if (searchActive_) return true;
    if (!fmFilter) return false;
    const TFilterState& f = fmFilter->State();
    return f.ByTitle || f.ByCategory;
}

void TfmMain::ClearNarrowing() {
    if (!actShowAll->isEnabled()) return;
    searchDelay_->stop();
    {
        const QSignalBlocker block(edtSearch);
        edtSearch->clear();
    }
    searchWords_.clear();
    if (fmFilter) fmFilter->ResetFilter();
    if (fmRecipes) ShowRecipeList();
}

void TfmMain::UpdateListStatus() {
    if (!lblListStatus || destroyed_) return;
    const std::size_t total = Tables ? Summaries().Count() : 0;
    const int shown = listModel_->Count();
    lblListStatus->setText(
        QString("%1 of %2 %3").arg(shown).arg(total).arg(total == 1 ? "recipe" : "recipes"));
    const bool narrowed = ListNarrowed();
    lblNarrowed->setVisible(narrowed);
    btnShowAll->setVisible(narrowed);
    if (auto* view = dynamic_cast<RecipeListView*>(rptViewRecipes)) {
        if (total == 0)
            view->SetEmptyText(kEmptyCollection);
        else if (shown == 0 && narrowed)
            view->SetEmptyText("No recipe passes the search or the filter.\n\nShow All "
                               "(Ctrl+Shift+F) lists every recipe again.");
        else
            view->SetEmptyText({});
    }
}

void TfmMain::RestoreLayout() {
    const TLayoutSettings l = ReadLayoutSettings();
    importFolder_ = l.ImportFolder;
    exportFolder_ = l.ExportFolder;
    if (!l.SearchText.empty()) {
        const QSignalBlocker block(edtSearch);
        edtSearch->setText(QString::fromStdString(l.SearchText));
        searchWords_ = l.SearchText;
    }
    if (l.Width > 0 && l.Height > 0) {
        const QSize size =
            QSize(l.Width, l.Height).expandedTo(minimumSizeHint()).expandedTo(QSize(200, 150));
        const QRect wanted(QPoint(l.Left, l.Top), size);
        // The window's top edge (where it is taken hold of) must lie on a screen.
        const QRect grip(wanted.topLeft(), QSize(wanted.width(), 30));
        bool onScreen = false;
        for (QScreen* screen : QGuiApplication::screens()) {
            const QRect shared = screen->availableGeometry().intersected(grip);
            if (shared.width() >= 40 && shared.height() >= 10) onScreen = true;
        }
        resize(size);
        if (onScreen) {
            move(wanted.topLeft());
        } else if (QScreen* s = QGuiApplication::primaryScreen()) {
            move(s->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
        }
        if (l.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
    }
    if (l.ListWidth > 0) {
        splMain->setSizes({l.ListWidth, std::max(1, width() - l.ListWidth)});
    }
}

void TfmMain::SaveLayout() {
    TLayoutSettings l;
    const bool maximized = isMaximized();
    // The position is the frame's (what move() takes); a maximised window keeps the place
    // it goes back to.
    QRect normal(pos(), size());
    if (maximized)
        normal = QRect(normalGeometry().topLeft() - (geometry().topLeft() - pos()),
                       normalGeometry().size());
    l.Left = normal.left();
    l.Top = normal.top();
    l.Width = normal.width();
    l.Height = normal.height();
    l.Maximized = maximized;
    const QList<int> sizes = splMain->sizes();
    l.ListWidth = sizes.isEmpty() ? kListWidth : sizes.front();
    l.ImportFolder = importFolder_;
    l.ExportFolder = exportFolder_;
    l.SearchText = edtSearch->text().toStdString();
    WriteLayoutSettings(l);
}

void TfmMain::SelectRow(int row) {
    FlagScope quiet(quietSelection_);
    QModelIndex i = listModel_->index(row);
    rptViewRecipes->setCurrentIndex(i);
    rptViewRecipes->scrollTo(i);
}

TRecipeSummary* TfmMain::FindSummary(int32_t id) {
    return Summaries().Find(id);
}

void TfmMain::UpdateRecipeList(const RecipeRecord& rec, bool show) {
    TRecipeSummary* s = Summaries().Find(rec.InternalID);
    if (!s) return;
    if (listModel_->RowOf(s) >= 0) {
        HoldUpdates hold(rptViewRecipes);
        int row = listModel_->RowChanged(s);
        if (row >= 0 && rptViewRecipes->currentIndex().row() == row)
            rptViewRecipes->scrollTo(listModel_->index(row));
    } else if (show) {
        int row;
        {
            HoldUpdates hold(rptViewRecipes);
            row = listModel_->AddRow(s);
        }
        SelectRow(row);
    }
}

void TfmMain::RemoveSummary(int32_t id) {
    // The row goes when the summary goes (SummariesChanged).
    if (Tables->RemoveSummary(id)) rptViewRecipesClick();
}

void TfmMain::SummariesChanged(const std::vector<TSummaryChange>& changes) {
    if (destroyed_ || !listModel_) return;
    std::size_t added = 0;
    for (const TSummaryChange& c : changes)
        if (c.What == TSummaryChange::Added) ++added;
    // A reload after another program's changes: every new summary joins through the filter,
    // and the selection is left to whoever asked for the reload.
    const bool reload = Summaries().Reloading();
    // Many new recipes (an import, another program's commits) join the list where the filter
    // and the search let them: the index already holds them.
    if ((added > 1 || (reload && added > 0)) && searchActive_) RefreshSearchResult();
    bool removed = false;
    std::vector<TRecipeSummary*> newRows;
    for (const TSummaryChange& c : changes) {
        TRecipeSummary* s = c.Summary;
        switch (c.What) {
        case TSummaryChange::Removed: {
            HoldUpdates hold(rptViewRecipes);
            FlagScope quiet(quietSelection_);
            removed = listModel_->RemoveRow(s) || removed;
            break;
        }
        case TSummaryChange::Updated: {
            HoldUpdates hold(rptViewRecipes);
            const int row = listModel_->RowChanged(s);
            if (row >= 0 && rptViewRecipes->currentIndex().row() == row)
                rptViewRecipes->scrollTo(listModel_->index(row));
            break;
        }
        case TSummaryChange::Added:
            // One new recipe (the editor's) gets its row and becomes current; many (an
            // import) join the rows in one go below, where the filter lets them.
            if (Summaries().Find(c.InternalID) != s) break; // removed again in the same change
            if (added == 1 && !reload) {
                int row;
                {
                    HoldUpdates hold(rptViewRecipes);
                    row = listModel_->AddRow(s);
                }
                SelectRow(row);
            } else if (RecipeInList(*s)) {
                newRows.push_back(s);
            }
            break;
        }
    }
    if (!newRows.empty()) {
        const TRecipeSummary* current = CurrentRecipe();
        std::vector<TRecipeSummary*> rows;
        rows.reserve(static_cast<std::size_t>(listModel_->Count()) + newRows.size());
        for (int r = 0; r < listModel_->Count(); ++r)
            rows.push_back(listModel_->SummaryAt(r));
        rows.insert(rows.end(), newRows.begin(), newRows.end());
        {
            HoldUpdates hold(rptViewRecipes);
            listModel_->SetRows(std::move(rows));
        }
        const int row = current ? listModel_->RowOf(current) : -1;
        if (row >= 0) SelectRow(row);
    }
    if (removed && !reload) {
        if (listModel_->Count() > 0) {
            SelectRow(0);
        } else {
            FlagScope quiet(quietSelection_);
            rptViewRecipes->selectionModel()->clear();
        }
    }
    UpdateListStatus();
}

bool TfmMain::RecipeTitleExists(const std::string& title) const {
    return Tables->Summaries().TitleExists(title);
}

TRecipeSummary* TfmMain::AppendSummary(const RecipeRecord& rec) {
    return Tables->AppendSummaryUntold(rec);
}

TRecipeSummary* TfmMain::CurrentRecipe() {
    if (!rptViewRecipes || !rptViewRecipes->selectionModel()) return nullptr;
    // The current row is the recipe, selected or not yet: FollowListRow keeps it selected.
    QModelIndex i = rptViewRecipes->currentIndex();
    if (!i.isValid()) return nullptr;
    return listModel_->SummaryAt(i.row());
}

void TfmMain::FollowListRow() {
    if (quietSelection_ || destroyed_ || !fmRecipes) return;
    QItemSelectionModel* sel = rptViewRecipes->selectionModel();
    const QModelIndex cur = rptViewRecipes->currentIndex();
    // The highlight stays on the current row (a Ctrl+click would otherwise clear it).
    if (cur.isValid() && !sel->isSelected(cur)) {
        FlagScope quiet(quietSelection_);
        sel->select(cur, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
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
            const int row = back ? listModel_->RowOf(back) : -1;
            if (row >= 0)
                SelectRow(row);
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
