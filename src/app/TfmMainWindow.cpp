// The main window's parts: its commands and their shortcuts, the menu, the tool bar, the
// recipe list pane beside the pane container, and the close timer. Start-up fills them
// (TfmMain.cpp).
#include "app/TfmMain.h"

#include "app/Icons.h"
#include "app/MainCommands.h"
#include "gui/GuiSupport.h"
#include "gui/WindowParts.h"
#include "workspace/TfmRecipeList.h"
#include "workspace/TfmRecipes.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace larderly {

namespace {
// The list pane starts this wide.
constexpr int kListWidth = 250;

constexpr const char* kHintFilter = "This will help you display only the recipes that you want";
constexpr const char* kHintBooks =
    "In this section you can create \"Books\" to make managing your recipes an easy task.";
constexpr const char* kHintRecipes = "Here you may add, edit, delete and print Recipes";
constexpr const char* kHintPrint = "Clicking here allows you to print the selected Recipe";
} // namespace

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
    // The print command's caption follows the pane shown (set from start-up on).
    actPrint = newAction("actPrint", {}, QKeySequence(Qt::Key_F6));
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
    actShoppingList =
        newAction("actShoppingList", "Shopping &List...", QKeySequence(Qt::CTRL | Qt::Key_L));
    file->addAction(actShoppingList);
    connect(actShoppingList, &QAction::triggered, this,
            [this] { Guarded([this] { OpenShoppingList(*this); }); });
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

    // The recipe list pane and the pane container, side by side.
    splMain = new QSplitter(Qt::Horizontal, central);
    splMain->setObjectName("splMain");
    splMain->setChildrenCollapsible(false);
    splMain->setHandleWidth(2);
    fmRecipeList = new TfmRecipeList(splMain);
    rptViewRecipes = fmRecipeList->rptViewRecipes;
    fmRecipeList->Guarded = [this](const std::function<void()>& f) { Guarded(f); };
    fmRecipeList->RowMoved = [this] { FollowListRow(); };
    fmRecipeList->Click = [this] { rptViewRecipesClick(); };
    // The Delete key in the list deletes the current recipe as the editor's Delete does.
    fmRecipeList->DeletePressed = [this] {
        if (fmRecipes && activePane_ == fmRecipes && fmRecipes->btnDelete->isEnabled())
            Guarded([this] { fmRecipes->btnDeleteClick(); });
    };

    // Pane container.
    fmContainer = new QStackedWidget(splMain);
    fmContainer->setObjectName("fmContainer");
    splMain->addWidget(fmRecipeList);
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

} // namespace larderly
