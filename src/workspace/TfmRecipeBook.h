// The recipe book pane: the books on the left, the recipes of the selected book on the
// right, New Book, Delete Book, Add and Remove. Additions and removals stay pending until
// another book is selected, the recipe pane is shown or the program closes; then they are
// written in one transaction. The lists and their rules live in TRecipeBookCore.
#pragma once

#include "workspace/WorkspaceHost.h"
#include "workspace/core/TfmRecipeBookCore.h"

#include <QObject>

class QLabel;
class QListWidget;
class QPushButton;
class QWidget;

namespace larderly {

class TfmRecipeBook : public TPane {
    Q_OBJECT
    // Declared first: BookChanged below refers into the core.
    WorkspaceHost& host_;
    TRecipeBookCore core_;

public:
    TfmRecipeBook(WorkspaceHost& host, QWidget* parent = nullptr);
    ~TfmRecipeBook() override;

    TRecipeBookCore& Core() { return core_; }

    // Unsaved membership changes of the shown book (the core's flag).
    bool& BookChanged;

    // The pane is being shown: pending changes dropped, the books refilled, the first book
    // loaded (TRecipeBookCore::PaneShown), the lists brought in line.
    void PaneShown();

    void SaveBookChanges();
    // The lists afresh from the store, the shown book kept (TRecipeBookCore::ReloadLists).
    bool ReloadLists();
    void DropBookChanges();
    void FillBookList();
    // Empties the list of the shown book's recipes (no book is shown).
    void ClearBookRecipes();
    void LoadBookRecipes(int32_t bookId);
    void UpdateBookButtons();
    void UpdateBookCommands();

    // The recipe identifier carried by the selected entry of lboxBookRecipes, or -1.
    int32_t SelectedRecipeId() const;
    // The shown book's name and the recipes its list shows, in the list's order (pending
    // additions and removals included); an empty name when no book is shown.
    std::string ShownBookName() const;
    std::vector<int32_t> ShownBookRecipeIds() const;

    // Run by Print Book; the main window sets it. The button is unavailable without it.
    std::function<void()> OnPrintBook;

    // Event handlers; each shows an error it raises in a message box.
    void lboxBooksClick();
    void lboxBookRecipesClick();
    void btnAddClick();
    void btnRemoveClick();
    void btnNewClick();
    void btnDeleteClick();
    void btnHelpClick();
    void btnPrintBookClick();
    // Opens the shopping list of the shown book's recipes.
    void btnShoppingListClick();
    bool PaneCloseQuery() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs a command with the error guard, then brings the list boxes in line with the core.
    void Guarded(const std::function<void()>& command);
    void SyncLists();
    void SyncList(QListWidget* box, const TSortedList& list);
    void ApplyEnabled(const TRecipeBookCore::TEnabled& e);

    bool syncing_ = false;

    QWidget* pnlButtons = nullptr;
    QPushButton* btnNew = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnPrintBook = nullptr;
    QPushButton* btnShoppingList = nullptr;
    QPushButton* btnHelp = nullptr;
    QLabel* lblBooks = nullptr;
    QListWidget* lboxBooks = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnRemove = nullptr;
    QLabel* lblBookRecipes = nullptr;
    QListWidget* lboxBookRecipes = nullptr;
};

} // namespace larderly
