// Where the program keeps its files: the program folder (data/, temp/, Recipe.hlp) and
// the settings folder (rcpconfig.ini).
#pragma once

#include <string>

namespace larderly {

// The folder that holds the program, ending in "/": LARDERLY_HOME when set, otherwise the
// folder of the running executable.
std::string ProgramFolder();

// The settings folder ("Windows directory"), ending in "/": LARDERLY_WINDIR when set,
// otherwise $XDG_CONFIG_HOME/larderly/ (default ~/.config/larderly/). Not created here.
std::string SettingsFolder();

// Full path of rcpconfig.ini in the settings folder.
std::string SettingsFilePath();

// Appends "/" unless the path is empty or already ends in one.
std::string WithTrailingSeparator(std::string path);

} // namespace larderly
