// The recipe editor pane: shows the recipe selected in the recipe list and creates, edits,
// saves, undoes and deletes recipes. Browse mode: fields read-only (readable, scrollable and
// copyable), the list usable. Edit mode: fields editable, everything that could move away
// from the recipe disabled.
#pragma once

#include "workspace/WorkspaceHost.h"
#include "workspace/core/RecipeEditorCore.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace larderly {

// Texts the editor shows.
inline constexpr const char* kNeedTitle = "You must enter a title for the recipe";
inline constexpr const char* kAskDelete =
    "If this recipe is in a book, it will also be deleted from the book.  Are you sure you want to "
    "delete this recipe?.";
inline constexpr const char* kRecipeDeleted = "Recipe Deleted!";
inline constexpr const char* kUnableToDelete =
    "Unable to delete recipe.  Please exit Larderly and try again";
inline constexpr const char* kAskSaveChanges = "Do you want to save your changes?";
inline constexpr const char* kAskDiscardChanges = "Discard your changes to this recipe?";

class TfmRecipes : public TPane {
public:
    TfmRecipes(WorkspaceHost& host, QWidget* parent = nullptr);

    void SetEditMode(bool editing);
    bool Editing() const { return editing_; }
    void EnableRecipeFields(bool enabled);
    // Loads a recipe (or an empty one for -1) into the pane.
    void ShowRecipe(int32_t id);
    // The identifier of the recipe the pane shows (-1 for a new or no recipe).
    int32_t ShownId() const { return shownId_; }
    // The servings the text is shown scaled to, or 0 when it is shown as stored.
    int ShownServings() const;
    // Refills the four pickers from the label table, keeping what each one names.
    void RefillPickers();

    void btnEditClick();
    void btnNewClick();
    void btnSaveClick();
    void btnUndoClick();
    void btnDeleteClick();
    void btnHelpClick();
    // Escape while editing: asks before changes are given up, then undoes as Undo does.
    void EscapeKey();
    // Whether the fields differ from what they showed when the edit began.
    bool FieldsChanged() const;
    bool PaneCloseQuery() override;
    // Enter on the title field or a picker: swallowed, the focus moves on. True when handled.
    bool edtTitleKeyPress(QObject* sender, const QKeyEvent& key);

    QWidget* pnlButtons = nullptr;
    QPushButton* btnEdit = nullptr;
    QPushButton* btnNew = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnUndo = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnHelp = nullptr;
    QLineEdit* edtTitle = nullptr;
    std::array<QComboBox*, 4> cbCategory{};
    QComboBox*& cbCategory1 = cbCategory[0];
    QComboBox*& cbCategory2 = cbCategory[1];
    QComboBox*& cbCategory3 = cbCategory[2];
    QComboBox*& cbCategory4 = cbCategory[3];
    QPlainTextEdit* Memo1 = nullptr;
    // Browse mode: the servings the text is shown for; the ingredient amounts follow it. Off
    // when the recipe names no servings, and while editing (which shows the stored text).
    QSpinBox* spnServings = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PaneCreate();
    // The fields as a recipe (the shown recipe's identifier, the title trimmed and cut).
    RecipeValue ReadFields() const;
    // Applies browse (read-only) or edit mode to the fields.
    void ApplyFieldState();
    // A key, click or wheel that would change a read-only picker's label.
    bool PickerChangeBlocked(QObject* watched, QEvent* event) const;
    void Guarded(void (TfmRecipes::*handler)());
    // The controls that Enter walks through, in tab order.
    std::array<QWidget*, 6> EnterChain() const;
    // Title, text and the four pickers' texts, as shown.
    QStringList FieldTexts() const;
    // Shows the stored text, scaled to the Servings box when it differs from the recipe's.
    void ShowScaledText();
    // Sets the Servings box to the stored text's servings (off when it names none).
    void ResetServings();

    WorkspaceHost& host_;
    bool editing_ = false;
    bool fieldsEditable_ = false;
    int32_t shownId_ = -1;
    QStringList editStart_;
    // The recipe's text as stored; the pane may show it scaled.
    std::vector<std::string> storedLines_;
    TRecipeEditorCore core_;
};

} // namespace larderly
