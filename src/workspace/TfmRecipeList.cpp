// The recipe list pane: its parts, the rows following the summaries, the search and the
// status line.
#include "workspace/TfmRecipeList.h"

#include "gui/GuiSupport.h"
#include "gui/TfmProgress.h"
#include "workspace/RecipeListModel.h"
#include "workspace/TfmFilter.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>
#include <memory>

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

// Sets a flag for a scope and gives it its earlier value back in every case.
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

constexpr const char* kEmptyCollection =
    "No recipes yet.\n\nClick New to write your first recipe, or bring recipe files in with "
    "File > Import.";
constexpr const char* kNothingPasses = "No recipe passes the search or the filter.\n\nShow All "
                                       "(Ctrl+Shift+F) lists every recipe again.";
} // namespace

TfmRecipeList::TfmRecipeList(QWidget* parent) : QWidget(parent) {
    setObjectName("pnlList");
    setMinimumWidth(120);
    model_ = new RecipeListModel(this);
    edtSearch = new QLineEdit(this);
    edtSearch->setObjectName("edtSearch");
    edtSearch->setPlaceholderText("Search (Ctrl+F)");
    edtSearch->setClearButtonEnabled(true);
    edtSearch->setToolTip("Shows only the recipes whose title or text contain every word typed");
    SetHelpContext(edtSearch, kHelpSearch);
    auto* view = new RecipeListView(this);
    rptViewRecipes = view;
    rptViewRecipes->setObjectName("rptViewRecipes");
    rptViewRecipes->setModel(model_);
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
    // The holder follows the list's current row, whatever moved it (a mouse press, click or
    // double click, the arrow keys, Page Up/Down, Home/End, type-ahead): a mouse press makes
    // the row current before it selects it, so both signals lead to the same idempotent
    // synchronisation.
    connect(rptViewRecipes->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex&, const QModelIndex&) { FollowRow(); });
    connect(rptViewRecipes->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection&, const QItemSelection&) { FollowRow(); });
    auto* del = new QShortcut(QKeySequence::Delete, rptViewRecipes);
    del->setObjectName("scDelete");
    del->setContext(Qt::WidgetShortcut);
    connect(del, &QShortcut::activated, this, [this] {
        if (DeletePressed) DeletePressed();
    });

    // The status line: "N of M recipes", the mark of a narrowed list and the button that
    // shows every recipe again.
    auto* status = new QWidget(this);
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
    actShowAll = new QAction("Show All", this);
    actShowAll->setObjectName("actShowAll");
    actShowAll->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    actShowAll->setShortcutContext(Qt::WindowShortcut);
    actShowAll->setToolTip("Clears the search and the filter (Ctrl+Shift+F)");
    addAction(actShowAll);
    connect(actShowAll, &QAction::triggered, this, [this] { Run([this] { ClearNarrowing(); }); });
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
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
    rows->addWidget(edtSearch);
    rows->addWidget(rptViewRecipes, 1);
    rows->addWidget(status);

    // Typing in the search waits for a pause; Escape there clears it at once; Ctrl+F goes
    // there from anywhere in the window.
    searchDelay_ = new QTimer(this);
    searchDelay_->setObjectName("searchDelay");
    searchDelay_->setSingleShot(true);
    searchDelay_->setInterval(kSearchDelayMs);
    connect(searchDelay_, &QTimer::timeout, this, [this] { Run([this] { ApplySearch(); }); });
    connect(edtSearch, &QLineEdit::textEdited, this, [this] { searchDelay_->start(); });
    // The clear button in the field changes the text without an edit signal.
    connect(edtSearch, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty()) Run([this] { ApplySearch(); });
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), edtSearch);
    escape->setContext(Qt::WidgetShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        edtSearch->clear();
        Run([this] { ApplySearch(); });
    });
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    find->setObjectName("scFind");
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        if (!edtSearch->isEnabled()) return;
        edtSearch->setFocus(Qt::ShortcutFocusReason);
        edtSearch->selectAll();
    });
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] { UpdateStatus(); });
    connect(model_, &QAbstractItemModel::rowsRemoved, this, [this] { UpdateStatus(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { UpdateStatus(); });
}

TfmRecipeList::~TfmRecipeList() {
    SetStore(nullptr);
}

void TfmRecipeList::Run(const std::function<void()>& f) {
    if (Guarded)
        Guarded(f);
    else
        f();
}

void TfmRecipeList::SetStore(TfmTables* store) {
    if (store == store_) return;
    // The rows refer to the summaries: they go with the store they came from.
    model_->Clear();
    if (store_) store_->Summaries().RemoveObserver(this);
    store_ = store;
    shown_ = false;
    if (store_) store_->Summaries().AddObserver(this);
    UpdateStatus();
}

void TfmRecipeList::SetFilter(TfmFilter* filter) {
    filter_ = filter;
    membership_.SetFilter(filter ? &filter->Prepared() : nullptr);
}

void TfmRecipeList::Build() {
    model_->Clear();
    if (!store_) return;
    TfmProgress progress(window());
    progress.SetCaption("Creating Recipe List ... Please wait");
    progress.SetMax(store_->RecipeCount());
    progress.SetPosition(0);
    THourglass hourglass;
    progress.show();
    store_->BuildSummaries([&] { progress.Step(); });
}

void TfmRecipeList::RunSearch() {
    if (store_)
        membership_.Search(*store_, searchWords_);
    else
        membership_.ClearSearch();
}

void TfmRecipeList::Show(bool withProgress) {
    model_->Clear();
    if (!store_) return;
    shown_ = true;
    std::exception_ptr searchFailure;
    {
        UpdateSearchAvailability();
        // The index answers for the tables as they are now (a restore, an import). A search
        // that fails leaves nothing out, and its error is shown once the list is filled.
        try {
            RunSearch();
        } catch (...) {
            membership_.ClearSearch();
            searchFailure = std::current_exception();
        }
        RecipeSummaries& summaries = store_->Summaries();
        std::unique_ptr<TfmProgress> progress;
        if (withProgress) {
            progress = std::make_unique<TfmProgress>(window());
            progress->SetCaption("Displaying Recipe List ... Please wait");
            progress->SetMax(static_cast<int>(summaries.Count()));
            progress->SetPosition(0);
            progress->show();
        }
        HoldUpdates hold(rptViewRecipes);
        THourglass hourglass;
        std::vector<TRecipeSummary*> rows;
        rows.reserve(summaries.Count());
        for (TRecipeSummary& s : summaries) {
            if (membership_.Contains(s)) rows.push_back(&s);
            if (progress) progress->Step();
        }
        model_->SetRows(std::move(rows));
    }
    if (model_->Count() > 0) SelectRow(0);
    UpdateStatus();
    if (Click) Click();
    if (searchFailure) std::rethrow_exception(searchFailure);
}

TRecipeSummary* TfmRecipeList::Current() const {
    if (!rptViewRecipes->selectionModel()) return nullptr;
    // The current row is the recipe, selected or not yet: FollowRow keeps it selected.
    const QModelIndex i = rptViewRecipes->currentIndex();
    return i.isValid() ? model_->SummaryAt(i.row()) : nullptr;
}

void TfmRecipeList::SelectRow(int row) {
    FlagScope quiet(quiet_);
    const QModelIndex i = model_->index(row);
    rptViewRecipes->setCurrentIndex(i);
    rptViewRecipes->scrollTo(i);
}

void TfmRecipeList::KeepCurrent(int32_t id) {
    const TRecipeSummary* s = id == -1 || !store_ ? nullptr : store_->Summaries().Find(id);
    int row = s ? model_->RowOf(s) : -1;
    if (row < 0 && model_->Count() > 0) row = 0;
    if (row >= 0) {
        SelectRow(row);
    } else {
        FlagScope quiet(quiet_);
        rptViewRecipes->selectionModel()->clear();
    }
}

void TfmRecipeList::FollowRow() {
    if (quiet_ || !store_) return;
    QItemSelectionModel* sel = rptViewRecipes->selectionModel();
    const QModelIndex cur = rptViewRecipes->currentIndex();
    // The highlight stays on the current row (a Ctrl+click would otherwise clear it).
    if (cur.isValid() && !sel->isSelected(cur)) {
        FlagScope quiet(quiet_);
        sel->select(cur, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    if (RowMoved) RowMoved();
}

void TfmRecipeList::SummariesChanged(const std::vector<TSummaryChange>& changes) {
    if (!store_) return;
    RecipeSummaries& summaries = store_->Summaries();
    std::size_t added = 0;
    for (const TSummaryChange& c : changes)
        if (c.What == TSummaryChange::Added) ++added;
    // A reload after another program's changes: every new summary joins through the filter,
    // and the selection is left to whoever asked for the reload.
    const bool reload = summaries.Reloading();
    const bool joinNew = !deferNewRows_;
    // Many new recipes (an import, another program's commits) join the list where the filter
    // and the search let them: the index already holds them.
    if (joinNew && (added > 1 || (reload && added > 0)) && membership_.SearchActive()) RunSearch();
    bool removed = false;
    std::vector<TRecipeSummary*> newRows;
    for (const TSummaryChange& c : changes) {
        TRecipeSummary* s = c.Summary;
        switch (c.What) {
        case TSummaryChange::Removed: {
            HoldUpdates hold(rptViewRecipes);
            FlagScope quiet(quiet_);
            removed = model_->RemoveRow(s) || removed;
            break;
        }
        case TSummaryChange::Updated: {
            HoldUpdates hold(rptViewRecipes);
            const int row = model_->RowChanged(s);
            if (row >= 0 && rptViewRecipes->currentIndex().row() == row)
                rptViewRecipes->scrollTo(model_->index(row));
            break;
        }
        case TSummaryChange::Added:
            if (!joinNew) break;
            // One new recipe (the editor's) gets its row and becomes current, whatever the
            // filter; many join the rows in one go below, where the filter lets them.
            if (summaries.Find(c.InternalID) != s) break; // removed again in the same change
            if (added == 1 && !reload) {
                int row;
                {
                    HoldUpdates hold(rptViewRecipes);
                    row = model_->AddRow(s);
                }
                SelectRow(row);
            } else if (membership_.Contains(*s)) {
                newRows.push_back(s);
            }
            break;
        }
    }
    if (!newRows.empty()) {
        const TRecipeSummary* current = Current();
        std::vector<TRecipeSummary*> rows;
        rows.reserve(static_cast<std::size_t>(model_->Count()) + newRows.size());
        for (int r = 0; r < model_->Count(); ++r)
            rows.push_back(model_->SummaryAt(r));
        rows.insert(rows.end(), newRows.begin(), newRows.end());
        {
            HoldUpdates hold(rptViewRecipes);
            model_->SetRows(std::move(rows));
        }
        const int row = current ? model_->RowOf(current) : -1;
        if (row >= 0) SelectRow(row);
    }
    if (removed && !reload) {
        if (model_->Count() > 0) {
            SelectRow(0);
        } else {
            FlagScope quiet(quiet_);
            rptViewRecipes->selectionModel()->clear();
        }
    }
    UpdateStatus();
}

void TfmRecipeList::SetListEnabled(bool enabled) {
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

void TfmRecipeList::UpdateSearchAvailability() {
    const bool indexed = store_ && store_->SearchIndex().Available();
    edtSearch->setEnabled(rptViewRecipes->isEnabled() && indexed);
    edtSearch->setToolTip(
        indexed || !store_
            ? "Shows only the recipes whose title or text contain every word typed; "
              "ingredient:leek asks for leek among the ingredients"
            : "Search is unavailable: " + QString::fromStdString(store_->SearchIndex().Problem()));
}

void TfmRecipeList::ApplySearch() {
    searchDelay_->stop();
    const std::string words = edtSearch->text().toStdString();
    if (words == searchWords_) return;
    searchWords_ = words;
    if (!shown_) return; // start-up has not reached the list
    Show(false);
}

void TfmRecipeList::ClearNarrowing() {
    if (!actShowAll->isEnabled()) return;
    searchDelay_->stop();
    {
        const QSignalBlocker block(edtSearch);
        edtSearch->clear();
    }
    searchWords_.clear();
    if (filter_) filter_->ResetFilter();
    if (shown_) Show();
}

std::string TfmRecipeList::SearchText() const {
    return edtSearch->text().toStdString();
}

void TfmRecipeList::SetSearchText(const std::string& text) {
    const QSignalBlocker block(edtSearch);
    edtSearch->setText(QString::fromStdString(text));
    searchWords_ = text;
}

void TfmRecipeList::UpdateStatus() {
    const std::size_t total = store_ ? store_->Summaries().Count() : 0;
    const int shown = model_->Count();
    lblListStatus->setText(
        QString::fromStdString(ListCountText(static_cast<std::size_t>(shown), total)));
    const bool narrowed = Narrowed();
    lblNarrowed->setVisible(narrowed);
    btnShowAll->setVisible(narrowed);
    if (auto* view = dynamic_cast<RecipeListView*>(rptViewRecipes)) {
        if (total == 0)
            view->SetEmptyText(kEmptyCollection);
        else if (shown == 0 && narrowed)
            view->SetEmptyText(kNothingPasses);
        else
            view->SetEmptyText({});
    }
}

} // namespace larderly
