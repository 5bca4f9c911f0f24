// Reading the recipes an export writes from the store by identifier, as values; the store's
// cursors and record buffers are left as they are.
#include "exchange/ExportSource.h"

#include "platform/Text.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

namespace larderly::exchange {
namespace {

// The recipes' identifiers sorted by title (titles compared with the letters a-z folded,
// equal titles by identifier).
std::vector<int32_t> IdsInListOrder(std::vector<RecipeRecord> rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const RecipeRecord& a, const RecipeRecord& b) {
        const int c = CompareFolded(a.Title, b.Title);
        return c != 0 ? c < 0 : a.InternalID < b.InternalID;
    });
    std::vector<int32_t> ids;
    ids.reserve(rows.size());
    for (const RecipeRecord& r : rows)
        ids.push_back(r.InternalID);
    return ids;
}

} // namespace

std::vector<int32_t> AllRecipeIds(TfmTables& store) {
    return IdsInListOrder(store.RecipeRecords());
}

std::vector<int32_t> RecipeIdsInListOrder(TfmTables& store, const std::vector<int32_t>& ids) {
    std::vector<int32_t> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    return IdsInListOrder(store.RecipeRecordsByIds(sorted));
}

std::vector<ExportBook> Books(TfmTables& store) {
    std::vector<ExportBook> books;
    for (BookValue& b : store.Books())
        books.push_back({b.InternalID, std::move(b.Name)});
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
    // Entries that name no stored recipe are left out.
    return IdsInListOrder(store.RecipeRecordsByIds(store.BookRecipeIds(bookId)));
}

std::vector<int32_t> BookRecipeIds(TfmTables& store, const std::string& bookName) {
    int32_t bookId = -1;
    for (const BookValue& b : store.Books())
        if (SameTextAZ(b.Name, bookName)) {
            bookId = b.InternalID;
            break;
        }
    if (bookId < 0) throw std::runtime_error("There is no book named \"" + bookName + "\".");
    return BookRecipeIds(store, bookId);
}

std::vector<ExportRecipe> LoadExportRecipes(TfmTables& store, const std::vector<int32_t>& ids,
                                            const std::function<void()>& step) {
    std::unordered_map<int32_t, std::string> labels;
    for (LabelValue& l : store.Labels())
        labels[l.InternalID] = std::move(l.Name);
    std::vector<RecipeValue> stored = store.RecipesByIds(ids, step);
    std::vector<ExportRecipe> out;
    out.reserve(stored.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (i >= stored.size() || stored[i].InternalID != ids[i])
            throw std::runtime_error("There is no recipe with the identifier " +
                                     std::to_string(ids[i]) + ".");
        RecipeValue& v = stored[i];
        ExportRecipe r;
        r.Id = v.InternalID;
        r.Title = std::move(v.Title);
        for (int32_t label : v.Category) {
            auto it = labels.find(label);
            if (it != labels.end() && !it->second.empty()) r.Categories.push_back(it->second);
        }
        r.Text = std::move(v.Lines);
        out.push_back(std::move(r));
    }
    return out;
}

} // namespace larderly::exchange
