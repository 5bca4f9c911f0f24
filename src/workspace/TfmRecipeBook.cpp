// The recipe book pane's widgets.
#include "workspace/TfmRecipeBook.h"

#include "gui/GuiSupport.h"
#include "workspace/TfmShoppingList.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace larderly {

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, const char* hint) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->setToolTip(QString::fromUtf8(hint));
    return b;
}

} // namespace

TfmRecipeBook::TfmRecipeBook(WorkspaceHost& host, QWidget* parent)
    : TPane(parent), host_(host), core_(host.Store()), BookChanged(core_.BookChanged) {
    setObjectName("fmRecipeBook");
    resize(543, 468);
    core_.CurrentRecipe = [this]() -> const TRecipeSummary* { return host_.CurrentRecipe(); };
    core_.OnEnabledChanged = [this](const TRecipeBookCore::TEnabled& e) { ApplyEnabled(e); };

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);

    pnlButtons = new QWidget(this);
    pnlButtons->setObjectName("pnlButtons");
    pnlButtons->setFixedHeight(41);
    auto* bar = new QHBoxLayout(pnlButtons);
    btnNew = MakeButton(pnlButtons, "btnNew", "&New Book",
                        "This will prompt you to add a name for the New Book");
    btnDelete = MakeButton(pnlButtons, "btnDelete", "&Delete Book",
                           "Make sure you want to delete this book before clicking here");
    btnPrintBook = MakeButton(pnlButtons, "btnPrintBook", "&Print Book",
                              "Prints every recipe of this Book, each on a new page");
    btnShoppingList = MakeButton(pnlButtons, "btnShoppingList", "Shoppin&g List",
                                 "Lists the ingredients of this Book's recipes, added up");
    btnHelp =
        MakeButton(pnlButtons, "btnHelp", "&Help", "Help for adding and editing Recipe Books");
    bar->addWidget(btnNew);
    bar->addWidget(btnDelete);
    bar->addWidget(btnPrintBook);
    bar->addWidget(btnShoppingList);
    bar->addStretch();
    bar->addWidget(btnHelp);
    root->addWidget(pnlButtons);

    auto* body = new QHBoxLayout;
    auto* left = new QWidget(this);
    left->setFixedWidth(232);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(4, 0, 4, 4);
    lblBooks = new QLabel(tr("Recipe Books"), left);
    lblBooks->setObjectName("lblBooks");
    lboxBooks = new QListWidget(left);
    lboxBooks->setObjectName("lboxBooks");
    lboxBooks->setToolTip(tr("Click here to select a Recipe Book"));
    btnAdd = MakeButton(left, "btnAdd", "&Add Recipe to Book",
                        "This will add the selected Recipe to the current Book");
    btnRemove = MakeButton(left, "btnRemove", "&Remove Recipe from Book",
                           "This will remove the selected Recipe from the current Book");
    leftLayout->addWidget(lblBooks);
    leftLayout->addWidget(lboxBooks, 1);
    leftLayout->addWidget(btnAdd);
    leftLayout->addWidget(btnRemove);
    body->addWidget(left);

    auto* right = new QVBoxLayout;
    lblBookRecipes = new QLabel(tr("Recipes in this Book"), this);
    lblBookRecipes->setObjectName("lblBookRecipes");
    lblBookRecipes->setAlignment(Qt::AlignHCenter);
    lboxBookRecipes = new QListWidget(this);
    lboxBookRecipes->setObjectName("lboxBookRecipes");
    lboxBookRecipes->setToolTip(
        tr("Click here to select a Recipe in the book.  You will then be able to Print or "
           "Remove the Recipe"));
    right->addWidget(lblBookRecipes);
    right->addWidget(lboxBookRecipes, 1);
    body->addLayout(right, 1);
    root->addLayout(body, 1);

    // Both lists are reached with the Tab key (and worked with the arrow keys); Remove only
    // by click or its Alt key.
    lboxBooks->setFocusPolicy(Qt::StrongFocus);
    lboxBookRecipes->setFocusPolicy(Qt::StrongFocus);
    btnRemove->setFocusPolicy(Qt::ClickFocus);
    lboxBookRecipes->installEventFilter(this);

    for (QWidget* w :
         std::initializer_list<QWidget*>{this, btnNew, btnDelete, btnPrintBook, btnHelp, lboxBooks,
                                         btnAdd, btnRemove, lboxBookRecipes})
        SetHelpContext(w, kHelpBooks);

    connect(btnNew, &QPushButton::clicked, this, [this] { btnNewClick(); });
    connect(btnDelete, &QPushButton::clicked, this, [this] { btnDeleteClick(); });
    connect(btnHelp, &QPushButton::clicked, this, [this] { btnHelpClick(); });
    connect(btnPrintBook, &QPushButton::clicked, this, [this] { btnPrintBookClick(); });
    connect(btnShoppingList, &QPushButton::clicked, this, [this] { btnShoppingListClick(); });
    connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddClick(); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { btnRemoveClick(); });
    connect(lboxBooks, &QListWidget::currentRowChanged, this, [this](int row) {
        if (syncing_) return;
        core_.lboxBooks.SetItemIndex(row);
        lboxBooksClick();
    });
    // A click on the book already shown saves its pending changes, as a click on another
    // book does (that one runs through the row change above, which saves first).
    connect(lboxBooks, &QListWidget::itemClicked, this, [this] {
        if (!syncing_ && core_.BookChanged) lboxBooksClick();
    });
    connect(lboxBookRecipes, &QListWidget::currentRowChanged, this, [this](int row) {
        if (syncing_) return;
        core_.lboxBookRecipes.SetItemIndex(row);
        lboxBookRecipesClick();
    });

    ApplyEnabled(core_.Enabled());
}

TfmRecipeBook::~TfmRecipeBook() = default;

void TfmRecipeBook::Guarded(const std::function<void()>& command) {
    RunGuarded(host_.UserPrompts(), command);
    SyncLists();
}

void TfmRecipeBook::SyncList(QListWidget* box, const TSortedList& list) {
    box->clear();
    for (const auto& e : list.Entries()) {
        auto* item = new QListWidgetItem(Q(e.Text));
        item->setData(Qt::UserRole, e.Id);
        box->addItem(item);
    }
    box->setCurrentRow(list.ItemIndex());
    if (list.ItemIndex() < 0) box->clearSelection();
}

void TfmRecipeBook::SyncLists() {
    syncing_ = true;
    lboxBooks->setUpdatesEnabled(false);
    lboxBookRecipes->setUpdatesEnabled(false);
    SyncList(lboxBooks, core_.lboxBooks);
    SyncList(lboxBookRecipes, core_.lboxBookRecipes);
    lboxBooks->setUpdatesEnabled(true);
    lboxBookRecipes->setUpdatesEnabled(true);
    syncing_ = false;
}

void TfmRecipeBook::ApplyEnabled(const TRecipeBookCore::TEnabled& e) {
    btnAdd->setEnabled(e.Add);
    btnRemove->setEnabled(e.Remove);
    btnDelete->setEnabled(e.Delete);
    btnPrintBook->setEnabled(e.PrintBook && OnPrintBook);
    btnShoppingList->setEnabled(e.PrintBook);
    host_.SetButtonEnabled(MainButton::Print, e.Print);
}

void TfmRecipeBook::SaveBookChanges() {
    // Errors reach the caller (the main window's command guard), as they do for the close
    // query below.
    core_.SaveBookChanges();
    SyncLists();
}

void TfmRecipeBook::PaneShown() {
    try {
        core_.PaneShown();
    } catch (...) {
        SyncLists();
        throw;
    }
    SyncLists();
}

bool TfmRecipeBook::ReloadLists() {
    bool done = false;
    try {
        done = core_.ReloadLists();
    } catch (...) {
        SyncLists();
        throw;
    }
    SyncLists();
    return done;
}

void TfmRecipeBook::DropBookChanges() {
    core_.DropBookChanges();
}

void TfmRecipeBook::FillBookList() {
    core_.FillBookList();
    SyncLists();
}

void TfmRecipeBook::ClearBookRecipes() {
    core_.ClearBookRecipes();
    SyncLists();
}

void TfmRecipeBook::LoadBookRecipes(int32_t bookId) {
    Guarded([&] { core_.LoadBookRecipes(bookId); });
}

void TfmRecipeBook::UpdateBookButtons() {
    core_.UpdateBookButtons();
}
void TfmRecipeBook::UpdateBookCommands() {
    core_.UpdateBookCommands();
}

int32_t TfmRecipeBook::SelectedRecipeId() const {
    const TSortedList::Entry* e = core_.lboxBookRecipes.Selected();
    return e ? e->Id : -1;
}

std::string TfmRecipeBook::ShownBookName() const {
    if (!core_.HasShownBook()) return {};
    const int at = core_.lboxBooks.IndexOfId(core_.ShownBook());
    return at >= 0 ? core_.lboxBooks.At(at).Text : std::string();
}

std::vector<int32_t> TfmRecipeBook::ShownBookRecipeIds() const {
    std::vector<int32_t> ids;
    if (!core_.HasShownBook()) return ids;
    for (const TSortedList::Entry& e : core_.lboxBookRecipes.Entries())
        ids.push_back(e.Id);
    return ids;
}

void TfmRecipeBook::lboxBooksClick() {
    Guarded([&] { core_.lboxBooksClick(); });
}
void TfmRecipeBook::lboxBookRecipesClick() {
    Guarded([&] { core_.lboxBookRecipesClick(); });
}
void TfmRecipeBook::btnAddClick() {
    Guarded([&] { core_.btnAddClick(); });
}
void TfmRecipeBook::btnRemoveClick() {
    Guarded([&] { core_.btnRemoveClick(); });
}
void TfmRecipeBook::btnNewClick() {
    Guarded([&] { core_.btnNewClick(host_.UserPrompts()); });
}
void TfmRecipeBook::btnDeleteClick() {
    Guarded([&] { core_.btnDeleteClick(host_.UserPrompts()); });
}
void TfmRecipeBook::btnHelpClick() {
    host_.ShowHelp(kHelpBooks);
}
void TfmRecipeBook::btnPrintBookClick() {
    if (OnPrintBook) OnPrintBook();
}

void TfmRecipeBook::btnShoppingListClick() {
    // The list the pane shows, pending additions and removals included.
    TfmShoppingList::Open(host_, ShownBookRecipeIds(), "Book: " + ShownBookName(), window());
}

bool TfmRecipeBook::PaneCloseQuery() {
    // A failed save is shown and keeps the window open; the changes stay pending.
    bool ok = RunGuarded(host_.UserPrompts(), [&] { core_.PaneCloseQuery(); });
    SyncLists();
    return ok;
}

bool TfmRecipeBook::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lboxBookRecipes && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // Enter moves on to the next control instead of acting on the list.
            focusNextChild();
            return true;
        }
    }
    return TPane::eventFilter(watched, event);
}

} // namespace larderly
