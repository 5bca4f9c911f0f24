// The shopping-list window: the ingredients of a book's recipes or of the recipes chosen in
// the list, each item once with its amounts added up, grouped by aisle (the built-in aisles
// with the user's aisles.txt over them). Each item has a tick box: a ticked item (one already
// in the cupboard) is left off what Print, Copy and Save as Text give. A Servings box scales
// every recipe that names its servings. The window owns no store state: it reads the recipes
// once when it opens.
#pragma once

#include "ingredients/ShoppingList.h"
#include "store/Tables.h"
#include "workspace/WorkspaceHost.h"

#include <QDialog>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace larderly {

class TfmShoppingList : public QDialog {
    Q_OBJECT
public:
    // `source` names what the list is of ("Book: Sunday dinners", "3 recipes").
    TfmShoppingList(WorkspaceHost& host, const std::vector<int32_t>& recipeIds,
                    const std::string& source, QWidget* parent = nullptr);

    // Opens a window of its own, deleted when it is closed.
    static TfmShoppingList* Open(WorkspaceHost& host, const std::vector<int32_t>& recipeIds,
                                 const std::string& source, QWidget* parent);

    // The items as shown, ticked ones included, in aisle order.
    const std::vector<ingredients::ShoppingItem>& Items() const { return items_; }
    // The items not ticked: what Print, Copy and Save as Text give.
    std::vector<ingredients::ShoppingItem> ItemsToBuy() const;
    // The list as Copy and Save as Text give it: the title, then each aisle's name followed by
    // its items ("  2 tbsp butter"), a blank line between aisles.
    std::string ListText() const;

    void btnPrintClick();
    void btnCopyClick();
    void btnSaveClick();
    void btnHelpClick();

private:
    // The list afresh from the recipes at the servings chosen; ticks stay with their items.
    void Rebuild();
    void ItemChanged(QTreeWidgetItem* item, int column);
    std::string Title() const;

    WorkspaceHost& host_;
    std::string source_;
    std::vector<std::vector<std::string>> recipes_; // the text of each recipe found
    std::vector<std::string> notes_;                // what could not be read or found
    ingredients::AisleTable aisles_;
    std::vector<ingredients::ShoppingItem> items_;
    std::set<std::string> ticked_; // item keys
    bool filling_ = false;

    QLabel* lblSource = nullptr;
    QSpinBox* edtServings = nullptr;
    QTreeWidget* tvItems = nullptr;
    QLabel* lblNotes = nullptr;
    QPushButton* btnPrint = nullptr;
    QPushButton* btnCopy = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnHelp = nullptr;
    QPushButton* btnClose = nullptr;
};

} // namespace larderly
