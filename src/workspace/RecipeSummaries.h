// The recipe summaries: a copy of every stored recipe's identifier, four category slots and
// title (never the text), in the order they were appended. Kept in step with the recipe
// table by whoever changes it. Lookups by identifier and by folded title go through hash
// indexes, so they cost the same with a hundred recipes or a hundred thousand.
#pragma once

#include "store/Tables.h"

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <unordered_map>

namespace larderly {

struct TRecipeSummary {
    int32_t InternalID = -1;
    std::array<int32_t, 4> Category{-1, -1, -1, -1};
    std::string Title;
};

class RecipeSummaries {
public:
    using List = std::list<TRecipeSummary>;

    void Clear();
    std::size_t Count() const { return list_.size(); }
    bool Empty() const { return list_.empty(); }

    // Appends a summary of the recipe buffer (title cut to 150 characters). The returned
    // pointer stays valid until that summary is removed or the list cleared.
    TRecipeSummary* Append(const RecipeRecord& rec);
    // The summary with that identifier, or nullptr.
    TRecipeSummary* Find(int32_t id);
    // Overwrites the summary with the buffer's identifier, or appends one. `added` tells which.
    TRecipeSummary* Update(const RecipeRecord& rec, bool* added = nullptr);
    // Removes the summary with that identifier; false when there is none.
    bool Remove(int32_t id);
    // Whether any summary's title equals `title` with the letters a-z folded.
    bool TitleExists(const std::string& title) const;

    // Rebuilds every summary from the recipe table, walking it in its current order and
    // reading only the identifier, the four slots and the title. `step` is called once per
    // row. Summaries built before an error stay in the list.
    void Build(TfmTables& store, const std::function<void()>& step = {});

    List::iterator begin() { return list_.begin(); }
    List::iterator end() { return list_.end(); }
    List::const_iterator begin() const { return list_.begin(); }
    List::const_iterator end() const { return list_.end(); }

private:
    void IndexTitle(const std::string& title, int delta);
    // Builds the title index from the list when a rebuild left it unbuilt.
    void EnsureTitleIndex() const;

    List list_;
    std::unordered_map<int32_t, List::iterator> byId_;
    // folded title -> count. A rebuild from the table leaves it unbuilt; the first title
    // lookup builds it, so showing the list never waits for an index only importers use.
    mutable std::unordered_map<std::string, int> titles_;
    mutable bool titlesBuilt_ = true;
};

} // namespace larderly
