// What the recipe book pane does, apart from its widgets: the two sorted lists (the books,
// and the recipes of the shown book), the additions and removals, each written to the book
// entry table in its own transaction when it is made (one whose write failed stays pending
// and is written with the next, or when the pane is left). The pane (TfmRecipeBook) shows these
// lists in its list boxes and forwards its clicks here.
#pragma once

#include "platform/Prompts.h"
#include "store/RecipeSummaries.h"
#include "store/Tables.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace larderly {

inline constexpr const char* kRecipeAlreadyInBook = "Recipe is already in the book.";
inline constexpr const char* kBookNameRequired = "You must enter a name";
inline constexpr const char* kConfirmDeleteBook = "Are you sure you want to delete this Book?";

// A list box's entries: each a text and the identifier it carries, kept sorted by text
// without regard to the case of the letters a-z (an entry equal to others goes after them),
// with one selected entry or none.
class TSortedList {
public:
    struct Entry {
        std::string Text;
        int32_t Id = -1;
    };

    void Clear();
    // Adds an entry in its sorted place; gives its index. The selection stays on its entry.
    int Add(std::string text, int32_t id);
    // Adds many entries and sorts once (the selection is cleared).
    void Assign(std::vector<Entry> entries);
    void Delete(int index);
    int Count() const { return static_cast<int>(entries_.size()); }
    bool Empty() const { return entries_.empty(); }
    const Entry& At(int index) const { return entries_[static_cast<std::size_t>(index)]; }
    const std::vector<Entry>& Entries() const { return entries_; }
    // The first entry carrying `id`, or -1.
    int IndexOfId(int32_t id) const;
    // The first entry, in the list's order, whose text equals `text` without regard to case.
    int IndexOfText(const std::string& text) const;

    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index) { itemIndex_ = (index >= 0 && index < Count()) ? index : -1; }
    bool HasSelection() const { return itemIndex_ >= 0; }
    const Entry* Selected() const { return HasSelection() ? &At(itemIndex_) : nullptr; }

private:
    std::vector<Entry> entries_;
    int itemIndex_ = -1;
};

class TRecipeBookCore {
public:
    // Availability of the pane's buttons and of the main window's print command.
    struct TEnabled {
        bool Add = false;
        bool Remove = false;
        bool Delete = false;
        bool Print = false;
        bool PrintBook = false; // a book is shown and lists a recipe
    };

    // The books, their entries and the recipe titles (the summaries) all come from `store`.
    explicit TRecipeBookCore(TfmTables& store);

    // The recipe list's current item (the recipe Add puts into the book); none by default.
    std::function<const TRecipeSummary*()> CurrentRecipe;
    // Called whenever the enabled states were recomputed (UpdateBookButtons and
    // UpdateBookCommands).
    std::function<void(const TEnabled&)> OnEnabledChanged;

    TSortedList lboxBooks;
    TSortedList lboxBookRecipes;
    // Recipe identifiers removed from the shown book since its last save, each at most once.
    std::vector<int32_t> RemovedRecipes;
    // Whether the shown book's list differs from its stored entries.
    bool BookChanged = false;

    bool HasShownBook() const { return shownBook_ >= 0; }
    int32_t ShownBook() const { return shownBook_; }
    const TEnabled& Enabled() const { return enabled_; }

    // Refills the books from the book table and selects the first.
    void FillBookList();
    // Fills the recipes of a book from its entries (only those whose recipe has a summary)
    // and makes it the shown book.
    void LoadBookRecipes(int32_t bookId);
    // Empties the recipes list: no book is shown.
    void ClearBookRecipes();
    // Writes the shown book's additions and removals in one transaction. On failure nothing
    // is written and the changes stay pending.
    void SaveBookChanges();
    void DropBookChanges();
    void UpdateBookButtons();
    void UpdateBookCommands();

    // The pane's events.
    void lboxBooksClick();
    void lboxBookRecipesClick();
    void btnAddClick();
    void btnRemoveClick();
    void btnNewClick(Prompts& prompts);
    void btnDeleteClick(Prompts& prompts);
    // Saves pending changes; an error raised by the save keeps the window open.
    bool PaneCloseQuery();

    // The pane was shown: pending changes dropped, books refilled, no book shown, buttons
    // set, then the first book loaded.
    void PaneShown();
    // Fills the lists afresh from the store after another program changed it, keeping the
    // shown book when it is still stored. Nothing happens (false) while changes are pending.
    bool ReloadLists();

private:
    TfmTables& store_;
    int32_t shownBook_ = -1;
    TEnabled enabled_;
};

} // namespace larderly
