// The Categories window: a two-column list (name, recipes) and the buttons that change it.
#include "workspace/TfmCategories.h"

#include "platform/Text.h"
#include "store/Categories.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace larderly {
namespace {
constexpr int kIdRole = Qt::UserRole;
}

TfmCategories::TfmCategories(TfmTables& store, Prompts& prompts, QWidget* parent)
    : QDialog(parent), store_(store), prompts_(prompts) {
    setObjectName("fmCategories");
    setWindowTitle(tr("Categories"));
    resize(420, 440);

    lvCategories = new QTreeWidget(this);
    lvCategories->setObjectName("lvCategories");
    lvCategories->setColumnCount(2);
    lvCategories->setHeaderLabels({tr("Category"), tr("Recipes")});
    lvCategories->setRootIsDecorated(false);
    lvCategories->setUniformRowHeights(true);
    lvCategories->setSelectionMode(QAbstractItemView::SingleSelection);
    lvCategories->header()->setStretchLastSection(false);
    lvCategories->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lvCategories->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);

    auto button = [this](const QString& caption, const char* name, const QString& hint) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setAutoDefault(false);
        return b;
    };
    btnAdd = button(tr("&Add..."), "btnAdd", tr("Add a category (Insert)"));
    btnRename = button(tr("&Rename..."), "btnRename", tr("Rename the selected category (F2)"));
    btnDelete = button(tr("&Delete"), "btnDelete",
                       tr("Delete the selected category; only one no recipe uses (Del)"));
    btnMerge =
        button(tr("&Merge into..."), "btnMerge",
               tr("Move every recipe of the selected category to another one and delete it"));
    btnClose = button(tr("Close"), "btnClose", tr("Close this window"));

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {btnAdd, btnRename, btnDelete, btnMerge})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(lvCategories, 1);
    layout->addLayout(buttons);

    connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddClick(); });
    connect(btnRename, &QPushButton::clicked, this, [this] { btnRenameClick(); });
    connect(btnDelete, &QPushButton::clicked, this, [this] { btnDeleteClick(); });
    connect(btnMerge, &QPushButton::clicked, this, [this] { btnMergeClick(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(lvCategories, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(lvCategories, &QTreeWidget::itemDoubleClicked, this, [this] { btnRenameClick(); });
    Refill();
}

void TfmCategories::Refill() {
    const int32_t keep = SelectedId();
    lvCategories->clear();
    for (const CategoryUse& c : CategoryUses(store_)) {
        auto* item = new QTreeWidgetItem(lvCategories);
        item->setText(0, QString::fromStdString(c.Name));
        item->setText(1, QString::number(c.Recipes));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(0, kIdRole, c.Id);
    }
    Select(keep);
    if (!lvCategories->currentItem() && lvCategories->topLevelItemCount() > 0)
        lvCategories->setCurrentItem(lvCategories->topLevelItem(0));
    UpdateButtons();
}

int32_t TfmCategories::SelectedId() const {
    const QTreeWidgetItem* item = lvCategories ? lvCategories->currentItem() : nullptr;
    return item && item->isSelected() ? item->data(0, kIdRole).toInt() : -1;
}

void TfmCategories::Select(int32_t id) {
    for (int i = 0; i < lvCategories->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lvCategories->topLevelItem(i);
        if (item->data(0, kIdRole).toInt() == id) {
            lvCategories->setCurrentItem(item);
            lvCategories->scrollToItem(item);
            return;
        }
    }
}

void TfmCategories::UpdateButtons() {
    const QTreeWidgetItem* item = lvCategories->currentItem();
    const bool selected = item && item->isSelected();
    btnRename->setEnabled(selected);
    btnDelete->setEnabled(selected && item->text(1) == "0");
    btnMerge->setEnabled(selected && lvCategories->topLevelItemCount() > 1);
}

void TfmCategories::Apply(const std::function<void()>& change, int32_t selectAfter) {
    try {
        change();
    } catch (const ECategoryError& e) {
        prompts_.Message(PromptKind::Error, e.what());
        return;
    }
    Refill();
    if (selectAfter >= 0) Select(selectAfter);
    UpdateButtons();
    if (Changed) Changed();
}

void TfmCategories::btnAddClick() {
    const auto name = prompts_.Input("Add Category", "Name of the new category:");
    if (!name) return;
    int32_t id = -1;
    Apply([&] { id = AddCategory(store_, *name); }, -1);
    if (id >= 0) Select(id);
}

void TfmCategories::btnRenameClick() {
    const int32_t id = SelectedId();
    if (id < 0) return;
    const std::string old = lvCategories->currentItem()->text(0).toStdString();
    const auto name = prompts_.Input("Rename Category", "New name of \"" + old + "\":", old);
    if (!name || *name == old) return;
    Apply([&] { RenameCategory(store_, id, *name); }, id);
}

void TfmCategories::btnDeleteClick() {
    const int32_t id = SelectedId();
    if (id < 0) return;
    const std::string name = lvCategories->currentItem()->text(0).toStdString();
    if (prompts_.Message(PromptKind::Confirmation, "Delete the category \"" + name + "\"?",
                         PromptButtons::YesNo) != PromptAnswer::Yes)
        return;
    Apply([&] { DeleteCategory(store_, id); }, -1);
}

void TfmCategories::btnMergeClick() {
    const int32_t id = SelectedId();
    if (id < 0) return;
    const std::string name = lvCategories->currentItem()->text(0).toStdString();
    const auto target =
        prompts_.Input("Merge Category", "Merge \"" + name + "\" into which category?");
    if (!target) return;
    int32_t into = -1;
    std::string intoName;
    for (const CategoryUse& c : CategoryUses(store_))
        if (c.Id != id && SameTextAZ(c.Name, TrimCodes(*target))) into = c.Id, intoName = c.Name;
    if (into < 0) {
        prompts_.Message(PromptKind::Error,
                         "There is no other category named \"" + TrimCodes(*target) + "\".");
        return;
    }
    if (prompts_.Message(PromptKind::Confirmation,
                         "Every recipe in \"" + name + "\" moves to \"" + intoName + "\", and \"" +
                             name + "\" is deleted. Continue?",
                         PromptButtons::YesNo) != PromptAnswer::Yes)
        return;
    Apply([&] { MergeCategory(store_, id, into); }, into);
}

void TfmCategories::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Insert:
        btnAddClick();
        return;
    case Qt::Key_F2:
        btnRenameClick();
        return;
    case Qt::Key_Delete:
        if (btnDelete->isEnabled()) btnDeleteClick();
        return;
    case Qt::Key_F1:
        if (ShowHelp) ShowHelp();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

} // namespace larderly
