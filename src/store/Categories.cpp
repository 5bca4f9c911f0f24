// Category administration over the label and recipe tables, by identifier and in plain SQL:
// the tables' cursors and record buffers are left as they are.
#include "store/Categories.h"

#include "platform/Text.h"
#include "store/Labels.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>

namespace larderly {
namespace {

std::string CleanName(const std::string& name) {
    std::string n = CutChars(TrimCodes(name), kLabelNameWidth);
    if (n.empty()) throw ECategoryError("You must enter a name");
    return n;
}

// The name of the label with that identifier; raises when there is none.
std::string LabelNameOf(TfmTables& store, int32_t id) {
    SqlStatement st(store.Connection().handle(), "SELECT LabelName FROM " +
                                                     store.tblListLabel().QualifiedName() +
                                                     " WHERE InternalID = ?");
    st.Bind(1, static_cast<int64_t>(id));
    if (!st.Step()) throw ECategoryError("That category no longer exists.");
    return st.ColumnText(0);
}

// A label other than `except` whose name equals `name` without regard to case, or -1.
int32_t OtherLabelNamed(TfmTables& store, const std::string& name, int32_t except) {
    SqlStatement st(store.Connection().handle(),
                    "SELECT InternalID, LabelName FROM " + store.tblListLabel().QualifiedName());
    while (st.Step()) {
        const auto id = static_cast<int32_t>(st.ColumnInt(0));
        if (id != except && SameTextAZ(CutChars(st.ColumnText(1), kLabelNameWidth), name))
            return id;
    }
    return -1;
}

std::string Taken(const std::string& name) {
    return "A category named \"" + name + "\" already exists.";
}

int RecipesUsing(TfmTables& store, int32_t id) {
    SqlStatement st(store.Connection().handle(),
                    "SELECT COUNT(*) FROM " + store.tblRecipes().QualifiedName() +
                        " WHERE ?1 IN (Category1, Category2, Category3, Category4)");
    st.Bind(1, static_cast<int64_t>(id));
    return st.Step() ? static_cast<int>(st.ColumnInt(0)) : 0;
}

// Runs `work` in a transaction of its own and commits it.
template <typename Work> auto InTransaction(TfmTables& store, Work work) {
    Transaction tx(store);
    auto result = work();
    tx.Commit();
    return result;
}

} // namespace

std::vector<CategoryUse> CategoryUses(TfmTables& store) {
    std::vector<CategoryUse> out;
    std::map<int32_t, std::size_t> at;
    {
        SqlStatement st(store.Connection().handle(), "SELECT InternalID, LabelName FROM " +
                                                         store.tblListLabel().QualifiedName() +
                                                         " WHERE LabelKind = ?");
        st.Bind(1, static_cast<int64_t>(StoredNumberOfKind(kLabelKindCategory)));
        while (st.Step()) {
            const auto id = static_cast<int32_t>(st.ColumnInt(0));
            at[id] = out.size();
            out.push_back({id, CutChars(st.ColumnText(1), kLabelNameWidth), 0});
        }
    }
    {
        SqlStatement st(store.Connection().handle(),
                        "SELECT Category1, Category2, Category3, Category4 FROM " +
                            store.tblRecipes().QualifiedName());
        while (st.Step()) {
            std::set<int32_t> seen;
            for (int k = 0; k < 4; ++k)
                seen.insert(static_cast<int32_t>(st.ColumnInt(k)));
            for (int32_t id : seen)
                if (auto it = at.find(id); it != at.end()) ++out[it->second].Recipes;
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const CategoryUse& a, const CategoryUse& b) {
        const int c = CompareFolded(a.Name, b.Name);
        return c != 0 ? c < 0 : a.Id < b.Id;
    });
    return out;
}

int32_t AddCategory(TfmTables& store, const std::string& name) {
    const std::string n = CleanName(name);
    return InTransaction(store, [&] {
        if (OtherLabelNamed(store, n, -1) >= 0) throw ECategoryError(Taken(n));
        return CreateLabel(store, n, kLabelKindCategory);
    });
}

void RenameCategory(TfmTables& store, int32_t id, const std::string& name) {
    const std::string n = CleanName(name);
    InTransaction(store, [&] {
        LabelNameOf(store, id);
        if (OtherLabelNamed(store, n, id) >= 0) throw ECategoryError(Taken(n));
        SqlStatement st(store.Connection().handle(), "UPDATE " +
                                                         store.tblListLabel().QualifiedName() +
                                                         " SET LabelName = ? WHERE InternalID = ?");
        st.Bind(1, n);
        st.Bind(2, static_cast<int64_t>(id));
        st.Run();
        return 0;
    });
}

void DeleteCategory(TfmTables& store, int32_t id) {
    InTransaction(store, [&] {
        const std::string name = LabelNameOf(store, id);
        if (const int n = RecipesUsing(store, id); n > 0)
            throw ECategoryError("\"" + name + "\" is used by " + std::to_string(n) +
                                 (n == 1 ? " recipe" : " recipes") +
                                 " and cannot be deleted; merge it into another category instead.");
        store.DeleteLabel(id);
        return 0;
    });
}

int MergeCategory(TfmTables& store, int32_t from, int32_t into) {
    if (from == into) throw ECategoryError("A category cannot be merged into itself.");
    return InTransaction(store, [&] {
        LabelNameOf(store, from);
        LabelNameOf(store, into);
        struct Row {
            int32_t id;
            std::array<int32_t, 4> slots;
        };
        std::vector<Row> rows;
        {
            SqlStatement st(store.Connection().handle(),
                            "SELECT InternalID, Category1, Category2, Category3, Category4 FROM " +
                                store.tblRecipes().QualifiedName() +
                                " WHERE ?1 IN (Category1, Category2, Category3, Category4)");
            st.Bind(1, static_cast<int64_t>(from));
            while (st.Step()) {
                Row r{static_cast<int32_t>(st.ColumnInt(0)), {}};
                for (std::size_t k = 0; k < 4; ++k)
                    r.slots[k] = static_cast<int32_t>(st.ColumnInt(static_cast<int>(k) + 1));
                rows.push_back(r);
            }
        }
        for (Row& r : rows) {
            bool holdsInto = std::find(r.slots.begin(), r.slots.end(), into) != r.slots.end();
            for (int32_t& slot : r.slots) {
                if (slot != from) continue;
                // A recipe keeps each category once.
                slot = holdsInto ? -1 : into;
                holdsInto = true;
            }
            // The store's own write path: the recipe's summary follows it.
            store.SaveRecipeCategories(r.id, r.slots);
        }
        store.DeleteLabel(from);
        return static_cast<int>(rows.size());
    });
}

} // namespace larderly
