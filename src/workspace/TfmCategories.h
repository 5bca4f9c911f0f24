// The Categories window (File > Categories): every recipe category with the number of recipes
// that use it; add, rename, delete an unused one, or merge one into another. After each
// stored change the list is refilled and `Changed` runs, so the main window can refill its
// pickers and its recipe list.
#pragma once

#include "platform/Prompts.h"
#include "store/Tables.h"

#include <QDialog>

#include <functional>

class QPushButton;
class QTreeWidget;

namespace larderly {

class TfmCategories : public QDialog {
    Q_OBJECT
public:
    TfmCategories(TfmTables& store, Prompts& prompts, QWidget* parent = nullptr);

    // Runs after every stored change.
    std::function<void()> Changed;
    // Opens the help; empty shows none.
    std::function<void()> ShowHelp;

    // Refills the list from the store, keeping the selected category where it still exists.
    void Refill();
    // The selected category's identifier, or -1.
    int32_t SelectedId() const;

    void btnAddClick();
    void btnRenameClick();
    void btnDeleteClick();
    void btnMergeClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void UpdateButtons();
    void Select(int32_t id);
    // Runs a change; a refusal is shown as an error and changes nothing.
    void Apply(const std::function<void()>& change, int32_t selectAfter);

    TfmTables& store_;
    Prompts& prompts_;
    QTreeWidget* lvCategories = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnRename = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnMerge = nullptr;
    QPushButton* btnClose = nullptr;
};

} // namespace larderly
