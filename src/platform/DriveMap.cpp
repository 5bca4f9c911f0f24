// Drive letters mapped onto folders through the settings file.
#include "platform/DriveMap.h"

#include "platform/AppPaths.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <stdexcept>

namespace larderly {

char DriveLetterOf(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') {
        const char c = UpperAZ(path[0]);
        if (c >= 'A' && c <= 'Z') return c;
    }
    return 0;
}

bool IsDisketteDrive(const std::string& path) {
    return DriveLetterOf(path) == 'A';
}

std::string DriveFolder(char letter) {
    IniFile ini(SettingsFilePath());
    std::string folder = ini.ReadString("Drives", std::string(1, letter), "");
    if (folder.empty() && letter == 'A') folder = "/media/floppy0";
    return fileutil::ExcludeTrailingSeparator(folder);
}

std::string ResolveDrivePath(const std::string& path) {
    const char letter = DriveLetterOf(path);
    if (!letter) return fileutil::ToForwardSlashes(path);
    const std::string folder = DriveFolder(letter);
    if (folder.empty())
        throw std::runtime_error(std::string("Drive ") + letter +
                                 ": is not mapped to a folder (section [Drives] of " +
                                 SettingsFilePath() + ")");
    return fileutil::MapDrivePath(path, {{letter, folder}});
}

} // namespace larderly
