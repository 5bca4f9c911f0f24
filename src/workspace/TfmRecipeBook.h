// The recipe book pane.
// PLACEHOLDER: only the operations the main window calls, until the real pane replaces this
// file; it holds no books and never has pending changes.
#pragma once

#include "workspace/WorkspaceHost.h"

namespace larderly {

class TfmRecipeBook : public TPane {
public:
    TfmRecipeBook(WorkspaceHost& host, QWidget* parent = nullptr);

    // Unsaved membership changes of the shown book.
    bool BookChanged = false;

    void SaveBookChanges();
    void DropBookChanges();
    void FillBookList();
    // Empties the list of the shown book's recipes (no book is shown).
    void ClearBookRecipes();
    void UpdateBookButtons();
    void UpdateBookCommands();
    void lboxBooksClick();
    bool PaneCloseQuery() override;

private:
    WorkspaceHost& host_;
};

} // namespace larderly
