// The import command (Import1Click): the chosen recipe files go through the readers; the
// caption names the file being read, the list is redisplayed when recipes were added and
// the category pickers are refilled. The open dialog carries the import options, which the
// settings file remembers; afterwards the status bar sums the import up, and a details box
// names the files that were refused or had recipes skipped.
#include "app/TfmMainImport.h"

#include "app/MainCommands.h"
#include "app/QtPrompts.h"
#include "app/TfmMain.h"
#include "gui/GuiSupport.h"
#include "platform/AppPaths.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "workspace/TfmRecipeList.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>

#include <memory>

namespace larderly {

using namespace ImportSettingsKeys;

// (The return types are written in full: a line that starts with "import" reads to the
// formatter as a module import.)
larderly::import::TImportOptions ReadImportOptions() {
    IniFile ini(SettingsFilePath());
    import::TImportOptions options;
    if (!import::ParseEncoding(ini.ReadString(kImport, kEncoding, "auto"), options.Encoding))
        options.Encoding = import::TEncoding::Auto;
    options.SkipExisting = ini.ReadBool(kImport, kSkipExisting, false);
    return options;
}

void WriteImportOptions(const import::TImportOptions& options) {
    IniFile ini(SettingsFilePath());
    ini.SetString(kImport, kEncoding, import::EncodingName(options.Encoding));
    ini.SetString(kImport, kSkipExisting, options.SkipExisting ? "1" : "0");
    ini.Save();
}

TImportFileDialog::TImportFileDialog(QWidget* parent, const std::string& startFolder,
                                     const import::TImportOptions& options)
    : QFileDialog(parent, QString::fromUtf8(import::kImportDialogTitle),
                  QString::fromStdString(startFolder)) {
    setObjectName("OpenDialog1");
    // The options sit in the dialog's own layout, which only Qt's dialog offers.
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFiles);
    QStringList filters;
    for (const auto& f : import::ImportDialogFilters())
        filters << QString::fromStdString(f);
    setNameFilters(filters);
    QString remembered;
    try {
        remembered = Q(IniFile(SettingsFilePath()).ReadString(kImport, kFilter, ""));
    } catch (const std::exception&) {
    }
    selectNameFilter(filters.contains(remembered) ? remembered : filters.value(1));

    cbEncoding = new QComboBox(this);
    cbEncoding->setObjectName("cbEncoding");
    const std::pair<import::TEncoding, const char*> choices[] = {
        {import::TEncoding::Auto, "Detect from the file"},
        {import::TEncoding::Utf8, "UTF-8"},
        {import::TEncoding::Cp1252, "Windows-1252"},
        {import::TEncoding::Cp437, "DOS code page 437"},
        {import::TEncoding::Cp850, "DOS code page 850"},
        {import::TEncoding::Latin1, "ISO-8859-1 (Latin-1)"}};
    for (const auto& [encoding, text] : choices) {
        cbEncoding->addItem(QString::fromUtf8(text),
                            QString::fromUtf8(import::EncodingName(encoding)));
        if (encoding == options.Encoding) cbEncoding->setCurrentIndex(cbEncoding->count() - 1);
    }
    cboxSkipExisting =
        new QCheckBox("&Skip recipes whose title is already in the collection", this);
    cboxSkipExisting->setObjectName("cboxSkipExisting");
    cboxSkipExisting->setChecked(options.SkipExisting);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        const int row = grid->rowCount();
        auto* label = new QLabel("Character &set:", this);
        label->setBuddy(cbEncoding);
        grid->addWidget(label, row, 0);
        grid->addWidget(cbEncoding, row, 1);
        grid->addWidget(cboxSkipExisting, row + 1, 1);
    }
}

void TImportFileDialog::done(int result) {
    if (result == QDialog::Accepted) {
        try {
            IniFile ini(SettingsFilePath());
            ini.SetString(kImport, kFilter, selectedNameFilter().toStdString());
            ini.Save();
        } catch (const std::exception&) {
            // The next import then starts with the first file type again.
        }
    }
    QFileDialog::done(result);
}

larderly::import::TImportOptions TImportFileDialog::Options() const {
    import::TImportOptions options;
    if (!import::ParseEncoding(cbEncoding->currentData().toString().toStdString(),
                               options.Encoding))
        options.Encoding = import::TEncoding::Auto;
    options.SkipExisting = cboxSkipExisting->isChecked();
    return options;
}

namespace {

// The main window's prompts, with the program's open dialog replaced by the import dialog.
// Scripted prompts (tests) answer the open dialog themselves; the options then come from the
// settings file.
class TImportPrompts : public Prompts {
public:
    TImportPrompts(Prompts& inner, QWidget* parent, import::TImportOptions& options)
        : inner_(inner), parent_(parent), options_(options) {}

    PromptAnswer Message(PromptKind kind, const std::string& text, PromptButtons buttons,
                         const std::string& caption) override {
        return inner_.Message(kind, text, buttons, caption);
    }
    std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                     const std::string& initial) override {
        return inner_.Input(caption, prompt, initial);
    }
    std::optional<std::string> BrowseFolder(const std::string& title,
                                            const std::string& start) override {
        return inner_.BrowseFolder(title, start);
    }
    std::optional<std::string> SaveFile(const std::string& title,
                                        const std::vector<std::string>& filters,
                                        const std::string& start) override {
        return inner_.SaveFile(title, filters, start);
    }
    std::vector<std::string> OpenFiles(const std::string& title,
                                       const std::vector<std::string>& filters,
                                       const std::string& startFolder, bool multiple) override {
        if (!dynamic_cast<QtPrompts*>(&inner_))
            return inner_.OpenFiles(title, filters, startFolder, multiple);
        TImportFileDialog dialog(parent_, startFolder, options_);
        if (dialog.exec() != QDialog::Accepted) return {};
        options_ = dialog.Options();
        try {
            WriteImportOptions(options_);
        } catch (const std::exception&) {
            // The choice still holds for this import when the settings file cannot be written.
        }
        std::vector<std::string> files;
        for (const QString& f : dialog.selectedFiles())
            files.push_back(f.toStdString());
        return files;
    }

private:
    Prompts& inner_;
    QWidget* parent_;
    import::TImportOptions& options_;
};

// The status bar line, and a details box (not modal: it waits beside the window) when files
// were refused or had recipes skipped.
void ShowSummary(TfmMain& main, const import::TImportCommandResult& result) {
    if (result.Cancelled) return;
    main.statusBar()->showMessage(Q(import::ImportSummaryText(result)));
    const std::string details = import::ImportDetailsText(result);
    if (details.empty()) return;
    auto* box = new QMessageBox(QMessageBox::Information, main.windowTitle(),
                                Q(import::ImportSummaryText(result)), QMessageBox::Ok, &main);
    box->setObjectName("ImportDetails");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(Q(details));
    box->setModal(false);
    box->show();
}

} // namespace

void ImportRecipes(TfmMain& main) {
    std::unique_ptr<THourglass> hourglass;
    const QString caption = main.windowTitle();
    import::TImportCallbacks callbacks;
    callbacks.SetCaption = [&main](const std::string& text) { main.setWindowTitle(Q(text)); };
    callbacks.RestoreCaption = [&main, caption] { main.setWindowTitle(caption); };
    callbacks.ProcessMessages = [] { QCoreApplication::processEvents(); };
    callbacks.SetHourglass = [&hourglass](bool on) {
        if (on && !hourglass) hourglass = std::make_unique<THourglass>();
        if (!on) hourglass.reset();
    };
    // The list is shown anew once the files are read; the commits on the way add no rows.
    callbacks.ShowRecipeList = [&main] { main.ShowRecipeList(); };
    main.fmRecipeList->DeferNewRows(true);
    struct Resume {
        TfmRecipeList& list;
        ~Resume() { list.DeferNewRows(false); }
    } resume{*main.fmRecipeList};
    callbacks.LabelsChanged = [&main] { main.LabelsChanged(); };
    import::TImportOptions options = ReadImportOptions();
    TImportPrompts prompts(main.UserPrompts(), &main, options);
    // The dialog's choice reaches the readers through `options`, which the prompts fill
    // before the first file is read.
    import::TImportCommandResult result =
        import::RunImportCommand(prompts, main.Store(), callbacks, main.ImportFolder(), options);
    // The next import starts in the folder of the files chosen this time.
    if (!result.Files.empty()) {
        const std::string folder = fileutil::ExtractFilePath(result.Files.front().FileName);
        if (!folder.empty()) main.SetImportFolder(folder);
    }
    ShowSummary(main, result);
}

} // namespace larderly
