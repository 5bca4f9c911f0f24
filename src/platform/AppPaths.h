// Where the program keeps its files: the program folder (data/, temp/), the help file
// Recipe.hlp and the settings folder (rcpconfig.ini).
#pragma once

#include <string>
#include <vector>

namespace larderly {

// What decides the program folder: the environment and the executable's folder.
struct ProgramFolderInputs {
    std::string larderlyHome; // LARDERLY_HOME, empty when unset
    std::string exeFolder;    // folder of the running executable
    std::string xdgDataHome;  // XDG_DATA_HOME, empty when unset
    std::string home;         // the user's home folder
};

// The program folder, ending in "/":
//  1. LARDERLY_HOME when set;
//  2. else the executable's folder when it already holds a "data" folder, or when the user
//     may write there and it is not an installed program (a build or portable folder);
//  3. else $XDG_DATA_HOME/larderly/ (an absolute XDG_DATA_HOME only), default
//     ~/.local/share/larderly/.
// Looks at the file system but creates nothing.
std::string ResolveProgramFolder(const ProgramFolderInputs& in);

// The program folder for this process (the rule above on the real environment). The
// per-user folder of rule 3 is created (private to the user) when missing.
std::string ProgramFolder();

// The data folder (the tables, the lock and the derived files) of a program folder, with or
// without its closing "/": <folder>/data, without a closing "/".
std::string DataFolderOf(const std::string& programFolder);

// The folder of the running executable, ending in "/" ("./" when unknown).
std::string ExecutableFolder();

// Whether `exeFolder` is the bin folder of an installed program: its prefix holds
// share/larderly/, or it is the bin folder this build installs to.
bool IsInstalledProgramFolder(const std::string& exeFolder);

// The read-only data of an installed program (the help file), ending in "/": share/larderly/
// beside the executable's bin folder.
std::string InstalledDataFolder(const std::string& exeFolder);

// Where Recipe.hlp is looked for, first match wins: the program folder, beside the
// executable, the installed data folder, then the data folder of this build's install prefix.
std::vector<std::string> HelpFileCandidates(const std::string& programFolder,
                                            const std::string& exeFolder);

// The first candidate that exists, empty when there is none.
std::string FindHelpFile(const std::string& programFolder);

// The settings folder ("Windows directory"), ending in "/": LARDERLY_WINDIR when set,
// otherwise $XDG_CONFIG_HOME/larderly/ (default ~/.config/larderly/). Not created here.
std::string SettingsFolder();

// Full path of rcpconfig.ini in the settings folder.
std::string SettingsFilePath();

} // namespace larderly
