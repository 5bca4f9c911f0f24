// The recipe book pane (placeholder).
#include "workspace/TfmRecipeBook.h"

namespace larderly {

TfmRecipeBook::TfmRecipeBook(WorkspaceHost& host, QWidget* parent) : TPane(parent), host_(host) {
    setObjectName("fmRecipeBook");
}

void TfmRecipeBook::SaveBookChanges() { BookChanged = false; }
void TfmRecipeBook::DropBookChanges() { BookChanged = false; }
void TfmRecipeBook::FillBookList() {}
void TfmRecipeBook::ClearBookRecipes() {}
void TfmRecipeBook::UpdateBookButtons() {}
void TfmRecipeBook::UpdateBookCommands() { host_.SetButtonEnabled(MainButton::Print, false); }
void TfmRecipeBook::lboxBooksClick() {}
bool TfmRecipeBook::PaneCloseQuery() { return true; }

} // namespace larderly
