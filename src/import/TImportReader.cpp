// The reader frame: transaction, storing one recipe, titles already present.
#include "import/TImportReader.h"

#include "import/ImportText.h"
#include "import/TMasterCookTextReader.h"
#include "import/TMasterCookXmlReader.h"
#include "import/TMealMasterExportReader.h"
#include "import/TMealMasterExtractReader.h"
#include "platform/Text.h"
#include "store/Labels.h"
#include "store/RecipeSummaries.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace larderly::import {

namespace {
constexpr bool NamesAProgram(std::string_view mark) {
    return mark.find("Master") != std::string_view::npos;
}
static_assert(NamesAProgram(TMasterCookXmlReader::kStartMarker) &&
              NamesAProgram(TMasterCookTextReader::kStartMarker) &&
              NamesAProgram(TMealMasterExportReader::kRecipeVia) &&
              NamesAProgram(TMealMasterExportReader::kProExchange) &&
              NamesAProgram(TMealMasterExportReader::kExportFormat) &&
              NamesAProgram(TMealMasterExtractReader::kStartMarker));
} // namespace

TFileMarks ScanMarks(TLineReader& in) {
    TFileMarks m;
    in.Rewind();
    bool first = true;
    while (!in.Eof()) {
        const std::string line = in.ReadLine();
        if (first) m.XmlDeclaration = Contains(line, TMasterCookXmlReader::kXmlMarker);
        const bool wasFirst = first;
        first = false;
        // Every other mark names one of the two programs: most lines need one look.
        if (!Contains(line, "Master")) continue;
        if (!wasFirst && Contains(line, TMasterCookXmlReader::kStartMarker))
            m.MasterCookXmlText = true;
        if (Contains(line, TMasterCookTextReader::kStartMarker)) m.MasterCookText = true;
        if (Contains(line, TMealMasterExportReader::kRecipeVia) ||
            Contains(line, TMealMasterExportReader::kProExchange) ||
            Contains(line, TMealMasterExportReader::kExportFormat))
            m.MealMasterExport = true;
        if (Contains(line, TMealMasterExtractReader::kStartMarker)) m.MealMasterExtract = true;
    }
    in.Rewind();
    return m;
}

std::string HeaderLine(std::string line, TLineReader& in,
                       const std::function<bool(const std::string&)>& labelled) {
    if (!Field(line).empty()) return line;
    std::vector<std::string> ahead;
    for (int i = 0; i < 3 && !in.Eof(); ++i) {
        ahead.push_back(in.ReadLine());
        if (Field(ahead.back()).empty()) continue;
        if (labelled(ahead.back())) return ahead.back();
        break;
    }
    for (auto it = ahead.rbegin(); it != ahead.rend(); ++it)
        in.PushBack(std::move(*it));
    return line;
}

void TImportReader::PassOver(const TLineReader& in, const std::string& line) {
    const std::size_t n = in.LineNo();
    if (n != lastPassed_ + 1) EndPassedRun();
    lastPassed_ = n;
    if (Field(line).empty()) return;
    if (run_.First == 0) run_.First = n;
    run_.Last = n;
}

void TImportReader::EndPassedRun() {
    if (run_.First != 0) unread_.push_back(run_);
    run_ = TLineRange{};
}

bool TImportReader::NextRecipe(TLineReader& in, TImportedRecipe& out) {
    while (FindStart(in)) {
        EndPassedRun();
        accepted_ = true;
        out = TImportedRecipe{};
        if (ParseRecipe(in, out)) return true;
    }
    EndPassedRun();
    return false;
}

std::vector<TImportedRecipe> TImportReader::ParseAll(TLineReader& in, bool* accepted) {
    accepted_ = false;
    unread_.clear();
    lastPassed_ = 0;
    run_ = TLineRange{};
    Begin();
    std::vector<TImportedRecipe> out;
    TImportedRecipe r;
    while (NextRecipe(in, r))
        out.push_back(std::move(r));
    if (accepted) *accepted = accepted_;
    return out;
}

TImportOutcome TImportReader::Import(const std::string& fileName) {
    TLineReader in = TLineReader::FromFile(fileName, options_.Encoding);
    return Import(in);
}

void TImportReader::Store(TImportedRecipe& recipe, TIngredientIndex::TBulkAdd& items) {
    RecipeValue stored;
    stored.Title = CutChars(recipe.Title, kTitleWidth);
    for (std::size_t slot = 0; slot < 4; ++slot) {
        // A label keeps only the first 40 characters of its name, so a longer name is looked
        // up by those: otherwise every recipe of that category would get a label of its own.
        const std::string name = CutChars(recipe.Categories[slot], kLabelNameWidth);
        if (name.empty()) continue;
        // The file's transaction holds the labels still: a name looked up once stands for
        // the same label for the rest of the file.
        auto known = labels_.find(name);
        if (known == labels_.end()) {
            int32_t label = FindLabelByName(store_, name);
            if (label == -1) label = CreateLabel(store_, name, 0);
            known = labels_.emplace(name, label).first;
        }
        stored.Category[slot] = known->second;
    }
    stored.Lines = std::move(recipe.Lines);
    // The store adds the summary; a rollback of the file's transaction takes it back.
    store_.SaveRecipeValue(stored);
    items.Added(stored.InternalID, std::move(stored.Lines));
}

namespace {

// Recipes cut out of the file on a thread of their own, a few batches ahead of the caller that
// stores them, handed over in file order. Whatever the cutting raised is raised to the caller
// in its place, after the recipes cut before it.
class TRecipeFeed {
public:
    explicit TRecipeFeed(std::function<bool(TImportedRecipe&)> next)
        : next_(std::move(next)), thread_([this] { Run(); }) {}
    ~TRecipeFeed() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    TRecipeFeed(const TRecipeFeed&) = delete;
    TRecipeFeed& operator=(const TRecipeFeed&) = delete;

    // The next recipe; false once the file has no more.
    bool Next(TImportedRecipe& out) {
        if (at_ == current_.size()) {
            current_.clear();
            at_ = 0;
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return !ready_.empty() || done_; });
            if (ready_.empty()) {
                if (failure_) std::rethrow_exception(failure_);
                return false;
            }
            current_ = std::move(ready_.front());
            ready_.pop_front();
            lock.unlock();
            changed_.notify_all();
        }
        out = std::move(current_[at_++]);
        return true;
    }

private:
    static constexpr std::size_t kBatch = 32, kBatches = 8;

    void Run() {
        std::vector<TImportedRecipe> batch;
        bool more = true;
        try {
            while (more) {
                TImportedRecipe r;
                more = next_(r);
                if (more) batch.push_back(std::move(r));
                if (more && batch.size() < kBatch) continue;
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || ready_.size() < kBatches; });
                if (stop_) return;
                if (!batch.empty()) ready_.push_back(std::move(batch));
                batch.clear();
                done_ = !more;
                lock.unlock();
                changed_.notify_all();
            }
        } catch (...) {
            std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
            done_ = true;
            try {
                if (!batch.empty()) ready_.push_back(std::move(batch));
            } catch (...) {
                failure_ = std::current_exception(); // out of memory: nothing is stored
            }
        }
        changed_.notify_all();
    }

    std::function<bool(TImportedRecipe&)> next_;
    std::vector<TImportedRecipe> current_; // being handed out by the caller's thread
    std::size_t at_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<TImportedRecipe>> ready_;
    std::exception_ptr failure_;
    bool done_ = false, stop_ = false;
    std::thread thread_;
};

} // namespace

TImportOutcome TImportReader::Import(TLineReader& in) {
    TImportOutcome outcome;
    accepted_ = false;
    unread_.clear();
    lastPassed_ = 0;
    run_ = TLineRange{};
    Begin();
    // Everything the file stores, summaries included, goes back unless the transaction commits.
    Transaction tx(store_);
    labels_.clear();
    struct Forget {
        std::unordered_map<std::string, int32_t>& labels;
        ~Forget() { labels.clear(); }
    } forget{labels_};
    // Both indexes take the file's recipes in one go before the commit.
    TSearchIndex::TBulkAdd words(store_.SearchIndex());
    TIngredientIndex::TBulkAdd items(store_.IngredientIndex());
    int stored = 0;
    // The titles this file has stored, compared as the recipe list compares them.
    std::set<std::string> titles;
    {
        // The file is read and cut into recipes on a second thread while this one stores them;
        // the reader's state is this thread's again once the feed has gone.
        std::optional<TRecipeFeed> feed(std::in_place,
                                        [&](TImportedRecipe& r) { return NextRecipe(in, r); });
        TImportedRecipe recipe;
        while (feed->Next(recipe)) {
            const std::string title = CutChars(recipe.Title, kTitleWidth);
            const bool exists = store_.Summaries().TitleExists(title);
            if (exists && options_.SkipExisting) {
                ++outcome.Skipped;
                continue;
            }
            if (exists && ChecksTitles()) {
                outcome.StoppedOnTitle = true;
                outcome.ExistingTitle = title;
                outcome.RepeatedInFile = titles.contains(FoldAZ(title));
                break;
            }
            Store(recipe, items);
            titles.insert(FoldAZ(title));
            ++stored;
        }
        feed.reset();
        if (!accepted_ || outcome.StoppedOnTitle) outcome.Skipped = 0;
        if (accepted_ && !outcome.StoppedOnTitle) {
            words.Finish();
            items.Finish();
            tx.Commit();
            outcome.Added = stored;
        }
    }
    outcome.Accepted = accepted_;
    if (accepted_ && !outcome.StoppedOnTitle) outcome.Unread = unread_;
    return outcome;
}

} // namespace larderly::import
