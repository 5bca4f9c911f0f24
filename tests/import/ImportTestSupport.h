// A store in a temporary folder, the summaries beside it, and ways to read back what an
// import stored.
#pragma once

#include "import/ImportCommand.h"
#include "store/Labels.h"
#include "store/RecipeSummaries.h"
#include "store/Tables.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace larderly::import::test {

inline std::string Fixture(const std::string& name) {
    return std::string(LARDERLY_SOURCE_DIR) + "/tests/data/import/" + name;
}

// A recipe row read back through the store, with its category slots as label names.
struct StoredRecipe {
    int32_t id = -1;
    std::string title;
    std::array<std::string, 4> categories;
    std::vector<std::string> lines;
};

class TempStore {
public:
    TempStore() {
        char tmpl[] = "/tmp/larderly-import-XXXXXX";
        folder_ = mkdtemp(tmpl);
        store.OpenDatabase(folder_ + "/");
        store.SetTablesOpen(true);
    }
    ~TempStore() {
        try {
            store.SetTablesOpen(false);
        } catch (...) {
        }
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    TempStore(const TempStore&) = delete;
    TempStore& operator=(const TempStore&) = delete;

    const std::string& Folder() const { return folder_; }

    // A file in the temporary folder with these bytes.
    std::string WriteFile(const std::string& name, const std::string& bytes) {
        std::string path = folder_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::string LabelName(int32_t id) {
        if (id == -1) return {};
        TTable& t = store.tblListLabel();
        if (!t.Locate(id)) return "<missing " + std::to_string(id) + ">";
        return t.FieldAsString(fld::LabelName);
    }

    // Every recipe row in identifier order.
    std::vector<StoredRecipe> Recipes() {
        std::vector<int32_t> ids;
        TTable& t = store.tblRecipes();
        t.SetIndexName("InternalID");
        for (t.First(); !t.Eof(); t.Next())
            ids.push_back(t.FieldAsInteger(fld::InternalID));
        std::vector<StoredRecipe> out;
        for (int32_t id : ids) {
            store.FindRecipe(id);
            StoredRecipe r;
            r.id = id;
            r.title = store.RecipeRec.Title;
            r.lines = store.RecipeText;
            for (std::size_t s = 0; s < 4; ++s)
                r.categories[s] = LabelName(store.RecipeRec.Category[s]);
            out.push_back(r);
        }
        return out;
    }

    int RecipeCount() { return store.tblRecipes().RecordCount(); }
    int LabelCount() { return store.tblListLabel().RecordCount(); }

    // The summaries name exactly the rows of the recipe table, with their titles and slots.
    void ExpectSummariesMatchTable() {
        auto rows = RecipesBrief();
        ASSERT_EQ(summaries.Count(), rows.size());
        for (const auto& r : rows) {
            TRecipeSummary* s = summaries.Find(r.InternalID);
            ASSERT_NE(s, nullptr) << "no summary for recipe " << r.InternalID;
            EXPECT_EQ(s->Title, r.Title);
            EXPECT_EQ(s->Category, r.Category);
        }
    }

    TfmTables store;
    RecipeSummaries& summaries = store.Summaries();

private:
    std::vector<RecipeRecord> RecipesBrief() {
        std::vector<RecipeRecord> out;
        TTable& t = store.tblRecipes();
        for (t.First(); !t.Eof(); t.Next()) {
            RecipeRecord r;
            r.InternalID = t.FieldAsInteger(fld::InternalID);
            for (int s = 0; s < 4; ++s)
                r.Category[static_cast<std::size_t>(s)] = t.FieldAsInteger(fld::Category1 + s);
            r.Title = t.FieldAsString(fld::Title);
            out.push_back(r);
        }
        return out;
    }

    std::string folder_;
};

// A recipe as a test expects it stored: title, category names and text lines.
struct ExpectedRow {
    std::string title;
    std::array<std::string, 4> categories;
    std::vector<std::string> lines;
};

// Imports the file at `path` into an empty store and checks that it was taken by `reader`
// and stored exactly `want`, in identifier order, with the summaries in step. Returns what
// the import reported, for checks of its own.
inline TFileImport ExpectRows(const std::string& path, const std::string& reader,
                              const std::vector<ExpectedRow>& want,
                              const TImportOptions& options = {}) {
    SCOPED_TRACE(path);
    TempStore t;
    TFileImport r = ImportFile(t.store, path, options);
    EXPECT_TRUE(r.Accepted);
    EXPECT_EQ(r.Reader, reader);
    EXPECT_EQ(r.Added, static_cast<int>(want.size()));
    auto rows = t.Recipes();
    EXPECT_EQ(rows.size(), want.size());
    for (std::size_t i = 0; i < rows.size() && i < want.size(); ++i) {
        EXPECT_EQ(rows[i].title, want[i].title);
        EXPECT_EQ(rows[i].categories, want[i].categories) << want[i].title;
        EXPECT_EQ(rows[i].lines, want[i].lines) << want[i].title;
    }
    t.ExpectSummariesMatchTable();
    return r;
}

} // namespace larderly::import::test
