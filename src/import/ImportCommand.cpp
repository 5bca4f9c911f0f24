// The import command and the reader cascade.
#include "import/ImportCommand.h"

#include "import/TMasterCookTextReader.h"
#include "import/TMasterCookXmlReader.h"
#include "import/TMealMasterExportReader.h"
#include "import/TMealMasterExtractReader.h"
#include "import/TWebPageReader.h"
#include "platform/AppPaths.h"

#include <exception>
#include <memory>

namespace larderly::import {

namespace {

template <typename Reader> bool ImportWith(TfmTables& store, const std::string& fileName) {
    Reader reader(store);
    return reader.Import(fileName).Accepted;
}

// The readers in the order files are offered to them.
std::vector<std::unique_ptr<TImportReader>> Cascade(TfmTables& store) {
    std::vector<std::unique_ptr<TImportReader>> readers;
    readers.push_back(std::make_unique<TMasterCookTextReader>(store));
    readers.push_back(std::make_unique<TMealMasterExportReader>(store));
    readers.push_back(std::make_unique<TMasterCookXmlReader>(store));
    readers.push_back(std::make_unique<TMealMasterExtractReader>(store));
    // Last: every file the readers above take stays theirs.
    readers.push_back(std::make_unique<TWebPageReader>(store));
    return readers;
}

// Runs `on` now and `off` when it goes out of scope, whatever happens in between.
class Scoped {
public:
    Scoped(const std::function<void()>& on, std::function<void()> off) : off_(std::move(off)) {
        if (on) on();
    }
    ~Scoped() {
        try {
            if (off_) off_();
        } catch (...) {
        }
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

private:
    std::function<void()> off_;
};

} // namespace

bool ImportMasterCookText(TfmTables& s, const std::string& f) {
    return ImportWith<TMasterCookTextReader>(s, f);
}
bool ImportMealMasterExport(TfmTables& s, const std::string& f) {
    return ImportWith<TMealMasterExportReader>(s, f);
}
bool ImportMasterCookXml(TfmTables& s, const std::string& f) {
    return ImportWith<TMasterCookXmlReader>(s, f);
}
bool ImportMealMasterExtract(TfmTables& s, const std::string& f) {
    return ImportWith<TMealMasterExtractReader>(s, f);
}

TFileImport ImportFile(TfmTables& store, const std::string& fileName,
                       const TImportOptions& options) {
    TFileImport result;
    result.FileName = fileName;
    // Opened once (an input that can be read only once is copied aside), then read afresh
    // from its start by each reader.
    TLineReader in = TLineReader::FromFile(fileName, options.Encoding);
    for (auto& reader : Cascade(store)) {
        reader->SetOptions(options);
        in.Rewind();
        TImportOutcome o = reader->Import(in);
        if (!o.Accepted) {
            if (const auto* page = dynamic_cast<const TWebPageReader*>(reader.get()))
                result.PageWithoutRecipe = page->SawPage();
            continue;
        }
        result.Accepted = true;
        result.Reader = reader->Name();
        result.Added = o.Added;
        result.Skipped = o.Skipped;
        result.StoppedOnTitle = o.StoppedOnTitle;
        result.ExistingTitle = o.ExistingTitle;
        result.RepeatedInFile = o.RepeatedInFile;
        result.Unread = o.Unread;
        break;
    }
    return result;
}

std::string ImproperFileMessage(const std::string& fileName) {
    return "Improper Recipe File " + fileName;
}

std::string RefusedFileMessage(const TFileImport& f) {
    if (!f.PageWithoutRecipe) return ImproperFileMessage(f.FileName);
    return "No recipe found in " + f.FileName +
           ": the page describes no schema.org Recipe (in JSON-LD or microdata). Save the "
           "page of the recipe itself and import that.";
}

std::string ExistingTitleMessage(const TFileImport& f, const std::string& skipHint) {
    const std::string what =
        f.RepeatedInFile ? "\" appears twice in " + f.FileName : "\" is already in the collection";
    return "Recipe \"" + f.ExistingTitle + what + "; nothing was imported from " + f.FileName +
           ". To import its other recipes, import it again with " + skipHint + ".";
}

std::string DialogSkipHint() {
    return "\"Skip recipes whose title is already in the collection\" ticked in the import "
           "dialog";
}

std::string LineRangesText(const std::vector<TLineRange>& ranges) {
    std::size_t lines = 0;
    std::string list;
    for (const TLineRange& r : ranges) {
        if (!list.empty()) list += ", ";
        list += std::to_string(r.First);
        if (r.Last != r.First) list += "-" + std::to_string(r.Last);
        lines += r.Last - r.First + 1;
    }
    return (lines == 1 ? "line " : "lines ") + list;
}

std::string UnreadText(const TFileImport& f) {
    if (f.Unread.empty()) return {};
    const bool one = f.Unread.size() == 1 && f.Unread[0].First == f.Unread[0].Last;
    return f.FileName + ": " + LineRangesText(f.Unread) +
           (one ? " stands outside any recipe and was not imported."
                : " stand outside any recipe and were not imported.");
}

namespace {

std::string Counted(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string ImportSummaryText(const TImportCommandResult& result) {
    int added = 0, skipped = 0, refused = 0;
    for (const TFileImport& f : result.Files) {
        added += f.Added;
        skipped += f.Skipped;
        if (!f.Accepted || f.StoppedOnTitle) ++refused;
    }
    std::string text = Counted(added, "recipe", "recipes") + " added from " +
                       Counted(static_cast<int>(result.Files.size()), "file", "files");
    if (skipped > 0) text += ", " + std::to_string(skipped) + " skipped";
    if (refused > 0) text += ", " + std::to_string(refused) + " refused";
    return text + ".";
}

std::string ImportDetailsText(const TImportCommandResult& result) {
    std::string text;
    for (const TFileImport& f : result.Files) {
        if (!f.Accepted && f.PageWithoutRecipe)
            text += f.FileName + ": refused, the web page holds no recipe.\n";
        else if (!f.Accepted)
            text +=
                f.FileName + ": refused, it is not a recipe file of a kind this program reads.\n";
        else if (f.StoppedOnTitle)
            text +=
                f.FileName + ": refused, recipe \"" + f.ExistingTitle +
                (f.RepeatedInFile ? "\" appears twice in it" : "\" is already in the collection") +
                "; nothing was imported.\n";
        else if (f.Skipped > 0)
            text += f.FileName + ": " + Counted(f.Added, "recipe", "recipes") + " added, " +
                    Counted(f.Skipped, "recipe", "recipes") +
                    " skipped (title already in the collection).\n";
        if (const std::string unread = UnreadText(f); !unread.empty()) text += unread + "\n";
    }
    return text;
}

std::vector<std::string> ImportDialogFilters() {
    return {"Any File (*)",
            "MXP File (*.mxp)",
            "MMF File (*.mmf)",
            "MX2 File (*.mx2)",
            "All recipe files (*.mxp *.mx2 *.mmf *.txt)",
            "Web pages (*.html *.htm *.json)"};
}

TImportCommandResult RunImportCommand(Prompts& prompts, TfmTables& store,
                                      const TImportCallbacks& cb, const std::string& startFolder,
                                      const TImportOptions& options) {
    TImportCommandResult result;
    std::vector<std::string> files =
        prompts.OpenFiles(kImportDialogTitle, ImportDialogFilters(), startFolder, true);
    if (files.empty()) {
        result.Cancelled = true;
        return result;
    }

    const int recipesBefore = store.RecipeCount();
    const int labelsBefore = store.LabelCount();
    // After the files, also when a read error ends the command: recipes that earlier files
    // committed are in the store and the summaries, so the list shows them.
    auto afterwards = [&] {
        if (store.LabelCount() > labelsBefore && cb.LabelsChanged) cb.LabelsChanged();
        if (store.RecipeCount() > recipesBefore) {
            if (cb.ShowRecipeList) cb.ShowRecipeList();
            result.Redisplayed = true;
        }
    };
    std::exception_ptr failure;
    {
        Scoped caption({}, cb.RestoreCaption);
        Scoped hourglass(
            [&] {
                if (cb.SetHourglass) cb.SetHourglass(true);
            },
            [&] {
                if (cb.SetHourglass) cb.SetHourglass(false);
            });
        try {
            for (const std::string& file : files) {
                if (cb.SetCaption) cb.SetCaption("Importing " + file);
                if (cb.ProcessMessages) cb.ProcessMessages();
                TFileImport one = ImportFile(store, file, options);
                result.Files.push_back(one);
                if (!one.Accepted)
                    prompts.Message(PromptKind::Information, RefusedFileMessage(one),
                                    PromptButtons::Ok);
                if (one.StoppedOnTitle)
                    prompts.Message(PromptKind::Information,
                                    ExistingTitleMessage(one, DialogSkipHint()), PromptButtons::Ok);
            }
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (failure) {
        try {
            afterwards();
        } catch (...) {
        }
        std::rethrow_exception(failure);
    }
    afterwards();
    return result;
}

TImportCommandResult RunImportCommand(Prompts& prompts, TfmTables& store,
                                      const TImportCallbacks& callbacks) {
    return RunImportCommand(prompts, store, callbacks, ProgramFolder());
}

} // namespace larderly::import
