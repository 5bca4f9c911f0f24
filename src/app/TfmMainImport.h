// The parts of File > Import that the main window shows beyond the readers: the open dialog
// with the import options under its file list (the character set of the files, and whether
// recipes whose title is already in the collection are skipped), the options as the settings
// file remembers them (section "Import", keys "Encoding" and "SkipExisting"), and the summary
// shown after an import.
#pragma once

#include "import/ImportCommand.h"

#include <QFileDialog>

class QCheckBox;
class QComboBox;

namespace larderly {

namespace ImportSettingsKeys {
inline constexpr const char* kImport = "Import";
inline constexpr const char* kEncoding = "Encoding";
inline constexpr const char* kSkipExisting = "SkipExisting";
inline constexpr const char* kFilter = "Filter"; // the file type last chosen in the dialog
} // namespace ImportSettingsKeys

// The options as the settings file holds them; a missing or unknown value reads as the default
// (automatic character set, no skipping).
import::TImportOptions ReadImportOptions();
// Writes both options to the settings file. Raises EInOutError.
void WriteImportOptions(const import::TImportOptions& options);

// The open dialog of File > Import: several files, the import filters with the file type
// chosen last time preselected ("MXP File" the first time), and the two options below the
// file list. Accepting it remembers the file type chosen (key "Filter").
class TImportFileDialog : public QFileDialog {
public:
    TImportFileDialog(QWidget* parent, const std::string& startFolder,
                      const import::TImportOptions& options);
    import::TImportOptions Options() const;
    void done(int result) override;

    QComboBox* cbEncoding = nullptr;
    QCheckBox* cboxSkipExisting = nullptr;
};

} // namespace larderly
