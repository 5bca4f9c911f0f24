// The recipe list's rows as a Qt item model: references to recipe summaries (never owned),
// kept sorted by title with the letters a-z folded and accented letters beside their base
// letters (then by identifier, so equal titles keep
// a stable order). One column, the title; the header reads "Recipes" after 17 blanks.
// Adding and removing one row costs a binary search and a move, not a re-sort; a changed
// title moves its row and tells the rows between as changed data (see RecipeListView).
#pragma once

#include "store/RecipeSummaries.h"

#include <QAbstractListModel>
#include <QTreeView>

#include <vector>

namespace larderly {

class RecipeListModel : public QAbstractListModel {
public:
    explicit RecipeListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    // The view asks these of every row each time it lays the list out (a row added or
    // removed): answered straight from the rows, without the checks through rowCount and
    // columnCount that the base class makes on every call.
    QModelIndex index(int row, int column = 0, const QModelIndex& parent = {}) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Cell text of a field: the title for field 0, nothing for any other.
    static std::string GetFieldAsString(const TRecipeSummary& s, int field);
    // The list's order for field 0 (CompareTitles); 0 for other fields.
    static int CompareFields(const TRecipeSummary& a, const TRecipeSummary& b, int field);

    // Removes every row.
    void Clear();
    // Replaces the rows (sorted here).
    void SetRows(std::vector<TRecipeSummary*> rows);
    // Adds one row at its sorted place; gives its row number.
    int AddRow(TRecipeSummary* s);
    // The summary changed (title): moves its row to its sorted place; gives the new row,
    // or -1 when the summary has no row.
    int RowChanged(TRecipeSummary* s);
    // Removes the summary's row; false when it has none.
    bool RemoveRow(const TRecipeSummary* s);

    TRecipeSummary* SummaryAt(int row) const;
    int RowOf(const TRecipeSummary* s) const;
    int Count() const { return static_cast<int>(rows_.size()); }

private:
    static bool Less(const TRecipeSummary* a, const TRecipeSummary* b);
    std::vector<TRecipeSummary*> rows_;
};

// The view of the recipe list, for rows that all have one height (uniform row heights). A
// change that spans many rows (a row moved far, the rows between shifting by one) only
// repaints what is shown; the tree view would visit and measure every row of the span,
// which costs milliseconds in a list of a hundred thousand.
class RecipeListView : public QTreeView {
public:
    using QTreeView::QTreeView;

    // The text shown in the list while it has no rows (empty: nothing).
    void SetEmptyText(const QString& text);
    const QString& EmptyText() const { return emptyText_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;

private:
    QString emptyText_;
};

} // namespace larderly
