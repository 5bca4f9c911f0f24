// Drive letters in folder names. A folder typed as "X:\..." or "X:/..." names a folder of
// the drive map: section "Drives" of the settings file, key = the letter, value = a folder.
// A: is the diskette drive and defaults to /media/floppy0. A path without a drive letter is
// an ordinary path here.
#pragma once

#include <string>

namespace larderly {

// The upper-case drive letter of "X:..." paths, or 0 when the path has none.
char DriveLetterOf(const std::string& path);

// Whether the path's drive is A:, the diskette drive.
bool IsDisketteDrive(const std::string& path);

// The folder a drive letter maps to, from the settings file (no trailing "/"); empty when a
// letter other than A has no mapping.
std::string DriveFolder(char letter);

// The local path of a folder name: "X:\a\b" becomes "<folder of X>/a/b"; other paths come
// back with "\" turned into "/" (fileutil::MapDrivePath with the settings' map). Raises
// std::runtime_error naming the drive when a letter is not mapped.
std::string ResolveDrivePath(const std::string& path);

} // namespace larderly
