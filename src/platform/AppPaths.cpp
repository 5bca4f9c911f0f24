// Program, help and settings folders.
#include "platform/AppPaths.h"

#include "platform/FileUtil.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larderly {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The parent of a folder given with or without its trailing "/".
std::string ParentFolder(std::string folder) {
    folder = fileutil::ExcludeTrailingSeparator(folder);
    auto slash = folder.rfind('/');
    if (slash == std::string::npos) return "./";
    return folder.substr(0, slash + 1);
}

std::string UserHome() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
    return ".";
}

// mkdir -p; folders are created private to the user, as the XDG base directories want.
void MakeFolderChain(const std::string& folder) {
    std::string path;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        path = folder.substr(0, pos);
        if (path.empty() || fileutil::DirectoryExists(path)) continue;
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
}

} // namespace

std::string ExecutableFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        std::string exe(buf, static_cast<size_t>(n));
        auto slash = exe.rfind('/');
        if (slash != std::string::npos) return exe.substr(0, slash + 1);
    }
    return "./";
}

std::string InstalledDataFolder(const std::string& exeFolder) {
    return ParentFolder(exeFolder) + "share/larderly/";
}

bool IsInstalledProgramFolder(const std::string& exeFolder) {
    if (fileutil::DirectoryExists(InstalledDataFolder(exeFolder))) return true;
#ifdef LARDERLY_INSTALL_BINDIR
    // A bin folder of the configured prefix counts even before its share folder exists.
    char a[PATH_MAX], b[PATH_MAX];
    if (realpath(exeFolder.c_str(), a) && realpath(LARDERLY_INSTALL_BINDIR, b) &&
        std::string(a) == b)
        return true;
#endif
    return false;
}

std::string ResolveProgramFolder(const ProgramFolderInputs& in) {
    if (!in.larderlyHome.empty()) return fileutil::IncludeTrailingSeparator(in.larderlyHome);
    const std::string exe = fileutil::IncludeTrailingSeparator(in.exeFolder);
    if (!exe.empty()) {
        if (fileutil::DirectoryExists(exe + "data")) return exe;
        if (access(exe.c_str(), W_OK) == 0 && !IsInstalledProgramFolder(exe)) return exe;
    }
    // XDG base directories: a relative XDG_DATA_HOME is invalid and ignored.
    if (!in.xdgDataHome.empty() && in.xdgDataHome.front() == '/')
        return fileutil::IncludeTrailingSeparator(in.xdgDataHome) + "larderly/";
    return fileutil::IncludeTrailingSeparator(in.home.empty() ? std::string(".") : in.home) +
           ".local/share/larderly/";
}

std::string DataFolderOf(const std::string& programFolder) {
    return fileutil::IncludeTrailingSeparator(programFolder) + "data";
}

std::string ProgramFolder() {
    ProgramFolderInputs in{Env("LARDERLY_HOME"), ExecutableFolder(), Env("XDG_DATA_HOME"), {}};
    if (in.larderlyHome.empty()) in.home = UserHome();
    std::string folder = ResolveProgramFolder(in);
    if (in.larderlyHome.empty() && folder != fileutil::IncludeTrailingSeparator(in.exeFolder) &&
        !fileutil::DirectoryExists(folder))
        MakeFolderChain(folder.substr(0, folder.size() - 1));
    return folder;
}

std::vector<std::string> HelpFileCandidates(const std::string& programFolder,
                                            const std::string& exeFolder) {
    std::vector<std::string> c;
    auto add = [&c](const std::string& folder) {
        if (folder.empty()) return;
        std::string p = fileutil::IncludeTrailingSeparator(folder) + "Recipe.hlp";
        for (const auto& have : c)
            if (have == p) return;
        c.push_back(std::move(p));
    };
    add(programFolder);
    add(exeFolder);
    add(InstalledDataFolder(fileutil::IncludeTrailingSeparator(exeFolder)));
#ifdef LARDERLY_INSTALL_DATADIR
    add(LARDERLY_INSTALL_DATADIR);
#endif
    return c;
}

std::string FindHelpFile(const std::string& programFolder) {
    for (const auto& p : HelpFileCandidates(programFolder, ExecutableFolder()))
        if (IsFile(p)) return p;
    return {};
}

std::string SettingsFolder() {
    if (const char* win = std::getenv("LARDERLY_WINDIR"); win && *win)
        return fileutil::IncludeTrailingSeparator(win);
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return fileutil::IncludeTrailingSeparator(xdg) + "larderly/";
    const char* home = std::getenv("HOME");
    return fileutil::IncludeTrailingSeparator(home && *home ? home : ".") + ".config/larderly/";
}

std::string SettingsFilePath() {
    return SettingsFolder() + "rcpconfig.ini";
}

} // namespace larderly
