// The recipe summaries against a plain list that does the same work the obvious way: many
// random appends, updates and removals (some sharing an identifier), in transactions that
// commit or roll back, must leave the same summaries in the same order, find the same ones by
// identifier and by folded title, tell the same changes, and never move a summary that
// still exists.
#include "store/RecipeSummaries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace larderly;

namespace {

struct Model {
    std::list<TRecipeSummary> list;

    std::list<TRecipeSummary>::iterator Find(int32_t id) {
        for (auto it = list.end(); it != list.begin();) {
            --it;
            if (it->InternalID == id) return it;
        }
        return list.end();
    }
    bool TitleExists(const std::string& title) const {
        auto fold = [](std::string s) {
            for (char& c : s)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            return s;
        };
        for (const TRecipeSummary& s : list)
            if (fold(s.Title) == fold(title)) return true;
        return false;
    }
};

struct Recorder : ISummaryObserver {
    std::vector<std::pair<TSummaryChange::Kind, int32_t>> told;
    void SummariesChanged(const std::vector<TSummaryChange>& changes) override {
        for (const TSummaryChange& c : changes) {
            EXPECT_EQ(c.Summary->InternalID, c.InternalID);
            told.emplace_back(c.What, c.InternalID);
        }
    }
};

TEST(SummariesModelTest, RandomWorkMatchesAPlainList) {
    std::mt19937 rng(20261211);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::vector<std::string> words = {"Soup", "SOUP",  "soup",  "Bread", "bread",
                                            "Stew", "Crème", "CRèME", "Pie",   ""};
    auto title = [&] {
        std::string t = words[static_cast<std::size_t>(pick(static_cast<int>(words.size())))];
        if (pick(3) != 0) t += " " + std::to_string(pick(400));
        return t;
    };

    TDetachedSummaries s;
    Model m;
    Recorder rec;
    s.AddObserver(&rec);
    std::vector<std::pair<TSummaryChange::Kind, int32_t>> expected;
    std::map<int32_t, const TRecipeSummary*> seen; // where each identifier's summary lives

    for (int round = 0; round < 400; ++round) {
        const bool inTx = pick(4) != 0;
        const bool rollback = inTx && pick(3) == 0;
        const Model before = m;
        const auto seenBefore = seen;
        std::vector<std::pair<TSummaryChange::Kind, int32_t>> changes;
        if (inTx) s.BeginChanges();
        const int ops = pick(4) == 0 ? 2000 : 1 + pick(30);
        for (int k = 0; k < ops; ++k) {
            const int32_t id = pick(2500);
            RecipeRecord r;
            r.InternalID = id;
            r.Title = title();
            r.Category = {pick(5), -1, pick(5), -1};
            const int op = pick(10);
            if (op < 6) { // the store's save: update or append
                bool added = false;
                TRecipeSummary* got = s.Update(r, &added);
                auto it = m.Find(id);
                EXPECT_EQ(added, it == m.list.end());
                if (it == m.list.end()) {
                    m.list.push_back({id, r.Category, r.Title});
                    changes.emplace_back(TSummaryChange::Added, id);
                } else {
                    EXPECT_EQ(got, seen[id]) << "an update keeps the summary in place";
                    it->Category = r.Category;
                    it->Title = r.Title;
                    changes.emplace_back(TSummaryChange::Updated, id);
                }
                seen[id] = got;
            } else if (op < 9) {
                auto it = m.Find(id);
                EXPECT_EQ(s.Remove(id), it != m.list.end());
                if (it != m.list.end()) {
                    m.list.erase(it);
                    changes.emplace_back(TSummaryChange::Removed, id);
                    auto again = m.Find(id);
                    if (again == m.list.end())
                        seen.erase(id);
                    else
                        seen[id] = s.Find(id);
                }
            } else if (pick(20) == 0) { // a second summary with an identifier already there
                seen[id] = s.Append(r);
                m.list.push_back({id, r.Category, r.Title});
                changes.emplace_back(TSummaryChange::Added, id);
            }
            if (k % 97 == 0) {
                const std::string t = title();
                EXPECT_EQ(s.TitleExists(t), m.TitleExists(t)) << t;
            }
        }
        if (rollback) {
            s.RollbackChanges();
            m = before;
        } else {
            if (inTx) s.CommitChanges();
            expected.insert(expected.end(), changes.begin(), changes.end());
        }
        EXPECT_EQ(rec.told, expected);

        // The same summaries in the same order, found in the same places.
        ASSERT_EQ(s.Count(), m.list.size());
        auto it = m.list.begin();
        for (const TRecipeSummary& x : s) {
            ASSERT_NE(it, m.list.end());
            EXPECT_EQ(x.InternalID, it->InternalID);
            EXPECT_EQ(x.Title, it->Title);
            EXPECT_EQ(x.Category, it->Category);
            ++it;
        }
        for (int32_t id = 0; id < 2500; id += 7) {
            auto mi = m.Find(id);
            const TRecipeSummary* f = s.Find(id);
            ASSERT_EQ(f == nullptr, mi == m.list.end()) << id;
            if (f) {
                EXPECT_EQ(f->Title, mi->Title);
            }
        }
        // A rollback puts back the very summaries that were there.
        if (rollback) seen = seenBefore;
        for (const auto& [id, p] : seen)
            EXPECT_EQ(s.Find(id), p) << "a summary that exists never moves";
        for (int k = 0; k < 5; ++k) {
            const std::string t = title();
            EXPECT_EQ(s.TitleExists(t), m.TitleExists(t)) << t;
        }
        if (HasFailure()) return;
    }
    s.RemoveObserver(&rec);
    // A move takes the summaries where they are and leaves the source empty.
    const std::size_t count = s.Count();
    TDetachedSummaries moved(std::move(s));
    EXPECT_EQ(moved.Count(), count);
    for (const auto& [id, p] : seen)
        EXPECT_EQ(moved.Find(id), p);
    EXPECT_EQ(s.Count(), 0u);
    EXPECT_EQ(s.Find(seen.begin()->first), nullptr);
    s = std::move(moved);
    EXPECT_EQ(s.Count(), count);
    s.Clear();
    EXPECT_EQ(s.Count(), 0u);
    EXPECT_FALSE(s.TitleExists("soup"));
    EXPECT_EQ(s.begin(), s.end());
}

} // namespace
