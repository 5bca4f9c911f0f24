// The frame that every import reader works in. A reader knows its layout: how to find the
// next recipe's start marker (splitting the file into recipes) and how to cut one recipe
// out of the lines after it. The frame does the rest, the same for all of them: one
// transaction per file, committed only when the reader recognised its layout and read to
// the end; each recipe stored as a new row with its category labels found or created and a
// summary appended; a title already in the recipe list stopping the whole file (for the
// readers that check titles), with the rollback taking back every recipe, label and summary
// the file had added. With SkipExisting, such a recipe is left out and the rest go in.
#pragma once

#include "import/TLineReader.h"
#include "store/Tables.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace larderly::import {

// One recipe as a reader cut it out of a file, before it is stored.
struct TImportedRecipe {
    std::string Title;                     // trimmed; the store keeps its first 150 characters
    std::array<std::string, 4> Categories; // slot 1 to 4; empty leaves the slot empty
    std::vector<std::string> Lines;        // the recipe text, servings line first
};

// How files are read: their character set, and what a title already in the collection does.
struct TImportOptions {
    TEncoding Encoding = TEncoding::Auto;
    // Skip each recipe whose title is already in the collection (or came earlier in the same
    // file) and import the rest, instead of stopping the file and keeping none of it.
    bool SkipExisting = false;
};

// Lines of a file, numbered from 1, both ends included.
struct TLineRange {
    std::size_t First = 0, Last = 0;
    bool operator==(const TLineRange&) const = default;
};

// What importing one file came to.
struct TImportOutcome {
    bool Accepted = false;       // the reader recognised its layout
    bool StoppedOnTitle = false; // a title already in the list ended the file; nothing kept
    std::string ExistingTitle;   // the title that stopped it
    bool RepeatedInFile = false; // that title came earlier in the same file
    int Added = 0;               // recipes committed to the store
    int Skipped = 0;             // recipes left out for their titles (SkipExisting)
    // Text the reader passed over outside any recipe (blank lines and the layout's own rules
    // are not counted): runs of lines, each from its first to its last line that is not blank.
    std::vector<TLineRange> Unread;
};

// Which start marks of the four layouts a file holds, as each layout's reader looks for them.
struct TFileMarks {
    bool MasterCookText = false;    // "Exported from  MasterCook" on some line
    bool MealMasterExport = false;  // one of the three export header texts on some line
    bool MealMasterExtract = false; // "Recipe Extracted from Meal-Master" on some line
    bool XmlDeclaration = false;    // "<?xml version" on the first line
    bool MasterCookXmlText = false; // "* Exported from MasterCook *" after the first line
};

// Reads the whole file for its marks and goes back to its first line.
TFileMarks ScanMarks(TLineReader& in);

// The header line that should stand where `line` was read: `line` itself, or, when it is
// blank and the next line that is not blank (within three) passes `labelled` (a header laid
// out with blank lines between its fields), that line. Lines looked at and not taken stay to
// be read.
std::string HeaderLine(std::string line, TLineReader& in,
                       const std::function<bool(const std::string&)>& labelled);

class TImportReader {
public:
    // The titles already there are those of the store's summaries (TfmTables::Summaries).
    explicit TImportReader(TfmTables& store) : store_(store) {}
    virtual ~TImportReader() = default;
    TImportReader(const TImportReader&) = delete;
    TImportReader& operator=(const TImportReader&) = delete;

    // The reader's name as the CLI reports it.
    virtual const char* Name() const = 0;

    void SetOptions(const TImportOptions& options) { options_ = options; }

    // Opens the file (an unreadable file raises EInOutError before any transaction starts)
    // and imports it; `Accepted` is the reader's answer to the cascade.
    TImportOutcome Import(const std::string& fileName);
    // The same on lines already opened.
    TImportOutcome Import(TLineReader& in);

    // Splitting and parsing on their own, without the store: every recipe the reader cuts
    // out of the lines, in file order. `accepted` tells whether the layout was recognised.
    std::vector<TImportedRecipe> ParseAll(TLineReader& in, bool* accepted = nullptr);

protected:
    // Resets the per-file state before a file is read.
    virtual void Begin() {}
    // Reads on to the next start marker; false at the end of the file (or, for a reader
    // that checks the file's first line, when that line does not fit).
    virtual bool FindStart(TLineReader& in) = 0;
    // Cuts the recipe that follows a start marker out of the lines. False when the reader
    // drops this recipe; scanning then goes on from where it stopped.
    virtual bool ParseRecipe(TLineReader& in, TImportedRecipe& out) = 0;
    // Whether a title already in the recipe list ends the file.
    virtual bool ChecksTitles() const { return true; }

    // A reader that recognises its layout other than by a start marker says so here.
    void Accept() { accepted_ = true; }

    // A line the scan for the next recipe passed over. Blank lines only join runs.
    void PassOver(const TLineReader& in, const std::string& line);
    // The file is read again another way: what was passed over so far is read after all.
    void ForgetPassedOver() {
        unread_.clear();
        run_ = TLineRange{};
        lastPassed_ = 0;
    }

private:
    void EndPassedRun();

    bool NextRecipe(TLineReader& in, TImportedRecipe& out);
    // Stores the recipe; the ingredient index reads its items on the side.
    void Store(TImportedRecipe& recipe, TIngredientIndex::TBulkAdd& items);

    TfmTables& store_;
    TImportOptions options_;
    bool accepted_ = false;
    std::vector<TLineRange> unread_;
    std::size_t lastPassed_ = 0; // the number of the last line passed over
    TLineRange run_;             // the run being passed over: its lines that are not blank
    // The labels of the category names met in the file being stored, by name as written.
    std::unordered_map<std::string, int32_t> labels_;
};

} // namespace larderly::import
