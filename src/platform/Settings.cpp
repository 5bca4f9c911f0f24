// Reading and writing rcpconfig.ini.
#include "platform/Settings.h"

#include "platform/AppPaths.h"
#include "platform/DayNumber.h"
#include "platform/IniFile.h"

namespace larderly {

using namespace SettingsKeys;

std::string ReadSettings() {
    return IniFile(SettingsFilePath()).ReadString(kRecipe, kApplicationPath, "C:\\");
}

void WriteSettings(const std::string& applicationPath) {
    IniFile::WriteValue(SettingsFilePath(), kRecipe, kApplicationPath, applicationPath);
}

std::string ReadBackupPath() {
    return IniFile(SettingsFilePath()).ReadString(kBackup, kBPath, "A:\\");
}

long long ReadBackupDate() {
    return IniFile(SettingsFilePath()).ReadInteger(kBackup, kBDate, -1);
}

bool ReadBackupToCD() {
    return IniFile(SettingsFilePath()).ReadBool(kBackup, kToCD, false);
}

void WriteBackupPath(const std::string& folder) {
    IniFile::WriteValue(SettingsFilePath(), kBackup, kBPath, folder);
}

void WriteBackupDate(long long dayNumber) {
    IniFile::WriteValue(SettingsFilePath(), kBackup, kBDate, std::to_string(dayNumber));
}

void WriteBackupToCD(bool toCD) {
    IniFile::WriteValue(SettingsFilePath(), kBackup, kToCD, toCD ? "1" : "0");
}

std::string BackupDateText(long long dayNumber, const std::string& none) {
    if (dayNumber <= 0) return none;
    return FormatDayNumber(dayNumber, LocaleDateSeparator());
}

} // namespace larderly
