// A temporary program folder and settings folder for one test, removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace larderly::testing {

class TestHome {
public:
    TestHome() {
        char tmpl[] = "/tmp/larderly-test-XXXXXX";
        dir_ = mkdtemp(tmpl);
        std::filesystem::create_directories(dir_ + "/win");
        setenv("LARDERLY_HOME", dir_.c_str(), 1);
        setenv("LARDERLY_WINDIR", (dir_ + "/win").c_str(), 1);
    }
    ~TestHome() {
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(dir_, ec);
        unsetenv("LARDERLY_HOME");
        unsetenv("LARDERLY_WINDIR");
    }
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    // The program folder, ending in "/".
    std::string home() const { return dir_ + "/"; }
    std::string data() const { return dir_ + "/data"; }
    std::string ini() const { return dir_ + "/win/rcpconfig.ini"; }
    std::string path(const std::string& rel) const { return dir_ + "/" + rel; }

private:
    std::string dir_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

} // namespace larderly::testing
