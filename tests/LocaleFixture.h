// A locale compiled for one test with localedef into a temporary folder and made the
// process's regional settings (LOCPATH, LC_ALL) while the object lives. Tests skip when the
// system cannot compile it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace larderly::testing {

class CompiledLocale {
public:
    // `source` is a locale source such as "ja_JP"; the compiled name is source + ".UTF-8".
    explicit CompiledLocale(const std::string& source) {
        char tmpl[] = "/tmp/larderly-locale-XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir_ = tmpl;
        const std::string name = source + ".UTF-8";
        const std::string cmd =
            "localedef -i " + source + " -f UTF-8 " + dir_ + "/" + name + " >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) return;
        for (const char* v : {"LOCPATH", "LC_ALL"}) {
            const char* old = std::getenv(v);
            saved_.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
        }
        setenv("LOCPATH", dir_.c_str(), 1);
        setenv("LC_ALL", name.c_str(), 1);
        ok_ = true;
    }
    ~CompiledLocale() {
        for (const auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }
    CompiledLocale(const CompiledLocale&) = delete;
    CompiledLocale& operator=(const CompiledLocale&) = delete;

    bool ok() const { return ok_; }

private:
    std::string dir_;
    bool ok_ = false;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

} // namespace larderly::testing
