// The reader frame: transaction, storing one recipe, titles already present.
#include "import/TImportReader.h"

#include "platform/Text.h"
#include "store/Labels.h"
#include "store/RecipeSummaries.h"

namespace larderly::import {

bool TImportReader::NextRecipe(TLineReader& in, TImportedRecipe& out) {
    while (FindStart(in)) {
        accepted_ = true;
        out = TImportedRecipe{};
        if (ParseRecipe(in, out)) return true;
    }
    return false;
}

std::vector<TImportedRecipe> TImportReader::ParseAll(TLineReader& in, bool* accepted) {
    accepted_ = false;
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

void TImportReader::Store(TImportedRecipe& recipe) {
    RecipeValue stored;
    stored.Title = CutChars(recipe.Title, kTitleWidth);
    for (std::size_t slot = 0; slot < 4; ++slot) {
        // A label keeps only the first 40 characters of its name, so a longer name is looked
        // up by those: otherwise every recipe of that category would get a label of its own.
        const std::string name = CutChars(recipe.Categories[slot], kLabelNameWidth);
        if (name.empty()) continue;
        int32_t label = FindLabelByName(store_, name);
        if (label == -1) label = CreateLabel(store_, name, 0);
        stored.Category[slot] = label;
    }
    stored.Lines = std::move(recipe.Lines);
    // The store adds the summary; a rollback of the file's transaction takes it back.
    store_.SaveRecipeValue(stored);
}

TImportOutcome TImportReader::Import(TLineReader& in) {
    TImportOutcome outcome;
    accepted_ = false;
    Begin();
    // Everything the file stores, summaries included, goes back unless the transaction commits.
    Transaction tx(store_);
    // The search index takes the file's recipes in one go before the commit.
    TSearchIndex::TBulkAdd words(store_.SearchIndex());
    int stored = 0;
    {
        TImportedRecipe recipe;
        while (NextRecipe(in, recipe)) {
            const bool exists = store_.Summaries().TitleExists(CutChars(recipe.Title, kTitleWidth));
            if (exists && options_.SkipExisting) {
                ++outcome.Skipped;
                continue;
            }
            if (exists && ChecksTitles()) {
                outcome.StoppedOnTitle = true;
                outcome.ExistingTitle = CutChars(recipe.Title, kTitleWidth);
                break;
            }
            Store(recipe);
            ++stored;
        }
        if (!accepted_ || outcome.StoppedOnTitle) outcome.Skipped = 0;
        if (accepted_ && !outcome.StoppedOnTitle) {
            words.Finish();
            tx.Commit();
            outcome.Added = stored;
        }
    }
    outcome.Accepted = accepted_;
    return outcome;
}

} // namespace larderly::import
