// Reading the recipes an export writes straight from the tables by identifier, as values;
// the tables' cursors and record buffers are left as they are.
#include "exchange/ExportSource.h"

#include "platform/Text.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

namespace larderly::exchange {
namespace {

struct TitledId {
    int32_t id;
    std::string title;
};

void SortByTitle(std::vector<TitledId>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const TitledId& a, const TitledId& b) {
        const int c = CompareFolded(a.title, b.title);
        return c != 0 ? c < 0 : a.id < b.id;
    });
}

std::vector<int32_t> IdsOf(const std::vector<TitledId>& rows) {
    std::vector<int32_t> ids;
    ids.reserve(rows.size());
    for (const TitledId& r : rows)
        ids.push_back(r.id);
    return ids;
}

} // namespace

std::vector<int32_t> AllRecipeIds(TfmTables& store) {
    std::vector<TitledId> rows;
    SqlStatement st(store.Connection().handle(),
                    "SELECT InternalID, Title FROM " + store.tblRecipes().QualifiedName());
    while (st.Step())
        rows.push_back(
            {static_cast<int32_t>(st.ColumnInt(0)), CutChars(st.ColumnText(1), kTitleWidth)});
    SortByTitle(rows);
    return IdsOf(rows);
}

std::vector<int32_t> RecipeIdsInListOrder(TfmTables& store, const std::vector<int32_t>& ids) {
    std::vector<int32_t> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::vector<TitledId> rows;
    for (RecipeRecord& r : store.RecipeRecordsByIds(sorted))
        rows.push_back({r.InternalID, std::move(r.Title)});
    SortByTitle(rows);
    return IdsOf(rows);
}

std::vector<ExportBook> Books(TfmTables& store) {
    std::vector<ExportBook> books;
    SqlStatement st(store.Connection().handle(), "SELECT InternalID, BookName FROM " +
                                                     store.tblRecipeBook().QualifiedName() +
                                                     " ORDER BY InternalID");
    while (st.Step())
        books.push_back(
            {static_cast<int32_t>(st.ColumnInt(0)), CutChars(st.ColumnText(1), kBookNameWidth)});
    std::stable_sort(books.begin(), books.end(), [](const ExportBook& a, const ExportBook& b) {
        return CompareFolded(a.Name, b.Name) < 0;
    });
    return books;
}

std::vector<std::string> BookNames(TfmTables& store) {
    std::vector<std::string> names;
    for (ExportBook& b : Books(store))
        names.push_back(std::move(b.Name));
    return names;
}

std::vector<int32_t> BookRecipeIds(TfmTables& store, int32_t bookId) {
    std::vector<TitledId> rows;
    SqlStatement st(store.Connection().handle(),
                    "SELECT r.InternalID, r.Title FROM " + store.tblRecipeInBook().QualifiedName() +
                        " e JOIN " + store.tblRecipes().QualifiedName() +
                        " r ON r.InternalID = e.RecipeID WHERE e.BookID = ?");
    st.Bind(1, static_cast<int64_t>(bookId));
    while (st.Step())
        rows.push_back(
            {static_cast<int32_t>(st.ColumnInt(0)), CutChars(st.ColumnText(1), kTitleWidth)});
    SortByTitle(rows);
    return IdsOf(rows);
}

std::vector<int32_t> BookRecipeIds(TfmTables& store, const std::string& bookName) {
    int32_t bookId = -1;
    {
        SqlStatement st(store.Connection().handle(), "SELECT InternalID, BookName FROM " +
                                                         store.tblRecipeBook().QualifiedName());
        while (st.Step()) {
            if (SameTextAZ(CutChars(st.ColumnText(1), kBookNameWidth), bookName)) {
                bookId = static_cast<int32_t>(st.ColumnInt(0));
                break;
            }
        }
    }
    if (bookId < 0) throw std::runtime_error("There is no book named \"" + bookName + "\".");
    return BookRecipeIds(store, bookId);
}

std::vector<ExportRecipe> LoadExportRecipes(TfmTables& store, const std::vector<int32_t>& ids,
                                            const std::function<void()>& step) {
    std::unordered_map<int32_t, std::string> labels;
    {
        SqlStatement st(store.Connection().handle(), "SELECT InternalID, LabelName FROM " +
                                                         store.tblListLabel().QualifiedName());
        while (st.Step())
            labels[static_cast<int32_t>(st.ColumnInt(0))] =
                CutChars(st.ColumnText(1), kLabelNameWidth);
    }
    std::vector<ExportRecipe> out;
    out.reserve(ids.size());
    SqlStatement st(store.Connection().handle(),
                    "SELECT Title, Category1, Category2, Category3, Category4, RecipeText FROM " +
                        store.tblRecipes().QualifiedName() + " WHERE InternalID = ?");
    for (int32_t id : ids) {
        st.Reset();
        st.Bind(1, static_cast<int64_t>(id));
        if (!st.Step())
            throw std::runtime_error("There is no recipe with the identifier " +
                                     std::to_string(id) + ".");
        ExportRecipe r;
        r.Id = id;
        r.Title = CutChars(st.ColumnText(0), kTitleWidth);
        for (int slot = 0; slot < 4; ++slot) {
            auto it = labels.find(static_cast<int32_t>(st.ColumnInt(1 + slot)));
            if (it != labels.end() && !it->second.empty()) r.Categories.push_back(it->second);
        }
        r.Text = DecodeRecipeText(st.ColumnBlob(5));
        out.push_back(std::move(r));
        if (step) step();
    }
    return out;
}

} // namespace larderly::exchange
