// The filter dialog "Filter Recipes": by title (contains or exact match), by category, or
// both. Created hidden at start-up and kept until the program ends, so it shows the last
// settings when it opens again. The recipe list asks RecipeMatchesFilter for every summary.
#pragma once

#include "workspace/WorkspaceHost.h"
#include "workspace/core/RecipeFilter.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace larderly {

class TfmFilter : public QDialog {
    Q_OBJECT
public:
    TfmFilter(WorkspaceHost& host, QWidget* parent = nullptr);

    // Whether a summary passes the filter; the recipe list asks it for every summary.
    bool RecipeMatchesFilter(const TRecipeSummary& summary) const {
        return prepared_.Matches(summary);
    }
    // The filter's state as the last OK handed it over.
    const TFilterState& State() const { return prepared_.State(); }
    // The filter in force, prepared for many summaries; it stays the same object while the
    // dialog lives.
    const TRecipeFilter& Prepared() const { return prepared_; }

    // Clears the dialog and the state; the radio buttons keep theirs.
    void ResetFilter();
    // Shows the dialog modally; true when it was closed with OK, and the state is then taken
    // from it. Otherwise the state keeps its previous values.
    bool RunFilter();
    // Takes the state from the dialog's controls (what RunFilter does after OK).
    void TakeState();
    // Refills the category picker from the label table, keeping the chosen category.
    void FillCategories();

    // Brings the fields' enabled state in line with the check boxes.
    void cboxTitleClick();
    void cboxCategoryClick();
    void btnDisableClick();
    void btnHelpClick();

    // Replaceable for tests: shows the dialog modally and gives its result code.
    std::function<int(TfmFilter&)> ShowModal;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WorkspaceHost& host_;
    TRecipeFilter prepared_{TFilterState{}};

    QCheckBox* cboxTitle = nullptr;
    QLineEdit* edtTitle = nullptr;
    QRadioButton* rbContains = nullptr;
    QRadioButton* rbMatch = nullptr;
    QCheckBox* cboxCategory = nullptr;
    QComboBox* cbCategory1 = nullptr;
    QPushButton* btnEdit = nullptr;
    QPushButton* btnDisable = nullptr;
    QPushButton* btnHelp = nullptr;
};

} // namespace larderly
