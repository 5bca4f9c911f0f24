// The import command: each chosen file offered to the four readers in their fixed order
// (MasterCook text, Meal-Master export, MasterCook XML, Meal-Master extract), the first
// that accepts it importing it in its own transaction. The main window's File > Import
// calls RunImportCommand; the CLI calls ImportFile for each file.
#pragma once

#include "import/TImportReader.h"
#include "platform/Prompts.h"
#include "store/Tables.h"

#include <functional>
#include <string>
#include <vector>

namespace larderly::import {

// The readers by themselves, as the cascade calls them: each opens the file afresh and
// answers whether it accepted it.
bool ImportMasterCookText(TfmTables& store, const std::string& fileName);
bool ImportMealMasterExport(TfmTables& store, const std::string& fileName);
bool ImportMasterCookXml(TfmTables& store, const std::string& fileName);
bool ImportMealMasterExtract(TfmTables& store, const std::string& fileName);

// One file through the cascade.
struct TFileImport {
    std::string FileName;
    bool Accepted = false;
    std::string Reader; // the name of the reader that accepted it
    int Added = 0;
    int Skipped = 0; // recipes left out for their titles (SkipExisting)
    bool StoppedOnTitle = false;
    std::string ExistingTitle;      // the title that stopped the file
    bool RepeatedInFile = false;    // that title came earlier in the same file
    std::vector<TLineRange> Unread; // text outside any recipe, left out
    bool PageWithoutRecipe = false; // refused: a web page or JSON file that holds no recipe
};

// Offers the file to the readers in order and stops at the first that accepts it. The file
// is opened once and each reader reads it from its start, so a pipe or FIFO works too. An
// unreadable file raises EInOutError before any reader starts; nothing of it is stored.
TFileImport ImportFile(TfmTables& store, const std::string& fileName,
                       const TImportOptions& options = {});

// The message for a file that no reader accepts.
std::string ImproperFileMessage(const std::string& fileName);
// The message for a refused file: a web page without a recipe says so, any other file is
// improper.
std::string RefusedFileMessage(const TFileImport& f);
// The message for a file stopped by a title already in the collection, or repeated inside the
// file, ending with how to import the rest anyway (`skipHint`, the skip option as the caller
// offers it: "--skip-existing" on the command line, the dialog's check box in the window).
std::string ExistingTitleMessage(const TFileImport& file, const std::string& skipHint);
// The hint for the import dialog's check box.
std::string DialogSkipHint();
// "lines 1-3, 40" for the lines given.
std::string LineRangesText(const std::vector<TLineRange>& ranges);
// What a file's unread text was: "FILE: lines 1-3, 40 are outside any recipe and were not
// imported."; empty when there was none.
std::string UnreadText(const TFileImport& file);

// What the command needs of the main window. Every member may be empty.
struct TImportCallbacks {
    std::function<void(const std::string&)> SetCaption; // "Importing <file>"
    std::function<void()> RestoreCaption;               // the window's own caption again
    std::function<void()> ProcessMessages;              // once per file, after the caption
    std::function<void(bool)> SetHourglass;             // true: wait cursor, false: normal
    std::function<void()> ShowRecipeList;               // redisplay the recipe list
    std::function<void()> LabelsChanged;                // the import created category labels
};

struct TImportCommandResult {
    bool Cancelled = false;
    std::vector<TFileImport> Files; // in the order they were read
    bool Redisplayed = false;
};

// The summary of a finished import, for the status bar: "5 recipes added from 3 files,
// 1 skipped, 1 refused." (the last two parts only when not zero).
std::string ImportSummaryText(const TImportCommandResult& result);
// One line per file that was refused, stopped by a title already present or had recipes
// skipped, saying what happened to it; empty when every file went in whole.
std::string ImportDetailsText(const TImportCommandResult& result);

inline constexpr const char* kImportDialogTitle = "Import Recipe File";
// The open dialog's filters; the second ("MXP File") is the one to preselect. "Any File"
// lists every file, also one without a dot in its name.
std::vector<std::string> ImportDialogFilters();

// File > Import: asks for the files (several may be chosen; the dialog starts in
// `startFolder`), imports each in the dialog's order with the caption naming it, tells the
// user of each file no reader accepts and of each file a title already in the collection
// stopped, and redisplays the recipe list when the recipe table grew. A read error ends the
// command and propagates to the caller's error handler after the hourglass is lifted, the
// caption restored and the list redisplayed for the files already imported.
TImportCommandResult RunImportCommand(Prompts& prompts, TfmTables& store,
                                      const TImportCallbacks& callbacks,
                                      const std::string& startFolder,
                                      const TImportOptions& options = {});
// The same, the dialog starting in the program folder.
TImportCommandResult RunImportCommand(Prompts& prompts, TfmTables& store,
                                      const TImportCallbacks& callbacks);

} // namespace larderly::import
