// The shopping-list window.
#include "workspace/TfmShoppingList.h"

#include "gui/GuiSupport.h"
#include "ingredients/Scale.h"
#include "platform/AppPaths.h"
#include "platform/FileUtil.h"
#include "print/ReportDialogs.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace larderly {

namespace ing = ingredients;

namespace {
constexpr int kKeyRole = Qt::UserRole;
} // namespace

TfmShoppingList::TfmShoppingList(WorkspaceHost& host, const std::vector<int32_t>& recipeIds,
                                 const std::string& source, QWidget* parent)
    : QDialog(parent), host_(host), source_(source) {
    setObjectName("fmShoppingList");
    setWindowTitle("Shopping List");
    setSizeGripEnabled(true);
    resize(460, 520);
    SetHelpContext(this, kHelpShopping);

    std::size_t gone = 0;
    for (int32_t id : recipeIds) {
        if (std::optional<RecipeValue> r = host_.Store().LoadRecipeById(id))
            recipes_.push_back(std::move(r->Lines));
        else
            ++gone;
    }
    if (gone > 0)
        notes_.push_back(std::to_string(gone) + (gone == 1 ? " recipe is" : " recipes are") +
                         " no longer stored and left out.");
    aisles_ = ing::LoadAisleTable(ProgramFolder(), notes_);

    auto* root = new QVBoxLayout(this);
    lblSource = new QLabel(Q(source_), this);
    lblSource->setObjectName("lblSource");
    root->addWidget(lblSource);

    auto* servingsRow = new QHBoxLayout;
    auto* lblServings = new QLabel("&Servings:", this);
    edtServings = new QSpinBox(this);
    edtServings->setObjectName("edtServings");
    edtServings->setRange(0, 10000);
    edtServings->setSpecialValueText("As written");
    edtServings->setToolTip("Scales every recipe that names its servings to this many");
    lblServings->setBuddy(edtServings);
    servingsRow->addWidget(lblServings);
    servingsRow->addWidget(edtServings);
    servingsRow->addStretch();
    root->addLayout(servingsRow);

    tvItems = new QTreeWidget(this);
    tvItems->setObjectName("tvItems");
    tvItems->setColumnCount(2);
    tvItems->setHeaderLabels({"Item", "Amount"});
    tvItems->header()->setStretchLastSection(false);
    tvItems->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    tvItems->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    tvItems->setRootIsDecorated(false);
    tvItems->setToolTip("Tick what you already have: it is left off the printed, copied and "
                        "saved list (Space ticks the current item)");
    root->addWidget(tvItems, 1);

    lblNotes = new QLabel(this);
    lblNotes->setObjectName("lblNotes");
    lblNotes->setWordWrap(true);
    root->addWidget(lblNotes);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    btnPrint = button("btnPrint", "&Print...");
    btnCopy = button("btnCopy", "&Copy");
    btnSave = button("btnSave", "Save as &Text...");
    buttons->addStretch();
    btnHelp = button("btnHelp", "&Help");
    btnClose = button("btnClose", "Close");
    root->addLayout(buttons);

    connect(edtServings, &QSpinBox::valueChanged, this, [this] { Rebuild(); });
    connect(tvItems, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* item, int column) { ItemChanged(item, column); });
    connect(btnPrint, &QPushButton::clicked, this, [this] { btnPrintClick(); });
    connect(btnCopy, &QPushButton::clicked, this, [this] { btnCopyClick(); });
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnHelp, &QPushButton::clicked, this, [this] { btnHelpClick(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, [this] { btnHelpClick(); });

    Rebuild();
    tvItems->setFocus();
}

TfmShoppingList* TfmShoppingList::Open(WorkspaceHost& host, const std::vector<int32_t>& recipeIds,
                                       const std::string& source, QWidget* parent) {
    auto* w = new TfmShoppingList(host, recipeIds, source, parent);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    w->activateWindow();
    return w;
}

void TfmShoppingList::Rebuild() {
    const int servings = edtServings->value();
    ing::ShoppingList list;
    int unscaled = 0;
    for (const std::vector<std::string>& text : recipes_) {
        double factor = 1;
        if (servings > 0) {
            const double serves = ing::RecipeServings(text).value_or(0);
            if (serves > 0)
                factor = servings / serves;
            else
                ++unscaled;
        }
        list.AddRecipe(text, factor);
    }
    items_ = list.Items(aisles_);

    filling_ = true;
    tvItems->clear();
    QTreeWidgetItem* aisle = nullptr;
    for (const ing::ShoppingItem& item : items_) {
        if (!aisle || aisle->text(0) != Q(item.Aisle)) {
            aisle = new QTreeWidgetItem(tvItems, {Q(item.Aisle)});
            QFont bold = aisle->font(0);
            bold.setBold(true);
            aisle->setFont(0, bold);
            aisle->setFlags(Qt::ItemIsEnabled);
            aisle->setFirstColumnSpanned(true);
            aisle->setExpanded(true);
        }
        auto* row = new QTreeWidgetItem(aisle, {Q(item.Name), Q(item.QuantityText())});
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        row->setData(0, kKeyRole, Q(item.Key));
        const bool ticked = ticked_.count(item.Key) > 0;
        row->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
        QFont font = row->font(0);
        font.setStrikeOut(ticked);
        row->setFont(0, font);
        row->setFont(1, font);
    }
    tvItems->expandAll();
    filling_ = false;
    if (QTreeWidgetItem* first =
            tvItems->topLevelItemCount() > 0 ? tvItems->topLevelItem(0)->child(0) : nullptr)
        if (!tvItems->currentItem()) tvItems->setCurrentItem(first);

    std::vector<std::string> notes = notes_;
    if (recipes_.empty() || items_.empty()) notes.push_back("The recipes name no ingredients.");
    if (unscaled > 0)
        notes.push_back(std::to_string(unscaled) +
                        (unscaled == 1 ? " recipe names" : " recipes name") +
                        " no servings; its amounts are taken as written.");
    std::string text;
    for (const std::string& n : notes)
        text += (text.empty() ? "" : "\n") + n;
    lblNotes->setText(Q(text));
    lblNotes->setVisible(!text.empty());
    const bool any = !items_.empty();
    btnPrint->setEnabled(any);
    btnCopy->setEnabled(any);
    btnSave->setEnabled(any);
}

void TfmShoppingList::ItemChanged(QTreeWidgetItem* item, int column) {
    if (filling_ || column != 0 || !(item->flags() & Qt::ItemIsUserCheckable)) return;
    const std::string key = S(item->data(0, kKeyRole).toString());
    const bool ticked = item->checkState(0) == Qt::Checked;
    if (ticked)
        ticked_.insert(key);
    else
        ticked_.erase(key);
    filling_ = true;
    QFont font = item->font(0);
    font.setStrikeOut(ticked);
    item->setFont(0, font);
    item->setFont(1, font);
    filling_ = false;
}

std::vector<ing::ShoppingItem> TfmShoppingList::ItemsToBuy() const {
    std::vector<ing::ShoppingItem> out;
    for (const ing::ShoppingItem& item : items_)
        if (!ticked_.count(item.Key)) out.push_back(item);
    return out;
}

std::string TfmShoppingList::Title() const {
    std::string title = "Shopping List: " + source_;
    if (edtServings->value() > 0)
        title += " (" + std::to_string(edtServings->value()) + " servings)";
    return title;
}

std::string TfmShoppingList::ListText() const {
    std::string out = Title() + "\n";
    std::string aisle;
    bool first = true;
    for (const ing::ShoppingItem& item : ItemsToBuy()) {
        if (first || item.Aisle != aisle) {
            out += "\n" + item.Aisle + "\n";
            aisle = item.Aisle;
            first = false;
        }
        const std::string quantity = item.QuantityText();
        out += "  " + (quantity.empty() ? std::string() : quantity + " ") + item.Name + "\n";
    }
    return out;
}

void TfmShoppingList::btnPrintClick() {
    QWidget* owner = parentWidget() ? parentWidget()->window() : this;
    RunGuarded(host_.UserPrompts(),
               [&] { TReportSystem::Of(*owner).Execute(Title(), ItemsToBuy()); });
}

void TfmShoppingList::btnCopyClick() {
    QGuiApplication::clipboard()->setText(Q(ListText()));
}

void TfmShoppingList::btnSaveClick() {
    const std::optional<std::string> file = host_.UserPrompts().SaveFile(
        "Save Shopping List", {"Text files (*.txt)", "All files (*)"}, "shopping list.txt");
    if (!file) return;
    RunGuarded(host_.UserPrompts(), [&] {
        // Written whole or not at all: a failed write leaves any old file as it was.
        fileutil::OutputFile out(*file);
        out.Stream() << ListText();
        out.Commit();
    });
}

void TfmShoppingList::btnHelpClick() {
    host_.ShowHelp(kHelpShopping);
}

} // namespace larderly
