// Reading and writing rcpconfig.ini.
#include "platform/Settings.h"

#include "platform/AppPaths.h"
#include "platform/DayNumber.h"
#include "platform/IniFile.h"

#include <algorithm>

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

bool ReadShowWelcome() {
    return IniFile(SettingsFilePath()).ReadBool(kRecipe, kShowWelcome, true);
}

void WriteShowWelcome(bool show) {
    IniFile::WriteValue(SettingsFilePath(), kRecipe, kShowWelcome, show ? "1" : "0");
}

TLayoutSettings ReadLayoutSettings() {
    IniFile ini(SettingsFilePath());
    TLayoutSettings l;
    auto number = [&](const char* key) {
        const long long v = ini.ReadInteger(kLayout, key, 0);
        return v < -1000000 || v > 1000000 ? 0 : static_cast<int>(v);
    };
    l.Left = number("Left");
    l.Top = number("Top");
    l.Width = std::max(0, number("Width"));
    l.Height = std::max(0, number("Height"));
    l.Maximized = ini.ReadBool(kLayout, "Maximized", false);
    l.ListWidth = std::max(0, number("ListWidth"));
    l.ImportFolder = ini.ReadString(kLayout, "ImportFolder", "");
    l.ExportFolder = ini.ReadString(kLayout, "ExportFolder", "");
    l.SearchText = ini.ReadString(kLayout, "Search", "");
    return l;
}

void WriteLayoutSettings(const TLayoutSettings& l) {
    // Saving creates the file and its folder when missing.
    IniFile ini(SettingsFilePath());
    ini.SetInteger(kLayout, "Left", l.Left);
    ini.SetInteger(kLayout, "Top", l.Top);
    ini.SetInteger(kLayout, "Width", l.Width);
    ini.SetInteger(kLayout, "Height", l.Height);
    ini.SetBool(kLayout, "Maximized", l.Maximized);
    ini.SetInteger(kLayout, "ListWidth", l.ListWidth);
    ini.SetString(kLayout, "ImportFolder", l.ImportFolder);
    ini.SetString(kLayout, "ExportFolder", l.ExportFolder);
    ini.SetString(kLayout, "Search", l.SearchText);
    ini.Save();
}

std::string BackupDateText(long long dayNumber, const std::string& none) {
    if (dayNumber <= 0) return none;
    return FormatDayNumber(dayNumber, LocaleDateSeparator());
}

} // namespace larderly
