// Fuzz target: any bytes typed into the search. The words are split and matched against a
// store of three recipes: the search must answer (never raise) and name only stored recipes.
#include "../FuzzTempStore.h"
#include "store/Tables.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace larderly;

namespace {

// Three recipes, kept for every input.
class SearchStore {
public:
    SearchStore() {
        const char* const titles[] = {"Tomato basil soup", "Cr\u00e8me br\u00fbl\u00e9e",
                                      "Salad \u201cNi\u00e7oise\u201d"};
        for (const char* title : titles) {
            RecipeValue r{-1, title, {-1, -1, -1, -1}, {"Serving Size  : 4", "Stir; bake-off."}};
            ids_.push_back(temp.store.SaveRecipeValue(r));
        }
    }
    bool Stored(int32_t id) const { return std::find(ids_.begin(), ids_.end(), id) != ids_.end(); }

    fuzz::TempStore temp{"larderly-fuzz-search"};

private:
    std::vector<int32_t> ids_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SearchStore s;
    const std::string words(reinterpret_cast<const char*>(data), size);
    try {
        for (int32_t id : s.temp.store.SearchIndex().Search(words))
            if (!s.Stored(id)) {
                std::fprintf(stderr, "search named recipe %d, which is not stored\n", id);
                std::abort();
            }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "search raised: %s\n", e.what());
        std::abort();
    }
    return 0;
}
