// Program and settings folders.
#include "platform/AppPaths.h"

#include <cstdlib>
#include <unistd.h>
#include <climits>

namespace larderly {

std::string WithTrailingSeparator(std::string path) {
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

std::string ProgramFolder() {
    if (const char* home = std::getenv("LARDERLY_HOME"); home && *home)
        return WithTrailingSeparator(home);
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        std::string exe(buf, static_cast<size_t>(n));
        auto slash = exe.rfind('/');
        if (slash != std::string::npos) return exe.substr(0, slash + 1);
    }
    return "./";
}

std::string SettingsFolder() {
    if (const char* win = std::getenv("LARDERLY_WINDIR"); win && *win)
        return WithTrailingSeparator(win);
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return WithTrailingSeparator(xdg) + "larderly/";
    const char* home = std::getenv("HOME");
    return WithTrailingSeparator(home && *home ? home : ".") + ".config/larderly/";
}

std::string SettingsFilePath() { return SettingsFolder() + "rcpconfig.ini"; }

} // namespace larderly
