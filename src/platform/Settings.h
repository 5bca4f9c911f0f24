// The settings file rcpconfig.ini: the program folder ("Recipe"/"Application Path"), what
// the backup dialogs remember ("Backup"/"BPath", "BDate", "ToCD") and the main window's
// layout ("Layout"). A value that does not read as its type counts as the default. Every
// write reaches the file at once.
#pragma once

#include <string>

namespace larderly {

namespace SettingsKeys {
inline constexpr const char* kRecipe = "Recipe";
inline constexpr const char* kApplicationPath = "Application Path";
inline constexpr const char* kShowWelcome = "ShowWelcome";
inline constexpr const char* kBackup = "Backup";
inline constexpr const char* kBPath = "BPath";
inline constexpr const char* kBDate = "BDate";
inline constexpr const char* kToCD = "ToCD";
inline constexpr const char* kLayout = "Layout";
} // namespace SettingsKeys

// What the main window remembers between runs. A missing or unreadable value leaves the
// field at its default: no saved geometry (Width or Height 0), no list width (0), empty
// folders and search text.
struct TLayoutSettings {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool Maximized = false;
    int ListWidth = 0;
    std::string ImportFolder;
    std::string ExportFolder;
    std::string SearchText;

    bool operator==(const TLayoutSettings&) const = default;
};

// Reads the "Layout" section. Never creates the file.
TLayoutSettings ReadLayoutSettings();
// Writes the "Layout" section, keeping every other section; creates the file (and its
// folder) when missing. Raises EInOutError.
void WriteLayoutSettings(const TLayoutSettings& layout);

// Reads "Application Path" from "Recipe" (default "C:\"). Never creates the file.
std::string ReadSettings();

// Writes the application path as "Application Path" in "Recipe", keeping every other
// section and key; creates the file (and its folder) when missing. Raises EInOutError.
void WriteSettings(const std::string& applicationPath);

// The "Backup" keys.
std::string ReadBackupPath(); // default "A:\"
long long ReadBackupDate();   // default -1
bool ReadBackupToCD();        // default false
void WriteBackupPath(const std::string& folder);
void WriteBackupDate(long long dayNumber);
void WriteBackupToCD(bool toCD);

// Whether the welcome window opens at start-up ("Recipe"/"ShowWelcome", default true: a
// first start shows it); "Don't show this again" writes false.
bool ReadShowWelcome();
void WriteShowWelcome(bool show);

// "Last Backup Date:" text: "mm/dd/yyyy" with the locale's separator, or `none` when the
// day number is 0 or less.
std::string BackupDateText(long long dayNumber, const std::string& none = "None");

} // namespace larderly
