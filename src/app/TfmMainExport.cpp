// The export command (Export1Click): the Export window chooses the recipes (the shown recipe,
// the recipes the list shows in its order, or a book's), the format and the character set;
// the save dialog, started in the folder of the last export, names the file. Large exports
// show the progress window. The status bar tells how many recipes were written, and a details
// box names every recipe that was not written, or that will read back differently.
#include "app/MainCommands.h"

#include "app/TfmExport.h"
#include "app/TfmMain.h"
#include "exchange/ExportSource.h"
#include "exchange/RecipeExport.h"
#include "gui/GuiSupport.h"
#include "gui/TfmProgress.h"
#include "platform/FileUtil.h"
#include "workspace/RecipeListModel.h"
#include "workspace/TfmRecipeBook.h"
#include "workspace/TfmRecipes.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QStatusBar>

#include <memory>

namespace larderly {

namespace {

using namespace exchange;

constexpr const char* kSaveTitle = "Export Recipes";
constexpr const char* kNothingToExport = "There are no recipes to export.";
// Fewer recipes than this are written before a progress window could show anything.
constexpr std::size_t kProgressFrom = 100;
// The details box lists this many recipes; its details hold them all.
constexpr std::size_t kListedNotes = 15;

// A file name made of a title or a book name: characters a file name cannot hold become "_".
std::string SuggestedName(const std::string& base, ExportFormat format) {
    std::string name;
    for (char c : base)
        name += (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) ? '_' : c;
    const std::size_t first = name.find_first_not_of(" .");
    name = first == std::string::npos ? std::string() : name.substr(first);
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    if (name.empty()) name = "recipes";
    return name + "." + FormatInfo(format).Extension;
}

// The folder the save dialog starts in: the last export's, while it exists, else the program
// folder.
std::string StartFolder(TfmMain& main) {
    std::string folder = main.ExportFolder();
    if (folder.empty() || !fileutil::DirectoryExists(folder)) folder = main.ApplicationPath();
    return folder.empty() ? folder : fileutil::IncludeTrailingSeparator(folder);
}

std::string NoteLine(const ExportNote& n) {
    return "\"" + n.Title + "\": " + n.Reason;
}

// The status bar line, and a details box (not modal: it waits beside the window) when a
// recipe was not written or will read back differently.
void ShowResult(TfmMain& main, const ExportResult& result, std::size_t total,
                const std::string& file) {
    const bool noFile = total > 0 && result.Written == 0;
    // Recipes written with a difference are not counted as written unchanged.
    const std::size_t differing = result.WrittenChanged();
    const std::string summary =
        std::to_string(result.Written) + " of " + std::to_string(total) +
        (total == 1 ? " recipe" : " recipes") +
        (noFile ? " could be written; no file was made." : " written to " + file + ".") +
        (differing == 0
             ? ""
             : " " + std::to_string(differing) +
                   (differing == 1 ? " of them reads" : " of them read") + " back differently.");
    main.statusBar()->showMessage(Q(summary));
    if (result.Notes.empty()) return;

    std::vector<const ExportNote*> refused, changed;
    for (const ExportNote& n : result.Notes)
        (n.Written ? changed : refused).push_back(&n);
    std::string listed, details;
    std::size_t shown = 0;
    auto section = [&](const std::vector<const ExportNote*>& notes, const std::string& heading) {
        if (notes.empty()) return;
        listed += (listed.empty() ? "" : "\n") + heading + "\n";
        details += (details.empty() ? "" : "\n") + heading + "\n";
        for (const ExportNote* n : notes) {
            details += "  " + NoteLine(*n) + "\n";
            if (shown++ < kListedNotes) listed += "  " + NoteLine(*n) + "\n";
        }
    };
    section(refused, "Not written:");
    section(changed, "Written, but an import will read them differently:");
    if (shown > kListedNotes)
        listed += "... and " + std::to_string(shown - kListedNotes) + " more (see the details).";

    auto* box = new QMessageBox(refused.empty() ? QMessageBox::Information : QMessageBox::Warning,
                                main.windowTitle(), Q(summary), QMessageBox::Ok, &main);
    box->setObjectName("ExportDetails");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(Q(listed));
    box->setDetailedText(Q(details));
    box->setModal(false);
    box->show();
}

} // namespace

void ExportRecipes(TfmMain& main) {
    if (!main.fmRecipes || main.fmRecipes->Editing()) return;
    TfmTables& store = main.Store();

    // What the window offers.
    std::string shownTitle;
    const int32_t shownId = main.fmRecipes->ShownId();
    if (shownId >= 0)
        if (const TRecipeSummary* s = main.FindSummary(shownId)) shownTitle = s->Title;
    std::vector<int32_t> listed;
    for (int i = 0; i < main.ListModel().Count(); ++i)
        listed.push_back(main.ListModel().SummaryAt(i)->InternalID);
    const std::vector<ExportBook> books = Books(store);

    TExportChoice choice;
    ReadExportOptions(choice);
    // In the book pane the book it shows is what the user most likely means.
    const bool inBooks = main.fmRecipeBook && main.IsActivePane(main.fmRecipeBook) &&
                         main.fmRecipeBook->Core().HasShownBook();
    if (inBooks) {
        choice.Source = TExportSource::Book;
        choice.BookId = main.fmRecipeBook->Core().ShownBook();
    }
    TfmExport window(&main, main.UserPrompts(), shownTitle, static_cast<int>(listed.size()), books,
                     choice);
    if (window.exec() != QDialog::Accepted) return;
    choice = window.Choice();
    try {
        WriteExportOptions(choice);
    } catch (const std::exception&) {
        // The choice still holds for this export when the settings file cannot be written.
    }

    std::vector<int32_t> ids;
    std::string baseName;
    switch (choice.Source) {
    case TExportSource::ShownRecipe:
        if (shownId >= 0) ids.push_back(shownId);
        baseName = shownTitle;
        break;
    case TExportSource::ListedRecipes:
        ids = listed;
        baseName = "recipes";
        break;
    case TExportSource::Book:
        // Additions and removals still pending in the book pane are part of the book.
        if (main.fmRecipeBook && main.fmRecipeBook->BookChanged)
            main.fmRecipeBook->SaveBookChanges();
        ids = BookRecipeIds(store, choice.BookId);
        for (const ExportBook& b : books)
            if (b.Id == choice.BookId) baseName = b.Name;
        break;
    }
    if (ids.empty()) {
        main.UserPrompts().Message(PromptKind::Information, kNothingToExport);
        return;
    }

    const std::optional<std::string> file =
        main.UserPrompts().SaveFile(kSaveTitle, {ExportFileFilter(choice.Format), "Any File (*.*)"},
                                    StartFolder(main) + SuggestedName(baseName, choice.Format));
    if (!file || file->empty()) return;

    ExportResult result;
    {
        THourglass hourglass;
        std::unique_ptr<TfmProgress> progress;
        if (ids.size() >= kProgressFrom) {
            progress = std::make_unique<TfmProgress>(&main);
            progress->SetCaption("Exporting Recipes ... Please wait");
            progress->SetMax(static_cast<int>(2 * ids.size()));
            progress->SetPosition(0);
            progress->show();
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
        std::size_t steps = 0;
        const std::function<void()> step = [&] {
            if (!progress) return;
            progress->Step();
            if (++steps % kProgressFrom == 0)
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        };
        // Reading first and writing afterwards: a recipe that is gone stops the export before
        // anything is written. A failed write leaves no file behind and raises its reason.
        const std::vector<ExportRecipe> recipes = LoadExportRecipes(store, ids, step);
        result = ExportToFile(*file, recipes, choice.Format, choice.Encoding, step, choice.Strict);
    }
    const std::string folder = fileutil::ExtractFilePath(*file);
    if (!folder.empty()) main.SetExportFolder(fileutil::IncludeTrailingSeparator(folder));
    ShowResult(main, result, ids.size(), *file);
}

} // namespace larderly
