// The ingredient index on SQLite's FTS5; a function of this connection reads the items out
// of a recipe's text for the triggers and the build.
#include "store/IngredientIndex.h"

#include "ingredients/ShoppingList.h"
#include "store/Tables.h"

#include <cstdio>
#include <limits>

namespace larderly {
namespace {

constexpr const char* kSchema = "ingredient";

void ItemsFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    const auto* blob = static_cast<const char*>(sqlite3_value_blob(argv[0]));
    const int size = sqlite3_value_bytes(argv[0]);
    const std::string items =
        TIngredientIndex::ItemsOf(blob ? std::string(blob, static_cast<std::size_t>(size)) : "");
    sqlite3_result_text(context, items.data(), static_cast<int>(items.size()), SQLITE_TRANSIENT);
}

} // namespace

void SplitSearchWords(const std::string& typed, std::string& textWords,
                      std::string& ingredientWords) {
    static constexpr std::string_view kPrefix = "ingredient:";
    textWords.clear();
    ingredientWords.clear();
    for (std::size_t p = 0; p < typed.size();) {
        std::size_t q = typed.find_first_of(" \t", p);
        if (q == std::string::npos) q = typed.size();
        const std::string word = typed.substr(p, q - p);
        p = q + 1;
        if (word.empty()) continue;
        bool prefixed = word.size() >= kPrefix.size();
        for (std::size_t i = 0; prefixed && i < kPrefix.size(); ++i)
            prefixed = std::tolower(static_cast<unsigned char>(word[i])) == kPrefix[i];
        std::string& to = prefixed ? ingredientWords : textWords;
        const std::string rest = prefixed ? word.substr(kPrefix.size()) : word;
        if (!rest.empty()) to += (to.empty() ? "" : " ") + rest;
    }
}

std::string TIngredientIndex::ItemsOf(const std::string& recipeText) {
    std::string out;
    for (const ingredients::ParsedLine& p :
         ingredients::ParseRecipeText(DecodeRecipeText(recipeText), true))
        if (p.kind == ingredients::LineKind::Ingredient) {
            const std::string key = ingredients::ItemKey(p.ingredient.Item);
            if (!key.empty()) out += key + "\n";
        }
    return out;
}

void TIngredientIndex::Attach(SqlConnection& conn, const std::string& dataFolder,
                              const std::string& recipeFile) {
    conn_ = nullptr;
    problem_.clear();
    path_ = dataFolder + "/" + kIngredientIndexFile;
    recipeFile_ = recipeFile;
    // Ingredient search is unavailable while the file is out of use.
    problem_ = OpenDerivedFile(
        conn, path_, Layout(),
        [&](int64_t counter) {
            if (sqlite3_create_function_v2(conn.handle(), "larderly_ingredient_items", 1,
                                           SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                           ItemsFunction, nullptr, nullptr, nullptr) != SQLITE_OK)
                throw EStoreError("The ingredient reader cannot be installed.");
            conn_ = &conn;
            InstallTriggers();
            dataVersion_ = DataVersion();
            // New, upgraded or out of step: a derived file is simply built again from the
            // tables.
            if (counter != FileChangeCounter(recipeFile_)) Rebuild();
        },
        [&] { Detach(); });
    if (!problem_.empty()) conn_ = nullptr;
}

TDerivedLayout TIngredientIndex::Layout() {
    TDerivedLayout layout;
    layout.Schema = kSchema;
    layout.What = "ingredient index";
    layout.Version = kIngredientIndexVersion;
    layout.Create = [](SqlConnection& conn) { CreateItems(conn); };
    return layout;
}

void TIngredientIndex::CreateItems(SqlConnection& conn) {
    const std::string s = kSchema;
    conn.Exec("DROP TABLE IF EXISTS " + s + ".ingredient_items");
    conn.Exec("DROP TABLE IF EXISTS " + s + ".state");
    conn.Exec("CREATE VIRTUAL TABLE " + s +
              ".ingredient_items USING fts5(items, tokenize = 'unicode61 remove_diacritics 2', "
              "prefix = '3', detail = none)");
    conn.Exec("CREATE TABLE " + s + ".state(counter INTEGER)");
    conn.Exec("INSERT INTO " + s + ".state VALUES(-1)");
}

void TIngredientIndex::InstallTriggers() {
    DropTriggers();
    InstallInsertTrigger();
    conn_->Exec("CREATE TEMP TRIGGER larderly_items_update AFTER UPDATE OF RecipeText ON "
                "main.tblRecipes BEGIN "
                "DELETE FROM ingredient_items WHERE rowid = old.InternalID; "
                "INSERT INTO ingredient_items(rowid, items) VALUES (new.InternalID, "
                "larderly_ingredient_items(new.RecipeText)); END");
    conn_->Exec("CREATE TEMP TRIGGER larderly_items_delete AFTER DELETE ON main.tblRecipes BEGIN "
                "DELETE FROM ingredient_items WHERE rowid = old.InternalID; END");
}

void TIngredientIndex::InstallInsertTrigger() {
    conn_->Exec("CREATE TEMP TRIGGER IF NOT EXISTS larderly_items_insert AFTER INSERT ON "
                "main.tblRecipes BEGIN "
                "INSERT INTO ingredient_items(rowid, items) VALUES (new.InternalID, "
                "larderly_ingredient_items(new.RecipeText)); END");
}

TIngredientIndex::TBulkAdd::TBulkAdd(TIngredientIndex& index)
    : paused_(
          index.conn_, "larderly_items_insert",
          [&index] {
              if (index.conn_) index.InstallInsertTrigger();
          },
          [&index](int64_t after) {
              if (index.conn_) index.IndexRecipesAfter(after);
          }) {}

void TIngredientIndex::IndexRecipesAfter(int64_t after) {
    SqlStatement add(conn_->handle(), std::string("INSERT INTO ") + kSchema +
                                          ".ingredient_items(rowid, items) SELECT InternalID, "
                                          "larderly_ingredient_items(RecipeText) FROM "
                                          "main.tblRecipes WHERE InternalID > ?");
    add.Bind(1, after);
    add.Run();
}

void TIngredientIndex::DropTriggers() {
    if (!conn_) return;
    for (const char* t :
         {"larderly_items_insert", "larderly_items_update", "larderly_items_delete"})
        conn_->Exec(std::string("DROP TRIGGER IF EXISTS temp.") + t);
}

int64_t TIngredientIndex::DataVersion() {
    SqlStatement v(conn_->handle(), "PRAGMA main.data_version");
    return v.Step() ? v.ColumnInt(0) : -1;
}

void TIngredientIndex::Rebuild() {
    if (!conn_) return;
    const bool own = sqlite3_get_autocommit(conn_->handle()) != 0;
    conn_->Exec(own ? "BEGIN IMMEDIATE" : "SAVEPOINT larderly_items_rebuild");
    try {
        CreateItems(*conn_);
        IndexRecipesAfter(std::numeric_limits<int64_t>::min());
        conn_->Exec(own ? "COMMIT" : "RELEASE larderly_items_rebuild");
    } catch (...) {
        sqlite3_exec(conn_->handle(),
                     own ? "ROLLBACK"
                         : "ROLLBACK TO larderly_items_rebuild; RELEASE larderly_items_rebuild",
                     nullptr, nullptr, nullptr);
        throw;
    }
    dataVersion_ = DataVersion();
    ++rebuilds_;
}

void TIngredientIndex::Detach() {
    if (!conn_) return;
    SqlConnection& conn = *conn_;
    try {
        DropTriggers();
        if (sqlite3_get_autocommit(conn.handle())) {
            const bool current = DataVersion() == dataVersion_;
            const int64_t counter = current ? FileChangeCounter(recipeFile_) : -1;
            conn.Exec("UPDATE " + std::string(kSchema) +
                      ".state SET counter = " + std::to_string(counter));
        }
    } catch (...) {
    }
    conn_ = nullptr;
    DetachDerivedFile(conn, kSchema);
}

std::vector<int32_t> TIngredientIndex::Search(const std::string& words) {
    if (!conn_)
        throw EStoreError("The ingredient index cannot be used" +
                          (problem_.empty() ? "." : ": " + problem_));
    // Each word singular and in lower case as the items were indexed, then as the start of
    // a word: "leeks" finds "leek", "pot" finds "potato".
    std::string query;
    for (std::size_t p = 0; p < words.size();) {
        std::size_t q = p;
        while (q < words.size() && static_cast<unsigned char>(words[q]) < 0x80 &&
               !std::isalnum(static_cast<unsigned char>(words[q])))
            ++q;
        p = q;
        while (q < words.size() && (static_cast<unsigned char>(words[q]) >= 0x80 ||
                                    std::isalnum(static_cast<unsigned char>(words[q]))))
            ++q;
        if (q > p) {
            const std::string key = ingredients::ItemKey(words.substr(p, q - p));
            if (!key.empty()) query += (query.empty() ? "\"" : " AND \"") + key + "\"*";
        }
        p = q;
    }
    std::vector<int32_t> ids;
    if (query.empty()) return ids;
    if (DataVersion() != dataVersion_) Rebuild(); // another program wrote the recipes
    SqlStatement st(conn_->handle(), "SELECT rowid FROM " + std::string(kSchema) +
                                         ".ingredient_items WHERE ingredient_items MATCH ?");
    st.Bind(1, query);
    while (st.Step())
        ids.push_back(static_cast<int32_t>(st.ColumnInt(0)));
    return ids;
}

} // namespace larderly
