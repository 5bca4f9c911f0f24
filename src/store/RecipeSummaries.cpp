// Recipe summaries in fixed blocks, with identifier and folded-title hash indexes.
#include "store/RecipeSummaries.h"

#include "platform/Text.h"

#include <algorithm>
#include <bit>
#include <unordered_set>

namespace larderly {

namespace summaries_detail {

void TSlotTable::Clear() {
    entries_ = {};
    size_ = 0;
    mask_ = 0;
    shift_ = 32;
}

void TSlotTable::Grow(std::size_t capacity) {
    std::vector<Entry> old;
    old.swap(entries_);
    entries_.assign(capacity, Entry{});
    mask_ = capacity - 1;
    shift_ = 32u - static_cast<unsigned>(std::countr_zero(capacity));
    for (const Entry& e : old) {
        if (e.Slot == kNoSlot) continue;
        std::size_t i = Home(e.Key);
        while (entries_[i].Slot != kNoSlot)
            i = (i + 1) & mask_;
        entries_[i] = e;
    }
}

void TSlotTable::Reserve(std::size_t count) {
    std::size_t capacity = 16;
    while (capacity / 4 * 3 < count)
        capacity *= 2;
    if (capacity > entries_.size()) Grow(capacity);
}

void TSlotTable::Insert(uint32_t key, uint32_t slot) {
    // At most three quarters full, so that probes stay short.
    if ((size_ + 1) * 4 > entries_.size() * 3) Grow(std::max<std::size_t>(16, entries_.size() * 2));
    std::size_t i = Home(key);
    while (entries_[i].Slot != kNoSlot)
        i = (i + 1) & mask_;
    entries_[i] = {key, slot};
    ++size_;
}

bool TSlotTable::Erase(uint32_t key, uint32_t slot) {
    if (entries_.empty()) return false;
    std::size_t i = Home(key);
    for (;; i = (i + 1) & mask_) {
        const Entry& e = entries_[i];
        if (e.Slot == kNoSlot) return false;
        if (e.Key == key && e.Slot == slot) break;
    }
    // Entries after the hole that could not sit at their home (or nearer to it) move back,
    // so that every probe still reaches its entry without passing an empty place.
    for (std::size_t j = i;;) {
        j = (j + 1) & mask_;
        if (entries_[j].Slot == kNoSlot) break;
        const std::size_t home = Home(entries_[j].Key);
        const bool staysPut = i <= j ? (i < home && home <= j) : (i < home || home <= j);
        if (staysPut) continue;
        entries_[i] = entries_[j];
        i = j;
    }
    entries_[i] = Entry{};
    --size_;
    return true;
}

void TSlotTable::Assign(uint32_t key, uint32_t slot) {
    if (!entries_.empty())
        for (std::size_t i = Home(key);; i = (i + 1) & mask_) {
            Entry& e = entries_[i];
            if (e.Slot == kNoSlot) break;
            if (e.Key == key) {
                e.Slot = slot;
                return;
            }
        }
    Insert(key, slot);
}

} // namespace summaries_detail

namespace {

uint32_t IdKey(int32_t id) {
    return static_cast<uint32_t>(id);
}

} // namespace

uint32_t RecipeSummaries::TitleHash(std::string_view title) {
    // 64-bit FNV-1a of the folded title, its halves combined.
    uint64_t h = 0xcbf29ce484222325ull;
    for (char c : title) {
        h ^= static_cast<unsigned char>(LowerAZ(c));
        h *= 0x100000001b3ull;
    }
    return static_cast<uint32_t>(h ^ (h >> 32));
}

void RecipeSummaries::Clear() {
    undo_ = {};
    before_ = {};
    removed_ = {};
    std::vector<std::unique_ptr<Node[]>>().swap(blocks_);
    head_ = tail_ = free_ = kNone;
    slots_ = 0;
    count_ = 0;
    byId_.Clear();
    sharedIds_ = false;
    titles_.Clear();
    titlesBuilt_ = true;
    built_ = false;
}

RecipeSummaries& RecipeSummaries::operator=(RecipeSummaries&& o) noexcept {
    if (this == &o) return *this;
    blocks_ = std::move(o.blocks_);
    head_ = o.head_;
    tail_ = o.tail_;
    free_ = o.free_;
    slots_ = o.slots_;
    count_ = o.count_;
    byId_ = std::move(o.byId_);
    sharedIds_ = o.sharedIds_;
    titles_ = std::move(o.titles_);
    titlesBuilt_ = o.titlesBuilt_;
    inTransaction_ = o.inTransaction_;
    building_ = o.building_;
    reloading_ = o.reloading_;
    built_ = o.built_;
    builtAt_ = o.builtAt_;
    undo_ = std::move(o.undo_);
    before_ = std::move(o.before_);
    removed_ = std::move(o.removed_);
    observers_ = std::move(o.observers_);
    o.Clear();
    o.inTransaction_ = o.building_ = o.reloading_ = false;
    o.observers_.clear();
    return *this;
}

RecipeSummaries::Slot RecipeSummaries::NewSlot() {
    if (free_ != kNone) {
        const Slot s = free_;
        free_ = NodeAt(s).L.Next;
        NodeAt(s).L = Link{};
        return s;
    }
    if ((slots_ & ((1u << kBlockBits) - 1)) == 0)
        blocks_.push_back(std::make_unique<Node[]>(std::size_t{1} << kBlockBits));
    return slots_++;
}

void RecipeSummaries::FreeSlot(Slot s) {
    Node& n = NodeAt(s);
    n.S = TRecipeSummary{};
    n.L = Link{kNone, free_};
    free_ = s;
}

void RecipeSummaries::LinkBefore(Slot s, Slot next) {
    Link& l = NodeAt(s).L;
    l.Next = next;
    l.Prev = next == kNone ? tail_ : NodeAt(next).L.Prev;
    (l.Prev == kNone ? head_ : NodeAt(l.Prev).L.Next) = s;
    (next == kNone ? tail_ : NodeAt(next).L.Prev) = s;
    ++count_;
}

void RecipeSummaries::Unlink(Slot s) {
    Link& l = NodeAt(s).L;
    (l.Prev == kNone ? head_ : NodeAt(l.Prev).L.Next) = l.Next;
    (l.Next == kNone ? tail_ : NodeAt(l.Next).L.Prev) = l.Prev;
    l = Link{};
    --count_;
}

RecipeSummaries::Slot RecipeSummaries::FindSlot(int32_t id) const {
    // The key is the identifier itself, so an equal key is the identifier.
    return byId_.Find(IdKey(id), [](Slot) { return true; });
}

void RecipeSummaries::ReindexId(int32_t id) {
    if (!sharedIds_) return;
    for (Slot r = tail_; r != kNone; r = NodeAt(r).L.Prev)
        if (At(r).InternalID == id) {
            byId_.Assign(IdKey(id), r);
            return;
        }
}

void RecipeSummaries::IndexTitle(Slot s) {
    if (titlesBuilt_) titles_.Insert(TitleHash(At(s).Title), s);
}

void RecipeSummaries::UnindexTitle(Slot s) {
    if (titlesBuilt_) titles_.Erase(TitleHash(At(s).Title), s);
}

void RecipeSummaries::Log(TSummaryChange::Kind what, Slot s, uint32_t extra) {
    if (!inTransaction_) return;
    const bool told = !building_;
    // Summaries appended one after another (an import) make one entry.
    if (what == TSummaryChange::Added && !undo_.empty()) {
        Undo& last = undo_.back();
        if (last.What == TSummaryChange::Added && last.Told == told &&
            last.First + last.Extra == s && last.Extra < 0xFFFFFFFFu) {
            ++last.Extra;
            return;
        }
    }
    undo_.push_back({what, told, s, extra});
}

TRecipeSummary* RecipeSummaries::Append(const RecipeRecord& rec) {
    const Slot s = NewSlot();
    TRecipeSummary& sum = At(s);
    sum.InternalID = rec.InternalID;
    sum.Category = rec.Category;
    sum.Title = CutChars(rec.Title, kTitleWidth);
    LinkBefore(s, kNone);
    // A later summary with the same identifier wins, as a search from the last node would.
    if (FindSlot(rec.InternalID) != kNone) sharedIds_ = true;
    byId_.Assign(IdKey(rec.InternalID), s);
    IndexTitle(s);
    Log(TSummaryChange::Added, s, 1);
    Changed(TSummaryChange::Added, s);
    return &sum;
}

TRecipeSummary* RecipeSummaries::AppendUntold(const RecipeRecord& rec) {
    const bool was = building_;
    building_ = true;
    TRecipeSummary* s = Append(rec);
    building_ = was;
    return s;
}

TRecipeSummary* RecipeSummaries::Find(int32_t id) {
    const Slot s = FindSlot(id);
    return s == kNone ? nullptr : &At(s);
}

TRecipeSummary* RecipeSummaries::Update(const RecipeRecord& rec, bool* added) {
    const Slot s = FindSlot(rec.InternalID);
    if (s == kNone) {
        if (added) *added = true;
        return Append(rec);
    }
    TRecipeSummary& sum = At(s);
    if (inTransaction_) {
        before_.push_back(sum);
        Log(TSummaryChange::Updated, s, static_cast<uint32_t>(before_.size() - 1));
    }
    UnindexTitle(s);
    sum.Category = rec.Category;
    sum.Title = CutChars(rec.Title, kTitleWidth);
    IndexTitle(s);
    Changed(TSummaryChange::Updated, s);
    if (added) *added = false;
    return &sum;
}

bool RecipeSummaries::Remove(int32_t id) {
    const Slot s = FindSlot(id);
    if (s == kNone) return false;
    byId_.Erase(IdKey(id), s);
    UnindexTitle(s);
    // The summary is kept aside until the change is told, so that observers may still look
    // at it (and, in a transaction, until it ends, for a rollback to put it back).
    const Slot next = NodeAt(s).L.Next;
    Unlink(s);
    Log(TSummaryChange::Removed, s, next);
    ReindexId(id);
    if (inTransaction_) {
        removed_.push_back(s);
        Changed(TSummaryChange::Removed, s);
        return true;
    }
    Changed(TSummaryChange::Removed, s);
    FreeSlot(s);
    return true;
}

void RecipeSummaries::Changed(TSummaryChange::Kind what, Slot s) {
    // In a transaction the log says what to tell at the commit.
    if (building_ || inTransaction_) return;
    Tell({{what, At(s).InternalID, &At(s)}});
}

void RecipeSummaries::Tell(const std::vector<TSummaryChange>& changes) {
    // An observer may remove itself while being told.
    const std::vector<ISummaryObserver*> observers = observers_;
    for (ISummaryObserver* o : observers)
        if (std::find(observers_.begin(), observers_.end(), o) != observers_.end())
            o->SummariesChanged(changes);
}

void RecipeSummaries::BeginChanges() {
    undo_.clear();
    before_.clear();
    inTransaction_ = true;
}

void RecipeSummaries::CommitChanges() {
    inTransaction_ = false;
    std::size_t n = 0;
    for (const Undo& u : undo_)
        if (u.Told) n += u.What == TSummaryChange::Added ? u.Extra : 1;
    std::vector<TSummaryChange> changes;
    changes.reserve(n);
    for (const Undo& u : undo_) {
        if (!u.Told) continue;
        const uint32_t run = u.What == TSummaryChange::Added ? u.Extra : 1;
        for (uint32_t k = 0; k < run; ++k) {
            TRecipeSummary& sum = At(u.First + k);
            changes.push_back({u.What, sum.InternalID, &sum});
        }
    }
    undo_ = {};
    before_ = {};
    std::vector<Slot> gone;
    gone.swap(removed_);
    if (!changes.empty()) Tell(changes);
    for (Slot s : gone)
        FreeSlot(s);
}

void RecipeSummaries::RollbackChanges() {
    inTransaction_ = false;
    for (auto u = undo_.rbegin(); u != undo_.rend(); ++u) {
        switch (u->What) {
        case TSummaryChange::Added:
            for (uint32_t k = u->Extra; k-- > 0;) {
                const Slot s = u->First + k;
                const int32_t id = At(s).InternalID;
                UnindexTitle(s);
                Unlink(s);
                if (byId_.Erase(IdKey(id), s)) ReindexId(id);
                FreeSlot(s);
            }
            break;
        case TSummaryChange::Updated: {
            const Slot s = u->First;
            TRecipeSummary& before = before_[u->Extra];
            UnindexTitle(s);
            At(s).Category = before.Category;
            At(s).Title = std::move(before.Title);
            IndexTitle(s);
            break;
        }
        case TSummaryChange::Removed:
            LinkBefore(u->First, u->Extra);
            byId_.Assign(IdKey(At(u->First).InternalID), u->First);
            IndexTitle(u->First);
            break;
        }
    }
    undo_ = {};
    before_ = {};
    removed_ = {};
}

void RecipeSummaries::AddObserver(ISummaryObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void RecipeSummaries::RemoveObserver(ISummaryObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

bool RecipeSummaries::TitleExists(const std::string& title) const {
    EnsureTitleIndex();
    return titles_.Find(TitleHash(title), [&](Slot s) { return SameTextAZ(At(s).Title, title); }) !=
           kNone;
}

void RecipeSummaries::EnsureTitleIndex() const {
    if (titlesBuilt_) return;
    titles_.Clear();
    titles_.Reserve(count_);
    for (Slot s = head_; s != kNone; s = NodeAt(s).L.Next)
        titles_.Insert(TitleHash(At(s).Title), s);
    titlesBuilt_ = true;
}

void RecipeSummaries::Build(TfmTables& store, const std::function<void()>& step) {
    Clear();
    titlesBuilt_ = false;
    // A rebuild is no change to tell: whoever rebuilds shows the list afresh.
    struct Quiet {
        bool& b;
        ~Quiet() { b = false; }
    } quiet{building_ = true};
    // Changes by other programs before this point are in what the walk reads.
    store.PollChangesElsewhere();
    builtAt_ = store.ChangesElsewhere()[1];
    built_ = true;
    TTable& t = store.tblRecipes();
    RecipeRecord rec;
    t.First();
    while (!t.Eof()) {
        rec.InternalID = t.FieldAsInteger(fld::InternalID);
        for (int s = 0; s < 4; ++s)
            rec.Category[static_cast<size_t>(s)] = t.FieldAsInteger(fld::Category1 + s);
        rec.Title = t.FieldAsString(fld::Title);
        Append(rec);
        if (step) step();
        t.Next();
    }
}

void RecipeSummaries::Reload(TfmTables& store) {
    store.PollChangesElsewhere();
    const uint64_t at = store.ChangesElsewhere()[1];
    SqlStatement st(store.Connection().handle(),
                    "SELECT InternalID, Category1, Category2, Category3, Category4, Title FROM " +
                        store.tblRecipes().QualifiedName() + " ORDER BY InternalID");
    BeginChanges();
    try {
        std::unordered_set<int32_t> stored;
        RecipeRecord rec;
        while (st.Step()) {
            rec.InternalID = static_cast<int32_t>(st.ColumnInt(0));
            for (int s = 0; s < 4; ++s)
                rec.Category[static_cast<size_t>(s)] = static_cast<int32_t>(st.ColumnInt(1 + s));
            rec.Title = CutChars(st.ColumnText(5), kTitleWidth);
            stored.insert(rec.InternalID);
            const TRecipeSummary* s = Find(rec.InternalID);
            if (!s)
                Append(rec);
            else if (s->Category != rec.Category || s->Title != rec.Title)
                Update(rec);
        }
        st.Reset();
        std::vector<int32_t> gone;
        for (const TRecipeSummary& s : *this)
            if (!stored.count(s.InternalID)) gone.push_back(s.InternalID);
        for (int32_t id : gone)
            Remove(id);
    } catch (...) {
        RollbackChanges();
        throw;
    }
    builtAt_ = at;
    built_ = true;
    struct Telling {
        bool& b;
        ~Telling() { b = false; }
    } telling{reloading_ = true};
    CommitChanges();
}

} // namespace larderly
