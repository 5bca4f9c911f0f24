// The recipe summaries: a copy of every stored recipe's identifier, four category slots and
// title (never the text), in the order they were appended. The store owns one list and keeps
// it in step with the recipe table: a change made inside a transaction is seen at once by
// the transaction's own work (an import's title checks), reaches the observers when the
// transaction commits and is taken back when it rolls back. Lookups by identifier and by
// folded title go through hash indexes, so they cost the same with a hundred recipes or a
// hundred thousand.
//
// The summaries are kept compact, since a collection may hold hundreds of thousands: they
// live in fixed blocks (a summary never moves, so its address stays valid while it exists),
// their order is a chain of slot numbers, and both indexes are open-addressing tables of
// (hash, slot) pairs with no allocation per entry. The title index holds only a hash of each
// folded title; a lookup folds the summaries' own titles to compare them.
#pragma once

#include "store/Tables.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace larderly {

struct TRecipeSummary {
    int32_t InternalID = -1;
    std::array<int32_t, 4> Category{-1, -1, -1, -1};
    std::string Title;
};

// One change to the summaries, as the observers are told of it.
struct TSummaryChange {
    enum Kind { Added, Updated, Removed };
    Kind What = Added;
    int32_t InternalID = -1;
    TRecipeSummary* Summary = nullptr; // valid during the call, a removed one included
};

// Told of committed changes to the summaries, in the order they were made. A removed
// summary's pointer is still valid during the call and is freed after it.
class ISummaryObserver {
public:
    virtual ~ISummaryObserver() = default;
    virtual void SummariesChanged(const std::vector<TSummaryChange>& changes) = 0;
};

namespace summaries_detail {

inline constexpr uint32_t kNoSlot = 0xFFFFFFFFu;

// An open-addressing table (linear probing) of (key, slot) pairs: several entries may share
// a key. The key is a 32-bit hash; whoever looks up decides which of the slots with that key
// is the one wanted.
class TSlotTable {
public:
    void Clear();
    std::size_t Size() const { return size_; }
    void Insert(uint32_t key, uint32_t slot);
    // Removes the entry (key, slot); false when there is none.
    bool Erase(uint32_t key, uint32_t slot);
    // The slot of the first entry with `key` for which `wanted(slot)` holds, or kNoSlot.
    template <typename Pred> uint32_t Find(uint32_t key, Pred wanted) const {
        if (entries_.empty()) return kNoSlot;
        for (std::size_t i = Home(key);; i = (i + 1) & mask_) {
            const Entry& e = entries_[i];
            if (e.Slot == kNoSlot) return kNoSlot;
            if (e.Key == key && wanted(e.Slot)) return e.Slot;
        }
    }
    // Points the first entry with `key` at `slot`, or inserts one.
    void Assign(uint32_t key, uint32_t slot);
    void Reserve(std::size_t count);

private:
    struct Entry {
        uint32_t Key = 0;
        uint32_t Slot = kNoSlot; // kNoSlot: empty
    };
    std::size_t Home(uint32_t key) const {
        return static_cast<std::size_t>((key * 0x9E3779B1u) >> shift_) & mask_;
    }
    void Grow(std::size_t capacity);

    std::vector<Entry> entries_;
    std::size_t size_ = 0, mask_ = 0;
    unsigned shift_ = 32;
};

} // namespace summaries_detail

class RecipeSummaries {
    using Slot = uint32_t;

public:
    RecipeSummaries() = default;
    RecipeSummaries(const RecipeSummaries&) = delete;
    RecipeSummaries& operator=(const RecipeSummaries&) = delete;
    // A move keeps every summary where it is (its pointers stay valid) and leaves `other`
    // empty.
    RecipeSummaries(RecipeSummaries&& other) noexcept { *this = std::move(other); }
    RecipeSummaries& operator=(RecipeSummaries&& other) noexcept;

    std::size_t Count() const { return count_; }
    bool Empty() const { return count_ == 0; }
    // The summary with that identifier, or nullptr.
    TRecipeSummary* Find(int32_t id);
    // Whether any summary's title equals `title` with the letters a-z folded.
    bool TitleExists(const std::string& title) const;
    // Whether the observers are being told of a Reload.
    bool Reloading() const { return reloading_; }
    // Whether the list was built from the table (Build, Reload) and not cleared since, and
    // the store's count of changes to the recipe table by other programs at that time.
    bool Built() const { return built_; }
    uint64_t BuiltAt() const { return builtAt_; }

    void AddObserver(ISummaryObserver* observer);
    void RemoveObserver(ISummaryObserver* observer);

    // The summaries in their order.
    template <typename Owner, typename Value> class Iter {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TRecipeSummary;
        using difference_type = std::ptrdiff_t;
        using pointer = Value*;
        using reference = Value&;
        Iter() = default;
        Iter(Owner* owner, Slot slot) : owner_(owner), slot_(slot) {}
        reference operator*() const { return owner_->At(slot_); }
        pointer operator->() const { return &owner_->At(slot_); }
        Iter& operator++() {
            slot_ = owner_->NodeAt(slot_).L.Next;
            return *this;
        }
        Iter operator++(int) {
            Iter before = *this;
            ++*this;
            return before;
        }
        bool operator==(const Iter& o) const { return slot_ == o.slot_; }

    private:
        Owner* owner_ = nullptr;
        Slot slot_ = summaries_detail::kNoSlot;
    };
    using iterator = Iter<RecipeSummaries, TRecipeSummary>;
    using const_iterator = Iter<const RecipeSummaries, const TRecipeSummary>;

    iterator begin() { return {this, head_}; }
    iterator end() { return {this, summaries_detail::kNoSlot}; }
    const_iterator begin() const { return {this, head_}; }
    const_iterator end() const { return {this, summaries_detail::kNoSlot}; }

protected:
    // The changes. Only the store changes its own list (TfmTables keeps it in step with the
    // recipe table); a list of one's own is a TDetachedSummaries.
    friend class TfmTables;

    void Clear();

    // Appends a summary of the recipe buffer (title cut to 150 characters). The returned
    // pointer stays valid until that summary is removed or the list cleared.
    TRecipeSummary* Append(const RecipeRecord& rec);
    // The same without telling the observers: for whoever shows the list afresh afterwards.
    TRecipeSummary* AppendUntold(const RecipeRecord& rec);
    // Overwrites the summary with the buffer's identifier, or appends one. `added` tells which.
    TRecipeSummary* Update(const RecipeRecord& rec, bool* added = nullptr);
    // Removes the summary with that identifier; false when there is none.
    bool Remove(int32_t id);

    // Rebuilds every summary from the recipe table, walking it in its current order and
    // reading only the identifier, the four slots and the title. `step` is called once per
    // row. Summaries built before an error stay in the list.
    void Build(TfmTables& store, const std::function<void()>& step = {});
    // Brings the summaries in line with the recipe table after another program changed it:
    // what was added, changed or removed there is told to the observers as one change (new
    // summaries at the end, in identifier order). Not inside a transaction.
    void Reload(TfmTables& store);

    // Transactions: between BeginChanges and CommitChanges the changes are kept and told to
    // the observers at the commit; RollbackChanges takes them back (in reverse order, each
    // summary back at its place) and tells no one. Outside a transaction each change is told
    // at once.
    void BeginChanges();
    void CommitChanges();
    void RollbackChanges();

private:
    static constexpr unsigned kBlockBits = 10; // 1024 summaries a block
    static constexpr Slot kNone = summaries_detail::kNoSlot;

    struct Link {
        Slot Prev = kNone, Next = kNone;
    };
    // A summary and its place in the order (or, while free, in the chain of free slots).
    struct Node {
        TRecipeSummary S;
        Link L;
    };
    // One entry of an open transaction's log, which undoes it and says what to tell.
    struct Undo {
        TSummaryChange::Kind What;
        bool Told;  // whether the observers hear of it at the commit
        Slot First; // the summary (Added: the first of a run of consecutive slots)
        // Added: how many slots the run holds; Removed: the slot that followed it (kNone at
        // the end); Updated: where its values before are kept (before_).
        uint32_t Extra;
    };

    Node& NodeAt(Slot s) { return blocks_[s >> kBlockBits][s & ((1u << kBlockBits) - 1)]; }
    const Node& NodeAt(Slot s) const {
        return blocks_[s >> kBlockBits][s & ((1u << kBlockBits) - 1)];
    }
    TRecipeSummary& At(Slot s) { return NodeAt(s).S; }
    const TRecipeSummary& At(Slot s) const { return NodeAt(s).S; }
    Slot NewSlot();
    void FreeSlot(Slot s);
    void LinkBefore(Slot s, Slot next);
    void Unlink(Slot s);
    Slot FindSlot(int32_t id) const;
    // After the summary an identifier pointed at went away: an earlier summary with the same
    // identifier (never made by the program) takes its place.
    void ReindexId(int32_t id);
    void IndexTitle(Slot s);
    void UnindexTitle(Slot s);
    static uint32_t TitleHash(std::string_view title);
    void Log(TSummaryChange::Kind what, Slot s, uint32_t extra);
    void Changed(TSummaryChange::Kind what, Slot s);
    void Tell(const std::vector<TSummaryChange>& changes);
    // Builds the title index from the list when a rebuild left it unbuilt.
    void EnsureTitleIndex() const;

    std::vector<std::unique_ptr<Node[]>> blocks_;
    Slot head_ = kNone, tail_ = kNone;
    Slot free_ = kNone; // the first free slot (chained through Link::Next)
    Slot slots_ = 0;    // slots handed out so far
    std::size_t count_ = 0;
    summaries_detail::TSlotTable byId_;
    // Whether two summaries ever shared an identifier (never made by the program): only
    // then does a removal look for another summary with the same identifier.
    bool sharedIds_ = false;
    // folded-title hash -> slot, one entry per summary. A rebuild from the table leaves it
    // unbuilt; the first title lookup builds it, so showing the list never waits for an index
    // only importers use.
    mutable summaries_detail::TSlotTable titles_;
    mutable bool titlesBuilt_ = true;

    bool inTransaction_ = false;
    bool building_ = false;
    bool reloading_ = false;
    bool built_ = false;
    uint64_t builtAt_ = 0;
    std::vector<Undo> undo_;
    std::vector<TRecipeSummary> before_; // the values that Updated entries undo to
    // Summaries removed by the open transaction: kept until it ends, so that their pointers
    // stay valid for the observers (and for a rollback that puts them back).
    std::vector<Slot> removed_;
    std::vector<ISummaryObserver*> observers_;
};

// A list of summaries that belongs to no store, filled by its owner (tests, benchmarks).
class TDetachedSummaries : public RecipeSummaries {
public:
    using RecipeSummaries::Append;
    using RecipeSummaries::AppendUntold;
    using RecipeSummaries::BeginChanges;
    using RecipeSummaries::Build;
    using RecipeSummaries::Clear;
    using RecipeSummaries::CommitChanges;
    using RecipeSummaries::Reload;
    using RecipeSummaries::Remove;
    using RecipeSummaries::RollbackChanges;
    using RecipeSummaries::Update;
};

} // namespace larderly
