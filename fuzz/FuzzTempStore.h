// A store of the fuzz targets' own, opened in a fresh folder on tmpfs when there is one (every
// input commits) and removed with the object.
#pragma once

#include "store/Tables.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace larderly::fuzz {

class TempStore {
public:
    explicit TempStore(const char* name) {
        const std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string tmpl = base + "/" + name + "-XXXXXX";
        folder_ = ::mkdtemp(tmpl.data());
        store.OpenDatabase(folder_ + "/");
        store.SetTablesOpen(true);
    }
    ~TempStore() {
        try {
            store.SetTablesOpen(false);
        } catch (...) {
        }
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    TempStore(const TempStore&) = delete;
    TempStore& operator=(const TempStore&) = delete;

    TfmTables store;

private:
    std::string folder_;
};

} // namespace larderly::fuzz
