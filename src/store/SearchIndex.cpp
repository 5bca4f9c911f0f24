// The recipes' full-text index on SQLite's FTS5, kept in step by temporary triggers.
#include "store/SearchIndex.h"

#include <cstdio>
#include <limits>
#include <unistd.h>

namespace larderly {
namespace {

constexpr const char* kSchema = "search";
// The bytes of words an index gathers in memory before it writes them out.
constexpr int kWordsInMemory = 32 << 20;

} // namespace

namespace {

// The arguments the index's tokenizer is made with (CreateWords names the same).
const char* const kTokenizerArgs[] = {"remove_diacritics", "2"};

int CollectToken(void* context, int, const char*, int, int start, int end) {
    auto* spans = static_cast<std::vector<std::pair<int, int>>*>(context);
    spans->emplace_back(start, end);
    return SQLITE_OK;
}

} // namespace

std::vector<std::string> TSearchIndex::Tokens(const std::string& words) {
    if (!conn_)
        throw EStoreError("The search index cannot be used" +
                          (problem_.empty() ? "." : ": " + problem_));
    // The index's own tokenizer splits the words, so a query never holds a token the index
    // would read as two (a dash, an emoji or a fullwidth sign between letters).
    fts5_api* api = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(conn_->handle(), "SELECT fts5(?1)", -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_pointer(st, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
        sqlite3_step(st);
    }
    sqlite3_finalize(st);
    void* context = nullptr;
    fts5_tokenizer tokenizer{};
    if (!api || api->xFindTokenizer(api, "unicode61", &context, &tokenizer) != SQLITE_OK)
        throw EStoreError("The search index's tokenizer is missing.");
    Fts5Tokenizer* made = nullptr;
    if (tokenizer.xCreate(context, const_cast<const char**>(kTokenizerArgs),
                          static_cast<int>(std::size(kTokenizerArgs)), &made) != SQLITE_OK)
        throw EStoreError("The search index's tokenizer cannot be made.");
    std::vector<std::pair<int, int>> spans;
    const int rc = tokenizer.xTokenize(made, &spans, FTS5_TOKENIZE_QUERY, words.data(),
                                       static_cast<int>(words.size()), CollectToken);
    tokenizer.xDelete(made);
    if (rc != SQLITE_OK) throw EStoreError("The search words cannot be read.");
    std::vector<std::string> tokens;
    for (const auto& [start, end] : spans)
        tokens.push_back(
            words.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
    return tokens;
}

std::string TSearchIndex::MatchQuery(const std::vector<std::string>& tokens) {
    // Every token must start a word of the recipe: "bain-marie" asks for "bain*" and
    // "marie*". The index keeps no positions, so a token is never a phrase of several.
    std::string query;
    for (const std::string& t : tokens) {
        if (!query.empty()) query += " AND ";
        query += "\"" + t + "\"*";
    }
    return query;
}

void TSearchIndex::Attach(SqlConnection& conn, const std::string& dataFolder,
                          const std::string& recipeFile) {
    conn_ = nullptr;
    problem_.clear();
    path_ = dataFolder + "/" + kSearchIndexFile;
    recipeFile_ = recipeFile;
    // Search is unavailable while the file is out of use.
    problem_ = OpenDerivedFile(
        conn, path_, Layout(),
        [&](int64_t counter) {
            conn_ = &conn;
            InstallTriggers();
            dataVersion_ = DataVersion();
            if (counter != FileChangeCounter(recipeFile_)) Rebuild();
        },
        [&] { Detach(); });
    if (!problem_.empty()) conn_ = nullptr;
}

TDerivedLayout TSearchIndex::Layout() {
    TDerivedLayout layout;
    layout.Schema = kSchema;
    layout.What = "search index";
    layout.Version = kSearchIndexVersion;
    layout.Create = [](SqlConnection& conn) { CreateWords(conn); };
    // Layouts 1 to 4 made the index with other settings, so their words cannot be carried
    // over: each step drops the words and makes the empty tables afresh, and the file is
    // built again from the recipes once it is current (its counter is -1 then).
    layout.Steps = {
        [](SqlConnection& conn) { CreateWords(conn); }, // 1 -> 2
        [](SqlConnection& conn) { CreateWords(conn); }, // 2 -> 3
        [](SqlConnection& conn) { CreateWords(conn); }, // 3 -> 4
        [](SqlConnection& conn) { CreateWords(conn); }, // 4 -> 5
    };
    return layout;
}

void TSearchIndex::CreateWords(SqlConnection& conn) {
    const std::string s = kSchema;
    conn.Exec("DROP TABLE IF EXISTS " + s + ".recipe_words");
    conn.Exec("DROP TABLE IF EXISTS " + s + ".state");
    conn.Exec("CREATE VIRTUAL TABLE " + s +
              ".recipe_words USING fts5(title, body, tokenize = 'unicode61 remove_diacritics 2', "
              "detail = none, content = '')");
    // A search asks only which recipes hold every word, never where: the index keeps no
    // positions (detail = none), which makes keeping it in step at a save far cheaper.
    // It keeps no copy of the titles and texts either (content = ''): the recipe table has
    // them, and a copy made the file as large as the recipe table and a build twice as slow.
    // A row is taken out by handing the index the very title and text it was given, which
    // the triggers below read from the row as it was.
    // It keeps no separate prefix index: a prefix is looked up among the whole words, which
    // costs a search little and saves a fifth of the work of indexing each recipe.
    // Segments are merged sixteen at a time: a build from scratch does less merging, and a
    // search still reads few segments.
    conn.Exec("INSERT INTO " + s + ".recipe_words(recipe_words, rank) VALUES ('automerge', 16)");
    // The words of up to 32 MB of text are gathered in memory before they are written out as
    // one segment (1 MB by default): a build or a large import then writes a handful of
    // segments instead of hundreds that would be merged again and again, which halves the
    // time of a build at a realistic vocabulary.
    conn.Exec("INSERT INTO " + s + ".recipe_words(recipe_words, rank) VALUES ('hashsize', " +
              std::to_string(kWordsInMemory) + ")");
    // The recipe file's change counter when the index was last in step with it; -1 until a
    // build.
    conn.Exec("CREATE TABLE " + s + ".state(counter INTEGER)");
    conn.Exec("INSERT INTO " + s + ".state VALUES(-1)");
}

namespace {
// The index holds no copy of the rows: a row's words are taken out by naming them again, as
// the row held them before the change.
constexpr const char* kTakeOutOld =
    "INSERT INTO recipe_words(recipe_words, rowid, title, body) VALUES ('delete', "
    "old.InternalID, old.Title, CAST(old.RecipeText AS TEXT)); ";
} // namespace

void TSearchIndex::InstallTriggers() {
    // Temporary triggers live in this connection only and name the index table without its
    // schema (the rule for statements inside triggers); no other schema has that name.
    DropTriggers();
    InstallInsertTrigger();
    conn_->Exec(std::string("CREATE TEMP TRIGGER larderly_words_update AFTER UPDATE OF Title, "
                            "RecipeText ON main.tblRecipes BEGIN ") +
                kTakeOutOld +
                "INSERT INTO recipe_words(rowid, title, body) VALUES (new.InternalID, new.Title, "
                "CAST(new.RecipeText AS TEXT)); END");
    conn_->Exec(std::string("CREATE TEMP TRIGGER larderly_words_delete AFTER DELETE ON "
                            "main.tblRecipes BEGIN ") +
                kTakeOutOld + "END");
}

void TSearchIndex::InstallInsertTrigger() {
    conn_->Exec("CREATE TEMP TRIGGER IF NOT EXISTS larderly_words_insert AFTER INSERT ON "
                "main.tblRecipes BEGIN "
                "INSERT INTO recipe_words(rowid, title, body) VALUES (new.InternalID, new.Title, "
                "CAST(new.RecipeText AS TEXT)); END");
}

TSearchIndex::TBulkAdd::TBulkAdd(TSearchIndex& index)
    : paused_(
          index.conn_, "larderly_words_insert",
          [&index] {
              if (index.conn_) index.InstallInsertTrigger();
          },
          [&index](int64_t after) {
              if (index.conn_) index.IndexRecipesAfter(after);
          }) {}

void TSearchIndex::IndexRecipesAfter(int64_t after) {
    const std::string s = kSchema;
    // A row added and then changed in the same transaction was indexed by the change.
    bool some;
    {
        SqlStatement any(conn_->handle(),
                         "SELECT 1 FROM " + s + ".recipe_words WHERE rowid > ? LIMIT 1");
        any.Bind(1, after);
        some = any.Step();
    }
    SqlStatement add(conn_->handle(),
                     "INSERT INTO " + s +
                         ".recipe_words(rowid, title, body) SELECT InternalID, Title, "
                         "CAST(RecipeText AS TEXT) FROM main.tblRecipes WHERE InternalID > ?1" +
                         (some ? " AND InternalID NOT IN (SELECT rowid FROM " + s +
                                     ".recipe_words WHERE rowid > ?1)"
                               : std::string()));
    add.Bind(1, after);
    add.Run();
}

void TSearchIndex::DropTriggers() {
    if (!conn_) return;
    for (const char* t :
         {"larderly_words_insert", "larderly_words_update", "larderly_words_delete"})
        conn_->Exec(std::string("DROP TRIGGER IF EXISTS temp.") + t);
}

int64_t TSearchIndex::DataVersion() {
    SqlStatement v(conn_->handle(), "PRAGMA main.data_version");
    return v.Step() ? v.ColumnInt(0) : -1;
}

void TSearchIndex::Rebuild() {
    if (!conn_) return;
    // Until a build succeeds the index is out of step: the next search tries again.
    dataVersion_ = -2;
    RebuildDerivedFile(*conn_, Layout(),
                       [&] { IndexRecipesAfter(std::numeric_limits<int64_t>::min()); });
    dataVersion_ = DataVersion();
    ++rebuilds_;
}

void TSearchIndex::CheckForeignWrites() {
    // Another connection (another program, or a second copy of this one) wrote the recipe
    // file since the last look: its changes may not be in the index.
    const int64_t now = DataVersion();
    if (now != dataVersion_) Rebuild();
}

void TSearchIndex::Detach() {
    if (!conn_) return;
    SqlConnection& conn = *conn_;
    try {
        DropTriggers();
        if (sqlite3_get_autocommit(conn.handle())) {
            const bool current = DataVersion() == dataVersion_;
            // The counter is final once the last commit has unlocked the file.
            const int64_t counter = current ? FileChangeCounter(recipeFile_) : -1;
            conn.Exec("UPDATE " + std::string(kSchema) +
                      ".state SET counter = " + std::to_string(counter));
        }
    } catch (...) {
    }
    conn_ = nullptr;
    DetachDerivedFile(conn, kSchema);
}

std::vector<int32_t> TSearchIndex::Search(const std::string& words) {
    if (!conn_)
        throw EStoreError("The search index cannot be used" +
                          (problem_.empty() ? "." : ": " + problem_));
    std::vector<int32_t> ids;
    const std::string query = MatchQuery(Tokens(words));
    if (query.empty()) {
        SqlStatement all(conn_->handle(), "SELECT InternalID FROM main.tblRecipes");
        while (all.Step())
            ids.push_back(static_cast<int32_t>(all.ColumnInt(0)));
        return ids;
    }
    CheckForeignWrites();
    SqlStatement st(conn_->handle(), "SELECT rowid FROM " + std::string(kSchema) +
                                         ".recipe_words WHERE recipe_words MATCH ?");
    st.Bind(1, query);
    while (st.Step())
        ids.push_back(static_cast<int32_t>(st.ColumnInt(0)));
    return ids;
}

} // namespace larderly
