// A store in a temporary folder with helpers to add labels and recipes.
#pragma once

#include "store/Labels.h"
#include "store/Tables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace larderly::test {

class TempStore {
public:
    TempStore() {
        char tmpl[] = "/tmp/larderly-print-XXXXXX";
        const char* d = mkdtemp(tmpl);
        if (!d) throw std::runtime_error("mkdtemp failed");
        home = d;
        home += "/";
        store.OpenDatabase(home);
        store.SetTablesOpen(true);
    }
    ~TempStore() {
        try {
            store.SetTablesOpen(false);
        } catch (...) {
        }
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }

    int32_t AddLabel(const std::string& name) { return CreateLabel(store, name, 0); }

    int32_t AddRecipe(const std::string& title, std::array<int32_t, 4> slots,
                      std::vector<std::string> text) {
        store.ClearBuffers();
        store.RecipeRec.Title = title;
        store.RecipeRec.Category = slots;
        store.RecipeText = std::move(text);
        return store.SaveRecord(rkRecipe);
    }

    std::string home; // ends in "/"
    TfmTables store;
};

} // namespace larderly::test
