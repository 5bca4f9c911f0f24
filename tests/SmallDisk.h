// A full disk for a test: a tmpfs of 64 KiB mounted on a new folder and filled up to a few
// free blocks. Mounting needs root; where it is not permitted, ok() is false and the test
// skips itself.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace larderly::testing {

class SmallDisk {
public:
    SmallDisk() {
        char tmpl[] = "/tmp/larderly-small-XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir_ = tmpl;
        ok_ = ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=64k") == 0;
        if (ok_) {
            // Leaves less room than any output the tests write.
            std::ofstream fill(dir_ + "/fill", std::ios::binary);
            fill << std::string(60 * 1024, 'x');
        }
    }
    ~SmallDisk() {
        if (ok_) ::umount(dir_.c_str());
        if (!dir_.empty()) ::rmdir(dir_.c_str());
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool ok() const { return ok_; }
    std::string path(const std::string& rel) const { return dir_ + "/" + rel; }

private:
    std::string dir_;
    bool ok_ = false;
};

} // namespace larderly::testing
