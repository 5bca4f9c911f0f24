// The recipe list model.
#include "workspace/RecipeListModel.h"

#include "platform/Text.h"
#include "platform/TitleOrder.h"

#include <QPainter>

#include <algorithm>

namespace larderly {

RecipeListModel::RecipeListModel(QObject* parent) : QAbstractListModel(parent) {}

int RecipeListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QModelIndex RecipeListModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || column != 0 || row < 0 || row >= Count()) return {};
    return createIndex(row, 0);
}

Qt::ItemFlags RecipeListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

QVariant RecipeListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= Count()) return {};
    // A title too long for the column shows whole in its tool tip.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return QString::fromStdString(
            GetFieldAsString(*rows_[static_cast<size_t>(index.row())], index.column()));
    return {};
}

QVariant RecipeListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section == 0)
        return QString(17, QLatin1Char(' ')) + "Recipes";
    return {};
}

std::string RecipeListModel::GetFieldAsString(const TRecipeSummary& s, int field) {
    return field == 0 ? s.Title : std::string();
}

int RecipeListModel::CompareFields(const TRecipeSummary& a, const TRecipeSummary& b, int field) {
    return field == 0 ? CompareTitles(a.Title, b.Title) : 0;
}

bool RecipeListModel::Less(const TRecipeSummary* a, const TRecipeSummary* b) {
    int c = CompareTitles(a->Title, b->Title);
    if (c != 0) return c < 0;
    return a->InternalID < b->InternalID;
}

void RecipeListModel::Clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

namespace {
// A row with the first 16 bytes of its title as the list compares them as two big-endian numbers,
// so that most comparisons of a full sort are two integer compares on contiguous memory.
struct SortKey {
    uint64_t hi = 0, lo = 0;
    TRecipeSummary* s = nullptr;
};

SortKey MakeKey(TRecipeSummary* s) {
    SortKey k;
    k.s = s;
    unsigned char bytes[16];
    TitleSortPrefix(s->Title, bytes, sizeof bytes);
    for (std::size_t i = 0; i < 16; ++i)
        (i < 8 ? k.hi : k.lo) = ((i < 8 ? k.hi : k.lo) << 8) | bytes[i];
    return k;
}
} // namespace

void RecipeListModel::SetRows(std::vector<TRecipeSummary*> rows) {
    std::vector<SortKey> keys;
    keys.reserve(rows.size());
    for (TRecipeSummary* s : rows)
        keys.push_back(MakeKey(s));
    // Equal prefixes (or a zero byte inside them) fall back to the full comparison.
    std::sort(keys.begin(), keys.end(), [](const SortKey& a, const SortKey& b) {
        if (a.hi != b.hi) return a.hi < b.hi;
        if (a.lo != b.lo) return a.lo < b.lo;
        return Less(a.s, b.s);
    });
    for (std::size_t i = 0; i < keys.size(); ++i)
        rows[i] = keys[i].s;
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int RecipeListModel::AddRow(TRecipeSummary* s) {
    auto it = std::upper_bound(rows_.begin(), rows_.end(), s, Less);
    int row = static_cast<int>(it - rows_.begin());
    beginInsertRows({}, row, row);
    rows_.insert(it, s);
    endInsertRows();
    return row;
}

int RecipeListModel::RowOf(const TRecipeSummary* s) const {
    // A row stands at its sorted place unless its title just changed (RowChanged moves it).
    auto sorted = std::lower_bound(rows_.begin(), rows_.end(), s, Less);
    if (sorted != rows_.end() && *sorted == s) return static_cast<int>(sorted - rows_.begin());
    auto it = std::find(rows_.begin(), rows_.end(), s);
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

int RecipeListModel::RowChanged(TRecipeSummary* s) {
    int old = RowOf(s);
    if (old < 0) return -1;
    // Where the row belongs among the others.
    std::vector<TRecipeSummary*>::iterator pos;
    auto oldIt = rows_.begin() + old;
    int target;
    if (old > 0 && Less(s, rows_[static_cast<size_t>(old - 1)])) {
        pos = std::upper_bound(rows_.begin(), oldIt, s, Less);
        target = static_cast<int>(pos - rows_.begin());
    } else if (old + 1 < Count() && Less(rows_[static_cast<size_t>(old + 1)], s)) {
        pos = std::upper_bound(oldIt + 1, rows_.end(), s, Less);
        target =
            static_cast<int>(pos - rows_.begin()); // position before the move, past the old row
    } else {
        QModelIndex i = index(old);
        emit dataChanged(i, i, {Qt::DisplayRole});
        return old;
    }
    // The rows from the old place to the new one shift by one. Told as a move, the view would
    // lay out every row of the list again (a hundred thousand of them); told as changed data
    // over that range, it only repaints what it shows. The current row and the selection
    // (persistent indexes) follow their recipes as a move would take them.
    const int now = target < old ? target : target - 1;
    const int lo = std::min(old, now), hi = std::max(old, now);
    if (target < old) {
        std::rotate(rows_.begin() + target, oldIt, oldIt + 1);
    } else {
        std::rotate(oldIt, oldIt + 1, rows_.begin() + target);
    }
    // All in one call: one by one, an index just moved onto a row could be taken for the
    // index still waiting there.
    QModelIndexList from, to;
    for (const QModelIndex& p : persistentIndexList()) {
        const int r = p.row();
        if (r < lo || r > hi) continue;
        from.append(p);
        to.append(index(r == old ? now : (now < old ? r + 1 : r - 1), p.column()));
    }
    changePersistentIndexList(from, to);
    emit dataChanged(index(lo), index(hi), {Qt::DisplayRole});
    return now;
}

bool RecipeListModel::RemoveRow(const TRecipeSummary* s) {
    int row = RowOf(s);
    if (row < 0) return false;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
    return true;
}

TRecipeSummary* RecipeListModel::SummaryAt(int row) const {
    return row >= 0 && row < Count() ? rows_[static_cast<size_t>(row)] : nullptr;
}

void RecipeListView::SetEmptyText(const QString& text) {
    if (text == emptyText_) return;
    emptyText_ = text;
    viewport()->update();
}

void RecipeListView::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    if (emptyText_.isEmpty() || !model() || model()->rowCount() > 0) return;
    // An empty list says why, and how to go on, where its rows would be.
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const QRect area = viewport()->rect().adjusted(8, 8, -8, -8);
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, emptyText_);
}

void RecipeListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                 const QList<int>& roles) {
    // With uniform row heights every row has the first row's height: nothing to measure.
    // The rows are read-only text (no editors to refill), so repainting what is shown is all
    // a change needs; the base views would visit every row of the span to find its area.
    if (uniformRowHeights() && topLeft.row() != bottomRight.row()) {
        viewport()->update();
        return;
    }
    QTreeView::dataChanged(topLeft, bottomRight, roles);
}

} // namespace larderly
