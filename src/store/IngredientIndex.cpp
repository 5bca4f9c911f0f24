// The ingredient index on SQLite's FTS5; a function of this connection reads the items out
// of a recipe's text for the triggers and the build.
#include "store/IngredientIndex.h"

#include "ingredients/ShoppingList.h"
#include "store/Tables.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

namespace larderly {
namespace {

constexpr const char* kSchema = "ingredient";
// Recipes read in one batch when the index is built, and the most threads that read them.
constexpr std::size_t kBuildBatchRows = 2048;
constexpr std::size_t kMostReaders = 4;

// Rows a bulk add indexes in one statement while the import goes on: enough for few
// statements, few enough that the texts kept meanwhile stay small.
constexpr std::size_t kReadyRows = 4096;
// Recipes handed to the reader at a time, and batches waiting for it: the caller waits for
// it beyond these.
constexpr std::size_t kBatchRows = 64;
constexpr std::size_t kWaitingBatches = 16;

} // namespace

void TIngredientIndex::ItemsFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    const auto* blob = static_cast<const char*>(sqlite3_value_blob(argv[0]));
    const std::string_view text(blob ? blob : "",
                                blob ? static_cast<std::size_t>(sqlite3_value_bytes(argv[0])) : 0);
    auto* index = static_cast<TIngredientIndex*>(sqlite3_user_data(context));
    if (argc == 2 && index && index->ready_) {
        auto& ready = *index->ready_;
        const auto it = ready.find(sqlite3_value_int64(argv[1]));
        if (it != ready.end() && it->second.Text == text) {
            const std::string& items = it->second.Items;
            sqlite3_result_text(context, items.data(), static_cast<int>(items.size()),
                                SQLITE_TRANSIENT);
            ready.erase(it);
            return;
        }
    }
    const std::string items = ItemsOf(std::string(text));
    sqlite3_result_text(context, items.data(), static_cast<int>(items.size()), SQLITE_TRANSIENT);
}

// The second thread of a bulk add: reads the items of the recipes handed to it, in the order
// they come, and keeps them with the text they were read from until they are taken. Recipes
// go over in batches, so that the two threads seldom wait for each other.
class TIngredientIndex::TBulkAdd::TReader {
public:
    TReader() : thread_([this] { Run(); }) {}
    ~TReader() {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    TReader(const TReader&) = delete;
    TReader& operator=(const TReader&) = delete;

    // Gives true when a batch went over.
    bool Put(int64_t id, std::vector<std::string> lines) {
        batch_.push_back({id, std::move(lines)});
        if (batch_.size() < kBatchRows) return false;
        HandOver();
        return true;
    }
    // Moves what is ready into `ready`; gives the largest identifier moved (0 for none). With
    // `all`, waits until every recipe handed over has been read first.
    int64_t Take(std::unordered_map<int64_t, TReadyItems>& ready, bool all) {
        if (all) HandOver();
        std::unique_lock lock(mutex_);
        if (all) changed_.wait(lock, [&] { return waiting_.empty() && !busy_; });
        int64_t last = 0;
        for (auto& [id, items] : done_) {
            ready[id] = std::move(items);
            last = id;
        }
        done_.clear();
        return last;
    }
    std::size_t Ready() {
        std::lock_guard lock(mutex_);
        return done_.size();
    }

private:
    struct Job {
        int64_t Id;
        std::vector<std::string> Lines;
    };

    void HandOver() {
        if (batch_.empty()) return;
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_.size() < kWaitingBatches; });
        waiting_.push_back(std::move(batch_));
        batch_.clear();
        lock.unlock();
        changed_.notify_all();
    }

    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return closing_ || !waiting_.empty(); });
            if (closing_) return;
            std::vector<Job> jobs = std::move(waiting_.front());
            waiting_.pop_front();
            busy_ = true;
            lock.unlock();
            changed_.notify_all();
            std::vector<std::pair<int64_t, TReadyItems>> read;
            for (Job& job : jobs) {
                try {
                    TReadyItems r;
                    r.Text = EncodeRecipeText(job.Lines);
                    // Lines without line ends or zero bytes are what the stored text reads
                    // back as; others are read back from it.
                    const bool plain =
                        std::all_of(job.Lines.begin(), job.Lines.end(), [](const std::string& l) {
                            return std::none_of(l.begin(), l.end(), [](char c) {
                                return c == '\r' || c == '\n' || c == '\0';
                            });
                        });
                    r.Items = plain ? ItemsOfLines(job.Lines) : ItemsOf(r.Text);
                    read.emplace_back(job.Id, std::move(r));
                } catch (...) {
                    // Left out: the row's items are read from its stored text instead.
                }
            }
            lock.lock();
            try {
                for (auto& r : read)
                    done_.push_back(std::move(r));
            } catch (...) {
                // What did not fit is read from the stored texts instead.
            }
            busy_ = false;
            changed_.notify_all();
        }
    }

    std::vector<Job> batch_; // being filled by the caller's thread
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<Job>> waiting_;
    std::vector<std::pair<int64_t, TReadyItems>> done_;
    bool busy_ = false, closing_ = false;
    std::thread thread_;
};

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
    return ItemsOfLines(DecodeRecipeText(recipeText));
}

std::string TIngredientIndex::ItemsOfLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const ingredients::ParsedLine& p : ingredients::ParseRecipeText(lines, true))
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
            // With the row's identifier as a second argument, items a bulk add has read
            // ahead stand in for reading them again.
            for (int args : {1, 2})
                if (sqlite3_create_function_v2(conn.handle(), "larderly_ingredient_items", args,
                                               SQLITE_UTF8 | (args == 1 ? SQLITE_DETERMINISTIC : 0),
                                               this, ItemsFunction, nullptr, nullptr,
                                               nullptr) != SQLITE_OK)
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
    // The items of up to 32 MB are gathered in memory before they are written out as one
    // segment (1 MB by default), so that a build writes a few segments, not hundreds that are
    // merged again and again.
    conn.Exec("INSERT INTO " + s +
              ".ingredient_items(ingredient_items, rank) VALUES ('hashsize', " +
              std::to_string(32 << 20) + ")");
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
    : index_(index), paused_(
                         index.conn_, "larderly_items_insert",
                         [&index] {
                             if (index.conn_) index.InstallInsertTrigger();
                         },
                         [this](int64_t) {
                             if (index_.conn_) IndexReady(true);
                         }) {
    indexedUpTo_ = paused_.After();
}

TIngredientIndex::TBulkAdd::~TBulkAdd() = default;

void TIngredientIndex::TBulkAdd::Added(int64_t id, std::vector<std::string> lines) {
    if (!paused_.Active()) return;
    if (!reader_) reader_ = std::make_unique<TReader>();
    if (reader_->Put(id, std::move(lines)) && reader_->Ready() >= kReadyRows) IndexReady(false);
}

void TIngredientIndex::TBulkAdd::Finish() {
    paused_.Finish();
    reader_.reset();
}

void TIngredientIndex::TBulkAdd::IndexReady(bool all) {
    std::unordered_map<int64_t, TReadyItems> ready;
    const int64_t last = reader_ ? reader_->Take(ready, all) : 0;
    const int64_t upTo = all ? std::numeric_limits<int64_t>::max() : last;
    if (upTo <= indexedUpTo_) return;
    index_.ready_ = &ready;
    struct Forget {
        TIngredientIndex& index;
        ~Forget() { index.ready_ = nullptr; }
    } forget{index_};
    index_.IndexRecipes(indexedUpTo_, upTo);
    indexedUpTo_ = upTo;
}

void TIngredientIndex::IndexRecipes(int64_t after, int64_t upTo) {
    const std::string s = kSchema;
    // A row added and then changed in the same transaction was indexed by the change.
    bool some;
    {
        SqlStatement any(conn_->handle(), "SELECT 1 FROM " + s +
                                              ".ingredient_items WHERE rowid > ? AND "
                                              "rowid <= ? LIMIT 1");
        any.Bind(1, after);
        any.Bind(2, upTo);
        some = any.Step();
    }
    SqlStatement add(conn_->handle(),
                     "INSERT INTO " + s +
                         ".ingredient_items(rowid, items) SELECT InternalID, "
                         "larderly_ingredient_items(RecipeText, InternalID) FROM main.tblRecipes "
                         "WHERE InternalID > ?1 AND InternalID <= ?2" +
                         (some ? " AND InternalID NOT IN (SELECT rowid FROM " + s +
                                     ".ingredient_items WHERE rowid > ?1 AND rowid <= ?2)"
                               : std::string()));
    add.Bind(1, after);
    add.Bind(2, upTo);
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
    // Until a build succeeds the index is out of step: the next search tries again.
    dataVersion_ = -2;
    RebuildDerivedFile(*conn_, Layout(), [&] { IndexRows(0); });
    dataVersion_ = DataVersion();
    ++rebuilds_;
}

void TIngredientIndex::IndexRows(int64_t after) {
    if (!conn_) return;
    // Reading the items out of the texts is most of the work, and each recipe's apart from
    // the others': the recipes are taken in batches whose texts are read on the machine's
    // cores at once, while this thread hands the batch before to the index (in the order of
    // the identifiers, the order the index adds rows fastest).
    SqlStatement read(conn_->handle(), "SELECT InternalID, RecipeText FROM main.tblRecipes "
                                       "WHERE InternalID > ? ORDER BY InternalID");
    read.Bind(1, after);
    SqlStatement add(conn_->handle(), std::string("INSERT INTO ") + kSchema +
                                          ".ingredient_items(rowid, items) VALUES (?, ?)");
    const std::size_t cores =
        std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, kMostReaders);
    struct Batch {
        std::vector<int64_t> ids;
        std::vector<std::string> texts;
        std::vector<std::string> items;
    };
    Batch reading, adding;
    auto addAll = [&](const Batch& b) {
        for (std::size_t i = 0; i < b.ids.size(); ++i) {
            add.Bind(1, b.ids[i]);
            add.Bind(2, b.items[i]);
            add.Run();
            add.Reset();
        }
    };
    for (bool more = true; more;) {
        reading.ids.clear();
        reading.texts.clear();
        while (reading.ids.size() < kBuildBatchRows && (more = read.Step())) {
            reading.ids.push_back(read.ColumnInt(0));
            reading.texts.push_back(read.ColumnBlob(1));
        }
        reading.items.assign(reading.ids.size(), std::string());
        const std::size_t n = reading.texts.size();
        std::vector<std::thread> readers;
        std::vector<std::exception_ptr> failed(cores);
        for (std::size_t c = 0; c < cores && n > 0; ++c)
            readers.emplace_back([&reading, &failed, c, cores, n] {
                try {
                    for (std::size_t i = n * c / cores; i < n * (c + 1) / cores; ++i)
                        reading.items[i] = ItemsOf(reading.texts[i]);
                } catch (...) {
                    failed[c] = std::current_exception();
                }
            });
        std::exception_ptr addFailed;
        try {
            addAll(adding);
        } catch (...) {
            addFailed = std::current_exception();
        }
        for (std::thread& t : readers)
            t.join();
        if (addFailed) std::rethrow_exception(addFailed);
        for (const std::exception_ptr& e : failed)
            if (e) std::rethrow_exception(e);
        std::swap(reading, adding);
    }
    addAll(adding);
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
