// The Export window of File > Export: what to write (the shown recipe, the recipes the list
// shows, or the recipes of a book), the file format and the character set. The file name is
// asked afterwards, in the save dialog. The format and the character set chosen last are kept
// in the settings file (section "Export", keys "Format" and "Encoding").
#pragma once

#include "exchange/ExportSource.h"
#include "exchange/RecipeExport.h"
#include "platform/Prompts.h"

#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;

namespace larderly {

namespace ExportSettingsKeys {
inline constexpr const char* kExport = "Export";
inline constexpr const char* kFormat = "Format";
inline constexpr const char* kEncoding = "Encoding";
} // namespace ExportSettingsKeys

// Which recipes an export writes.
enum class TExportSource { ShownRecipe, ListedRecipes, Book };

struct TExportChoice {
    TExportSource Source = TExportSource::ListedRecipes;
    int32_t BookId = -1; // with TExportSource::Book
    exchange::ExportFormat Format = exchange::ExportFormat::MealMaster;
    exchange::ExportEncoding Encoding = exchange::ExportEncoding::Utf8;
    // Leave out a recipe holding a character the character set lacks, instead of writing
    // the nearest ASCII for it.
    bool Strict = false;
};

// The format and character set as the settings file holds them; a missing or unknown value
// reads as the first format in the first encoding it takes.
void ReadExportOptions(TExportChoice& choice);
// Writes both to the settings file. Raises EInOutError.
void WriteExportOptions(const TExportChoice& choice);

// The save dialog's file type for a format, from its entry: "Meal-Master File (*.mmf)".
std::string ExportFileFilter(exchange::ExportFormat format);

class TfmExport : public QDialog {
public:
    // `shownTitle` empty: there is no shown recipe to offer. `listed`: how many recipes the
    // list shows. A source that has nothing to offer is unavailable.
    TfmExport(QWidget* parent, Prompts& prompts, const std::string& shownTitle, int listed,
              const std::vector<exchange::ExportBook>& books, const TExportChoice& initial);

    TExportChoice Choice() const;

    QRadioButton* rbShownRecipe = nullptr;
    QRadioButton* rbListedRecipes = nullptr;
    QRadioButton* rbBook = nullptr;
    QComboBox* cbBook = nullptr;
    QComboBox* cbFormat = nullptr;
    QComboBox* cbEncoding = nullptr;
    QCheckBox* cboxStrict = nullptr;
    QPushButton* btnExport = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnHelp = nullptr;

private:
    void UpdateEnabled();
    exchange::ExportFormat ChosenFormat() const;
    exchange::ExportEncoding ChosenEncoding() const;
    // The encodings the chosen format may be written in, `wanted` chosen when among them.
    void FillEncodings(exchange::ExportEncoding wanted);

    Prompts& prompts_;
};

} // namespace larderly
