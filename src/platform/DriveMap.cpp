// Drive letters mapped onto folders through the settings file.
#include "platform/DriveMap.h"

#include "platform/AppPaths.h"
#include "platform/IniFile.h"

#include <stdexcept>

namespace larderly {

char DriveLetterOf(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') {
        char c = path[0];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c >= 'A' && c <= 'Z') return c;
    }
    return 0;
}

bool IsDisketteDrive(const std::string& path) { return DriveLetterOf(path) == 'A'; }

std::string DriveFolder(char letter) {
    IniFile ini(SettingsFilePath());
    std::string folder = ini.ReadString("Drives", std::string(1, letter), "");
    if (folder.empty() && letter == 'A') folder = "/media/floppy0";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string NormaliseSeparators(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

std::string ResolveDrivePath(const std::string& path) {
    char letter = DriveLetterOf(path);
    if (!letter) return NormaliseSeparators(path);
    std::string folder = DriveFolder(letter);
    if (folder.empty())
        throw std::runtime_error(std::string("Drive ") + letter +
                                 ": is not mapped to a folder (section [Drives] of " +
                                 SettingsFilePath() + ")");
    std::string rest = NormaliseSeparators(path.substr(2));
    if (!rest.empty() && rest.front() != '/') rest = "/" + rest;
    return folder + rest;
}

} // namespace larderly
