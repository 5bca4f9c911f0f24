// The recipe book pane's lists, pending changes and their saving.
#include "workspace/core/TfmRecipeBookCore.h"

#include "platform/Text.h"
#include "platform/TitleOrder.h"

#include <algorithm>
#include <stdexcept>

namespace larderly {

// ---- TSortedList ----

void TSortedList::Clear() {
    entries_.clear();
    itemIndex_ = -1;
}

int TSortedList::Add(std::string text, int32_t id) {
    auto pos = std::upper_bound(
        entries_.begin(), entries_.end(), text,
        [](const std::string& t, const Entry& e) { return CompareTitles(t, e.Text) < 0; });
    const int index = static_cast<int>(pos - entries_.begin());
    entries_.insert(pos, Entry{std::move(text), id});
    if (itemIndex_ >= index) ++itemIndex_;
    return index;
}

void TSortedList::Assign(std::vector<Entry> entries) {
    entries_ = std::move(entries);
    std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        return CompareTitles(a.Text, b.Text) < 0;
    });
    itemIndex_ = -1;
}

void TSortedList::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    entries_.erase(entries_.begin() + index);
    if (itemIndex_ == index)
        itemIndex_ = -1;
    else if (itemIndex_ > index)
        --itemIndex_;
}

int TSortedList::IndexOfId(int32_t id) const {
    for (int i = 0; i < Count(); ++i)
        if (At(i).Id == id) return i;
    return -1;
}

int TSortedList::IndexOfText(const std::string& text) const {
    for (int i = 0; i < Count(); ++i)
        if (SameTextAZ(At(i).Text, text)) return i;
    return -1;
}

// ---- TRecipeBookCore ----

TRecipeBookCore::TRecipeBookCore(TfmTables& store) : store_(store) {}

void TRecipeBookCore::FillBookList() {
    lboxBooks.Clear();
    std::vector<TSortedList::Entry> books;
    for (BookValue& b : store_.Books())
        books.push_back({std::move(b.Name), b.InternalID});
    lboxBooks.Assign(std::move(books));
    if (!lboxBooks.Empty()) lboxBooks.SetItemIndex(0);
}

void TRecipeBookCore::LoadBookRecipes(int32_t bookId) {
    lboxBookRecipes.Clear();
    shownBook_ = bookId;
    // Each recipe's title comes from the store's summaries: the cost follows the book's
    // size, not the collection's.
    RecipeSummaries& summaries = store_.Summaries();
    std::vector<TSortedList::Entry> entries;
    for (int32_t recipeId : store_.BookRecipeIds(bookId))
        if (const TRecipeSummary* s = summaries.Find(recipeId))
            entries.push_back({s->Title, recipeId});
    lboxBookRecipes.Assign(std::move(entries));
    if (!lboxBookRecipes.Empty()) {
        lboxBookRecipes.SetItemIndex(0);
        UpdateBookButtons();
        UpdateBookCommands();
    }
}

void TRecipeBookCore::ClearBookRecipes() {
    lboxBookRecipes.Clear();
    shownBook_ = -1;
}

void TRecipeBookCore::SaveBookChanges() {
    if (!HasShownBook()) {
        DropBookChanges();
        return;
    }
    const int32_t book = shownBook_;
    // A book deleted behind the pane's back has nothing left to add to: writing its entries
    // would leave rows that belong to no book.
    if (!store_.LoadBookById(book)) {
        DropBookChanges();
        return;
    }
    std::vector<int32_t> gone; // added recipes whose row has vanished meanwhile
    {
        Transaction tx(store_);
        for (int32_t id : RemovedRecipes)
            store_.RemoveBookEntry(book, id);
        // Entries already stored stay as they are; a recipe no longer stored gets none.
        for (const auto& e : lboxBookRecipes.Entries())
            if (!store_.AddBookEntry(book, e.Id)) gone.push_back(e.Id);
        tx.Commit();
    }
    DropBookChanges();
    if (!gone.empty()) {
        for (int32_t id : gone)
            lboxBookRecipes.Delete(lboxBookRecipes.IndexOfId(id));
        UpdateBookButtons();
        UpdateBookCommands();
    }
}

void TRecipeBookCore::DropBookChanges() {
    BookChanged = false;
    RemovedRecipes.clear();
}

void TRecipeBookCore::UpdateBookButtons() {
    const TRecipeSummary* current = CurrentRecipe ? CurrentRecipe() : nullptr;
    enabled_.Add = lboxBooks.HasSelection() && current != nullptr;
    enabled_.Remove = lboxBooks.HasSelection() && lboxBookRecipes.HasSelection();
    if (OnEnabledChanged) OnEnabledChanged(enabled_);
}

void TRecipeBookCore::UpdateBookCommands() {
    enabled_.Delete = lboxBooks.HasSelection();
    enabled_.Print = lboxBookRecipes.HasSelection();
    enabled_.PrintBook = HasShownBook() && !lboxBookRecipes.Empty();
    if (OnEnabledChanged) OnEnabledChanged(enabled_);
}

void TRecipeBookCore::lboxBooksClick() {
    const TSortedList::Entry* book = lboxBooks.Selected();
    if (!book) return;
    const int32_t id = book->Id;
    if (BookChanged) {
        try {
            SaveBookChanges();
        } catch (...) {
            // The changes stay pending for the book still shown; the selection goes back to
            // it so that further additions cannot land in the book the user clicked.
            lboxBooks.SetItemIndex(lboxBooks.IndexOfId(shownBook_));
            throw;
        }
    }
    LoadBookRecipes(id);
    RemovedRecipes.clear();
    UpdateBookCommands();
    UpdateBookButtons();
}

void TRecipeBookCore::lboxBookRecipesClick() {
    UpdateBookButtons();
    UpdateBookCommands();
}

void TRecipeBookCore::btnAddClick() {
    const TRecipeSummary* current = CurrentRecipe ? CurrentRecipe() : nullptr;
    // Pending changes belong to a shown book; without one there is nothing to add to.
    if (!current || !HasShownBook()) return;
    const int32_t id = current->InternalID;
    if (lboxBookRecipes.IndexOfId(id) >= 0) throw std::runtime_error(kRecipeAlreadyInBook);
    lboxBookRecipes.Add(current->Title, id);
    RemovedRecipes.erase(std::remove(RemovedRecipes.begin(), RemovedRecipes.end(), id),
                         RemovedRecipes.end());
    if (lboxBookRecipes.Count() == 1) {
        lboxBookRecipes.SetItemIndex(0);
        lboxBookRecipesClick();
    }
    UpdateBookCommands();
    UpdateBookButtons();
    BookChanged = true;
    // Stored when made: a crash after the click keeps it. A failed write leaves it pending,
    // to be written when the pane is left or another book is chosen.
    SaveBookChanges();
}

void TRecipeBookCore::btnRemoveClick() {
    const TSortedList::Entry* entry = lboxBookRecipes.Selected();
    if (!entry) return;
    const int32_t id = entry->Id;
    lboxBookRecipes.Delete(lboxBookRecipes.ItemIndex());
    if (std::find(RemovedRecipes.begin(), RemovedRecipes.end(), id) == RemovedRecipes.end())
        RemovedRecipes.push_back(id);
    lboxBookRecipes.SetItemIndex(lboxBookRecipes.Count() - 1);
    lboxBookRecipesClick();
    BookChanged = true;
    SaveBookChanges();
}

void TRecipeBookCore::btnNewClick(Prompts& prompts) {
    std::optional<std::string> name = prompts.Input("Enter Book Name", "New Book Name", "New Book");
    if (!name) return;
    if (name->empty()) throw std::runtime_error(kBookNameRequired);
    // Stored at once, outside any transaction; the list shows the name as entered until it
    // is next refilled.
    BookValue stored{-1, *name};
    const int32_t id = store_.SaveBookValue(stored);
    lboxBooks.Add(*name, id);
    lboxBooks.SetItemIndex(lboxBooks.IndexOfText(*name));
    lboxBooksClick();
}

void TRecipeBookCore::btnDeleteClick(Prompts& prompts) {
    const TSortedList::Entry* book = lboxBooks.Selected();
    if (!book) return;
    if (prompts.Message(PromptKind::Warning, kConfirmDeleteBook, PromptButtons::YesNo) !=
        PromptAnswer::Yes)
        return;
    {
        Transaction tx(store_);
        if (store_.DeleteBook(book->Id)) tx.Commit();
    }
    // A book that was already gone is dropped from the list all the same, so that the list
    // stops offering it.
    ClearBookRecipes();
    DropBookChanges();
    FillBookList();
    lboxBooksClick();
    UpdateBookButtons();
    UpdateBookCommands();
}

bool TRecipeBookCore::PaneCloseQuery() {
    if (BookChanged) SaveBookChanges();
    return true;
}

void TRecipeBookCore::PaneShown() {
    DropBookChanges();
    FillBookList();
    ClearBookRecipes();
    UpdateBookButtons();
    UpdateBookCommands();
    lboxBooksClick();
}

bool TRecipeBookCore::ReloadLists() {
    if (BookChanged) return false;
    const int32_t shown = shownBook_;
    FillBookList();
    ClearBookRecipes();
    const int keep = shown >= 0 ? lboxBooks.IndexOfId(shown) : -1;
    if (keep >= 0) lboxBooks.SetItemIndex(keep);
    UpdateBookButtons();
    UpdateBookCommands();
    lboxBooksClick();
    return true;
}

} // namespace larderly
