// The settings file rcpconfig.ini: the program folder ("Recipe"/"Application Path") and
// what the backup dialogs remember ("Backup"/"BPath", "BDate", "ToCD"). A value that does
// not read as its type counts as the default. Every write reaches the file at once.
#pragma once

#include <string>

namespace larderly {

namespace SettingsKeys {
inline constexpr const char* kRecipe = "Recipe";
inline constexpr const char* kApplicationPath = "Application Path";
inline constexpr const char* kBackup = "Backup";
inline constexpr const char* kBPath = "BPath";
inline constexpr const char* kBDate = "BDate";
inline constexpr const char* kToCD = "ToCD";
} // namespace SettingsKeys

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

// "Last Backup Date:" text: "mm/dd/yyyy" with the locale's separator, or `none` when the
// day number is 0 or less.
std::string BackupDateText(long long dayNumber, const std::string& none = "None");

} // namespace larderly
